#include "DataDir.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

ProgramDir::ProgramDir() {
    static std::atomic<int> counter{0};
    m_path = fs::temp_directory_path() /
             ("velmora_program_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(m_path);
    fs::create_directories(m_path);
    fs::copy(VELMORA_DATA_DIR, data(), fs::copy_options::recursive);
}

ProgramDir::~ProgramDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

fs::path ProgramDir::file(const std::string& name) const {
    for (const auto& entry : fs::directory_iterator(data())) {
        if (lower(entry.path().filename().string()) == lower(name)) {
            return entry.path();
        }
    }
    return data() / name;
}

}  // namespace testsupport

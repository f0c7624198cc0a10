#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>

#include "TableText.h"

namespace testsupport {

// A program folder in the temporary directory whose "data" holds only the tables a test
// writes from their text form (see TableText.h); removed when the object goes.
class TableFolder {
public:
    TableFolder() {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("velmora_tables_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(data());
    }
    ~TableFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TableFolder(const TableFolder&) = delete;
    TableFolder& operator=(const TableFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path data() const { return m_path / "data"; }

    // Writes data/<name>.dbf from its text: a field line, then one TAB-separated line per row.
    void write(const std::string& name, std::string_view text) const {
        store::writeTable(store::parseTableText(text, name), (data() / (name + ".dbf")).string());
    }

private:
    std::filesystem::path m_path;
};

}  // namespace testsupport

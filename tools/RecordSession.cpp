#include "RecordSession.h"

#include <unistd.h>

#include <iostream>
#include <stdexcept>

#include "Dataset.h"

namespace fs = std::filesystem;

namespace tools {

RecordSession::ProgramFolder::ProgramFolder(const std::string& tool, const fs::path& dataDir) {
    if (!fs::is_directory(dataDir)) {
        throw std::runtime_error(dataDir.string() + " is no folder");
    }
    const fs::path data = fs::absolute(dataDir).lexically_normal();
    const fs::path folder = data.has_filename() ? data : data.parent_path();
    if (folder.filename() == "data") {
        m_path = folder.parent_path();
        return;
    }
    m_scratch = fs::temp_directory_path() / (tool + "_" + std::to_string(getpid()));
    fs::remove_all(m_scratch);
    fs::create_directories(m_scratch);
    fs::create_directory_symlink(folder, m_scratch / "data");
    m_path = m_scratch;
}

RecordSession::ProgramFolder::~ProgramFolder() {
    if (!m_scratch.empty()) {
        std::error_code ignored;
        fs::remove_all(m_scratch, ignored);
    }
}

RecordSession::RecordSession(const std::string& tool, const fs::path& dataDir,
                             const std::string& item4)
    : m_folder(tool, dataDir), m_dm(std::make_unique<TDM>(m_folder.path())) {
    DM = m_dm.get();
    for (const std::string& error : m_dm->DataModuleCreate()) {
        std::cerr << tool << ": " << error << "\n";
    }
    if (!m_dm->Qryhvel.active() || !m_dm->Qryhvel.locate("ITEM_4", store::Value(item4))) {
        DM = nullptr;
        throw std::runtime_error("no record " + item4 + " in " + dataDir.string());
    }
    m_dm->FilterChildTables(item4, m_dm->Qryhvel.field("ITEM_DQDM").asText());
}

RecordSession::~RecordSession() {
    DM = nullptr;
}

}  // namespace tools

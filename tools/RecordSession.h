#pragma once

// The data module over a data directory, with one record current and the four child tables
// filtered to it: what formpdf and formdocs print and write from.

#include <filesystem>
#include <memory>
#include <string>

#include "UnitDM.h"

namespace tools {

class RecordSession {
public:
    // Opens dataDir (a folder of any name: the data module reads "<program folder>/data", so
    // another name is reached through a link in a scratch folder) and makes the record with key
    // item4 current. Start-up faults are written to standard error prefixed with tool; a missing
    // folder or record throws std::runtime_error.
    RecordSession(const std::string& tool, const std::filesystem::path& dataDir,
                  const std::string& item4);
    ~RecordSession();
    RecordSession(const RecordSession&) = delete;
    RecordSession& operator=(const RecordSession&) = delete;

    TDM& dm() { return *m_dm; }

private:
    // The program folder whose "data" is the data directory; a scratch folder holding the link
    // when there is one, removed with it.
    class ProgramFolder {
    public:
        ProgramFolder(const std::string& tool, const std::filesystem::path& dataDir);
        ~ProgramFolder();
        ProgramFolder(const ProgramFolder&) = delete;
        ProgramFolder& operator=(const ProgramFolder&) = delete;
        const std::filesystem::path& path() const { return m_path; }

    private:
        std::filesystem::path m_path;
        std::filesystem::path m_scratch;
    };

    ProgramFolder m_folder;
    std::unique_ptr<TDM> m_dm;
};

}  // namespace tools

#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh program folder in the temporary directory whose "data" holds a copy of the
// delivered tables; removed when the object goes.
class ProgramDir {
public:
    ProgramDir();
    ~ProgramDir();
    ProgramDir(const ProgramDir&) = delete;
    ProgramDir& operator=(const ProgramDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path data() const { return m_path / "data"; }
    // The data file whose name matches without regard to case.
    std::filesystem::path file(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

}  // namespace testsupport

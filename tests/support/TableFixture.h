#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "ScratchFolder.h"
#include "TableText.h"

namespace testsupport {

// A program folder in the temporary directory whose "data" holds only the tables a test
// writes from their text form (see TableText.h); removed when the object goes.
class TableFolder {
public:
    TableFolder() { std::filesystem::create_directories(data()); }

    const std::filesystem::path& path() const { return m_folder.path(); }
    std::filesystem::path data() const { return path() / "data"; }

    // Writes data/<name>.dbf from its text: a field line, then one TAB-separated line per row.
    void write(const std::string& name, std::string_view text) const {
        store::writeTable(store::parseTableText(text, name), (data() / (name + ".dbf")).string());
    }

private:
    ScratchFolder m_folder;
};

}  // namespace testsupport

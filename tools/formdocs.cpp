// formdocs: writes every document of one record into a folder, without asking and without
// opening them, so that a person or a test can look at them without the program's windows.
//
//   formdocs DATA_DIR ITEM_4 OUT_DIR
//
// Each document is written as OUT_DIR/<template name>.docx, replacing one of that name.

#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "DocumentCatalog.h"
#include "UnitDM.h"
#include "WordExport.h"

namespace fs = std::filesystem;

namespace {

// The data module takes the program's folder and reads its "data"; a data directory of
// another name is reached through a link in a scratch folder.
class ProgramFolder {
public:
    explicit ProgramFolder(const fs::path& dataDir) {
        const fs::path data = fs::absolute(dataDir).lexically_normal();
        const fs::path name = data.has_filename() ? data.filename() : data.parent_path().filename();
        if (name == "data") {
            m_path = data.has_filename() ? data.parent_path() : data.parent_path().parent_path();
            return;
        }
        m_scratch = fs::temp_directory_path() / ("formdocs_" + std::to_string(getpid()));
        fs::remove_all(m_scratch);
        fs::create_directories(m_scratch);
        fs::create_directory_symlink(data, m_scratch / "data");
        m_path = m_scratch;
    }
    ~ProgramFolder() {
        if (!m_scratch.empty()) {
            std::error_code ignored;
            fs::remove_all(m_scratch, ignored);
        }
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
    fs::path m_scratch;
};

int run(const fs::path& dataDir, const std::string& item4, const fs::path& outDir) {
    if (!fs::is_directory(dataDir)) {
        std::cerr << "formdocs: " << dataDir << " is no folder\n";
        return 1;
    }
    ProgramFolder program(dataDir);
    TDM dm(program.path());
    DM = &dm;
    for (const std::string& error : dm.DataModuleCreate()) {
        std::cerr << "formdocs: " << error << "\n";
    }
    if (!dm.Qryhvel.active() || !dm.Qryhvel.locate("ITEM_4", store::Value(item4))) {
        std::cerr << "formdocs: no record " << item4 << " in " << dataDir << "\n";
        return 1;
    }
    const documents::ExportContext context(dm);
    for (documents::ChildList list :
         {documents::ChildList::Units, documents::ChildList::Patents,
          documents::ChildList::Committee, documents::ChildList::Persons}) {
        documents::filterToCurrentRecord(documents::listTable(dm, list), context);
    }

    fs::create_directories(outDir);
    const auto family = documents::familyOf(context.field("ITEM_CGLB"));
    for (const documents::DocumentSet& set : documents::documentSetsOf(family)) {
        documents::FilledSet filled = documents::fillDocuments(dm, set);
        for (const documents::FilledDocument& document : filled.documents) {
            const fs::path path =
                outDir / (fs::path(document.templateName).stem().string() + ".docx");
            fs::remove(path);
            document.document.save(path);
            std::cout << path.string() << "\n";
        }
        if (QString message = documents::leftOutMessage(filled.leftOut); !message.isEmpty()) {
            std::cerr << message.toStdString() << "\n";
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: formdocs DATA_DIR ITEM_4 OUT_DIR\n";
        return 2;
    }
    try {
        return run(argv[1], argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::cerr << "formdocs: " << e.what() << "\n";
        return 1;
    }
}

// formdocs: writes every document of one record into a folder, without asking and without
// opening them, so that a person or a test can look at them without the program's windows.
//
//   formdocs DATA_DIR ITEM_4 OUT_DIR
//
// Each document is written as OUT_DIR/<template name>.docx, replacing one of that name.

#include <filesystem>
#include <iostream>

#include "DocumentCatalog.h"
#include "RecordSession.h"
#include "WordExport.h"

namespace fs = std::filesystem;

namespace {

int run(const fs::path& dataDir, const std::string& item4, const fs::path& outDir) {
    tools::RecordSession session("formdocs", dataDir, item4);
    TDM& dm = session.dm();
    const documents::ExportContext context(dm);
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

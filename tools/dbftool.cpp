// dbftool: builds a table file from its readable text form, dumps one back, packs one.
//
//   dbftool build <source.txt> <out.dbf>
//   dbftool dump <table.dbf>
//   dbftool pack <table.dbf>
//
// Opening a table first rolls back a unit of writes that the program left unfinished in its
// directory, as the program does; a journal it sets aside instead is told of on standard
// error.

#include <fstream>
#include <iostream>
#include <sstream>

#include "DbfFile.h"
#include "Errors.h"
#include "Notices.h"
#include "TableText.h"

namespace {

int usage() {
    std::cerr << "用法：dbftool build <文本文件> <数据表文件>   由文本建立数据表\n"
                 "      dbftool dump <数据表文件>              把数据表写成文本\n"
                 "      dbftool pack <数据表文件>              整理数据表\n";
    return 2;
}

int build(const std::string& source, const std::string& output) {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        std::cerr << source << "：读不到这个文件\n";
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    try {
        store::writeTable(store::parseTableText(text.str(), source), output);
    } catch (const store::ValueError& e) {
        std::cerr << e.what() << "\n";  // already "source:line: message"
        return 1;
    }
    return 0;
}

// Says what the store did on its own, such as a journal it set aside.
void tellNotices() {
    for (const std::string& notice : store::takeNotices()) {
        std::cerr << "dbftool: " << notice << "\n";
    }
}

int run(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "build" && argc == 4) {
            return build(argv[2], argv[3]);
        }
        if (command == "dump" && argc == 3) {
            std::cout << store::formatTableText(*store::DbfFile::open(argv[2]));
            return 0;
        }
        if (command == "pack" && argc == 3) {
            store::DbfFile::open(argv[2], store::LockMode::Exclusive)->pack();
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "dbftool: " << e.what() << "\n";
        return 1;
    }
    return usage();
}

}  // namespace

int main(int argc, char** argv) {
    const int result = run(argc, argv);
    tellNotices();
    return result;
}

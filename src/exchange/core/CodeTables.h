#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <vector>

class TDM;

namespace store {
class Table;
}

// The update of the four classification and code tables that the entry forms offer: from a
// code-table package (an archive holding one exchange text file) read into the open table, or
// from a table file copied over the data directory's.
namespace exchange {

class ExchangeHost;

// One of the four tables and the names that go with it.
struct CodeTable {
    const char* packageName;  // "DFJHXX.ARJ"
    const char* textFile;     // "DFJHXX.TXT"
    const char* tableFile;    // "DFJHZDXX.DBF"
    // The fields that the program reads, in the order the tree picker relies on: a table file
    // must begin with them, as text fields.
    std::vector<const char*> columns;
};

// The project-source sub-options, the library and the discipline classifications and the
// ministries.
extern const CodeTable kDfjhzdxx;
extern const CodeTable kZtflh;
extern const CodeTable kXkfl;
extern const CodeTable kLsbw;

enum class CodeTableResult {
    Updated,
    // The user cancelled the archiver or the file dialog.
    Cancelled,
    // The chosen table file is not named as the table's file.
    WrongName,
    // The archiver failed; the detail says how.
    ArchiverFailed,
    // The package holds no text file of the table.
    NoTextFile,
    // The package or the table file cannot replace the table; the detail says why.
    Refused,
    // The copy of the table file fell short of its size.
    ShortCopy,
};

struct CodeTableUpdate {
    CodeTableResult result = CodeTableResult::Cancelled;
    std::string detail;
    bool operator==(const CodeTableUpdate&) const = default;
};

// Reads the text file of code's package into table (dataset of the data module) in place of
// its rows, as one unit of writes, once the package has been unpacked into a folder of its own
// in the temporary space: a package that fails leaves the table as it was. Throws
// ExchangeIoError and store errors.
CodeTableUpdate UpdateFromPackage(const CodeTable& code, store::Table& table,
                                  const std::filesystem::path& package, ExchangeHost& host);

// What an update from a table file asks; the code-table dialog implements it.
class TableFileChoice {
public:
    // The file chosen, empty when the user cancelled.
    virtual QString chooseTableFile() = 0;

protected:
    ~TableFileChoice() = default;
};

// Closes table (and the data module's Table1 where it is open on the same file), asks for the
// table file and copies it beside the data directory's file, renaming it over that once it is
// complete and readable as a table of code's columns: the table is at every moment either the
// old file or the new one. The tables are opened again in every case.
CodeTableUpdate UpdateFromTableFile(TDM& dm, const CodeTable& code, store::Table& table,
                                    TableFileChoice& choice);

}  // namespace exchange

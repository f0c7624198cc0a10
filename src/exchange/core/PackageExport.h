#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "Dataset.h"
#include "ExportRows.h"

class TDM;

// The export of chosen records into a package: the records (T_temp_out) with their child rows,
// the registering unit and its discipline leaders are written as exchange text files into a
// folder and packed there into one package.
namespace exchange {

// What an export asks the user and shows while it runs; the export dialog implements it.
class ExportQuestions {
public:
    // The folder holds a package already: true to replace it.
    virtual bool replacePackage() = 0;
    // The positions (0-based, in the dataset's current order) of the chosen records.
    virtual std::vector<int> chosenRows() = 0;
    // No record is chosen: true when the user chose every record instead.
    virtual bool chooseEveryRecord() = 0;
    // The files are written and packed between busy(true) and busy(false).
    virtual void busy(bool writing) = 0;

protected:
    ~ExportQuestions() = default;
};

class PackageExport {
public:
    // The package's name, exactly as written.
    static const char* const PackageName;

    explicit PackageExport(TDM& dm);

    // Every record's export mark back to "0", as one unit of writes, the record table
    // unfiltered and left open; no export has been made yet.
    void reset();
    // Exports the chosen records into folder (with its trailing separator): asks whether an
    // existing package is to be replaced and, with no record chosen, whether every record is;
    // false when either answer is no and nothing was written. Then writes the files, clears the
    // record table's filter and packs the files. Only once the package stands are the records'
    // export marks set, the package it replaces removed and the text files with it; a failure
    // throws (ExchangeIoError, ArchiverError, a store error) and leaves any old package as it
    // was.
    bool exportInto(const std::filesystem::path& folder, ExportQuestions& questions);
    // Removes the files of the records and their child rows that the last export left in its
    // folder (after a failure), and forgets that folder.
    void removeLeftovers();

private:
    std::vector<store::Dataset::Bookmark> recordsAt(const std::vector<int>& rows);
    // Writes the main file of records; returns the keys of the records written, in order.
    std::vector<RecordKey> writeMainFile(const std::filesystem::path& path,
                                         const std::vector<store::Dataset::Bookmark>& records);
    void writeUnitFile(const std::filesystem::path& path);
    void writeExpertFile(const std::filesystem::path& path);
    void markExported(const std::vector<store::Dataset::Bookmark>& records);

    TDM& m_dm;
    // The folder of the last export, where leftovers are removed; empty when none was made.
    std::filesystem::path m_folder;
};

}  // namespace exchange

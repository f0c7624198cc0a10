#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "Archiver.h"
#include "ExchangeTextFile.h"

class TDM;

// The import of a package into the staging tables: unpacked into a folder of its own, its text
// files read into the staging tables (T_temp_in switched from one to the next), where the
// staged records are counted, dropped and, by ImportMerge, merged into the live tables.
namespace exchange {

class ExchangeHost;

// What reading a package shows while it runs; the import dialog implements it.
class ReadingProgress {
public:
    // Before the first file: the grids over the staging table and the record list let go of
    // their data.
    virtual void readingStarts() = 0;
    // The file of exchange table (an index into ExchangeTables) is read next.
    virtual void readingFile(int table) = 0;
    // After the last file or a failure, the staging table back on the staged records.
    virtual void readingEnds() = 0;

protected:
    ~ReadingProgress() = default;
};

// The staged records, and among them those of each type.
struct StagedCounts {
    int records = 0;
    int appliedTechnology = 0;  // ITEM_CGLB "1"
    int softScience = 0;        // "2"
    int basicTheory = 0;        // "3"
    bool operator==(const StagedCounts&) const = default;
};

// What reading the unpacked files found.
struct PackageReading {
    // False when fewer than five of the six files were there: nothing was read.
    bool complete = false;
    // The files the package lacked ("ZLQK.TXT").
    QStringList missing;
    // Per file read, its name and what the reading counted.
    std::vector<std::pair<QString, ExchangeReadCounts>> read;
};

class PackageImport {
public:
    explicit PackageImport(TDM& dm);

    // Empties every staging table (the unit file's too, where there is one) and forgets the
    // unpacked files; T_temp_in is left on the main staging table, unfiltered and open.
    void clear();
    // Unpacks package (the file under its own name) into a folder of its own in the temporary
    // space, in place of what was unpacked before: the package's folder is only read. Throws
    // ArchiverError, nothing unpacked kept.
    void unpack(const std::filesystem::path& package);
    bool hasUnpacked() const { return m_unpacked.has_value(); }
    // The unpacked files go.
    void forgetUnpacked() { m_unpacked.reset(); }
    // Reads the six files of the package (five suffice) into their staging tables, appended to
    // what is staged, as one unit of writes; the unpacked files go afterwards. A file that
    // cannot be read leaves the staging tables as they were before: ExchangeFormatError (the
    // unpacked files go too), ExchangeIoError or a store error is thrown.
    PackageReading read(ReadingProgress& progress, ExchangeHost& host);

    StagedCounts counts() const;

    // The staged record under T_temp_in's cursor and its staged child rows go, as one unit;
    // with the last staged record go all staged child rows.
    void deleteStagedRecord();
    // Deletes the staged child rows of the staged record under T_temp_in's cursor.
    void DeleteTempChildren();
    // Empties the four staged child tables.
    void EmptyTempChildTables();

private:
    // Switches T_temp_in to the staging table of exchange name (closed, unfiltered, opened).
    void openStagingTable(const QString& exchangeName);
    int countStaged(const QString& condition) const;

    TDM& m_dm;
    // The files of the chosen package, unpacked, until they are read.
    std::optional<UnpackFolder> m_unpacked;
};

// The rows of one record in a table of child rows: its key and its region, where an empty
// region is stored as null.
QString RecordCondition(const QString& key, const QString& region);

}  // namespace exchange

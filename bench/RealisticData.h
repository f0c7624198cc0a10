#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Data folders of realistic size for the benchmarks, generated on first use and kept in the
// temporary directory for later runs (never in the repository).
//
// Each record has three long texts of about 2 KB, 20 completing persons, 3 co-completing
// units, 9 committee members and 2 patents; its key is a year (ten years, in blocks of equal
// size, as records are entered year by year) and a serial; the types take turns. Beside the
// data folder lies "native.sqlite": the same rows of the main table and the four child tables
// in native SQLite tables, each with an index on its key, the memo fields of each in a table of
// their own ("hvel_memo", by the row's rowid), as the memo file holds them apart.
namespace benchdata {

struct DataFolder {
    std::filesystem::path root;
    int records = 0;
    // The data folder: every delivered table, filled with the records.
    std::filesystem::path dir() const { return root / "data"; }
    std::filesystem::path native() const { return root / "native.sqlite"; }
    // The key of record i (0-based) and the first year of the keys.
    static std::string key(int record, int records);
    static constexpr int kFirstYear = 2000;
    static constexpr int kYears = 10;
};

// The folder for this many records, generated when it is not there yet.
const DataFolder& realisticData(int records);

// Copies a file; with sync, the copy is on disk when this returns.
void copyFile(const std::filesystem::path& from, const std::filesystem::path& to, bool sync);
// Copies every file of from into to (created, emptied first); with sync, each copy is synced
// to disk before the next begins.
void copyFolder(const std::filesystem::path& from, const std::filesystem::path& to, bool sync);

// Makes the folder's entries durable.
void syncFolder(const std::filesystem::path& folder);

// A fresh copy of the data folder in a scratch folder root/name, for benchmarks that change
// the tables; returns the copy's path.
std::filesystem::path scratchCopy(const DataFolder& data, const std::string& name);

// A fresh copy of the data folder in root/"deleted" with every twentieth record deleted, with
// its child rows, as a user deletes records; returns the copy's path.
std::filesystem::path withDeletedRecords(const DataFolder& data);

}  // namespace benchdata

struct sqlite3;
struct sqlite3_stmt;

namespace benchdata {

// The native page cache: about the program's peak memory at the main window at 100,000
// records (bench/program prints it).
constexpr int kNativeCacheKb = 70 * 1024;

// The yardsticks: the same questions asked of the native tables, through their indexes.
class NativeTables {
public:
    explicit NativeTables(const DataFolder& data);
    ~NativeTables();
    NativeTables(const NativeTables&) = delete;
    NativeTables& operator=(const NativeTables&) = delete;

    // The record list of a type and a year prefix ("select * from hvel where item_cglb=...
    // and item_4 like 'year%'", case-sensitive like so that the key's index serves it),
    // reading the list's four visible columns of every row; returns the row count.
    int listRows(int type, const std::string& year);
    // The rowids of that list.
    std::vector<long long> listRowids(int type, const std::string& year);
    // Every column of a record's rows in a child table; returns the row count.
    int childRows(const std::string& table, const std::string& key);
    // Every column of the main record with this key and its memos; returns the row count.
    int recordRow(const std::string& key);
    // Sets NO to start+1, start+2 ... over the rows, one UPDATE per row, inside one
    // transaction.
    void renumber(const std::vector<long long>& rowids, long long start);

    sqlite3* connection() const { return m_db; }
    size_t bytesRead() const { return m_bytesRead; }

private:
    sqlite3_stmt* prepare(const std::string& sql);
    // Steps through the statement's rows reading every column; returns the row count.
    int readRows(sqlite3_stmt* stmt);
    sqlite3* m_db = nullptr;
    std::map<std::string, sqlite3_stmt*> m_statements;
    size_t m_bytesRead = 0;  // what was read, so that the reads are not optimised away
};

}  // namespace benchdata

#include "RealisticData.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Database.h"
#include "DbfFile.h"
#include "Value.h"

namespace fs = std::filesystem;
using store::DbfFile;
using store::FieldDef;
using store::FieldType;
using store::Value;

namespace benchdata {

namespace {

// Bumped whenever the generated rows change, so that an old cached folder is not used.
constexpr int kVersion = 2;

constexpr int kPersons = 20;
constexpr int kUnits = 3;
constexpr int kMembers = 9;
constexpr int kPatents = 2;
constexpr int kMemoCharacters = 1000;  // about 2 KB in GBK

const char* const kHanzi =
    "研究开发应用技术系统方法材料结构设计工艺控制分析测试理论模型数据网络信息能源环境工程机械电子"
    "化学生物医学农业交通建筑水利冶金纺织轻工地质海洋气象航空航天计算机软件硬件通信自动化仪器仪表";

// The i-th character of the pool (three bytes in UTF-8, two in GBK).
std::string_view hanzi(size_t i) {
    static const std::string_view pool(kHanzi);
    const size_t count = pool.size() / 3;
    return pool.substr((i % count) * 3, 3);
}

// Text of the given width in GBK bytes at most: hanzi from seed, then the number.
std::string text(int width, size_t seed, long number) {
    const std::string digits = std::to_string(number);
    std::string out;
    int used = 0;
    for (size_t k = 0; used + 2 + static_cast<int>(digits.size()) <= width && k < 40; ++k) {
        out += hanzi(seed + k * 7);
        used += 2;
    }
    if (used + static_cast<int>(digits.size()) <= width) {
        out += digits;
    }
    return out;
}

// A long text of lines of 40 hanzi.
std::string memo(size_t seed, long number) {
    std::string out = "第" + std::to_string(number) + "项";
    for (int k = 0; k < kMemoCharacters; ++k) {
        out += hanzi(seed + k * 13);
        if (k % 40 == 39) {
            out += "\r\n";
        }
    }
    return out;
}

// The value of a field that the generator does not name: a code for narrow text fields, text
// for wide ones, a number, a date.
Value plain(const FieldDef& field, size_t seed, long number) {
    switch (field.type) {
        case FieldType::Character:
            if (field.length <= 4) {
                return Value(std::string(1, static_cast<char>('1' + number % 3)));
            }
            return Value(text(field.length, seed, number));
        case FieldType::Numeric:
        case FieldType::Float:
            return field.decimals > 0 ? Value(static_cast<double>(number % 5000) + 0.25)
                                      : Value(static_cast<long long>(number % 100000));
        case FieldType::Date:
            return Value(store::Date{2000 + static_cast<int>(number % 10),
                                     1 + static_cast<int>(number % 12),
                                     1 + static_cast<int>(number % 28)});
        default:
            return Value();
    }
}

// One table being filled: the table file and the same rows in the native database.
class Filler {
public:
    // The memo fields go into a table of their own, "<table>_memo", as they lie in a memo
    // file of their own: its rowid is the row's.
    Filler(const fs::path& file, sqlite3* native, const std::string& table)
        : m_file(DbfFile::open(file.string(), store::LockMode::Exclusive)), m_native(native) {
        std::string create = "create table " + table + "(";
        std::string insert = "insert into " + table + " values(";
        std::string createMemo = "create table " + table + "_memo(rowid integer primary key";
        std::string insertMemo = "insert into " + table + "_memo values(last_insert_rowid()";
        const auto& fields = m_file->fields();
        for (size_t c = 0; c < fields.size(); ++c) {
            if (fields[c].type == FieldType::Memo) {
                m_memoColumns.push_back(c);
                createMemo += "," + fields[c].name + " text";
                insertMemo += ",?";
                continue;
            }
            const bool number =
                fields[c].type == FieldType::Numeric || fields[c].type == FieldType::Float;
            create +=
                (m_columns.empty() ? "" : ",") + fields[c].name + (number ? " numeric" : " text");
            insert += m_columns.empty() ? "?" : ",?";
            m_columns.push_back(c);
        }
        exec(create + ")");
        m_insert = prepare(insert + ")");
        if (!m_memoColumns.empty()) {
            exec(createMemo + ")");
            m_insertMemo = prepare(insertMemo + ")");
        }
    }
    ~Filler() {
        sqlite3_finalize(m_insert);
        sqlite3_finalize(m_insertMemo);
        m_file->flush();
    }
    Filler(const Filler&) = delete;
    Filler& operator=(const Filler&) = delete;

    const std::vector<FieldDef>& fields() const { return m_file->fields(); }

    void add(const std::vector<Value>& row) {
        std::vector<std::pair<int, Value>> values;
        for (size_t c = 0; c < row.size(); ++c) {
            if (!row[c].isNull()) {
                values.emplace_back(static_cast<int>(c), row[c]);
            }
        }
        m_file->append(values);
        insertRow(m_insert, m_columns, row);
        if (m_insertMemo) {
            insertRow(m_insertMemo, m_memoColumns, row);
        }
    }

    void exec(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(m_native, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(message);
        }
    }

private:
    sqlite3_stmt* prepare(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_native, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(m_native));
        }
        return stmt;
    }

    void insertRow(sqlite3_stmt* insert, const std::vector<size_t>& columns,
                   const std::vector<Value>& row) {
        for (size_t i = 0; i < columns.size(); ++i) {
            const Value& v = row[columns[i]];
            const int column = static_cast<int>(i) + 1;
            if (v.isNull()) {
                sqlite3_bind_null(insert, column);
            } else if (v.kind() == Value::Kind::Number) {
                sqlite3_bind_double(insert, column, v.asNumber());
            } else {
                const std::string s = v.asText();
                sqlite3_bind_text(insert, column, s.c_str(), static_cast<int>(s.size()),
                                  SQLITE_TRANSIENT);
            }
        }
        if (sqlite3_step(insert) != SQLITE_DONE) {
            throw std::runtime_error(sqlite3_errmsg(m_native));
        }
        sqlite3_reset(insert);
    }

    std::unique_ptr<DbfFile> m_file;
    sqlite3* m_native;
    std::vector<size_t> m_columns;      // of the fields, in the main table
    std::vector<size_t> m_memoColumns;  // of the fields, in the memo table
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_insertMemo = nullptr;
};

// The row of a record's table: its key fields, the sequence number (the third field of every
// child table), three long texts in the main table, the rest plain.
std::vector<Value> row(const std::vector<FieldDef>& fields, const std::string& key, int record,
                       int sequence, int type) {
    std::vector<Value> values;
    values.reserve(fields.size());
    for (size_t c = 0; c < fields.size(); ++c) {
        const FieldDef& field = fields[c];
        const std::string& name = field.name;
        const size_t seed = static_cast<size_t>(record) * 31 + c * 17 + sequence;
        if (name == "ITEM_4") {
            values.emplace_back(key);
        } else if (name == "ITEM_DQDM") {
            values.emplace_back(".");
        } else if (name == "ITEM_CGLB") {
            values.emplace_back(std::to_string(type));
        } else if (name == "NO" || name == "item_check" || name == "ITEM_SJDC" ||
                   name == "ITEM_SJDR") {
            values.emplace_back();
        } else if (sequence > 0 && c == 2) {
            values.emplace_back(sequence);
        } else if (name == "ITEM_13" || name == "ITEM_13_1" || name == "ITEM_13_2") {
            values.emplace_back(memo(seed, record));
        } else if (field.type == FieldType::Memo) {
            values.emplace_back();
        } else {
            values.push_back(plain(field, seed, record * 7L + sequence));
        }
    }
    return values;
}

void generate(const DataFolder& data) {
    fs::remove_all(data.root);
    fs::create_directories(data.dir());
    for (const auto& entry : fs::directory_iterator(VELMORA_DATA_DIR)) {
        fs::copy_file(entry.path(), data.dir() / entry.path().filename());
    }
    sqlite3* native = nullptr;
    if (sqlite3_open(data.native().c_str(), &native) != SQLITE_OK) {
        throw std::runtime_error("cannot create " + data.native().string());
    }
    {
        Filler unit(data.dir() / "unit.dbf", native, "unit");
        std::vector<Value> registering(unit.fields().size());
        registering[0] = Value("9990001000");
        registering[1] = Value("1");
        registering[4] = Value(text(140, 3, 1));
        unit.add(registering);

        Filler main(data.dir() / "hvel.DBF", native, "hvel");
        Filler persons(data.dir() / "cgwcr.DBF", native, "cgwcr");
        Filler units(data.dir() / "cgwcdw.DBF", native, "cgwcdw");
        Filler members(data.dir() / "jdwyhmd.DBF", native, "jdwyhmd");
        Filler patents(data.dir() / "zlqk.DBF", native, "zlqk");
        main.exec("begin");
        const std::pair<Filler*, int> children[] = {
            {&units, kUnits}, {&patents, kPatents}, {&members, kMembers}, {&persons, kPersons}};
        for (int i = 0; i < data.records; ++i) {
            const std::string key = DataFolder::key(i, data.records);
            const int type = 1 + i % 3;
            main.add(row(main.fields(), key, i, 0, type));
            for (auto [child, count] : children) {
                for (int k = 1; k <= count; ++k) {
                    child->add(row(child->fields(), key, i, k, type));
                }
            }
        }
        main.exec("create index hvel_key on hvel(item_4)");
        for (const char* child : {"cgwcr", "cgwcdw", "jdwyhmd", "zlqk"}) {
            main.exec(std::string("create index ") + child + "_key on " + child +
                      "(item_4, item_dqdm)");
        }
        main.exec("commit");
    }
    sqlite3_close(native);
    std::ofstream(data.root / "complete") << kVersion << '\n';
}

}  // namespace

std::string DataFolder::key(int record, int records) {
    const int perYear = std::max(1, records / kYears);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%06d",
                  kFirstYear + std::min(record / perYear, kYears - 1), record % 1000000 + 1);
    return text;
}

const DataFolder& realisticData(int records) {
    static std::map<int, DataFolder> folders;
    if (auto it = folders.find(records); it != folders.end()) {
        return it->second;
    }
    DataFolder data;
    data.records = records;
    data.root = fs::temp_directory_path() / "velmora-bench" /
                ("records-" + std::to_string(records) + "-v" + std::to_string(kVersion));
    if (!fs::exists(data.root / "complete")) {
        std::fprintf(stderr, "generating %d records in %s ...\n", records, data.root.c_str());
        generate(data);
    }
    return folders.emplace(records, data).first->second;
}

void copyFile(const fs::path& from, const fs::path& to, bool sync) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    if (sync) {
        const int fd = ::open(to.c_str(), O_RDONLY | O_CLOEXEC);
        ::fsync(fd);
        ::close(fd);
    }
}

void copyFolder(const fs::path& from, const fs::path& to, bool sync) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from)) {
        copyFile(entry.path(), to / entry.path().filename(), sync);
    }
    if (sync) {
        syncFolder(to);
    }
}

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::fsync(fd);
    ::close(fd);
}

fs::path scratchCopy(const DataFolder& data, const std::string& name) {
    const fs::path copy = data.root / name;
    copyFolder(data.dir(), copy, false);
    return copy;
}

fs::path withDeletedRecords(const DataFolder& data) {
    const fs::path folder = scratchCopy(data, "deleted");
    store::Database db(folder);
    for (const char* table : {"hvel", "cgwcr", "cgwcdw", "jdwyhmd", "zlqk"}) {
        db.run(std::string("delete from ") + table + " where substr(item_4, 9, 2) < '05'");
    }
    return folder;
}

}  // namespace benchdata

namespace benchdata {

NativeTables::NativeTables(const DataFolder& data) {
    if (sqlite3_open_v2(data.native().c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        throw std::runtime_error("cannot open " + data.native().string());
    }
    sqlite3_exec(m_db, "pragma case_sensitive_like=on", nullptr, nullptr, nullptr);
    // A page cache as large as the program's memory at the main window (bench/program).
    const std::string cache = "pragma cache_size=-" + std::to_string(kNativeCacheKb);
    sqlite3_exec(m_db, cache.c_str(), nullptr, nullptr, nullptr);
}

NativeTables::~NativeTables() {
    for (auto& [sql, stmt] : m_statements) {
        sqlite3_finalize(stmt);
    }
    sqlite3_close(m_db);
}

sqlite3_stmt* NativeTables::prepare(const std::string& sql) {
    sqlite3_stmt*& stmt = m_statements[sql];
    if (!stmt && sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(m_db));
    }
    sqlite3_reset(stmt);
    return stmt;
}

int NativeTables::listRows(int type, const std::string& year) {
    sqlite3_stmt* stmt = prepare("select * from hvel where item_cglb=?1 and item_4 like ?2");
    const std::string typeText = std::to_string(type);
    sqlite3_bind_text(stmt, 1, typeText.c_str(), -1, SQLITE_TRANSIENT);
    const std::string pattern = year + "%";
    sqlite3_bind_text(stmt, 2, pattern.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<int> visible;
    for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        for (const char* name : {"NO", "ITEM_120", "ITEM_3", "ITEM_9"}) {
            if (sqlite3_stricmp(sqlite3_column_name(stmt, c), name) == 0) {
                visible.push_back(c);
            }
        }
    }
    int rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c : visible) {
            m_bytesRead += static_cast<size_t>(sqlite3_column_bytes(stmt, c));
        }
        ++rows;
    }
    return rows;
}

std::vector<long long> NativeTables::listRowids(int type, const std::string& year) {
    sqlite3_stmt* stmt = prepare("select rowid from hvel where item_cglb=?1 and item_4 like ?2");
    const std::string typeText = std::to_string(type);
    sqlite3_bind_text(stmt, 1, typeText.c_str(), -1, SQLITE_TRANSIENT);
    const std::string pattern = year + "%";
    sqlite3_bind_text(stmt, 2, pattern.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<long long> rowids;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        rowids.push_back(sqlite3_column_int64(stmt, 0));
    }
    return rowids;
}

int NativeTables::childRows(const std::string& table, const std::string& key) {
    sqlite3_stmt* stmt = prepare("select * from " + table + " where item_4=?1 and item_dqdm=?2");
    sqlite3_bind_text(stmt, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, ".", -1, SQLITE_STATIC);
    return readRows(stmt);
}

int NativeTables::recordRow(const std::string& key) {
    sqlite3_stmt* stmt = prepare(
        "select * from hvel join hvel_memo on hvel_memo.rowid = hvel.rowid where hvel.item_4=?1");
    sqlite3_bind_text(stmt, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    return readRows(stmt);
}

int NativeTables::readRows(sqlite3_stmt* stmt) {
    int rows = 0;
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            sqlite3_column_text(stmt, c);
            m_bytesRead += static_cast<size_t>(sqlite3_column_bytes(stmt, c));
        }
        ++rows;
    }
    return rows;
}

void NativeTables::renumber(const std::vector<long long>& rowids, long long start) {
    sqlite3_exec(m_db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* update = prepare("update hvel set no=?1 where rowid=?2");
    long long number = start;
    for (long long rowid : rowids) {
        const std::string text = std::to_string(++number);
        sqlite3_bind_text(update, 1, text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(update, 2, rowid);
        sqlite3_step(update);
        sqlite3_reset(update);
    }
    sqlite3_exec(m_db, "commit", nullptr, nullptr, nullptr);
}

}  // namespace benchdata

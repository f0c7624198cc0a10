// Fuzzes the table file format: the input is a table file and its memo file, held in memory.
//
// Input: a 4-byte little-endian length n, n bytes of table file, then the memo file. The
// table is opened, every field of every record is read, then records are appended, edited
// and deleted (inside a rolled-back transaction and outside), the table is packed and
// reopened from its bytes; what is read must stay consistent throughout. Only StoreError may
// come out of the store; anything else, or a broken invariant, aborts.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja && ninja -C build-fuzz dbf_fuzz
//   build-fuzz/fuzz/dbf_fuzz -max_total_time=600 corpus/

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "DbfFile.h"
#include "Errors.h"

using namespace store;

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Deterministic choices drawn from the input.
class Choices {
public:
    Choices(const uint8_t* data, size_t size) : m_data(data), m_size(size) {
        for (size_t i = 0; i < size; ++i) {
            m_state = m_state * 1099511628211ULL ^ data[i];
        }
    }
    uint64_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    uint64_t below(uint64_t n) { return n ? next() % n : 0; }

    Value value() {
        switch (below(9)) {
            case 0:
                return Value();
            case 1:
                return Value(std::string(below(30), static_cast<char>('a' + below(26))));
            case 2: {
                std::string text;
                for (uint64_t i = below(12); i > 0; --i) {
                    const char* pieces[] = {"中", "文", " ", "乗", "€", "x", "\r\n", "　"};
                    text += pieces[below(8)];
                }
                return Value(text);
            }
            case 3: {  // raw input bytes: often not UTF-8
                size_t start = below(m_size + 1);
                return Value(std::string(reinterpret_cast<const char*>(m_data) + start,
                                         below(std::min<size_t>(m_size - start, 40) + 1)));
            }
            case 4: {
                double magnitudes[] = {1, 1e-3, 1e3, 1e9, 1e15, 1e300};
                return Value((static_cast<double>(below(2000001)) - 1000000) / 7 *
                             magnitudes[below(6)]);
            }
            case 5:
                return Value(Date{static_cast<int>(below(10001)), static_cast<int>(below(14)),
                                  static_cast<int>(below(33))});
            case 6: {
                const char* texts[] = {"2004-05-01", "20040230", "T",    "f",  "12.5",
                                       "-",          "1e5",      "  7 ", "abc"};
                return Value(texts[below(9)]);
            }
            case 7:
                return Value(below(2) == 0);
            default:
                return Value(std::string(below(600), 'm'));
        }
    }

    std::vector<std::pair<int, Value>> values(int fieldCount) {
        std::vector<std::pair<int, Value>> out;
        for (uint64_t i = below(6); i > 0; --i) {
            out.emplace_back(static_cast<int>(below(fieldCount)), value());
        }
        return out;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    uint64_t m_state = 14695981039346656037ULL;
};

using Row = std::vector<std::optional<Value>>;  // nullopt: the field could not be read

struct Snapshot {
    std::vector<bool> deleted;
    std::vector<Row> rows;
};

Snapshot readAll(const DbfFile& table) {
    Snapshot snapshot;
    std::string record;
    for (uint32_t recno = 1; recno <= table.recordCount(); ++recno) {
        try {
            table.readRecord(recno, record);
        } catch (const EngineError&) {
            require(false, "a counted record cannot be read");
        }
        Row row;
        for (int i = 0; i < static_cast<int>(table.fields().size()); ++i) {
            try {
                Value value = table.decodeField(record, i);
                value.asText();
                value.asDate();
                try {
                    value.asNumber();
                } catch (const ValueError&) {
                }
                row.push_back(value);
            } catch (const EngineError&) {
                row.push_back(std::nullopt);
            }
        }
        snapshot.deleted.push_back(DbfFile::isDeletedRecord(record));
        snapshot.rows.push_back(std::move(row));
    }
    return snapshot;
}

// What reading back a stored value must give.
Value expectedRead(const FieldDef& field, const Value& written) {
    std::string text = written.asText();
    if (field.type == FieldType::Character) {
        text.erase(text.find_last_not_of(std::string(" \0", 2)) + 1);
    }
    return text.empty() ? Value() : Value(text);
}

void checkStored(const DbfFile& table, uint32_t recno,
                 const std::vector<std::pair<int, Value>>& values) {
    std::vector<const Value*> last(table.fields().size(), nullptr);
    for (const auto& [index, value] : values) {
        last[index] = &value;
    }
    for (size_t i = 0; i < last.size(); ++i) {
        const FieldDef& field = table.fields()[i];
        if (!last[i] || (field.type != FieldType::Character && field.type != FieldType::Memo)) {
            continue;
        }
        Value read = table.value(recno, static_cast<int>(i));
        Value expected = expectedRead(field, *last[i]);
        if (read != expected) {
            std::fprintf(stderr, "field %s: wrote \"%s\", read \"%s\"\n", field.name.c_str(),
                         expected.asText().c_str(), read.asText().c_str());
        }
        require(read == expected, "text read back differs from text written");
    }
}

std::unique_ptr<DbfFile> openBytes(const std::string& dbf, const std::string* memo) {
    return std::make_unique<DbfFile>("fuzz", std::make_unique<MemoryFile>(dbf),
                                     memo ? std::make_unique<MemoryFile>(*memo) : nullptr);
}

void exercise(DbfFile& table, const MemoryFile& dbfIo, const MemoryFile* memoIo, Choices& choose) {
    const int fieldCount = static_cast<int>(table.fields().size());
    readAll(table);

    // Everything done inside a rolled-back transaction leaves no trace.
    const std::string dbfBefore = dbfIo.bytes();
    const std::string memoBefore = memoIo ? memoIo->bytes() : std::string();
    const uint32_t countBefore = table.recordCount();
    table.beginTransaction();
    for (uint64_t i = choose.below(5); i > 0; --i) {
        try {
            switch (choose.below(4)) {
                case 0:
                    table.append(choose.values(fieldCount));
                    break;
                case 1:
                    table.update(static_cast<uint32_t>(choose.below(table.recordCount() + 2)),
                                 choose.values(fieldCount));
                    break;
                case 2:
                    table.setDeleted(static_cast<uint32_t>(choose.below(table.recordCount() + 2)),
                                     choose.below(2));
                    break;
                default:
                    table.beginTransaction();
                    table.append(choose.values(fieldCount));
                    table.commitTransaction();
            }
        } catch (const StoreError&) {
        }
    }
    while (table.inTransaction()) {
        table.rollbackTransaction();
    }
    require(dbfIo.bytes() == dbfBefore, "rollback left the table file changed");
    require(!memoIo || memoIo->bytes() == memoBefore, "rollback left the memo file changed");
    require(table.recordCount() == countBefore, "rollback left the record count changed");

    // Plain writes, each checked by reading back.
    for (uint64_t i = choose.below(6); i > 0; --i) {
        auto values = choose.values(fieldCount);
        try {
            if (choose.below(2) == 0 || table.recordCount() == 0) {
                uint32_t recno = table.append(values);
                require(recno == table.recordCount(), "append returned another number");
                checkStored(table, recno, values);
            } else {
                uint32_t recno = static_cast<uint32_t>(1 + choose.below(table.recordCount()));
                table.update(recno, values);
                checkStored(table, recno, values);
                table.setDeleted(recno, choose.below(2));
            }
        } catch (const StoreError&) {
        }
    }

    // Reopening the bytes reads the same.
    Snapshot before = readAll(table);
    {
        auto again = openBytes(dbfIo.bytes(), memoIo ? &memoIo->bytes() : nullptr);
        Snapshot reread = readAll(*again);
        require(reread.rows == before.rows && reread.deleted == before.deleted,
                "reopened table reads differently");
    }

    // Pack keeps the live rows in order.
    try {
        table.pack();
    } catch (const EngineError&) {
        return;  // a damaged memo pointer stops the pack; the table stays as it was
    }
    Snapshot packed = readAll(table);
    std::vector<Row> live;
    for (size_t i = 0; i < before.rows.size(); ++i) {
        if (!before.deleted[i]) {
            live.push_back(before.rows[i]);
        }
    }
    require(packed.rows == live, "pack changed the live rows");
    auto again = openBytes(dbfIo.bytes(), memoIo ? &memoIo->bytes() : nullptr);
    require(readAll(*again).rows == live, "packed table reopens differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    uint32_t dbfLength =
        data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
    dbfLength = std::min<uint32_t>(dbfLength, static_cast<uint32_t>(size - 4));
    std::string dbf(reinterpret_cast<const char*>(data) + 4, dbfLength);
    std::string memo(reinterpret_cast<const char*>(data) + 4 + dbfLength, size - 4 - dbfLength);

    auto dbfIo = std::make_unique<MemoryFile>(dbf);
    auto memoIo = memo.empty() ? nullptr : std::make_unique<MemoryFile>(memo);
    const MemoryFile* dbfView = dbfIo.get();
    const MemoryFile* memoView = memoIo.get();
    std::unique_ptr<DbfFile> table;
    try {
        table = std::make_unique<DbfFile>("fuzz", std::move(dbfIo), std::move(memoIo));
    } catch (const EngineError&) {
        return 0;
    }
    // A table without memo fields drops the memo file.
    if (table->memoPath().empty() && memoView) {
        bool hasMemo = false;
        for (const auto& field : table->fields()) {
            hasMemo = hasMemo || field.type == FieldType::Memo;
        }
        if (!hasMemo) {
            memoView = nullptr;
        }
    }
    Choices choose(data, size);
    exercise(*table, *dbfView, memoView, choose);
    return 0;
}

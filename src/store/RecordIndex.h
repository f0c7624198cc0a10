#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RowNumbers.h"

namespace store {

class DbfFile;

// What is known of a table file's records without reading them again: which records are
// deleted, and for a text field, which records hold a given value (a key index). Learnt by
// one scan of the file when first asked, then kept in step by the file's own writes; the
// file tells it of every stored record, every change of a deletion mark, a pack and anything
// else that rewrites it (after which it starts again from nothing).
//
// Values are compared as the file holds them, in GBK, without trailing blanks (and NULs), and
// case-sensitively, as the table filters and SQL compare text.
class RecordIndex {
public:
    // The index of file; null for one that only holds what another index knew (see adopt()).
    explicit RecordIndex(const DbfFile* file);
    ~RecordIndex();
    RecordIndex(const RecordIndex&) = delete;
    RecordIndex& operator=(const RecordIndex&) = delete;

    // One condition of a search: the text field holds exactly this value (GBK bytes, trailing
    // blanks disregarded), or begins with it.
    struct Condition {
        int field = -1;
        std::string gbk;
        bool prefix = false;
    };

    // The records not marked deleted, in file order.
    RowNumbers liveRecords();
    // Whether any record is marked deleted, as far as that is known without reading.
    std::optional<bool> anyDeleted() const;
    // The records not marked deleted that may meet every condition, in file order: every
    // record that meets them is among them, and the caller checks each. nullopt when no
    // condition narrows the search enough to be worth an index (the caller reads every
    // record): a field that is not a text field or holds few distinct values narrows nothing,
    // and neither does a value held by a large part of the records.
    std::optional<std::vector<uint32_t>> candidates(const std::vector<Condition>& conditions);

    // The records not marked deleted in the order of a text field's values, as compare
    // orders two values (UTF-8, without trailing blanks; empty for none); the records of one
    // value in file order. valueOf gives each record's value as a number into values.
    struct Ordered {
        std::vector<std::string> values;
        std::vector<uint32_t> records;
        std::vector<uint32_t> valueOf;
    };
    using Compare = int (*)(std::string_view, std::string_view);
    Ordered inOrderOf(int field, bool descending, Compare compare);

    // ---- kept in step by the file ----
    // The record recno now holds record (old is what it held, null for an appended record).
    void stored(uint32_t recno, const std::string* old, const std::string& record);
    // The deletion mark of recno changed.
    void flagged(uint32_t recno, bool deleted);
    // The file was rewritten or restored: nothing is known any more.
    void forget();
    // The file was packed: no record is deleted.
    void packed();
    // No record of the file, which is unchanged, is deleted (a pack found nothing to purge).
    void noneDeleted();

    // Takes over what other knows (other then knows nothing), for the same file unchanged.
    void adopt(RecordIndex& other);

private:
    class KeyIndex;
    KeyIndex* keyIndex(int field);
    void scan(const std::vector<int>& fields);
    void scanDeletionMarks();
    bool isDeleted(uint32_t recno) const;

    const DbfFile* m_file;
    bool m_deletedKnown = false;
    std::vector<uint32_t> m_deleted;  // ascending
    // By field: the key index, or null for a field that holds too few distinct values.
    std::map<int, std::unique_ptr<KeyIndex>> m_keys;
};

}  // namespace store

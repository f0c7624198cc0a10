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
// deleted, for a text field which records hold a given value (a key index), and whether the
// memo pointers are sound and the memo file holds nothing unused. Learnt by one reading of
// every record (the pack's, or a scan when first asked), or taken from what an earlier
// reading kept beside the table file (see keep() and takeKept()); then kept in step by the
// file's own writes: the file tells it of every stored record, every change of a deletion
// mark, a pack and anything else that rewrites it (after which it starts again from nothing).
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
    std::optional<bool> anyDeleted();

    // The text fields whose key indexes a reading of every record builds as it goes, so that
    // the first search by them reads nothing.
    void setKeyFields(std::vector<int> fields) { m_keyFields = std::move(fields); }
    const std::vector<int>& keyFields() const { return m_keyFields; }
    // Whether field's key index is known (or known to be not worth keeping).
    bool keyKnown(int field) const { return m_keys.contains(field); }

    // What one reading of every record in slices (DbfFile::readInSlices) gathers: each
    // slice's deleted records and the runs of equal values of the key fields. record() is
    // called in file order within a slice, from the slice's thread.
    class Gathering {
    public:
        Gathering(std::vector<int> fields, size_t slices);
        ~Gathering();
        Gathering(Gathering&&) noexcept;
        Gathering& operator=(Gathering&&) noexcept;
        void record(const DbfFile& file, size_t slice, uint32_t recno, std::string_view record);
        // Field of record recno (in slice) holds text whose bytes are not GBK.
        void undecodable(size_t slice, uint32_t recno, int field);
        // Every text and memo field of every live record was checked for such bytes.
        void checkedText() { m_textChecked = true; }
        // The deleted records, ascending: all of them, or those of one slice.
        std::vector<uint32_t> deleted() const;
        const std::vector<uint32_t>& deletedIn(size_t slice) const;
        // What the same reading tells of the file that a pack makes of this one: the live
        // records in the same order, numbered afresh from 1, none deleted.
        Gathering afterPack() const;

    private:
        friend class RecordIndex;
        struct Run;
        struct OfSlice;
        static void addRun(std::vector<Run>& runs, std::string& bytes, uint32_t first,
                           uint32_t count, std::string_view key);
        std::vector<int> m_fields;
        std::vector<OfSlice> m_slices;
        bool m_textChecked = false;
    };
    // Takes what a reading of every record gathered: the deleted records, the key indexes of
    // its fields and, when it checked them, the fields whose bytes are not GBK.
    void learn(const Gathering& gathering);

    // The text and memo fields of live records whose bytes are not GBK, in file order (record,
    // field); nullopt when that is not known without reading.
    const std::optional<std::vector<std::pair<uint32_t, int>>>& undecodable();
    void setUndecodable(std::vector<std::pair<uint32_t, int>> fields) {
        m_undecodable = std::move(fields);
    }

    // Whether every memo pointer is known to lie within the memo file; whether the memo file
    // is known to hold the live records' memos and nothing else, end to end (nullopt: not
    // known).
    bool pointersSound() const { return m_pointersSound; }
    void setPointersSound() { m_pointersSound = true; }
    std::optional<bool> memoCompact() const { return m_memoCompact; }
    void setMemoCompact(bool compact) { m_memoCompact = compact; }

    // Writes what is known into the file kept beside the table file (its path + ".idx"), for
    // the next opening, when the table file and its memo file have not changed since the
    // identity the file last took and when their last change lies far enough before this
    // writing that no later change can share its time stamp. A file that cannot be written is
    // left out: nothing depends on it.
    void keep();
    // Takes what the kept file knows when it was written for the table file and the memo
    // file exactly as they are now (identity: device, inode, size, time of change); returns
    // whether it did. A kept file whose head does not hold is disregarded. The key indexes
    // stay in the file and each search reads the few pages it needs, checking each; what a
    // page that does not hold would have told is learnt by reading the table instead. A write
    // that changes a key takes that field's index into memory whole.
    bool takeKept();
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
    // The file was packed: no record is deleted, no memo block unused.
    void packed();

    // Takes over what other knows (other then knows nothing), for the same file unchanged.
    void adopt(RecordIndex& other);

private:
    class Keys;
    class KeyIndex;
    class KeptFile;
    class KeptKeys;
    void scan(const std::vector<int>& fields);
    std::optional<std::vector<uint32_t>> candidatesOf(const std::vector<Condition>& conditions);
    Ordered orderOf(int field, bool descending, Compare compare);
    // The key index of field in memory, where writes can change it (taken whole from the kept
    // file when it was there); null for a field not indexed.
    KeyIndex* inMemory(int field);
    // Forgets what was taken from a kept file that turned out not to hold.
    void dropKept();
    bool isDeleted(uint32_t recno) const;
    // Takes the kept file once, when nothing is known yet.
    void recall();

    const DbfFile* m_file;
    std::vector<int> m_keyFields;
    bool m_recalled = false;
    bool m_pointersSound = false;
    std::optional<bool> m_memoCompact;
    bool m_deletedKnown = false;
    std::vector<uint32_t> m_deleted;  // ascending
    std::optional<std::vector<std::pair<uint32_t, int>>> m_undecodable;
    // By field: the key index, or null for a field that holds too few distinct values.
    std::map<int, std::unique_ptr<Keys>> m_keys;
};

}  // namespace store

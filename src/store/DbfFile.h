#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FileIo.h"
#include "Journal.h"
#include "RecordIndex.h"
#include "Value.h"

namespace store {

enum class FieldType : char {
    Character = 'C',
    Numeric = 'N',
    Float = 'F',
    Date = 'D',
    Logical = 'L',
    Memo = 'M',
    Integer = 'I',  // read only
};

struct FieldDef {
    std::string name;  // as stored (ASCII or GBK decoded to UTF-8), at most 10 bytes on disk
    FieldType type = FieldType::Character;
    int length = 0;
    int decimals = 0;
    int offset = 0;  // byte offset inside the record, after the deletion flag (set on open)

    bool operator==(const FieldDef& o) const {
        return name == o.name && type == o.type && length == o.length && decimals == o.decimals;
    }
};

// One dBase table file (.dbf) and its memo file (.dbt).
//
// Writes dBase III+ with memo: version 0x83 (0x03 without memo fields), language byte 0x7A
// (GBK), memos in 512-byte blocks each ended by 0x1A 0x1A. Reads versions 0x03, 0x83 and 0x8B,
// dBase III and IV memos, and treats language bytes 0x7A, 0x4D and 0 as GBK.
//
// Every header field is checked on open against the others and against the file size. A file
// whose rows cannot be found (a version, field list, record length or memo file that does not
// hold) is an EngineError naming the file and the fault. A file whose rows can be read but
// whose header disagrees with itself or with the file (a record length or header length that
// the fields do not take, a record count the file does not hold, more records than counted,
// memo pointers outside the memo file) opens for reading only: damage() says why, and every
// write and pack() refuses with that message, so the file stays byte for byte as it was.
//
// Records are numbered from 1 (the record number is the SQL rowid). Deleted records keep
// their number until pack().
//
// Writes go to the files at once, unless they are held for a unit of writes on disk (see
// holdWrites() and Journal). Between beginTransaction() and commitTransaction() every write is
// also remembered in memory so that rollbackTransaction() returns the table to its state at
// the matching begin; transactions nest.
class DbfFile {
public:
    // Writes an empty table (and its memo file when a field is a memo). Throws ValueError for
    // a field list the format cannot hold, EngineError when the files cannot be written.
    static void create(const std::string& path, const std::vector<FieldDef>& fields);

    // Opens path (and the .dbt beside it, found without regard to case) with the given lock.
    // First rolls back a unit of writes that the directory's journal holds and completes a
    // switch of files that a pack or create left half-way.
    static std::unique_ptr<DbfFile> open(const std::string& path, LockMode lock = LockMode::Shared);

    // The table file that fileName stands for while a pack switches files ("hvel.DBF" for
    // "hvel.DBF.packnew"), so that a table hidden by an interrupted switch is still found and
    // open() completes the switch; "" for any other name.
    static std::string installedName(const std::string& fileName);

    // Opens a table held in memory (tests, fuzzing); memo may be null when there is none.
    DbfFile(std::string name, std::unique_ptr<FileIo> dbf, std::unique_ptr<FileIo> memo);
    ~DbfFile();
    DbfFile(const DbfFile&) = delete;
    DbfFile& operator=(const DbfFile&) = delete;

    // The file's path ("" for memory files) and its base name without extension.
    const std::string& path() const { return m_path; }
    const std::string& name() const { return m_name; }
    // The memo file's path; "" when the table has none or is held in memory.
    const std::string& memoPath() const;
    bool isExclusive() const { return m_lock == LockMode::Exclusive; }
    // Why the table can only be read, as the message its writes and pack refuse with; "" for
    // a sound table. Memo pointers are checked before the first write or pack.
    const std::string& damage() const { return m_damage; }

    const std::vector<FieldDef>& fields() const { return m_fields; }
    // Index of the field named name without regard to ASCII case, or -1.
    int fieldIndex(std::string_view name) const;

    // Records in the file, deleted ones included.
    uint32_t recordCount() const { return m_recordCount; }
    int recordLength() const { return m_recordLength; }

    // Raw record bytes (deletion flag first) of record recno; throws EngineError when recno is
    // out of range or the file is short.
    void readRecord(uint32_t recno, std::string& buffer) const;

    // Memo bytes a reader of the memo file has read ahead.
    struct MemoReadAhead;
    // A run of consecutive records as readInSlices() hands it over.
    struct RecordSlice {
        size_t index;              // of the slice, from 0 in file order
        uint32_t first;            // the number of its first record
        std::string_view records;  // its records side by side
        MemoReadAhead& memos;      // for memoBytes() on the slice's thread
    };
    // Reads every record once, in slices of consecutive records, several slices at once on as
    // many threads: visit is called once for each slice, from any of them, and returns true
    // to stop at that slice. Slices after the first that stopped or threw may be skipped; the
    // exception of a slice that threw is rethrown when no slice before it stopped. Returns the
    // first slice that stopped, or sliceCount() when none did.
    size_t readInSlices(const std::function<bool(const RecordSlice&)>& visit) const;
    size_t sliceCount() const;
    static bool isDeletedRecord(std::string_view record) {
        return !record.empty() && record[0] == '*';
    }
    bool isDeleted(uint32_t recno) const;

    // Decodes field index of a raw record. Text is trimmed of trailing blanks; empty text,
    // blank numbers and blank dates read as null. Memos are read from the memo file.
    Value decodeField(const std::string& record, int index) const;
    // The value of a text field's bytes: trailing blanks dropped, empty as null, GBK decoded.
    static Value decodeText(std::string_view gbk);
    Value value(uint32_t recno, int index) const;
    Value value(uint32_t recno, std::string_view fieldName) const;
    // The text and memo fields of live records whose bytes are not GBK (they read with U+FFFD
    // in them), in file order: record number and field index. Throws EngineError for a memo
    // that cannot be read.
    std::vector<std::pair<uint32_t, int>> undecodableFields() const;

    // Encodes the values into a record buffer, checking every value first: throws ValueError
    // naming the table and the field (not GBK, too wide, not a number, not a date) before any
    // byte of the file is written. Fields missing from values are blank. Memos are written
    // to the memo file when the record is stored. update() leaves a field whose value reads
    // back as given with the bytes it has, even bytes that are not GBK.
    uint32_t append(const std::vector<std::pair<int, Value>>& values);
    void update(uint32_t recno, const std::vector<std::pair<int, Value>>& values);
    void setDeleted(uint32_t recno, bool deleted);

    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction();
    bool inTransaction() const { return !m_marks.empty(); }

    // Removes deleted records and compacts the memo file; a table with neither deleted records
    // nor unused memo blocks is left as it is. Requires an exclusive open and a sound table.
    // The new files are written beside the old ones and synced; then the table file is renamed
    // aside, the new memo file and the new table file are renamed into place, and the old table
    // file is removed. So under the table's names every reader finds the old pair, no table
    // for a moment, or the new pair, never a table with a memo file that is not its own; open()
    // completes a switch that a crash interrupted.
    void pack();

    // Units of writes on disk: while writes are held, they change only the table's image in
    // memory, until the Database writes them out through the directory's journal.
    void holdWrites(bool hold);
    // The table file and the memo file, as the journal takes them.
    std::vector<Journal::Member> journalMembers();
    // After the journal wrote the files or put them back: takes their state afresh.
    void afterUnit();

    // Writes the header (record count, date of last update) and syncs both files.
    void flush();

    // The deleted records and the key indexes of the file, kept in step with its writes.
    RecordIndex& index() const { return *m_index; }

    // Identity of the file on disk when it was last read or written by this object; the
    // database uses it to notice a file replaced or rewritten by someone else.
    struct Identity {
        uint64_t device = 0, inode = 0, size = 0;
        int64_t mtimeNs = 0;
        int64_t ctimeNs = 0;  // the last change of contents or name, which no one can set
        bool operator==(const Identity&) const = default;
    };
    Identity identity() const { return m_identity; }
    // The same of the memo file (all zero when there is none).
    Identity memoIdentity() const { return m_memoIdentity; }
    static Identity identityOf(const std::string& path);  // all zero when missing

private:
    struct Impl;
    struct OpenedFiles;
    DbfFile(OpenedFiles files);
    const std::string& displayPath() const;
    void load();
    void markDamaged(const std::string& what);
    void requireWritable();
    bool needsPack();
    bool fileNeedsPack() const;
    struct MemoExtent;
    struct Survey;
    class SurveyProgress;
    bool surveyed();
    void survey(Survey& survey, SurveyProgress& progress);
    std::string pointerFault(std::string_view record, uint32_t recno, uint64_t blocks) const;
    uint32_t recordsPerSlice() const;
    std::optional<uint32_t> memoIVLength(uint64_t start) const;
    bool memoLengthFits(uint64_t start, uint32_t length) const;
    [[noreturn]] void refuse(const std::string& what) const;
    [[noreturn]] void fault(const std::string& what) const;
    [[noreturn]] void valueFault(int index, const std::string& what) const;
    std::string encodeRecord(std::string record, const std::vector<std::pair<int, Value>>& values,
                             std::vector<std::pair<int, std::string>>& memos) const;
    void storeMemos(std::string& record, std::vector<std::pair<int, std::string>>& memos);
    // The memo of field index that record points to, read ahead by the file's own reader or
    // by the one given (one per thread).
    std::string memoBytes(std::string_view record, int index) const;
    std::string memoBytes(std::string_view record, int index, MemoReadAhead& ahead) const;
    // Reads the memo of field index from block into bytes; returns false for a dBase III memo
    // without its end mark, read to the end of the file without trailing blanks.
    bool readMemo(uint64_t block, int index, MemoReadAhead& ahead, std::string& bytes) const;
    // The first block of the memo of field index that record points to; nullopt for none.
    std::optional<uint64_t> memoBlock(std::string_view record, int index) const;
    // Hands the memo of field index from block to piece as read ahead, piece by piece;
    // returns false for a dBase III memo without its end mark, whose trailing blanks are not
    // part of it.
    template <class Piece>
    bool eachMemoPiece(uint64_t block, int index, MemoReadAhead& ahead, Piece&& piece) const;
    // Where record recno's memo of field index lies, its bytes read into bytes; nullopt for an
    // empty pointer.
    std::optional<MemoExtent> memoExtent(std::string_view record, uint32_t recno, int index,
                                         MemoReadAhead& ahead, std::string& bytes) const;
    // Whether the memo file holds, from from to to, marks end marks and then zeros.
    bool memoHolds(MemoReadAhead& ahead, uint64_t from, uint64_t to, size_t marks) const;
    void writeHeaderCount();
    void writePacked(FileIo& dbf, FileIo* memo, const Survey& survey,
                     SurveyProgress& progress) const;
    void writePackedRecords(FileIo& file, const Survey& survey, SurveyProgress& progress) const;
    void writePackedMemos(FileIo& file, const Survey& survey, SurveyProgress& progress) const;
    void refreshIdentity();

    std::unique_ptr<Impl> m_impl;
    std::string m_path;
    std::string m_name;
    LockMode m_lock = LockMode::Shared;
    std::vector<FieldDef> m_fields;
    uint32_t m_recordCount = 0;
    int m_recordLength = 0;
    std::vector<size_t> m_marks;
    Identity m_identity;
    Identity m_memoIdentity;
    std::string m_damage;
    bool m_pointersChecked = false;
    std::unique_ptr<RecordIndex> m_index;
};

}  // namespace store

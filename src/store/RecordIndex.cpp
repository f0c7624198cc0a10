#include "RecordIndex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "DbfFile.h"

namespace store {

namespace {

// A field whose values are shared by more records than this on average (in a table of at
// least kFewRecords) narrows no search: its index is not kept.
constexpr size_t kUnselectiveAverage = 64;
constexpr size_t kFewRecords = 1024;
// A further condition is intersected with the candidates found so far only when it does not
// name many more records than they are.
constexpr size_t kIntersectFactor = 4;
// Candidates that make more than this part of a table (of at least kFewRecords) are read as
// fast by reading every record in order.
constexpr size_t kScanShare = 4;

// The value of field in a raw record as the index keys it: without trailing blanks and NULs.
std::string_view keyOf(std::string_view record, const FieldDef& field) {
    std::string_view key(record.data() + field.offset, static_cast<size_t>(field.length));
    while (!key.empty() && (key.back() == ' ' || key.back() == '\0')) {
        key.remove_suffix(1);
    }
    return key;
}

uint32_t hashOf(std::string_view key) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : key) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return hash;
}

// The kept file: a head, the parts, and a checksum of everything before it.
constexpr char kKeptMagic[8] = {'V', 'L', 'M', 'R', 'I', 'D', 'X', '1'};
// The last change of the table or memo file must lie this far before the kept file is
// written: a change that comes later gets a later time stamp on any file system.
constexpr int64_t kSettledNs = 2'000'000'000;

uint64_t checksumOf(std::string_view bytes) {
    uint64_t sum = 1469598103934665603ull;
    size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        sum = (sum ^ word) * 1099511628211ull;
        sum ^= sum >> 29;
    }
    for (; at < bytes.size(); ++at) {
        sum = (sum ^ static_cast<unsigned char>(bytes[at])) * 1099511628211ull;
    }
    return sum;
}

// Writes and reads plain values and arrays of them, as this machine holds them.
class KeptWriter {
public:
    template <class T>
    void put(const T& value) {
        m_bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    template <class T>
    void putArray(const std::vector<T>& values) {
        put<uint64_t>(values.size());
        m_bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
    }
    void putBytes(const std::string& bytes) {
        put<uint64_t>(bytes.size());
        m_bytes += bytes;
    }
    std::string& bytes() { return m_bytes; }

private:
    std::string m_bytes;
};

class KeptReader {
public:
    explicit KeptReader(std::string_view bytes) : m_bytes(bytes) {}
    template <class T>
    bool get(T& value) {
        if (m_bytes.size() < sizeof value) {
            return false;
        }
        std::memcpy(&value, m_bytes.data(), sizeof value);
        m_bytes.remove_prefix(sizeof value);
        return true;
    }
    template <class T>
    bool getArray(std::vector<T>& values) {
        uint64_t count = 0;
        if (!get(count) || count > m_bytes.size() / sizeof(T)) {
            return false;
        }
        values.resize(count);
        std::memcpy(values.data(), m_bytes.data(), count * sizeof(T));
        m_bytes.remove_prefix(count * sizeof(T));
        return true;
    }
    bool getBytes(std::string& bytes) {
        uint64_t count = 0;
        if (!get(count) || count > m_bytes.size()) {
            return false;
        }
        bytes.assign(m_bytes.substr(0, count));
        m_bytes.remove_prefix(count);
        return true;
    }
    bool atEnd() const { return m_bytes.empty(); }

private:
    std::string_view m_bytes;
};

void putIdentity(KeptWriter& out, const DbfFile::Identity& identity) {
    out.put(identity.device);
    out.put(identity.inode);
    out.put(identity.size);
    out.put(identity.mtimeNs);
    out.put(identity.ctimeNs);
}

bool getIdentity(KeptReader& in, DbfFile::Identity& identity) {
    return in.get(identity.device) && in.get(identity.inode) && in.get(identity.size) &&
           in.get(identity.mtimeNs) && in.get(identity.ctimeNs);
}

std::string keptPath(const DbfFile& file) {
    return file.path() + ".idx";
}

}  // namespace

// The records of each distinct value of one text field. Each value keeps the first and the
// last record holding it; every record links to the next record with the same value, so a
// value's records come out in file order without any search.
class RecordIndex::KeyIndex {
public:
    explicit KeyIndex(uint32_t records) : m_next(size_t(records) + 1, 0) {}

    size_t distinct() const { return m_keys.size(); }
    // The records it has room for, plus one.
    size_t size() const { return m_next.size(); }

    void add(uint32_t recno, std::string_view text) {
        Key& key = m_keys[findOrAdd(text)];
        if (m_next.size() <= recno) {
            m_next.resize(size_t(recno) + 1, 0);
        }
        m_next[recno] = 0;
        if (key.count == 0) {
            key.head = key.tail = recno;
        } else if (recno > key.tail) {
            m_next[key.tail] = recno;
            key.tail = recno;
        } else if (recno < key.head) {
            m_next[recno] = key.head;
            key.head = recno;
        } else {
            uint32_t before = key.head;
            while (m_next[before] != 0 && m_next[before] < recno) {
                before = m_next[before];
            }
            m_next[recno] = m_next[before];
            m_next[before] = recno;
        }
        ++key.count;
    }

    // Records first .. first + count - 1, all holding text, after every record added so far.
    void addRun(uint32_t first, uint32_t count, std::string_view text) {
        Key& key = m_keys[findOrAdd(text)];
        if (key.count > 0 && first <= key.tail) {
            for (uint32_t recno = first; recno < first + count; ++recno) {
                add(recno, text);
            }
            return;
        }
        const uint32_t last = first + count - 1;
        if (m_next.size() <= last) {
            m_next.resize(size_t(last) + 1, 0);
        }
        if (key.count == 0) {
            key.head = first;
        } else {
            m_next[key.tail] = first;
        }
        for (uint32_t recno = first; recno < last; ++recno) {
            m_next[recno] = recno + 1;
        }
        m_next[last] = 0;
        key.tail = last;
        key.count += count;
    }

    void write(KeptWriter& out) const {
        out.putBytes(m_bytes);
        out.putArray(m_keys);
        out.putArray(m_slots);
        out.putArray(m_next);
    }

    // Whether the parts read hold together: every value and record within bounds.
    bool read(KeptReader& in) {
        if (!in.getBytes(m_bytes) || !in.getArray(m_keys) || !in.getArray(m_slots) ||
            !in.getArray(m_next)) {
            return false;
        }
        const size_t slots = m_slots.size();
        if (m_keys.size() > std::numeric_limits<uint32_t>::max() - 1 ||
            (slots != 0 && ((slots & (slots - 1)) != 0 || m_keys.size() * 2 > slots)) ||
            (slots == 0 && !m_keys.empty())) {
            return false;
        }
        for (uint32_t slot : m_slots) {
            if (slot > m_keys.size()) {
                return false;
            }
        }
        for (const Key& key : m_keys) {
            if (uint64_t(key.offset) + key.length > m_bytes.size() || key.head >= m_next.size() ||
                key.tail >= m_next.size()) {
                return false;
            }
        }
        for (uint32_t next : m_next) {
            if (next >= m_next.size()) {
                return false;
            }
        }
        m_last = kNone;
        return true;
    }

    void remove(uint32_t recno, std::string_view text) {
        const uint32_t found = find(text);
        if (found == kNone || recno >= m_next.size()) {
            return;
        }
        Key& key = m_keys[found];
        if (key.count == 0) {
            return;
        }
        if (key.head == recno) {
            key.head = m_next[recno];
        } else {
            uint32_t before = key.head;
            while (before != 0 && m_next[before] != recno) {
                before = m_next[before];
            }
            if (before == 0) {
                return;  // not among this value's records
            }
            m_next[before] = m_next[recno];
            if (key.tail == recno) {
                key.tail = before;
            }
        }
        m_next[recno] = 0;
        if (--key.count == 0) {
            key.head = key.tail = 0;
        }
    }

    size_t count(std::string_view text) const {
        const uint32_t found = find(text);
        return found == kNone ? 0 : m_keys[found].count;
    }

    void collect(std::string_view text, std::vector<uint32_t>& out) const {
        if (const uint32_t found = find(text); found != kNone) {
            out.reserve(m_keys[found].count);
            collectKey(m_keys[found], out);
        }
    }

    size_t prefixCount(std::string_view prefix) const {
        size_t total = 0;
        for (const Key& key : m_keys) {
            if (startsWith(key, prefix)) {
                total += key.count;
            }
        }
        return total;
    }

    // Each value with its first record (0 for a value no record holds any more).
    template <class Visit>
    void eachKey(Visit&& visit) const {
        for (const Key& key : m_keys) {
            visit(bytesOf(key), key.head);
        }
    }
    uint32_t next(uint32_t recno) const { return m_next[recno]; }

    // In file order.
    void collectPrefix(std::string_view prefix, std::vector<uint32_t>& out) const {
        out.reserve(prefixCount(prefix));
        for (const Key& key : m_keys) {
            if (startsWith(key, prefix)) {
                collectKey(key, out);
            }
        }
        std::sort(out.begin(), out.end());
    }

private:
    static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

    struct Key {
        uint32_t hash = 0;
        uint32_t offset = 0;  // of its bytes in m_bytes
        uint32_t length = 0;
        uint32_t head = 0;  // first and last record, 0 when none
        uint32_t tail = 0;
        uint32_t count = 0;
    };

    std::string_view bytesOf(const Key& key) const {
        return std::string_view(m_bytes).substr(key.offset, key.length);
    }

    bool startsWith(const Key& key, std::string_view prefix) const {
        return key.count > 0 && bytesOf(key).substr(0, prefix.size()) == prefix;
    }

    void collectKey(const Key& key, std::vector<uint32_t>& out) const {
        for (uint32_t recno = key.head; recno != 0; recno = m_next[recno]) {
            out.push_back(recno);
        }
    }

    uint32_t find(std::string_view text) const {
        if (m_slots.empty()) {
            return kNone;
        }
        const uint32_t hash = hashOf(text);
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const uint32_t entry = m_slots[slot];
            if (entry == 0) {
                return kNone;
            }
            const Key& key = m_keys[entry - 1];
            if (key.hash == hash && bytesOf(key) == text) {
                return entry - 1;
            }
        }
    }

    uint32_t findOrAdd(std::string_view text) {
        // Records of one value usually follow each other.
        if (m_last != kNone && bytesOf(m_keys[m_last]) == text) {
            return m_last;
        }
        if ((m_keys.size() + 1) * 2 > m_slots.size()) {
            grow();
        }
        const uint32_t hash = hashOf(text);
        const size_t mask = m_slots.size() - 1;
        size_t slot = hash & mask;
        for (;; slot = (slot + 1) & mask) {
            const uint32_t entry = m_slots[slot];
            if (entry == 0) {
                break;
            }
            const Key& key = m_keys[entry - 1];
            if (key.hash == hash && bytesOf(key) == text) {
                return m_last = entry - 1;
            }
        }
        Key key;
        key.hash = hash;
        key.offset = static_cast<uint32_t>(m_bytes.size());
        key.length = static_cast<uint32_t>(text.size());
        m_bytes.append(text);
        m_keys.push_back(key);
        m_slots[slot] = static_cast<uint32_t>(m_keys.size());
        return m_last = static_cast<uint32_t>(m_keys.size() - 1);
    }

    void grow() {
        std::vector<uint32_t> slots(std::max<size_t>(64, m_slots.size() * 2), 0);
        const size_t mask = slots.size() - 1;
        for (size_t i = 0; i < m_keys.size(); ++i) {
            size_t slot = m_keys[i].hash & mask;
            while (slots[slot] != 0) {
                slot = (slot + 1) & mask;
            }
            slots[slot] = static_cast<uint32_t>(i + 1);
        }
        m_slots = std::move(slots);
    }

    std::string m_bytes;
    std::vector<Key> m_keys;
    std::vector<uint32_t> m_slots;  // open addressing: key number + 1, 0 for a free slot
    std::vector<uint32_t> m_next;   // by record number: the next record of the same value
    uint32_t m_last = kNone;        // the value found last
};

RecordIndex::RecordIndex(const DbfFile* file) : m_file(file) {}

RecordIndex::~RecordIndex() = default;

void RecordIndex::forget() {
    m_deletedKnown = false;
    m_deleted.clear();
    m_deleted.shrink_to_fit();
    m_keys.clear();
    m_pointersSound = false;
    m_memoCompact.reset();
    m_recalled = true;  // a kept file describes the file as it was before
}

void RecordIndex::packed() {
    forget();
    m_deletedKnown = true;
    m_pointersSound = true;
    m_memoCompact = true;
}

void RecordIndex::adopt(RecordIndex& other) {
    m_deletedKnown = other.m_deletedKnown;
    m_deleted = std::move(other.m_deleted);
    m_keys = std::move(other.m_keys);
    m_pointersSound = other.m_pointersSound;
    m_memoCompact = other.m_memoCompact;
    m_recalled = m_recalled || other.m_recalled;
    other.forget();
}

bool RecordIndex::isDeleted(uint32_t recno) const {
    return std::binary_search(m_deleted.begin(), m_deleted.end(), recno);
}

void RecordIndex::flagged(uint32_t recno, bool deleted) {
    if (!m_deletedKnown) {
        return;
    }
    const auto at = std::lower_bound(m_deleted.begin(), m_deleted.end(), recno);
    const bool listed = at != m_deleted.end() && *at == recno;
    if (deleted && !listed) {
        m_deleted.insert(at, recno);
    } else if (!deleted && listed) {
        m_deleted.erase(at);
    }
}

void RecordIndex::stored(uint32_t recno, const std::string* old, const std::string& record) {
    if (record.empty()) {
        return;
    }
    if (!old || old->empty() || (*old)[0] != record[0]) {
        flagged(recno, DbfFile::isDeletedRecord(record));
    }
    if (old && m_memoCompact == true) {
        // A memo replaced leaves its blocks unused; one appended at the end of the file
        // leaves none.
        for (const FieldDef& def : m_file->fields()) {
            if (def.type == FieldType::Memo && !keyOf(*old, def).empty() &&
                keyOf(*old, def) != keyOf(record, def)) {
                m_memoCompact = false;
            }
        }
    }
    for (const auto& [field, index] : m_keys) {
        if (!index) {
            continue;
        }
        const FieldDef& def = m_file->fields()[static_cast<size_t>(field)];
        const std::string_view key = keyOf(record, def);
        if (!old) {
            index->add(recno, key);
        } else if (const std::string_view before = keyOf(*old, def); before != key) {
            index->remove(recno, before);
            index->add(recno, key);
        }
    }
}

// ---- one reading of every record --------------------------------------------------------

// Records first .. first + count - 1 of a slice hold one value, whose bytes lie in the
// slice's bytes at offset.
struct RecordIndex::Gathering::Run {
    uint32_t first;
    uint32_t count;
    uint32_t offset;
    uint32_t length;
};

struct RecordIndex::Gathering::OfSlice {
    std::vector<uint32_t> deleted;
    std::vector<std::string> bytes;      // by key field
    std::vector<std::vector<Run>> runs;  // by key field
};

RecordIndex::Gathering::Gathering(std::vector<int> fields, size_t slices)
    : m_fields(std::move(fields)), m_slices(slices) {
    for (OfSlice& slice : m_slices) {
        slice.bytes.resize(m_fields.size());
        slice.runs.resize(m_fields.size());
    }
}

RecordIndex::Gathering::~Gathering() = default;
RecordIndex::Gathering::Gathering(Gathering&&) noexcept = default;
RecordIndex::Gathering& RecordIndex::Gathering::operator=(Gathering&&) noexcept = default;

void RecordIndex::Gathering::addRun(std::vector<Run>& runs, std::string& bytes, uint32_t first,
                                    uint32_t count, std::string_view key) {
    if (!runs.empty()) {
        Run& last = runs.back();
        if (last.first + last.count == first &&
            std::string_view(bytes).substr(last.offset, last.length) == key) {
            last.count += count;
            return;
        }
    }
    runs.push_back(
        {first, count, static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(key.size())});
    bytes.append(key);
}

void RecordIndex::Gathering::record(const DbfFile& file, size_t slice, uint32_t recno,
                                    std::string_view record) {
    OfSlice& of = m_slices[slice];
    if (DbfFile::isDeletedRecord(record)) {
        of.deleted.push_back(recno);
    }
    for (size_t i = 0; i < m_fields.size(); ++i) {
        addRun(of.runs[i], of.bytes[i], recno, 1,
               keyOf(record, file.fields()[static_cast<size_t>(m_fields[i])]));
    }
}

std::vector<uint32_t> RecordIndex::Gathering::deleted() const {
    std::vector<uint32_t> all;
    for (const OfSlice& slice : m_slices) {
        all.insert(all.end(), slice.deleted.begin(), slice.deleted.end());
    }
    return all;
}

RecordIndex::Gathering RecordIndex::Gathering::afterPack() const {
    const std::vector<uint32_t> gone = deleted();
    Gathering packed(m_fields, 1);
    OfSlice& into = packed.m_slices[0];
    for (size_t i = 0; i < m_fields.size(); ++i) {
        size_t before = 0;  // of the deleted records, those before recno
        for (const OfSlice& slice : m_slices) {
            for (const Run& run : slice.runs[i]) {
                const std::string_view key =
                    std::string_view(slice.bytes[i]).substr(run.offset, run.length);
                const uint32_t end = run.first + run.count;
                for (uint32_t recno = run.first; recno < end;) {
                    while (before < gone.size() && gone[before] < recno) {
                        ++before;
                    }
                    const uint32_t stop = before < gone.size() ? std::min(end, gone[before]) : end;
                    if (recno < stop) {
                        addRun(into.runs[i], into.bytes[i], recno - static_cast<uint32_t>(before),
                               stop - recno, key);
                    }
                    recno = stop + 1;  // past the deleted record that stopped the run
                }
            }
        }
    }
    return packed;
}

void RecordIndex::learn(const Gathering& gathering) {
    m_deleted = gathering.deleted();
    m_deletedKnown = true;
    const uint32_t count = m_file->recordCount();
    for (size_t i = 0; i < gathering.m_fields.size(); ++i) {
        auto built = std::make_unique<KeyIndex>(count);
        for (const Gathering::OfSlice& slice : gathering.m_slices) {
            const std::string_view bytes = slice.bytes[i];
            for (const Gathering::Run& run : slice.runs[i]) {
                built->addRun(run.first, run.count, bytes.substr(run.offset, run.length));
            }
        }
        const bool unselective =
            count >= kFewRecords && built->distinct() * kUnselectiveAverage < count;
        m_keys[gathering.m_fields[i]] = unselective ? nullptr : std::move(built);
    }
}

// Read on several threads at once; what it learns is kept beside the file.
void RecordIndex::scan(const std::vector<int>& fields) {
    std::vector<int> all = fields;
    for (int field : m_keyFields) {
        if (!m_keys.contains(field) && std::find(all.begin(), all.end(), field) == all.end()) {
            all.push_back(field);
        }
    }
    Gathering gathering(all, m_file->sliceCount());
    const size_t length = static_cast<size_t>(m_file->recordLength());
    m_file->readInSlices([&](const DbfFile::RecordSlice& slice) {
        for (size_t at = 0; at < slice.records.size(); at += length) {
            gathering.record(*m_file, slice.index, slice.first + static_cast<uint32_t>(at / length),
                             slice.records.substr(at, length));
        }
        return false;
    });
    learn(gathering);
    keep();
}

// ---- the kept file ----------------------------------------------------------------------

void RecordIndex::recall() {
    if (!m_recalled && !m_deletedKnown) {
        takeKept();
    }
    m_recalled = true;
}

void RecordIndex::keep() {
    if (m_file->path().empty() || !m_deletedKnown) {
        return;
    }
    // The identities that what is known was learnt for; the files must still have them.
    const DbfFile::Identity table = m_file->identity();
    const DbfFile::Identity memo = m_file->memoIdentity();
    if (DbfFile::identityOf(m_file->path()) != table ||
        (!m_file->memoPath().empty() && DbfFile::identityOf(m_file->memoPath()) != memo)) {
        return;
    }
    KeptWriter out;
    out.bytes().append(kKeptMagic, sizeof kKeptMagic);
    putIdentity(out, table);
    putIdentity(out, memo);
    out.put<uint32_t>(m_file->recordCount());
    out.put<uint32_t>(static_cast<uint32_t>(m_file->recordLength()));
    out.put<uint8_t>(m_pointersSound ? 1 : 0);
    out.put<uint8_t>(!m_memoCompact ? 2 : *m_memoCompact ? 1 : 0);
    out.putArray(m_deleted);
    out.put<uint64_t>(m_keys.size());
    for (const auto& [field, index] : m_keys) {
        out.put<int32_t>(field);
        out.put<uint8_t>(index ? 1 : 0);
        if (index) {
            index->write(out);
        }
    }
    out.put(checksumOf(out.bytes()));

    const std::string path = keptPath(*m_file);
    const std::string part = path + ".part";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return;
    }
    const std::string& bytes = out.bytes();
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    struct stat written {};
    const bool whole = done == bytes.size() && ::fstat(fd, &written) == 0;
    ::close(fd);
    // The kept file's own time of change comes from the same clock as the table's.
    const int64_t writtenNs =
        int64_t(written.st_ctim.tv_sec) * 1'000'000'000 + written.st_ctim.tv_nsec;
    const bool settled =
        table.ctimeNs + kSettledNs < writtenNs && memo.ctimeNs + kSettledNs < writtenNs;
    if (!whole || !settled || ::rename(part.c_str(), path.c_str()) != 0) {
        ::unlink(part.c_str());
    }
}

bool RecordIndex::takeKept() {
    if (m_file->path().empty()) {
        return false;
    }
    const int fd = ::open(keptPath(*m_file).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    std::string bytes;
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        bytes.resize(done);
    }
    ::close(fd);
    if (bytes.size() < sizeof kKeptMagic + sizeof(uint64_t) ||
        std::memcmp(bytes.data(), kKeptMagic, sizeof kKeptMagic) != 0) {
        return false;
    }
    const std::string_view body = std::string_view(bytes).substr(0, bytes.size() - 8);
    uint64_t checksum = 0;
    std::memcpy(&checksum, bytes.data() + body.size(), 8);
    if (checksumOf(body) != checksum) {
        return false;
    }
    KeptReader in(body.substr(sizeof kKeptMagic));
    DbfFile::Identity table, memo;
    uint32_t records = 0, length = 0;
    uint8_t sound = 0, compact = 0;
    std::vector<uint32_t> deleted;
    uint64_t keys = 0;
    if (!getIdentity(in, table) || !getIdentity(in, memo) || !in.get(records) || !in.get(length) ||
        !in.get(sound) || !in.get(compact) || !in.getArray(deleted) || !in.get(keys)) {
        return false;
    }
    if (table != m_file->identity() || memo != m_file->memoIdentity() ||
        table != DbfFile::identityOf(m_file->path()) ||
        (!m_file->memoPath().empty() && memo != DbfFile::identityOf(m_file->memoPath())) ||
        records != m_file->recordCount() ||
        length != static_cast<uint32_t>(m_file->recordLength()) ||
        !std::is_sorted(deleted.begin(), deleted.end()) ||
        (!deleted.empty() && (deleted.front() == 0 || deleted.back() > records))) {
        return false;
    }
    std::map<int, std::unique_ptr<KeyIndex>> indexes;
    for (uint64_t k = 0; k < keys; ++k) {
        int32_t field = -1;
        uint8_t present = 0;
        if (!in.get(field) || !in.get(present) || field < 0 ||
            static_cast<size_t>(field) >= m_file->fields().size() ||
            m_file->fields()[static_cast<size_t>(field)].type != FieldType::Character) {
            return false;
        }
        std::unique_ptr<KeyIndex> index;
        if (present) {
            index = std::make_unique<KeyIndex>(0);
            if (!index->read(in) || index->size() != size_t(records) + 1) {
                return false;
            }
        }
        indexes[field] = std::move(index);
    }
    if (!in.atEnd()) {
        return false;
    }
    m_deleted = std::move(deleted);
    m_deletedKnown = true;
    m_keys = std::move(indexes);
    m_pointersSound = sound == 1;
    m_memoCompact = compact == 2 ? std::nullopt : std::optional<bool>(compact == 1);
    return true;
}

std::optional<bool> RecordIndex::anyDeleted() {
    recall();
    if (!m_deletedKnown) {
        return std::nullopt;
    }
    return !m_deleted.empty();
}

RowNumbers RecordIndex::liveRecords() {
    recall();
    if (!m_deletedKnown) {
        scan({});
    }
    const uint32_t count = m_file->recordCount();
    if (m_deleted.empty()) {
        return RowNumbers::allUpTo(count);
    }
    std::vector<uint32_t> live;
    live.reserve(count - m_deleted.size());
    auto deleted = m_deleted.begin();
    for (uint32_t recno = 1; recno <= count; ++recno) {
        if (deleted != m_deleted.end() && *deleted == recno) {
            ++deleted;
        } else {
            live.push_back(recno);
        }
    }
    return RowNumbers(std::move(live));
}

RecordIndex::Ordered RecordIndex::inOrderOf(int field, bool descending, Compare compare) {
    recall();
    if (!m_keys.contains(field)) {
        scan({field});
    }
    // Each value (GBK) with its live records in file order, all in one array: value i has
    // records[starts[i] .. starts[i + 1]).
    std::vector<std::string> gbkValues;
    std::vector<uint32_t> records;
    std::vector<size_t> starts;
    auto addValue = [&](std::string_view gbk) {
        gbkValues.emplace_back(gbk);
        starts.push_back(records.size());
    };
    if (const KeyIndex* index = m_keys[field].get()) {
        records.reserve(m_file->recordCount());
        index->eachKey([&](std::string_view gbk, uint32_t head) {
            addValue(gbk);
            for (uint32_t recno = head; recno != 0; recno = index->next(recno)) {
                if (!isDeleted(recno)) {
                    records.push_back(recno);
                }
            }
        });
    } else {
        // Few values: gathered from a reading of every record.
        std::map<std::string, std::vector<uint32_t>> byValue;
        const FieldDef& def = m_file->fields()[static_cast<size_t>(field)];
        std::string record;
        for (uint32_t recno = 1; recno <= m_file->recordCount(); ++recno) {
            m_file->readRecord(recno, record);
            if (!DbfFile::isDeletedRecord(record)) {
                byValue[std::string(keyOf(record, def))].push_back(recno);
            }
        }
        for (const auto& [gbk, ofValue] : byValue) {
            addValue(gbk);
            records.insert(records.end(), ofValue.begin(), ofValue.end());
        }
    }
    starts.push_back(records.size());
    Ordered ordered;
    std::vector<uint32_t> group;  // by value number: the value's place in gbkValues
    for (size_t i = 0; i < gbkValues.size(); ++i) {
        if (starts[i] < starts[i + 1]) {
            const Value text = DbfFile::decodeText(gbkValues[i]);
            ordered.values.push_back(text.isNull() ? std::string() : text.asText());
            group.push_back(static_cast<uint32_t>(i));
        }
    }
    std::vector<uint32_t> byText(group.size());
    for (size_t i = 0; i < byText.size(); ++i) {
        byText[i] = static_cast<uint32_t>(i);
    }
    std::stable_sort(byText.begin(), byText.end(), [&](uint32_t a, uint32_t b) {
        const int order = compare(ordered.values[a], ordered.values[b]);
        return descending ? order > 0 : order < 0;
    });
    ordered.records.reserve(records.size());
    ordered.valueOf.reserve(records.size());
    for (uint32_t value : byText) {
        for (size_t at = starts[group[value]]; at < starts[group[value] + 1]; ++at) {
            ordered.records.push_back(records[at]);
            ordered.valueOf.push_back(value);
        }
    }
    return ordered;
}

std::optional<std::vector<uint32_t>> RecordIndex::candidates(
    const std::vector<Condition>& conditions) {
    const auto& fields = m_file->fields();
    auto indexable = [&](const Condition& condition) {
        return condition.field >= 0 && static_cast<size_t>(condition.field) < fields.size() &&
               fields[static_cast<size_t>(condition.field)].type == FieldType::Character &&
               !(condition.prefix && condition.gbk.empty());
    };
    recall();
    // The fields not indexed yet are indexed (in one reading of the file) unless a field of
    // the conditions already has its index: then that one serves, without a reading.
    std::vector<int> unknown;
    bool served = false;
    for (const Condition& condition : conditions) {
        if (!indexable(condition)) {
            continue;
        }
        const auto known = m_keys.find(condition.field);
        served = served || (known != m_keys.end() && known->second != nullptr);
        if (known == m_keys.end() &&
            std::find(unknown.begin(), unknown.end(), condition.field) == unknown.end()) {
            unknown.push_back(condition.field);
        }
    }
    if (!unknown.empty() && !served) {
        scan(unknown);
    }

    struct Choice {
        const Condition* condition;
        const KeyIndex* index;
        size_t estimate;
    };
    std::vector<Choice> choices;
    for (const Condition& condition : conditions) {
        if (!indexable(condition)) {
            continue;
        }
        const auto known = m_keys.find(condition.field);
        if (const KeyIndex* index = known == m_keys.end() ? nullptr : known->second.get()) {
            choices.push_back({&condition, index,
                               condition.prefix ? index->prefixCount(condition.gbk)
                                                : index->count(condition.gbk)});
        }
    }
    std::stable_sort(choices.begin(), choices.end(),
                     [](const Choice& a, const Choice& b) { return a.estimate < b.estimate; });
    const uint32_t count = m_file->recordCount();
    if (choices.empty() ||
        (count >= kFewRecords && choices.front().estimate * kScanShare > count)) {
        return std::nullopt;
    }
    auto collect = [](const Choice& choice) {
        std::vector<uint32_t> records;
        if (choice.condition->prefix) {
            choice.index->collectPrefix(choice.condition->gbk, records);
        } else {
            choice.index->collect(choice.condition->gbk, records);
        }
        return records;
    };
    std::vector<uint32_t> result = collect(choices.front());
    for (size_t i = 1; i < choices.size() && !result.empty(); ++i) {
        if (choices[i].estimate > kIntersectFactor * result.size()) {
            break;
        }
        const std::vector<uint32_t> other = collect(choices[i]);
        std::vector<uint32_t> both;
        std::set_intersection(result.begin(), result.end(), other.begin(), other.end(),
                              std::back_inserter(both));
        result = std::move(both);
    }
    std::erase_if(result, [this](uint32_t recno) { return isDeleted(recno); });
    return result;
}

}  // namespace store

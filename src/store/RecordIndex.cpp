#include "RecordIndex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <unordered_map>

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

// The kept file: the magic, a head, then the body that holds the parts. The head says where
// each part lies and holds a checksum of each page of the body and, last, one of itself. A
// reader checks the head whole when it takes the file, and each page of the body when it first
// reads from it: a lookup reads a few pages, never the whole file.
constexpr char kKeptMagic[8] = {'V', 'L', 'M', 'R', 'I', 'D', 'X', '2'};
constexpr size_t kKeptPage = 4096;
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

// Writes and reads plain values, as this machine holds them.
class KeptWriter {
public:
    template <class T>
    void put(const T& value) {
        m_bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    template <class T>
    void putArray(const std::vector<T>& values) {
        m_bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
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
    size_t left() const { return m_bytes.size(); }

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

// Where one field's key index lies in the body: its values in byte order, each an entry that
// names its bytes and its records; the bytes of every value; the records of every value, each
// value's in file order; and the first value of every group of kKeptGroup entries (its length,
// then its bytes), which a search holds in memory to go straight to the group of its value.
struct KeptField {
    int32_t field = -1;
    uint8_t present = 0;  // 0: the field holds too few distinct values to be indexed
    uint64_t keys = 0;
    uint64_t entries = 0;  // offsets in the body
    uint64_t bytes = 0;
    uint64_t bytesSize = 0;
    uint64_t records = 0;
    uint64_t recordCount = 0;
    uint64_t fences = 0;
    uint64_t fencesSize = 0;
};

constexpr uint64_t kKeptGroup = 256;

// A field of a record whose bytes are not GBK.
struct KeptPlace {
    uint32_t recno;
    uint32_t field;
};

struct KeptEntry {
    uint32_t offset;  // of the value's bytes
    uint32_t length;
    uint32_t first;  // of its records
    uint32_t count;
};

void putField(KeptWriter& out, const KeptField& part) {
    out.put(part.field);
    out.put(part.present);
    for (uint64_t value : {part.keys, part.entries, part.bytes, part.bytesSize, part.records,
                           part.recordCount, part.fences, part.fencesSize}) {
        out.put(value);
    }
}

bool getField(KeptReader& in, KeptField& part) {
    return in.get(part.field) && in.get(part.present) && in.get(part.keys) &&
           in.get(part.entries) && in.get(part.bytes) && in.get(part.bytesSize) &&
           in.get(part.records) && in.get(part.recordCount) && in.get(part.fences) &&
           in.get(part.fencesSize);
}

// A kept file's body that does not hold what its head says: what it would have told is
// learnt by reading the table instead.
struct KeptFault {};

int64_t nanosecondsOf(const timespec& time) {
    return int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::string keptPath(const DbfFile& file) {
    return file.path() + ".idx";
}

}  // namespace

// The records of each distinct value of one text field, as a search asks for them. Counts and
// records include deleted records.
class RecordIndex::Keys {
public:
    virtual ~Keys() = default;
    virtual size_t count(std::string_view text) const = 0;
    // In file order.
    virtual void collect(std::string_view text, std::vector<uint32_t>& out) const = 0;
    virtual size_t prefixCount(std::string_view prefix) const = 0;
    virtual void collectPrefix(std::string_view prefix, std::vector<uint32_t>& out) const = 0;
    // The same in memory, where writes can change it; null for one that is.
    virtual std::unique_ptr<KeyIndex> inMemory(uint32_t records) const = 0;
    // Each value that a record holds with its records in file order.
    using ValueVisit = std::function<void(std::string_view, const std::vector<uint32_t>&)>;
    virtual void eachValue(const ValueVisit& visit) const = 0;
};

// In memory. Each value keeps the first and the last record holding it; every record links to
// the next record with the same value, so a value's records come out in file order without
// any search.
class RecordIndex::KeyIndex : public Keys {
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

    size_t count(std::string_view text) const override {
        const uint32_t found = find(text);
        return found == kNone ? 0 : m_keys[found].count;
    }

    void collect(std::string_view text, std::vector<uint32_t>& out) const override {
        if (const uint32_t found = find(text); found != kNone) {
            out.reserve(m_keys[found].count);
            collectKey(m_keys[found], out);
        }
    }

    size_t prefixCount(std::string_view prefix) const override {
        size_t total = 0;
        for (const Key& key : m_keys) {
            if (startsWith(key, prefix)) {
                total += key.count;
            }
        }
        return total;
    }

    std::unique_ptr<KeyIndex> inMemory(uint32_t) const override { return nullptr; }

    void eachValue(const ValueVisit& visit) const override { visitInOrder(heldKeys(), visit); }

    // The same, the values in byte order.
    void eachValueInByteOrder(const ValueVisit& visit) const {
        std::vector<uint32_t> held = heldKeys();
        std::sort(held.begin(), held.end(),
                  [&](uint32_t a, uint32_t b) { return bytesOf(m_keys[a]) < bytesOf(m_keys[b]); });
        visitInOrder(held, visit);
    }

    void collectPrefix(std::string_view prefix, std::vector<uint32_t>& out) const override {
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

    // The values that some record holds.
    std::vector<uint32_t> heldKeys() const {
        std::vector<uint32_t> held;
        for (uint32_t i = 0; i < m_keys.size(); ++i) {
            if (m_keys[i].count > 0) {
                held.push_back(i);
            }
        }
        return held;
    }

    void visitInOrder(const std::vector<uint32_t>& keys, const ValueVisit& visit) const {
        std::vector<uint32_t> records;
        for (uint32_t i : keys) {
            records.clear();
            collectKey(m_keys[i], records);
            visit(bytesOf(m_keys[i]), records);
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

// The body of a kept file, read a page at a time as it is asked for; each page is checked
// against its checksum when first read.
class RecordIndex::KeptFile {
public:
    KeptFile(int fd, uint64_t bodyStart, uint64_t bodySize, std::vector<uint64_t> sums)
        : m_fd(fd), m_start(bodyStart), m_size(bodySize), m_sums(std::move(sums)) {}
    ~KeptFile() { ::close(m_fd); }
    KeptFile(const KeptFile&) = delete;
    KeptFile& operator=(const KeptFile&) = delete;

    uint64_t size() const { return m_size; }

    // Copies size bytes at offset of the body; throws KeptFault for bytes beyond it or a page
    // that does not hold what its checksum says.
    void read(uint64_t offset, void* out, uint64_t size) const {
        if (offset > m_size || size > m_size - offset) {
            throw KeptFault{};
        }
        auto* to = static_cast<char*>(out);
        while (size > 0) {
            const std::string& bytes = page(offset / kKeptPage);
            const size_t at = offset % kKeptPage;
            const size_t part = std::min<uint64_t>(size, bytes.size() - at);
            std::memcpy(to, bytes.data() + at, part);
            to += part;
            offset += part;
            size -= part;
        }
    }
    template <class T>
    T get(uint64_t offset) const {
        T value;
        read(offset, &value, sizeof value);
        return value;
    }

private:
    const std::string& page(uint64_t index) const {
        if (const auto found = m_pages.find(index); found != m_pages.end()) {
            return found->second;
        }
        std::string bytes(std::min<uint64_t>(kKeptPage, m_size - index * kKeptPage), '\0');
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pread(m_fd, bytes.data() + done, bytes.size() - done,
                                      static_cast<off_t>(m_start + index * kKeptPage + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                throw KeptFault{};
            }
            done += static_cast<size_t>(n);
        }
        if (checksumOf(bytes) != m_sums[index]) {
            throw KeptFault{};
        }
        return m_pages.emplace(index, std::move(bytes)).first->second;
    }

    int m_fd;
    uint64_t m_start;
    uint64_t m_size;
    std::vector<uint64_t> m_sums;  // by page
    mutable std::unordered_map<uint64_t, std::string> m_pages;
};

// One field's key index as a kept file holds it: a search reads the values it passes in a
// binary search and the records it finds. Every value and record read is checked to lie
// within its part and the table.
class RecordIndex::KeptKeys : public Keys {
public:
    KeptKeys(std::shared_ptr<const KeptFile> file, const KeptField& part, uint32_t records)
        : m_file(std::move(file)), m_part(part), m_records(records) {}

    size_t count(std::string_view text) const override {
        const auto found = find(text);
        return found ? found->count : 0;
    }
    void collect(std::string_view text, std::vector<uint32_t>& out) const override {
        if (const auto found = find(text)) {
            recordsOf(*found, out);
        }
    }
    size_t prefixCount(std::string_view prefix) const override {
        size_t total = 0;
        eachWithPrefix(prefix, [&](const KeptEntry& entry) { total += entry.count; });
        return total;
    }
    void collectPrefix(std::string_view prefix, std::vector<uint32_t>& out) const override {
        eachWithPrefix(prefix, [&](const KeptEntry& entry) { recordsOf(entry, out); });
        std::sort(out.begin(), out.end());
    }
    std::unique_ptr<KeyIndex> inMemory(uint32_t records) const override {
        auto built = std::make_unique<KeyIndex>(records);
        eachValue([&](std::string_view text, const std::vector<uint32_t>& ofValue) {
            for (uint32_t recno : ofValue) {
                built->add(recno, text);
            }
        });
        return built;
    }
    // In byte order.
    void eachValue(const ValueVisit& visit) const override {
        std::vector<uint32_t> ofValue;
        for (uint64_t i = 0; i < m_part.keys; ++i) {
            const KeptEntry at = entry(i);
            ofValue.clear();
            recordsOf(at, ofValue);
            visit(bytesOf(at), ofValue);
        }
    }

private:
    KeptEntry entry(uint64_t i) const {
        const auto entry = m_file->get<KeptEntry>(m_part.entries + i * sizeof(KeptEntry));
        if (uint64_t(entry.offset) + entry.length > m_part.bytesSize ||
            uint64_t(entry.first) + entry.count > m_part.recordCount) {
            throw KeptFault{};
        }
        return entry;
    }
    std::string bytesOf(const KeptEntry& entry) const {
        std::string bytes(entry.length, '\0');
        m_file->read(m_part.bytes + entry.offset, bytes.data(), bytes.size());
        return bytes;
    }
    void recordsOf(const KeptEntry& entry, std::vector<uint32_t>& out) const {
        const size_t at = out.size();
        out.resize(at + entry.count);
        m_file->read(m_part.records + uint64_t(entry.first) * 4, out.data() + at,
                     uint64_t(entry.count) * 4);
        for (size_t i = at; i < out.size(); ++i) {
            if (out[i] == 0 || out[i] > m_records) {
                throw KeptFault{};
            }
        }
    }
    // The first value of each group, read once.
    const std::vector<std::string>& fences() const {
        if (m_fences.empty() && m_part.keys > 0) {
            std::string bytes(m_part.fencesSize, '\0');
            m_file->read(m_part.fences, bytes.data(), bytes.size());
            std::vector<std::string> fences;
            for (size_t at = 0; at < bytes.size();) {
                uint32_t length = 0;
                if (bytes.size() - at < sizeof length) {
                    throw KeptFault{};
                }
                std::memcpy(&length, bytes.data() + at, sizeof length);
                at += sizeof length;
                if (length > bytes.size() - at) {
                    throw KeptFault{};
                }
                fences.push_back(bytes.substr(at, length));
                at += length;
            }
            if (fences.size() != (m_part.keys + kKeptGroup - 1) / kKeptGroup) {
                throw KeptFault{};
            }
            m_fences = std::move(fences);
        }
        return m_fences;
    }
    // The first value not before text in byte order: in the group of the last first value not
    // after text, or the first of the next group.
    uint64_t lowerBound(std::string_view text) const {
        const auto& fences = this->fences();
        const auto after = std::upper_bound(
            fences.begin(), fences.end(), text,
            [](std::string_view value, const std::string& fence) { return value < fence; });
        const uint64_t group = after == fences.begin() ? 0 : after - fences.begin() - 1;
        uint64_t low = group * kKeptGroup;
        uint64_t high = std::min(m_part.keys, low + kKeptGroup);
        while (low < high) {
            const uint64_t middle = low + (high - low) / 2;
            if (bytesOf(entry(middle)) < text) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low;
    }
    std::optional<KeptEntry> find(std::string_view text) const {
        const uint64_t at = lowerBound(text);
        if (at < m_part.keys) {
            const KeptEntry found = entry(at);
            if (bytesOf(found) == text) {
                return found;
            }
        }
        return std::nullopt;
    }
    template <class Visit>
    void eachWithPrefix(std::string_view prefix, Visit&& visit) const {
        for (uint64_t i = lowerBound(prefix); i < m_part.keys; ++i) {
            const KeptEntry at = entry(i);
            if (bytesOf(at).compare(0, prefix.size(), prefix) != 0) {
                break;
            }
            visit(at);
        }
    }

    std::shared_ptr<const KeptFile> m_file;
    KeptField m_part;
    uint32_t m_records;
    mutable std::vector<std::string> m_fences;
};

RecordIndex::RecordIndex(const DbfFile* file) : m_file(file) {}

RecordIndex::~RecordIndex() = default;

void RecordIndex::forget() {
    m_deletedKnown = false;
    m_deleted.clear();
    m_deleted.shrink_to_fit();
    m_undecodable.reset();
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
    m_undecodable = std::move(other.m_undecodable);
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
    if (m_undecodable) {
        if (deleted) {
            std::erase_if(*m_undecodable, [&](const auto& place) { return place.first == recno; });
        } else {
            m_undecodable.reset();  // its fields were not checked
        }
    }
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
    m_undecodable.reset();  // the record's fields are not checked
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
    std::vector<int> fields;
    for (const auto& [field, index] : m_keys) {
        if (index) {
            fields.push_back(field);
        }
    }
    for (int field : fields) {
        const FieldDef& def = m_file->fields()[static_cast<size_t>(field)];
        const std::string_view key = keyOf(record, def);
        const std::string_view before = old ? keyOf(*old, def) : std::string_view();
        if (old && before == key) {
            continue;
        }
        if (KeyIndex* index = inMemory(field)) {
            if (old) {
                index->remove(recno, before);
            }
            index->add(recno, key);
        }
    }
}

RecordIndex::KeyIndex* RecordIndex::inMemory(int field) {
    const auto known = m_keys.find(field);
    if (known == m_keys.end() || !known->second) {
        return nullptr;
    }
    try {
        if (std::unique_ptr<KeyIndex> built = known->second->inMemory(m_file->recordCount())) {
            known->second = std::move(built);
        }
    } catch (const KeptFault&) {
        m_keys.erase(known);  // not known: learnt again by the next reading
        return nullptr;
    }
    return static_cast<KeyIndex*>(known->second.get());
}

void RecordIndex::dropKept() {
    std::erase_if(m_keys, [](const auto& entry) {
        return entry.second && !dynamic_cast<const KeyIndex*>(entry.second.get());
    });
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
    std::vector<std::pair<uint32_t, int>> undecodable;
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

void RecordIndex::Gathering::undecodable(size_t slice, uint32_t recno, int field) {
    m_slices[slice].undecodable.emplace_back(recno, field);
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
    packed.m_textChecked = m_textChecked;
    for (const OfSlice& slice : m_slices) {
        for (const auto& [recno, field] : slice.undecodable) {  // live records only
            const auto before = std::lower_bound(gone.begin(), gone.end(), recno) - gone.begin();
            into.undecodable.emplace_back(recno - static_cast<uint32_t>(before), field);
        }
    }
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
    if (gathering.m_textChecked) {
        std::vector<std::pair<uint32_t, int>> undecodable;
        for (const Gathering::OfSlice& slice : gathering.m_slices) {
            undecodable.insert(undecodable.end(), slice.undecodable.begin(),
                               slice.undecodable.end());
        }
        std::sort(undecodable.begin(), undecodable.end());
        m_undecodable = std::move(undecodable);
    }
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
    // The identities that what is known was learnt for; the files must still have them, and
    // have settled (checked again against the kept file's own time of change below).
    const DbfFile::Identity table = m_file->identity();
    const DbfFile::Identity memo = m_file->memoIdentity();
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (DbfFile::identityOf(m_file->path()) != table ||
        (!m_file->memoPath().empty() && DbfFile::identityOf(m_file->memoPath()) != memo) ||
        table.ctimeNs + kSettledNs >= nanosecondsOf(now) ||
        memo.ctimeNs + kSettledNs >= nanosecondsOf(now)) {
        return;
    }
    KeptWriter body;
    const uint64_t deletedAt = body.bytes().size();
    body.putArray(m_deleted);
    const uint64_t undecodableAt = body.bytes().size();
    std::vector<KeptPlace> undecodable;
    for (const auto& [recno, field] :
         m_undecodable.value_or(std::vector<std::pair<uint32_t, int>>{})) {
        undecodable.push_back({recno, static_cast<uint32_t>(field)});
    }
    body.putArray(undecodable);
    std::vector<int> fields;
    for (const auto& [field, index] : m_keys) {
        fields.push_back(field);
    }
    std::vector<KeptField> parts;
    for (int field : fields) {
        KeptField part;
        part.field = field;
        const KeyIndex* index = inMemory(field);
        if (!m_keys.contains(field)) {
            continue;  // what the kept file held of it did not hold
        }
        if (index) {
            part.present = 1;
            std::vector<KeptEntry> entries;
            std::string bytes;
            std::vector<uint32_t> records;
            index->eachValueInByteOrder([&](std::string_view text,
                                            const std::vector<uint32_t>& ofValue) {
                entries.push_back(
                    {static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(text.size()),
                     static_cast<uint32_t>(records.size()), static_cast<uint32_t>(ofValue.size())});
                bytes += text;
                records.insert(records.end(), ofValue.begin(), ofValue.end());
            });
            part.keys = entries.size();
            part.entries = body.bytes().size();
            body.putArray(entries);
            part.bytes = body.bytes().size();
            part.bytesSize = bytes.size();
            body.bytes() += bytes;
            part.records = body.bytes().size();
            part.recordCount = records.size();
            body.putArray(records);
            part.fences = body.bytes().size();
            for (size_t i = 0; i < entries.size(); i += kKeptGroup) {
                body.put<uint32_t>(entries[i].length);
                body.bytes().append(bytes, entries[i].offset, entries[i].length);
            }
            part.fencesSize = body.bytes().size() - part.fences;
        }
        parts.push_back(part);
    }
    const std::string_view bodyBytes = body.bytes();
    KeptWriter head;
    head.bytes().append(kKeptMagic, sizeof kKeptMagic);
    putIdentity(head, table);
    putIdentity(head, memo);
    head.put<uint32_t>(m_file->recordCount());
    head.put<uint32_t>(static_cast<uint32_t>(m_file->recordLength()));
    head.put<uint8_t>(m_pointersSound ? 1 : 0);
    head.put<uint8_t>(!m_memoCompact ? 2 : *m_memoCompact ? 1 : 0);
    head.put<uint64_t>(deletedAt);
    head.put<uint64_t>(m_deleted.size());
    head.put<uint8_t>(m_undecodable ? 1 : 0);
    head.put<uint64_t>(undecodableAt);
    head.put<uint64_t>(undecodable.size());
    head.put<uint64_t>(parts.size());
    for (const KeptField& part : parts) {
        putField(head, part);
    }
    head.put<uint64_t>(bodyBytes.size());
    for (size_t at = 0; at < bodyBytes.size(); at += kKeptPage) {
        head.put(checksumOf(bodyBytes.substr(at, kKeptPage)));
    }
    head.put(checksumOf(head.bytes()));

    const std::string path = keptPath(*m_file);
    const std::string part = path + ".part";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return;
    }
    bool whole = true;
    for (std::string_view bytes : {std::string_view(head.bytes()), bodyBytes}) {
        while (whole && !bytes.empty()) {
            const ssize_t n = ::write(fd, bytes.data(), bytes.size());
            whole = n > 0;
            bytes.remove_prefix(whole ? static_cast<size_t>(n) : 0);
        }
    }
    struct stat written {};
    whole = whole && ::fstat(fd, &written) == 0;
    ::close(fd);
    // The kept file's own time of change comes from the same clock as the table's.
    const int64_t writtenNs = nanosecondsOf(written.st_ctim);
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
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return false;
    }
    // The head: first what fits in one read, then the rest once its length is known.
    auto readAt = [&](uint64_t offset, std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        bytes.resize(done);
    };
    const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
    std::string head(std::min<uint64_t>(fileSize, 64 * 1024), '\0');
    readAt(0, head);
    KeptReader in(head);
    char magic[sizeof kKeptMagic] = {};
    DbfFile::Identity table, memo;
    uint32_t records = 0, length = 0;
    uint8_t sound = 0, compact = 0;
    uint64_t deletedAt = 0, deletedCount = 0, fieldCount = 0, bodySize = 0;
    uint8_t undecodableKnown = 0;
    uint64_t undecodableAt = 0, undecodableCount = 0;
    std::vector<KeptField> parts;
    bool readable = in.get(magic) && std::memcmp(magic, kKeptMagic, sizeof magic) == 0 &&
                    getIdentity(in, table) && getIdentity(in, memo) && in.get(records) &&
                    in.get(length) && in.get(sound) && in.get(compact) && in.get(deletedAt) &&
                    in.get(deletedCount) && in.get(undecodableKnown) && in.get(undecodableAt) &&
                    in.get(undecodableCount) && in.get(fieldCount) && fieldCount <= in.left();
    // The files it was written for, exactly as they are now.
    readable = readable && table == m_file->identity() && memo == m_file->memoIdentity() &&
               table == DbfFile::identityOf(m_file->path()) &&
               (m_file->memoPath().empty() || memo == DbfFile::identityOf(m_file->memoPath())) &&
               records == m_file->recordCount() &&
               length == static_cast<uint32_t>(m_file->recordLength());
    for (uint64_t k = 0; readable && k < fieldCount; ++k) {
        parts.emplace_back();
        readable = getField(in, parts.back());
    }
    readable = readable && in.get(bodySize);
    const uint64_t pages = (bodySize + kKeptPage - 1) / kKeptPage;
    const uint64_t headSize = head.size() - in.left() + pages * 8 + 8;
    readable = readable && headSize <= fileSize && fileSize - headSize == bodySize;
    if (readable && headSize > head.size()) {
        head.resize(headSize);
        readAt(0, head);
        readable = head.size() == headSize;
    }
    std::vector<uint64_t> sums(readable ? pages : 0);
    if (readable) {
        std::memcpy(sums.data(), head.data() + headSize - 8 - pages * 8, pages * 8);
        uint64_t checksum = 0;
        std::memcpy(&checksum, head.data() + headSize - 8, 8);
        readable = checksumOf(std::string_view(head).substr(0, headSize - 8)) == checksum;
    }
    auto fits = [&](uint64_t offset, uint64_t count, uint64_t size) {
        return offset <= bodySize && count <= (bodySize - offset) / size;
    };
    const auto& fields = m_file->fields();
    for (const KeptField& part : parts) {
        readable = readable && part.field >= 0 && static_cast<size_t>(part.field) < fields.size() &&
                   fields[static_cast<size_t>(part.field)].type == FieldType::Character &&
                   (!part.present || (fits(part.entries, part.keys, sizeof(KeptEntry)) &&
                                      fits(part.bytes, part.bytesSize, 1) &&
                                      fits(part.records, part.recordCount, 4) &&
                                      fits(part.fences, part.fencesSize, 1)));
    }
    readable = readable && fits(deletedAt, deletedCount, 4) &&
               fits(undecodableAt, undecodableCount, sizeof(KeptPlace));
    if (!readable) {
        ::close(fd);
        return false;
    }
    auto kept = std::make_shared<const KeptFile>(fd, headSize, bodySize, std::move(sums));
    std::vector<uint32_t> deleted(deletedCount);
    std::vector<KeptPlace> places(undecodableCount);
    try {
        kept->read(deletedAt, deleted.data(), deletedCount * 4);
        kept->read(undecodableAt, places.data(), undecodableCount * sizeof(KeptPlace));
    } catch (const KeptFault&) {
        return false;
    }
    if (!std::is_sorted(deleted.begin(), deleted.end()) ||
        (!deleted.empty() && (deleted.front() == 0 || deleted.back() > records))) {
        return false;
    }
    std::vector<std::pair<uint32_t, int>> undecodable;
    for (const KeptPlace& place : places) {
        if (place.recno == 0 || place.recno > records || place.field >= fields.size()) {
            return false;
        }
        undecodable.emplace_back(place.recno, static_cast<int>(place.field));
    }
    m_keys.clear();
    for (const KeptField& part : parts) {
        m_keys[part.field] =
            part.present ? std::make_unique<KeptKeys>(kept, part, records) : nullptr;
    }
    m_deleted = std::move(deleted);
    m_deletedKnown = true;
    m_undecodable.reset();
    if (undecodableKnown == 1) {
        m_undecodable = std::move(undecodable);
    }
    m_pointersSound = sound == 1;
    m_memoCompact = compact == 2 ? std::nullopt : std::optional<bool>(compact == 1);
    return true;
}

const std::optional<std::vector<std::pair<uint32_t, int>>>& RecordIndex::undecodable() {
    recall();
    return m_undecodable;
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
    try {
        return orderOf(field, descending, compare);
    } catch (const KeptFault&) {
        dropKept();
        return orderOf(field, descending, compare);
    }
}

RecordIndex::Ordered RecordIndex::orderOf(int field, bool descending, Compare compare) {
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
    if (const Keys* index = m_keys[field].get()) {
        records.reserve(m_file->recordCount());
        index->eachValue([&](std::string_view gbk, const std::vector<uint32_t>& ofValue) {
            addValue(gbk);
            for (uint32_t recno : ofValue) {
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
    // Values that come in ascending order, each before the next (a kept index holds them in
    // byte order), need only be turned round for a descending order.
    bool ascending = true;
    for (size_t i = 1; ascending && i < byText.size(); ++i) {
        ascending = compare(ordered.values[i - 1], ordered.values[i]) < 0;
    }
    if (ascending && descending) {
        std::reverse(byText.begin(), byText.end());
    } else if (!ascending) {
        std::stable_sort(byText.begin(), byText.end(), [&](uint32_t a, uint32_t b) {
            const int order = compare(ordered.values[a], ordered.values[b]);
            return descending ? order > 0 : order < 0;
        });
    }
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
    try {
        return candidatesOf(conditions);
    } catch (const KeptFault&) {
        dropKept();
        return candidatesOf(conditions);
    }
}

std::optional<std::vector<uint32_t>> RecordIndex::candidatesOf(
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
        const Keys* index;
        size_t estimate;
    };
    std::vector<Choice> choices;
    for (const Condition& condition : conditions) {
        if (!indexable(condition)) {
            continue;
        }
        const auto known = m_keys.find(condition.field);
        if (const Keys* index = known == m_keys.end() ? nullptr : known->second.get()) {
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

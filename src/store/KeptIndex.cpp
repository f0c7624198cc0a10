// The index kept beside a table file (its path + ".idx"): written for the next opening,
// taken back when it still describes the files, and searched page by page on disk.

#include "RecordIndexKeys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "DbfFile.h"

namespace store {

using keys::KeptFault;

namespace {

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

int64_t nanosecondsOf(const timespec& time) {
    return int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::string keptPath(const DbfFile& file) {
    return file.path() + ".idx";
}

}  // namespace

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

}  // namespace store

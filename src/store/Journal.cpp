#include "Journal.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <string_view>

#include "Errors.h"
#include "Notices.h"

namespace store {

namespace {

// Every file of a journal: a header of 40 bytes (magic, the unit's random number, the number
// of the write-out, a checksum), then records: kind, file number, a value, a length, that many
// bytes, and a checksum seeded with the unit's and the write-out's numbers, so that a record
// of another unit or another write-out is not taken. Kinds:
//   'D'  the directory: its device and inode (first write-out only)
//   'F'  a file of the unit: its number, old size (value), device, inode and name (bytes)
//   'I'  old bytes of a file from an offset (value): whole blocks, up to the old size
//   'N'  checksums of the blocks from an offset (value) as the write-out leaves them
//   'S'  the size the write-out leaves the file with (value)
//   'E'  the end: how many records came before it (value)
constexpr std::string_view kMagic = "Velmora journal2";
// The journal of earlier versions, which held old bytes and sizes only.
constexpr std::string_view kOldMagic = "Velmora journal\n";
constexpr size_t kHeaderSize = 40;
constexpr size_t kRecordHead = 17;
constexpr size_t kChecksumSize = 8;
constexpr size_t kIdentitySize = 16;
constexpr char kDirectoryRecord = 'D';
constexpr char kFileRecord = 'F';
constexpr char kImageRecord = 'I';
constexpr char kWrittenRecord = 'N';
constexpr char kSizeRecord = 'S';
constexpr char kEndRecord = 'E';
// A journal file while it is written; it takes its name once whole and synced.
constexpr const char* kPartSuffix = ".part";
// A journal that was not applied, kept beside the tables.
constexpr const char* kAsideSuffix = ".set-aside-";

void putNumber(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

uint64_t getNumber(const char* in, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(in[i]);
    }
    return value;
}

// Eight bytes at a time: the journal sums every block a unit saves, twice.
uint64_t checksum(uint64_t seed, std::string_view bytes) {
    uint64_t hash = (0xcbf29ce484222325ULL ^ seed) + bytes.size();
    size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        hash = (hash ^ getNumber(bytes.data() + at, 8)) * 0x9E3779B97F4A7C15ULL;
        hash ^= hash >> 29;
    }
    for (; at < bytes.size(); ++at) {
        hash = (hash ^ static_cast<unsigned char>(bytes[at])) * 0x100000001b3ULL;
    }
    return hash;
}

uint64_t blockStart(uint64_t offset) {
    return offset / kWriteBlock * kWriteBlock;
}

uint64_t blockEnd(uint64_t offset) {
    return (offset + kWriteBlock - 1) / kWriteBlock * kWriteBlock;
}

struct Identity {
    uint64_t device = 0, inode = 0;
    bool operator==(const Identity&) const = default;
};

Identity identityIn(const struct stat& info) {
    return Identity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

std::optional<Identity> identityOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? std::optional(identityIn(info)) : std::nullopt;
}

std::optional<Identity> identityOf(const PosixFile& file) {
    struct stat info {};
    return ::fstat(file.descriptor(), &info) == 0 ? std::optional(identityIn(info)) : std::nullopt;
}

std::string identityBytes(const Identity& identity) {
    std::string bytes;
    putNumber(bytes, identity.device, 8);
    putNumber(bytes, identity.inode, 8);
    return bytes;
}

Identity identityFrom(std::string_view bytes) {
    return {getNumber(bytes.data(), 8), getNumber(bytes.data() + 8, 8)};
}

bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string fileNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string unfinished(const std::string& directory) {
    return "数据目录 " + directory + " 中有一次中断的写入需要撤回，但";
}

uint64_t randomNumber() {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return (uint64_t(device()) << 32) ^ device() ^ static_cast<uint64_t>(now);
}

// The files of a journal on disk, its first write-out first: the first as its caller holds
// it, the later ones opened here.
struct JournalParts {
    std::vector<const FileIo*> files;
    std::vector<std::string> names;
    std::vector<std::unique_ptr<PosixFile>> later;

    JournalParts(const std::string& directory, const FileIo& first) {
        files.push_back(&first);
        names.push_back(Journal::kFileName);
        for (std::string path; fileExists(
                 path = Journal::batchPath(directory, static_cast<uint32_t>(files.size()) + 1));) {
            later.push_back(std::make_unique<PosixFile>(path, LockMode::Shared));
            files.push_back(later.back().get());
            names.push_back(fileNameOf(path));
        }
    }
    uint32_t count() const { return static_cast<uint32_t>(files.size()); }
};

// What the journal on disk holds of its unit.
struct JournalContent {
    struct File {
        std::string name;
        Identity identity;
        uint64_t oldSize = 0;
        uint64_t smallest = 0, largest = 0;  // the sizes the unit could have left it with
        // By block offset: checksums of what the write-outs left in the block.
        std::map<uint64_t, std::vector<uint64_t>> written;
    };
    struct Image {
        uint32_t file;
        uint64_t offset;
        const FileIo* journal;
        uint64_t at;  // where the old bytes are in the journal file
        uint32_t length;
    };
    std::optional<Identity> directory;
    std::map<uint32_t, File> files;
    std::vector<Image> images;
};

// Reads the files of a journal, its first write-out first, into content; returns why it
// cannot be taken as written ("" when it can).
std::string readJournal(const JournalParts& parts, JournalContent& content) {
    uint64_t nonce = 0;
    for (size_t index = 0; index < parts.files.size(); ++index) {
        const FileIo& journal = *parts.files[index];
        const std::string& name = parts.names[index];
        const uint64_t batch = index + 1;
        const uint64_t size = journal.size();
        auto damaged = [&](uint64_t at) {
            return "它已损坏（" + name + " 第 " + std::to_string(at) + " 字节起的内容读不出来）";
        };
        std::string header(kHeaderSize, '\0');
        header.resize(journal.readAt(0, header.data(), header.size()));
        if (size == 0) {
            return "它是空的（" + name + "）";
        }
        if (header.starts_with(kOldMagic)) {
            return "它是本程序的旧版本写下的，无法确认数据表仍是那次写入留下的样子";
        }
        if (header.size() < kHeaderSize || !header.starts_with(kMagic) ||
            getNumber(header.data() + 32, kChecksumSize) !=
                checksum(0, std::string_view(header).substr(0, 32))) {
            return damaged(0);
        }
        const uint64_t ownNonce = getNumber(header.data() + kMagic.size(), 8);
        if (batch == 1) {
            nonce = ownNonce;
        }
        if (ownNonce != nonce || getNumber(header.data() + 24, 8) != batch) {
            return "它的各个部分不属于同一次写入（" + name + "）";
        }
        const uint64_t seed = nonce + batch;
        std::string record;
        uint32_t count = 0;
        for (uint64_t at = kHeaderSize;; ++count) {
            if (at + kRecordHead + kChecksumSize > size) {
                return damaged(at);
            }
            record.resize(kRecordHead);
            journal.readAt(at, record.data(), kRecordHead);
            const char kind = record[0];
            const auto number = static_cast<uint32_t>(getNumber(record.data() + 1, 4));
            const uint64_t value = getNumber(record.data() + 5, 8);
            const uint64_t length = getNumber(record.data() + 13, 4);
            if (length > size - at - kRecordHead - kChecksumSize) {
                return damaged(at);
            }
            record.resize(kRecordHead + length + kChecksumSize);
            journal.readAt(at + kRecordHead, record.data() + kRecordHead, length + kChecksumSize);
            const std::string_view body = std::string_view(record).substr(0, kRecordHead + length);
            const std::string_view data = body.substr(kRecordHead);
            if (getNumber(record.data() + body.size(), kChecksumSize) != checksum(seed, body)) {
                return damaged(at);
            }
            auto file = content.files.find(number);
            const bool known = file != content.files.end();
            switch (kind) {
                case kDirectoryRecord:
                    if (batch != 1 || length != kIdentitySize || content.directory) {
                        return damaged(at);
                    }
                    content.directory = identityFrom(data);
                    break;
                case kFileRecord: {
                    std::string fileName(data.substr(std::min<size_t>(length, kIdentitySize)));
                    if (known || length <= kIdentitySize || !isPlainFileName(fileName)) {
                        return damaged(at);
                    }
                    content.files[number] = {
                        std::move(fileName), identityFrom(data), value, value, value, {}};
                    break;
                }
                case kImageRecord:
                    if (!known || value + length > file->second.oldSize) {
                        return damaged(at);
                    }
                    content.images.push_back(
                        {number, value, &journal, at + kRecordHead, static_cast<uint32_t>(length)});
                    break;
                case kWrittenRecord:
                    if (!known || length % 8 != 0) {
                        return damaged(at);
                    }
                    for (uint64_t i = 0; i < length / 8; ++i) {
                        file->second.written[value + i * kWriteBlock].push_back(
                            getNumber(data.data() + i * 8, 8));
                    }
                    break;
                case kSizeRecord:
                    if (!known) {
                        return damaged(at);
                    }
                    file->second.smallest = std::min(file->second.smallest, value);
                    file->second.largest = std::max(file->second.largest, value);
                    break;
                case kEndRecord:
                    if (value != count || at + record.size() != size) {
                        return damaged(at);
                    }
                    break;
                default:
                    return damaged(at);
            }
            at += record.size();
            if (kind == kEndRecord) {
                break;
            }
        }
    }
    if (!content.directory) {
        return "它已损坏（" + parts.names.front() + " 中没有数据目录的记录）";
    }
    return {};
}

// Why the files are not in a state the journal's unit could have left them in; "" when they
// are. files holds the unit's files by number, opened (nullptr: not there).
std::string mismatch(const std::string& directory, const JournalContent& content,
                     const std::map<uint32_t, PosixFile*>& files) {
    if (identityOf(directory) != content.directory) {
        return "它是在别的数据目录中写下的（可能随数据表从别处复制而来）";
    }
    // Files put back from a backup or copied in from elsewhere are the usual cause.
    const std::string likely = "（可能是从备份恢复或从别处复制来的）";
    for (const auto& [number, file] : content.files) {
        const PosixFile* target = files.at(number);
        const std::string table = "数据表文件 " + file.name;
        if (!target) {
            return table + " 已经不在了";
        }
        if (identityOf(*target) != file.identity) {
            return table + " 已不是那次写入的那个文件" + likely;
        }
        const uint64_t size = target->size();
        if (size < file.smallest || size > file.largest) {
            const std::string sizes =
                file.smallest == file.largest
                    ? std::to_string(file.smallest)
                    : std::to_string(file.smallest) + " 到 " + std::to_string(file.largest);
            return table + " 现在有 " + std::to_string(size) + " 字节，而那次写入只会留下 " +
                   sizes + " 字节" + likely;
        }
    }
    std::string old, now;
    for (const JournalContent::Image& image : content.images) {
        const JournalContent::File& file = content.files.at(image.file);
        old.resize(image.length);
        image.journal->readAt(image.at, old.data(), old.size());
        now.resize(image.length);
        now.resize(files.at(image.file)->readAt(image.offset, now.data(), now.size()));
        for (uint64_t from = 0; from < image.length; from += kWriteBlock) {
            const std::string_view before = std::string_view(old).substr(from, kWriteBlock);
            const std::string_view current =
                from < now.size() ? std::string_view(now).substr(from, kWriteBlock) : "";
            if (current == before) {
                continue;
            }
            const auto written = file.written.find(image.offset + from);
            if (written != file.written.end() &&
                std::ranges::count(written->second, checksum(0, current)) > 0) {
                continue;
            }
            return "数据表文件 " + file.name + " 第 " + std::to_string(image.offset + from) +
                   " 字节起的内容既不是那次写入之前的，也不是那次写入写下的" + likely;
        }
    }
    return {};
}

// Puts back the old bytes into the files that targets gives by number (nullptr: the file is
// gone) and cuts them to their old sizes.
void putBack(const JournalContent& content, const std::map<uint32_t, FileIo*>& targets) {
    std::string bytes;
    for (auto image = content.images.rbegin(); image != content.images.rend(); ++image) {
        if (FileIo* target = targets.at(image->file)) {
            bytes.resize(image->length);
            image->journal->readAt(image->at, bytes.data(), bytes.size());
            target->writeAt(image->offset, bytes.data(), bytes.size());
        }
    }
    for (const auto& [number, file] : content.files) {
        if (FileIo* target = targets.at(number); target && target->size() > file.oldSize) {
            target->truncate(file.oldSize);
        }
    }
    for (const auto& [number, target] : targets) {
        if (target) {
            target->sync();
        }
    }
}

std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// The highest number of a later write-out's file in directory; 1 when there is none.
uint32_t lastBatchOnDisk(const std::string& directory) {
    const std::string prefix = std::string(Journal::kFileName) + ".";
    uint32_t last = 1;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(prefix) && name.size() > prefix.size() &&
            name.size() < prefix.size() + 10 &&
            name.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
            last = std::max(last, static_cast<uint32_t>(std::stoul(name.substr(prefix.size()))));
        }
    }
    return last;
}

// Renames the journal's files first..last that are there aside, under names that tell what
// they are and when they were set aside; returns the new name of the first. The first
// write-out goes first and the later ones from the last down, so that what an interruption
// leaves under the journal's names is never part of a journal that could be applied, and the
// later ones left start at the second.
std::string setAside(const std::string& directory, uint32_t first, uint32_t last) {
    const std::string stamp = timeStamp();
    std::string suffix = kAsideSuffix + stamp;
    for (int again = 2;; ++again) {
        bool taken = false;
        for (uint32_t batch = first; batch <= last; ++batch) {
            taken = taken || fileExists(Journal::batchPath(directory, batch) + suffix);
        }
        if (!taken) {
            break;
        }
        suffix = kAsideSuffix + stamp + "-" + std::to_string(again);
    }
    std::vector<uint32_t> order;
    if (first == 1) {
        order.push_back(1);
    }
    for (uint32_t batch = last; batch >= std::max<uint32_t>(first, 2); --batch) {
        order.push_back(batch);
    }
    for (uint32_t batch : order) {
        if (const std::string path = Journal::batchPath(directory, batch); fileExists(path)) {
            renameFile(path, path + suffix);
        }
    }
    syncDirectory(directory);
    return fileNameOf(Journal::batchPath(directory, first)) + suffix;
}

// Sets aside the journal files first..last and tells the user so, once; what names the
// journal and why it was not applied, as the notice says it.
void setAsideAndTell(const std::string& directory, uint32_t first, uint32_t last,
                     const std::string& what, const std::string& why) {
    const std::string told = "数据目录 " + directory + " 中有一次中断的写入留下的记录 " + what +
                             "，但" + why + "，所以没有用它撤回那次写入，数据表保持现在的样子";
    std::string aside;
    try {
        aside = setAside(directory, first, last);
    } catch (const EngineError& e) {
        throw EngineError(told + "；这份记录也不能改名保留：" + e.what());
    }
    std::string kept = "。这份记录已改名为 " + aside + " 保留在数据目录中";
    if (first == 1 && last > 1) {
        kept += "（它的后续部分同样改名）";
    }
    addNotice(told + kept + "。");
}

// Without a journal's first write-out on disk: removes a first write-out that its writer left
// unfinished (none of its bytes reached the files), and sets aside later write-outs whose
// first was set aside by an interrupted recovery.
void clearLeftovers(const std::string& directory) {
    const std::string part = Journal::batchPath(directory, 1) + kPartSuffix;
    if (fileExists(part)) {
        try {
            PosixFile guard(part, LockMode::Exclusive);
            removeFile(part);
            syncDirectory(directory);
        } catch (const StoreError&) {
            // still being written, or in a folder that cannot be written: harmless either way
        }
    }
    if (fileExists(Journal::batchPath(directory, 2))) {
        setAsideAndTell(directory, 2, lastBatchOnDisk(directory),
                        fileNameOf(Journal::batchPath(directory, 2)),
                        "它只是一份记录的后续部分，没有开头 " + std::string(Journal::kFileName));
    }
}

}  // namespace

// The records of one write-out, as they are put together.
struct Journal::RecordWriter {
    explicit RecordWriter(uint64_t seed) : seed(seed) {}

    uint64_t seed;
    std::string bytes;
    uint32_t count = 0;

    void put(char kind, uint32_t file, uint64_t value, std::string_view data) {
        const size_t start = bytes.size();
        bytes += kind;
        putNumber(bytes, file, 4);
        putNumber(bytes, value, 8);
        putNumber(bytes, data.size(), 4);
        bytes += data;
        putNumber(bytes, checksum(seed, std::string_view(bytes).substr(start)), kChecksumSize);
        ++count;
    }
};

std::string Journal::batchPath(const std::string& directory, uint32_t batch) {
    const std::string path = directory + "/" + kFileName;
    return batch == 1 ? path : path + "." + std::to_string(batch);
}

Journal::Journal(std::string directory) : m_directory(std::move(directory)) {}

// A unit still open here has written out and not ended: its journal stays for the next open
// to roll back, as after a crash.
Journal::~Journal() = default;

void Journal::save(FileState& state, BufferedFile& file, uint64_t from, uint64_t to,
                   RecordWriter& writer) {
    to = std::min(to, state.originalSize);
    while (from < to) {
        // Skip what is saved already; save up to the next saved range.
        auto next = state.saved.upper_bound(from);
        if (next != state.saved.begin()) {
            auto previous = std::prev(next);
            if (previous->second > from) {
                from = previous->second;
                continue;
            }
        }
        const uint64_t stop = next == state.saved.end() ? to : std::min(to, next->first);
        std::string old(stop - from, '\0');
        old.resize(file.base().readAt(from, old.data(), old.size()));
        writer.put(kImageRecord, state.id, from, old);
        // Merge [from, stop) into the saved ranges.
        uint64_t start = from, end = stop;
        auto before = state.saved.upper_bound(start);
        if (before != state.saved.begin() && std::prev(before)->second >= start) {
            --before;
            start = before->first;
        }
        auto after = before;
        while (after != state.saved.end() && after->first <= end) {
            end = std::max(end, after->second);
            ++after;
        }
        state.saved.erase(before, after);
        state.saved.emplace(start, end);
        from = stop;
    }
}

void Journal::writeOut(const std::vector<Member>& members) {
    if (!m_journal) {
        m_nonce = randomNumber();
        m_batches = 0;
    }
    const uint32_t batch = m_batches + 1;
    RecordWriter writer(m_nonce + batch);
    if (batch == 1) {
        writer.put(kDirectoryRecord, 0, 0,
                   identityBytes(identityOf(m_directory).value_or(Identity{})));
    }
    std::vector<BufferedFile*> changed;
    for (const Member& member : members) {
        BufferedFile& file = *member.file;
        if (!file.hasHeldChanges()) {
            continue;
        }
        changed.push_back(&file);
        auto [entry, added] = m_files.try_emplace(member.name);
        FileState& state = entry->second;
        if (added) {
            state.id = static_cast<uint32_t>(m_files.size());
            state.originalSize = file.baseSize();
            const std::string path = m_directory + "/" + member.name;
            writer.put(kFileRecord, state.id, state.originalSize,
                       identityBytes(identityOf(path).value_or(Identity{})) + member.name);
            // The first block is saved whether the unit writes it or not: it holds the table's
            // header, which another table (or this one at another time) does not share.
            save(state, file, 0, kWriteBlock, writer);
        }
        // The blocks this write-out changes below the old size, in file order.
        std::vector<std::pair<uint64_t, uint64_t>> spans;
        auto touch = [&](uint64_t from, uint64_t to) {
            from = blockStart(from);
            to = std::min(blockEnd(to), state.originalSize);
            if (from >= to) {
                return;
            }
            if (!spans.empty() && from <= spans.back().second) {
                spans.back().second = std::max(spans.back().second, to);
            } else {
                spans.emplace_back(from, to);
            }
        };
        for (const auto& [offset, bytes] : file.heldWrites()) {
            touch(offset, offset + bytes.size());
        }
        if (file.size() < file.baseSize()) {
            touch(file.size(), file.baseSize());
        }
        std::string block;
        for (const auto& [from, to] : spans) {
            save(state, file, from, to, writer);
            std::string sums;
            for (uint64_t at = from; at < to; at += kWriteBlock) {
                block.resize(std::min(kWriteBlock, to - at));
                block.resize(file.readAt(at, block.data(), block.size()));
                putNumber(sums, checksum(0, block), 8);
            }
            writer.put(kWrittenRecord, state.id, from, sums);
        }
        writer.put(kSizeRecord, state.id, file.size(), {});
    }
    if (changed.empty()) {
        return;
    }
    writer.put(kEndRecord, 0, writer.count, {});

    std::unique_ptr<PosixFile> part = startBatch(batch);
    std::string header(kMagic);
    putNumber(header, m_nonce, 8);
    putNumber(header, batch, 8);
    putNumber(header, checksum(0, header), kChecksumSize);
    try {
        part->writeAt(0, header.data(), header.size());
        part->writeAt(header.size(), writer.bytes.data(), writer.bytes.size());
        part->sync();
    } catch (const StoreError&) {
        removeFile(part->path());  // a disk that is full, say: no byte of the files has changed
        throw;
    }
    // Under its name, and durably so, before any byte of the files changes.
    const std::string path = batchPath(m_directory, batch);
    renameFile(part->path(), path);
    part->setPath(path);
    syncDirectory(m_directory);
    m_batches = batch;
    if (batch == 1) {
        m_journal = std::move(part);  // its lock keeps every other open from the unit
    }
    for (BufferedFile* file : changed) {
        file->writeOut();
    }
    for (BufferedFile* file : changed) {
        file->sync();
    }
}

std::unique_ptr<PosixFile> Journal::startBatch(uint32_t batch) {
    const std::string path = batchPath(m_directory, batch);
    auto part = std::make_unique<PosixFile>(path + kPartSuffix, LockMode::Exclusive,
                                            PosixFile::Create::Yes);
    if (fileExists(path)) {
        removeFile(part->path());
        if (batch == 1) {
            PosixFile left(path, LockMode::Exclusive);  // BusyError: another unit is being written
        }
        throw EngineError("数据目录 " + m_directory + " 中留有一次中断的写入（" + kFileName +
                          "），请重新启动程序后再试");
    }
    if (part->size() != 0) {
        part->truncate(0);  // left by a writer that stopped
    }
    return part;
}

void Journal::commit(const std::vector<Member>& members) {
    writeOut(members);
    if (m_journal) {
        finish();
    }
}

void Journal::rollback(const std::vector<Member>& members) {
    for (const Member& member : members) {
        member.file->dropHeld();
    }
    if (!m_journal) {
        m_files.clear();
        return;
    }
    std::map<std::string, FileIo*> bases;
    for (const Member& member : members) {
        bases[member.name] = &member.file->base();
    }
    try {
        // The unit's own journal, over the files it holds open: put back without a check.
        const JournalParts parts(m_directory, *m_journal);
        JournalContent content;
        if (std::string fault = readJournal(parts, content); !fault.empty()) {
            throw EngineError(unfinished(m_directory) + fault);
        }
        std::vector<std::unique_ptr<PosixFile>> opened;
        std::map<uint32_t, FileIo*> targets;
        for (const auto& [number, file] : content.files) {
            FileIo*& target = targets[number];
            if (auto base = bases.find(file.name); base != bases.end()) {
                target = base->second;
            } else if (const std::string path = m_directory + "/" + file.name; fileExists(path)) {
                opened.push_back(std::make_unique<PosixFile>(path, LockMode::Shared));
                target = opened.back().get();
            }
        }
        putBack(content, targets);
    } catch (...) {
        // The journal stays on disk, unlocked, for the next open to roll back.
        m_journal.reset();
        m_files.clear();
        m_batches = 0;
        throw;
    }
    for (const Member& member : members) {
        member.file->dropHeld();
    }
    finish();
}

void Journal::finish() {
    // The first write-out goes last: while it is there, so is every later one.
    for (uint32_t batch = m_batches; batch >= 1; --batch) {
        removeFile(batchPath(m_directory, batch));
    }
    syncDirectory(m_directory);  // the unit is durable once its journal is gone for good
    m_journal.reset();
    m_files.clear();
    m_batches = 0;
}

bool Journal::recover(const std::string& directory) {
    const std::string path = batchPath(directory, 1);
    if (!fileExists(path)) {
        clearLeftovers(directory);
        return false;
    }
    std::unique_ptr<PosixFile> first;
    try {
        first = std::make_unique<PosixFile>(path, LockMode::Exclusive);
    } catch (const BusyError&) {
        return false;  // its unit is being written right now
    } catch (const EngineError&) {
        if (!fileExists(path)) {
            return false;  // ended meanwhile
        }
        throw;
    }
    // With the first locked, no writer of the unit is left: a later write-out still under its
    // part name had not reached the files.
    const JournalParts parts(directory, *first);
    removeFile(batchPath(directory, parts.count() + 1) + kPartSuffix);

    JournalContent content;
    std::string fault = readJournal(parts, content);
    const uint32_t last = std::max(parts.count(), lastBatchOnDisk(directory));
    if (fault.empty() && last > parts.count()) {
        fault = "它缺了一部分（没有 " + fileNameOf(batchPath(directory, parts.count() + 1)) + "）";
    }
    std::vector<std::unique_ptr<PosixFile>> opened;
    std::map<uint32_t, PosixFile*> files;
    if (fault.empty()) {
        // Every file is opened (and locked) before any is checked or written.
        try {
            for (const auto& [number, file] : content.files) {
                PosixFile*& target = files[number];
                if (const std::string name = directory + "/" + file.name; fileExists(name)) {
                    opened.push_back(std::make_unique<PosixFile>(name, LockMode::Exclusive));
                    target = opened.back().get();
                }
            }
        } catch (const BusyError& e) {
            throw BusyError(unfinished(directory) + e.what());
        } catch (const EngineError& e) {
            throw EngineError(unfinished(directory) + e.what());
        }
        fault = mismatch(directory, content, files);
    }
    if (!fault.empty()) {
        opened.clear();
        setAsideAndTell(directory, 1, last, kFileName, fault);
        return false;
    }
    try {
        putBack(content, std::map<uint32_t, FileIo*>(files.begin(), files.end()));
    } catch (const BusyError& e) {
        throw BusyError(unfinished(directory) + e.what());
    } catch (const EngineError& e) {
        throw EngineError(unfinished(directory) + e.what());
    }
    for (uint32_t batch = parts.count(); batch >= 1; --batch) {
        removeFile(batchPath(directory, batch));
    }
    syncDirectory(directory);
    return true;
}

}  // namespace store

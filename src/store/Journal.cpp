#include "Journal.h"

#include <chrono>
#include <cstring>
#include <random>
#include <string_view>

#include "Errors.h"

namespace store {

namespace {

// Layout: a header of 32 bytes (magic, a random number of this unit, a checksum), then
// records: kind, file number, a value, a length, that many bytes, and a checksum seeded with
// the unit's number, so that a record torn by a power cut or left from an earlier unit is
// not taken. Kind 'F' names a file (value: its old size); kind 'I' holds old bytes (value:
// their offset).
constexpr std::string_view kMagic = "Velmora journal\n";
constexpr size_t kHeaderSize = 32;
constexpr size_t kRecordHead = 17;
constexpr size_t kChecksumSize = 8;
constexpr char kFileRecord = 'F';
constexpr char kImageRecord = 'I';

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

uint64_t checksum(uint64_t seed, std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL ^ seed;
    for (char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

void putRecord(std::string& out, uint64_t nonce, char kind, uint32_t file, uint64_t value,
               std::string_view bytes) {
    const size_t start = out.size();
    out += kind;
    putNumber(out, file, 4);
    putNumber(out, value, 8);
    putNumber(out, bytes.size(), 4);
    out += bytes;
    putNumber(out, checksum(nonce, std::string_view(out).substr(start)), kChecksumSize);
}

bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string unfinished(const std::string& directory) {
    return "数据目录 " + directory + " 中有一次中断的写入需要撤回，但";
}

uint64_t randomNumber() {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return (uint64_t(device()) << 32) ^ device() ^ static_cast<uint64_t>(now);
}

}  // namespace

Journal::Journal(std::string directory)
    : m_directory(std::move(directory)), m_path(m_directory + "/" + kFileName) {}

// A unit still open here has written out and not ended: its journal stays for the next open
// to roll back, as after a crash.
Journal::~Journal() = default;

void Journal::save(FileState& state, BufferedFile& file, uint64_t from, uint64_t to,
                   std::string& records) {
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
        putRecord(records, m_nonce, kImageRecord, state.id, from, old);
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
    const bool starting = !m_journal;
    if (starting) {
        m_nonce = randomNumber();
    }
    std::string records;
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
            putRecord(records, m_nonce, kFileRecord, state.id, state.originalSize, member.name);
        }
        for (const auto& [offset, bytes] : file.heldWrites()) {
            save(state, file, offset, offset + bytes.size(), records);
        }
        if (file.size() < file.baseSize()) {
            save(state, file, file.size(), file.baseSize(), records);
        }
    }
    if (changed.empty()) {
        return;
    }
    if (starting) {
        auto journal =
            std::make_unique<PosixFile>(m_path, LockMode::Exclusive, PosixFile::Create::Yes);
        if (journal->size() != 0) {
            throw EngineError("数据目录 " + m_directory + " 中留有一次中断的写入（" + kFileName +
                              "），请重新启动程序后再试");
        }
        std::string header(kMagic);
        putNumber(header, m_nonce, 8);
        putNumber(header, checksum(m_nonce, kMagic), kChecksumSize);
        records.insert(0, header);
        m_journal = std::move(journal);
        m_end = 0;
    }
    m_journal->writeAt(m_end, records.data(), records.size());
    m_end += records.size();
    m_journal->sync();
    if (starting) {
        syncDirectory(m_directory);  // the journal's name must survive a power cut too
    }
    for (BufferedFile* file : changed) {
        file->writeOut();
    }
    for (BufferedFile* file : changed) {
        file->sync();
    }
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
    std::vector<std::unique_ptr<PosixFile>> opened;
    try {
        restore(*m_journal, [&](const std::string& name) -> FileIo* {
            if (auto base = bases.find(name); base != bases.end()) {
                return base->second;
            }
            const std::string path = m_directory + "/" + name;
            if (!fileExists(path)) {
                return nullptr;
            }
            opened.push_back(std::make_unique<PosixFile>(path, LockMode::Shared));
            return opened.back().get();
        });
    } catch (...) {
        // The journal stays on disk, unlocked, for the next open to roll back.
        m_journal.reset();
        m_files.clear();
        throw;
    }
    for (const Member& member : members) {
        member.file->dropHeld();
    }
    finish();
}

void Journal::finish() {
    removeFile(m_path);
    syncDirectory(m_directory);  // the unit is durable once its journal is gone for good
    m_journal.reset();
    m_files.clear();
    m_end = 0;
}

bool Journal::restore(FileIo& journal,
                      const std::function<FileIo*(const std::string&)>& fileNamed) {
    const uint64_t size = journal.size();
    std::string header(kHeaderSize, '\0');
    if (journal.readAt(0, header.data(), header.size()) != header.size() ||
        std::string_view(header).substr(0, kMagic.size()) != kMagic) {
        return false;
    }
    const uint64_t nonce = getNumber(header.data() + kMagic.size(), 8);
    if (getNumber(header.data() + kMagic.size() + 8, kChecksumSize) != checksum(nonce, kMagic)) {
        return false;
    }
    struct Image {
        uint32_t file;
        uint64_t offset;
        uint64_t at;  // where the bytes are in the journal
        uint32_t length;
    };
    std::map<uint32_t, std::pair<std::string, uint64_t>> files;  // name, old size
    std::vector<Image> images;
    std::string record;
    for (uint64_t at = kHeaderSize; at + kRecordHead + kChecksumSize <= size;) {
        record.resize(kRecordHead);
        journal.readAt(at, record.data(), kRecordHead);
        const char kind = record[0];
        const auto file = static_cast<uint32_t>(getNumber(record.data() + 1, 4));
        const uint64_t value = getNumber(record.data() + 5, 8);
        const uint64_t length = getNumber(record.data() + 13, 4);
        if (length > size - at - kRecordHead - kChecksumSize) {
            break;
        }
        record.resize(kRecordHead + length + kChecksumSize);
        journal.readAt(at + kRecordHead, record.data() + kRecordHead, length + kChecksumSize);
        const std::string_view body = std::string_view(record).substr(0, kRecordHead + length);
        if (getNumber(record.data() + body.size(), kChecksumSize) != checksum(nonce, body)) {
            break;  // torn, or left from an earlier unit: the unit's records end here
        }
        if (kind == kFileRecord) {
            std::string name(body.substr(kRecordHead));
            if (!isPlainFileName(name)) {
                break;
            }
            files[file] = {std::move(name), value};
        } else if (kind == kImageRecord && files.contains(file)) {
            images.push_back({file, value, at + kRecordHead, static_cast<uint32_t>(length)});
        } else {
            break;
        }
        at += record.size();
    }
    // Every file is opened (and locked) before any is written.
    std::map<uint32_t, FileIo*> opened;
    for (const auto& [number, file] : files) {
        opened[number] = fileNamed(file.first);
    }
    std::string bytes;
    for (auto image = images.rbegin(); image != images.rend(); ++image) {
        if (FileIo* target = opened[image->file]) {
            bytes.resize(image->length);
            journal.readAt(image->at, bytes.data(), bytes.size());
            target->writeAt(image->offset, bytes.data(), bytes.size());
        }
    }
    for (const auto& [number, file] : files) {
        if (FileIo* target = opened[number]; target && target->size() > file.second) {
            target->truncate(file.second);
        }
    }
    for (const auto& [number, target] : opened) {
        if (target) {
            target->sync();
        }
    }
    return true;
}

bool Journal::recover(const std::string& directory) {
    const std::string path = directory + "/" + kFileName;
    if (!fileExists(path)) {
        return false;
    }
    std::unique_ptr<PosixFile> journal;
    try {
        journal = std::make_unique<PosixFile>(path, LockMode::Exclusive);
    } catch (const BusyError&) {
        return false;  // its unit is being written right now
    } catch (const EngineError&) {
        if (!fileExists(path)) {
            return false;  // ended meanwhile
        }
        throw;
    }
    std::vector<std::unique_ptr<PosixFile>> opened;
    bool restored = false;
    try {
        restored = restore(*journal, [&](const std::string& name) -> FileIo* {
            const std::string file = directory + "/" + name;
            if (!fileExists(file)) {
                return nullptr;
            }
            opened.push_back(std::make_unique<PosixFile>(file, LockMode::Exclusive));
            return opened.back().get();
        });
    } catch (const BusyError& e) {
        throw BusyError(unfinished(directory) + e.what());
    } catch (const EngineError& e) {
        throw EngineError(unfinished(directory) + e.what());
    }
    removeFile(path);
    syncDirectory(directory);
    return restored;
}

}  // namespace store

#include "ArjListing.h"

#include <array>
#include <fstream>
#include <optional>
#include <set>

#include "Archiver.h"
#include "GbkCodec.h"
#include "Text.h"

namespace exchange {

namespace fs = std::filesystem;

namespace {

// Layout of an ARJ header: the two-byte id, the two-byte size of the basic header (0 ends the
// archive), the basic header, its CRC-32, then extended headers (size, data, CRC-32) up to a
// size of 0; a file's compressed data follows its headers.
constexpr unsigned char kIdLow = 0x60;
constexpr unsigned char kIdHigh = 0xEA;
constexpr size_t kMaxBasicHeader = 2600;
constexpr size_t kFixedPart = 30;  // the basic header's fields before its extra data
// Offsets inside the basic header.
constexpr size_t kFirstHeaderSize = 0;
constexpr size_t kFlags = 4;
constexpr size_t kFileType = 6;
constexpr size_t kCompressedSize = 12;
constexpr size_t kOriginalSize = 16;
constexpr unsigned char kMainHeaderType = 2;
constexpr unsigned char kGarbledFlag = 0x01;
constexpr unsigned char kVolumeFlag = 0x04;

uint32_t crc32(const std::string& bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

uint32_t littleEndian(const std::string& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// A member's name as a message shows it: stored in the sending system's code page (GBK); a
// name that is not GBK is followed by its bytes.
std::string shownName(const std::string& name) {
    bool invalid = false;
    std::string shown = store::GbkCodec::decode(name, &invalid);
    if (invalid) {
        static const char kHex[] = "0123456789ABCDEF";
        shown += "（字节";
        for (const unsigned char byte : name) {
            shown += {' ', kHex[byte >> 4], kHex[byte & 0xF]};
        }
        shown += "）";
    }
    return shown;
}

std::string quoted(const std::string& text) {
    return "“" + text + "”";
}

// A size in bytes, and in MB for a reader.
std::string sizeText(uint64_t bytes) {
    constexpr uint64_t kMegabyte = uint64_t(1) << 20;
    return std::to_string(bytes) + "字节（约" +
           std::to_string((bytes + kMegabyte / 2) / kMegabyte) + " MB）";
}

class ArchiveReader {
public:
    explicit ArchiveReader(const fs::path& path)
        : m_in(path, std::ios::binary), m_name(path.filename().string()) {
        if (!m_in) {
            throw ArchiverError("无法打开文件“" + m_name + "”。");
        }
        m_in.seekg(0, std::ios::end);
        m_size = static_cast<uint64_t>(m_in.tellg());
    }

    std::vector<ArjMember> members() {
        uint64_t at = findMainHeader();
        std::optional<std::string> header = readHeader(at);
        skipExtendedHeaders(at);
        if (static_cast<unsigned char>((*header)[kFlags]) & kVolumeFlag) {
            fail("是分卷压缩文件的一部分。");
        }
        std::vector<ArjMember> members;
        std::set<std::string> seen;
        while ((header = readHeader(at))) {
            skipExtendedHeaders(at);
            const auto flags = static_cast<unsigned char>((*header)[kFlags]);
            const std::string name = storedName(*header);
            checkName(name);
            if (!seen.insert(store::text::lowerAscii(name)).second) {
                fail("中有两个同名文件“" + shownName(name) + "”。");
            }
            if (flags & kGarbledFlag) {
                fail("中的文件“" + shownName(name) + "”已加密。");
            }
            if (flags & kVolumeFlag) {
                fail("是分卷压缩文件的一部分。");
            }
            const uint32_t compressed = littleEndian(*header, kCompressedSize, 4);
            if (at + compressed > m_size) {
                cutShort();
            }
            at += compressed;
            members.push_back({name, littleEndian(*header, kOriginalSize, 4), compressed});
        }
        return members;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw ArchiveFormatError("“" + m_name + "”" + what);
    }
    [[noreturn]] void cutShort() const {
        fail("不完整，文件在第" + std::to_string(m_size) + "字节处中断。");
    }

    std::string bytes(uint64_t at, size_t count) {
        if (at + count > m_size) {
            cutShort();
        }
        std::string out(count, '\0');
        m_in.clear();
        m_in.seekg(static_cast<std::streamoff>(at));
        if (!m_in.read(out.data(), static_cast<std::streamsize>(count))) {
            throw ArchiverError("无法读取文件“" + m_name + "”。");
        }
        return out;
    }

    // The basic header at at (its id checked), moving at past it and its CRC; nullopt for the
    // end of the archive.
    std::optional<std::string> readHeader(uint64_t& at) {
        const std::string start = bytes(at, 4);
        if (static_cast<unsigned char>(start[0]) != kIdLow ||
            static_cast<unsigned char>(start[1]) != kIdHigh) {
            fail("已损坏：第" + std::to_string(at) + "字节处不是文件头。");
        }
        const size_t size = littleEndian(start, 2, 2);
        if (size == 0) {
            return std::nullopt;
        }
        if (size < kFixedPart || size > kMaxBasicHeader) {
            fail("已损坏：第" + std::to_string(at) + "字节处的文件头长度不对。");
        }
        std::string header = bytes(at + 4, size);
        if (crc32(header) != littleEndian(bytes(at + 4 + size, 4), 0, 4)) {
            fail("已损坏：第" + std::to_string(at) + "字节处的文件头校验不符。");
        }
        at += 4 + size + 4;
        return header;
    }

    void skipExtendedHeaders(uint64_t& at) {
        for (;;) {
            const size_t size = littleEndian(bytes(at, 2), 0, 2);
            at += 2;
            if (size == 0) {
                return;
            }
            at += size + 4;
        }
    }

    // The name: from the end of the fixed part and extra data to its terminating zero.
    std::string storedName(const std::string& header) const {
        const size_t first = static_cast<unsigned char>(header[kFirstHeaderSize]);
        const size_t end = header.find('\0', first);
        if (first < kFixedPart || first >= header.size() || end == std::string::npos) {
            fail("已损坏：文件名不完整。");
        }
        return header.substr(first, end - first);
    }

    void checkName(const std::string& name) const {
        if (name.find_first_of("/\\") != std::string::npos) {
            fail("中的文件名“" + shownName(name) + "”含有路径或反斜杠，不予解压。");
        }
        if (name.empty() || name == "." || name == "..") {
            fail("中有无效的文件名“" + shownName(name) + "”，不予解压。");
        }
    }

    // The archiver accepts a main header anywhere in the file (after a self-extracting
    // program, for instance): the first id whose header has a sound CRC and the main type.
    uint64_t findMainHeader() {
        constexpr size_t kChunk = 65536;
        for (uint64_t base = 0; base + 4 <= m_size; base += kChunk) {
            const std::string chunk = bytes(base, std::min<uint64_t>(kChunk + 1, m_size - base));
            for (size_t i = 0; i + 1 < chunk.size() && i < kChunk; ++i) {
                if (static_cast<unsigned char>(chunk[i]) == kIdLow &&
                    static_cast<unsigned char>(chunk[i + 1]) == kIdHigh && isMainHeader(base + i)) {
                    return base + i;
                }
            }
        }
        fail("不是ARJ压缩文件。");
    }

    bool isMainHeader(uint64_t at) {
        if (at + 4 > m_size) {
            return false;
        }
        const size_t size = littleEndian(bytes(at, 4), 2, 2);
        if (size < kFixedPart || size > kMaxBasicHeader || at + 4 + size + 4 > m_size) {
            return false;
        }
        const std::string header = bytes(at + 4, size);
        return static_cast<unsigned char>(header[kFileType]) == kMainHeaderType &&
               crc32(header) == littleEndian(bytes(at + 4 + size, 4), 0, 4);
    }

    std::ifstream m_in;
    std::string m_name;
    uint64_t m_size = 0;
};

}  // namespace

std::vector<ArjMember> listArjMembers(const fs::path& path) {
    return ArchiveReader(path).members();
}

void checkMemberNames(const std::string& archiveName, const std::vector<ArjMember>& members,
                      const std::vector<std::string>& allowed) {
    for (const ArjMember& member : members) {
        const bool holds =
            std::any_of(allowed.begin(), allowed.end(), [&](const std::string& name) {
                return store::text::equalsIgnoringCase(member.name, name);
            });
        if (!holds) {
            std::string names;
            for (const std::string& name : allowed) {
                names += (names.empty() ? "" : "、") + name;
            }
            throw ArchiveFormatError(quoted(archiveName) + "中有不应有的文件" +
                                     quoted(shownName(member.name)) + "，不予解压（这种包只能含有" +
                                     names + "）。");
        }
    }
}

void checkMemberSizes(const std::string& archiveName, const std::vector<ArjMember>& members,
                      const fs::path& folder, uint64_t available) {
    uint64_t total = 0;
    for (const ArjMember& member : members) {
        if (member.unpackedBytes() > kMemberSizeLimit) {
            throw ArchiveFormatError(quoted(archiveName) + "中的文件" +
                                     quoted(shownName(member.name)) + "解压后有" +
                                     sizeText(member.unpackedBytes()) + "，超过了包中文件的上限" +
                                     sizeText(kMemberSizeLimit) + "，不予解压。");
        }
        total += member.unpackedBytes();
    }
    if (total + kFreeSpaceMargin > available) {
        throw ArchiverError(quoted(archiveName) + "解压后有" + sizeText(total) + "，而文件夹" +
                            quoted(folder.string()) + "所在的磁盘只有" + sizeText(available) +
                            "可用（解压后须留出" + sizeText(kFreeSpaceMargin) +
                            "），磁盘空间不足，无法解压。");
    }
}

}  // namespace exchange

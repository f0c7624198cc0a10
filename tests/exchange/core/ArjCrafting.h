#pragma once

#include <zlib.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>

// Archives that Debian's arj will not make: a package written by arj whose member names are
// then changed in place, each changed header given its CRC again (zlib's CRC-32).
namespace testsupport {

inline uint32_t readLittle(const std::string& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    }
    return value;
}

inline std::string little(uint32_t value, int width) {
    std::string out;
    for (int i = 0; i < width; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

// Walks the headers of archive, calling visit(name, header, data offset, data size) for each
// member with its basic header, which visit may change; returns the archive with the changed
// headers, each given its CRC again.
template <typename Visit>
std::string walkMembers(const std::string& archive, Visit visit) {
    std::string out;
    size_t at = 0;
    for (bool main = true;; main = false) {
        if (archive.compare(at, 2, "\x60\xEA") != 0) {
            throw std::runtime_error("no ARJ header at " + std::to_string(at));
        }
        const size_t size = readLittle(archive, at + 2, 2);
        if (size == 0) {
            return out + archive.substr(at);
        }
        std::string header = archive.substr(at + 4, size);
        const size_t first = static_cast<unsigned char>(header[0]);
        const std::string name = header.substr(first, header.find('\0', first) - first);
        const size_t compressed = main ? 0 : readLittle(header, 12, 4);
        const size_t extendedAt = at + 4 + size + 4;
        size_t data = extendedAt;
        while (const size_t extended = readLittle(archive, data, 2)) {
            data += 2 + extended + 4;
        }
        data += 2;
        if (!main) {
            visit(name, header, data, compressed);
        }
        const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(header.data()),
                                   static_cast<uInt>(header.size()));
        out += std::string("\x60\xEA") + little(static_cast<uint32_t>(header.size()), 2) + header +
               little(crc, 4) + archive.substr(extendedAt, data + compressed - extendedAt);
        at = data + compressed;
    }
}

// archive with every member named a key of renames renamed to its value.
inline std::string renameMembers(const std::string& archive,
                                 const std::map<std::string, std::string>& renames) {
    return walkMembers(archive, [&](const std::string& name, std::string& header, size_t, size_t) {
        if (renames.count(name) != 0) {
            const size_t first = static_cast<unsigned char>(header[0]);
            header = header.substr(0, first) + renames.at(name) +
                     header.substr(header.find('\0', first));
        }
    });
}

// archive with the size that member's header declares for its unpacked data set to size.
inline std::string declareSize(const std::string& archive, const std::string& member,
                               uint32_t size) {
    return walkMembers(archive, [&](const std::string& name, std::string& header, size_t, size_t) {
        if (name == member) {
            header.replace(16, 4, little(size, 4));
        }
    });
}

// archive with one byte in the middle of member's packed data changed.
inline std::string damageMember(const std::string& archive, const std::string& member) {
    std::string damaged = archive;
    walkMembers(archive, [&](const std::string& name, std::string&, size_t data, size_t size) {
        if (name == member && size > 0) {
            damaged[data + size / 2] ^= 0x55;
        }
    });
    return damaged;
}

}  // namespace testsupport

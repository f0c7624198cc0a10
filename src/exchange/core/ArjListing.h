#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The table of contents of an ARJ archive, read from its headers without running the
// archiver, so that a damaged or hostile archive is refused before anything is unpacked.
namespace exchange {

struct ArjMember {
    std::string name;  // as stored (bytes of the sending system's code page)
    uint32_t originalSize = 0;
    uint32_t compressedSize = 0;
    // The most bytes the archiver can write for it: its declared size, or its packed data
    // when that is larger (stored data is copied as it is).
    uint64_t unpackedBytes() const { return std::max(originalSize, compressedSize); }
};

// The files of the archive at path. Throws ArchiveFormatError (Archiver.h), its message in
// Chinese, when the file is not an ARJ archive, is cut short or damaged, or holds a member
// the archiver must not be given: a name with a path or a backslash, an empty name, "." or
// "..", two members whose names differ only in case, an encrypted member or a member of a
// multi-volume archive. Throws ArchiverError when the file cannot be read.
std::vector<ArjMember> listArjMembers(const std::filesystem::path& path);

// The most bytes one member may unpack to: 2 GiB. The largest file of a real package is its
// main file, about 8 KB a record with three long texts of 2 KB (794 MB for 100,000 records);
// this is more than twice that, and far below the 4 GiB that an ARJ header can declare.
constexpr uint64_t kMemberSizeLimit = uint64_t(2) << 30;
// What the disk of the unpack folder keeps free beyond the unpacked members: the system and
// the programs running beside need room of their own.
constexpr uint64_t kFreeSpaceMargin = uint64_t(16) << 20;

// Refuses, with ArchiveFormatError naming the member, an archive (named archiveName in the
// message) that holds a member whose name is none of allowed, compared without regard to
// ASCII case: the files that the kind of package can hold.
void checkMemberNames(const std::string& archiveName, const std::vector<ArjMember>& members,
                      const std::vector<std::string>& allowed);

// Refuses an archive whose members would unpack to more than the disk of folder can take:
// ArchiveFormatError for a member over kMemberSizeLimit, ArchiverError when all of them with
// kFreeSpaceMargin need more than available bytes. The message names the size and the reason.
void checkMemberSizes(const std::string& archiveName, const std::vector<ArjMember>& members,
                      const std::filesystem::path& folder, uint64_t available);

}  // namespace exchange

#pragma once

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
};

// The files of the archive at path. Throws ArchiveFormatError (Archiver.h), its message in
// Chinese, when the file is not an ARJ archive, is cut short or damaged, or holds a member
// the archiver must not be given: a name with a path or a backslash, an empty name, "." or
// "..", two members whose names differ only in case, an encrypted member or a member of a
// multi-volume archive. Throws ArchiverError when the file cannot be read.
std::vector<ArjMember> listArjMembers(const std::filesystem::path& path);

}  // namespace exchange

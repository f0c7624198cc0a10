#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FileIo.h"

namespace store {

// The rollback journal of a data directory: a unit of writes to several files of the
// directory reaches the disk whole or not at all, across a crash or a power cut.
//
// The files of a unit hold their writes in memory (BufferedFile). Writing them out first puts
// the bytes they will overwrite and the sizes they had into "velmora.journal" beside them and
// syncs it; only then are the files written, and synced. The unit ends by removing the
// journal. A journal that a unit left behind (the process died, the power went) is rolled back
// by recover(), which every open of a table file runs first: the old bytes go back and the
// files are cut to their old sizes. A journal locked by its writer is never touched.
class Journal {
public:
    static constexpr const char* kFileName = "velmora.journal";

    // A file of the directory taking part in a unit.
    struct Member {
        std::string name;  // the file's name in the directory
        BufferedFile* file;
    };

    explicit Journal(std::string directory);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Writes out what the members hold: their old bytes to the journal, synced, then the new
    // ones to the files, synced. The unit goes on; the bytes it has saved are not saved again.
    void writeOut(const std::vector<Member>& members);
    // Ends the unit keeping its changes: writes out what is held, then removes the journal.
    void commit(const std::vector<Member>& members);
    // Ends the unit dropping its changes: forgets what is held and puts back what was written.
    void rollback(const std::vector<Member>& members);

    // Rolls back the journal a unit left in directory, if any; true when there was one. Throws
    // EngineError when a file it must restore is in use or cannot be written.
    static bool recover(const std::string& directory);

private:
    struct FileState {
        uint32_t id = 0;
        uint64_t originalSize = 0;
        std::map<uint64_t, uint64_t> saved;  // ranges whose old bytes are in the journal
    };
    void save(FileState& state, BufferedFile& file, uint64_t from, uint64_t to,
              std::string& records);
    void finish();
    // Puts back the old bytes journal holds into the files that fileNamed gives (nullptr: the
    // file is gone) and cuts them to their old sizes; false when journal holds no unit.
    static bool restore(FileIo& journal,
                        const std::function<FileIo*(const std::string&)>& fileNamed);

    std::string m_directory;
    std::string m_path;
    std::unique_ptr<PosixFile> m_journal;  // open, and locked, once the unit has written out
    uint64_t m_nonce = 0;
    uint64_t m_end = 0;
    std::map<std::string, FileState> m_files;
};

}  // namespace store

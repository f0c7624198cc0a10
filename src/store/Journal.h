#pragma once

#include <cstdint>
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
// the bytes they will overwrite into "velmora.journal" beside them, with what the unit is
// about to write and which files it writes; only then are the files written, and synced. A
// long unit writes out several times: each later write-out adds a file of its own
// ("velmora.journal.2", ...). A journal file appears under its name only once it is whole on
// disk, so a journal that is there but cannot be read has been damaged. The unit ends by
// removing its journal.
//
// A journal that a unit left behind (the process died, the power went) is rolled back by
// recover(), which every open of a table file runs first: the old bytes go back and the files
// are cut to their old sizes. That happens only when every file is provably in a state the
// unit could have left: the very file the unit wrote (device and inode), in the same
// directory, of a size the unit could have given it, and every block the unit saved holding
// either its old bytes or bytes the unit wrote there. A journal that fails this check, cannot
// be read, or was written by an earlier version of the program is never applied: it is set
// aside (renamed, never deleted), the tables stay as they are, and a notice says so once
// (takeNotices()). A journal locked by its writer is never touched.
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

    // Rolls back the journal a unit left in directory, if any; true when it did. A journal
    // that must not be applied is set aside with a notice, and false is returned. Throws
    // EngineError when a file it must restore is in use or cannot be written, or when a journal
    // to set aside cannot be renamed.
    static bool recover(const std::string& directory);

    // The name under which the journal's write-out number batch (from 1) lies in directory.
    static std::string batchPath(const std::string& directory, uint32_t batch);

private:
    struct FileState {
        uint32_t id = 0;
        uint64_t originalSize = 0;
        std::map<uint64_t, uint64_t> saved;  // ranges whose old bytes are in the journal
    };
    struct RecordWriter;
    // Saves the old bytes of [from, to) that are not saved yet.
    static void save(FileState& state, BufferedFile& file, uint64_t from, uint64_t to,
                     RecordWriter& writer);
    std::unique_ptr<PosixFile> startBatch(uint32_t batch);
    void finish();

    std::string m_directory;
    std::unique_ptr<PosixFile> m_journal;  // open, and locked, once the unit has written out
    uint64_t m_nonce = 0;
    uint32_t m_batches = 0;  // write-outs on disk
    std::map<std::string, FileState> m_files;
};

}  // namespace store

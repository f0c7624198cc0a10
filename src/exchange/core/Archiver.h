#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Packing and unpacking of exchange packages by the outside archiver.
namespace exchange {

// The archiver could not be started, did not finish in time or failed; the message, in
// Chinese and naming the archive, is fit to show.
class ArchiverError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The archive is damaged or not an archive, or holds members that must not be unpacked; the
// message says what is wrong with it.
class ArchiveFormatError : public ArchiverError {
public:
    using ArchiverError::ArchiverError;
};

// The user cancelled the archiver.
class ArchiverCancelled : public ArchiverError {
public:
    using ArchiverError::ArchiverError;
};

class Archiver {
public:
    virtual ~Archiver() = default;

    // Adds files (bare names in folder, in this order) to folder/archiveName, creating it when
    // missing. Returns once the archive is complete; throws ArchiverError otherwise, leaving
    // no partial archive behind.
    virtual void pack(const std::filesystem::path& folder, const std::string& archiveName,
                      const std::vector<std::string>& files) = 0;
    // Unpacks the archive (an existing file) into folder, each member under its name in the
    // archive, replacing files of those names. members are the files the kind of package can
    // hold: an archive holding anything else (names compared without regard to case), or more
    // than the disk of folder can take, is refused before anything is unpacked. Returns once
    // done; otherwise throws ArchiveFormatError, ArchiverCancelled or ArchiverError, and
    // nothing of the archive is left in folder.
    virtual void extract(const std::filesystem::path& archive, const std::filesystem::path& folder,
                         const std::vector<std::string>& members) = 0;

    // The archiver in use: ArjArchiver unless a test installed another.
    static Archiver& instance();
    // Installs archiver (not owned); nullptr restores the default.
    static void install(Archiver* archiver);
};

// How a caller waits while the archiver runs. The windows' wait (ArchiverProgress) shows a
// modal progress with "取消"; with none installed the archiver blocks until its run ends.
class ArchiverWait {
public:
    virtual ~ArchiverWait() = default;
    // Waits, showing caption, until finish() is called; false when the user cancelled first.
    // A wait that returns before finish() without a cancel leaves the rest of the waiting to
    // the archiver.
    virtual bool wait(const std::string& caption) = 0;
    // Ends the wait: the run has ended or its time is up.
    virtual void finish() = 0;

    // The wait in use, or nullptr.
    static ArchiverWait* installed();
    // Installs wait (not owned); nullptr for none.
    static void install(ArchiverWait* wait);
};

// Debian's arj, found in the program's folder first and then on the search path, run with
// "-+" (ignore ARJ_SW) and "-y" (answer yes to every question) and its standard input closed.
// A run that does not end at once is waited for through the installed ArchiverWait, and it is
// ended after timeout. An archive is listed before it is unpacked (listArjMembers,
// checkMemberNames, checkMemberSizes) and unpacked into an UnpackFolder inside the target
// folder, from which its regular files are moved.
class ArjArchiver : public Archiver {
public:
    explicit ArjArchiver(std::chrono::milliseconds timeout = std::chrono::minutes(2));

    void pack(const std::filesystem::path& folder, const std::string& archiveName,
              const std::vector<std::string>& files) override;
    void extract(const std::filesystem::path& archive, const std::filesystem::path& folder,
                 const std::vector<std::string>& members) override;

    // The program to run; empty (the default) means the search described above.
    void setProgram(std::string program) { m_program = std::move(program); }
    std::string program() const;

private:
    enum class Ending { Finished, Cancelled, TimedOut };
    struct Outcome {
        Ending ending;
        bool crashed;
        int exitCode;
    };
    // Runs the archiver in folder, showing caption while it runs.
    Outcome run(const std::filesystem::path& folder, const std::vector<std::string>& arguments,
                const std::string& caption);
    // Throws the error of a run in folder that did not succeed; action is "打包" or "解压".
    [[noreturn]] void throwFailure(const Outcome& outcome, const std::string& action,
                                   const std::string& archiveName,
                                   const std::filesystem::path& folder) const;
    std::chrono::milliseconds m_timeout;
    std::string m_program;
};

// A folder of its own for what is unpacked: made fresh (readable by the user only) in the
// user's temporary space or in parent, and removed with everything in it when this goes,
// whatever the bytes of the names in it.
class UnpackFolder {
public:
    // Throws ArchiverError when the folder cannot be made.
    UnpackFolder();
    explicit UnpackFolder(const std::filesystem::path& parent);
    ~UnpackFolder();
    UnpackFolder(const UnpackFolder&) = delete;
    UnpackFolder& operator=(const UnpackFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// The file in folder whose name equals name without regard to ASCII case (the exact name
// first), or nullopt when there is none.
std::optional<std::filesystem::path> findIgnoringCase(const std::filesystem::path& folder,
                                                      const std::string& name);

// Removes every file in folder whose name equals name without regard to ASCII case. Throws
// ExchangeIoError when one cannot be removed.
void removeIgnoringCase(const std::filesystem::path& folder, const std::string& name);

// Removes the file at path where present. Throws ExchangeIoError when it cannot.
void removeFile(const std::filesystem::path& path);

// Renames from to to, replacing to. Throws ExchangeIoError when it cannot.
void moveFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Copies source to target (created or truncated) byte for byte and makes it durable; returns
// the bytes written. Throws ExchangeIoError when a file cannot be opened or written.
uintmax_t copyFile(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace exchange

#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Packing and unpacking of exchange packages by the outside archiver.
namespace exchange {

// The archiver could not be started, did not finish in time or failed; the message says which
// and is fit to show.
class ArchiverError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Archiver {
public:
    virtual ~Archiver() = default;

    // Adds files (bare names in folder, in this order) to folder/archiveName, creating it when
    // missing. Returns once the archive is complete; throws ArchiverError otherwise, leaving
    // no partial archive behind.
    virtual void pack(const std::filesystem::path& folder, const std::string& archiveName,
                      const std::vector<std::string>& files) = 0;
    // Extracts every file of folder/archiveName (the exact name of an existing file) into
    // folder, without paths, overwriting files of the same names. Returns once done; throws
    // ArchiverError otherwise, removing the files it had begun to write.
    virtual void extract(const std::filesystem::path& folder, const std::string& archiveName) = 0;

    // The archiver in use: ArjArchiver unless a test installed another.
    static Archiver& instance();
    // Installs archiver (not owned); nullptr restores the default.
    static void install(Archiver* archiver);
};

// Debian's arj, found in the program's folder first and then on the search path, run in the
// package's folder with "-+" (ignore ARJ_SW) and "-y" (answer yes to every question), its
// standard input closed, waited for within timeout and required to exit with status 0.
class ArjArchiver : public Archiver {
public:
    explicit ArjArchiver(std::chrono::milliseconds timeout = std::chrono::minutes(2));

    void pack(const std::filesystem::path& folder, const std::string& archiveName,
              const std::vector<std::string>& files) override;
    void extract(const std::filesystem::path& folder, const std::string& archiveName) override;

    // The program to run; empty (the default) means the search described above.
    void setProgram(std::string program) { m_program = std::move(program); }
    std::string program() const;

private:
    void run(const std::filesystem::path& folder, const std::vector<std::string>& arguments);
    std::chrono::milliseconds m_timeout;
    std::string m_program;
};

// The file in folder whose name equals name without regard to ASCII case (the exact name
// first), or nullopt when there is none.
std::optional<std::filesystem::path> findIgnoringCase(const std::filesystem::path& folder,
                                                      const std::string& name);

// Removes every file in folder whose name equals name without regard to ASCII case.
void removeIgnoringCase(const std::filesystem::path& folder, const std::string& name);

}  // namespace exchange

#include "Archiver.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <map>
#include <system_error>

#include "Text.h"

namespace exchange {

namespace fs = std::filesystem;

namespace {

Archiver* g_installed = nullptr;

struct FileStamp {
    uintmax_t size = 0;
    fs::file_time_type modified;
    bool operator==(const FileStamp&) const = default;
};

// The regular files of folder with their size and time, to tell afterwards what a failed run
// created or rewrote.
std::map<std::string, FileStamp> snapshot(const fs::path& folder) {
    std::map<std::string, FileStamp> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored)) {
            files[entry.path().filename().string()] = {entry.file_size(ignored),
                                                       entry.last_write_time(ignored)};
        }
    }
    return files;
}

void removeChangedSince(const fs::path& folder, const std::map<std::string, FileStamp>& before) {
    for (const auto& [name, stamp] : snapshot(folder)) {
        const auto old = before.find(name);
        if (old == before.end() || !(old->second == stamp)) {
            std::error_code ignored;
            fs::remove(folder / name, ignored);
        }
    }
}

QString qtText(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

Archiver& Archiver::instance() {
    static ArjArchiver arj;
    return g_installed != nullptr ? *g_installed : arj;
}

void Archiver::install(Archiver* archiver) {
    g_installed = archiver;
}

ArjArchiver::ArjArchiver(std::chrono::milliseconds timeout) : m_timeout(timeout) {}

std::string ArjArchiver::program() const {
    if (!m_program.empty()) {
        return m_program;
    }
    if (QCoreApplication::instance() != nullptr) {
        const QFileInfo beside(QCoreApplication::applicationDirPath() + QStringLiteral("/arj"));
        if (beside.isFile() && beside.isExecutable()) {
            return beside.absoluteFilePath().toStdString();
        }
    }
    return QStandardPaths::findExecutable(QStringLiteral("arj")).toStdString();
}

void ArjArchiver::pack(const fs::path& folder, const std::string& archiveName,
                       const std::vector<std::string>& files) {
    std::vector<std::string> arguments = {"a", "-+", "-y", "--", archiveName};
    arguments.insert(arguments.end(), files.begin(), files.end());
    run(folder, arguments);
}

void ArjArchiver::extract(const fs::path& folder, const std::string& archiveName) {
    run(folder, {"e", "-+", "-y", "--", archiveName});
}

void ArjArchiver::run(const fs::path& folder, const std::vector<std::string>& arguments) {
    const std::string executable = program();
    if (executable.empty()) {
        throw ArchiverError("The archiver program \"arj\" was not found");
    }
    QStringList args;
    for (const std::string& argument : arguments) {
        args << qtText(argument);
    }
    const auto before = snapshot(folder);
    QProcess process;
    process.setProgram(qtText(executable));
    process.setArguments(args);
    process.setWorkingDirectory(qtText(folder.string()));
    // arj asks its questions on standard input; with -y it has none, and a closed input makes
    // sure a question it still asks fails instead of blocking.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForStarted()) {
        throw ArchiverError("The archiver \"" + executable +
                            "\" could not be started: " + process.errorString().toStdString());
    }
    const bool finished = process.waitForFinished(static_cast<int>(m_timeout.count()));
    if (!finished) {
        process.kill();
        process.waitForFinished();
        removeChangedSince(folder, before);
        throw ArchiverError("The archiver did not finish within " +
                            std::to_string(m_timeout.count() / 1000) + " seconds");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        removeChangedSince(folder, before);
        const QString output = QString::fromLocal8Bit(process.readAll()).trimmed();
        const QString lastLine = output.section(QLatin1Char('\n'), -1).trimmed();
        std::string message =
            process.exitStatus() == QProcess::NormalExit
                ? "The archiver failed (exit status " + std::to_string(process.exitCode()) + ")"
                : std::string("The archiver crashed");
        if (!lastLine.isEmpty()) {
            message += ": " + lastLine.toStdString();
        }
        throw ArchiverError(message);
    }
}

std::optional<fs::path> findIgnoringCase(const fs::path& folder, const std::string& name) {
    std::error_code error;
    if (fs::is_regular_file(folder / name, error)) {
        return folder / name;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) &&
            store::text::equalsIgnoringCase(entry.path().filename().string(), name)) {
            return entry.path();
        }
    }
    return std::nullopt;
}

void removeIgnoringCase(const fs::path& folder, const std::string& name) {
    std::error_code error;
    std::vector<fs::path> doomed;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (store::text::equalsIgnoringCase(entry.path().filename().string(), name)) {
            doomed.push_back(entry.path());
        }
    }
    for (const fs::path& path : doomed) {
        fs::remove(path);  // throws filesystem_error when the file cannot be removed
    }
}

}  // namespace exchange

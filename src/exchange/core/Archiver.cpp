#include "Archiver.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <map>
#include <system_error>

#include "ArjListing.h"
#include "ExchangeTextFile.h"
#include "Text.h"

namespace exchange {

namespace fs = std::filesystem;

namespace {

Archiver* g_installed = nullptr;
ArchiverWait* g_wait = nullptr;

// arj's exit statuses that mean the archive itself is at fault: a fatal error (among them an
// unexpected end of the file), a CRC error, not an ARJ archive.
constexpr int kFatalStatus = 2;
constexpr int kCrcStatus = 3;
constexpr int kNotArjStatus = 9;
// Its exit status when a file cannot be written: a full disk ("Disk full?").
constexpr int kDiskFullStatus = 5;

// Milliseconds the archiver may take before its progress is shown.
constexpr int kQuietWait = 250;

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

std::string quoted(const std::string& name) {
    return "“" + name + "”";
}

std::string seconds(std::chrono::milliseconds timeout) {
    return std::to_string(std::max<long long>(1, timeout.count() / 1000));
}

}  // namespace

Archiver& Archiver::instance() {
    static ArjArchiver arj;
    return g_installed != nullptr ? *g_installed : arj;
}

void Archiver::install(Archiver* archiver) {
    g_installed = archiver;
}

ArchiverWait* ArchiverWait::installed() {
    return g_wait;
}

void ArchiverWait::install(ArchiverWait* wait) {
    g_wait = wait;
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
    for (const std::string& file : files) {
        std::error_code ignored;
        if (!fs::is_regular_file(folder / file, ignored)) {
            throw ArchiverError("找不到要打包的文件" + quoted(file) + "。");
        }
    }
    std::vector<std::string> arguments = {"a", "-+", "-y", "--", archiveName};
    arguments.insert(arguments.end(), files.begin(), files.end());
    const auto before = snapshot(folder);
    const Outcome outcome = run(folder, arguments, "正在打包" + quoted(archiveName) + "……");
    if (outcome.ending == Ending::Finished && !outcome.crashed && outcome.exitCode == 0) {
        return;
    }
    removeChangedSince(folder, before);
    throwFailure(outcome, "打包", archiveName, folder);
}

void ArjArchiver::extract(const fs::path& archive, const fs::path& folder,
                          const std::vector<std::string>& members) {
    const fs::path source = fs::absolute(archive);
    const std::string archiveName = source.filename().string();
    std::error_code error;
    if (!fs::is_regular_file(source, error)) {
        throw ArchiverError("找不到文件" + quoted(archiveName) + "。");
    }
    // A damaged or hostile archive, or one that the disk cannot take, is refused before arj
    // sees it.
    const std::vector<ArjMember> listed = listArjMembers(source);
    checkMemberNames(archiveName, listed, members);
    const fs::space_info space = fs::space(folder, error);
    checkMemberSizes(archiveName, listed, folder,
                     error ? std::numeric_limits<uint64_t>::max() : space.available);

    // Whatever the archiver writes goes into a folder of its own, removed with everything in
    // it when this returns: only complete members leave it.
    const UnpackFolder scratch(folder);
    const Outcome outcome = run(scratch.path(), {"e", "-+", "-y", "--", source.string()},
                                "正在解压" + quoted(archiveName) + "……");
    if (outcome.ending == Ending::Finished &&
        (outcome.crashed || outcome.exitCode == kFatalStatus || outcome.exitCode == kCrcStatus ||
         outcome.exitCode == kNotArjStatus)) {
        throw ArchiveFormatError(quoted(archiveName) + "已损坏，无法完整解压。");
    }
    if (outcome.ending != Ending::Finished || outcome.exitCode != 0) {
        throwFailure(outcome, "解压", archiveName, folder);
    }

    std::vector<fs::path> taken;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch.path(), error)) {
        std::error_code ignored;
        if (!entry.is_regular_file(ignored) || entry.is_symlink(ignored)) {
            continue;
        }
        const std::string name = entry.path().filename().string();
        for (const std::string& wanted : members) {
            if (store::text::equalsIgnoringCase(name, wanted)) {
                taken.push_back(entry.path());
            }
        }
    }
    for (const fs::path& file : taken) {
        const std::string name = file.filename().string();
        removeIgnoringCase(folder, name);
        moveFile(file, folder / name);
    }
}

void ArjArchiver::throwFailure(const Outcome& outcome, const std::string& action,
                               const std::string& archiveName, const fs::path& folder) const {
    switch (outcome.ending) {
        case Ending::Cancelled:
            throw ArchiverCancelled("已取消" + action + quoted(archiveName) + "。");
        case Ending::TimedOut:
            throw ArchiverError(action + quoted(archiveName) + "超过" + seconds(m_timeout) +
                                "秒仍未完成，已中止。");
        case Ending::Finished:
            break;
    }
    if (!outcome.crashed && outcome.exitCode == kDiskFullStatus) {
        throw ArchiverError(action + quoted(archiveName) + "失败：文件夹" +
                            quoted(folder.string()) +
                            "所在的磁盘已满（或无法写入）。请腾出磁盘空间后再试。");
    }
    throw ArchiverError(action + quoted(archiveName) + "失败（" +
                        (outcome.crashed ? std::string("arj异常终止")
                                         : "arj的退出状态为" + std::to_string(outcome.exitCode)) +
                        "）。");
}

ArjArchiver::Outcome ArjArchiver::run(const fs::path& folder,
                                      const std::vector<std::string>& arguments,
                                      const std::string& caption) {
    const std::string executable = program();
    if (executable.empty()) {
        throw ArchiverError("找不到压缩程序“arj”。");
    }
    QStringList args;
    for (const std::string& argument : arguments) {
        args << qtText(argument);
    }
    QProcess process;
    process.setProgram(qtText(executable));
    process.setArguments(args);
    process.setWorkingDirectory(qtText(folder.string()));
    // arj asks its questions on standard input; with -y it has none, and a closed input makes
    // sure a question it still asks fails instead of blocking.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that ending it also ends what it started (an archiver run
    // through a script, say).
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    QElapsedTimer clock;
    clock.start();
    process.start();
    if (!process.waitForStarted()) {
        throw ArchiverError("无法启动压缩程序" + quoted(executable) + "。");
    }

    // A quick run is over before a window could be read: the wait is shown only after that.
    process.waitForFinished(static_cast<int>(std::min<qint64>(kQuietWait, m_timeout.count())));
    bool cancelled = false;
    bool timedOut = false;
    ArchiverWait* wait = ArchiverWait::installed();
    if (wait != nullptr && process.state() != QProcess::NotRunning) {
        QTimer bound;
        bound.setSingleShot(true);
        QObject::connect(&process, &QProcess::finished, &bound, [wait] { wait->finish(); });
        QObject::connect(&bound, &QTimer::timeout, [wait, &timedOut] {
            timedOut = true;
            wait->finish();
        });
        bound.start(static_cast<int>(std::max<qint64>(0, m_timeout.count() - clock.elapsed())));
        cancelled = !wait->wait(caption);
    }
    if (process.state() != QProcess::NotRunning && !cancelled && !timedOut) {
        // No wait, or one that ended without the process ending (a dialogs seam that does not
        // block): the process is still given the rest of its time.
        const qint64 left = std::max<qint64>(0, m_timeout.count() - clock.elapsed());
        timedOut = !process.waitForFinished(static_cast<int>(left));
    }
    if (cancelled || timedOut) {
        ::kill(-static_cast<pid_t>(process.processId()), SIGKILL);
        process.kill();
        process.waitForFinished();
        return {cancelled ? Ending::Cancelled : Ending::TimedOut, false, -1};
    }
    return {Ending::Finished, process.exitStatus() != QProcess::NormalExit, process.exitCode()};
}

UnpackFolder::UnpackFolder()
    : UnpackFolder([] {
          std::error_code error;
          const fs::path temporary = fs::temp_directory_path(error);
          return error ? fs::path("/tmp") : temporary;
      }()) {}

UnpackFolder::UnpackFolder(const fs::path& parent) {
    std::string pattern = (parent / ".velmora-unpack-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw ArchiverError(fileErrorText("无法建立解压用的文件夹", pattern, errno));
    }
    m_path = pattern;
}

UnpackFolder::~UnpackFolder() {
    // By the bytes of the names: a name that is no valid text is removed like any other.
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
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
        removeFile(path);
    }
}

void removeFile(const fs::path& path) {
    std::error_code failed;
    if (!fs::remove(path, failed) && failed) {
        throw ExchangeIoError(fileErrorText("无法删除文件", path.string(), failed.value()));
    }
}

void moveFile(const fs::path& from, const fs::path& to) {
    std::error_code failed;
    fs::rename(from, to, failed);
    if (failed) {
        throw ExchangeIoError(fileErrorText("无法改名文件", from.string(), failed.value()));
    }
}

uintmax_t copyFile(const fs::path& source, const fs::path& target) {
    std::FILE* in = std::fopen(source.c_str(), "rb");
    if (in == nullptr) {
        throw ExchangeIoError(fileErrorText("无法打开文件", source.string(), errno));
    }
    std::FILE* out = std::fopen(target.c_str(), "wb");
    if (out == nullptr) {
        std::fclose(in);
        throw ExchangeIoError(fileErrorText("无法建立文件", target.string(), errno));
    }
    uintmax_t copied = 0;
    char buffer[65536];
    bool failed = false;
    while (size_t n = std::fread(buffer, 1, sizeof buffer, in)) {
        if (std::fwrite(buffer, 1, n, out) != n) {
            failed = true;
            break;
        }
        copied += n;
    }
    failed = failed || std::ferror(in) != 0 || std::fflush(out) != 0 || ::fsync(fileno(out)) != 0;
    std::fclose(in);
    if (std::fclose(out) != 0 || failed) {
        throw ExchangeIoError(fileErrorText("无法写入文件", target.string(), errno));
    }
    return copied;
}

}  // namespace exchange

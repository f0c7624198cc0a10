#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "Archiver.h"
#include "GbkCodec.h"
#include "Text.h"

namespace testsupport {

// The records of a GBK exchange file, as UTF-8 lines without their CR LF.
inline QStringList fileLines(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string gbk{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    QStringList lines =
        QString::fromStdString(store::GbkCodec::decode(gbk)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

// Stands in for the archiver while it lives. Packing notes what it was asked to pack (the
// files' lines as they were at that moment) and, like arj, adds to the archive; unpacking
// copies the files of the folder contents that the kind of package can hold (the real one
// refuses a package with others). Either fails with error when it is set.
class FakeArchiver : public exchange::Archiver {
public:
    FakeArchiver() { install(this); }
    ~FakeArchiver() override { install(nullptr); }
    FakeArchiver(const FakeArchiver&) = delete;
    FakeArchiver& operator=(const FakeArchiver&) = delete;

    void pack(const std::filesystem::path& folder, const std::string& archiveName,
              const std::vector<std::string>& files) override {
        ++packCalls;
        packedIn = folder;
        archive = archiveName;
        packed = files;
        lines.clear();
        for (const std::string& file : files) {
            if (!std::filesystem::exists(folder / file)) {
                throw exchange::ArchiverError("missing " + file);
            }
            lines[file] = fileLines(folder / file);
        }
        if (!error.empty()) {
            throw exchange::ArchiverError(error);
        }
        std::ofstream(folder / archiveName, std::ios::app) << "packed";
    }
    void extract(const std::filesystem::path& archive, const std::filesystem::path& folder,
                 const std::vector<std::string>& members) override {
        extracted.push_back(archive.filename().string());
        unpackedInto = folder;
        if (!error.empty()) {
            throw exchange::ArchiverError(error);
        }
        if (contents.empty()) {
            return;
        }
        for (const auto& entry : std::filesystem::directory_iterator(contents)) {
            const std::string name = entry.path().filename().string();
            for (const std::string& member : members) {
                if (store::text::equalsIgnoringCase(name, member)) {
                    std::filesystem::copy_file(entry.path(), folder / name,
                                               std::filesystem::copy_options::overwrite_existing);
                }
            }
        }
    }

    std::filesystem::path contents;  // what a package holds
    std::string error;
    int packCalls = 0;
    std::filesystem::path packedIn;
    std::string archive;
    std::vector<std::string> packed;
    std::map<std::string, QStringList> lines;
    std::vector<std::string> extracted;
    std::filesystem::path unpackedInto;
};

}  // namespace testsupport

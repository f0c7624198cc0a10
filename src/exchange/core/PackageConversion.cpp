#include "PackageConversion.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Archiver.h"
#include "ExchangeTextFile.h"

namespace exchange {

namespace fs = std::filesystem;

namespace {

// Old name prefix, new name; the last one, the patents, may be missing.
constexpr std::pair<const char*, const char*> kNames[] = {{"HVEL", "HVEL.TXT"},
                                                          {"CGDW", "CGWCDW.TXT"},
                                                          {"CGWCR", "CGWCR.TXT"},
                                                          {"JDMD", "JDWYHMD.TXT"},
                                                          {"ZLQK", "ZLQK.TXT"}};

// Puts file at target through a copy beside it, so that target is at every moment either the
// file it was or the new one whole.
void placeFile(const fs::path& file, const fs::path& target) {
    const fs::path beside = target.parent_path() / ("." + target.filename().string() + ".new");
    try {
        copyFile(file, beside);
        moveFile(beside, target);
    } catch (...) {
        std::error_code ignored;
        fs::remove(beside, ignored);
        throw;
    }
}

}  // namespace

std::optional<QString> OldPackageCode(const QString& fileName) {
    const QString base = fileName.left(fileName.size() - 4);
    if (base.size() < 5 || base.size() > 7 ||
        !fileName.toUpper().endsWith(QStringLiteral(".ARJ")) ||
        !base.toUpper().startsWith(QStringLiteral("DOVA"))) {
        return std::nullopt;
    }
    return base.mid(4);
}

ConversionResult ConvertOldPackage(const fs::path& package, const QString& code) {
    auto oldName = [&code](const char* prefix) {
        return (QLatin1String(prefix) + code + QStringLiteral(".TXT")).toStdString();
    };
    // Such a package holds the old names; files under their new names count as present.
    std::vector<std::string> members;
    for (const auto& [prefix, newName] : kNames) {
        members.push_back(newName);
        members.push_back(oldName(prefix));
    }

    Archiver& archiver = Archiver::instance();
    const UnpackFolder unpacked;
    archiver.extract(package, unpacked.path(), members);
    const fs::path work = unpacked.path();
    // The archiver has finished: every file it was going to write is there, so one look at
    // the names suffices.
    std::vector<std::string> packed;
    for (const auto& [prefix, newName] : kNames) {
        const fs::path target = work / newName;
        if (auto old = findIgnoringCase(work, oldName(prefix))) {
            moveFile(*old, target);
        } else if (auto renamed = findIgnoringCase(work, newName)) {
            moveFile(*renamed, target);
        } else if (std::string_view(prefix) != "ZLQK") {
            return ConversionResult::FilesMissing;
        } else {
            continue;
        }
        packed.push_back(newName);
    }

    const std::string converted = "dovaqy.arj";
    archiver.pack(work, converted, packed);
    // A package left from before is replaced, not added to: it would keep files that this one
    // lacks.
    placeFile(work / converted, package.parent_path() / converted);
    return ConversionResult::Converted;
}

}  // namespace exchange

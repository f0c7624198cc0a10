#pragma once

#include <QString>
#include <filesystem>
#include <optional>

// The conversion of an old-style package "DOVA<code>.ARJ", whose files carry the sending
// unit's code in their names, into a package "dovaqy.arj" in the same folder.
namespace exchange {

// The unit code of an old-style package's file name: "DOVA" and a code of one to three
// characters, then ".ARJ", in any case. nullopt for any other name.
std::optional<QString> OldPackageCode(const QString& fileName);

enum class ConversionResult {
    Converted,
    // A required file is neither under its old name nor under its new one.
    FilesMissing,
};

// Unpacks package (its name accepted by OldPackageCode, code the code it gives), renames its
// files and packs them again, all in a folder of its own in the temporary space; only the new
// package goes into the package's folder, in place of one there. Throws ArchiverError when
// the archiver fails and ExchangeIoError when a file cannot be renamed or placed.
ConversionResult ConvertOldPackage(const std::filesystem::path& package, const QString& code);

}  // namespace exchange

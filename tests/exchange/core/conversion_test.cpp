// The conversion of an old-style package "DOVA<code>.ARJ" whose files carry the code, without
// windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include "FakeArchiver.h"
#include "PackageConversion.h"
#include "PackageFiles.h"
#include "ScratchFolder.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

struct NameCase {
    const char* label;
    const char* package;
    const char* code;  // null: the name is refused
};

class OldPackageNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(OldPackageNameTest, TheCodeIsOneToThreeCharactersAfterThePrefix) {
    const NameCase& c = GetParam();
    const std::optional<QString> code = exchange::OldPackageCode(QString::fromUtf8(c.package));
    if (c.code == nullptr) {
        EXPECT_EQ(code, std::nullopt);
    } else {
        EXPECT_EQ(code, QString::fromUtf8(c.code));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, OldPackageNameTest,
    ::testing::Values(NameCase{"one_digit", "DOVA1.ARJ", "1"},
                      NameCase{"two_digits", "DOVA12.ARJ", "12"},
                      NameCase{"three_digits_lower_case", "dova123.arj", "123"},
                      NameCase{"four_digits", "DOVA1234.ARJ", nullptr},
                      NameCase{"bare_prefix", "DOVA.ARJ", nullptr},
                      NameCase{"other_prefix", "DOVB12.ARJ", nullptr},
                      NameCase{"not_arj", "DOVA12.ZIP", nullptr}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

// An old-style package whose files (the stand-in archiver's contents) the test writes.
class ConversionTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_contents.path());
        m_archiver.contents = m_contents.path();
    }

    void writeOldPackage(const std::string& code, bool withPatents = true) {
        testsupport::writeOldPackage(m_contents.path(), code, withPatents);
    }

    exchange::ConversionResult convert(const char* code) {
        return exchange::ConvertOldPackage(package(), QString::fromUtf8(code));
    }

    fs::path package() const { return m_folder.path() / "DOVA7.ARJ"; }
    std::vector<std::string> folderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    ScratchFolder m_folder;
    ScratchFolder m_contents;
    FakeArchiver m_archiver;
};

TEST_F(ConversionTest, RenamesTheFilesAndPacksThemIntoTheFolder) {
    writeOldPackage("7");
    EXPECT_EQ(convert("7"), exchange::ConversionResult::Converted);
    EXPECT_EQ(m_archiver.extracted, std::vector<std::string>{"DOVA7.ARJ"});
    EXPECT_EQ(m_archiver.packed, (std::vector<std::string>{"HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT",
                                                           "JDWYHMD.TXT", "ZLQK.TXT"}));
    EXPECT_EQ(m_archiver.lines["CGWCDW.TXT"], QStringList{QStringLiteral("CGDW")});
    // Only the new package comes into the folder (the old one is the test's to keep).
    EXPECT_EQ(folderNames(), std::vector<std::string>{"dovaqy.arj"});
}

TEST_F(ConversionTest, APackageWithoutPatentsConvertsIntoFourFiles) {
    writeOldPackage("7", false);
    EXPECT_EQ(convert("7"), exchange::ConversionResult::Converted);
    EXPECT_EQ(m_archiver.packed,
              (std::vector<std::string>{"HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT", "JDWYHMD.TXT"}));
}

TEST_F(ConversionTest, FilesAlreadyUnderTheirNewNamesCountAsPresent) {
    writeOldPackage("7");
    fs::rename(m_contents.path() / "HVEL7.TXT", m_contents.path() / "HVEL.TXT");
    EXPECT_EQ(convert("7"), exchange::ConversionResult::Converted);
    EXPECT_EQ(m_archiver.packed.size(), 5u);
}

TEST_F(ConversionTest, FilesOfAnotherCodeAreNotTaken) {
    writeOldPackage("8");
    EXPECT_EQ(convert("7"), exchange::ConversionResult::FilesMissing);
}

TEST_F(ConversionTest, AMissingRequiredFileStopsBeforeRepacking) {
    writeOldPackage("7");
    fs::remove(m_contents.path() / "JDMD7.TXT");
    EXPECT_EQ(convert("7"), exchange::ConversionResult::FilesMissing);
    EXPECT_TRUE(m_archiver.packed.empty());
    EXPECT_TRUE(folderNames().empty());
}

TEST_F(ConversionTest, AFormerConvertedPackageIsReplacedNotAddedTo) {
    std::ofstream(m_folder.path() / "dovaqy.arj") << "old";
    writeOldPackage("7");
    EXPECT_EQ(convert("7"), exchange::ConversionResult::Converted);
    EXPECT_EQ(readFile(m_folder.path() / "dovaqy.arj"), "packed");
}

TEST_F(ConversionTest, AnArchiverFailureIsThrown) {
    writeOldPackage("7");
    m_archiver.error = "arj failed";
    EXPECT_THROW(convert("7"), exchange::ArchiverError);
    EXPECT_TRUE(folderNames().empty());
}

}  // namespace
}  // namespace testsupport

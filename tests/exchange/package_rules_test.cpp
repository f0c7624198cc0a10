// Packages from outside, through the windows and Debian's arj: each kind of package is unpacked
// only when every member is one that kind can hold and the sizes its headers declare fit;
// a refused package is refused before arj runs, with a message naming the member or the size,
// and nothing is unpacked or left behind. The unpacking goes into the temporary space, so a
// package on a read-only medium imports; a disk that fills while arj writes says so.
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include "ArjCrafting.h"
#include "CodeManage.h"
#include "GbkCodec.h"
#include "ImportFixture.h"
#include "SmallFileSystem.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

const std::vector<std::string> kExchangeFiles = {
    "HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT", "JDWYHMD.TXT", "ZLQK.TXT", "UNIT.TXT", "EXPERT.TXT"};

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string upper(std::string text) {
    for (char& c : text) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return text;
}

size_t entries(const fs::path& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// The import dialog and the code-table window over Debian's arj, run through a script that
// notes each start; the temporary space is a folder of the test's own.
class PackageTest : public ImportTest {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("TMPDIR")) {
            m_oldTemp = old;
        }
        ::setenv("TMPDIR", m_temp.path().toStdString().c_str(), 1);
        m_arj.setProgram(arjScript(""));
        open({}, {});
        exchange::Archiver::install(&m_arj);
        m_codes = std::make_unique<TFcodeManage>(*DM, m_form.get());
    }
    void TearDown() override {
        m_codes.reset();
        ImportTest::TearDown();
        if (m_oldTemp) {
            ::setenv("TMPDIR", m_oldTemp->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

    fs::path temp() const { return m_temp.path().toStdString(); }
    fs::path scripts() const { return m_scripts.path().toStdString(); }
    bool arjRan() const { return fs::exists(scripts() / "ran"); }

    // arj behind a script that notes its start and first runs before.
    std::string arjScript(const std::string& before) const {
        const fs::path path = scripts() / "arj.sh";
        std::ofstream(path) << "#!/bin/sh\ntouch " << (scripts() / "ran").string() << "\n"
                            << before << "\nexec arj \"$@\"\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    // Packs into folder/archive the given members (stored names, bytes), each with its file of
    // m_contents of that name in capitals where there is one, else a line of text.
    fs::path pack(const fs::path& folder, const std::string& archive,
                  const std::vector<std::string>& members) {
        const fs::path work = scripts() / "packing";
        fs::create_directories(work);
        std::vector<std::string> placeholders;
        std::map<std::string, std::string> renames;
        for (const std::string& member : members) {
            const std::string placeholder = "M" + std::to_string(placeholders.size()) + ".TXT";
            const fs::path source = m_contents / upper(member);
            std::ofstream(work / placeholder, std::ios::binary)
                << (fs::exists(source) ? readBytes(source) : std::string("01\t01\tx\r\n"));
            placeholders.push_back(placeholder);
            renames[placeholder] = member;
        }
        exchange::ArjArchiver().pack(work, "made.arj", placeholders);
        std::ofstream(folder / archive, std::ios::binary)
            << renameMembers(readBytes(work / "made.arj"), renames);
        fs::remove_all(work);
        return folder / archive;
    }

    exchange::ArjArchiver m_arj;
    std::unique_ptr<TFcodeManage> m_codes;
    QTemporaryDir m_temp;
    QTemporaryDir m_scripts;
    std::optional<std::string> m_oldTemp;
};

enum class Kind { Exchange, OldStyle, CodeTable };

struct MemberCase {
    const char* name;
    Kind kind;
    std::vector<std::string> members;
    // Null: the package is taken. Otherwise a text of the one message that refuses it.
    const char* refusal = nullptr;
    // The size the first member's header declares, when not its own.
    uint32_t declared = 0;
    // The temporary space is a file system of 8 MB.
    bool smallTemp = false;
};

void PrintTo(const MemberCase& c, std::ostream* os) {
    *os << c.name;
}

class MemberRuleTest : public PackageTest, public ::testing::WithParamInterface<MemberCase> {};

TEST_P(MemberRuleTest, APackageIsUnpackedOnlyWhenItsMembersFit) {
    const MemberCase& c = GetParam();
    std::optional<SmallFileSystem> small;
    if (c.smallTemp) {
        small.emplace(temp(), uint64_t(8) << 20);
        if (!small->mounted()) {
            GTEST_SKIP() << "this process may not mount a file system";
        }
    }
    writePackage(
        {{{"ITEM_4", "2023000001"}, {"ITEM_DQDM", "A01"}, {"ITEM_CGLB", "1"}, {"ITEM_3", "甲"}}});
    const char* archive = c.kind == Kind::Exchange   ? "dovaqy.arj"
                          : c.kind == Kind::OldStyle ? "DOVA7.ARJ"
                                                     : "DFJHXX.ARJ";
    const fs::path package = pack(m_packageDir, archive, c.members);
    if (c.declared != 0) {
        const std::string declared = declareSize(readBytes(package), c.members.front(), c.declared);
        std::ofstream(package, std::ios::binary | std::ios::trunc) << declared;
    }
    m_dialogs.fileNames.push_back(QString::fromStdString(package.string()));
    switch (c.kind) {
        case Kind::Exchange:
            m_formin->Button1Click();
            if (c.refusal == nullptr) {
                m_formin->Button3Click();
            }
            break;
        case Kind::OldStyle:
            m_formin->Label7Click();
            break;
        case Kind::CodeTable:
            m_codes->Button4Click();
            break;
    }

    const QStringList texts = boxTexts();
    ASSERT_EQ(texts.size(), 1) << texts.join(QLatin1Char('|')).toStdString();
    size_t left = 1;
    if (c.refusal != nullptr) {
        EXPECT_TRUE(texts[0].contains(QString::fromUtf8(c.refusal))) << texts[0].toStdString();
        EXPECT_FALSE(arjRan());
        EXPECT_TRUE(rows("hveltemp.DBF").empty());
    } else if (c.kind == Kind::Exchange) {
        EXPECT_EQ(texts[0], QStringLiteral("导入完毕！"));
        EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"甲"});
    } else if (c.kind == Kind::OldStyle) {
        EXPECT_TRUE(texts[0].startsWith(QStringLiteral("你已改名成功!"))) << texts[0].toStdString();
        EXPECT_TRUE(fs::exists(m_packageDir / "dovaqy.arj"));
        left = 2;
    } else {
        EXPECT_EQ(texts[0], QStringLiteral("导入更新成功！"));
    }
    // Nothing of the package is left in the temporary space or beside it.
    EXPECT_EQ(entries(temp()), 0u);
    EXPECT_EQ(entries(m_packageDir), left);
}

const std::vector<std::string> kOldStyleFiles = {"HVEL7.TXT", "CGDW7.TXT", "CGWCR7.TXT",
                                                 "JDMD7.TXT", "ZLQK7.TXT"};

std::vector<std::string> plus(std::vector<std::string> names, const std::string& more) {
    names.push_back(more);
    return names;
}

INSTANTIATE_TEST_SUITE_P(
    Packages, MemberRuleTest,
    ::testing::Values(
        MemberCase{"ExchangeSevenFiles", Kind::Exchange, kExchangeFiles},
        MemberCase{"ExchangeInOtherCase",
                   Kind::Exchange,
                   {"hvel.txt", "Cgwcdw.Txt", "cgwcr.TXT", "jdwyhmd.txt", "ZLQK.txt", "unit.txt"}},
        MemberCase{"OldStyleNames", Kind::OldStyle, kOldStyleFiles},
        // The conversion counts files already under their new names as present.
        MemberCase{"OldStyleInOtherCaseAndNewNames",
                   Kind::OldStyle,
                   {"hvel7.txt", "cgdw7.TXT", "CGWCR.TXT", "Jdmd7.Txt"}},
        MemberCase{"CodeTableFile", Kind::CodeTable, {"DFJHXX.TXT"}},
        MemberCase{"CodeTableInOtherCase", Kind::CodeTable, {"dfjhxx.txt"}},
        // Debian's arj spins on this name at full load until the two minutes are over.
        MemberCase{"DotTxt", Kind::Exchange, plus(kExchangeFiles, ".TXT"),
                   "“dovaqy.arj”中有不应有的文件“.TXT”，不予解压（这种包只能含有HVEL.TXT、"
                   "CGWCDW.TXT、CGWCR.TXT、JDWYHMD.TXT、ZLQK.TXT、UNIT.TXT、EXPERT.TXT）。"},
        MemberCase{"ExtraMember", Kind::Exchange, plus(kExchangeFiles, "EVIL.SH"),
                   "中有不应有的文件“EVIL.SH”"},
        MemberCase{"ACodeTableFileInAnExchangePackage", Kind::Exchange,
                   plus(kExchangeFiles, "DFJHXX.TXT"), "中有不应有的文件“DFJHXX.TXT”"},
        MemberCase{"OldStyleFileOfAnotherCode", Kind::OldStyle, plus(kOldStyleFiles, "HVEL8.TXT"),
                   "中有不应有的文件“HVEL8.TXT”"},
        MemberCase{"AnExchangeFileInACodeTablePackage",
                   Kind::CodeTable,
                   {"DFJHXX.TXT", "HVEL.TXT"},
                   "“DFJHXX.ARJ”中有不应有的文件“HVEL.TXT”，不予解压（这种包只能含有DFJHXX.TXT）"},
        MemberCase{"ANameThatIsNotUtf8", Kind::Exchange, plus(kExchangeFiles, "\xFF\xFE"),
                   "（字节 FF FE）”，不予解压"},
        MemberCase{"OverTheSizeLimit", Kind::Exchange, kExchangeFiles,
                   "中的文件“HVEL.TXT”解压后有3221225472字节（约3072 MB），超过了包中文件的上限"
                   "2147483648字节（约2048 MB），不予解压。",
                   3u << 30},
        MemberCase{"LargerThanTheFreeSpace", Kind::Exchange, kExchangeFiles,
                   "可用（解压后须留出16777216字节（约16 MB）），磁盘空间不足，无法解压。",
                   20u << 20, true}),
    [](const auto& info) { return std::string(info.param.name); });

// arj fails with a full disk: another program fills the temporary space while it runs.
TEST_F(PackageTest, ADiskThatFillsWhileArjUnpacksSaysItIsFull) {
    SmallFileSystem small(temp(), uint64_t(24) << 20);
    if (!small.mounted()) {
        GTEST_SKIP() << "this process may not mount a file system";
    }
    writePackage({{{"ITEM_4", "2023000001"}, {"ITEM_CGLB", "1"}, {"ITEM_3", "甲"}}});
    std::string text;
    while (text.size() < (size_t(2) << 20)) {
        text += std::to_string(text.size()) + "\t甲乙丙\r\n";
    }
    std::ofstream(m_contents / "HVEL.TXT", std::ios::binary) << *store::GbkCodec::encode(text);
    const fs::path package = pack(m_packageDir, "dovaqy.arj", kExchangeFiles);
    const fs::path filler = temp() / "filler";
    m_arj.setProgram(arjScript("dd if=/dev/zero of=" + filler.string() + " bs=65536 2>/dev/null"));
    m_dialogs.fileNames.push_back(QString::fromStdString(package.string()));
    m_formin->Button1Click();

    ASSERT_EQ(boxTexts().size(), 1);
    const QString text0 = boxTexts()[0];
    EXPECT_TRUE(text0.startsWith(QStringLiteral("解压“dovaqy.arj”失败：文件夹“")))
        << text0.toStdString();
    EXPECT_TRUE(
        text0.endsWith(QStringLiteral("所在的磁盘已满（或无法写入）。请腾出磁盘空间后再试。")))
        << text0.toStdString();
    EXPECT_TRUE(arjRan());
    EXPECT_FALSE(in->Button3->isEnabled());
    // Only what the other program wrote is left.
    EXPECT_EQ(entries(temp()), 1u);
    EXPECT_EQ(entries(m_packageDir), 1u);
}

// Only the packages' own folder is read-only: the import and the code-table update unpack into
// the temporary space.
TEST_F(PackageTest, PackagesOnAReadOnlyMediumAreImported) {
    const fs::path medium = scripts() / "medium";
    fs::create_directory(medium);
    SmallFileSystem small(medium, uint64_t(8) << 20);
    if (!small.mounted()) {
        GTEST_SKIP() << "this process may not mount a file system";
    }
    writePackage({{{"ITEM_4", "2023000001"}, {"ITEM_CGLB", "1"}, {"ITEM_3", "甲"}}});
    const fs::path exchangePackage = pack(medium, "dovaqy.arj", kExchangeFiles);
    const fs::path codePackage = pack(medium, "DFJHXX.ARJ", {"DFJHXX.TXT"});
    ASSERT_TRUE(small.makeReadOnly());

    m_dialogs.fileNames.push_back(QString::fromStdString(exchangePackage.string()));
    m_formin->Button1Click();
    m_formin->Button3Click();
    m_dialogs.fileNames.push_back(QString::fromStdString(codePackage.string()));
    m_codes->Button4Click();

    EXPECT_EQ(boxTexts(),
              (QStringList{QStringLiteral("导入完毕！"), QStringLiteral("导入更新成功！")}));
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"甲"});
    EXPECT_EQ(entries(medium), 2u);
    EXPECT_EQ(entries(temp()), 0u);
}

}  // namespace
}  // namespace testsupport

// The import dialog: choosing and unpacking a package, reading it into the staging tables,
// dropping staged records and leaving.
#include <QDialog>
#include <QTest>
#include <fstream>
#include <functional>
#include <iterator>
#include <string_view>

#include "ArjCrafting.h"
#include "ImportFixture.h"
#include "ui_Unit1.h"

namespace testsupport {
namespace {

class ImportDialogTest : public ImportTest {};

Row staged(const char* key, const char* type, const char* name) {
    return {{"ITEM_4", key},
            {"ITEM_DQDM", "A01"},
            {"ITEM_CGLB", type},
            {"ITEM_3", name},
            {"ITEM_9", "外地单位"}};
}

Row stagedPerson(const char* key, const char* name) {
    return {{"ITEM_4", key}, {"ITEM_DQDM", "A01"}, {"ITEM_187", "1"}, {"ITEM_180", name}};
}

TEST_F(ImportDialogTest, ReadsEveryFileOfThePackageIntoStagingAndCountsByType) {
    open();
    writePackage({staged("2023000001", "1", "甲"), staged("2023000002", "1", "乙"),
                  staged("2023000003", "3", "丙")},
                 {stagedPerson("2023000001", "张三")},
                 {{{"ITEM_4", "2023000001"}, {"ITEM_DQDM", "A01"}, {"PATENT_NO", "ZL1"}}});
    importPackage();

    EXPECT_EQ(rows("hveltemp.DBF").size(), 3u);
    EXPECT_EQ(column("cgwcrtemp.DBF", "ITEM_180"), std::vector<std::string>{"张三"});
    EXPECT_EQ(column("zlqktemp.DBF", "PATENT_NO"), std::vector<std::string>{"ZL1"});
    EXPECT_EQ(in->Label6->text(), QStringLiteral("记录条数:3条；"));
    // Type "3" is basic theory.
    EXPECT_EQ(in->Label2->text(), QStringLiteral("其中：应用技术2条，基础理论1条，软科学0条。"));
    EXPECT_EQ(m_formin->model().rowCount(), 3);
    EXPECT_EQ(boxTexts().last(), QStringLiteral("导入完毕！"));
    // The text files are gone from the package's folder; the buttons move on to the merge.
    EXPECT_FALSE(exchange::findIgnoringCase(m_packageDir, "HVEL.TXT"));
    EXPECT_FALSE(exchange::findIgnoringCase(m_packageDir, "UNIT.TXT"));
    EXPECT_FALSE(in->Button1->isEnabled());
    EXPECT_FALSE(in->Button3->isEnabled());
    EXPECT_TRUE(in->Button4->isEnabled());
    EXPECT_TRUE(in->Button7->isEnabled());
    EXPECT_TRUE(in->Button8->isEnabled());
}

TEST_F(ImportDialogTest, APackageOfTheRealArchiverIsUnpackedAndRead) {
    open();
    writePackage({staged("2023000001", "1", "甲")}, {stagedPerson("2023000001", "张三")});
    exchange::ArjArchiver arj;
    arj.pack(m_contents, "dovaqy.arj",
             {"HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT", "JDWYHMD.TXT", "ZLQK.TXT", "UNIT.TXT"});
    std::filesystem::rename(m_contents / "dovaqy.arj", m_packageDir / "dovaqy.arj");
    exchange::Archiver::install(&arj);
    m_dialogs.fileNames.push_back(packagePath());
    m_formin->Button1Click();
    m_formin->Button3Click();
    exchange::Archiver::install(&m_archiver);

    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"甲"});
    EXPECT_EQ(column("cgwcrtemp.DBF", "ITEM_180"), std::vector<std::string>{"张三"});
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("导入完毕！")});
    // The package's folder is only read.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_packageDir),
                            std::filesystem::directory_iterator()),
              1);
}

// Packages that are damaged or hostile, unpacked by Debian's arj through the dialog: the
// format message with what is wrong, nothing left in the package's folder but the package,
// and nothing staged.
struct BadPackageCase {
    const char* name;
    std::function<std::string(const std::string&)> fromSound;
    const char* detail;
};

void PrintTo(const BadPackageCase& c, std::ostream* os) {
    *os << c.name;
}

class BadPackageTest : public ImportTest, public ::testing::WithParamInterface<BadPackageCase> {
protected:
    static std::string readBytes(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_P(BadPackageTest, IsRefusedWithTheFormatMessage) {
    const BadPackageCase& c = GetParam();
    open();
    writePackage({staged("2023000001", "1", "甲")}, {stagedPerson("2023000001", "张三")});
    exchange::ArjArchiver arj;
    arj.pack(m_contents, "sound.arj",
             {"HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT", "JDWYHMD.TXT", "ZLQK.TXT", "UNIT.TXT"});
    std::ofstream(m_packageDir / "dovaqy.arj", std::ios::binary)
        << c.fromSound(readBytes(m_contents / "sound.arj"));
    exchange::Archiver::install(&arj);
    m_dialogs.fileNames.push_back(packagePath());
    m_formin->Button1Click();
    exchange::Archiver::install(&m_archiver);

    expectRefused(c.detail);
}

INSTANTIATE_TEST_SUITE_P(
    Packages, BadPackageTest,
    ::testing::Values(
        BadPackageCase{"Truncated",
                       [](const std::string& sound) { return sound.substr(0, sound.size() / 2); },
                       "“dovaqy.arj”不完整，文件在第"},
        BadPackageCase{"NotAnArchive",
                       [](const std::string&) { return std::string("HVEL\tnot packed\r\n"); },
                       "“dovaqy.arj”不是ARJ压缩文件。"},
        BadPackageCase{"DamagedData",
                       [](const std::string& sound) { return damageMember(sound, "HVEL.TXT"); },
                       "“dovaqy.arj”已损坏，无法完整解压。"},
        // Debian's arj would never end on this name.
        BadPackageCase{"MemberLeavingTheFolder",
                       [](const std::string& sound) {
                           return renameMembers(sound, {{"ZLQK.TXT", "..\\ZLQK.TXT"}});
                       },
                       "“dovaqy.arj”中的文件名“..\\ZLQK.TXT”含有路径或反斜杠，不予解压。"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImportDialogTest, RefusesAFileNotNamedAsAPackage) {
    open();
    m_dialogs.fileNames.push_back(packagePath("dovaqy.zip"));
    m_formin->Button1Click();

    ASSERT_EQ(m_dialogs.boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.boxes[0].text, QStringLiteral("请选择正确导入包,名字是DOVAQY.ARJ!"));
    EXPECT_EQ(m_dialogs.boxes[0].title, QStringLiteral("请注意！"));
    EXPECT_TRUE(m_archiver.extracted.empty());
    EXPECT_FALSE(in->Button3->isEnabled());
}

TEST_F(ImportDialogTest, UnpacksTheChosenFileUnderItsOwnName) {
    // Linux names are case-sensitive: a name that only ends in the package name is the file
    // that is unpacked.
    open();
    writePackage({staged("2023000001", "1", "甲")});
    importPackage("old-dovaqy.arj");

    EXPECT_EQ(m_archiver.extracted, std::vector<std::string>{"old-dovaqy.arj"});
    EXPECT_EQ(rows("hveltemp.DBF").size(), 1u);
}

TEST_F(ImportDialogTest, CancellingTheFileDialogClearsThePath) {
    open();
    in->Edit1->setText(QStringLiteral("x"));
    m_formin->Button1Click();
    EXPECT_TRUE(in->Edit1->text().isEmpty());
    EXPECT_TRUE(m_archiver.extracted.empty());
}

TEST_F(ImportDialogTest, AnArchiverFailureIsShownAndReadingStaysOff) {
    open();
    m_archiver.error = "arj failed";
    QFile(packagePath()).open(QIODevice::WriteOnly);
    m_dialogs.fileNames.push_back(packagePath());
    m_formin->Button1Click();

    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("arj failed")});
    EXPECT_FALSE(in->Button3->isEnabled());
}

TEST_F(ImportDialogTest, APackageMissingOneFileImportsTheOthersAndSaysWhichWasMissing) {
    open();
    writePackage({staged("2023000001", "1", "甲")}, {stagedPerson("2023000001", "张三")});
    std::filesystem::remove(m_contents / "ZLQK.TXT");
    importPackage();

    EXPECT_EQ(rows("hveltemp.DBF").size(), 1u);
    EXPECT_EQ(rows("cgwcrtemp.DBF").size(), 1u);
    EXPECT_EQ(boxTexts().last(), QStringLiteral("导入完毕！\n包中缺少文件：ZLQK.TXT。"));
}

TEST_F(ImportDialogTest, TwoMissingFilesAreAPackageOfTheWrongForm) {
    open();
    writePackage({staged("2023000001", "1", "甲")});
    std::filesystem::remove(m_contents / "ZLQK.TXT");
    std::filesystem::remove(m_contents / "CGWCR.TXT");
    importPackage();

    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("文件的格式不正确")});
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    // The user may read again once the files are there.
    EXPECT_TRUE(in->Button3->isEnabled());
}

TEST_F(ImportDialogTest, WithoutTheUnitStagingTableTheUnitFileIsSkipped) {
    for (const char* file : {"UNITtemp.dbf", "UNITtemp.dbt"}) {
        std::filesystem::remove(m_program.file(file));
    }
    open();
    writePackage({staged("2023000001", "1", "甲")});
    importPackage();
    EXPECT_EQ(rows("hveltemp.DBF").size(), 1u);
    EXPECT_EQ(boxTexts().last(), QStringLiteral("导入完毕！"));
}

TEST_F(ImportDialogTest, ReadingBeforeAnyPackageDoesNothing) {
    open();
    m_formin->Button3Click();
    EXPECT_TRUE(m_dialogs.boxes.empty());
}

// A file whose records cannot be stored: the format message with what is wrong on a second
// line, nothing staged, and the unpacked files gone from the package's folder.
struct DamagedFileCase {
    const char* name;
    const char* file;
    std::string line;  // GBK bytes of the file's one record
    const char* detail;
};

void PrintTo(const DamagedFileCase& c, std::ostream* os) {
    *os << c.name;
}

class DamagedFileTest : public ImportTest, public ::testing::WithParamInterface<DamagedFileCase> {};

TEST_P(DamagedFileTest, StagesNothingAndSaysWhatIsWrong) {
    const DamagedFileCase& c = GetParam();
    open();
    writePackage({staged("2023000001", "1", "甲")}, {stagedPerson("2023000001", "张三")});
    std::ofstream(m_contents / c.file, std::ios::binary) << c.line;
    importPackage();

    expectRefused(c.detail);
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
    EXPECT_FALSE(in->Panel4->isVisibleTo(m_formin.get()));
    EXPECT_EQ(m_formin->model().rowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFileTest,
    ::testing::Values(
        // A person's sequence number that is not a number.
        DamagedFileCase{"NotANumber", "CGWCR.TXT", "2023000001\tA01\tabc\tzhang\r\n",
                        "“CGWCR.TXT”第1行"},
        DamagedFileCase{"TooWideForItsField", "CGWCR.TXT",
                        "2023000001\tA01TOOLONG\t1\tx\t\t\t\t\t\t\t0\r\n", "“CGWCR.TXT”第1行"},
        DamagedFileCase{"NotGbk", "ZLQK.TXT", "2023000001\tA01\t1\t\xff\xff\t\t\t\r\n",
                        "“ZLQK.TXT”第1行，字段"}),
    [](const auto& info) { return std::string(info.param.name); });

// Packages may carry child rows of records they do not hold (other installations export every
// child row of the installation): the persons of a dropped record must not join a record of
// the next package with the same key, whether the record went at "排重" (true) or by "删除"
// (false).
class DroppedPackageTest : public ImportTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DroppedPackageTest, ChildRowsDoNotJoinTheNextPackage) {
    open({record("2024000001", "1", {{"ITEM_3", "已有的"}})});
    writePackage({staged("2023000001", "1", "已有的")},
                 {stagedPerson("2023000001", "张三"), stagedPerson("2023000002", "李四")},
                 {{{"ITEM_4", "2023000001"}, {"ITEM_DQDM", "A01"}, {"PATENT_NO", "ZL1"}}});
    importPackage();
    m_dialogs.answers = {widgets::Yes};
    if (GetParam()) {
        m_formin->Button4Click();
    } else {
        m_formin->Button7Click();
    }
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
    EXPECT_TRUE(rows("zlqktemp.DBF").empty());
    ASSERT_TRUE(in->Button1->isEnabled());

    // Another record of the sending installation: 李四 of the first package is its person too.
    writePackage({staged("2023000002", "2", "新的")}, {stagedPerson("2023000002", "王五")});
    importPackage();
    m_formin->Button6Click();
    const std::string key = findRow(m_program.file("hvel.DBF"), "ITEM_3", "新的")["ITEM_4"];
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_180"), std::vector<std::string>{"王五"});
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_4"), std::vector<std::string>{key});
    EXPECT_TRUE(rows("zlqk.DBF").empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, DroppedPackageTest, ::testing::Values(true, false),
                         [](const auto& info) {
                             return std::string(info.param ? "DuplicateCheck" : "Delete");
                         });

// Records of fewer or more columns than their table are read by the format's rules, and the
// user is told how many of each file there were; a main record left without its type stays
// staged when the others are stored.
TEST_F(ImportDialogTest, MalformedRecordsAreCountedAndNotStoredSilently) {
    open();
    writePackage({staged("2023000001", "1", "完好的")},
                 {stagedPerson("2023000001", "张三"), stagedPerson("2023000002", "李四")});
    // A main record cut after 40 columns, and a person with a column too many.
    std::string cut;
    for (int i = 0; i < 40; ++i) {
        cut += (i ? "\t" : "") + std::string(i == 20 ? "cut" : i == 22 ? "2023000002" : "");
    }
    std::ofstream(m_contents / "HVEL.TXT", std::ios::binary | std::ios::app) << cut << "\r\n";
    std::ofstream(m_contents / "CGWCR.TXT", std::ios::binary | std::ios::app)
        << "2023000002\tA01\t2\twang\t\t\t\t\t\t\t0\t1\r\n";
    importPackage();

    EXPECT_EQ(boxTexts().last(),
              QStringLiteral("导入完毕！\n"
                             "HVEL.TXT中有1条记录的列数少于表的字段数，缺少的字段为空。\n"
                             "CGWCR.TXT中有1条记录的列数多于表的字段数，多出的列未能照原样导入。"));
    EXPECT_EQ(rows("hveltemp.DBF").size(), 2u);

    m_formin->Button6Click();
    EXPECT_EQ(column("hvel.DBF", "ITEM_3"), std::vector<std::string>{"完好的"});
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"cut"});
    EXPECT_EQ(boxTexts().last(), QStringLiteral("入库未完成！1条记录未能入库，仍在导入列表中。\n"
                                                "“cut”：成果类别“”不是1、2或3，不能入库。"));
    EXPECT_TRUE(in->Button7->isEnabled());  // it can be dropped
}

TEST_F(ImportDialogTest, ImportingTwiceStagesBothPackages) {
    open();
    writePackage({staged("2023000001", "1", "甲")});
    importPackage();
    in->Button1->setEnabled(true);
    writePackage({staged("2023000002", "2", "乙")});
    importPackage();

    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), (std::vector<std::string>{"甲", "乙"}));
    // Type "2" is soft science.
    EXPECT_EQ(in->Label2->text(), QStringLiteral("其中：应用技术1条，基础理论0条，软科学1条。"));
}

TEST_F(ImportDialogTest, OpeningEmptiesTheStagingTables) {
    open();
    stage("hveltemp", {staged("2023000001", "1", "甲")});
    stage("cgwcrtemp", {stagedPerson("2023000001", "张三")});
    stage("UNITtemp", {{{"unitcode", "1234567890"}}});
    m_formin->FormShow();

    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
    EXPECT_TRUE(rows("UNITtemp.dbf").empty());
    EXPECT_TRUE(in->Button1->isEnabled());
    EXPECT_FALSE(in->Button3->isEnabled());
    EXPECT_FALSE(in->Button7->isEnabled());
}

TEST_F(ImportDialogTest, DeletingAStagedRecordTakesItsStagedChildRows) {
    open();
    stage("hveltemp", {staged("2023000001", "1", "甲"), staged("2023000002", "1", "乙")});
    stage("cgwcrtemp", {stagedPerson("2023000001", "张三"), stagedPerson("2023000002", "李四")});
    m_formin->Button7Click();  // answered No by default
    EXPECT_EQ(rows("hveltemp.DBF").size(), 2u);

    in->Button7->setEnabled(true);
    DM->T_temp_in.first();
    m_dialogs.answers = {widgets::Yes};
    m_formin->Button7Click();
    EXPECT_EQ(m_dialogs.boxes.back().text, QStringLiteral("是否删除数据？"));
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"乙"});
    EXPECT_EQ(column("cgwcrtemp.DBF", "ITEM_180"), std::vector<std::string>{"李四"});
    EXPECT_TRUE(in->Button7->isEnabled());

    // The last one gone, a new package can be chosen and the merge buttons are off.
    m_dialogs.answers = {widgets::Yes};
    m_formin->Button7Click();
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_TRUE(in->Button1->isEnabled());
    EXPECT_FALSE(in->Button4->isEnabled());
    EXPECT_FALSE(in->Button7->isEnabled());
    EXPECT_FALSE(in->Button8->isEnabled());
    EXPECT_EQ(in->Label6->text(), QStringLiteral("记录条数:0条；"));
}

TEST_F(ImportDialogTest, LeavingOffersToStoreAndThenShowsTheStoredRecords) {
    open({record("2024000001", "1")});
    writePackage({staged("2019000007", "1", "甲")});
    importPackage();
    m_formin->Button4Click();
    ASSERT_TRUE(in->Button6->isEnabled());
    m_dialogs.answers = {widgets::Yes};
    m_formin->Button5Click();

    EXPECT_TRUE(boxTexts().contains(QStringLiteral("是否保存导入数据？")));
    EXPECT_EQ(rows("hvel.DBF").size(), 2u);
    // The year list is built after the store, so the imported year is there.
    EXPECT_TRUE(items(ui->cbYear).contains(QStringLiteral("2019")));
    EXPECT_TRUE(in->Button1->isEnabled());
    EXPECT_FALSE(in->Button6->isEnabled());
}

TEST_F(ImportDialogTest, TheMainWindowShowsTheDialogFromItsImportButton) {
    open();
    m_dialogs.onExec = [&](QDialog& dialog) {
        EXPECT_EQ(&dialog, m_formin.get());
        m_formin->Button5Click();
    };
    ui->BitBtn1->click();
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_formin->windowTitle(), QStringLiteral("数据导入"));
}

}  // namespace
}  // namespace testsupport

namespace testsupport {
namespace {

// The conversion of an old-style package "DOVA<code>.ARJ" whose files carry the code.
class ConvertTest : public ImportTest {
protected:
    void writeOldPackage(const std::string& code, bool withPatents = true) {
        for (const char* prefix : {"HVEL", "CGDW", "CGWCR", "JDMD", "ZLQK"}) {
            if (withPatents || std::string_view(prefix) != "ZLQK") {
                std::ofstream(m_contents / (prefix + code + ".TXT")) << prefix;
            }
        }
    }

    void convert(const char* name) {
        QFile(packagePath(name)).open(QIODevice::WriteOnly);
        m_dialogs.fileNames.push_back(packagePath(name));
        m_formin->Label7Click();
    }

    QString success() const {
        return QStringLiteral("你已改名成功!文件在") +
               QString::fromStdString(m_packageDir.string()) + QStringLiteral("/dovaqy.arj");
    }
};

struct NameCase {
    const char* label;
    const char* package;
    const char* code;  // null: the name is refused
};

class ConvertNameTest : public ConvertTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ConvertNameTest, TheCodeOfThePackageNameNamesItsFiles) {
    open();
    const NameCase& c = GetParam();
    writeOldPackage(c.code ? c.code : "1");
    convert(c.package);
    if (c.code == nullptr) {
        EXPECT_EQ(
            boxTexts(),
            QStringList{QStringLiteral("请选择正确文件,被改名的文件类似DOVAXXX.ARJ(XXX为数字)!")});
        EXPECT_TRUE(m_archiver.extracted.empty());
        return;
    }
    EXPECT_EQ(boxTexts(), QStringList{success()});
    EXPECT_EQ(m_archiver.packed, (std::vector<std::string>{"HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT",
                                                           "JDWYHMD.TXT", "ZLQK.TXT"}));
    EXPECT_TRUE(std::filesystem::exists(m_packageDir / "dovaqy.arj"));
    // Neither the old nor the new text files are left behind.
    EXPECT_FALSE(exchange::findIgnoringCase(m_packageDir, "HVEL.TXT"));
    EXPECT_FALSE(exchange::findIgnoringCase(m_packageDir, std::string("HVEL") + c.code + ".TXT"));
    EXPECT_EQ(m_formin->ImportFolder.toStdString(), m_packageDir.string() + "/");
}

INSTANTIATE_TEST_SUITE_P(
    Names, ConvertNameTest,
    ::testing::Values(NameCase{"one_digit", "DOVA1.ARJ", "1"},
                      NameCase{"two_digits", "DOVA12.ARJ", "12"},
                      NameCase{"three_digits_lower_case", "dova123.arj", "123"},
                      NameCase{"four_digits", "DOVA1234.ARJ", nullptr},
                      NameCase{"bare_prefix", "DOVA.ARJ", nullptr},
                      NameCase{"other_prefix", "DOVB12.ARJ", nullptr},
                      NameCase{"not_arj", "DOVA12.ZIP", nullptr}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

TEST_F(ConvertTest, ClickingTheLinkStartsTheConversion) {
    open();
    m_dialogs.fileNames.push_back(packagePath("other.arj"));
    QTest::mouseClick(in->Label7, Qt::LeftButton);
    EXPECT_EQ(
        boxTexts(),
        QStringList{QStringLiteral("请选择正确文件,被改名的文件类似DOVAXXX.ARJ(XXX为数字)!")});
}

TEST_F(ConvertTest, APackageWithoutPatentsConvertsIntoFourFiles) {
    open();
    writeOldPackage("7", false);
    convert("DOVA7.ARJ");
    EXPECT_EQ(m_archiver.packed,
              (std::vector<std::string>{"HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT", "JDWYHMD.TXT"}));
    EXPECT_EQ(boxTexts(), QStringList{success()});
}

TEST_F(ConvertTest, FilesAlreadyUnderTheirNewNamesCountAsPresent) {
    open();
    writeOldPackage("7");
    std::filesystem::rename(m_contents / "HVEL7.TXT", m_contents / "HVEL.TXT");
    convert("DOVA7.ARJ");
    EXPECT_EQ(m_archiver.packed.size(), 5u);
}

TEST_F(ConvertTest, AMissingRequiredFileStopsBeforeRepacking) {
    open();
    writeOldPackage("7");
    std::filesystem::remove(m_contents / "JDMD7.TXT");
    convert("DOVA7.ARJ");
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("包内文件不正确，可能有缺失!")});
    EXPECT_TRUE(m_archiver.packed.empty());
    EXPECT_FALSE(std::filesystem::exists(m_packageDir / "dovaqy.arj"));
}

TEST_F(ConvertTest, AFormerConvertedPackageIsReplacedNotAddedTo) {
    open();
    std::ofstream(m_packageDir / "dovaqy.arj") << "old";
    writeOldPackage("7");
    convert("DOVA7.ARJ");
    std::ifstream archive(m_packageDir / "dovaqy.arj");
    std::string content;
    archive >> content;
    EXPECT_EQ(content, "packed");
}

}  // namespace
}  // namespace testsupport

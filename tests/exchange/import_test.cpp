// The import dialog drives the import: choosing and unpacking a package, reading it with the
// counts and what it tells, dropping staged records, leaving, and the conversion of old-style
// packages. The import itself is tested without windows (core/import_test.cpp,
// core/conversion_test.cpp).
#include <QDialog>
#include <QTest>
#include <fstream>

#include "ImportFixture.h"
#include "ui_Unit1.h"

namespace testsupport {
namespace {

class ImportDialogTest : public ImportTest {};

TEST_F(ImportDialogTest, ReadsEveryFileOfThePackageIntoStagingAndCountsByType) {
    open();
    writePackage({staged("2023000001", "甲", "1"), staged("2023000002", "乙", "1"),
                  staged("2023000003", "丙", "3"), staged("2023000004", "丁", "2")},
                 {stagedPerson("2023000001", "张三")},
                 {{{"ITEM_4", "2023000001"}, {"ITEM_DQDM", "A01"}, {"PATENT_NO", "ZL1"}}});
    importPackage();

    EXPECT_EQ(in->Label6->text(), QStringLiteral("记录条数:4条；"));
    // Type "3" is basic theory, "2" soft science.
    EXPECT_EQ(in->Label2->text(), QStringLiteral("其中：应用技术2条，基础理论1条，软科学1条。"));
    EXPECT_EQ(m_formin->model().rowCount(), 4);
    EXPECT_FALSE(in->Panel4->isVisibleTo(m_formin.get()));
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

// A package that is no archive, unpacked by Debian's arj through the dialog: the format
// message with what is wrong, nothing left in the package's folder but the package, and
// nothing staged.
TEST_F(ImportDialogTest, APackageArjCannotUnpackIsToldAsOfTheWrongForm) {
    open();
    std::ofstream(m_packageDir / "dovaqy.arj", std::ios::binary) << "HVEL\tnot packed\r\n";
    exchange::ArjArchiver arj;
    exchange::Archiver::install(&arj);
    m_dialogs.fileNames.push_back(packagePath());
    m_formin->Button1Click();
    exchange::Archiver::install(&m_archiver);
    expectRefused("“dovaqy.arj”不是ARJ压缩文件。");
}

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
    writePackage({staged("2023000001", "甲", "1")});
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
    writePackage({staged("2023000001", "甲", "1")}, {stagedPerson("2023000001", "张三")});
    std::filesystem::remove(m_contents / "ZLQK.TXT");
    importPackage();

    EXPECT_EQ(rows("hveltemp.DBF").size(), 1u);
    EXPECT_EQ(rows("cgwcrtemp.DBF").size(), 1u);
    EXPECT_EQ(boxTexts().last(), QStringLiteral("导入完毕！\n包中缺少文件：ZLQK.TXT。"));
}

TEST_F(ImportDialogTest, TwoMissingFilesAreAPackageOfTheWrongForm) {
    open();
    writePackage({staged("2023000001", "甲", "1")});
    std::filesystem::remove(m_contents / "ZLQK.TXT");
    std::filesystem::remove(m_contents / "CGWCR.TXT");
    importPackage();

    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("文件的格式不正确")});
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    // The user may read again once the files are there.
    EXPECT_TRUE(in->Button3->isEnabled());
}

TEST_F(ImportDialogTest, ReadingBeforeAnyPackageDoesNothing) {
    open();
    m_formin->Button3Click();
    EXPECT_TRUE(m_dialogs.boxes.empty());
}

// A file whose records cannot be stored: the format message with what is wrong on a second
// line, nothing staged, the reading panel gone and reading off.
TEST_F(ImportDialogTest, AFileThatCannotBeReadIsToldAsOfTheWrongForm) {
    open();
    writePackage({staged("2023000001", "甲", "1")});
    std::ofstream(m_contents / "ZLQK.TXT", std::ios::binary)
        << "2023000001\tA01\t1\t\xff\xff\t\t\t\r\n";
    importPackage();
    expectRefused("“ZLQK.TXT”第1行，字段");
    EXPECT_FALSE(in->Panel4->isVisibleTo(m_formin.get()));
    EXPECT_EQ(m_formin->model().rowCount(), 0);
}

// Records of fewer or more columns than their table are read by the format's rules, and the
// user is told how many of each file there were; a main record left without its type stays
// staged when the others are stored.
TEST_F(ImportDialogTest, MalformedRecordsAreCountedAndNotStoredSilently) {
    open();
    writePackage({staged("2023000001", "完好的", "1")},
                 {stagedPerson("2023000001", "张三"), stagedPerson("2023000002", "李四")});
    appendMalformedRecords(m_contents);
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

TEST_F(ImportDialogTest, OpeningEmptiesTheStagingTables) {
    open();
    stage("hveltemp", {staged("2023000001", "甲", "1")});
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
    stage("hveltemp", {staged("2023000001", "甲", "1"), staged("2023000002", "乙", "1")});
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
    writePackage({staged("2019000007", "甲", "1")});
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
    void writeOldPackage(const std::string& code) {
        testsupport::writeOldPackage(m_contents, code);
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
    ::testing::Values(NameCase{"three_digits_lower_case", "dova123.arj", "123"},
                      NameCase{"four_digits", "DOVA1234.ARJ", nullptr}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

TEST_F(ConvertTest, ClickingTheLinkStartsTheConversion) {
    open();
    m_dialogs.fileNames.push_back(packagePath("other.arj"));
    QTest::mouseClick(in->Label7, Qt::LeftButton);
    EXPECT_EQ(
        boxTexts(),
        QStringList{QStringLiteral("请选择正确文件,被改名的文件类似DOVAXXX.ARJ(XXX为数字)!")});
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

}  // namespace
}  // namespace testsupport

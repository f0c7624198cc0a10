// The export dialog: choosing the records, writing the package files, packing them through the
// archiver seam (a stand-in, and once Debian's arj), the export marks, the overwrite and
// selection questions, failures and closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "Archiver.h"
#include "Dialogs.h"
#include "ExchangeTextFile.h"
#include "GbkCodec.h"
#include "MainWindowFixture.h"
#include "TableRows.h"
#include "Unitout.h"
#include "ui_Unitout.h"

namespace fs = std::filesystem;
using testsupport::Row;

namespace {

const std::vector<std::string> kPackageFiles = {
    "HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT", "JDWYHMD.TXT", "ZLQK.TXT", "UNIT.TXT", "EXPERT.TXT"};

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The records of a GBK exchange file, as UTF-8 lines without their CR LF.
QStringList fileLines(const std::string& gbk) {
    QStringList lines =
        QString::fromStdString(store::GbkCodec::decode(gbk)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

// Stands in for the archiver: records what it was asked to pack (the files' lines as they
// were at that moment) and makes the archive, or fails as told.
class FakeArchiver : public exchange::Archiver {
public:
    FakeArchiver() { install(this); }
    ~FakeArchiver() override { install(nullptr); }

    void pack(const fs::path& folder, const std::string& archiveName,
              const std::vector<std::string>& files) override {
        ++calls;
        packedIn = folder;
        archive = archiveName;
        packed = files;
        lines.clear();
        for (const std::string& file : files) {
            lines[file] = fileLines(readBytes(folder / file));
        }
        if (fail) {
            throw exchange::ArchiverError("arj: the package could not be made");
        }
        std::ofstream(folder / archiveName, std::ios::binary) << "new package";
    }
    void extract(const fs::path&, const fs::path&, const std::vector<std::string>&) override {
        ADD_FAILURE() << "the export never extracts";
    }

    int calls = 0;
    bool fail = false;
    fs::path packedIn;
    std::string archive;
    std::vector<std::string> packed;
    std::map<std::string, QStringList> lines;
};

class ExportTest : public testsupport::MainWindowTest {
protected:
    // Four records (two of 2025, one of 2024, one whose key is not a year), a person of each,
    // child rows of two, two units and a discipline leader.
    void open() {
        append("cgwcdw.DBF", {{{"ITEM_4", "2025000001"}, {"ITEM_DQDM", "."}, {"ITEM_170", "甲"}},
                              {{"ITEM_4", "2024000001"}, {"ITEM_DQDM", "."}, {"ITEM_170", "乙"}}});
        append("jdwyhmd.DBF", {{{"ITEM_4", "2024000001"}, {"ITEM_DQDM", "."}}});
        append("zlqk.DBF", {{{"ITEM_4", "2025000002"}, {"ITEM_DQDM", "."}}});
        append("unit.dbf",
               {{{"unitcode", "9990001001"}, {"unitlevel", "2"}, {"studydirec", "方向\"一\""}}});
        append("unitexpert.dbf", {{{"unitcode", "9990001000"},
                                   {"item_187", "1"},
                                   {"item_180", "李四"},
                                   {"item_124_1", "01"}}});
        start({testsupport::record("2025000001", "1", {{"ITEM_SJDC", "1"}, {"NO", "7"}}),
               testsupport::record("2025000002", "1", {{"outcomeb", "x"}}),
               testsupport::record("2024000001", "2"), testsupport::record("abc0000001", "3")},
              {testsupport::person("2025000001"), testsupport::person("2025000002"),
               testsupport::person("2024000001"), testsupport::person("abc0000001")});
        m_out = std::make_unique<TFormout>(*m_form, m_form.get());
        Formout = m_out.get();
        w = m_out->form();
        m_out->showDialog();
        chooseFolder(folder());
    }

    void TearDown() override {
        Formout = nullptr;
        m_out.reset();
        MainWindowTest::TearDown();
    }

    fs::path folder() const { return fs::path(m_dir.path().toStdString()); }
    QString packageFolder() const { return m_dir.path() + QLatin1Char('/'); }

    void chooseFolder(const fs::path& path) {
        auto* folders = qobject_cast<QFileSystemModel*>(w->DirectoryListBox1->model());
        w->DirectoryListBox1->setCurrentIndex(folders->index(QString::fromStdString(path)));
    }

    void chooseYear(const QString& year) {
        w->RadioButton7->click();
        w->ComboBox2->setCurrentText(year);
        m_out->ComboBox2Change();
    }

    int selectedCount() const { return w->DBGrid1->selectionModel()->selectedRows().size(); }

    // Leaves only the grid's given rows selected.
    void selectRows(std::initializer_list<int> rows) {
        QItemSelectionModel* selection = w->DBGrid1->selectionModel();
        selection->clearSelection();
        for (const int row : rows) {
            selection->select(m_out->model().index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    std::map<std::string, std::string> marks() const {
        std::map<std::string, std::string> byKey;
        for (auto& row : testsupport::readRows(m_program.file("hvel.DBF"))) {
            byKey[row["ITEM_4"]] = row["ITEM_SJDC"];
        }
        return byKey;
    }

    std::set<std::string> folderNames() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    QStringList boxTexts() const {
        QStringList texts;
        for (const auto& box : m_boxes.boxes) {
            texts << box.text;
        }
        return texts;
    }

    static QString column(const QString& line, int index) {
        return line.split(QLatin1Char('\t')).value(index);
    }

    widgets::ScriptedDialogs m_boxes;
    FakeArchiver m_archiver;
    QTemporaryDir m_dir;
    std::unique_ptr<TFormout> m_out;
    Ui::TFormout* w = nullptr;
};

const QString kOverwrite = QStringLiteral(
    "该路径存在上报文件！选择“是”该文件将被覆盖；选择“否”放弃操作。如果需要保存现存文件，需要把"
    "该文件保存到到别的文件夹内，再执行该操作！");
const QString kChooseAll = QStringLiteral("请选择您要导出的项目，是否全部选择？");

TEST_F(ExportTest, OpeningResetsTheMarksAndWaitsForARange) {
    open();
    EXPECT_EQ(items(w->ComboBox2), (QStringList{QStringLiteral("abc0"), QStringLiteral("2025"),
                                                QStringLiteral("2024")}));
    EXPECT_EQ(w->ComboBox2->currentIndex(), 0);
    EXPECT_FALSE(w->RadioButton5->isChecked());
    EXPECT_FALSE(w->RadioButton7->isChecked());
    EXPECT_FALSE(DM->T_temp_out.active());
    EXPECT_EQ(m_out->model().rowCount(), 0);
    EXPECT_FALSE(w->Button2->isEnabled());
    for (const auto& [key, mark] : marks()) {
        EXPECT_EQ(mark, "0") << key;
    }
    EXPECT_EQ(w->Edit1->text(), m_dir.path());

    // The next showing starts in the folder chosen last.
    w->Button1->click();
    EXPECT_TRUE(w->Edit1->text().isEmpty());
    m_out->FormShow();
    EXPECT_EQ(w->Edit1->text(), m_dir.path());
}

TEST_F(ExportTest, RangesSelectTheirRecords) {
    open();
    chooseYear(QStringLiteral("2025"));
    EXPECT_FALSE(w->ComboBox2->isHidden());
    EXPECT_TRUE(w->Button2->isEnabled());
    EXPECT_EQ(DM->T_temp_out.recordCount(), 2);
    EXPECT_EQ(selectedCount(), 2);
    EXPECT_EQ(w->Label1->text(), QStringLiteral("选择了2记录！"));

    selectRows({1});
    EXPECT_EQ(w->Label1->text(), QStringLiteral("选择了1记录！"));

    w->RadioButton5->click();
    EXPECT_TRUE(w->ComboBox2->isHidden());
    EXPECT_EQ(DM->T_temp_out.recordCount(), 4);
    EXPECT_EQ(selectedCount(), 4);
    EXPECT_EQ(w->Label1->text(), QStringLiteral("选择了4记录！"));
    EXPECT_EQ(w->RadioButton5->toolTip(), QStringLiteral("再次选择全部项目请双击"));
    w->RadioButton7->click();
    EXPECT_TRUE(w->RadioButton5->toolTip().isEmpty());
}

TEST_F(ExportTest, AYearWithAQuoteFiltersByPrefix) {
    append("hvel.DBF", {testsupport::record("20'6000001", "1")});
    open();
    chooseYear(QStringLiteral("20'6"));
    EXPECT_EQ(DM->T_temp_out.recordCount(), 1);
    EXPECT_EQ(selectedCount(), 1);
}

TEST_F(ExportTest, ExportPacksTheChosenRecordsWithTheirChildRows) {
    open();
    chooseYear(QStringLiteral("2025"));
    selectRows({0});
    m_out->Button2Click();

    ASSERT_EQ(m_archiver.calls, 1);
    EXPECT_EQ(m_archiver.packedIn, folder() / "");
    EXPECT_EQ(m_archiver.archive, "dovaqy.arj");
    EXPECT_EQ(m_archiver.packed, kPackageFiles);

    const QStringList main = m_archiver.lines["HVEL.TXT"];
    ASSERT_EQ(main.size(), 1);
    const int fields = DM->T_temp_out.fieldCount();
    EXPECT_EQ(main[0].split(QLatin1Char('\t')).size(), fields);
    EXPECT_EQ(column(main[0], DM->T_temp_out.fieldIndex("ITEM_4")), QStringLiteral("2025000001"));
    EXPECT_EQ(column(main[0], DM->T_temp_out.fieldIndex("ITEM_SJDC")), QStringLiteral("0"));
    EXPECT_EQ(column(main[0], fields - 3), QString());  // NO is never exported

    // The chosen record's child rows (ChildRowsTest tells which rows go).
    EXPECT_EQ(m_archiver.lines["CGWCR.TXT"].size(), 1);
    EXPECT_EQ(m_archiver.lines["CGWCDW.TXT"].size(), 1);
    const QStringList units = m_archiver.lines["UNIT.TXT"];
    ASSERT_EQ(units.size(), 2);
    EXPECT_TRUE(units[0].endsWith(QStringLiteral("\t\"方向\"一\"\""))) << units[0].toStdString();
    ASSERT_EQ(m_archiver.lines["EXPERT.TXT"].size(), 1);
    EXPECT_EQ(m_archiver.lines["EXPERT.TXT"][0], QStringLiteral("9990001000\t1\t李四\t\t\t\t01"));

    EXPECT_EQ(folderNames(), std::set<std::string>{"dovaqy.arj"});
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("你已打包成功!文件在") + packageFolder() +
                                      QStringLiteral("dovaqy.arj")});
    EXPECT_EQ(
        marks(),
        (std::map<std::string, std::string>{
            {"2025000001", "1"}, {"2025000002", "0"}, {"2024000001", "0"}, {"abc0000001", "0"}}));
    EXPECT_EQ(DM->T_temp_out.filter(), "");
    EXPECT_EQ(selectedCount(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The child files hold exactly the rows of the exported records, matched by key and region:
// neither the rows of the records left out, nor rows of the same key from another region, nor
// rows of no record.
struct ChildRowsCase {
    const char* name;
    const char* year;       // the year chosen; null for "全部"
    std::vector<int> rows;  // the grid rows left selected; empty for the whole range
    // Per child file, the key and region ("ITEM_4/ITEM_DQDM") of each line, in order.
    std::map<std::string, std::vector<std::string>> lines;
};

void PrintTo(const ChildRowsCase& c, std::ostream* out) {
    *out << c.name;
}

class ChildRowsTest : public ExportTest, public ::testing::WithParamInterface<ChildRowsCase> {};

TEST_P(ChildRowsTest, OnlyTheExportedRecordsRowsLeave) {
    const ChildRowsCase& c = GetParam();
    // A record without child rows, one without a region with a person without one, a person
    // of another region under a chosen key and a person of no record.
    append("hvel.DBF", {testsupport::record("2023000009", "1"),
                        {{"ITEM_4", "2022000001"}, {"ITEM_CGLB", "1"}, {"ITEM_3", "无地区"}}});
    append("cgwcr.DBF", {{{"ITEM_4", "2022000001"}, {"ITEM_180", "无地区的人"}},
                         {{"ITEM_4", "2025000001"}, {"ITEM_DQDM", "A01"}, {"ITEM_180", "外地"}},
                         {{"ITEM_4", "2019000001"}, {"ITEM_DQDM", "."}, {"ITEM_180", "无主"}}});
    open();
    if (c.year != nullptr) {
        chooseYear(QString::fromUtf8(c.year));
    } else {
        w->RadioButton5->click();
    }
    if (!c.rows.empty()) {
        QItemSelectionModel* selection = w->DBGrid1->selectionModel();
        selection->clearSelection();
        for (const int row : c.rows) {
            selection->select(m_out->model().index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    m_out->Button2Click();
    ASSERT_EQ(m_archiver.calls, 1);
    for (const char* file : {"CGWCR.TXT", "CGWCDW.TXT", "JDWYHMD.TXT", "ZLQK.TXT"}) {
        SCOPED_TRACE(file);
        std::vector<std::string> keys;
        for (const QString& line : m_archiver.lines[file]) {
            keys.push_back((column(line, 0) + QLatin1Char('/') + column(line, 1)).toStdString());
        }
        const auto expected = c.lines.find(file);
        EXPECT_EQ(keys, expected == c.lines.end() ? std::vector<std::string>() : expected->second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ChildRowsTest,
    ::testing::Values(
        ChildRowsCase{"OneRecord",
                      "2025",
                      {0},
                      {{"CGWCR.TXT", {"2025000001/."}}, {"CGWCDW.TXT", {"2025000001/."}}}},
        ChildRowsCase{"AYear",
                      "2025",
                      {},
                      {{"CGWCR.TXT", {"2025000001/.", "2025000002/."}},
                       {"CGWCDW.TXT", {"2025000001/."}},
                       {"ZLQK.TXT", {"2025000002/."}}}},
        ChildRowsCase{
            "EveryRecord",
            nullptr,
            {},
            {{"CGWCR.TXT",
              {"2022000001/", "2025000001/.", "2025000002/.", "2024000001/.", "abc0000001/."}},
             {"CGWCDW.TXT", {"2025000001/.", "2024000001/."}},
             {"JDWYHMD.TXT", {"2024000001/."}},
             {"ZLQK.TXT", {"2025000002/."}}}},
        ChildRowsCase{"ARecordWithoutChildRows", "2023", {}, {}},
        ChildRowsCase{"ARecordWithoutRegion", "2022", {}, {{"CGWCR.TXT", {"2022000001/"}}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct OverwriteCase {
    const char* name;
    const char* existing;
    int answer;
};

void PrintTo(const OverwriteCase& c, std::ostream* out) {
    *out << c.name;
}

class OverwriteTest : public ExportTest, public ::testing::WithParamInterface<OverwriteCase> {};

TEST_P(OverwriteTest, AnExistingPackageIsReplacedOnlyOnYes) {
    const OverwriteCase& c = GetParam();
    open();
    std::ofstream(folder() / c.existing) << "old package";
    w->RadioButton5->click();
    m_boxes.answers = {c.answer};
    m_out->Button2Click();
    ASSERT_FALSE(m_boxes.boxes.empty());
    EXPECT_EQ(m_boxes.boxes[0].text, kOverwrite);
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("提示信息"));
    EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Information);
    EXPECT_EQ(m_boxes.boxes[0].buttons, widgets::Yes | widgets::No);
    if (c.answer == widgets::No) {
        EXPECT_EQ(m_archiver.calls, 0);
        EXPECT_EQ(readBytes(folder() / c.existing), "old package");
        EXPECT_EQ(folderNames(), std::set<std::string>{c.existing});
    } else {
        EXPECT_EQ(m_archiver.calls, 1);
        EXPECT_EQ(m_archiver.lines["HVEL.TXT"].size(), 4);
        EXPECT_EQ(folderNames(), std::set<std::string>{"dovaqy.arj"});
        EXPECT_EQ(readBytes(folder() / "dovaqy.arj"), "new package");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OverwriteTest,
    ::testing::Values(OverwriteCase{"NoKeepsIt", "dovaqy.arj", widgets::No},
                      OverwriteCase{"YesReplacesIt", "dovaqy.arj", widgets::Yes},
                      OverwriteCase{"YesReplacesOtherCase", "DOVAQY.ARJ", widgets::Yes},
                      OverwriteCase{"NoKeepsOtherCase", "DOVAQY.ARJ", widgets::No}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportTest, NoSelectionAsksToExportEveryRecord) {
    open();
    chooseYear(QStringLiteral("2025"));
    selectRows({});
    m_boxes.answers = {widgets::No};
    m_out->Button2Click();
    EXPECT_EQ(boxTexts(), QStringList{kChooseAll});
    EXPECT_EQ(m_archiver.calls, 0);
    EXPECT_TRUE(folderNames().empty());

    // Yes exports every record, the year filter cleared.
    m_boxes.answers = {widgets::Yes};
    m_out->Button2Click();
    ASSERT_EQ(m_archiver.calls, 1);
    const QStringList main = m_archiver.lines["HVEL.TXT"];
    ASSERT_EQ(main.size(), 4);
    // The last two fields go out unchanged.
    const int fields = DM->T_temp_out.fieldCount();
    EXPECT_EQ(column(main[1], fields - 1), QStringLiteral("x"));
    EXPECT_EQ(main[1].split(QLatin1Char('\t')).size(), fields);
    for (const auto& [key, mark] : marks()) {
        EXPECT_EQ(mark, "1") << key;
    }
}

TEST_F(ExportTest, AFailedPackKeepsTheOldPackageAndSetsNoMark) {
    open();
    std::ofstream(folder() / "dovaqy.arj") << "old package";
    w->RadioButton5->click();
    m_archiver.fail = true;
    m_boxes.answers = {widgets::Yes};
    EXPECT_THROW(m_out->Button2Click(), exchange::ArchiverError);
    EXPECT_EQ(readBytes(folder() / "dovaqy.arj"), "old package");
    for (const auto& [key, mark] : marks()) {
        EXPECT_EQ(mark, "0") << key;
    }
    EXPECT_EQ(boxTexts(), QStringList{kOverwrite});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Closing removes the record and child files left behind.
    w->Button1->click();
    EXPECT_EQ(folderNames(), (std::set<std::string>{"dovaqy.arj", "UNIT.TXT", "EXPERT.TXT"}));
}

TEST_F(ExportTest, AFolderThatCannotBeWrittenStopsBeforePacking) {
    open();
    const fs::path gone = folder() / "gone";
    fs::create_directory(gone);
    chooseFolder(gone);
    fs::remove(gone);
    w->RadioButton5->click();
    EXPECT_THROW(m_out->Button2Click(), exchange::ExchangeIoError);
    EXPECT_EQ(m_archiver.calls, 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    for (const auto& [key, mark] : marks()) {
        EXPECT_EQ(mark, "0") << key;
    }
}

// Leaving by "退出" or by Escape.
class LeaveTest : public ExportTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LeaveTest, ReopensTheWholeTableAndRefreshesTheMainWindow) {
    open();
    chooseYear(QStringLiteral("2024"));
    DM->Qryhvel.close();
    if (GetParam()) {
        m_out->reject();
    } else {
        w->Button1->click();
    }
    EXPECT_TRUE(DM->T_temp_out.active());
    EXPECT_EQ(DM->T_temp_out.filter(), "");
    EXPECT_EQ(DM->T_temp_out.recordCount(), 4);
    EXPECT_TRUE(w->Edit1->text().isEmpty());
    EXPECT_TRUE(DM->Qryhvel.active());
    EXPECT_EQ(m_out->result(), QDialog::Accepted);
}

INSTANTIATE_TEST_SUITE_P(Ways, LeaveTest, ::testing::Values(false, true), [](const auto& info) {
    return std::string(info.param ? "Escape" : "Button");
});

TEST_F(ExportTest, TheMainWindowsExportButtonShowsTheDialog) {
    open();
    m_boxes.onExec = [this](QDialog& dialog) {
        EXPECT_EQ(&dialog, m_out.get());
        w->Button1->click();
    };
    m_form->BitBtn2Click();
    ASSERT_EQ(m_boxes.shown.size(), 2u);  // once by open(), once by the button
    EXPECT_TRUE(DM->T_temp_out.active());
}

TEST_F(ExportTest, TheDriveListPointsTheExportAtAFilesystemRoot) {
    open();
    const int root = w->DriveComboBox1->findText(QStringLiteral("/"));
    if (root < 0) {
        GTEST_SKIP() << "no filesystem root among the mounted volumes";
    }
    w->DriveComboBox1->setCurrentIndex(root);
    m_out->DriveComboBox1Change();
    EXPECT_EQ(w->Edit1->text(), QStringLiteral("/"));
}

TEST(ExportFolderTest, FolderTextsAndPackageFolders) {
    struct Case {
        const char* path;
        const char* shown;
        const char* package;
    };
    for (const Case& c : {Case{"/tmp/out", "/tmp/out", "/tmp/out/"},
                          Case{"/tmp/out/", "/tmp/out", "/tmp/out/"}, Case{"/", "/", "/"}}) {
        SCOPED_TRACE(c.path);
        const QString shown = TFormout::FolderText(QString::fromLatin1(c.path));
        EXPECT_EQ(shown, QString::fromLatin1(c.shown));
        EXPECT_EQ(TFormout::PackageFolder(shown), QString::fromLatin1(c.package));
    }
    EXPECT_EQ(TFormout::PackageFolder(QStringLiteral("  /tmp/out  ")), QStringLiteral("/tmp/out/"));
}

// Once with Debian's arj: the package holds the seven files as written.
TEST_F(ExportTest, DebiansArjPacksTheSevenFiles) {
    open();
    exchange::Archiver::install(nullptr);
    w->RadioButton5->click();
    m_out->Button2Click();
    EXPECT_EQ(folderNames(), std::set<std::string>{"dovaqy.arj"});
    ASSERT_EQ(m_boxes.boxes.size(), 1u);

    QTemporaryDir unpacked;
    const fs::path in(unpacked.path().toStdString());
    exchange::ArjArchiver().extract(folder() / "dovaqy.arj", in, kPackageFiles);
    for (const std::string& file : kPackageFiles) {
        EXPECT_TRUE(fs::exists(in / file)) << file;
    }
    EXPECT_EQ(fileLines(readBytes(in / "HVEL.TXT")).size(), 4);
    EXPECT_EQ(fileLines(readBytes(in / "CGWCR.TXT")).size(), 4);
}

}  // namespace

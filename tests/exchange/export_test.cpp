// The export dialog: choosing the records and the folder, the questions, what it tells, the
// cursor and closing, over a stand-in archiver and once Debian's arj. What the export writes
// is tested without windows (core/export_test.cpp).
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
#include "ExportData.h"
#include "FakeArchiver.h"
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

class ExportTest : public testsupport::MainWindowTest {
protected:
    // The export data (ExportData.h) and the dialog shown over it, on the test's folder.
    void open() {
        const testsupport::ExportData data = testsupport::appendExportData(m_program);
        start(data.records, data.persons);
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
    testsupport::FakeArchiver m_archiver;
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

TEST_F(ExportTest, ExportPacksTheChosenRecordsAndSaysWhere) {
    open();
    chooseYear(QStringLiteral("2025"));
    selectRows({1});
    m_out->Button2Click();

    ASSERT_EQ(m_archiver.packCalls, 1);
    EXPECT_EQ(m_archiver.packedIn, folder() / "");
    const QStringList main = m_archiver.lines["HVEL.TXT"];
    ASSERT_EQ(main.size(), 1);
    EXPECT_EQ(column(main[0], DM->T_temp_out.fieldIndex("ITEM_4")), QStringLiteral("2025000002"));
    EXPECT_EQ(m_archiver.lines["CGWCR.TXT"].size(), 1);
    EXPECT_EQ(folderNames(), std::set<std::string>{"dovaqy.arj"});
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("你已打包成功!文件在") + packageFolder() +
                                      QStringLiteral("dovaqy.arj")});
    EXPECT_EQ(
        marks(),
        (std::map<std::string, std::string>{
            {"2025000001", "0"}, {"2025000002", "1"}, {"2024000001", "0"}, {"abc0000001", "0"}}));
    // The whole table is listed again, nothing chosen, the cursor back to normal.
    EXPECT_EQ(DM->T_temp_out.filter(), "");
    EXPECT_EQ(m_out->model().rowCount(), 4);
    EXPECT_EQ(selectedCount(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

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
        EXPECT_EQ(m_archiver.packCalls, 0);
        EXPECT_EQ(readBytes(folder() / c.existing), "old package");
        EXPECT_EQ(folderNames(), std::set<std::string>{c.existing});
    } else {
        EXPECT_EQ(m_archiver.packCalls, 1);
        EXPECT_EQ(m_archiver.lines["HVEL.TXT"].size(), 4);
        EXPECT_EQ(folderNames(), std::set<std::string>{"dovaqy.arj"});
        EXPECT_EQ(readBytes(folder() / "dovaqy.arj"), "packed");
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, OverwriteTest,
                         ::testing::Values(OverwriteCase{"NoKeepsIt", "dovaqy.arj", widgets::No},
                                           OverwriteCase{"YesReplacesIt", "DOVAQY.ARJ",
                                                         widgets::Yes}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportTest, NoSelectionAsksToExportEveryRecord) {
    open();
    chooseYear(QStringLiteral("2025"));
    selectRows({});
    m_boxes.answers = {widgets::No};
    m_out->Button2Click();
    EXPECT_EQ(boxTexts(), QStringList{kChooseAll});
    EXPECT_EQ(m_archiver.packCalls, 0);
    EXPECT_TRUE(folderNames().empty());

    // Yes exports every record, the year filter cleared.
    m_boxes.answers = {widgets::Yes};
    m_out->Button2Click();
    ASSERT_EQ(m_archiver.packCalls, 1);
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
    m_archiver.error = "arj: the package could not be made";
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
    EXPECT_EQ(testsupport::fileLines(in / "HVEL.TXT").size(), 4);
    EXPECT_EQ(testsupport::fileLines(in / "CGWCR.TXT").size(), 4);
}

}  // namespace

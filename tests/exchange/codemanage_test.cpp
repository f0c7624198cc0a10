// The code-table window: packages read into the open table, table files copied over the data
// directory's, and every way a choice can go wrong leaving the table as it was.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "Archiver.h"
#include "CodeManage.h"
#include "Dialogs.h"
#include "Errors.h"
#include "ExchangeTextFile.h"
#include "GbkCodec.h"
#include "MainWindowFixture.h"
#include "QtPrinters.h"
#include "TableRows.h"
#include "Text.h"
#include "ui_CodeManage.h"

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

namespace {

// Extracts the files it was given, or fails.
class FakeArchiver : public exchange::Archiver {
public:
    FakeArchiver() { install(this); }
    ~FakeArchiver() override { install(nullptr); }
    void pack(const fs::path&, const std::string&, const std::vector<std::string>&) override {}
    void extract(const fs::path& archive, const fs::path& folder,
                 const std::vector<std::string>&) override {
        extracted.push_back(archive.filename().string());
        if (fails) {
            throw exchange::ArchiverError("解压“DFJHXX.ARJ”失败（arj的退出状态为7）。");
        }
        for (const auto& [name, bytes] : files) {
            std::ofstream(folder / name, std::ios::binary) << bytes;
        }
    }
    std::map<std::string, std::string> files;
    bool fails = false;
    std::vector<std::string> extracted;
};

struct Target {
    const char* name;
    std::function<void(TFcodeManage&)> packageClick;
    std::function<void(TFcodeManage&)> fileClick;
    std::function<store::Table&()> table;
    std::function<QLineEdit*(TFcodeManage&)> edit;
    const TFcodeManage::CodeTable* code;
    const char* lines;   // a package's text (UTF-8 here, GBK in the file)
    Rows rows;           // the rows it gives
    const char* fields;  // the table's fields, for a replacement table file
};

void PrintTo(const Target& t, std::ostream* os) {
    *os << t.name;
}

const Target kTargets[] = {
    {"Dfjhzdxx",
     &TFcodeManage::Button4Click,
     &TFcodeManage::Button2Click,
     []() -> store::Table& { return DM->TblDFJHZDXX; },
     [](TFcodeManage& f) { return f.form()->Edit1; },
     &TFcodeManage::Dfjhzdxx,
     "01\t01\t国家计划\r\n01\t02\t省计划\r\n",
     {{"01", "01", "国家计划"}, {"01", "02", "省计划"}},
     "item_126 C(2)\titem_41_ C(2)\txxmc C(60)"},
    {"Ztflh",
     &TFcodeManage::Button6Click,
     &TFcodeManage::Button7Click,
     []() -> store::Table& { return DM->Tztflh2; },
     [](TFcodeManage& f) { return f.form()->Edit3; },
     &TFcodeManage::Ztflh,
     "1\tA\t马列主义\r\n2\t\"A\t1\"\t马克思著作\r\n",
     {{"1", "A", "马列主义"}, {"2", "A\t1", "马克思著作"}},
     "jb C(1)\txxdm C(12)\txxmc C(100)"},
    {"Xkfl",
     &TFcodeManage::Button8Click,
     &TFcodeManage::Button9Click,
     []() -> store::Table& { return DM->Txkfl2; },
     [](TFcodeManage& f) { return f.form()->Edit4; },
     &TFcodeManage::Xkfl,
     "1\t110\t数学  \r\n",
     {{"1", "110", "数学"}},
     "jb C(1)\txxdm C(10)\txxmc C(60)"},
    {"Lsbw",
     &TFcodeManage::Button10Click,
     &TFcodeManage::Button11Click,
     []() -> store::Table& { return DM->tblLsbw; },
     [](TFcodeManage& f) { return f.form()->Edit5; },
     &TFcodeManage::Lsbw,
     "001\t外交部\r\n002\t国防部\r\n",
     {{"001", "外交部"}, {"002", "国防部"}},
     "Bwdm C(3)\tBwmc C(60)"},
};

class CodeManageTest : public testsupport::MainWindowTest {
protected:
    void SetUp() override {
        start({});
        m_window = std::make_unique<TFcodeManage>(m_form.get());
        FcodeManage = m_window.get();
    }
    void TearDown() override {
        FcodeManage = nullptr;
        m_window.reset();
        MainWindowTest::TearDown();
    }

    fs::path folder() const { return fs::path(m_dir.path().toStdString()); }
    static Rows rowsOf(store::Dataset& table) { return testsupport::datasetRows(table); }
    static void writeBytes(const fs::path& path, std::string_view bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string readBytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    QStringList boxTexts() const {
        QStringList texts;
        for (const auto& box : m_boxes.boxes) {
            texts << box.text;
        }
        return texts;
    }
    // Packs text as the table's text file into folder/packageFile with the real arj.
    fs::path packWithArj(const Target& t, const std::string& packageFile) {
        writeBytes(folder() / t.code->textFile, *store::GbkCodec::encode(t.lines));
        exchange::ArjArchiver().pack(folder(), packageFile, {t.code->textFile});
        fs::remove(folder() / t.code->textFile);
        return folder() / packageFile;
    }

    QTemporaryDir m_dir;
    widgets::ScriptedDialogs m_boxes;
    std::unique_ptr<TFcodeManage> m_window;
};

class CodeManageTargets : public CodeManageTest, public ::testing::WithParamInterface<Target> {};

TEST_P(CodeManageTargets, PackageReplacesTheRows) {
    const Target& t = GetParam();
    // A longer name with the package's ending is accepted.
    const fs::path package = packWithArj(t, std::string("new") + t.code->packageName);
    m_boxes.fileNames.push_back(QString::fromStdString(package.string()));
    t.packageClick(*m_window);
    EXPECT_EQ(t.edit(*m_window)->text().toStdString(), package.string());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("导入更新成功！")});
    EXPECT_EQ(rowsOf(t.table()), t.rows);
    // The package's folder is only read: the text file was unpacked elsewhere and is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 1);
}

TEST_P(CodeManageTargets, TableFileReplacesTheDataFile) {
    const Target& t = GetParam();
    const fs::path chosen = folder() / t.code->tableFile;
    std::string text = std::string(t.fields) + "\n";
    for (const auto& row : t.rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            text += i ? "\t" : "";
            for (char c : row[i]) {
                text += c == '\t' ? std::string("\\t") : std::string(1, c);
            }
        }
        text += "\n";
    }
    store::writeTable(store::parseTableText(text, "replacement"), chosen.string());
    m_boxes.fileNames.push_back(QString::fromStdString(chosen.string()));
    t.fileClick(*m_window);
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(t.code->copiedMessage)});
    const fs::path target = DM->database().tablePath(fs::path(t.code->tableFile).stem().string());
    EXPECT_EQ(readBytes(target), readBytes(chosen));
    ASSERT_TRUE(t.table().active());
    EXPECT_EQ(rowsOf(t.table()), t.rows);
    EXPECT_FALSE(fs::exists(target.parent_path() / ("." + target.filename().string() + ".new")));
}

// A table file of the right name but other fields would leave the program reading fields
// that are not there: it is refused before anything is replaced.
TEST_P(CodeManageTargets, TableFileOfOtherFieldsChangesNothing) {
    const Target& t = GetParam();
    const fs::path target = DM->database().tablePath(fs::path(t.code->tableFile).stem().string());
    const std::string old = readBytes(target);
    const Rows before = rowsOf(t.table());
    const fs::path chosen = folder() / t.code->tableFile;
    store::writeTable(store::parseTableText("a C(5)\tb N(3)\nx\t1\n", "other"), chosen.string());
    m_boxes.fileNames.push_back(QString::fromStdString(chosen.string()));
    t.fileClick(*m_window);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    const QString text = m_boxes.boxes[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("文件的格式不正确\n“") +
                                QString::fromUtf8(t.code->tableFile) +
                                QStringLiteral("”的字段应依次为")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("而它的字段是a、b。\n代码表没有改动。")))
        << text.toStdString();
    EXPECT_EQ(readBytes(target), old);
    ASSERT_TRUE(t.table().active());
    EXPECT_EQ(rowsOf(t.table()), before);
}

TEST_P(CodeManageTargets, WrongNamesChangeNothing) {
    const Target& t = GetParam();
    const Rows before = rowsOf(t.table());
    FakeArchiver archiver;
    m_boxes.fileNames = {QStringLiteral("/tmp/OTHER.ARJ"), QStringLiteral("/tmp/OTHER.DBF")};
    t.packageClick(*m_window);
    t.fileClick(*m_window);
    const QString file = QString::fromUtf8(t.code->tableFile);
    EXPECT_EQ(boxTexts(),
              (QStringList{QStringLiteral("请选择正确导入包,名字是") +
                               QString::fromUtf8(t.code->packageName) + QStringLiteral("!"),
                           QStringLiteral("请选择正确的文件（") + file + QStringLiteral("）！")}));
    EXPECT_EQ(m_boxes.boxes.front().title, QStringLiteral("请注意！"));
    EXPECT_TRUE(archiver.extracted.empty());
    ASSERT_TRUE(t.table().active());
    EXPECT_EQ(rowsOf(t.table()), before);
}

INSTANTIATE_TEST_SUITE_P(Tables, CodeManageTargets, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

const Target& dfjh = kTargets[0];

TEST_F(CodeManageTest, CancelledChoicesChangeNothing) {
    const Rows before = rowsOf(DM->TblDFJHZDXX);
    m_window->form()->Edit1->setText(QStringLiteral("old"));
    m_window->Button4Click();
    m_window->Button2Click();
    EXPECT_EQ(m_window->form()->Edit1->text(), QString());
    EXPECT_TRUE(m_boxes.boxes.empty());
    ASSERT_TRUE(DM->TblDFJHZDXX.active());
    EXPECT_EQ(rowsOf(DM->TblDFJHZDXX), before);
}

TEST_F(CodeManageTest, EmptyTextFileEmptiesTheTable) {
    FakeArchiver archiver;
    archiver.files = {{"dfjhxx.txt", ""}};  // names from the archive match without regard to case
    m_boxes.fileNames.push_back(QString::fromStdString((folder() / "DFJHXX.ARJ").string()));
    m_window->Button4Click();
    EXPECT_EQ(archiver.extracted, std::vector<std::string>{"DFJHXX.ARJ"});
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("导入更新成功！")});
    EXPECT_EQ(DM->TblDFJHZDXX.recordCount(), 0);
}

// Every package that cannot replace the rows leaves them as they were and says why.
TEST_F(CodeManageTest, PackageFailuresKeepTheRows) {
    struct Case {
        const char* name;
        bool fails;
        std::map<std::string, std::string> files;
        QString box;
    };
    const QString unchanged = QStringLiteral("\n代码表没有改动。");
    const Case cases[] = {
        {"ArchiverFails", true, {}, QStringLiteral("解压“DFJHXX.ARJ”失败（arj的退出状态为7）。")},
        {"NoTextFile", false, {{"OTHER.TXT", "x"}}, QStringLiteral("导入包中没有“DFJHXX.TXT”！")},
        {"MoreColumns",
         false,
         {{"DFJHXX.TXT", "01\t01\tok\r\n01\t02\tname\textra\r\n"}},
         QStringLiteral("文件的格式不正确\n“DFJHXX.TXT”中有1条记录的列数不是代码表的3列。") +
             unchanged},
        {"FewerColumns",
         false,
         {{"DFJHXX.TXT", "01\t01\r\n"}},
         QStringLiteral("文件的格式不正确\n“DFJHXX.TXT”中有1条记录的列数不是代码表的3列。") +
             unchanged},
        {"ValueTooWide",
         false,
         {{"DFJHXX.TXT", "01\t01\tok\r\n01\t0123\ttoo wide\r\n"}},
         QStringLiteral("文件的格式不正确\n“DFJHXX.TXT”第2行有表中字段存不下的值（文字过长，或"
                        "数字、日期的写法不对）。") +
             unchanged},
    };
    const Rows before = rowsOf(DM->TblDFJHZDXX);
    ASSERT_FALSE(before.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_boxes.boxes.clear();
        writeBytes(folder() / "DFJHXX.TXT", "stale\tfrom\tbefore\r\n");  // removed before unpacking
        FakeArchiver archiver;
        archiver.fails = c.fails;
        archiver.files = c.files;
        m_boxes.fileNames.push_back(QString::fromStdString((folder() / "DFJHXX.ARJ").string()));
        m_window->Button4Click();
        EXPECT_EQ(boxTexts(), QStringList{c.box});
        EXPECT_EQ(DM->TblDFJHZDXX.state(), store::Dataset::State::Browse);
        EXPECT_EQ(rowsOf(DM->TblDFJHZDXX), before);
    }
}

// A package that arj cannot unpack, made by arj and then cut short.
TEST_F(CodeManageTest, ADamagedPackageKeepsTheRows) {
    const Rows before = rowsOf(DM->TblDFJHZDXX);
    const fs::path package = packWithArj(dfjh, "DFJHXX.ARJ");
    const std::string bytes = readBytes(package);
    writeBytes(package, bytes.substr(0, bytes.size() - 10));
    m_boxes.fileNames.push_back(QString::fromStdString(package.string()));
    m_window->Button4Click();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_TRUE(
        m_boxes.boxes[0].text.startsWith(QStringLiteral("文件的格式不正确\n“DFJHXX.ARJ”不完整")));
    EXPECT_EQ(rowsOf(DM->TblDFJHZDXX), before);
    EXPECT_FALSE(fs::exists(folder() / "DFJHXX.TXT"));
}

TEST_F(CodeManageTest, FileThatIsNoTableIsRefusedAndTheOldOneKept) {
    const fs::path target = DM->database().tablePath("DFJHZDXX");
    const std::string old = readBytes(target);
    const Rows before = rowsOf(DM->TblDFJHZDXX);
    fs::create_directories(folder() / "sub");
    writeBytes(folder() / "sub" / "dfjhzdxx.dbf", "this is not a table");
    m_boxes.fileNames.push_back(
        QString::fromStdString((folder() / "sub" / "dfjhzdxx.dbf").string()));
    m_window->Button2Click();
    EXPECT_EQ(boxTexts(),
              QStringList{QStringLiteral("文件的格式不正确\n“dfjhzdxx.dbf”不是可以读取的表文件。\n"
                                         "代码表没有改动。")});
    EXPECT_EQ(readBytes(target), old);
    EXPECT_FALSE(fs::exists(target.parent_path() / ("." + target.filename().string() + ".new")));
    ASSERT_TRUE(DM->TblDFJHZDXX.active());
    EXPECT_EQ(rowsOf(DM->TblDFJHZDXX), before);
}

TEST_F(CodeManageTest, TheTreeTableOnTheSameFileSeesTheNewRows) {
    ASSERT_TRUE(store::text::equalsIgnoringCase(DM->Table1.tableName(), "xkfl"));
    DM->Table1.open();
    const fs::path chosen = folder() / "XKFL.DBF";
    store::writeTable(
        store::parseTableText("jb C(1)\txxdm C(10)\txxmc C(60)\n1\t999\t新学科\n", "xkfl"),
        chosen.string());
    m_boxes.fileNames.push_back(QString::fromStdString(chosen.string()));
    m_window->Button9Click();
    ASSERT_TRUE(DM->Table1.active());
    EXPECT_EQ(rowsOf(DM->Table1), (Rows{{"1", "999", "新学科"}}));
}

TEST_F(CodeManageTest, MainWindowButtonShowsTheWindow) {
    m_form->BitBtn3Click();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown.front(), m_window.get());
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("代码管理"));
    m_window->Button3Click();
    EXPECT_FALSE(m_window->isVisible());
}

}  // namespace

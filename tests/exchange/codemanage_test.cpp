// The code-table window: each button runs the update of its table and tells how it ended. The
// update itself is tested without windows (core/codetables_test.cpp).
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>

#include "CodeManage.h"
#include "Dialogs.h"
#include "FakeArchiver.h"
#include "MainWindowFixture.h"
#include "QtPrinters.h"
#include "TableRows.h"
#include "ui_CodeManage.h"

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

namespace {

struct Target {
    const char* name;
    std::function<void(TFcodeManage&)> packageClick;
    std::function<void(TFcodeManage&)> fileClick;
    std::function<store::Table&()> table;
    std::function<QLineEdit*(TFcodeManage&)> edit;
    const exchange::CodeTable* code;
    const char* copiedMessage;
    const char* line;  // one row of the table, as its text file and its table file hold it
    const char* fields;
};

void PrintTo(const Target& t, std::ostream* os) {
    *os << t.name;
}

const Target kTargets[] = {
    {"Dfjhzdxx", &TFcodeManage::Button4Click, &TFcodeManage::Button2Click,
     []() -> store::Table& { return DM->TblDFJHZDXX; },
     [](TFcodeManage& f) { return f.form()->Edit1; }, &exchange::kDfjhzdxx,
     "更新“课题来源”下级菜单成功!", "01\t01\tx", "item_126 C(2)\titem_41_ C(2)\txxmc C(60)"},
    {"Ztflh", &TFcodeManage::Button6Click, &TFcodeManage::Button7Click,
     []() -> store::Table& { return DM->Tztflh2; }, [](TFcodeManage& f) { return f.form()->Edit3; },
     &exchange::kZtflh, "更新“中图分类号”菜单成功!", "1\tA\tx", "jb C(1)\txxdm C(12)\txxmc C(100)"},
    {"Xkfl", &TFcodeManage::Button8Click, &TFcodeManage::Button9Click,
     []() -> store::Table& { return DM->Txkfl2; }, [](TFcodeManage& f) { return f.form()->Edit4; },
     &exchange::kXkfl, "更新“学科分类”菜单成功!", "1\t110\tx", "jb C(1)\txxdm C(10)\txxmc C(60)"},
    {"Lsbw", &TFcodeManage::Button10Click, &TFcodeManage::Button11Click,
     []() -> store::Table& { return DM->tblLsbw; }, [](TFcodeManage& f) { return f.form()->Edit5; },
     &exchange::kLsbw, "更新“隶属部委”菜单成功!", "001\tx", "Bwdm C(3)\tBwmc C(60)"},
};

class CodeManageTest : public testsupport::MainWindowTest {
protected:
    void SetUp() override {
        start({});
        m_window = std::make_unique<TFcodeManage>(*DM, m_form.get());
        FcodeManage = m_window.get();
        m_archiver.contents = folder() / "contents";
        fs::create_directories(m_archiver.contents);
    }
    void TearDown() override {
        FcodeManage = nullptr;
        m_window.reset();
        MainWindowTest::TearDown();
    }

    fs::path folder() const { return fs::path(m_dir.path().toStdString()); }
    QStringList boxTexts() const {
        QStringList texts;
        for (const auto& box : m_boxes.boxes) {
            texts << box.text;
        }
        return texts;
    }
    void choose(const fs::path& path) {
        m_boxes.fileNames.push_back(QString::fromStdString(path.string()));
    }

    QTemporaryDir m_dir;
    widgets::ScriptedDialogs m_boxes;
    testsupport::FakeArchiver m_archiver;
    std::unique_ptr<TFcodeManage> m_window;
};

class CodeManageTargets : public CodeManageTest, public ::testing::WithParamInterface<Target> {};

TEST_P(CodeManageTargets, EachButtonUpdatesItsTableAndSaysSo) {
    const Target& t = GetParam();
    std::ofstream(m_archiver.contents / t.code->textFile) << t.line << "\r\n";
    // A longer name with the package's ending is accepted.
    const fs::path package = folder() / (std::string("new") + t.code->packageName);
    choose(package);
    t.packageClick(*m_window);
    EXPECT_EQ(t.edit(*m_window)->text().toStdString(), package.string());
    EXPECT_EQ(testsupport::datasetRows(t.table()).size(), 1u);

    const fs::path file = folder() / t.code->tableFile;
    store::writeTable(
        store::parseTableText(std::string(t.fields) + "\n" + t.line + "\n" + t.line + "\n",
                              "replacement"),
        file.string());
    choose(file);
    t.fileClick(*m_window);
    EXPECT_EQ(boxTexts(),
              (QStringList{QStringLiteral("导入更新成功！"), QString::fromUtf8(t.copiedMessage)}));
    ASSERT_TRUE(t.table().active());
    EXPECT_EQ(testsupport::datasetRows(t.table()).size(), 2u);
}

TEST_P(CodeManageTargets, WrongNamesChangeNothing) {
    const Target& t = GetParam();
    const Rows before = testsupport::datasetRows(t.table());
    m_boxes.fileNames = {QStringLiteral("/tmp/OTHER.ARJ"), QStringLiteral("/tmp/OTHER.DBF")};
    t.packageClick(*m_window);
    t.fileClick(*m_window);
    const QString file = QString::fromUtf8(t.code->tableFile);
    EXPECT_EQ(boxTexts(),
              (QStringList{QStringLiteral("请选择正确导入包,名字是") +
                               QString::fromUtf8(t.code->packageName) + QStringLiteral("!"),
                           QStringLiteral("请选择正确的文件（") + file + QStringLiteral("）！")}));
    EXPECT_EQ(m_boxes.boxes.front().title, QStringLiteral("请注意！"));
    EXPECT_TRUE(m_archiver.extracted.empty());
    ASSERT_TRUE(t.table().active());
    EXPECT_EQ(testsupport::datasetRows(t.table()), before);
}

INSTANTIATE_TEST_SUITE_P(Tables, CodeManageTargets, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CodeManageTest, CancelledChoicesChangeNothing) {
    const Rows before = testsupport::datasetRows(DM->TblDFJHZDXX);
    m_window->form()->Edit1->setText(QStringLiteral("old"));
    m_window->Button4Click();
    m_window->Button2Click();
    EXPECT_EQ(m_window->form()->Edit1->text(), QString());
    EXPECT_TRUE(m_boxes.boxes.empty());
    ASSERT_TRUE(DM->TblDFJHZDXX.active());
    EXPECT_EQ(testsupport::datasetRows(DM->TblDFJHZDXX), before);
}

// How a package that cannot replace the rows is told.
TEST_F(CodeManageTest, PackageFailuresAreTold) {
    struct Case {
        const char* name;
        const char* error;
        const char* file;
        const char* bytes;
        QString box;
    };
    const Case cases[] = {
        {"ArchiverFails", "解压“DFJHXX.ARJ”失败（arj的退出状态为7）。", nullptr, nullptr,
         QStringLiteral("解压“DFJHXX.ARJ”失败（arj的退出状态为7）。")},
        {"NoTextFile", "", "OTHER.TXT", "x", QStringLiteral("导入包中没有“DFJHXX.TXT”！")},
        {"Refused", "", "DFJHXX.TXT", "01\t01\r\n",
         QStringLiteral("文件的格式不正确\n“DFJHXX.TXT”中有1条记录的列数不是代码表的3列。\n"
                        "代码表没有改动。")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_boxes.boxes.clear();
        fs::remove_all(m_archiver.contents);
        fs::create_directories(m_archiver.contents);
        if (c.file != nullptr) {
            std::ofstream(m_archiver.contents / c.file) << c.bytes;
        }
        m_archiver.error = c.error;
        choose(folder() / "DFJHXX.ARJ");
        m_window->Button4Click();
        EXPECT_EQ(boxTexts(), QStringList{c.box});
    }
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

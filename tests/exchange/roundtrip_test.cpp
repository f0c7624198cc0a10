// From one installation to another through the real windows and Debian's arj: records of the
// three types with their child rows leave one data directory in a package and arrive in
// another field by field as they were.
#include <gtest/gtest.h>

#include <QFileSystemModel>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>

#include "Dialogs.h"
#include "MainWindowFixture.h"
#include "QtPrinters.h"
#include "TableRows.h"
#include "Unitin.h"
#include "Unitout.h"
#include "ui_Unitout.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

class RoundTripTest : public MainWindowTest {
protected:
    // The first installation's records: a name with an apostrophe, memos holding CR LF, TAB
    // and a leading quote, numbers and a date, and child rows of every kind.
    void fillFirstInstallation() {
        append("cgwcdw.DBF", {{{"ITEM_4", "2023000001"},
                               {"ITEM_DQDM", "."},
                               {"ITEM_176", "1"},
                               {"ITEM_170", "合作单位\t一"},
                               {"ITEM_175", "联系人"}},
                              {{"ITEM_4", "2022000007"},
                               {"ITEM_DQDM", "."},
                               {"ITEM_176", "1"},
                               {"ITEM_170", "合作单位二"}}});
        append("jdwyhmd.DBF", {{{"ITEM_4", "2023000002"},
                                {"ITEM_DQDM", "."},
                                {"ITEM_190", "1"},
                                {"ITEM_191", "王五"},
                                {"ITEM_199", "教授"}}});
        append("zlqk.DBF", {{{"ITEM_4", "2023000001"},
                             {"ITEM_DQDM", "."},
                             {"ITEM_NO", "1"},
                             {"PATENT_NO", "ZL2023001"},
                             {"PATENT_NAM", "一种\"装置\""}}});
        start({record("2023000001", "1",
                      {{"ITEM_3", "它's 成果"},
                       {"ITEM_9", "完成单位"},
                       {"ITEM_121", "2020-05-06"},
                       {"ITEM_13", "第一段\r\n第二段\t制表"},
                       {"ITEM_13_1", "\"引号开头\"\r\n"},
                       {"ITEM_45", "12"},
                       {"ITEM_151", "3.5"}}),
               record("2023000002", "2",
                      {{"ITEM_3", "软科学成果"},
                       {"ITEM_121", "2021-01-31"},
                       {"ITEM_133", "甲\t乙\r\n丙"}}),
               record("2022000007", "3",
                      {{"ITEM_3", "基础理论成果"},
                       {"ITEM_121", "2022-12-01"},
                       {"ITEM_303", "一行\r\n\r\n三行"}})},
              {{{"ITEM_4", "2023000001"},
                {"ITEM_DQDM", "."},
                {"ITEM_187", "1"},
                {"ITEM_180", "张三"},
                {"ITEM_185", "单位"},
                {"ITEM_186", "简介\t第二部分"},
                {"ITEM_188", "1"}},
               {{"ITEM_4", "2023000002"},
                {"ITEM_DQDM", "."},
                {"ITEM_187", "1"},
                {"ITEM_180", "O'Neil"},
                {"ITEM_188", "0"}},
               {{"ITEM_4", "2022000007"},
                {"ITEM_DQDM", "."},
                {"ITEM_187", "1"},
                {"ITEM_180", "李四"},
                {"ITEM_188", "0"}}});
    }

    // Every record into the package folder through the export window.
    void exportEverything() {
        TFormout out(*m_form, m_form.get());
        Formout = &out;
        out.showDialog();
        auto* folders = qobject_cast<QFileSystemModel*>(out.form()->DirectoryListBox1->model());
        out.form()->DirectoryListBox1->setCurrentIndex(folders->index(m_packages.path()));
        out.form()->RadioButton5->click();
        out.Button2Click();
        out.Button1Click();
        Formout = nullptr;
    }

    // The second installation in place of the first, whose data directory is kept aside.
    void switchInstallation() {
        TearDown();
        fs::rename(m_program.data(), firstData());
        fs::rename(m_second.data(), m_program.data());
        start({});
    }

    fs::path firstData() const { return fs::path(m_kept.path().toStdString()) / "data"; }

    // The rows of table as the first and the second installation hold them, in one order.
    std::pair<std::vector<Row>, std::vector<Row>> bothSides(const std::string& table) const {
        auto sorted = [](std::vector<Row> rows) {
            std::sort(rows.begin(), rows.end());
            return rows;
        };
        return {sorted(readRows(firstData() / table)), sorted(readRows(m_program.file(table)))};
    }

    widgets::ScriptedDialogs m_dialogs;
    QTemporaryDir m_packages;
    QTemporaryDir m_kept;
    ProgramDir m_second;
};

TEST_F(RoundTripTest, RecordsArriveFieldByFieldAsTheyLeft) {
    fillFirstInstallation();
    exportEverything();
    const QString package = m_packages.path() + QStringLiteral("/dovaqy.arj");
    ASSERT_TRUE(fs::exists(package.toStdString()));

    switchInstallation();
    TFormin in(*m_form, m_form.get());
    Formin = &in;
    in.FormShow();
    m_dialogs.boxes.clear();
    m_dialogs.fileNames.push_back(package);
    in.Button1Click();
    in.Button3Click();
    in.Button6Click();
    // Leaving the dialog shows the stored records in the main window, numbered.
    in.Button5Click();
    Formin = nullptr;
    QStringList texts;
    for (const auto& box : m_dialogs.boxes) {
        texts << box.text;
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("导入完毕！"), QStringLiteral("入库完毕!")}));

    // The second installation had no record of these years, so the keys stay; the export mark
    // is the only field that differs.
    auto [sent, arrived] = bothSides("hvel.DBF");
    ASSERT_EQ(sent.size(), 3u);
    ASSERT_EQ(arrived.size(), 3u);
    EXPECT_EQ(findRow(m_program.file("hvel.DBF"), "ITEM_3", "它's 成果")["ITEM_13"],
              "第一段\r\n第二段\t制表");
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i]["ITEM_SJDC"], "1");
        EXPECT_EQ(arrived[i]["ITEM_SJDC"], "0");
        sent[i].erase("ITEM_SJDC");
        arrived[i].erase("ITEM_SJDC");
        EXPECT_EQ(arrived[i], sent[i]);
    }
    for (const char* table : {"cgwcr.DBF", "cgwcdw.DBF", "jdwyhmd.DBF", "zlqk.DBF"}) {
        SCOPED_TRACE(table);
        const auto [sentRows, arrivedRows] = bothSides(table);
        EXPECT_FALSE(arrivedRows.empty());
        EXPECT_EQ(arrivedRows, sentRows);
    }
}

}  // namespace
}  // namespace testsupport

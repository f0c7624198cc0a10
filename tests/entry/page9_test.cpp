// The appraisal certificate page "鉴定证书内容" and the help windows.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "GlyphButton.h"
#include "PageFixture.h"
#include "Unit2.h"
#include "Unitpage9.h"
#include "ui_Unit1.h"
#include "ui_Unitpage9.h"
#include "yyPrintUnit13.h"

using testsupport::record;
using testsupport::Row;

namespace {

class Page9Test : public testsupport::PageFixture {
protected:
    void openPage(Row fields = {}, int typeIndex = 0) {
        openRecords({record("2004000001", typeIndex == 0 ? "1" : "2", std::move(fields))},
                    typeIndex);
        page = std::make_unique<TFpage9>(*m_form);
        p = page->form();
        page->loadRecord(DM->Qryhvel);
    }

    void TearDown() override {
        page.reset();
        PageFixture::TearDown();
    }

    std::unique_ptr<TFpage9> page;
    Ui::TFpage9* p = nullptr;
};

TEST_F(Page9Test, LoadsTheCertificate) {
    openPage({{"ITEM_301", "鉴字[2004]第12号"},
              {"ITEM_302", "2004.03.05"},
              {"ITEM_303", "同意通过鉴定。\r\n第二行"}});
    EXPECT_EQ(p->Edt_301->text(), QStringLiteral("鉴字[2004]第12号"));
    EXPECT_FALSE(p->CheckBox_302->isChecked());
    EXPECT_EQ(p->DTP_302->date(), QDate(2004, 3, 5));
    EXPECT_FALSE(p->DTP_302->isHidden());
    EXPECT_TRUE(p->EDT_302->isHidden());
    EXPECT_EQ(p->Mo_303->toPlainText(), QStringLiteral("同意通过鉴定。\n第二行"));
    EXPECT_TRUE(p->Mo_13_2->toPlainText().isEmpty());
    EXPECT_TRUE(page->isUnchanged());
}

TEST_F(Page9Test, UnreadableDateIsReportedAndThePageStillLoads) {
    openPage({{"ITEM_302", "2004.13.40"}});
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral(
                              "本项登记日期：'2004.13.40'不是正确的时间格式！现在已经更换。")});
}

struct SaveCase {
    const char* name;
    bool cleared;
    QDate date;
    const char* memo;  // typed into 鉴定意见
    Row expected;
};

void PrintTo(const SaveCase& c, std::ostream* os) {
    *os << c.name;
}

class Page9SaveTest : public Page9Test, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(Page9SaveTest, StoresTheFields) {
    const SaveCase& c = GetParam();
    openPage({{"ITEM_302", "2003.01.01"}});
    p->Edt_301->setText(QStringLiteral("证书号"));
    p->CheckBox_302->setChecked(c.cleared);
    p->DTP_302->setDate(c.date);
    p->Mo_303->setPlainText(QString::fromUtf8(c.memo));
    TMainForm::setSectionKind(ui->btn_page09, false);
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
    EXPECT_EQ(ui->btn_page09->kind(), GlyphButton::Kind::Yes);
    EXPECT_EQ(ui->btn_page09->text(), QStringLiteral("鉴定证书内容"));
    const Row row = stored("2004000001");
    for (const auto& [field, value] : c.expected) {
        EXPECT_EQ(row.at(field), value) << field;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Page9SaveTest,
    ::testing::Values(
        SaveCase{"date_as_text",
                 false,
                 QDate(2004, 3, 5),
                 "意见",
                 {{"ITEM_301", "证书号"}, {"ITEM_302", "2004.03.05"}, {"ITEM_303", "意见"}}},
        SaveCase{"cleared_date_is_empty", true, QDate(2004, 3, 5), "意见", {{"ITEM_302", ""}}},
        SaveCase{"tab_becomes_blank",
                 false,
                 QDate(2004, 3, 5),
                 "甲\t乙\n丙",
                 {{"ITEM_303", "甲 乙\r\n丙"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Page9Test, ClearedDateShowsTheEditAndClickingItBringsThePickerBack) {
    openPage({});
    EXPECT_TRUE(p->CheckBox_302->isChecked());
    EXPECT_TRUE(p->DTP_302->isHidden());
    EXPECT_FALSE(p->EDT_302->isHidden());
    QTest::mouseClick(p->EDT_302, Qt::LeftButton);
    EXPECT_FALSE(p->CheckBox_302->isChecked());
    EXPECT_FALSE(p->DTP_302->isHidden());
    EXPECT_TRUE(p->EDT_302->isHidden());
}

TEST_F(Page9Test, ChangeCheckSeesEveryControl) {
    openPage({{"ITEM_302", "2004.03.05"}, {"ITEM_13_2", "前景  "}});
    EXPECT_TRUE(page->isUnchanged());
    p->Mo_13_2->setPlainText(QStringLiteral("前景"));  // trimmed texts compare
    EXPECT_TRUE(page->isUnchanged());
    p->DTP_302->setDate(QDate(2004, 3, 6));
    EXPECT_FALSE(page->isUnchanged());
    p->DTP_302->setDate(QDate(2004, 3, 5));
    p->CheckBox_302->setChecked(true);
    EXPECT_FALSE(page->isUnchanged());
}

class Page9HelpTest : public Page9Test, public ::testing::WithParamInterface<int> {};

TEST_P(Page9HelpTest, HelpFollowsTheType) {
    const int typeIndex = GetParam();
    openPage({}, typeIndex);
    THelpForm applied;
    THelpForm_rj others;
    RecordPage::setHelpWindows(&applied, &others);
    page->Button3Click();
    RecordPage::setHelpWindows(nullptr, nullptr);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0],
              typeIndex == 0 ? static_cast<QDialog*>(&applied) : static_cast<QDialog*>(&others));
    EXPECT_EQ(m_boxes.shown[0]->windowTitle(), QStringLiteral("帮助信息"));
}

INSTANTIATE_TEST_SUITE_P(Types, Page9HelpTest, ::testing::Values(0, 1), [](const auto& info) {
    return std::string(info.param == 0 ? "applied" : "soft_science");
});

TEST(HelpWindows, BackCloses) {
    THelpForm help;
    help.show();
    help.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    EXPECT_FALSE(help.isVisible());
    EXPECT_TRUE(help.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))
                    ->toPlainText()
                    .startsWith(QStringLiteral("一、 操作说明")));
}

}  // namespace

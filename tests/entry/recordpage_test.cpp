// The record-page frame: value forms, control conventions, save and exit.
#include <gtest/gtest.h>

#include "ExitWays.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "PageFixture.h"
#include "RecordPage.h"
#include "ui_Unit1.h"

using testsupport::record;
using testsupport::Row;

namespace {

// A page with one control of every value form, over fields of section 03.
class TestPage : public RecordPage {
public:
    explicit TestPage(widgets::MainWindowOperations& mainWindow)
        : RecordPage(mainWindow, QStringLiteral("03")) {
        auto* save = button("btnSave01");
        auto* help = button("Button3");
        quit = button("quit01");
        edt_130 = make<QLineEdit>("Edt_130");
        cb_21 = make<QComboBox>("cb_21");
        panel = make<QFrame>("Pl_126");
        for (const char* name : {"cb_126_01", "cb_126_02", "cb_126_03"}) {
            auto* box = new QCheckBox(panel);
            box->setObjectName(QString::fromLatin1(name));
            boxes.push_back(box);
        }
        edt_45 = make<QLineEdit>("Edt_45");
        memo = make<QPlainTextEdit>("Mo_133");
        date = make<QDateEdit>("DTP_121");
        textDate.clear = make<QCheckBox>("CheckBox_34");
        textDate.picker = make<QDateEdit>("DTP_34");
        textDate.placeholder = make<QLineEdit>("Edit_34");

        setUpFrame(save, help, quit);
        numericEdit(edt_45);
        singleSelectPanel(panel);
        clearBlankOnClick(memo);
        setFields({
            required(textField(edt_130, "ITEM_130", QStringLiteral("评价单位"))),
            codeField(cb_21, "ITEM_21", QStringLiteral("评价方式"), QStringLiteral("item_21")),
            choiceField(panel, "ITEM_126", QStringLiteral("课题来源"), 2),
            numberField(edt_45, "ITEM_45"),
            memoField(memo, "ITEM_133", QStringLiteral("测试报告")),
            dateField(date, "ITEM_121", QStringLiteral("登记日期"), QStringLiteral("'"),
                      QStringLiteral("'不是正确的时间格式！现在已经更换。")),
            textDateField(textDate, "ITEM_34", QStringLiteral("评价日期"),
                          QStringLiteral("本项评价日期：'"),
                          QStringLiteral("' 不是正确的时间格式！现在已经更换。")),
        });
    }

    template <typename T>
    T* make(const char* name, QWidget* parent = nullptr) {
        auto* widget = new T(parent != nullptr ? parent : this);
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    }
    QPushButton* button(const char* name) { return make<QPushButton>(name); }

    QPushButton* quit = nullptr;
    QLineEdit* edt_130 = nullptr;
    QComboBox* cb_21 = nullptr;
    QFrame* panel = nullptr;
    std::vector<QCheckBox*> boxes;
    QLineEdit* edt_45 = nullptr;
    QPlainTextEdit* memo = nullptr;
    QDateEdit* date = nullptr;
    TextDateControls textDate;
};

const Row kStored = {{"ITEM_130", "省科技厅"},
                     {"ITEM_21", "2"},
                     {"ITEM_126", "03;"},
                     {"ITEM_45", "12"},
                     {"ITEM_133", "第一行\r\n第二行"},
                     {"ITEM_121", "2004-03-10"},
                     {"ITEM_34", "2004.05.06"}};

class RecordPageTest : public testsupport::PageFixture {
protected:
    void openPage(Row fields = kStored) {
        openRecords({record("2004000001", "1", std::move(fields))});
        page = std::make_unique<TestPage>(*m_form);
        QObject::connect(page.get(), &QDialog::finished, [this] { ++m_closes; });
        page->loadRecord(DM->Qryhvel);
    }

    void TearDown() override {
        page.reset();
        PageFixture::TearDown();
    }

    std::string storedField(const char* field) const { return stored("2004000001").at(field); }

    std::unique_ptr<TestPage> page;
    int m_closes = 0;
};

TEST_F(RecordPageTest, LoadsEveryValueForm) {
    openPage();
    EXPECT_EQ(page->edt_130->text(), QStringLiteral("省科技厅"));
    EXPECT_EQ(page->cb_21->currentText(), QStringLiteral("2  验收"));
    EXPECT_TRUE(page->boxes[2]->isChecked());
    EXPECT_FALSE(page->boxes[0]->isChecked());
    EXPECT_EQ(page->edt_45->text(), QStringLiteral("12"));
    EXPECT_EQ(page->memo->toPlainText(), QStringLiteral("第一行\n第二行"));
    EXPECT_EQ(page->date->date(), QDate(2004, 3, 10));
    EXPECT_FALSE(page->textDate.clear->isChecked());
    EXPECT_EQ(page->textDate.picker->date(), QDate(2004, 5, 6));
    EXPECT_TRUE(page->textDate.picker->isVisibleTo(page.get()));
    EXPECT_FALSE(page->textDate.placeholder->isVisibleTo(page.get()));
    EXPECT_TRUE(page->isUnchanged());
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(RecordPageTest, SaveWritesEveryValueFormAndMarksTheSection) {
    openPage();
    TMainForm::setSectionKind(ui->btn_page03, false);
    page->edt_130->setText(QStringLiteral("新单位"));
    page->cb_21->setCurrentIndex(page->cb_21->findText(QStringLiteral("5  评估")));
    page->boxes[0]->click();  // single choice: 03 goes
    page->edt_45->clear();
    page->memo->setPlainText(QStringLiteral("甲\t乙\n丙"));
    page->date->setDate(QDate(2004, 4, 1));
    page->textDate.clear->setChecked(true);
    EXPECT_FALSE(page->isUnchanged());

    EXPECT_TRUE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
    EXPECT_TRUE(complete(ui->btn_page03));
    EXPECT_EQ(ui->btn_page03->text(), QStringLiteral("课题立项，评价情况"));
    EXPECT_EQ(storedField("ITEM_130"), "新单位");
    EXPECT_EQ(storedField("ITEM_21"), "5");
    EXPECT_EQ(storedField("ITEM_126"), "01;");
    EXPECT_EQ(storedField("ITEM_45"), "");  // emptied, not 0
    EXPECT_EQ(storedField("ITEM_133"), "甲 乙\r\n丙");
    EXPECT_EQ(page->memo->toPlainText(), QStringLiteral("甲 乙\n丙"));
    EXPECT_EQ(storedField("ITEM_121"), "2004-04-01");
    EXPECT_EQ(storedField("ITEM_34"), "");
    EXPECT_TRUE(page->isUnchanged());

    page->textDate.clear->setChecked(false);
    page->textDate.picker->setDate(QDate(2005, 1, 2));
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_34"), "2005.01.02");
}

TEST_F(RecordPageTest, CodeTheListDoesNotOfferIsKept) {
    Row fields = kStored;
    fields["ITEM_21"] = "8";
    openPage(fields);
    EXPECT_EQ(page->cb_21->currentText(), QStringLiteral("8"));
    EXPECT_TRUE(page->isUnchanged());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_21"), "8");

    page->cb_21->setCurrentIndex(0);
    EXPECT_FALSE(page->isUnchanged());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_21"), "1");
}

TEST_F(RecordPageTest, FailedPostWritesNothingAndKeepsTheInput) {
    openPage();
    page->edt_130->setText(QStringLiteral("新单位"));
    page->edt_45->setText(QStringLiteral("99"));
    page->memo->setPlainText(QStringLiteral("GBK has no \U0001F600"));
    EXPECT_FALSE(page->btnSave01Click());

    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("提示"));
    EXPECT_EQ(m_boxes.boxes[0].buttons, widgets::Ok);
    EXPECT_EQ(storedField("ITEM_130"), "省科技厅");
    EXPECT_EQ(storedField("ITEM_45"), "12");
    EXPECT_EQ(DM->Qryhvel.state(), store::Dataset::State::Browse);
    EXPECT_EQ(DM->Qryhvel.field("ITEM_130").asText(), "省科技厅");
    EXPECT_EQ(page->edt_130->text(), QStringLiteral("新单位"));
    EXPECT_TRUE(complete(ui->btn_page03));  // the mark is not touched
}

TEST_F(RecordPageTest, TextIsHeldToTheFieldsGbkWidthAtTheEdit) {
    openPage();
    page->edt_130->clear();
    page->edt_130->insert(QString(50, QChar(0x7532)));  // 100 bytes for an 80-byte field
    EXPECT_EQ(page->edt_130->text().size(), 40);
    QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("乙"));
    QApplication::sendEvent(page->edt_130, &typed);
    EXPECT_EQ(page->edt_130->text().size(), 40);
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_130"), QString(40, QChar(0x7532)).toStdString());
}

TEST_F(RecordPageTest, NumericEditTakesDigitsAndResetsPastedText) {
    openPage();
    page->edt_45->clear();
    page->edt_45->setFocus();
    QTest::keyClicks(page->edt_45, QStringLiteral("1a2.3 "));
    EXPECT_EQ(page->edt_45->text(), QStringLiteral("123"));
    EXPECT_TRUE(m_boxes.boxes.empty());

    page->edt_45->clear();
    QApplication::clipboard()->setText(QStringLiteral("12a"));
    page->edt_45->paste();
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("12a 不是正确的数据格式！现在已经置零")});
    EXPECT_EQ(page->edt_45->text(), QStringLiteral("0"));
}

TEST_F(RecordPageTest, ClickingABlankMemoEmptiesIt) {
    openPage();
    page->memo->setPlainText(QStringLiteral("  \n \n"));
    QTest::mouseClick(page->memo->viewport(), Qt::LeftButton);
    EXPECT_TRUE(page->memo->toPlainText().isEmpty());
    page->memo->setPlainText(QStringLiteral(" 文字 \n"));
    QTest::mouseClick(page->memo->viewport(), Qt::LeftButton);
    EXPECT_EQ(page->memo->toPlainText(), QStringLiteral(" 文字 \n"));
}

TEST_F(RecordPageTest, TextDateClearedAndUnreadable) {
    Row fields = kStored;
    fields["ITEM_34"] = "";
    openPage(fields);
    EXPECT_TRUE(page->textDate.clear->isChecked());
    EXPECT_TRUE(page->textDate.placeholder->isVisibleTo(page.get()));
    EXPECT_FALSE(page->textDate.picker->isVisibleTo(page.get()));
    QTest::mouseClick(page->textDate.placeholder, Qt::LeftButton);
    EXPECT_FALSE(page->textDate.clear->isChecked());
    EXPECT_TRUE(page->textDate.picker->isVisibleTo(page.get()));

    page->textDate.picker->setDate(QDate(2003, 1, 1));
    fields["ITEM_34"] = "2004.13.45";
    DM->Qryhvel.edit();
    DM->Qryhvel.field("ITEM_34").set(store::Value("2004.13.45"));
    DM->Qryhvel.post();
    page->loadRecord(DM->Qryhvel);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral(
                              "本项评价日期：'2004.13.45' 不是正确的时间格式！现在已经更换。")});
    EXPECT_EQ(page->textDate.picker->date(), QDate(2003, 1, 1));
}

TEST_F(RecordPageTest, HelpFollowsTheType) {
    openPage();
    QDialog applied;
    QDialog others;
    RecordPage::setHelpWindows(&applied, &others);
    page->Button3Click();
    ui->ComboBox1->setCurrentIndex(1);
    page->Button3Click();
    EXPECT_EQ(m_boxes.shown, (std::vector<QDialog*>{&applied, &others}));
    RecordPage::setHelpWindows(nullptr, nullptr);
}

TEST_F(RecordPageTest, ClosingThePageEvaluatesTheLock) {
    openPage();
    TMainForm::setSectionKind(ui->btn_page04, false);
    EXPECT_TRUE(ui->DBGrid1->isEnabled());
    page->quit01Click();
    EXPECT_EQ(m_closes, 1);
    EXPECT_FALSE(ui->DBGrid1->isEnabled());
}

// ---- the exit procedure -------------------------------------------------------------------

using testsupport::Way;
using testsupport::wayName;

struct ExitCase {
    const char* name;
    std::function<void(TestPage&)> edit;
    std::vector<int> answers;
    std::vector<const char*> messages;  // "" stands for the table's own error text
    bool closes;
    const char* storedName;  // ITEM_130 afterwards
    const char* shownName;   // Edt_130 afterwards
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

class ExitTest : public RecordPageTest,
                 public ::testing::WithParamInterface<std::tuple<ExitCase, Way>> {};

TEST_P(ExitTest, ChecksAsksAndSaves) {
    const auto& [c, way] = GetParam();
    openPage();
    for (int answer : c.answers) {
        m_boxes.answers.push_back(answer);
    }
    m_boxes.onExec = [&, way = way](QDialog&) {
        c.edit(*page);
        testsupport::leave(*page, *page->quit, way);
    };
    page->showPage();

    ASSERT_EQ(m_boxes.boxes.size(), c.messages.size());
    for (size_t i = 0; i < c.messages.size(); ++i) {
        if (*c.messages[i] != '\0') {
            EXPECT_EQ(m_boxes.boxes[i].text, QString::fromUtf8(c.messages[i]));
        } else {
            EXPECT_EQ(m_boxes.boxes[i].title, QStringLiteral("提示"));
        }
    }
    if (!c.answers.empty()) {
        EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("请注意！"));
        EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Question);
        EXPECT_EQ(m_boxes.boxes[0].buttons, widgets::Yes | widgets::No);
    }
    EXPECT_EQ(m_closes, c.closes ? 1 : 0);
    EXPECT_EQ(storedField("ITEM_130"), c.storedName);
    EXPECT_EQ(page->edt_130->text(), QString::fromUtf8(c.shownName));
}

void rename(TestPage& page) {
    page.edt_130->setText(QStringLiteral("新单位"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitTest,
    ::testing::Combine(::testing::Values(
                           ExitCase{
                               "unchanged", [](TestPage&) {}, {}, {}, true, "省科技厅", "省科技厅"},
                           ExitCase{"changed_no",
                                    rename,
                                    {widgets::No},
                                    {"记录已经更改,是否保存？"},
                                    true,
                                    "省科技厅",
                                    "新单位"},
                           ExitCase{"changed_yes",
                                    rename,
                                    {widgets::Yes},
                                    {"记录已经更改,是否保存？", "存储成功！"},
                                    true,
                                    "新单位",
                                    "新单位"},
                           // The save fails on a value the table refuses: the page stays open.
                           ExitCase{"changed_yes_failing_save",
                                    [](TestPage& page) {
                                        rename(page);
                                        page.memo->setPlainText(QStringLiteral("\U0001F600"));
                                    },
                                    {widgets::Yes},
                                    {"记录已经更改,是否保存？", ""},
                                    false,
                                    "省科技厅",
                                    "新单位"},
                           ExitCase{"required_field_empty",
                                    [](TestPage& page) { page.edt_130->clear(); },
                                    {},
                                    {"\"评价单位\"不能为空！"},
                                    false,
                                    "省科技厅",
                                    ""}),
                       ::testing::Values(Way::Button, Way::Escape, Way::WindowClose)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_by_" +
               wayName(std::get<1>(info.param));
    });

}  // namespace

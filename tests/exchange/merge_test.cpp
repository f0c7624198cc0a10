// The import dialog drives the merge: the same-name check's question and the rename panel,
// "保存" and "同名覆盖" with what they tell and the buttons they leave, records that cannot be
// stored, and the duplicate list. The merge itself is tested without windows
// (core/merge_test.cpp).
#include <QCloseEvent>
#include <QCoreApplication>
#include <QProgressBar>

#include "ImportFixture.h"

namespace testsupport {
namespace {

class MergeDialogTest : public ImportTest {
protected:
    // Stages records (with their child rows) as a read package would, ready for the merge.
    void stageRecords(const std::vector<Row>& records, const std::vector<Row>& persons = {},
                      const std::vector<Row>& patents = {}) {
        stage("hveltemp", records);
        stage("cgwcrtemp", persons);
        stage("zlqktemp", patents);
        DM->T_temp_in.first();
        for (QPushButton* button : {in->Button4, in->Button7, in->Button8}) {
            button->setEnabled(true);
        }
    }
};

TEST_F(MergeDialogTest, DroppingEveryDuplicateAndSavingStoresTheNewNames) {
    open({record("2024000001", "1", {{"ITEM_3", "旧的"}})});
    stageRecords({staged("2024000001", "旧的"), staged("2024000002", "新的")},
                 {stagedPerson("2024000001", "张三"), stagedPerson("2024000002", "李四")});
    m_dialogs.answers = {widgets::Yes};
    m_formin->Button4Click();

    EXPECT_EQ(boxTexts(), (QStringList{QStringLiteral("导入的项目“旧的”有重复,是否删除？"),
                                       QStringLiteral("排重已经完成！")}));
    EXPECT_EQ(m_dialogs.boxes.back().title, QStringLiteral("状态！"));
    EXPECT_EQ(column("cgwcrtemp.DBF", "ITEM_180"), std::vector<std::string>{"李四"});
    EXPECT_EQ(in->Label6->text(), QStringLiteral("记录条数:1条；"));
    ASSERT_TRUE(in->Button6->isEnabled());

    m_formin->Button6Click();
    EXPECT_EQ(column("hvel.DBF", "ITEM_3"), (std::vector<std::string>{"旧的", "新的"}));
    EXPECT_EQ(boxTexts().last(), QStringLiteral("入库完毕!"));
    EXPECT_EQ(in->Label6->text(), QStringLiteral("导入完毕。"));
    EXPECT_TRUE(in->Label2->text().isEmpty());
    EXPECT_TRUE(in->Button1->isEnabled());
    EXPECT_TRUE(in->Button5->isEnabled());
    for (QPushButton* button : {in->Button3, in->Button4, in->Button6, in->Button7, in->Button8}) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    }
}

TEST_F(MergeDialogTest, DroppingTheLastStagedRecordLeavesOnlyANewPackageToChoose) {
    open({record("2024000001", "1", {{"ITEM_3", "旧的"}})});
    stageRecords({staged("2024000001", "旧的")});
    m_dialogs.answers = {widgets::Yes};
    m_formin->Button4Click();
    EXPECT_EQ(boxTexts().last(), QStringLiteral("排重已经完成！"));
    EXPECT_TRUE(in->Button1->isEnabled());
    for (QPushButton* button : {in->Button4, in->Button6, in->Button7, in->Button8}) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    }
}

TEST_F(MergeDialogTest, ADuplicateKeptIsRenamedAndTheCheckStartsOver) {
    open({record("2024000001", "1", {{"ITEM_3", "它's"}})});
    stageRecords({staged("2024000001", "它's")});
    m_dialogs.answers = {widgets::No};
    m_formin->Button4Click();

    ASSERT_TRUE(in->Panel1->isVisibleTo(m_formin.get()));
    EXPECT_EQ(in->Edit2->text(), QStringLiteral("它's"));
    for (QWidget* control :
         std::initializer_list<QWidget*>{in->Button1, in->Button4, in->Button5, in->Button6,
                                         in->Button7, in->Button8, in->DBGrid1}) {
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }

    in->Edit2->setText(QStringLiteral("改过的"));
    m_formin->Button2Click();
    EXPECT_FALSE(in->Panel1->isVisibleTo(m_formin.get()));
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"改过的"});
    EXPECT_TRUE(in->Button4->isEnabled());
    EXPECT_TRUE(in->Button5->isEnabled());

    m_formin->Button4Click();
    EXPECT_EQ(boxTexts().last(), QStringLiteral("排重已经完成！"));
    EXPECT_TRUE(in->Button6->isEnabled());
}

TEST_F(MergeDialogTest, OverwriteTellsWhatWasAddedAndReplaced) {
    open({record("2024000003", "1", {{"ITEM_3", "它's"}})});
    stageRecords({staged("2024000009", "它's"), staged("2024000010", "新来的")});
    m_formin->Button8Click();
    EXPECT_EQ(column("hvel.DBF", "ITEM_3"), (std::vector<std::string>{"它's", "新来的"}));
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("入库完毕！新增1条,覆盖1条。")});
    EXPECT_EQ(in->Label6->text(), QStringLiteral("导入完毕。"));
    EXPECT_TRUE(in->Button1->isEnabled());
    EXPECT_FALSE(in->Button8->isEnabled());
}

// While the merge runs the window cannot be left: "退出", Esc and the close request find
// "退出" off, and the merge goes on to its end.
TEST_F(MergeDialogTest, TheWindowCannotBeLeftWhileTheMergeRuns) {
    open({});
    stageRecords({staged("2024000001", "第一"), staged("2024000002", "第二")});
    std::vector<bool> leaveOffered;
    QObject::connect(in->Gauge1, &QProgressBar::valueChanged, m_formin.get(), [&](int value) {
        if (value == 0) {
            return;
        }
        leaveOffered.push_back(in->Button5->isEnabled());
        in->Button5->click();
        static_cast<QDialog*>(m_formin.get())->reject();  // Esc
        QCloseEvent request;
        QCoreApplication::sendEvent(m_formin.get(), &request);
    });
    m_formin->Button6Click();

    EXPECT_EQ(leaveOffered, (std::vector<bool>{false, false}));
    EXPECT_EQ(m_formin->result(), 0);  // done() was never reached
    EXPECT_EQ(column("hvel.DBF", "ITEM_3"), (std::vector<std::string>{"第一", "第二"}));
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("入库完毕!")});
    EXPECT_TRUE(in->Button5->isEnabled());
}

// A person whose name the known-persons table cannot hold fails the record after its patents
// and persons were written.
class FailingMergeDialogTest : public MergeDialogTest {
protected:
    void SetUp() override {
        replaceTable("cgwcrNew.dbf",
                     "ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_187 N(10)\tITEM_180 C(2)\n");
    }
};

TEST_F(FailingMergeDialogTest, AFailedRecordIsToldAndTheWindowStaysUsable) {
    open({record("2024000001", "1", {{"ITEM_3", "老的"}})});
    stageRecords({staged("2024000001", "坏的"), staged("2024000002", "好的")},
                 {stagedPerson("2024000001", "名字很长的人")});
    m_formin->Button6Click();

    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"坏的"});
    ASSERT_EQ(m_dialogs.boxes.size(), 2u);
    EXPECT_EQ(m_dialogs.boxes[0].title, QStringLiteral("提示"));
    EXPECT_EQ(m_dialogs.boxes[1].text,
              QStringLiteral("入库未完成！1条记录未能入库，仍在导入列表中。"));
    // What is left can be dropped or stored again.
    EXPECT_TRUE(in->Button6->isEnabled());
    EXPECT_TRUE(in->Button7->isEnabled());
    EXPECT_TRUE(in->Button5->isEnabled());
    EXPECT_EQ(in->Label6->text(), QStringLiteral("记录条数:1条；"));
}

// A staged record that cannot be stored is told with its reason, after the counts.
TEST_F(MergeDialogTest, ARefusedRecordIsToldWithItsReason) {
    open({record("2024000001", "1", {{"ITEM_3", "坏的"}})});
    Row bad = staged("2024000002", "坏的");
    bad["ITEM_CGLB"] = "4";
    stageRecords({bad, staged("2024000005", "好的")});
    m_formin->Button8Click();
    EXPECT_EQ(boxTexts(),
              QStringList{QStringLiteral("入库未完成！新增1条,覆盖0条。1条记录未能入库，仍在导入列"
                                         "表中。\n“坏的”：成果类别“4”不是1、2或3，不能入库。")});
    EXPECT_TRUE(in->Button7->isEnabled());
    EXPECT_EQ(in->Label6->text(), QStringLiteral("记录条数:1条；"));
}

}  // namespace
}  // namespace testsupport

#include "SqlText.h"
#include "UnitDuoyu.h"
#include "ui_UnitDuoyu.h"

namespace testsupport {
namespace {

TEST_F(MergeDialogTest, TheDuplicateListStaysOpenUntilOneRowIsLeft) {
    open({record("2024000001", "1", {{"ITEM_3", "同名"}}),
          record("2024000002", "1", {{"ITEM_3", "同名"}}),
          record("2024000003", "1", {{"ITEM_3", "同名"}})},
         {stagedPerson("2024000001", "张三", "单位", ".")});
    TFormDuoyu list(m_form.get());
    RunQuerySql(DM->Query2, QStringLiteral("select * from hvel where item_3='同名'"));
    list.setResult(-1);

    list.form()->Button2->click();
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("还有重复信息，请删除。")});
    EXPECT_EQ(m_dialogs.boxes.back().title, QStringLiteral("提示信息"));
    EXPECT_EQ(list.result(), -1);

    list.form()->Button1->click();  // two left: still refused
    EXPECT_EQ(rows("hvel.DBF").size(), 2u);
    EXPECT_TRUE(rows("cgwcr.DBF").empty());  // the record's persons went with it
    EXPECT_EQ(list.result(), -1);
    list.form()->Button1->click();
    EXPECT_EQ(rows("hvel.DBF").size(), 1u);
    EXPECT_EQ(list.result(), QDialog::Accepted);
    list.setResult(-1);
    list.form()->Button1->click();  // the last row is never deleted
    EXPECT_EQ(rows("hvel.DBF").size(), 1u);
}

}  // namespace
}  // namespace testsupport

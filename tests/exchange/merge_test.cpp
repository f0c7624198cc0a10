// The import merge: the same-name check and renaming, storing under new keys, the known
// persons, the same-name overwrite, and a record that cannot be stored.
#include <algorithm>

#include "ImportFixture.h"

namespace testsupport {
namespace {

class MergeTest : public ImportTest {
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

    Row liveRecord(const std::string& name) {
        return findRow(m_program.file("hvel.DBF"), "ITEM_3", name);
    }
};

Row staged(const char* key, const char* name, const char* region = "A01") {
    return {{"ITEM_4", key}, {"ITEM_DQDM", region}, {"ITEM_CGLB", "1"}, {"ITEM_3", name}};
}

Row person(const char* key, const char* name, const char* unit = "单位",
           const char* region = "A01") {
    return {{"ITEM_4", key},
            {"ITEM_DQDM", region},
            {"ITEM_187", "1"},
            {"ITEM_180", name},
            {"ITEM_185", unit}};
}

Row patent(const char* key, const char* number, const char* region = "A01") {
    return {{"ITEM_4", key}, {"ITEM_DQDM", region}, {"ITEM_NO", "1"}, {"PATENT_NO", number}};
}

TEST_F(MergeTest, StoresEveryStagedRecordWithItsChildRowsUnderNewKeys) {
    open({record("2024000005", "1"), record("2023000001", "1")});
    stageRecords({staged("2024000001", "甲"), staged("2024000002", "乙"),
                  staged("2019000009", "丙"), staged("2019000003", "丁")},
                 {person("2024000001", "张三")}, {patent("2024000002", "ZL1")});
    m_formin->Button6Click();

    // Consecutive keys above the year's highest, in staging order; a record of a year without
    // live records keeps its key, and the next of that year follows it. Every stored row is
    // of this installation.
    EXPECT_EQ(liveRecord("甲")["ITEM_4"], "2024000006");
    EXPECT_EQ(liveRecord("乙")["ITEM_4"], "2024000007");
    EXPECT_EQ(liveRecord("丙")["ITEM_4"], "2019000009");
    EXPECT_EQ(liveRecord("丁")["ITEM_4"], "2019000010");
    EXPECT_EQ(liveRecord("甲")["ITEM_DQDM"], ".");
    const Row stored = findRow(m_program.file("cgwcr.DBF"), "ITEM_180", "张三");
    EXPECT_EQ(stored.at("ITEM_4"), "2024000006");
    EXPECT_EQ(stored.at("ITEM_DQDM"), ".");
    EXPECT_EQ(stored.at("ITEM_185"), "单位");
    EXPECT_EQ(findRow(m_program.file("zlqk.DBF"), "PATENT_NO", "ZL1").at("ITEM_4"), "2024000007");

    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
    EXPECT_TRUE(rows("zlqktemp.DBF").empty());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("入库完毕!")});
    EXPECT_EQ(in->Label6->text(), QStringLiteral("导入完毕。"));
    EXPECT_TRUE(in->Label2->text().isEmpty());
    EXPECT_TRUE(in->Button1->isEnabled());
    EXPECT_TRUE(in->Button5->isEnabled());
    for (QPushButton* button : {in->Button3, in->Button4, in->Button6, in->Button7, in->Button8}) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    }
}

TEST_F(MergeTest, OnlyChildRowsOfTheStagedRecordsRegionAreCopied) {
    open();
    stageRecords(
        {staged("2024000001", "甲", "A01")},
        {person("2024000001", "张三", "单位", "A01"), person("2024000001", "李四", "单位", "B02")});
    m_formin->Button6Click();

    EXPECT_EQ(column("cgwcr.DBF", "ITEM_180"), std::vector<std::string>{"张三"});
    // Rows that belong to no staged record are not kept either.
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
}

TEST_F(MergeTest, StagedPersonsEnterTheKnownPersons) {
    open();
    append("cgwcrNew.dbf", {{{"ITEM_180", "李四"}, {"ITEM_185", "旧单位"}},
                            {{"ITEM_180", "王五"}, {"ITEM_185", "甲单位"}},
                            {{"ITEM_180", "王五"}, {"ITEM_185", "乙单位"}}});
    DM->TblwcrNew.refresh();
    stageRecords({staged("2024000001", "甲")},
                 {person("2024000001", "张三", "新单位"), person("2024000001", "李四", "新单位"),
                  person("2024000001", "王五", "新单位")});
    m_formin->Button6Click();

    const auto known = rows("cgwcrNew.dbf");
    auto unitsOf = [&](const std::string& name) {
        std::vector<std::string> units;
        for (auto row : known) {
            if (row["ITEM_180"] == name) {
                units.push_back(row["ITEM_185"]);
            }
        }
        return units;
    };
    EXPECT_EQ(unitsOf("张三"), std::vector<std::string>{"新单位"});              // added
    EXPECT_EQ(unitsOf("李四"), std::vector<std::string>{"新单位"});              // overwritten
    EXPECT_EQ(unitsOf("王五"), (std::vector<std::string>{"甲单位", "乙单位"}));  // left alone
}

TEST_F(MergeTest, DroppingEveryDuplicateStoresOnlyTheNewNames) {
    open({record("2024000001", "1", {{"ITEM_3", "旧的"}})});
    stageRecords({staged("2024000001", "旧的"), staged("2024000002", "新的")},
                 {person("2024000001", "张三"), person("2024000002", "李四")});
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
}

TEST_F(MergeTest, ADuplicateKeptIsRenamedAndTheCheckStartsOver) {
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

TEST_F(MergeTest, SavingWithoutTheCheckStoresASameNamedRecordToo) {
    open({record("2024000001", "1", {{"ITEM_3", "同名"}})});
    stageRecords({staged("2024000001", "同名")});
    m_formin->Button6Click();
    EXPECT_EQ(column("hvel.DBF", "ITEM_4"), (std::vector<std::string>{"2024000001", "2024000002"}));
}

TEST_F(MergeTest, OverwriteReplacesTheSameNamedRecordWithItsChildRows) {
    open({record("2024000003", "1", {{"ITEM_3", "它's"}}), record("2024000001", "1")},
         {person("2024000003", "旧人", "单位", ".")});
    append("zlqk.DBF", {patent("2024000003", "旧专利", ".")});
    stageRecords(
        {staged("2024000009", "它's"), staged("2024000010", "新来的"), staged("2024000011", "")},
        {person("2024000009", "新人")});
    m_formin->Button8Click();

    // The replaced record's rows are gone, and it is stored again above the year's highest
    // remaining key.
    EXPECT_TRUE(findRow(m_program.file("cgwcr.DBF"), "ITEM_180", "旧人").empty());
    EXPECT_TRUE(rows("zlqk.DBF").empty());
    EXPECT_EQ(liveRecord("它's")["ITEM_4"], "2024000002");
    EXPECT_EQ(findRow(m_program.file("cgwcr.DBF"), "ITEM_180", "新人").at("ITEM_4"), "2024000002");
    EXPECT_EQ(liveRecord("新来的")["ITEM_4"], "2024000003");
    // A record without a name is neither stored nor counted.
    EXPECT_EQ(rows("hvel.DBF").size(), 3u);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("入库完毕！新增1条,覆盖1条。")});
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_EQ(in->Label6->text(), QStringLiteral("导入完毕。"));
}

TEST_F(MergeTest, UnderOverwriteALaterStagedRecordReplacesAnEarlierOneOfItsName) {
    open();
    stageRecords({staged("2024000001", "同名"), staged("2024000002", "同名")});
    m_formin->Button8Click();
    // With the first one replaced the year has no live record: the second keeps its key.
    EXPECT_EQ(column("hvel.DBF", "ITEM_4"), std::vector<std::string>{"2024000002"});
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("入库完毕！新增1条,覆盖1条。")});
}

// A person whose name the known-persons table cannot hold fails the record after its patents
// and persons were written.
class FailingMergeTest : public MergeTest {
protected:
    void SetUp() override {
        replaceTable("cgwcrNew.dbf",
                     "ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_187 N(10)\tITEM_180 C(2)\n");
    }
};

TEST_F(FailingMergeTest, ARecordThatFailsIsWrittenNotAtAllAndStaysStaged) {
    open({record("2024000001", "1", {{"ITEM_3", "老的"}})});
    stageRecords({staged("2024000001", "坏的"), staged("2024000002", "好的")},
                 {person("2024000001", "名字很长的人")}, {patent("2024000001", "ZL9")});
    m_formin->Button6Click();

    EXPECT_TRUE(liveRecord("坏的").empty());
    EXPECT_TRUE(rows("zlqk.DBF").empty());
    EXPECT_TRUE(rows("cgwcr.DBF").empty());
    EXPECT_EQ(liveRecord("好的")["ITEM_4"], "2024000002");
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"坏的"});
    EXPECT_EQ(column("zlqktemp.DBF", "PATENT_NO"), std::vector<std::string>{"ZL9"});

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

TEST_F(FailingMergeTest, AFailedOverwriteKeepsTheLiveRecord) {
    open({record("2024000001", "1", {{"ITEM_3", "同名"}})});
    stageRecords({staged("2024000007", "同名")}, {person("2024000007", "名字很长的人")});
    m_formin->Button8Click();

    EXPECT_EQ(column("hvel.DBF", "ITEM_4"), std::vector<std::string>{"2024000001"});
    EXPECT_EQ(boxTexts().last(),
              QStringLiteral("入库未完成！新增0条,覆盖0条。1条记录未能入库，仍在导入列表中。"));
}

// A staged record without one of the three types would show in no list of the main window,
// and a key that is not a year and six digits gives no key of this installation: neither is
// stored, by "保存" or by "同名覆盖" (which then keeps the live record of its name); each
// stays staged and the user is told why, while the others are stored.
struct RefusedRecordCase {
    const char* name;
    const char* key;
    const char* type;
    const char* reason;
};

const RefusedRecordCase kRefusedRecords[] = {
    {"NoType", "2024000002", "", "成果类别“”不是1、2或3"},
    {"TypeFour", "2024000002", "4", "成果类别“4”不是1、2或3"},
    {"KeyWithoutAYear", "ABCD000001", "1", "成果编号“ABCD000001”不是四位年份加六位序号"},
    {"KeyTooShort", "202400002", "1", "成果编号“202400002”不是四位年份加六位序号"},
    {"KeyWithALetter", "2024A00002", "2", "成果编号“2024A00002”不是四位年份加六位序号"},
};

// The record, and whether it is merged by "同名覆盖" (true) or "保存".
class RefusedRecordTest
    : public MergeTest,
      public ::testing::WithParamInterface<std::tuple<RefusedRecordCase, bool>> {};

TEST_P(RefusedRecordTest, StaysStagedWithItsReason) {
    const auto& [c, overwrite] = GetParam();
    open({record("2024000001", "1", {{"ITEM_3", "坏的"}})});
    Row bad = staged(c.key, "坏的");
    bad["ITEM_CGLB"] = c.type;
    stageRecords({bad, staged("2024000005", "好的")}, {person(c.key, "张三")});
    overwrite ? m_formin->Button8Click() : m_formin->Button6Click();

    EXPECT_EQ(column("hvel.DBF", "ITEM_3"), (std::vector<std::string>{"坏的", "好的"}));
    EXPECT_EQ(liveRecord("坏的")["ITEM_4"], "2024000001");
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"坏的"});
    EXPECT_EQ(column("cgwcrtemp.DBF", "ITEM_180"), std::vector<std::string>{"张三"});
    const QString counts = overwrite ? QStringLiteral("新增1条,覆盖0条。") : QString();
    EXPECT_EQ(boxTexts(),
              QStringList{QStringLiteral("入库未完成！") + counts +
                          QStringLiteral("1条记录未能入库，仍在导入列表中。\n“坏的”：") +
                          QString::fromUtf8(c.reason) + QStringLiteral("，不能入库。")});
    EXPECT_TRUE(in->Button7->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Records, RefusedRecordTest,
                         ::testing::Combine(::testing::ValuesIn(kRefusedRecords),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_Overwrite" : "_Save");
                         });

}  // namespace
}  // namespace testsupport

#include "SqlText.h"
#include "UnitDuoyu.h"
#include "ui_UnitDuoyu.h"

namespace testsupport {
namespace {

TEST_F(MergeTest, TheDuplicateListStaysOpenUntilOneRowIsLeft) {
    open({record("2024000001", "1", {{"ITEM_3", "同名"}}),
          record("2024000002", "1", {{"ITEM_3", "同名"}}),
          record("2024000003", "1", {{"ITEM_3", "同名"}})},
         {person("2024000001", "张三", "单位", ".")});
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

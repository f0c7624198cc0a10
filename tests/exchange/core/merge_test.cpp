// The merge of the staged records without windows: the same-name check and renaming, storing
// under new keys, the known persons, the same-name overwrite, and records that cannot be
// stored.
#include "StagingFixture.h"

namespace testsupport {
namespace {

class MergeTest : public StagingTest {
protected:
    exchange::MergeOutcome storeAll(bool overwrite = false) {
        return m_merge->storeAll(overwrite, m_steps, m_host);
    }
};

TEST_F(MergeTest, StoresEveryStagedRecordWithItsChildRowsUnderNewKeys) {
    open({record("2024000005", "1"), record("2023000001", "1")});
    stageRecords({staged("2024000001", "甲"), staged("2024000002", "乙"),
                  staged("2019000009", "丙"), staged("2019000003", "丁")},
                 {stagedPerson("2024000001", "张三")}, {stagedPatent("2024000002", "ZL1")});
    const exchange::MergeOutcome outcome = storeAll();

    // Consecutive keys above the year's highest, in staging order; a record of a year without
    // live records keeps its key, and the next of that year follows it. Every stored row is
    // of this installation.
    EXPECT_EQ(liveRecord("甲")["ITEM_4"], "2024000006");
    EXPECT_EQ(liveRecord("乙")["ITEM_4"], "2024000007");
    EXPECT_EQ(liveRecord("丙")["ITEM_4"], "2019000009");
    EXPECT_EQ(liveRecord("丁")["ITEM_4"], "2019000010");
    EXPECT_EQ(liveRecord("甲")["ITEM_DQDM"], ".");
    const Row person = findRow(m_program.file("cgwcr.DBF"), "ITEM_180", "张三");
    EXPECT_EQ(person.at("ITEM_4"), "2024000006");
    EXPECT_EQ(person.at("ITEM_DQDM"), ".");
    EXPECT_EQ(person.at("ITEM_185"), "单位");
    EXPECT_EQ(findRow(m_program.file("zlqk.DBF"), "PATENT_NO", "ZL1").at("ITEM_4"), "2024000007");

    EXPECT_EQ(outcome.added, 4);
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
    EXPECT_TRUE(rows("zlqktemp.DBF").empty());
    EXPECT_EQ(m_steps.steps, (std::vector<std::string>{"merge 4", "done", "done", "done", "done",
                                                       "stored", "end, all stored"}));
    EXPECT_EQ(m_host.pauses, 4);
    // The record list sees the stored records.
    EXPECT_EQ(DM->Qryhvel.recordCount(), 6);
}

TEST_F(MergeTest, OnlyChildRowsOfTheStagedRecordsRegionAreCopied) {
    open();
    stageRecords({staged("2024000001", "甲", "1", "A01")},
                 {stagedPerson("2024000001", "张三", "单位", "A01"),
                  stagedPerson("2024000001", "李四", "单位", "B02")});
    storeAll();
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_180"), std::vector<std::string>{"张三"});
    // Rows that belong to no staged record are not kept either.
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
}

TEST_F(MergeTest, StagedPersonsEnterTheKnownPersons) {
    append("cgwcrNew.dbf", {{{"ITEM_180", "李四"}, {"ITEM_185", "旧单位"}},
                            {{"ITEM_180", "王五"}, {"ITEM_185", "甲单位"}},
                            {{"ITEM_180", "王五"}, {"ITEM_185", "乙单位"}}});
    open();
    stageRecords({staged("2024000001", "甲")}, {stagedPerson("2024000001", "张三", "新单位"),
                                                stagedPerson("2024000001", "李四", "新单位"),
                                                stagedPerson("2024000001", "王五", "新单位")});
    storeAll();

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
    open({record("2024000001", "1", {{"ITEM_3", "旧的"}}),
          record("2024000002", "1", {{"ITEM_3", "它's"}})});
    stageRecords(
        {staged("2024000001", "旧的"), staged("2024000002", "新的"), staged("2024000003", "它's")},
        {stagedPerson("2024000001", "张三"), stagedPerson("2024000002", "李四")});
    EXPECT_EQ(m_merge->removeDuplicates(m_steps), std::nullopt);

    EXPECT_EQ(m_steps.asked, (std::vector<std::string>{"旧的", "它's"}));
    EXPECT_EQ(m_steps.steps, (std::vector<std::string>{"dropped", "dropped"}));
    EXPECT_EQ(column("cgwcrtemp.DBF", "ITEM_180"), std::vector<std::string>{"李四"});
    EXPECT_EQ(m_import->counts().records, 1);

    storeAll();
    EXPECT_EQ(column("hvel.DBF", "ITEM_3"), (std::vector<std::string>{"旧的", "它's", "新的"}));
}

TEST_F(MergeTest, ADuplicateKeptIsRenamedAndTheCheckStartsOver) {
    open({record("2024000001", "1", {{"ITEM_3", "它's"}})});
    stageRecords({staged("2024000002", "新的"), staged("2024000001", "它's")});
    m_steps.answers = {false};
    EXPECT_EQ(m_merge->removeDuplicates(m_steps), QStringLiteral("它's"));
    EXPECT_EQ(DM->T_temp_in.field("ITEM_4").asText(), "2024000001");

    // A name the field cannot hold leaves the staged name as it was.
    EXPECT_ANY_THROW(m_merge->renameCurrent(QString(141, QLatin1Char('x'))));
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), (std::vector<std::string>{"新的", "它's"}));
    EXPECT_EQ(DM->T_temp_in.state(), store::Dataset::State::Browse);

    m_merge->renameCurrent(QStringLiteral("改过的"));
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), (std::vector<std::string>{"新的", "改过的"}));
    EXPECT_EQ(m_merge->removeDuplicates(m_steps), std::nullopt);
    EXPECT_EQ(m_steps.asked, std::vector<std::string>{"它's"});
}

TEST_F(MergeTest, SavingWithoutTheCheckStoresASameNamedRecordToo) {
    open({record("2024000001", "1", {{"ITEM_3", "同名"}})});
    stageRecords({staged("2024000001", "同名")});
    storeAll();
    EXPECT_EQ(column("hvel.DBF", "ITEM_4"), (std::vector<std::string>{"2024000001", "2024000002"}));
}

TEST_F(MergeTest, OverwriteReplacesTheSameNamedRecordWithItsChildRows) {
    append("zlqk.DBF", {stagedPatent("2024000003", "旧专利", ".")});
    open({record("2024000003", "1", {{"ITEM_3", "它's"}}), record("2024000001", "1")},
         {stagedPerson("2024000003", "旧人", "单位", ".")});
    stageRecords(
        {staged("2024000009", "它's"), staged("2024000010", "新来的"), staged("2024000011", "")},
        {stagedPerson("2024000009", "新人")});
    const exchange::MergeOutcome outcome = storeAll(true);

    // The replaced record's rows are gone, and it is stored again above the year's highest
    // remaining key.
    EXPECT_TRUE(findRow(m_program.file("cgwcr.DBF"), "ITEM_180", "旧人").empty());
    EXPECT_TRUE(rows("zlqk.DBF").empty());
    EXPECT_EQ(liveRecord("它's")["ITEM_4"], "2024000002");
    EXPECT_EQ(findRow(m_program.file("cgwcr.DBF"), "ITEM_180", "新人").at("ITEM_4"), "2024000002");
    EXPECT_EQ(liveRecord("新来的")["ITEM_4"], "2024000003");
    // A record without a name is neither stored nor counted.
    EXPECT_EQ(rows("hvel.DBF").size(), 3u);
    EXPECT_EQ(outcome.added, 1);
    EXPECT_EQ(outcome.replaced, 1);
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_EQ(m_steps.steps.back(), "end, all stored");
}

TEST_F(MergeTest, UnderOverwriteALaterStagedRecordReplacesAnEarlierOneOfItsName) {
    open();
    stageRecords({staged("2024000001", "同名"), staged("2024000002", "同名")});
    const exchange::MergeOutcome outcome = storeAll(true);
    // With the first one replaced the year has no live record: the second keeps its key.
    EXPECT_EQ(column("hvel.DBF", "ITEM_4"), std::vector<std::string>{"2024000002"});
    EXPECT_EQ(outcome.added, 1);
    EXPECT_EQ(outcome.replaced, 1);
}

// A person whose name the known-persons table cannot hold fails the record after its patents
// and persons were written: it is written not at all and stays staged, and the live record of
// its name stays under "同名覆盖"; the others are stored.
class FailingMergeTest : public MergeTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        replaceTable("cgwcrNew.dbf",
                     "ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_187 N(10)\tITEM_180 C(2)\n");
    }
};

TEST_P(FailingMergeTest, ARecordThatFailsIsWrittenNotAtAllAndStaysStaged) {
    const bool overwrite = GetParam();
    open({record("2024000001", "1", {{"ITEM_3", "坏的"}})});
    stageRecords({staged("2024000007", "坏的"), staged("2024000008", "好的")},
                 {stagedPerson("2024000007", "名字很长的人")}, {stagedPatent("2024000007", "ZL9")});
    const exchange::MergeOutcome outcome = storeAll(overwrite);

    EXPECT_EQ(column("hvel.DBF", "ITEM_3"), (std::vector<std::string>{"坏的", "好的"}));
    EXPECT_EQ(liveRecord("坏的")["ITEM_4"], "2024000001");
    EXPECT_TRUE(rows("zlqk.DBF").empty());
    EXPECT_TRUE(rows("cgwcr.DBF").empty());
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"坏的"});
    EXPECT_EQ(column("zlqktemp.DBF", "PATENT_NO"), std::vector<std::string>{"ZL9"});
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(outcome.added, 1);
    EXPECT_EQ(m_steps.failures.size(), 1u);
    EXPECT_EQ(m_steps.steps,
              (std::vector<std::string>{"merge 2", "done", "done", "stored", "end, some staged"}));
}

INSTANTIATE_TEST_SUITE_P(Ways, FailingMergeTest, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "Overwrite" : "Save");
});

// An error after the records were stored (here the record list cannot be reloaded) ends the
// merge exactly once, not as one that stored everything, and then escapes.
TEST_F(MergeTest, AnErrorAfterTheRecordsEndsTheMergeOnceAndEscapes) {
    open();
    stageRecords({staged("2024000001", "甲")});
    DM->Qryhvel.close();
    DM->Qryhvel.setSql("select * from no_such_table");
    EXPECT_ANY_THROW(storeAll());
    EXPECT_EQ(column("hvel.DBF", "ITEM_3"), std::vector<std::string>{"甲"});
    EXPECT_EQ(m_steps.steps, (std::vector<std::string>{"merge 1", "done", "end, some staged"}));
}

// A staged record without one of the three types would show in no list of the main window,
// and a key that is not a year and six digits gives no key of this installation: neither is
// stored, by "保存" or by "同名覆盖" (which then keeps the live record of its name); each
// stays staged with the reason, while the others are stored.
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
    stageRecords({staged(c.key, "坏的", c.type), staged("2024000005", "好的")},
                 {stagedPerson(c.key, "张三")});
    const exchange::MergeOutcome outcome = storeAll(overwrite);

    EXPECT_EQ(column("hvel.DBF", "ITEM_3"), (std::vector<std::string>{"坏的", "好的"}));
    EXPECT_EQ(liveRecord("坏的")["ITEM_4"], "2024000001");
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"坏的"});
    EXPECT_EQ(column("cgwcrtemp.DBF", "ITEM_180"), std::vector<std::string>{"张三"});
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(outcome.refusals,
              QStringList{QStringLiteral("“坏的”：") + QString::fromUtf8(c.reason)});
    EXPECT_TRUE(m_steps.failures.empty());
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

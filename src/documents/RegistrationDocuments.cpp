#include "RegistrationDocuments.h"

#include "WordExport.h"

namespace documents {

using namespace text;

namespace {

enum class In { both, rj, yy };

struct FamilyRow {
    In family;
    DocumentRow row;
};

DocumentTable rowsOf(Family family, std::string templateName, std::vector<FamilyRow> rows) {
    const In own = family == Family::rj ? In::rj : In::yy;
    DocumentTable table{std::move(templateName), {}};
    for (FamilyRow& row : rows) {
        if (row.family == In::both || row.family == own) {
            table.rows.push_back(std::move(row.row));
        }
    }
    return table;
}

const std::vector<ListColumn> kPatentColumns = {{"patent_no", "PATENT_NO"},
                                                {"patent_nam", "PATENT_NAM"}};

const std::vector<ListColumn> kUnitColumns = {{"item_176", "ITEM_176"},
                                              {"item_170", "ITEM_170"},
                                              {"item_171", "ITEM_171"},
                                              {"item_172", "ITEM_172"},
                                              {"item_173", "ITEM_173"}};

const std::vector<ListColumn> kPersonColumns = {
    {"item_187", "ITEM_187"}, {"item_180", "ITEM_180"}, {"item_181", "V_181"},
    {"item_182", "ITEM_182"}, {"item_183", "V_183"},    {"item_184", "V_184"},
    {"item_188", "V_188"},    {"item_185", "ITEM_185"}, {"item_186", "ITEM_186"}};

const std::vector<ListColumn> kCommitteeColumns = {
    {"item_191", "ITEM_191"}, {"item_192", "ITEM_192"}, {"item_193", "V_193"},
    {"item_195", "ITEM_195"}, {"item_196", "ITEM_196"}, {"item_197", "ITEM_197"},
    {"item_198", "V_198"}};

}  // namespace

DocumentTable registrationCover(Family family, std::string templateName) {
    const size_t nameWidth = family == Family::rj ? 42 : 44;
    return {std::move(templateName),
            {
                BookmarkRow{"item_3", widened("ITEM_3", nameWidth)},
                BookmarkRow{"item_9", widened("ITEM_9", 38)},
                BookmarkRow{"item_8_1", periodStart()},
                BookmarkRow{"item_8_2", periodEnd()},
                BookmarkRow{"item_128", widened("ITEM_128", 42)},
                unchanged("ITEM_120"),
            }};
}

DocumentTable registrationForm(Family family, std::string templateName, int personsCap) {
    const In both = In::both, rj = In::rj, yy = In::yy;
    return rowsOf(family, std::move(templateName),
                  {
                      {both, unchanged("ITEM_3")},
                      {both, BookmarkRow{"item_14_1", keyword(1)}},
                      {both, BookmarkRow{"item_14_2", keyword(2)}},
                      {both, BookmarkRow{"item_14_3", keyword(3)}},
                      {rj, BookmarkRow{"item_210", codeOf("ITEM_210")}},
                      {yy, BookmarkRow{"item_123", codeOf("ITEM_123")}},
                      {yy, BookmarkRow{"item_16", codeOf("ITEM_16")}},
                      {both, BookmarkRow{"item_2", codeOf("ITEM_2")}},
                      {yy, BookmarkRow{"item_33", codeOf("ITEM_33")}},
                      {both, BookmarkRow{"item_201", codeOf("ITEM_201")}},
                      {both, BookmarkRow{"item_15", disciplineOf("ITEM_15")}},
                      {both, BookmarkRow{"item_15_1", disciplineOf("ITEM_15_1")}},
                      {both, BookmarkRow{"item_12", libraryClassOf("ITEM_12")}},
                      {both, BookmarkRow{"item_12_1", libraryClassOf("ITEM_12_1")}},
                      {rj, BookmarkRow{"item_200", codesOf("ITEM_200")}},
                      {yy, BookmarkRow{"item_124_1", codesOf("ITEM_124_1")}},
                      {both, BookmarkRow{"item_125", codesOf("ITEM_125")}},
                      {both, BookmarkRow{"item_126", InsertNationalPlanName}},
                      {yy, BookmarkRow{"item_125_1", codeOf("ITEM_125_1")}},
                      {both, unchanged("ITEM_127")},
                      {both, unchanged("ITEM_127_1")},
                      {both, unchanged("ITEM_149")},
                      {both, unchanged("ITEM_141")},
                      {both, unchanged("ITEM_148")},
                      {both, unchanged("ITEM_142")},
                      {both, unchanged("ITEM_142_1")},
                      {both, unchanged("ITEM_142_2")},
                      {both, unchanged("ITEM_142_3")},
                      {both, unchanged("ITEM_143")},
                      {both, unchanged("ITEM_144")},
                      {both, unchanged("ITEM_243")},
                      {both, unchanged("ITEM_244")},
                      {both, unchanged("ITEM_145")},
                      {both, BookmarkRow{"item_21", evaluationMethod()}},
                      {both, unchanged("ITEM_130")},
                      {both, unchanged("ITEM_34")},
                      {both, unchanged("ITEM_22")},
                      {yy, BookmarkRow{"item_51", codeOf("ITEM_51")}},
                      {yy, BookmarkRow{"item_51_1", codeOf("ITEM_51_1")}},
                      {yy, unchanged("ITEM_51_2")},
                      {yy, unchanged("ITEM_51_3")},
                      {yy, unchanged("ITEM_53")},
                      {yy, unchanged("ITEM_52")},
                      {yy, BookmarkRow{"item_32", codeOf("ITEM_32")}},
                      {yy, unchanged("ITEM_45")},
                      {yy, unchanged("ITEM_150")},
                      {yy, unchanged("ITEM_162")},
                      {yy, unchanged("ITEM_151_1")},
                      {yy, unchanged("ITEM_152_1")},
                      {yy, unchanged("ITEM_153")},
                      {yy, unchanged("ITEM_154")},
                      {yy, BookmarkRow{"item_46", codeOf("ITEM_46")}},
                      {yy, BookmarkRow{"item_47", codeOf("ITEM_47")}},
                      {yy, BookmarkRow{"item_161", codesOf("ITEM_161")}},
                      {yy, BookmarkRow{"item_32_1", JoinWithBracketedText(codesOf("ITEM_32_1"),
                                                                          codeOf("ITEM_160"))}},
                      {both, unchanged("ITEM_9")},
                      {both, unchanged("ITEM_420")},
                      {both, unchanged("ITEM_37")},
                      {both, unchanged("ITEM_38")},
                      {both, unchanged("ITEM_39")},
                      {both, unchanged("ITEM_40")},
                      {both, unchanged("ITEM_60")},
                      {both, BookmarkRow{"item_62", unitAttribute()}},
                      {both, BookmarkRow{"item_163", TransformedEnterpriseNote}},
                      {both, BookmarkRow{"item_64", provinceName()}},
                      {both, BookmarkRow{"item_63", ministryName()}},
                      {both, unchanged("ITEM_41")},
                      {both, unchanged("ITEM_41_2")},
                      {both, unchanged("ITEM_61")},
                      {both, unchanged("ITEM_13_1")},
                      {yy, ListRows{ChildList::Patents, 4, kPatentColumns}},
                      {rj, ListRows{ChildList::Units, 5, kUnitColumns}},
                      {yy, ListRows{ChildList::Units, 8, kUnitColumns}},
                      {both, ListRows{ChildList::Persons, personsCap, kPersonColumns}},
                      {both, ListRows{ChildList::Committee, 13, kCommitteeColumns}},
                  });
}

DocumentSet registrationDocuments(Family family) {
    if (family == Family::rj) {
        return {registrationCover(family, "基础、软科学封面.dotx"),
                registrationForm(family, "基础、软科学登记表.dotx", 34)};
    }
    return {registrationCover(family, "应用技术封面.dotx"),
            registrationForm(family, "应用技术登记表.dotx", 34)};
}

void RJ_ButtonClick(TDM& dm, const ExportSeams& seams) {
    runWordExport(dm, registrationDocuments(Family::rj), seams);
}

void YY_ButtonClick(TDM& dm, const ExportSeams& seams) {
    runWordExport(dm, registrationDocuments(Family::yy), seams);
}

}  // namespace documents

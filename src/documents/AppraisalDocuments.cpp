#include "AppraisalDocuments.h"

#include "WordExport.h"

namespace documents {

using namespace text;

namespace {

// Secrecy grades "2", "3" and "4" of the option list item_1 mark a secret achievement.
bool isSecret(const ExportContext& context) {
    const std::string grade = context.field("ITEM_1");
    return grade == "2" || grade == "3" || grade == "4";
}

// "1" for a secret achievement, else "0".
std::optional<std::string> secrecyFlag(const ExportContext& context) {
    return isSecret(context) ? "1" : "0";
}

// The secrecy grade of a secret achievement; nothing for the others.
std::optional<std::string> secrecyGrade(const ExportContext& context) {
    if (!isSecret(context)) {
        return std::nullopt;
    }
    return context.field("ITEM_1");
}

// The completing persons as both documents list them: no sequence number, no study abroad.
const std::vector<ListColumn> kPersonColumns = {{"item_180", "ITEM_180"}, {"item_181", "V_181"},
                                                {"item_182", "ITEM_182"}, {"item_183", "V_183"},
                                                {"item_184", "V_184"},    {"item_185", "ITEM_185"},
                                                {"item_186", "ITEM_186"}};

const std::vector<ListColumn> kUnitColumns = {
    {"item_170", "ITEM_170"}, {"item_171", "ITEM_171"}, {"item_172", "ITEM_172"}};

const std::vector<ListColumn> kCommitteeColumns = {
    {"item_191", "ITEM_191"}, {"item_192", "ITEM_192"}, {"item_195", "ITEM_195"},
    {"item_196", "ITEM_196"}, {"item_197", "ITEM_197"}, {"item_198", "V_198"}};

}  // namespace

DocumentTable appraisalApplication() {
    return {"科学技术成果鉴定申请表.dotx",
            {
                BookmarkRow{"item_3_1", widened("ITEM_3", 46)},
                BookmarkRow{"item_9", widened("ITEM_9", 46)},
                BookmarkRow{"item_130_1", widened("ITEM_130", 40)},
                BookmarkRow{"item_3_2", field("ITEM_3")},
                BookmarkRow{"item_8_1", periodStart()},
                BookmarkRow{"item_8_2", periodEnd()},
                BookmarkRow{"item_9_1", field("ITEM_9")},
                unchanged("ITEM_63"),
                unchanged("ITEM_64"),
                BookmarkRow{"item_64_1", provinceName()},
                BookmarkRow{"item_63_1", ministryName()},
                unchanged("ITEM_62"),
                unchanged("ITEM_41"),
                unchanged("ITEM_38"),
                unchanged("ITEM_41_2"),
                unchanged("ITEM_37"),
                unchanged("ITEM_126"),
                BookmarkRow{"item_126_2", InsertNationalPlanName},
                BookmarkRow{"item_1_1", secrecyFlag},
                BookmarkRow{"item_1_2", secrecyGrade},
                unchanged("ITEM_13_1"),
                unchanged("ITEM_13_3"),
                ListRows{ChildList::Persons, 15, kPersonColumns},
            }};
}

DocumentTable appraisalCertificate() {
    return {"科学技术成果鉴定证书.dotx",
            {
                BookmarkRow{"item_3", widened("ITEM_3", 46)},
                BookmarkRow{"item_9", widened("ITEM_9", 46)},
                BookmarkRow{"item_21", evaluationMethod()},
                BookmarkRow{"item_130", widened("ITEM_130", 46)},
                BookmarkRow{"item_34_y", datePart("ITEM_34", &DateParts::year)},
                BookmarkRow{"item_34_m", datePart("ITEM_34", &DateParts::month)},
                BookmarkRow{"item_34_d", datePart("ITEM_34", &DateParts::day)},
                BookmarkRow{"item_302_y", datePart("ITEM_302", &DateParts::year)},
                BookmarkRow{"item_302_m", datePart("ITEM_302", &DateParts::month)},
                BookmarkRow{"item_302_d", datePart("ITEM_302", &DateParts::day)},
                unchanged("ITEM_13_1"),
                unchanged("ITEM_13_2"),
                unchanged("ITEM_13_3"),
                unchanged("ITEM_133"),
                unchanged("ITEM_303"),
                BookmarkRow{"item_9_2", field("ITEM_9")},
                unchanged("ITEM_38"),
                unchanged("ITEM_64"),
                unchanged("ITEM_37"),
                BookmarkRow{"item_63", ministryName()},
                BookmarkRow{"item_62", unitAttribute()},
                ListRows{ChildList::Units, 7, kUnitColumns},
                ListRows{ChildList::Persons, 15, kPersonColumns},
                ListRows{ChildList::Committee, 15, kCommitteeColumns},
                BookmarkRow{"item_3_1", field("ITEM_3")},
                BookmarkRow{"item_8_1", periodStart()},
                BookmarkRow{"item_8_2", periodEnd()},
                BookmarkRow{"item_9_1", field("ITEM_9")},
                BookmarkRow{"item_63_1", field("ITEM_63")},
                BookmarkRow{"item_64_1", field("ITEM_64")},
                BookmarkRow{"item_64_2", provinceName()},
                BookmarkRow{"item_63_2", ministryName()},
                BookmarkRow{"item_62_1", field("ITEM_62")},
                unchanged("ITEM_41"),
                BookmarkRow{"item_38_1", field("ITEM_38")},
                unchanged("ITEM_41_2"),
                BookmarkRow{"item_37_1", field("ITEM_37")},
                BookmarkRow{"item_34_1", field("ITEM_34")},
                BookmarkRow{"item_302_1", field("ITEM_302")},
                BookmarkRow{"item_130_1", field("ITEM_130")},
                BookmarkRow{"item_1_1", secrecyFlag},
                BookmarkRow{"item_1_2", secrecyGrade},
                unchanged("ITEM_2"),
                unchanged("ITEM_126"),
                BookmarkRow{"item_126_2", InsertNationalPlanName},
                unchanged("ITEM_125"),
                BookmarkRow{"item_32_1", field("ITEM_32")},
                BookmarkRow{"item_32_1_1", codeOf("ITEM_32")},
                unchanged("ITEM_33"),
            }};
}

void Button5Click(TDM& dm, const ExportSeams& seams) {
    runWordExport(dm, {appraisalApplication()}, seams);
}

void Button6Click(TDM& dm, const ExportSeams& seams) {
    runWordExport(dm, {appraisalCertificate()}, seams);
}

}  // namespace documents

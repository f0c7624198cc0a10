#include "DocumentTable.h"

#include "CodeLookups.h"
#include "Dataset.h"
#include "DocumentTexts.h"
#include "Text.h"
#include "UnitDM.h"

namespace documents {

Family familyOf(std::string_view itemCglb) {
    return itemCglb == "1" ? Family::yy : Family::rj;
}

std::string ExportContext::field(std::string_view name) const {
    return m_dm.Qryhvel.field(name).asText();
}

BookmarkRow unchanged(const std::string& field) {
    return {store::text::lowerAscii(field), text::field(field)};
}

std::string listName(ChildList list) {
    switch (list) {
        case ChildList::Patents:
            return "专利";
        case ChildList::Units:
            return "合作完成单位";
        case ChildList::Persons:
            return "成果完成人员";
        case ChildList::Committee:
            return "评价委员会成员";
    }
    return {};
}

store::Table& listTable(TDM& dm, ChildList list) {
    switch (list) {
        case ChildList::Patents:
            return dm.tblzlqk;
        case ChildList::Units:
            return dm.TblCgwcdw;
        case ChildList::Persons:
            return dm.TblCgwcr;
        case ChildList::Committee:
            break;
    }
    return dm.Tbljdwyhmd;
}

namespace {

std::string rowBookmark(const ListColumn& column, int row) {
    return column.prefix + "_" + std::to_string(row);
}

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

}  // namespace

std::vector<std::string> bookmarksOf(const DocumentTable& table) {
    std::vector<std::string> names;
    for (const DocumentRow& row : table.rows) {
        std::visit(
            Overloaded{[&](const BookmarkRow& bookmark) { names.push_back(bookmark.bookmark); },
                       [&](const ListRows& list) {
                           for (int i = 1; i <= list.cap; ++i) {
                               for (const ListColumn& column : list.columns) {
                                   names.push_back(rowBookmark(column, i));
                               }
                           }
                       }},
            row);
    }
    return names;
}

void filterToCurrentRecord(store::Table& table, const ExportContext& context) {
    TDM::FilterToRecord(table, context.field("ITEM_4"), context.field("ITEM_DQDM"));
}

std::optional<LeftOutRows> FillListRows(const ListRows& list, const ExportContext& context,
                                        std::vector<Fill>& fills) {
    store::Table& table = listTable(context.dm(), list.list);
    filterToCurrentRecord(table, context);
    const int rows = table.recordCount();
    const int written = std::min(rows, list.cap);
    table.first();
    for (int i = 1; i <= written; ++i, table.next()) {
        for (const ListColumn& column : list.columns) {
            fills.push_back({rowBookmark(column, i), table.field(column.field).asText()});
        }
    }
    if (rows > list.cap) {
        return LeftOutRows{{}, list.list, list.cap, rows};
    }
    return std::nullopt;
}

DocumentFills fillsOf(const DocumentTable& table, const ExportContext& context) {
    DocumentFills result;
    for (const DocumentRow& row : table.rows) {
        std::visit(Overloaded{[&](const BookmarkRow& bookmark) {
                                  if (auto text = bookmark.text(context)) {
                                      result.fills.push_back({bookmark.bookmark, *text});
                                  }
                              },
                              [&](const ListRows& list) {
                                  if (auto leftOut = FillListRows(list, context, result.fills)) {
                                      leftOut->templateName = table.templateName;
                                      result.leftOut.push_back(*leftOut);
                                  }
                              }},
                   row);
    }
    return result;
}

namespace text {

namespace {

// The stored code when the data directory lacks the classification table, else its code and
// name.
TextOf classificationOf(std::string field, store::Table TDM::*table, bool TDM::*present) {
    return [field = std::move(field), table, present](const ExportContext& context) {
        std::string code = context.field(field);
        TDM& dm = context.dm();
        return dm.*present ? LookupKeyAndName(dm.*table, "xxdm", "xxmc", code) : code;
    };
}

}  // namespace

TextOf field(std::string name) {
    return [name = std::move(name)](const ExportContext& context) { return context.field(name); };
}

TextOf widened(std::string name, size_t width) {
    return [name = std::move(name), width](const ExportContext& context) {
        return AppendBreakIfShort(context.field(name), width);
    };
}

TextOf codeOf(std::string field) {
    std::string list = store::text::lowerAscii(field);
    return [field = std::move(field), list = std::move(list)](const ExportContext& context) {
        return LookupCodeName(context.dm().Tblzdxx, list, context.field(field));
    };
}

TextOf codesOf(std::string field) {
    std::string list = store::text::lowerAscii(field);
    return [field = std::move(field), list = std::move(list)](const ExportContext& context) {
        return LookupCodeNamesPair(context.dm().Tblzdxx, list, context.field(field));
    };
}

TextOf disciplineOf(std::string field) {
    return classificationOf(std::move(field), &TDM::Txkfl2, &TDM::HasDisciplineTable);
}

TextOf libraryClassOf(std::string field) {
    return classificationOf(std::move(field), &TDM::Tztflh2, &TDM::HasClcTable);
}

TextOf periodStart() {
    return [](const ExportContext& context) {
        return SplitPeriodToYearMonth(context.field("ITEM_8")).start;
    };
}

TextOf periodEnd() {
    return [](const ExportContext& context) {
        return SplitPeriodToYearMonth(context.field("ITEM_8")).end;
    };
}

TextOf keyword(int number) {
    return [number](const ExportContext& context) {
        return SplitSemicolonList3(context.field("ITEM_14")).at(number - 1);
    };
}

TextOf provinceName() {
    return [](const ExportContext& context) {
        return LookupByKey(context.dm().tblProvince, "Province_i", "Province_n",
                           context.field("ITEM_64"));
    };
}

TextOf ministryName() {
    return [](const ExportContext& context) {
        return LookupByKey(context.dm().tblLsbw, "Bwdm", "Bwmc", context.field("ITEM_63"));
    };
}

TextOf JoinWithBracketedText(TextOf text, TextOf bracketed) {
    return
        [text = std::move(text), bracketed = std::move(bracketed)](const ExportContext& context) {
            std::string joined = text(context).value_or("");
            std::string inner = bracketed(context).value_or("");
            return inner.empty() ? joined : joined + "(" + inner + ")";
        };
}

TextOf unitAttribute() {
    return JoinWithBracketedText(codeOf("ITEM_62"), codeOf("ITEM_41_3"));
}

TextOf evaluationMethod() {
    return [](const ExportContext& context) {
        const char* list =
            familyOf(context.field("ITEM_CGLB")) == Family::yy ? "item_21" : "item_21_l";
        return LookupCodeName(context.dm().Tblzdxx, list, context.field("ITEM_21"));
    };
}

TextOf datePart(std::string field, std::string DateParts::*part) {
    return [field = std::move(field), part](const ExportContext& context) {
        return SplitIsoDate(context.field(field)).*part;
    };
}

TextOf registrationDate() {
    return [](const ExportContext& context) {
        const auto date = context.dm().Qryhvel.field("ITEM_121").asDate();
        return date ? shortDateText(*date) : std::string();
    };
}

}  // namespace text

std::optional<std::string> InsertNationalPlanName(const ExportContext& context) {
    store::Table& options = context.dm().Tblzdxx;
    std::string names = LookupCodeNamesPair(options, "item_126", context.field("ITEM_126"));
    return bracketNationalPlan(names,
                               LookupCodeName(options, "item_140", context.field("ITEM_140")));
}

std::optional<std::string> TransformedEnterpriseNote(const ExportContext& context) {
    if (context.field("ITEM_163") != "1") {
        return std::nullopt;
    }
    return "(属于科研机构转制型企业)";
}

}  // namespace documents

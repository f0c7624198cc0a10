#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "DocumentTexts.h"

class TDM;

namespace store {
class Table;
}

// A document is one ordered table of (bookmark, text) rows and child lists, read beside the
// description of the document it fills. The rows are evaluated against the data module's
// current record (the current row of Qryhvel) into the texts inserted after the bookmarks.
namespace documents {

// The two layouts of the documents: applied technology (ITEM_CGLB "1") and the basic theory
// and soft science family (every other type).
enum class Family { rj, yy };
Family familyOf(std::string_view itemCglb);

// The current record and the tables its texts are looked up in.
class ExportContext {
public:
    explicit ExportContext(TDM& dm) : m_dm(dm) {}
    TDM& dm() const { return m_dm; }
    // The text of a field of the current record ("" for null).
    std::string field(std::string_view name) const;

private:
    TDM& m_dm;
};

// The text of one bookmark; nullopt leaves the bookmark unfilled.
using TextOf = std::function<std::optional<std::string>(const ExportContext&)>;

struct BookmarkRow {
    std::string bookmark;
    TextOf text;
};

// The bookmark named after the field in lower case ("item_41" for ITEM_41), given the field's
// text unchanged.
BookmarkRow unchanged(const std::string& field);

enum class ChildList { Patents, Units, Persons, Committee };
// The list's name for the user ("成果完成人员").
std::string listName(ChildList list);
store::Table& listTable(TDM& dm, ChildList list);

// One column of a child list: row i goes to the bookmark prefix + "_" + i.
struct ListColumn {
    std::string prefix;
    std::string field;  // a column of the child table or one of its lookup fields ("V_181")
};

// The first `cap` rows of a child list of the current record.
struct ListRows {
    ChildList list;
    int cap;
    std::vector<ListColumn> columns;
};

using DocumentRow = std::variant<BookmarkRow, ListRows>;

struct DocumentTable {
    std::string templateName;  // a file of the data directory
    std::vector<DocumentRow> rows;
};

// The documents one export writes, in order.
using DocumentSet = std::vector<DocumentTable>;

// One text to insert after a bookmark.
struct Fill {
    std::string bookmark;
    std::string text;
    bool operator==(const Fill&) const = default;
};

// Rows of a child list beyond the cap of a document's table.
struct LeftOutRows {
    std::string templateName;
    ChildList list;
    int cap;
    int rows;  // all rows of the list
};

struct DocumentFills {
    std::vector<Fill> fills;
    std::vector<LeftOutRows> leftOut;
};

// Every bookmark the table can fill, list rows up to the caps included, in table order.
std::vector<std::string> bookmarksOf(const DocumentTable& table);

// The texts of the table for the current record, in the order they are inserted.
DocumentFills fillsOf(const DocumentTable& table, const ExportContext& context);

// Closes table, filters it to the current record's rows and opens it again.
void filterToCurrentRecord(store::Table& table, const ExportContext& context);

// Writes the first rows of the list into fills and tells whether rows were left out. The
// child table is filtered to the current record (and stays so).
std::optional<LeftOutRows> FillListRows(const ListRows& list, const ExportContext& context,
                                        std::vector<Fill>& fills);

// Texts of the rows, as the document descriptions name them.
namespace text {

// The field unchanged.
TextOf field(std::string name);
// The field with a carriage return when it is shorter than width GBK bytes.
TextOf widened(std::string field, size_t width);
// The option text of the field's code in the option list named after the field in lower case
// (LookupCodeName on zdxx).
TextOf codeOf(std::string field);
// The option texts of the field's multi-choice value (LookupCodeNamesPair on zdxx).
TextOf codesOf(std::string field);
// Code and name of a discipline (xkfl) or library classification (ztflh) code; the stored
// code when the data directory has no such table.
TextOf disciplineOf(std::string field);
TextOf libraryClassOf(std::string field);
// Start and end of the research period ITEM_8 as 年 and 月.
TextOf periodStart();
TextOf periodEnd();
// Keyword 1, 2 or 3 of ITEM_14.
TextOf keyword(int number);
// The names of the province ITEM_64 and of the supervising ministry ITEM_63.
TextOf provinceName();
TextOf ministryName();
// text, followed by bracketed in brackets when bracketed is not empty.
TextOf JoinWithBracketedText(TextOf text, TextOf bracketed);
// The option text of the unit attribute ITEM_62, with the enterprise ownership ITEM_41_3 in
// brackets when it is set.
TextOf unitAttribute();
// The option text of the evaluation method ITEM_21 in the option list of the record's own
// family: "item_21" for applied technology, "item_21_l" for the others.
TextOf evaluationMethod();
// Year, month or day of a date stored as text ("yyyy.mm.dd"), cut as SplitIsoDate cuts it.
TextOf datePart(std::string field, std::string DateParts::*part);
// The registration date ITEM_121 in the short date form; nothing for an empty date.
TextOf registrationDate();

}  // namespace text

// The option texts of the project sources ITEM_126 with the national plan ITEM_140 in
// brackets after the national plan.
std::optional<std::string> InsertNationalPlanName(const ExportContext& context);
// "(属于科研机构转制型企业)" when ITEM_163 is "1"; otherwise the bookmark is not filled.
std::optional<std::string> TransformedEnterpriseNote(const ExportContext& context);

}  // namespace documents

#pragma once

#include <QString>
#include <map>
#include <memory>
#include <vector>

#include "MemoryTable.h"
#include "ReportForm.h"
#include "ReportForms.h"

class TDM;

namespace store {
class Table;
}

namespace print {

// Rows of a child list that the official form has no slots for: they are not printed, and the
// print flow tells the user once.
struct OmittedRows {
    QString list;  // "专利", "合作完成单位"
    int printed = 0;
    int total = 0;
    // "专利共 5 项，表中只能印出前 4 项。"
    QString text() const;
};

// What printing keeps for the whole run: the report forms, created on first use and kept
// (their creation flags), and the three in-memory tables of the list pages. It prepares each
// page from the data module's current record (the current row of Qryhvel) and the child rows
// as the caller filtered them.
class PrintState {
public:
    explicit PrintState(TDM& dm);
    ~PrintState();
    PrintState(const PrintState&) = delete;
    PrintState& operator=(const PrintState&) = delete;

    // Whether the form has been created (its creation flag).
    bool isCreated(const QString& formName) const;
    // The form, created from its layout on first use. Throws PrintError for an unknown name.
    ReportForm& form(const QString& formName);

    // Prepares the page from the current record: the form's content set by code, the record's
    // bound fields, and the page labels of the numbering (every label and enabled state that
    // the page owns is written, so nothing of an earlier record or numbering remains).
    ReportForm& prepare(const QString& formName, Numbering numbering = Numbering::Form);
    // The rows the last preparation left out.
    const std::vector<OmittedRows>& omittedRows() const { return m_omitted; }

    // Evaluation committee, completing persons, co-operating units.
    MemoryTable ClientDataSet1;
    MemoryTable ClientDataSet2;
    MemoryTable ClientDataSet3;

    // ---- Page preparations (named in the form table of ReportForms.cpp) ----
    // Cover 1 of both families: research period and approval date.
    void PrepareCover(ReportForm& form);
    void PrepareTyyPrint03(ReportForm& form);
    void PrepareTrjPrint03(ReportForm& form);
    void PrepareTyyPrint05(ReportForm& form);
    void PrepareTyyPrint07(ReportForm& form);
    void PrepareTrjPrint05(ReportForm& form);
    // TyyPrint08 and TrjPrint06: the approval date in year, month and day labels.
    void PrepareApprovalPage(ReportForm& form);
    // TyyPrint10 and TrjPrint08 over ClientDataSet2.
    void PreparePersonsList(ReportForm& form);
    // TyyPrint11 and TrjPrint09 over ClientDataSet1.
    void PrepareCommitteeList(ReportForm& form);

    // ---- Shared steps ----
    // Empties every report label whose name holds "ITEM" from its fourth character on: the
    // check labels, not the lower-case named labels.
    static void ClearItemCheckLabels(ReportForm& form);
    // Marks with "√" every label named <3 characters><field>_<code> (field compared
    // case-sensitively); an empty code marks nothing.
    static void MarkCheckLabel(ReportForm& form, const QString& field, const QString& code);
    // Marks the one code, or the two codes of a multi-choice value, that the record's field holds.
    void MarkCheckLabelsForField(ReportForm& form, const QString& field);
    // Sets the label to the text (xxmc) of the code in the list fieldCode of codeTable; empty
    // when the list has no such code. The table keeps its filter on the list.
    static void SetLabelToCodeName(store::Table& codeTable, const QString& fieldCode,
                                   const QString& code, ReportForm& form, const QString& label);
    // Rows the padded list tables get for n source rows.
    static int personsRowCount(Family family, int n);
    static int committeeRowCount(Family family, int n);
    // The largest n for which a list prints on one page with its static page label.
    static int personsOnOnePage(Family family);
    static int committeeOnOnePage(Family family);

private:
    QString recordText(const QString& field) const;
    // The names of the record's province (ITEM_64) and supervising ministry (ITEM_63).
    QString provinceName();
    QString ministryName();
    void setPageLabels(ReportForm& form, Numbering numbering);
    void bindRecord(ReportForm& form);
    void prepareKeywords(ReportForm& form);
    void fillUnitsTable(int rows);
    void markNotConverted(ReportForm& form);
    // Fills a padded list table from source and enables the static page label when the list
    // holds at most onePage rows, the running page number otherwise.
    void fillListTable(ReportForm& form, store::Table& source, MemoryTable& table, int onePage,
                       int (*rowCount)(Family, int),
                       const std::vector<std::pair<QString, QString>>& fields);

    TDM& m_dm;
    std::map<QString, std::unique_ptr<ReportForm>> m_forms;
    std::vector<OmittedRows> m_omitted;
};

}  // namespace print

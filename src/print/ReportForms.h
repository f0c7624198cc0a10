#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// The 28 report forms of the registration form in two families, and the orders in which the
// print flow takes them.
namespace print {

class PrintState;
class ReportForm;

// ITEM_CGLB "1" (applied technology) prints the yy family, any other value the rj family.
enum class Family { Yy, Rj };
Family familyOf(const QString& itemCglb);

// Which page labels a preparation sets: the form's own page numbers (custom print) or the
// renumbered continuous main text (direct print).
enum class Numbering { Form, MainText };

struct ReportFormInfo {
    QString name;  // form class: "TyyPrint03"
    QString unit;  // layout file and unit: "yyPrintUnit03"
    Family family;
    QString caption;  // the custom-print button: "封面1", "3"
    // Page labels in each numbering; empty for pages that carry none.
    QString formPage;
    QString mainTextPage;
    // Lists set QRSysData1 (label + "--", the running page number) and QRpage; the other
    // pages with a label set QRPage.
    bool list = false;
    // The page's content set by code; null for pages that are only created.
    void (PrintState::*prepare)(ReportForm&) = nullptr;
    // Fields whose codes are check-marked, in marking order.
    QStringList checkFields;
};

// All 28, the yy family first, each family in the order of its custom-print buttons.
const std::vector<ReportFormInfo>& reportForms();
// The form of that class name, or null.
const ReportFormInfo* findReportForm(const QString& name);
// The forms of one family in the order of its custom-print buttons.
std::vector<const ReportFormInfo*> familyForms(Family family);

// One step of printing the whole form straight to the printer.
struct DirectPrintStep {
    QString form;
    // Lists print page by page, one job per page (PrintPagesSeparately); the other pages one
    // job each.
    bool printPagesSeparately = false;
};

// The whole-form sequence of direct print ("全文打印"); each single-section button prints
// exactly one of its steps.
std::vector<DirectPrintStep> wholeFormSequence(Family family);

}  // namespace print

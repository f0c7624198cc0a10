#pragma once

#include <QString>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace store {
class Dataset;
}

// The controls of the fifteen facts about a unit that the first completing unit page and the
// reporting unit's profile both edit. The columns have the same names in the main table and
// in dwqk (ITEM_9 there, item_9 here; names are matched without regard to case).
struct UnitFactsControls {
    QLineEdit* Edt_9 = nullptr;
    QLineEdit* Edt_420 = nullptr;
    QLineEdit* Edt_37 = nullptr;
    QLineEdit* Edt_38 = nullptr;
    QLineEdit* Edt_39 = nullptr;
    QLineEdit* Edt_40 = nullptr;
    QLineEdit* Edt_60 = nullptr;
    QComboBox* cb_62 = nullptr;
    QComboBox* ownership = nullptr;  // CB_41_3 on the page, cb_41_3 on the profile
    QCheckBox* cb_163 = nullptr;
    QComboBox* cb_64 = nullptr;
    QComboBox* cb_63 = nullptr;
    QLineEdit* Edt_41 = nullptr;
    QLineEdit* Edt_41_2 = nullptr;
    QLineEdit* Edt_61 = nullptr;
};

namespace unitfacts {

// The unit attribute code of an enterprise.
inline const QString kEnterpriseCode = QStringLiteral("3");

struct FactEdit {
    QLineEdit* edit;
    const char* column;
    int width;  // GBK bytes
};

// The ten edits with their columns, in the order the facts are listed.
std::vector<FactEdit> edits(const UnitFactsControls& c);

// Limits every edit to the width of its column.
void limitLengths(const UnitFactsControls& c);

// The chosen unit attribute is the enterprise code: the ownership is asked for. The code
// decides, as it decides what is stored, whatever the option's text says.
bool isEnterprise(const UnitFactsControls& c);

// The required facts in their order; warns and throws SilentAbort at the first one missing.
// A text of blanks counts as missing: the table would store it empty.
void check(const UnitFactsControls& c);

// The unit attribute changed: the ownership list is offered again (the choice is lost) for an
// enterprise, and emptied and closed otherwise.
void attributeChanged(const UnitFactsControls& c);

// By the stored unit attribute code: an enterprise opens the ownership and the check box and
// checks the box exactly when item163 is "1"; any other code closes both.
void setEnterpriseByCode(const UnitFactsControls& c, const QString& code, const QString& item163);

// "1" checks the box, "0" unchecks it, anything else leaves it.
void showCheckState(QCheckBox* box, const QString& item163);

// Shows code in combo (kept as itself when the list lacks it); no code clears the choice.
void showCode(QComboBox* combo, const QString& code);

// The text of column in row's current record, trailing blanks dropped; empty when the row set
// is empty.
QString storedText(store::Dataset& row, const char* column);

// Whether every control equals row's current record: texts as typed, codes by the first three
// characters of the choice, the check box only against a stored "1" or "0".
bool unchanged(const UnitFactsControls& c, store::Dataset& row);

}  // namespace unitfacts

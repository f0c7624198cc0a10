#pragma once

#include <QString>

class QComboBox;
class QLineEdit;

namespace store {
class Dataset;
}

// The code lists of the windows: options of the option table zdxx shown as "code  text", pairs
// of a two-column table as "code  (name)", and the selection of an item by its code.
namespace widgets {

// Fills combo with the options of fieldCode ("item_183") as "code  text", legacy options
// ("**") left out; " " last unless keepWithoutBlank. Leaves table filtered on the field.
void FillCodeList(store::Dataset& table, const QString& fieldCode, QComboBox* combo,
                  bool keepWithoutBlank);
// As FillCodeList, legacy options kept.
void FillCodeListAll(store::Dataset& table, const QString& fieldCode, QComboBox* combo,
                     bool keepWithoutBlank);
// "code  (name)" for every row whose two fields are non-null; " " last unless
// keepWithoutBlank.
void FillPairList(store::Dataset& table, QComboBox* combo, const QString& codeField,
                  const QString& nameField, bool keepWithoutBlank);
// The text of every non-null value of fieldName, in table order.
void FillFieldValues(store::Dataset& table, QComboBox* combo, const QString& fieldName);
// Selects the (last) item whose code part equals code; no match leaves the selection.
void SelectCodeItem(const QString& code, QComboBox* combo);
// Filters a classification table on xxdm = code; edit shows the row found as "code  name", or
// is emptied. The filter stays.
void ShowClassCode(store::Dataset& table, const QString& code, QLineEdit* edit);

}  // namespace widgets

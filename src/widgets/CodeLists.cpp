#include "CodeLists.h"

#include <QComboBox>
#include <QLineEdit>

#include "Dataset.h"
#include "SqlText.h"
#include "ValueText.h"

namespace widgets {

namespace {

const QString kBlankItem = QStringLiteral(" ");
const QString kCodeSeparator = QStringLiteral("  ");

// A list filled in code has no item selected until one is chosen (Qt selects the first item
// added by itself).
void finishList(QComboBox* combo, bool keepWithoutBlank) {
    if (!keepWithoutBlank) {
        combo->addItem(kBlankItem);
    }
    combo->setCurrentIndex(-1);
}

void fillCodes(store::Dataset& table, const QString& fieldCode, QComboBox* combo,
               bool keepWithoutBlank, bool legacyKept) {
    table.setFilter((QStringLiteral("zddm ='") + QuoteFilterText(fieldCode) + QStringLiteral("'"))
                        .toStdString());
    table.open();
    combo->clear();
    for (table.first(); !table.eof(); table.next()) {
        const QString code = fieldText(table, "xxdm");
        const QString name = fieldText(table, "xxmc");
        if (code.isEmpty() || name.isEmpty() ||
            (!legacyKept && name.startsWith(QStringLiteral("**")))) {
            continue;
        }
        combo->addItem(code + kCodeSeparator + name);
    }
    finishList(combo, keepWithoutBlank);
}

}  // namespace

void FillCodeList(store::Dataset& table, const QString& fieldCode, QComboBox* combo,
                  bool keepWithoutBlank) {
    fillCodes(table, fieldCode, combo, keepWithoutBlank, false);
}

void FillCodeListAll(store::Dataset& table, const QString& fieldCode, QComboBox* combo,
                     bool keepWithoutBlank) {
    fillCodes(table, fieldCode, combo, keepWithoutBlank, true);
}

void FillPairList(store::Dataset& table, QComboBox* combo, const QString& codeField,
                  const QString& nameField, bool keepWithoutBlank) {
    combo->clear();
    table.setFilter({});
    table.open();
    const std::string code = codeField.toStdString();
    const std::string name = nameField.toStdString();
    for (table.first(); !table.eof(); table.next()) {
        const store::Field codeValue = table.field(code);
        const store::Field nameValue = table.field(name);
        if (codeValue.isNull() || nameValue.isNull()) {
            continue;
        }
        combo->addItem(QString::fromStdString(codeValue.asText()) + QStringLiteral("  (") +
                       QString::fromStdString(nameValue.asText()) + QStringLiteral(")"));
    }
    finishList(combo, keepWithoutBlank);
}

void FillFieldValues(store::Dataset& table, QComboBox* combo, const QString& fieldName) {
    combo->clear();
    table.open();
    const std::string name = fieldName.toStdString();
    for (table.first(); !table.eof(); table.next()) {
        const store::Field field = table.field(name);
        if (!field.isNull()) {
            combo->addItem(QString::fromStdString(field.asText()));
        }
    }
    combo->setCurrentIndex(-1);
}

void SelectCodeItem(const QString& code, QComboBox* combo) {
    for (int i = 0; i < combo->count(); ++i) {
        const QString item = combo->itemText(i);
        if (item == kBlankItem) {
            continue;
        }
        const qsizetype separator = item.indexOf(kCodeSeparator);
        const QString itemCode = separator < 0 ? QString() : item.left(separator).trimmed();
        if (itemCode == code) {
            combo->setCurrentIndex(i);
        }
    }
}

void ShowClassCode(store::Dataset& table, const QString& code, QLineEdit* edit) {
    table.setFilter(
        (QStringLiteral("xxdm='") + QuoteFilterText(code) + QStringLiteral("'")).toStdString());
    table.open();
    table.first();
    if (table.recordCount() > 0) {
        edit->setText(fieldText(table, 1) + kCodeSeparator + fieldText(table, 2));
        edit->setCursorPosition(0);  // the code first, however long the name
    } else {
        edit->clear();
    }
}

}  // namespace widgets

// The main window's operations shared with the entry forms, the query builder and the
// exchange: the warning box, the code lists, the multi-choice codec and the text helpers.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <vector>

#include "Clock.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "Product.h"
#include "SilentAbort.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "ValueText.h"

using widgets::fieldText;

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
    table.setFilter(
        (QStringLiteral("zddm ='") + TMainForm::QuoteFilterText(fieldCode) + QStringLiteral("'"))
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

// The check boxes and radio buttons whose parent is panel, in the form's component order
// (findChildren walks the object tree depth-first, each object before its children, in
// creation order).
std::vector<QAbstractButton*> choiceBoxes(QWidget* form, QWidget* panel) {
    std::vector<QAbstractButton*> boxes;
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        if (button->parent() == panel && button->objectName() != QStringLiteral("ImageList1") &&
            (qobject_cast<QCheckBox*>(button) != nullptr ||
             qobject_cast<QRadioButton*>(button) != nullptr)) {
            boxes.push_back(button);
        }
    }
    return boxes;
}

// The code's number when the code has two or more characters, else 0; a code that is not a
// number is reported and counts as 0.
int codeNumber(TMainForm& form, const QString& code) {
    if (code.size() < 2) {
        return 0;
    }
    bool ok = false;
    const int number = code.toInt(&ok);
    if (!ok) {
        form.ShowWarning(QStringLiteral("'") + code + QStringLiteral("'不是数字格式！"));
        return 0;
    }
    return number;
}

// Unchecks a radio button too, which Qt refuses while it is the checked one of its group.
void uncheck(QAbstractButton* button) {
    if (!button->isChecked()) {
        return;
    }
    QButtonGroup* group = button->group();
    const bool groupExclusive = group != nullptr && group->exclusive();
    const bool autoExclusive = button->autoExclusive();
    if (groupExclusive) {
        group->setExclusive(false);
    }
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(autoExclusive);
    if (groupExclusive) {
        group->setExclusive(true);
    }
}

// "yyyy.mm" -> the year before the "." and the month after it.
void splitYearMonth(const QString& text, QLineEdit* year, QLineEdit* month) {
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    year->setText(dot < 0 ? QString() : text.left(dot));
    month->setText(text.mid(dot + 1));
}

}  // namespace

void TMainForm::ShowWarning(const QString& text) {
    widgets::Dialogs::instance().message(this, widgets::Icon::Warning, product::name(), text,
                                         widgets::Ok, widgets::Ok);
}

void TMainForm::ShowWarningAndAbort(const QString& text) {
    ShowWarning(text);
    throw SilentAbort();
}

void TMainForm::FillCodeList(store::Dataset& table, const QString& fieldCode, QComboBox* combo,
                             bool keepWithoutBlank) {
    fillCodes(table, fieldCode, combo, keepWithoutBlank, false);
}

void TMainForm::FillCodeListAll(store::Dataset& table, const QString& fieldCode, QComboBox* combo,
                                bool keepWithoutBlank) {
    fillCodes(table, fieldCode, combo, keepWithoutBlank, true);
}

void TMainForm::FillPairList(store::Dataset& table, QComboBox* combo, const QString& codeField,
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

void TMainForm::FillFieldValues(store::Dataset& table, QComboBox* combo, const QString& fieldName) {
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

void TMainForm::SelectCodeItem(const QString& code, QComboBox* combo) {
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

QString TMainForm::CollectCheckedCodes(QWidget* form, QWidget* panel, int n,
                                       const QString& caption) {
    QString s;
    int checked = 0;
    for (QAbstractButton* box : choiceBoxes(form, panel)) {
        if (!box->isChecked()) {
            continue;
        }
        ++checked;
        s += box->objectName().right(n);
        if (qobject_cast<QCheckBox*>(box) != nullptr) {
            s += QLatin1Char(';');
        }
    }

    const qsizetype firstEnd = s.indexOf(QLatin1Char(';'));
    const QString first = s.left(firstEnd);
    const int firstNumber = codeNumber(*this, first);
    const QString rest = firstEnd < 0 ? QString() : s.mid(firstEnd + 1);
    QString second;
    int secondNumber = 0;
    if (rest.size() >= 2) {
        second = rest.left(rest.indexOf(QLatin1Char(';')));
        secondNumber = codeNumber(*this, second);
    }

    if (checked > 2) {
        widgets::Dialogs::instance().message(
            this, widgets::Icon::Question, QStringLiteral("提示"),
            QStringLiteral("'") + caption + QStringLiteral("'项目为复选项目，但至多选择二项！"),
            widgets::Ok, widgets::Ok);
        throw SilentAbort();
    }
    if (firstNumber > 0 && secondNumber > 0) {
        const bool ascending = firstNumber <= secondNumber;
        s = (ascending ? first : second) + QLatin1Char(';') + (ascending ? second : first) +
            QLatin1Char(';');
    }
    return s;
}

void TMainForm::CheckCodeBoxes(QWidget* form, QWidget* panel, const QString& value, int n) {
    if (value.isEmpty()) {
        return;
    }
    const qsizetype firstEnd = value.indexOf(QLatin1Char(';'));
    if (firstEnd < 0) {
        CheckCodeBox(form, panel, value, n);
        return;
    }
    CheckCodeBox(form, panel, value.left(firstEnd).trimmed(), n);
    const QString rest = value.mid(firstEnd + 1);
    const qsizetype secondEnd = rest.indexOf(QLatin1Char(';'));
    if (secondEnd >= 0) {
        CheckCodeBox(form, panel, rest.left(secondEnd).trimmed(), n);
    }
}

void TMainForm::CheckCodeBox(QWidget* form, QWidget* panel, const QString& code, int n) {
    for (QAbstractButton* box : choiceBoxes(form, panel)) {
        if (box->objectName().right(n) == code) {
            box->setChecked(true);
        }
    }
}

void TMainForm::ClearChoiceBoxes(QWidget* form) {
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        if (qobject_cast<QCheckBox*>(button) != nullptr ||
            qobject_cast<QRadioButton*>(button) != nullptr) {
            uncheck(button);
        }
    }
}

QString TMainForm::RequireText(const QString& text, const QString& message) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        ShowWarning(message);
        throw SilentAbort();
    }
    return trimmed;
}

QString TMainForm::TabsToSpaces(QString text) {
    return text.replace(QLatin1Char('\t'), QLatin1Char(' '));
}

QString TMainForm::IsoDateText(const QString& text) {
    return text.mid(0, 4) + QLatin1Char('-') + text.mid(5, 2) + QLatin1Char('-') + text.mid(8, 2);
}

void TMainForm::SplitToControls(const QString& text, QLineEdit* e1, QLineEdit* e2, QLineEdit* e3) {
    e1->clear();
    e2->clear();
    e3->clear();
    QLineEdit* const edits[] = {e1, e2, e3};
    QString rest = text;
    for (QLineEdit* edit : edits) {
        const qsizetype end = rest.indexOf(QLatin1Char(';'));
        if (end < 0) {
            edit->setText(rest);
            return;
        }
        edit->setText(rest.left(end));
        rest = rest.mid(end + 1);
    }
}

void TMainForm::SplitPeriod(const QString& period, QLineEdit* startYear, QLineEdit* startMonth,
                            QLineEdit* endYear, QLineEdit* endMonth) {
    const QString s = period.trimmed();
    if (s.size() < 16) {
        // No period stored yet: this month.
        const QDate today = widgets::Clock::instance().today();
        const QString year = QString::number(today.year());
        const QString month = QString::number(today.month());
        startYear->setText(year);
        startMonth->setText(month);
        endYear->setText(year);
        endMonth->setText(month);
        return;
    }
    splitYearMonth(s.left(7).trimmed(), startYear, startMonth);
    splitYearMonth(s.right(7).trimmed(), endYear, endMonth);
}

void TMainForm::ShowClassCode(store::Dataset& table, const QString& code, QLineEdit* edit) {
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

void TMainForm::RunQuerySql(store::Query& query, const QString& sql) {
    TDM::OpenQuerySql(query, sql.toStdString());
}

QString TMainForm::QuoteSqlText(QString text) {
    return text.replace(QLatin1Char('\''), QStringLiteral("''"));
}

QString TMainForm::QuoteFilterText(const QString& text) {
    return QString::fromStdString(store::filterText(text.toStdString()));
}

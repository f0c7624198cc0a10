#include "ChoiceBoxes.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QRadioButton>
#include <vector>

#include "Dialogs.h"
#include "SilentAbort.h"
#include "Warnings.h"

namespace widgets {

namespace {

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
int codeNumber(const QString& code) {
    if (code.size() < 2) {
        return 0;
    }
    bool ok = false;
    const int number = code.toInt(&ok);
    if (!ok) {
        ShowWarning(QStringLiteral("'") + code + QStringLiteral("'不是数字格式！"));
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

}  // namespace

QString CollectCheckedCodes(QWidget* form, QWidget* panel, int n, const QString& caption) {
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
    const int firstNumber = codeNumber(first);
    const QString rest = firstEnd < 0 ? QString() : s.mid(firstEnd + 1);
    QString second;
    int secondNumber = 0;
    if (rest.size() >= 2) {
        second = rest.left(rest.indexOf(QLatin1Char(';')));
        secondNumber = codeNumber(second);
    }

    if (checked > 2) {
        Dialogs::instance().message(
            mainWindow(), Icon::Question, QStringLiteral("提示"),
            QStringLiteral("'") + caption + QStringLiteral("'项目为复选项目，但至多选择二项！"), Ok,
            Ok);
        throw SilentAbort();
    }
    if (firstNumber > 0 && secondNumber > 0) {
        const bool ascending = firstNumber <= secondNumber;
        s = (ascending ? first : second) + QLatin1Char(';') + (ascending ? second : first) +
            QLatin1Char(';');
    }
    return s;
}

void CheckCodeBoxes(QWidget* form, QWidget* panel, const QString& value, int n) {
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

void CheckCodeBox(QWidget* form, QWidget* panel, const QString& code, int n) {
    for (QAbstractButton* box : choiceBoxes(form, panel)) {
        if (box->objectName().right(n) == code) {
            box->setChecked(true);
        }
    }
}

void ClearChoiceBoxes(QWidget* form) {
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        if (qobject_cast<QCheckBox*>(button) != nullptr ||
            qobject_cast<QRadioButton*>(button) != nullptr) {
            uncheck(button);
        }
    }
}

}  // namespace widgets

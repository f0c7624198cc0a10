#pragma once

#include <QString>

class QWidget;

// The multi-choice codec: a panel of check boxes or radio buttons whose names end in the
// option codes, stored as the checked codes each followed by ";", at most two, ascending.
namespace widgets {

// The stored value of panel (a child of form), codes of n characters; more than two checked
// boxes shows the at-most-two message naming caption and cancels the action (SilentAbort).
QString CollectCheckedCodes(QWidget* form, QWidget* panel, int n, const QString& caption);
// Checks the boxes named by the one or two codes of a stored value.
void CheckCodeBoxes(QWidget* form, QWidget* panel, const QString& value, int n);
// Checks every box of panel whose name ends in code.
void CheckCodeBox(QWidget* form, QWidget* panel, const QString& code, int n);
// Unchecks every check box and radio button of form.
void ClearChoiceBoxes(QWidget* form);

}  // namespace widgets

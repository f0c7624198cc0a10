#pragma once

#include <QString>

class QLineEdit;

// Texts of the entry windows: required texts, long texts, text dates and the controls that
// show one stored text in parts.
namespace widgets {

// The trimmed text; an empty one warns with message and cancels the action (SilentAbort).
QString RequireText(const QString& text, const QString& message);
// Every tab replaced by one blank.
QString TabsToSpaces(QString text);
// "yyyy.mm.dd" -> "yyyy-mm-dd".
QString IsoDateText(const QString& text);
// Clears the three edits and spreads up to three ";"-separated parts of text over them.
void SplitToControls(const QString& text, QLineEdit* e1, QLineEdit* e2, QLineEdit* e3);
// The research period "yyyy.mm-yyyy.mm" in four year and month edits; a period too short to
// hold both ends shows this month in all four.
void SplitPeriod(const QString& period, QLineEdit* startYear, QLineEdit* startMonth,
                 QLineEdit* endYear, QLineEdit* endMonth);

}  // namespace widgets

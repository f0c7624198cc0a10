#include "EntryText.h"

#include <QDate>
#include <QLineEdit>

#include "Clock.h"
#include "Warnings.h"

namespace widgets {

namespace {

// "yyyy.mm" -> the year before the "." and the month after it.
void splitYearMonth(const QString& text, QLineEdit* year, QLineEdit* month) {
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    year->setText(dot < 0 ? QString() : text.left(dot));
    month->setText(text.mid(dot + 1));
}

}  // namespace

QString RequireText(const QString& text, const QString& message) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        ShowWarningAndAbort(message);
    }
    return trimmed;
}

QString TabsToSpaces(QString text) {
    return text.replace(QLatin1Char('\t'), QLatin1Char(' '));
}

QString IsoDateText(const QString& text) {
    return text.mid(0, 4) + QLatin1Char('-') + text.mid(5, 2) + QLatin1Char('-') + text.mid(8, 2);
}

void SplitToControls(const QString& text, QLineEdit* e1, QLineEdit* e2, QLineEdit* e3) {
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

void SplitPeriod(const QString& period, QLineEdit* startYear, QLineEdit* startMonth,
                 QLineEdit* endYear, QLineEdit* endMonth) {
    const QString s = period.trimmed();
    if (s.size() < 16) {
        // No period stored yet: this month.
        const QDate today = Clock::instance().today();
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

}  // namespace widgets

#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

// The text of a PDF as pdftotext reads it, laid out as on the page; pages end in a form feed.
inline QString pdfText(const QString& pdf) {
    QProcess reader;
    reader.start(QStringLiteral(PDFTOTEXT_PATH),
                 {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                  QStringLiteral("-")});
    reader.waitForFinished(60000);
    return QString::fromUtf8(reader.readAllStandardOutput());
}

// The last non-empty line of every page of a pdfText: the page labels.
inline QStringList pageFoots(const QString& text) {
    QStringList foots;
    for (const QString& page : text.split(u'\f', Qt::SkipEmptyParts)) {
        const QStringList lines = page.split(u'\n', Qt::SkipEmptyParts);
        if (!lines.isEmpty()) {
            foots << lines.last().trimmed();
        }
    }
    return foots;
}

}  // namespace testsupport

#pragma once

#include <QString>
#include <QStringList>
#include <ostream>
#include <vector>

// Readable QString values in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

// Texts from UTF-8 literals, for comparing lists of messages.
inline QStringList texts(const std::vector<const char*>& utf8) {
    QStringList list;
    for (const char* text : utf8) {
        list << QString::fromUtf8(text);
    }
    return list;
}

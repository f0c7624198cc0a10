#include "MemoryTable.h"

#include "ReportLayout.h"

namespace print {

MemoryTable::MemoryTable(QString name, QStringList fieldNames)
    : m_name(std::move(name)), m_fields(std::move(fieldNames)) {}

int MemoryTable::fieldIndex(const QString& name) const {
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int MemoryTable::requireField(const QString& name) const {
    const int index = fieldIndex(name);
    if (index < 0) {
        throw PrintError(QStringLiteral("内存表 %1 没有字段 %2").arg(m_name, name));
    }
    return index;
}

void MemoryTable::emptyTable() {
    m_rows.clear();
    m_appending = false;
    m_pos = 0;
}

void MemoryTable::append() {
    m_pending = QStringList();
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        m_pending << QString();
    }
    m_appending = true;
}

void MemoryTable::setField(const QString& name, const QString& text) {
    const int index = requireField(name);
    if (!m_appending) {
        throw PrintError(QStringLiteral("内存表 %1 不在追加状态，不能写字段 %2").arg(m_name, name));
    }
    if (text.size() > kFieldWidth) {
        throw PrintError(QStringLiteral("内存表 %1 的字段 %2 最多容纳 %3 个字符，值有 %4 个")
                             .arg(m_name, name)
                             .arg(kFieldWidth)
                             .arg(text.size()));
    }
    m_pending[index] = text;
}

void MemoryTable::post() {
    if (m_appending) {
        m_rows.push_back(m_pending);
        m_pos = rowCount() - 1;
        m_appending = false;
    }
}

QString MemoryTable::field(const QString& name) const {
    const int index = requireField(name);
    return eof() ? QString() : m_rows[m_pos][index];
}

}  // namespace print

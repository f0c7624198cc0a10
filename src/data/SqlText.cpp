#include "SqlText.h"

#include "Dataset.h"
#include "UnitDM.h"

QString QuoteSqlText(QString text) {
    return text.replace(QLatin1Char('\''), QStringLiteral("''"));
}

QString QuoteFilterText(const QString& text) {
    return QString::fromStdString(store::filterText(text.toStdString()));
}

void RunQuerySql(store::Query& query, const QString& sql) {
    TDM::OpenQuerySql(query, sql.toStdString());
}

#pragma once

#include <QString>

namespace store {
class Query;
}

// SQL statements and dataset filters built as text.

// Every single quote doubled, for a quoted SQL literal.
QString QuoteSqlText(QString text);
// text as the value of a dataset filter term, matching itself exactly: quotes doubled, and
// trailing stars doubled so that they are not read as a prefix match.
QString QuoteFilterText(const QString& text);
// Closes query, replaces its statement with sql and opens it.
void RunQuerySql(store::Query& query, const QString& sql);

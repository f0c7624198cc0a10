#pragma once

#include <QStringList>

// The exchange data sets in package order: the main table, co-completing units, completing
// persons, evaluation committee, patents, the registering unit and its discipline leaders.
// The export and the import name the package's files after them (NAME.TXT).
inline const QStringList ExchangeTables{QStringLiteral("HVEL"),  QStringLiteral("CGWCDW"),
                                        QStringLiteral("CGWCR"), QStringLiteral("JDWYHMD"),
                                        QStringLiteral("ZLQK"),  QStringLiteral("unit"),
                                        QStringLiteral("expert")};

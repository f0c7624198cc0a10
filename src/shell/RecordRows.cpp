#include "RecordRows.h"

#include "Database.h"
#include "Dataset.h"
#include "Unit1.h"
#include "UnitDM.h"

namespace recordrows {

std::array<store::Table*, 4> childTables() {
    return {&DM->TblCgwcdw, &DM->tblzlqk, &DM->Tbljdwyhmd, &DM->TblCgwcr};
}

void filterToRecord(store::Table& table, const QString& key, const QString& region) {
    table.close();
    table.setFilter((QStringLiteral("item_4='") + TMainForm::QuoteFilterText(key) +
                     QStringLiteral("' and item_dqdm='") + TMainForm::QuoteFilterText(region) +
                     QStringLiteral("'"))
                        .toStdString());
    table.open();
}

void reopenChildTables() {
    for (store::Table* children : childTables()) {
        children->close();
        children->open();
    }
}

}  // namespace recordrows

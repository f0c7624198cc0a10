#include "RecordRows.h"

#include "Database.h"
#include "Dataset.h"
#include "UnitDM.h"

namespace recordrows {

std::array<store::Table*, 4> childTables() {
    return {&DM->TblCgwcdw, &DM->tblzlqk, &DM->Tbljdwyhmd, &DM->TblCgwcr};
}

void filterToRecord(store::Table& table, const QString& key, const QString& region) {
    TDM::FilterToRecord(table, key.toStdString(), region.toStdString());
}

void reopenChildTables() {
    for (store::Table* children : childTables()) {
        children->close();
        children->open();
    }
}

}  // namespace recordrows

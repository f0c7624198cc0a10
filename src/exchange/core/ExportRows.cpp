#include "ExportRows.h"

#include <set>

#include "Dataset.h"
#include "ExchangeTextFile.h"

namespace exchange {

void WriteChildRows(store::Database& db, const std::string& table,
                    const std::vector<RecordKey>& records, const std::string& path) {
    // One statement for every record: prepared once, its equality on the key answered by the
    // key index. A missing region is stored as null.
    store::Query rows(db);
    rows.setSql("select * from " + table +
                " where item_4 = :key and ifnull(item_dqdm, '') = :region");
    rows.setAccess(store::Database::Access::ReadOnly);
    ExchangeTextWriter file(path);
    std::set<RecordKey> written;
    for (const RecordKey& record : records) {
        if (record.key.empty() || !written.insert(record).second) {
            continue;
        }
        rows.close();
        rows.setParam("key", store::Value(record.key));
        rows.setParam("region", store::Value(record.region));
        rows.open();
        WriteExchangeRows(rows, file);
    }
    rows.close();
    file.close();
}

}  // namespace exchange

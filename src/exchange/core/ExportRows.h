#pragma once

#include <compare>
#include <string>
#include <vector>

namespace store {
class Database;
}

// The child rows that leave with an export: those of the exported records, and no others.
namespace exchange {

// A record as its child rows name it: its key (ITEM_4) and its region (ITEM_DQDM), trimmed.
struct RecordKey {
    std::string key;
    std::string region;
    auto operator<=>(const RecordKey&) const = default;
};

// Writes to path, by the rules of WriteExchangeRows, the rows of the child table table of db
// that belong to records: record by record in the order given (a record named twice once),
// each record's rows in the table's order. A row belongs to a record when its ITEM_4 is the
// key and its ITEM_DQDM the region (an empty region: none), as the import matches them; a
// record without a key has none. Each record's rows are found through the table's key index.
// Throws ExchangeIoError on a file error.
void WriteChildRows(store::Database& db, const std::string& table,
                    const std::vector<RecordKey>& records, const std::string& path);

}  // namespace exchange

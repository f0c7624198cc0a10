#pragma once

#include "DatasetModel.h"

class QTableView;

// Shows model in grid as the exchange windows list records: read-only, the name (ITEM_3,
// "成果名称") and the completing unit (ITEM_9, "完成单位") at the given widths.
void showRecordNames(QTableView& grid, widgets::DatasetModel& model, int nameWidth, int unitWidth);

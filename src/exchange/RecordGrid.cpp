#include "RecordGrid.h"

#include <QTableView>

void showRecordNames(QTableView& grid, widgets::DatasetModel& model, int nameWidth, int unitWidth) {
    model.setColumns(
        {widgets::listColumn(QStringLiteral("ITEM_3"), QStringLiteral("成果名称"), nameWidth),
         widgets::listColumn(QStringLiteral("ITEM_9"), QStringLiteral("完成单位"), unitWidth)});
    grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
    widgets::showDataset(grid, model);
}

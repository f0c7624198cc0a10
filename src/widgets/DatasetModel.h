#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

#include "Dataset.h"

class QTableView;

namespace widgets {

// One column of a grid: the field it shows (a stored field or a lookup field such as "V_181")
// and how its title and cells are drawn.
struct GridColumn {
    QString field;
    QString title;  // empty: the field's name
    int width = 64;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    Qt::Alignment titleAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    QColor titleColor;  // invalid: the header's own colour
    bool visible = true;
};

// A left-aligned grid column of field titled title.
GridColumn listColumn(QString field, QString title, int width);

// A read-only table model over a dataset: one row per row of the dataset, one column per
// GridColumn. The model's current row is the dataset's cursor.
//
// Rows are read without moving the dataset's cursor, in blocks of kBlockRows, and the texts
// of a bounded number of blocks are kept, so a grid over 100,000 rows reads only what is on
// screen. A posted row is read again; a reset drops every block.
//
// Detaching (setDataset(nullptr)) is the grid's suspend around a bulk loop: the model shows
// nothing and hears nothing until it is attached again, which resets it.
class DatasetModel : public QAbstractTableModel, private store::DatasetObserver {
    Q_OBJECT

public:
    static constexpr int kBlockRows = 64;
    static constexpr size_t kMaxBlocks = 32;

    explicit DatasetModel(QObject* parent = nullptr);
    ~DatasetModel() override;

    // The dataset must outlive its attachment.
    void setDataset(store::Dataset* dataset);
    store::Dataset* dataset() const { return m_dataset; }

    // What to do with the dataset's fields that no column names.
    enum class OtherFields { Omitted, Hidden };
    // Without a column table every field (lookup fields included) is a visible column titled
    // with its name.
    void setColumns(std::vector<GridColumn> columns, OtherFields others = OtherFields::Omitted);
    // The columns on show: the column table, then hidden columns for the other fields when
    // asked for; without a column table one column per field of the open dataset.
    const std::vector<GridColumn>& columns() const { return m_shown; }

    // The dataset's cursor as a row, -1 when there is none.
    int currentRow() const;
    // Moves the dataset's cursor (which posts a pending edit, as any move of the cursor does).
    void setCurrentRow(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The dataset's cursor moved to row (or the rows were reset).
    void currentRowChanged(int row);

private:
    using RowTexts = std::vector<QString>;
    struct Block {
        std::vector<RowTexts> rows;
        uint64_t lastUse = 0;
    };

    void datasetEvent(store::Dataset& dataset, store::DatasetEvent event) override;
    void observe(bool on);
    void reset();
    void resolveColumns();
    const RowTexts* rowTexts(int row) const;
    const Block* readBlock(int block) const;
    RowTexts readRow(int row) const;
    void dropCache();
    void repaintAll();

    store::Dataset* m_dataset = nullptr;
    std::vector<store::Dataset*> m_lookups;  // option lists behind the lookup fields
    std::vector<GridColumn> m_columns;       // as set
    OtherFields m_others = OtherFields::Omitted;
    std::vector<GridColumn> m_shown;
    std::vector<int> m_fieldIndex;  // per shown column, -1 when the dataset has no such field
    int m_rowCount = 0;

    mutable std::map<int, Block> m_blocks;
    mutable uint64_t m_uses = 0;
};

// Widths, hidden columns and titles of model's column table on view.
void applyColumns(QTableView& view, const DatasetModel& model);

// Shows model in view: the column table applied again after every reset, the view's current
// row following the dataset's cursor and a click on a row moving the cursor.
void showDataset(QTableView& view, DatasetModel& model);

}  // namespace widgets

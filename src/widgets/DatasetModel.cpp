#include "DatasetModel.h"

#include <QBrush>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <algorithm>

namespace widgets {

namespace {

int alignmentValue(Qt::Alignment alignment) {
    return static_cast<int>(alignment.toInt());
}

}  // namespace

DatasetModel::DatasetModel(QObject* parent) : QAbstractTableModel(parent) {}

DatasetModel::~DatasetModel() {
    observe(false);
}

void DatasetModel::setDataset(store::Dataset* dataset) {
    if (dataset == m_dataset) {
        return;
    }
    observe(false);
    m_dataset = dataset;
    observe(true);
    reset();
}

void DatasetModel::setColumns(std::vector<GridColumn> columns, OtherFields others) {
    m_columns = std::move(columns);
    m_others = others;
    reset();
}

void DatasetModel::observe(bool on) {
    if (m_dataset == nullptr) {
        return;
    }
    if (!on) {
        m_dataset->removeObserver(this);
        for (store::Dataset* lookup : m_lookups) {
            lookup->removeObserver(this);
        }
        m_lookups.clear();
        return;
    }
    m_dataset->addObserver(this);
    for (const store::LookupField& field : m_dataset->lookupFields()) {
        if (field.lookup != nullptr && field.lookup != m_dataset &&
            std::find(m_lookups.begin(), m_lookups.end(), field.lookup) == m_lookups.end()) {
            m_lookups.push_back(field.lookup);
            field.lookup->addObserver(this);
        }
    }
}

void DatasetModel::datasetEvent(store::Dataset& dataset, store::DatasetEvent event) {
    using store::DatasetEvent;
    if (&dataset != m_dataset) {
        // An option list behind a lookup field: its texts may have changed.
        if (event == DatasetEvent::Reset || event == DatasetEvent::Opened ||
            event == DatasetEvent::Closed || event == DatasetEvent::RowChanged) {
            dropCache();
            repaintAll();
        }
        return;
    }
    switch (event) {
        case DatasetEvent::Opened:
        case DatasetEvent::Closed:
        case DatasetEvent::Reset:
            reset();
            break;
        case DatasetEvent::RowChanged: {
            const int row = currentRow();
            if (row < 0 || row >= m_rowCount) {
                break;
            }
            if (auto it = m_blocks.find(row / kBlockRows); it != m_blocks.end()) {
                auto& rows = it->second.rows;
                if (static_cast<size_t>(row % kBlockRows) < rows.size()) {
                    rows[row % kBlockRows] = readRow(row);
                }
            }
            if (!m_shown.empty()) {
                emit dataChanged(index(row, 0), index(row, columnCount() - 1));
            }
            break;
        }
        case DatasetEvent::Scrolled:
            emit currentRowChanged(currentRow());
            break;
        case DatasetEvent::StateChanged:
            break;
    }
}

void DatasetModel::reset() {
    // Counting the rows can make a detail follow its master, which resets the model from
    // inside; count before the reset begins.
    const int count = m_dataset != nullptr && m_dataset->active() ? m_dataset->recordCount() : 0;
    beginResetModel();
    dropCache();
    resolveColumns();
    m_rowCount = count;
    endResetModel();
    emit currentRowChanged(currentRow());
}

void DatasetModel::resolveColumns() {
    const bool open = m_dataset != nullptr && m_dataset->active();
    const int fieldTotal =
        open ? m_dataset->fieldCount() + static_cast<int>(m_dataset->lookupFields().size()) : 0;
    auto fieldName = [this](int index) {
        return QString::fromStdString(m_dataset->fieldDef(index).name);
    };

    m_shown = m_columns;
    if (m_columns.empty()) {
        for (int i = 0; i < fieldTotal; ++i) {
            GridColumn column;
            column.field = fieldName(i);
            m_shown.push_back(column);
        }
    } else if (m_others == OtherFields::Hidden) {
        for (int i = 0; i < fieldTotal; ++i) {
            const QString name = fieldName(i);
            const bool named = std::any_of(m_columns.begin(), m_columns.end(), [&](const auto& c) {
                return c.field.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (!named) {
                GridColumn column;
                column.field = name;
                column.visible = false;
                m_shown.push_back(column);
            }
        }
    }

    m_fieldIndex.clear();
    for (GridColumn& column : m_shown) {
        if (column.title.isEmpty()) {
            column.title = column.field;
        }
        m_fieldIndex.push_back(open ? m_dataset->fieldIndex(column.field.toStdString()) : -1);
    }
}

int DatasetModel::currentRow() const {
    if (m_dataset == nullptr || !m_dataset->active() || m_rowCount == 0) {
        return -1;
    }
    return m_dataset->recNo() - 1;
}

void DatasetModel::setCurrentRow(int row) {
    if (row < 0 || row >= m_rowCount || row == currentRow()) {
        return;
    }
    m_dataset->setRecNo(row + 1);
}

int DatasetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rowCount;
}

int DatasetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const GridColumn& column = m_shown[static_cast<size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole: {
            const RowTexts* texts = rowTexts(index.row());
            return texts != nullptr ? (*texts)[static_cast<size_t>(index.column())] : QString();
        }
        case Qt::TextAlignmentRole:
            return alignmentValue(column.alignment);
        default:
            return {};
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(m_shown.size())) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const GridColumn& column = m_shown[static_cast<size_t>(section)];
    switch (role) {
        case Qt::DisplayRole:
            return column.title;
        case Qt::TextAlignmentRole:
            return alignmentValue(column.titleAlignment);
        case Qt::ForegroundRole:
            return column.titleColor.isValid() ? QVariant(QBrush(column.titleColor)) : QVariant();
        default:
            return {};
    }
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

const DatasetModel::RowTexts* DatasetModel::rowTexts(int row) const {
    if (m_dataset == nullptr || row < 0 || row >= m_rowCount) {
        return nullptr;
    }
    const int block = row / kBlockRows;
    auto it = m_blocks.find(block);
    const Block* found = it != m_blocks.end() ? &it->second : readBlock(block);
    if (found == nullptr) {
        return nullptr;
    }
    const_cast<Block*>(found)->lastUse = ++m_uses;
    const size_t offset = static_cast<size_t>(row % kBlockRows);
    return offset < found->rows.size() ? &found->rows[offset] : nullptr;
}

const DatasetModel::Block* DatasetModel::readBlock(int block) const {
    if (!m_dataset->active()) {
        return nullptr;
    }
    const int first = block * kBlockRows;
    const int end = std::min({first + kBlockRows, m_rowCount, m_dataset->recordCount()});
    Block read;
    for (int row = first; row < end; ++row) {
        read.rows.push_back(readRow(row));
    }
    if (m_blocks.size() >= kMaxBlocks) {
        m_blocks.erase(std::min_element(m_blocks.begin(), m_blocks.end(), [](auto& a, auto& b) {
            return a.second.lastUse < b.second.lastUse;
        }));
    }
    return &(m_blocks[block] = std::move(read));
}

DatasetModel::RowTexts DatasetModel::readRow(int row) const {
    RowTexts texts(m_shown.size());
    try {
        for (size_t column = 0; column < m_shown.size(); ++column) {
            if (m_fieldIndex[column] >= 0) {
                texts[column] =
                    QString::fromStdString(m_dataset->valueAt(row, m_fieldIndex[column]).asText());
            }
        }
    } catch (const std::exception&) {
        // A row that cannot be read (a damaged record) shows what was read of it; painting
        // must not fail.
    }
    return texts;
}

void DatasetModel::dropCache() {
    m_blocks.clear();
}

void DatasetModel::repaintAll() {
    if (m_rowCount > 0 && !m_shown.empty()) {
        emit dataChanged(index(0, 0), index(m_rowCount - 1, columnCount() - 1));
    }
}

void applyColumns(QTableView& view, const DatasetModel& model) {
    const auto& columns = model.columns();
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        const GridColumn& column = columns[static_cast<size_t>(i)];
        view.setColumnHidden(i, !column.visible);
        if (column.visible) {
            view.setColumnWidth(i, column.width);
        }
    }
}

GridColumn listColumn(QString field, QString title, int width) {
    GridColumn column;
    column.field = std::move(field);
    column.title = std::move(title);
    column.width = width;
    return column;
}

void showDataset(QTableView& view, DatasetModel& model) {
    view.setModel(&model);
    applyColumns(view, model);
    auto follow = [&view, &model](int row) {
        if (row < 0) {
            return;
        }
        const QModelIndex current = view.currentIndex();
        if (current.isValid() && current.row() == row) {
            return;
        }
        int column = current.isValid() ? current.column() : 0;
        while (column < model.columnCount() && view.isColumnHidden(column)) {
            ++column;
        }
        if (column < model.columnCount()) {
            view.setCurrentIndex(model.index(row, column));
            view.scrollTo(view.currentIndex());
        }
    };
    QObject::connect(&model, &QAbstractItemModel::modelReset, &view,
                     [&view, &model] { applyColumns(view, model); });
    QObject::connect(&model, &DatasetModel::currentRowChanged, &view, follow);
    QObject::connect(view.selectionModel(), &QItemSelectionModel::currentRowChanged, &model,
                     [&model](const QModelIndex& current) {
                         if (current.isValid()) {
                             model.setCurrentRow(current.row());
                         }
                     });
    follow(model.currentRow());
}

}  // namespace widgets

#include "db/gridmodel.h"

#include "db/consoletext.h"

#include <algorithm>

StringGridModel::StringGridModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void StringGridModel::setGridRowCount(int rows)
{
    rows = std::max(rows, 0);
    const int old = gridRowCount();
    if (rows == old)
        return;
    if (rows <= m_fixed) // the grid keeps fewer fixed rows than rows
        setFixedRows(0);
    if (rows > old) {
        beginInsertRows(QModelIndex(), old - m_fixed, rows - 1 - m_fixed);
        m_rows.resize(rows);
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), rows - m_fixed, old - 1 - m_fixed);
        m_rows.resize(rows);
        endRemoveRows();
    }
}

void StringGridModel::setGridColumnCount(int columns)
{
    columns = std::max(columns, 0);
    const int old = m_columns;
    if (columns == old)
        return;
    if (columns > old) {
        beginInsertColumns(QModelIndex(), old, columns - 1);
        m_columns = columns;
        endInsertColumns();
        return;
    }
    beginRemoveColumns(QModelIndex(), columns, old - 1);
    m_rows.truncateColumns(columns);
    m_columns = columns;
    endRemoveColumns();
}

void StringGridModel::setFixedRows(int fixed)
{
    if (fixed == m_fixed || fixed < 0 || fixed > 1 || fixed >= gridRowCount())
        return;
    // Row 0 moves between the header and the body.
    if (fixed == 1) {
        beginRemoveRows(QModelIndex(), 0, 0);
        m_fixed = 1;
        endRemoveRows();
    } else {
        beginInsertRows(QModelIndex(), 0, 0);
        m_fixed = 0;
        endInsertRows();
    }
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, std::max(m_columns - 1, 0));
}

QString StringGridModel::cell(int column, int row) const
{
    return textFromServer(cellBytes(column, row));
}

void StringGridModel::setCell(int column, int row, const QString &text)
{
    if (column < 0 || column >= m_columns || row < 0 || row >= gridRowCount())
        return;
    std::vector<QByteArrayView> cells = m_rows.cells(row);
    if (cells.size() <= size_t(column))
        cells.resize(size_t(column) + 1);
    const QByteArray utf8 = text.toUtf8();
    cells[size_t(column)] = utf8;
    m_rows.setRow(row, cells);
    cellsChanged(row, row);
}

void StringGridModel::setRowBytes(int row, std::span<const QByteArrayView> values)
{
    if (row < 0 || row >= gridRowCount())
        return;
    m_rows.setRow(row, values.first(std::min(values.size(), size_t(m_columns))));
    cellsChanged(row, row);
}

StringGridModel::Batch::Batch(StringGridModel &model)
    : m_model(model)
{
    ++m_model.m_batchDepth;
}

StringGridModel::Batch::~Batch()
{
    if (--m_model.m_batchDepth > 0 || m_model.m_batchFirst < 0)
        return;
    const int first = m_model.m_batchFirst;
    const int last = m_model.m_batchLast;
    m_model.m_batchFirst = m_model.m_batchLast = -1;
    m_model.cellsChanged(first, last);
}

void StringGridModel::cellsChanged(int firstRow, int lastRow)
{
    if (m_batchDepth > 0) {
        m_batchFirst = m_batchFirst < 0 ? firstRow : std::min(m_batchFirst, firstRow);
        m_batchLast = std::max(m_batchLast, lastRow);
        return;
    }
    if (m_columns == 0)
        return;
    if (firstRow < m_fixed)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
    const int first = std::max(firstRow, m_fixed) - m_fixed;
    const int last = std::min(lastRow, gridRowCount() - 1) - m_fixed;
    if (first <= last)
        Q_EMIT dataChanged(index(first, 0), index(last, m_columns - 1), {Qt::DisplayRole});
}

QByteArrayView StringGridModel::cellBytes(int column, int row) const
{
    if (column < 0 || column >= m_columns)
        return {};
    return m_rows.cell(row, column);
}

int StringGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : gridRowCount() - m_fixed;
}

int StringGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant StringGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return cell(index.column(), index.row() + m_fixed);
}

QVariant StringGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_fixed == 1 ? cell(section, 0) : QString();
    return QString();
}

Qt::ItemFlags StringGridModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

#include "db/gridmodel.h"

#include "db/consoletext.h"

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>

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
    const QByteArrayView bytes = cellBytes(column, row);
    if (bytes.isNull())
        return kNullText;
    if (row >= 1 && isBinaryColumn(column))
        return hexText(bytes);
    return textFromServer(bytes);
}

bool StringGridModel::isNull(int column, int row) const
{
    return cellBytes(column, row).isNull();
}

bool StringGridModel::isBinaryColumn(int column) const
{
    return column >= 0 && size_t(column) < m_binary.size() && m_binary[size_t(column)];
}

void StringGridModel::takeResult(PackedRows &&rows, int columns, std::vector<bool> binaryColumns)
{
    const int oldBody = rowCount();
    if (oldBody > 0) { // the old rows go first: the grid never holds two results
        beginRemoveRows(QModelIndex(), 0, oldBody - 1);
        m_rows.resize(m_fixed);
        endRemoveRows();
    }
    m_binary.clear();
    setGridColumnCount(columns);
    const int fixed = rows.size() > 1 ? 1 : 0;
    const int newBody = rows.size() - fixed;
    if (newBody > 0)
        beginInsertRows(QModelIndex(), 0, newBody - 1);
    m_rows = std::move(rows);
    m_fixed = fixed;
    m_binary = std::move(binaryColumns);
    if (newBody > 0)
        endInsertRows();
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, std::max(m_columns - 1, 0));
}

void StringGridModel::setCell(int column, int row, const QString &text)
{
    if (column < 0 || column >= m_columns || row < 0 || row >= gridRowCount())
        return;
    std::vector<QByteArrayView> cells = m_rows.cells(row);
    if (cells.size() <= size_t(column))
        cells.resize(size_t(column) + 1);
    const QByteArray utf8 = text.toUtf8();
    cells[size_t(column)] = utf8.isNull() ? QByteArrayView("", 0) : QByteArrayView(utf8);
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
        return QByteArrayView("", 0); // empty, not NULL
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
    if (!index.isValid())
        return {};
    const int column = index.column();
    const int row = index.row() + m_fixed;
    switch (role) {
    case Qt::DisplayRole: {
        const QByteArrayView bytes = cellBytes(column, row);
        if (bytes.isNull())
            return kNullText;
        if (row >= 1 && isBinaryColumn(column))
            return hexText(bytes.first(std::min(bytes.size(), kShownBinaryBytes)))
                   + (bytes.size() > kShownBinaryBytes ? QStringLiteral("…") : QString());
        return shownText(textFromServer(utf8Prefix(bytes, 4 * kShownCharacters)));
    }
    case Qt::ToolTipRole: {
        const QByteArrayView bytes = cellBytes(column, row);
        const bool binary = row >= 1 && isBinaryColumn(column);
        if (bytes.isNull() || bytes.size() <= (binary ? kShownBinaryBytes : kShownCharacters))
            return {};
        const QByteArrayView tip = utf8Prefix(bytes, kTooltipBytes);
        const QString more = tip.size() < bytes.size() ? QStringLiteral("…") : QString();
        if (binary)
            return hexText(tip) + more;
        return shownText(textFromServer(utf8Prefix(bytes, kTooltipBytes)), kTooltipBytes) + more;
    }
    case Qt::ForegroundRole:
        if (cellBytes(column, row).isNull())
            return QBrush(QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text));
        return {};
    default:
        return {};
    }
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

QByteArray StringGridModel::csv() const
{
    QByteArray out;
    for (int row = 0; row < gridRowCount(); ++row) {
        QString line;
        for (int column = 0; column < m_columns; ++column) {
            if (column > 0)
                line += u',';
            if (!isNull(column, row))
                line += csvExportField(cell(column, row));
        }
        out += line.toUtf8() + "\r\n";
    }
    return out;
}

QString StringGridModel::tabText(int firstRow, int lastRow, int firstColumn, int lastColumn) const
{
    QStringList lines;
    for (int row = firstRow; row <= lastRow; ++row) {
        QStringList cells;
        for (int column = firstColumn; column <= lastColumn; ++column)
            cells.append(cell(column, row + m_fixed));
        lines.append(cells.join(u'\t'));
    }
    return lines.join(u'\n');
}

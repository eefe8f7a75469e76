#include "db/gridmodel.h"

#include "db/consoletext.h"

#include <algorithm>
#include <cstring>

// Layout of a packed row: quint32 count, then `count` quint32 cell ends
// (offsets into the bytes that follow), then the cells' bytes back to back.
namespace {

quint32 readWord(const char *at)
{
    quint32 word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

void writeWord(char *at, quint32 word)
{
    std::memcpy(at, &word, sizeof word);
}

quint32 cellCountOf(const QByteArray &packed)
{
    return packed.isEmpty() ? 0 : readWord(packed.constData());
}

QByteArray packRow(std::span<const QByteArrayView> values)
{
    const auto count = quint32(values.size());
    qsizetype bytes = 0;
    for (QByteArrayView value : values)
        bytes += value.size();
    const qsizetype header = qsizetype(sizeof(quint32)) * (count + 1);
    QByteArray packed(header + bytes, Qt::Uninitialized);
    char *data = packed.data();
    writeWord(data, count);
    char *out = data + header;
    quint32 end = 0;
    for (quint32 k = 0; k < count; ++k) {
        const QByteArrayView value = values[k];
        if (!value.isEmpty())
            std::memcpy(out, value.data(), size_t(value.size()));
        out += value.size();
        end += quint32(value.size());
        writeWord(data + sizeof(quint32) * (k + 1), end);
    }
    return packed;
}

std::vector<QByteArrayView> unpackRow(const QByteArray &packed)
{
    const quint32 count = cellCountOf(packed);
    std::vector<QByteArrayView> cells;
    cells.reserve(count);
    const char *base = packed.constData() + sizeof(quint32) * (count + 1);
    quint32 start = 0;
    for (quint32 k = 0; k < count; ++k) {
        const quint32 end = readWord(packed.constData() + sizeof(quint32) * (k + 1));
        cells.emplace_back(base + start, qsizetype(end - start));
        start = end;
    }
    return cells;
}

} // namespace

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
        m_rows.resize(size_t(rows));
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), rows - m_fixed, old - 1 - m_fixed);
        m_rows.resize(size_t(rows));
        m_rows.shrink_to_fit();
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
    for (QByteArray &packed : m_rows) {
        if (cellCountOf(packed) > quint32(columns))
            packed = truncatedRow(packed, columns);
    }
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
    std::vector<QByteArrayView> cells = unpackRow(m_rows[size_t(row)]);
    if (cells.size() <= size_t(column))
        cells.resize(size_t(column) + 1);
    const QByteArray utf8 = text.toUtf8();
    cells[size_t(column)] = utf8;
    m_rows[size_t(row)] = packRow(cells);
    cellsChanged(row, row);
}

void StringGridModel::setRowBytes(int row, std::span<const QByteArrayView> values)
{
    if (row < 0 || row >= gridRowCount())
        return;
    m_rows[size_t(row)] = packRow(values.first(std::min(values.size(), size_t(m_columns))));
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
    if (column < 0 || column >= m_columns || row < 0 || row >= gridRowCount())
        return {};
    const QByteArray &packed = m_rows[size_t(row)];
    const quint32 count = cellCountOf(packed);
    if (quint32(column) >= count)
        return {};
    const char *words = packed.constData() + sizeof(quint32);
    const quint32 start = column == 0 ? 0 : readWord(words + sizeof(quint32) * (column - 1));
    const quint32 end = readWord(words + sizeof(quint32) * column);
    const char *base = packed.constData() + sizeof(quint32) * (count + 1);
    return QByteArrayView(base + start, qsizetype(end - start));
}

QByteArray StringGridModel::truncatedRow(const QByteArray &packed, int columns)
{
    std::vector<QByteArrayView> cells = unpackRow(packed);
    cells.resize(size_t(columns));
    return packRow(cells);
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

#pragma once

#include <QByteArrayView>

#include <memory>
#include <span>
#include <vector>

/**
 * The rows of a text grid, packed for large results: each row is one record
 * (its cell count, the cells' end offsets, then the cells' bytes back to back)
 * placed in 1 MiB chunks, so that 100,000 rows cost 8 bytes of index each
 * besides their record, and no allocation per row or per cell.
 *
 * A chunk is freed as soon as none of its records is in use any more: a grid
 * refilled again and again (a refresh) does not grow.
 *
 * A cell given as a null view (QByteArrayView()) is kept as SQL NULL: it reads
 * back as a null view, every other cell as a view that is not null, however empty.
 */
class PackedRows
{
public:
    int size() const { return int(m_rows.size()); }
    /** New rows have no cells; removed rows release their records. */
    void resize(int rows);

    int cellCount(int row) const;
    /**
     * The bytes of one cell, valid until that row is changed: a null view for a
     * NULL cell, an empty one when the row has fewer cells.
     */
    QByteArrayView cell(int row, int column) const;
    /** Every cell of the row, valid until it is changed. */
    std::vector<QByteArrayView> cells(int row) const;
    /** Replaces the row's cells; the values may be views of this store. */
    void setRow(int row, std::span<const QByteArrayView> values);
    /** Adds a row at the end. */
    void appendRow(std::span<const QByteArrayView> values);
    /** Keeps at most the first `columns` cells of every row. */
    void truncateColumns(int columns);

    /** Bytes held in chunks (for measurements). */
    qsizetype reservedBytes() const;

private:
    static constexpr quint32 kNoChunk = 0xFFFFFFFF;
    struct RowRef
    {
        quint32 chunk = kNoChunk;
        quint32 offset = 0;
    };
    struct Chunk
    {
        std::unique_ptr<char[]> bytes;
        qsizetype capacity = 0;
        qsizetype used = 0;
        qsizetype live = 0; // bytes of records still in use
    };

    const char *record(int row) const;
    RowRef place(std::span<const QByteArrayView> values);
    quint32 newChunk(qsizetype capacity);
    void release(RowRef ref);

    std::vector<RowRef> m_rows;
    std::vector<Chunk> m_chunks;
    std::vector<quint32> m_freeSlots; // indexes of freed chunks, for reuse
    quint32 m_filling = kNoChunk;     // the chunk new records go to
};

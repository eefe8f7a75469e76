#include "db/packedrows.h"

#include <algorithm>
#include <cstring>

// A record: quint32 header (cell count in bits 0-30; bit 31 set when the end
// offsets are quint32 rather than quint16), the end offsets, then the bytes.
// The top bit of an end offset marks a NULL cell (which has no bytes).
namespace {

constexpr qsizetype kChunkSize = qsizetype(1) << 20;
constexpr quint32 kWideEnds = 0x80000000u;
constexpr quint32 kNarrowNull = 0x8000u;
constexpr quint32 kWideNull = 0x80000000u;
constexpr qsizetype kNarrowMaxBytes = 0x7FFF;

template <typename T>
T readAt(const char *at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void writeAt(char *at, T value)
{
    std::memcpy(at, &value, sizeof value);
}

struct Layout
{
    quint32 count;
    qsizetype endWidth;
    const char *ends;
    const char *bytes;

    explicit Layout(const char *record)
    {
        const auto header = readAt<quint32>(record);
        count = header & ~kWideEnds;
        endWidth = (header & kWideEnds) ? 4 : 2;
        ends = record + sizeof(quint32);
        bytes = ends + endWidth * count;
    }
    quint32 rawEnd(quint32 k) const
    {
        return endWidth == 4 ? readAt<quint32>(ends + 4 * k) : readAt<quint16>(ends + 2 * k);
    }
    quint32 end(quint32 k) const { return rawEnd(k) & (endWidth == 4 ? ~kWideNull : ~kNarrowNull); }
    bool isNull(quint32 k) const { return rawEnd(k) & (endWidth == 4 ? kWideNull : kNarrowNull); }
    qsizetype size() const
    {
        return qsizetype(bytes - (ends - sizeof(quint32))) + (count ? end(count - 1) : 0);
    }
};

} // namespace

void PackedRows::resize(int rows)
{
    rows = std::max(rows, 0);
    for (size_t r = size_t(rows); r < m_rows.size(); ++r)
        release(m_rows[r]);
    m_rows.resize(size_t(rows));
    if (m_rows.capacity() > 2 * m_rows.size() + 64)
        m_rows.shrink_to_fit();
}

const char *PackedRows::record(int row) const
{
    if (row < 0 || row >= size() || m_rows[size_t(row)].chunk == kNoChunk)
        return nullptr;
    const RowRef ref = m_rows[size_t(row)];
    return m_chunks[ref.chunk].bytes.get() + ref.offset;
}

int PackedRows::cellCount(int row) const
{
    const char *r = record(row);
    return r ? int(Layout(r).count) : 0;
}

QByteArrayView PackedRows::cell(int row, int column) const
{
    const char *r = record(row);
    if (!r || column < 0)
        return QByteArrayView("", 0);
    const Layout layout(r);
    if (quint32(column) >= layout.count)
        return QByteArrayView("", 0);
    if (layout.isNull(quint32(column)))
        return {};
    const quint32 start = column == 0 ? 0 : layout.end(quint32(column) - 1);
    return QByteArrayView(layout.bytes + start, qsizetype(layout.end(quint32(column)) - start));
}

std::vector<QByteArrayView> PackedRows::cells(int row) const
{
    std::vector<QByteArrayView> values(size_t(cellCount(row)));
    for (size_t k = 0; k < values.size(); ++k)
        values[k] = cell(row, int(k));
    return values;
}

void PackedRows::setRow(int row, std::span<const QByteArrayView> values)
{
    if (row < 0 || row >= size())
        return;
    const RowRef old = m_rows[size_t(row)];
    m_rows[size_t(row)] = place(values); // packed before the old record goes: values may point into it
    release(old);
}

void PackedRows::appendRow(std::span<const QByteArrayView> values)
{
    m_rows.push_back(place(values));
}

void PackedRows::truncateColumns(int columns)
{
    for (int r = 0; r < size(); ++r) {
        if (cellCount(r) > columns) {
            const std::vector<QByteArrayView> kept = cells(r);
            setRow(r, std::span(kept).first(size_t(std::max(columns, 0))));
        }
    }
}

qsizetype PackedRows::reservedBytes() const
{
    qsizetype total = 0;
    for (const Chunk &chunk : m_chunks)
        total += chunk.capacity;
    return total;
}

PackedRows::RowRef PackedRows::place(std::span<const QByteArrayView> values)
{
    if (values.empty())
        return {};
    qsizetype bytes = 0;
    for (QByteArrayView value : values)
        bytes += value.size();
    const bool wide = bytes > kNarrowMaxBytes;
    const qsizetype endWidth = wide ? 4 : 2;
    const qsizetype size = qsizetype(sizeof(quint32)) + endWidth * qsizetype(values.size()) + bytes;

    quint32 chunk = m_filling;
    if (size > kChunkSize / 4) {
        chunk = newChunk(size); // a large record gets a chunk of its own
    } else if (chunk == kNoChunk || m_chunks[chunk].capacity - m_chunks[chunk].used < size) {
        chunk = newChunk(kChunkSize);
        m_filling = chunk;
    }
    Chunk &target = m_chunks[chunk];
    const RowRef ref{chunk, quint32(target.used)};
    char *out = target.bytes.get() + target.used;
    target.used += size;
    target.live += size;

    writeAt<quint32>(out, quint32(values.size()) | (wide ? kWideEnds : 0));
    char *ends = out + sizeof(quint32);
    char *data = ends + endWidth * qsizetype(values.size());
    quint32 end = 0;
    for (size_t k = 0; k < values.size(); ++k) {
        if (!values[k].isEmpty())
            std::memcpy(data + end, values[k].data(), size_t(values[k].size()));
        end += quint32(values[k].size());
        const bool null = values[k].isNull();
        if (wide)
            writeAt<quint32>(ends + 4 * k, end | (null ? kWideNull : 0));
        else
            writeAt<quint16>(ends + 2 * k, quint16(end | (null ? kNarrowNull : 0)));
    }
    return ref;
}

quint32 PackedRows::newChunk(qsizetype capacity)
{
    Chunk chunk;
    chunk.bytes.reset(new char[size_t(capacity)]);
    chunk.capacity = capacity;
    if (!m_freeSlots.empty()) {
        const quint32 slot = m_freeSlots.back();
        m_freeSlots.pop_back();
        m_chunks[slot] = std::move(chunk);
        return slot;
    }
    m_chunks.push_back(std::move(chunk));
    return quint32(m_chunks.size() - 1);
}

void PackedRows::release(RowRef ref)
{
    if (ref.chunk == kNoChunk)
        return;
    Chunk &chunk = m_chunks[ref.chunk];
    chunk.live -= Layout(chunk.bytes.get() + ref.offset).size();
    if (chunk.live > 0)
        return;
    if (ref.chunk == m_filling) {
        chunk.used = 0; // empty again: keep filling it from the start
        return;
    }
    chunk = Chunk();
    m_freeSlots.push_back(ref.chunk);
}

#pragma once
// Shared helpers of the fuzz targets: reading choices out of the fuzzer's bytes,
// and a check that stops the run (libFuzzer then saves the input as a crash).

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

/** Consumes the fuzzer's bytes front to back; past the end every read gives zeros. */
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint32_t u32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return v;
    }
    /** Up to `max` bytes: a length byte, then that many bytes. */
    QByteArray chunk(size_t max = 255)
    {
        size_t n = std::min<size_t>(byte(), max);
        n = std::min(n, m_size - m_pos);
        QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(n));
        m_pos += n;
        return out;
    }
    /** Everything not consumed yet. */
    QByteArray rest()
    {
        QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(m_size - m_pos));
        m_pos = m_size;
        return out;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

/** Stops the run with a message when `condition` is false; the input is the reproducer. */
#define FUZZ_CHECK(condition, what)                                                       \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "MISMATCH %s:%d: %s\n", __FILE__, __LINE__, what);       \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

#include "reading_summaries.h"

namespace {
using Summary = ReadingSummaries::Summary;

// Adds one reading; a lower or higher one than those before only when strictly so, so the first is kept.
void take(Summary &s, int32_t value, qsizetype at)
{
    if (s.count == 0 || value < s.min) {
        s.min = value;
        s.minAt = at;
    }
    if (s.count == 0 || value > s.max) {
        s.max = value;
        s.maxAt = at;
    }
    s.sum += value;
    ++s.count;
}
} // namespace

void ReadingSummaries::update(const std::vector<StoredTemperature> &temperatures, qsizetype from)
{
    const auto size = qsizetype(temperatures.size());
    const qsizetype first = from / BlockSize;
    m_blocks.resize(size_t((size + BlockSize - 1) / BlockSize));
    for (qsizetype block = first; block < qsizetype(m_blocks.size()); ++block) {
        Summary s;
        const qsizetype start = block * BlockSize;
        for (qsizetype i = start; i < qMin(size, start + BlockSize); ++i)
            take(s, temperatures[size_t(i)].hundredths(), i - start);
        m_blocks[size_t(block)] = {s.min, s.max, s.sum, uint16_t(s.minAt), uint16_t(s.maxAt)};
    }
}

void ReadingSummaries::clear()
{
    m_blocks = {};
}

ReadingSummaries::Summary ReadingSummaries::summary(const std::vector<StoredTemperature> &temperatures,
                                                    qsizetype from, qsizetype to) const
{
    Summary s;
    qsizetype i = from;
    for (; i < to && i % BlockSize != 0; ++i)
        take(s, temperatures[size_t(i)].hundredths(), i);
    for (; i + BlockSize <= to; i += BlockSize) {
        const Block &b = m_blocks[size_t(i / BlockSize)];
        if (s.count == 0 || b.min < s.min) {
            s.min = b.min;
            s.minAt = i + b.minAt;
        }
        if (s.count == 0 || b.max > s.max) {
            s.max = b.max;
            s.maxAt = i + b.maxAt;
        }
        s.sum += b.sum;
        s.count += BlockSize;
    }
    for (; i < to; ++i)
        take(s, temperatures[size_t(i)].hundredths(), i);
    return s;
}

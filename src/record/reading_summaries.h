#pragma once

#include "record/stored_temperature.h"

#include <QtCore/QtGlobal>

#include <cstdint>
#include <vector>

// The lowest, the highest and the sum of any run of readings, in a few steps however long the run: each
// block of BlockSize readings keeps its own, so a year on a chart costs a few thousand steps a column, not
// a million. A hundredth of a byte a reading.
class ReadingSummaries final
{
public:
    static constexpr qsizetype BlockSize = 256;

    struct Summary
    {
        qint64 count = 0;
        int32_t min = 0;
        qsizetype minAt = 0; // the first reading with the lowest temperature
        int32_t max = 0;
        qsizetype maxAt = 0; // the first reading with the highest temperature
        qint64 sum = 0;
    };

    // The temperatures changed from `from` on.
    void update(const std::vector<StoredTemperature> &temperatures, qsizetype from);
    void clear();
    // The readings from `from` up to but not including `to`.
    Summary summary(const std::vector<StoredTemperature> &temperatures, qsizetype from, qsizetype to) const;

private:
    struct Block
    {
        int32_t min;
        int32_t max;
        qint64 sum;
        uint16_t minAt;
        uint16_t maxAt;
    };

    std::vector<Block> m_blocks;
};

#include "app/FanCurve.h"

const CurvePoint kDefaultFanCurve[kCurvePoints] = {
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {7, 4, 1}, {0, 0, 0},
    {4, 6, 1}, {0, 0, 0}, {3, 8, 1}, {0, 0, 0}, {0, 10, 1},
};

int BuildFanCurveSegments(const CurvePoint (&points)[kCurvePoints],
                          FanCurveSegment (&table)[kMaxFanCurveSegments])
{
    int count = 0;
    int32_t previousRight = 0;
    for (const CurvePoint& p : points) {
        if (!p.enabled) continue;
        table[count++] = {previousRight * 10, p.rightColumn * 10, (10 - p.row) * 10};
        previousRight = p.rightColumn;
    }
    return count;
}

int FindFanCurveSegment(const FanCurveSegment* table, int count, unsigned temperature)
{
    const int64_t t = temperature;
    for (int i = 0; i < count; ++i) {
        if (table[i].fromTemp < t && t <= table[i].toTemp) return i + 1;
    }
    return 0;
}

int FanCurveLevel(const FanCurveSegment& segment, unsigned temperature, int minLevel, int maxLevel)
{
    if (temperature > 80) return maxLevel;
    int level = segment.level;
    if (level < minLevel) level = minLevel;
    if (level > maxLevel) level = maxLevel;
    return level;
}

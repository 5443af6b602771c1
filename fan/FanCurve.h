#pragma once
// The temperature-to-fan step curve: ten slots edited on a 10 x 10 grid, the
// segments the fan follows, and the curve and fan mode the profile keeps.
#include <cstdint>

class CIniFile;

// One slot of a curve, indexed by its 10-degree column. An empty slot is all zeros.
struct CurvePoint {
    int32_t row;          // grid row 0..9: a fan level of (10 - row) x 10 per cent
    int32_t rightColumn;  // right edge of the slot's column in cells, 1..10
    int32_t enabled;      // 1 when the slot holds a point
};

constexpr int kCurvePoints = 10;
using FanCurvePoints = CurvePoint[kCurvePoints];

// 30 % up to 40 degrees C, 60 % up to 60, 70 % up to 80, 100 % up to 100.
inline constexpr FanCurvePoints kDefaultFanCurve = {
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {7, 4, 1}, {0, 0, 0},
    {4, 6, 1}, {0, 0, 0}, {3, 8, 1}, {0, 0, 0}, {0, 10, 1},
};

// A temperature T belongs to a segment when fromTemp < T <= toTemp.
struct FanCurveSegment {
    int32_t fromTemp;
    int32_t toTemp;
    int32_t level;  // per cent
};

constexpr int kMaxFanCurveSegments = 11;

// Fills the table from the enabled points in order; returns the segment count.
int BuildFanCurveSegments(const CurvePoint (&points)[kCurvePoints],
                          FanCurveSegment (&table)[kMaxFanCurveSegments]);

// 1 + the position of the first segment holding the temperature, or 0 when none does.
int FindFanCurveSegment(const FanCurveSegment* table, int count, unsigned temperature);

// The level to send for a segment: clamped to the cooler's limits, and the
// maximum above 80 degrees C whatever the segment says.
int FanCurveLevel(const FanCurveSegment& segment, unsigned temperature, int minLevel, int maxLevel);

// Whether every slot is either empty or a point of its own column, with the
// fan level strictly rising from left to right.
bool IsValidFanCurve(const FanCurvePoints& points);

// The curve and fan mode (1: the driver's, 0: the curve's) last applied, from
// the profile. The stored mode always holds: a curve never applied (no points)
// or one that cannot be read gives the default curve in that mode, and nothing
// is rewritten until a curve is applied. Only a missing or unreadable mode
// leaves the fan to the driver.
int ReadFanSettings(const CIniFile& ini, FanCurvePoints& curve);
void WriteFanCurve(const CIniFile& ini, const FanCurvePoints& curve);
void WriteFanMode(const CIniFile& ini, int fanAuto);

// Whoever takes the curve the fan-curve panel applies: it keeps the curve,
// and answers whether the card's fans follow it (a card whose fans the system
// controls cannot take it).
class FanCurveFollower {
public:
    virtual bool ApplyFanCurve(const FanCurvePoints& points) = 0;

protected:
    ~FanCurveFollower() = default;
};

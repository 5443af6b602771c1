#include "fan/FanCurve.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "profile/IniFile.h"

namespace {
// Its own section: "Auto" 1 or 0, and "Point0".."Point9" as "row,rightColumn,enabled".
const char kSection[] = "FanCurve";
const char kModeKey[] = "Auto";

std::string PointKey(int slot) { return "Point" + std::to_string(slot); }

// Exactly three integers separated by commas, nothing else; a number too
// large for its field makes the point unreadable.
bool ParsePoint(const std::string& text, CurvePoint& point)
{
    int32_t* fields[3] = {&point.row, &point.rightColumn, &point.enabled};
    const char* p = text.c_str();
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && *p++ != ',') return false;
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(p, &end, 10);
        if (end == p || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return false;
        *fields[i] = static_cast<int32_t>(value);
        p = end;
    }
    return *p == '\0';
}
}  // namespace

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

bool IsValidFanCurve(const FanCurvePoints& points)
{
    int lastRow = kCurvePoints;  // below the bottom row
    for (int slot = 0; slot < kCurvePoints; ++slot) {
        const CurvePoint& p = points[slot];
        if (!p.enabled) {
            if (p.row != 0 || p.rightColumn != 0) return false;
            continue;
        }
        if (p.enabled != 1 || p.rightColumn != slot + 1 || p.row < 0 || p.row >= lastRow) return false;
        lastRow = p.row;
    }
    return true;
}

int ReadFanSettings(const CIniFile& ini, FanCurvePoints& curve)
{
    FanCurvePoints stored = {};
    bool readable = true;
    for (int slot = 0; slot < kCurvePoints && readable; ++slot)
        readable = ParsePoint(ini.ReadText(kSection, PointKey(slot).c_str()), stored[slot]);
    const CurvePoint(&use)[kCurvePoints] = readable && IsValidFanCurve(stored) ? stored : kDefaultFanCurve;
    std::copy(std::begin(use), std::end(use), curve);
    return ini.ReadText(kSection, kModeKey) == "0" ? 0 : 1;
}

void WriteFanCurve(const CIniFile& ini, const FanCurvePoints& curve)
{
    for (int slot = 0; slot < kCurvePoints; ++slot) {
        const CurvePoint& p = curve[slot];
        char text[48];
        std::snprintf(text, sizeof text, "%d,%d,%d", static_cast<int>(p.row), static_cast<int>(p.rightColumn),
                      static_cast<int>(p.enabled));
        ini.WriteText(kSection, PointKey(slot).c_str(), text);
    }
}

void WriteFanMode(const CIniFile& ini, int fanAuto) { ini.WriteText(kSection, kModeKey, fanAuto ? "1" : "0"); }

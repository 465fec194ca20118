#include "form1_layout.h"

#include <cstring>

namespace {
struct Placement
{
    const char *name;
    int left;
    int top;
    int width;
    int height;
};

// clang-format off
// Twips; inside a frame, measured from the frame's corner.
constexpr Placement Table[] = {
    //  name              left   top  width  height
    {"Frame1",            120,   120, 3255,  1935},
    {"LTemp",             120,   480, 2295,  1095},
    {"LGrado",           2520,   480,  255,   375},
    {"Command1",          120,  2160, 3255,  1575},
    {"SComsad",          3840,   120, 1815,   735},
    {"TCOM",              120,   240,  615,   375},
    {"SCom",              750,   240,  375,   375},
    {"Command4",         1200,   240,  495,   375},
    {"Check1",           5520,     0, 1095,   255},
    {"cmdInitialize",    5760,   240, 1335,   615},
    {"Command2",         3840,   960, 1095,   495},
    {"Command3",         4920,   960,  735,   495},
    {"cmdClose",         5760,   960, 1335,   495},
    {"Frame3",           3840,  1560, 3255,  2175},
    {"TTEMP",            1680,   120, 1335,   285},
    {"TextBin",           120,   600, 2895,   495},
    {"txtSend",           120,  1200, 2895,   855},
};

constexpr int CompactClientWidth = 3615;
// The expanded outer width is 7410 twips, of which the original border took 90.
constexpr int ExpandedClientWidth = 7410 - 90;
constexpr int ClientHeight = 3810;
// clang-format on

constexpr int pixels(int twips)
{
    return twips / Form1Layout::TwipsPerPixel;
}
} // namespace

QRect Form1Layout::placement(const char *controlName)
{
    for (const Placement &p : Table) {
        if (std::strcmp(p.name, controlName) == 0)
            return {pixels(p.left), pixels(p.top), pixels(p.width), pixels(p.height)};
    }
    return {};
}

int Form1Layout::controlCount()
{
    return int(std::size(Table));
}

const char *Form1Layout::controlName(int index)
{
    return Table[index].name;
}

QSize Form1Layout::compactClient()
{
    return {pixels(CompactClientWidth), pixels(ClientHeight)};
}

QSize Form1Layout::expandedClient()
{
    return {pixels(ExpandedClientWidth), pixels(ClientHeight)};
}

#include "FormatSize.h"

#include <cstdio>

#include "platform/TextConvert.h"

std::u16string FormatSize(std::int64_t bytes)
{
    const double k = static_cast<double>(bytes) / 1024;
    const double m = k / 1024;
    const double g = m / 1024;
    char text[64];
    if (g > 0.0001 && g < 0.1)
        std::snprintf(text, sizeof text, "%.1f MB", m);
    else if (g < 0.0001)
        std::snprintf(text, sizeof text, "%.1f KB", k);
    else if (g / 1024 > 1)
        std::snprintf(text, sizeof text, "%.1f TB", g / 1024);
    else
        std::snprintf(text, sizeof text, "%.1f GB", g);
    return Widen(text);
}

#pragma once

#include <QtGlobal>

#include <cmath>

// The window geometry is designed in twips (1/1440 inch). At 96 dots per inch
// a pixel is 15 twips; Qt scales device-independent pixels for high DPI.
constexpr int TwipsPerPixel = 15;

constexpr int twipsToPixels(double twips)
{
    return qRound(twips / TwipsPerPixel);
}

// The fewest whole pixels that span `twips`, for sizes that must not fall
// short of a design minimum.
inline int twipsToPixelsUp(double twips)
{
    return int(std::ceil(twips / TwipsPerPixel));
}

constexpr double pixelsToTwips(double pixels)
{
    return pixels * TwipsPerPixel;
}

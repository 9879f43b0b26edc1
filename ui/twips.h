#pragma once

#include <QRect>

namespace vantrel {

// Window measures are kept in twips as laid out; 15 twips make one pixel.
constexpr int TwipsPerPixel = 15;

constexpr int Px(int twips)
{
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}

constexpr QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

} // namespace vantrel

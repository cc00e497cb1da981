#pragma once

#include <QRect>

// Window layouts are given in twips; at 96 dpi a pixel is 15 twips. Qt scales pixels on
// high-density screens itself.
inline constexpr int kTwipsPerPixel = 15;

constexpr int px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }
constexpr int twips(int pixels) { return pixels * kTwipsPerPixel; }
inline QRect twipRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

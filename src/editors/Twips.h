#pragma once

#include <QRect>

// Window layouts are given in twips; at 96 dpi a pixel is 15 twips. Qt scales pixels on
// high-density screens itself.
inline constexpr int kTwipsPerPixel = 15;

constexpr int Px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }
constexpr int Twips(int pixels) { return pixels * kTwipsPerPixel; }
inline QRect TwipRect(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

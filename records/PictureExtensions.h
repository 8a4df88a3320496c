#pragma once

#include <QImage>
#include <array>

// Operations on pictures (QImage: Format_RGB32 plain, Format_ARGB32 with a mask; null = nil).
// Every picture returned is new and belongs to the caller.
namespace PictureExtensions {

using LevelMap = std::array<int, 256>;

// A quarter turn clockwise / counter-clockwise: a W x H picture gives an H x W plain picture.
// Pixels are copied raw, hidden ones included; the result has no mask. Nil in, nil out.
QImage RotateCW(const QImage& p);
QImage RotateCCW(const QImage& p);

// The 256-entry level map for contrast and brightness (each clamped to -100..100).
LevelMap ContrastBrightnessLevelMap(int contrast, int brightness);

// A plain copy of p (drawn over white, so hidden pixels are not copied) with the level map
// applied to red, green and blue. Raises NilObjectException for a nil picture.
QImage AdjustContrastAndBrightness(const QImage& p, int contrast, int brightness);

// A plain copy of p drawn over white: pixels p's mask hides are not copied; no mask.
// Raises NilObjectException for a nil picture.
QImage Clone(const QImage& p);

// A copy with every pixel of p, hidden or not, and a copy of p's mask (fully opaque when p has
// none). p is left as it was. Raises NilObjectException for a nil picture.
QImage CloneWithMask(const QImage& p);

} // namespace PictureExtensions

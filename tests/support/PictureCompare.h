#pragma once

#include <QImage>
#include <QString>

namespace PictureCompare {

// Empty when both pictures have the same size and the same ARGB value at every pixel,
// else a description of the first difference (for test failure messages).
QString Difference(const QImage& a, const QImage& b);
// The largest difference of any channel at any pixel; -1 when the sizes differ.
int MaxChannelDifference(const QImage& a, const QImage& b);
// A picture with a smooth colour gradient, handy as a photo stand-in.
QImage Gradient(int width, int height);

} // namespace PictureCompare

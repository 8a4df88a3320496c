#pragma once

class QPainter;

// Drawing operations added to a painter.
namespace GraphicsExtensions {

// Fills the triangle with the painter's current brush, without outline, points as given.
// Raises NilObjectException when the painter is not drawing on anything.
void FillTriangle(QPainter& g, int x1, int y1, int x2, int y2, int x3, int y3);

} // namespace GraphicsExtensions

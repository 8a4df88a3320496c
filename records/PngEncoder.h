#pragma once

#include <QByteArray>
#include <QImage>

// A fast PNG encoder for large pictures: rows filtered as libpng does by default (per row the
// filter with the smallest sum of absolute values), bands of rows compressed with libdeflate on
// several threads, and the bands' deflate streams joined bit by bit into the one zlib stream
// that PNG requires.
namespace PngEncoder {

// PNG bytes of the picture: 8-bit RGB for a plain picture, RGBA (straight alpha, so colours
// under hidden pixels are kept) when it has a mask; its resolution in a pHYs chunk; no gamma
// chunk. `threads` 0 means one per core, at most 8. Empty for a nil picture or when memory
// runs out.
QByteArray Encode(const QImage& pic, int threads = 0);

} // namespace PngEncoder

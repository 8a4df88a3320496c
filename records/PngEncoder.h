#pragma once

#include <QByteArray>
#include <QImage>

// A fast PNG encoder for large pictures: rows filtered as libpng does by default (per row the
// filter with the smallest sum of absolute values), compressed with zlib in bands on several
// threads, each band ending on a byte boundary, and joined into one zlib stream as pigz does.
namespace PngEncoder {

// PNG bytes of the picture: 8-bit RGB for a plain picture, RGBA (straight alpha, so colours
// under hidden pixels are kept) when it has a mask; its resolution in a pHYs chunk; no gamma
// chunk. `threads` 0 means one per core, at most 8. Empty for a nil picture or when memory
// runs out.
QByteArray Encode(const QImage& pic, int threads = 0);

} // namespace PngEncoder

#include "PngEncoder.h"

#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <libdeflate.h>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>
#include <zlib.h>

namespace PngEncoder {

namespace {

// Rows per band below which splitting costs more than it saves.
constexpr int kMinRowsPerBand = 64;
constexpr int kMaxThreads = 8;
// Several bands per thread even out bands that compress slower than others.
constexpr int kBandsPerThread = 4;
// libdeflate's level 3 comes within about 2% of libpng's default size on photographs, at a
// fraction of zlib's cost for the same size.
constexpr int kLevel = 3;
// IDAT chunks are limited to 2^31 - 1 bytes; smaller ones are just as valid.
constexpr size_t kMaxChunk = size_t(1) << 30;

struct Band {
    int firstRow = 0;
    int endRow = 0;
    std::vector<unsigned char> data; // a complete raw deflate stream of the band's filtered rows
    uint64_t bits = 0;               // where that stream's last block ends, in bits
    uint64_t finalBlockBit = 0;      // the bit that marks its last block as the final one
    uint32_t adler = 1;              // of the filtered rows
    size_t length = 0;               // filtered bytes
    bool ok = false;
};

void UnpackRow(const QImage& img, int y, int channels, unsigned char* out) {
    const auto* in = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    const int w = img.width();
    if (channels == 3) {
        for (int x = 0; x < w; ++x) {
            const QRgb c = in[x];
            out[0] = static_cast<unsigned char>(c >> 16);
            out[1] = static_cast<unsigned char>(c >> 8);
            out[2] = static_cast<unsigned char>(c);
            out += 3;
        }
    } else {
        for (int x = 0; x < w; ++x) {
            const QRgb c = in[x];
            out[0] = static_cast<unsigned char>(c >> 16);
            out[1] = static_cast<unsigned char>(c >> 8);
            out[2] = static_cast<unsigned char>(c);
            out[3] = static_cast<unsigned char>(c >> 24);
            out += 4;
        }
    }
}

inline int Paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);     // |p - a| with p = a + b - c
    const int pb = std::abs(a - c);     // |p - b|
    const int pc = std::abs(a + b - 2 * c);
    // Branch-free choice so the loop vectorises; ties go to a, then b, as the format requires.
    const int bc = pb <= pc ? b : c;
    return (pa <= pb && pa <= pc) ? a : bc;
}

inline unsigned SumAbs(const unsigned char* row, size_t n) {
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const int v = static_cast<signed char>(row[i]);
        sum += static_cast<unsigned>(v < 0 ? -v : v);
    }
    return sum;
}

// Writes the filter type and the filtered row of `cur` (with `prev` above it, zeros for the
// first row) into `out`, choosing the filter with the smallest sum of absolute values, as
// libpng does by default.
void FilterRow(const unsigned char* cur, const unsigned char* prev, size_t n, size_t bpp,
               std::vector<unsigned char> (&scratch)[4], unsigned char* out) {
    unsigned char* sub = scratch[0].data();
    unsigned char* up = scratch[1].data();
    unsigned char* avg = scratch[2].data();
    unsigned char* paeth = scratch[3].data();
    // The first pixel has no left neighbour (taken as 0).
    for (size_t i = 0; i < bpp; ++i) {
        sub[i] = cur[i];
        up[i] = static_cast<unsigned char>(cur[i] - prev[i]);
        avg[i] = static_cast<unsigned char>(cur[i] - (prev[i] >> 1));
        paeth[i] = static_cast<unsigned char>(cur[i] - prev[i]);
    }
    for (size_t i = bpp; i < n; ++i) sub[i] = static_cast<unsigned char>(cur[i] - cur[i - bpp]);
    for (size_t i = bpp; i < n; ++i) up[i] = static_cast<unsigned char>(cur[i] - prev[i]);
    for (size_t i = bpp; i < n; ++i)
        avg[i] = static_cast<unsigned char>(cur[i] - ((cur[i - bpp] + prev[i]) >> 1));
    for (size_t i = bpp; i < n; ++i)
        paeth[i] = static_cast<unsigned char>(cur[i] - Paeth(cur[i - bpp], prev[i], prev[i - bpp]));

    const unsigned char* candidates[5] = {cur, sub, up, avg, paeth};
    int best = 0;
    unsigned bestSum = SumAbs(cur, n);
    for (int k = 1; k < 5; ++k) {
        const unsigned s = SumAbs(candidates[k], n);
        if (s < bestSum) {
            bestSum = s;
            best = k;
        }
    }
    out[0] = static_cast<unsigned char>(best);
    std::memcpy(out + 1, candidates[best], n);
}

// Finds where the band's last block starts and ends (bit positions), so the streams can be
// joined into one: zlib's inflate stops at every block boundary when asked to.
bool LocateBlocks(Band& band) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    std::vector<unsigned char> sink(1 << 18);
    z.next_in = band.data.data();
    z.avail_in = static_cast<uInt>(band.data.size());
    uint64_t blockStart = 0;
    bool ok = false;
    for (;;) {
        z.next_out = sink.data();
        z.avail_out = static_cast<uInt>(sink.size());
        const int rc = inflate(&z, Z_BLOCK);
        if (rc != Z_OK) break; // the stream end is seen at the last block's end, before Z_STREAM_END
        if (z.data_type & 128) { // just past an end-of-block code
            const uint64_t position = uint64_t(z.total_in) * 8 - static_cast<uint64_t>(z.data_type & 7);
            if (z.data_type & 64) { // of the final block
                band.bits = position;
                band.finalBlockBit = blockStart;
                ok = true;
                break;
            }
            blockStart = position;
        }
    }
    inflateEnd(&z);
    return ok;
}

void CompressBand(libdeflate_compressor* compressor, const QImage& img, int channels, Band& band) {
    const size_t n = static_cast<size_t>(img.width()) * static_cast<size_t>(channels);
    const size_t rows = static_cast<size_t>(band.endRow - band.firstRow);
    std::vector<unsigned char> filtered, prev(n, 0), cur(n);
    std::vector<unsigned char> scratch[4];
    try {
        filtered.resize(rows * (n + 1));
        for (auto& s : scratch) s.resize(n);
    } catch (const std::bad_alloc&) {
        return;
    }
    if (band.firstRow > 0) UnpackRow(img, band.firstRow - 1, channels, prev.data());
    for (size_t r = 0; r < rows; ++r) {
        UnpackRow(img, band.firstRow + static_cast<int>(r), channels, cur.data());
        FilterRow(cur.data(), prev.data(), n, static_cast<size_t>(channels), scratch, filtered.data() + r * (n + 1));
        std::swap(prev, cur);
    }
    band.length = filtered.size();
    band.adler = libdeflate_adler32(1, filtered.data(), filtered.size());
    try {
        band.data.resize(libdeflate_deflate_compress_bound(compressor, filtered.size()));
    } catch (const std::bad_alloc&) {
        return;
    }
    const size_t size =
        libdeflate_deflate_compress(compressor, filtered.data(), filtered.size(), band.data.data(), band.data.size());
    if (size == 0 || size > std::numeric_limits<uInt>::max()) return;
    band.data.resize(size);
    // The last band's stream ends the whole one as it is; the others are joined after a look
    // at their blocks.
    band.ok = band.endRow == img.height() || LocateBlocks(band);
}

void AppendChunk(QByteArray& png, const char* type, const unsigned char* data, size_t size) {
    char length[4];
    qToBigEndian(static_cast<quint32>(size), length);
    png.append(length, 4);
    png.append(type, 4);
    if (size > 0) png.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    uint32_t crc = libdeflate_crc32(0, type, 4);
    if (size > 0) crc = libdeflate_crc32(crc, data, size);
    char crcBytes[4];
    qToBigEndian(crc, crcBytes);
    png.append(crcBytes, 4);
}

} // namespace

QByteArray Encode(const QImage& pic, int threads) {
    if (pic.isNull()) return {};
    const bool alpha = pic.hasAlphaChannel();
    const QImage img = pic.format() == (alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32)
                           ? pic
                           : pic.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (img.isNull()) return {};
    const int channels = alpha ? 4 : 3;
    const int h = img.height();

    // Each band becomes its own deflate stream, compressed on whichever thread is free.
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    threads = std::clamp(threads, 1, kMaxThreads);
    const int bandCount = std::clamp(h / kMinRowsPerBand, 1, threads * kBandsPerThread);
    threads = std::min(threads, bandCount);
    std::vector<Band> bands(static_cast<size_t>(bandCount));
    for (int i = 0; i < bandCount; ++i) {
        bands[static_cast<size_t>(i)].firstRow = static_cast<int>(static_cast<qint64>(h) * i / bandCount);
        bands[static_cast<size_t>(i)].endRow = static_cast<int>(static_cast<qint64>(h) * (i + 1) / bandCount);
    }
    std::atomic<int> next{0};
    auto work = [&] {
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(kLevel);
        if (!compressor) return;
        for (int i; (i = next.fetch_add(1)) < bandCount;)
            CompressBand(compressor, img, channels, bands[static_cast<size_t>(i)]);
        libdeflate_free_compressor(compressor);
    };
    {
        std::vector<std::thread> workers;
        try {
            for (int i = 1; i < threads; ++i) workers.emplace_back(work);
        } catch (const std::system_error&) {
            // Fewer helpers than hoped: the bands are shared out among those that started.
        }
        work();
        for (auto& t : workers) t.join();
    }

    // Joined into one zlib stream: every band but the last loses its final-block mark and is
    // followed by an empty stored block, which ends on a byte boundary (as zlib's sync flush
    // does), so the next band's stream follows byte for byte.
    size_t size = 0;
    uLong adler = adler32(0L, Z_NULL, 0);
    for (size_t i = 0; i < bands.size(); ++i) {
        Band& b = bands[i];
        if (!b.ok) return {};
        adler = adler32_combine(adler, b.adler, static_cast<z_off_t>(b.length));
        if (i + 1 == bands.size()) {
            size += b.data.size();
            continue;
        }
        b.data[b.finalBlockBit >> 3] &= static_cast<unsigned char>(~(1u << (b.finalBlockBit & 7)));
        // The stored block's three header bits (not final, type 0) are zero, like the padding.
        const size_t aligned = static_cast<size_t>((b.bits + 3 + 7) >> 3);
        b.data.resize(std::max(b.data.size(), aligned));
        if (b.bits & 7) b.data[b.bits >> 3] &= static_cast<unsigned char>((1u << (b.bits & 7)) - 1);
        std::fill(b.data.begin() + static_cast<std::ptrdiff_t>((b.bits + 7) >> 3), b.data.end(), 0);
        b.data.resize(aligned);
        static const unsigned char emptyStored[4] = {0x00, 0x00, 0xFF, 0xFF}; // LEN 0, NLEN ~0
        b.data.insert(b.data.end(), emptyStored, emptyStored + 4);
        size += b.data.size();
    }
    QByteArray png;
    png.reserve(static_cast<qsizetype>(size + bands.size() * 12 + 1024));
    png.append("\x89PNG\r\n\x1a\n", 8);
    unsigned char ihdr[13];
    qToBigEndian(static_cast<quint32>(img.width()), ihdr);
    qToBigEndian(static_cast<quint32>(h), ihdr + 4);
    ihdr[8] = 8;                        // bits per channel
    ihdr[9] = alpha ? 6 : 2;            // RGBA or RGB
    ihdr[10] = ihdr[11] = ihdr[12] = 0; // deflate, adaptive filtering, no interlace
    AppendChunk(png, "IHDR", ihdr, sizeof ihdr);
    if (img.dotsPerMeterX() > 0 && img.dotsPerMeterY() > 0) {
        unsigned char phys[9];
        qToBigEndian(static_cast<quint32>(img.dotsPerMeterX()), phys);
        qToBigEndian(static_cast<quint32>(img.dotsPerMeterY()), phys + 4);
        phys[8] = 1; // per metre
        AppendChunk(png, "pHYs", phys, sizeof phys);
    }
    static const unsigned char zlibHeader[2] = {0x78, 0x5E}; // deflate, 32K window, "fast" level hint
    AppendChunk(png, "IDAT", zlibHeader, 2);
    for (const Band& b : bands)
        for (size_t offset = 0; offset < b.data.size(); offset += kMaxChunk)
            AppendChunk(png, "IDAT", b.data.data() + offset, std::min(kMaxChunk, b.data.size() - offset));
    unsigned char trailer[4];
    qToBigEndian(static_cast<quint32>(adler), trailer);
    AppendChunk(png, "IDAT", trailer, 4);
    AppendChunk(png, "IEND", nullptr, 0);
    return png;
}

} // namespace PngEncoder

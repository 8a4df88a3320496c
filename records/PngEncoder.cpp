#include "PngEncoder.h"

#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <system_error>
#include <cstdlib>
#include <cstring>
#include <limits>
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
// libpng's default strategy for filtered rows. Level 5 costs less than half of libpng's level 6
// and stays within about 7% of its size on photographs; level 4 came close to 10%.
constexpr int kLevel = 5;

struct Band {
    int firstRow = 0;
    int endRow = 0;
    std::vector<unsigned char> data; // compressed, raw deflate ending on a byte boundary
    uLong adler = 1;                 // of the filtered bytes, for joining
    uLong length = 0;                // filtered bytes fed to deflate
    uLong crc = 0;                   // of the IDAT chunk that carries the band
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

void CompressBand(const QImage& img, int channels, bool last, Band& band) {
    const size_t n = static_cast<size_t>(img.width()) * static_cast<size_t>(channels);
    std::vector<unsigned char> prev(n, 0), cur(n), filtered(n + 1);
    std::vector<unsigned char> scratch[4];
    for (auto& s : scratch) s.resize(n);
    if (band.firstRow > 0) UnpackRow(img, band.firstRow - 1, channels, prev.data());

    z_stream z{};
    if (deflateInit2(&z, kLevel, Z_DEFLATED, -15, 8, Z_FILTERED) != Z_OK) return;
    const uLong raw = static_cast<uLong>(band.endRow - band.firstRow) * static_cast<uLong>(n + 1);
    const uLong bound = deflateBound(&z, raw) + 64;
    try {
        if (bound > std::numeric_limits<uInt>::max()) throw std::bad_alloc();
        band.data.resize(bound);
    } catch (const std::bad_alloc&) {
        deflateEnd(&z);
        return;
    }
    z.next_out = band.data.data();
    z.avail_out = static_cast<uInt>(band.data.size());
    uLong adler = adler32(0L, Z_NULL, 0);
    bool ok = true;
    for (int y = band.firstRow; y < band.endRow && ok; ++y) {
        UnpackRow(img, y, channels, cur.data());
        FilterRow(cur.data(), prev.data(), n, static_cast<size_t>(channels), scratch, filtered.data());
        adler = adler32(adler, filtered.data(), static_cast<uInt>(n + 1));
        z.next_in = filtered.data();
        z.avail_in = static_cast<uInt>(n + 1);
        const bool endOfBand = y + 1 == band.endRow;
        // A band ends on a byte boundary (sync flush) so the next band's stream can follow it;
        // only the last band closes the stream.
        const int flush = !endOfBand ? Z_NO_FLUSH : (last ? Z_FINISH : Z_SYNC_FLUSH);
        const int rc = deflate(&z, flush);
        ok = (rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR) && z.avail_in == 0;
        if (endOfBand && last) ok = ok && rc == Z_STREAM_END;
        std::swap(prev, cur);
    }
    band.data.resize(band.data.size() - z.avail_out);
    deflateEnd(&z);
    band.crc = crc32_z(crc32(0L, reinterpret_cast<const Bytef*>("IDAT"), 4), band.data.data(), band.data.size());
    band.adler = adler;
    band.length = raw;
    band.ok = ok;
}

void AppendChunk(QByteArray& png, const char* type, const unsigned char* data, size_t size, uLong crc) {
    char length[4];
    qToBigEndian(static_cast<quint32>(size), length);
    png.append(length, 4);
    png.append(type, 4);
    if (size > 0) png.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    char crcBytes[4];
    qToBigEndian(static_cast<quint32>(crc), crcBytes);
    png.append(crcBytes, 4);
}

void AppendChunk(QByteArray& png, const char* type, const unsigned char* data, size_t size) {
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
    if (size > 0) crc = crc32_z(crc, data, size);
    AppendChunk(png, type, data, size, crc);
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
        for (int i; (i = next.fetch_add(1)) < bandCount;)
            CompressBand(img, channels, i + 1 == bandCount, bands[static_cast<size_t>(i)]);
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
    uLong adler = 1;
    size_t total = 0;
    for (const Band& b : bands) {
        if (!b.ok) return {};
        adler = adler32_combine(adler, b.adler, static_cast<z_off_t>(b.length));
        total += b.data.size();
    }

    QByteArray png;
    png.reserve(static_cast<qsizetype>(total + 1024));
    png.append("\x89PNG\r\n\x1a\n", 8);
    unsigned char ihdr[13];
    qToBigEndian(static_cast<quint32>(img.width()), ihdr);
    qToBigEndian(static_cast<quint32>(h), ihdr + 4);
    ihdr[8] = 8;                  // bits per channel
    ihdr[9] = alpha ? 6 : 2;      // RGBA or RGB
    ihdr[10] = ihdr[11] = ihdr[12] = 0; // deflate, adaptive filtering, no interlace
    AppendChunk(png, "IHDR", ihdr, sizeof ihdr);
    if (img.dotsPerMeterX() > 0 && img.dotsPerMeterY() > 0) {
        unsigned char phys[9];
        qToBigEndian(static_cast<quint32>(img.dotsPerMeterX()), phys);
        qToBigEndian(static_cast<quint32>(img.dotsPerMeterY()), phys + 4);
        phys[8] = 1; // per metre
        AppendChunk(png, "pHYs", phys, sizeof phys);
    }
    // zlib header: deflate, 32K window, no dictionary, "fast" level hint.
    static const unsigned char zlibHeader[2] = {0x78, 0x5E};
    AppendChunk(png, "IDAT", zlibHeader, 2);
    for (const Band& b : bands) AppendChunk(png, "IDAT", b.data.data(), b.data.size(), b.crc);
    unsigned char trailer[4];
    qToBigEndian(static_cast<quint32>(adler), trailer);
    AppendChunk(png, "IDAT", trailer, 4);
    AppendChunk(png, "IEND", nullptr, 0);
    return png;
}

} // namespace PngEncoder

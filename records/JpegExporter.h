#pragma once

#include <QImage>
#include <QString>

// Writes pictures as baseline JFIF files.
class JpegExporter {
public:
    int Quality = 90; // 0..100
    // Writes atomically; false when there is no picture or it could not be encoded or written,
    // and then an earlier file at `path` is left as it was.
    bool SaveToFile(const QImage& pic, const QString& path) const;
};

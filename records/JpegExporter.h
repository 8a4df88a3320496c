#pragma once

#include <QImage>
#include <QString>

// Writes pictures as baseline JFIF files.
class JpegExporter {
public:
    int Quality = 90; // 0..100
    // Writes atomically; false, with the system's reason in `error`, when it could not be written.
    bool SaveToFile(const QImage& pic, const QString& path, QString* error = nullptr) const;
};

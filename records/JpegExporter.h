#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Writes pictures as baseline JFIF files.
class JpegExporter {
public:
    int Quality = 90; // 0..100
    // Writes atomically; false, with the system's reason in `error`, when it could not be written.
    bool SaveToFile(const QImage& pic, const QString& path, QString* error = nullptr) const;

    // Replaces the file at `path` (or creates it) with `bytes`: written beside it and renamed over
    // it once complete, so a failed write leaves the earlier file as it was and no partial file.
    // False, with the system's own text for the failure in `error` (such as "No space left on
    // device"), when it could not be written. Exports and the preferences file go through here.
    static bool WriteFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
};

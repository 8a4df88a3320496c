#include "JpegExporter.h"

#include "FolderItemExtensions.h"

#include <QBuffer>
#include <QImageWriter>
#include <algorithm>
#include <exception>

bool JpegExporter::SaveToFile(const QImage& pic, const QString& path, QString* error) const {
    if (pic.isNull()) {
        if (error) *error = QStringLiteral("There is no picture to save.");
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(std::clamp(Quality, 0, 100));
    const QImage flat = pic.hasAlphaChannel() ? pic.convertToFormat(QImage::Format_RGB32) : pic;
    if (!writer.write(flat)) {
        if (error) *error = writer.errorString();
        return false;
    }
    try {
        FolderItemExtensions::SetText(path, bytes);
    } catch (const std::exception& e) {
        if (error) *error = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

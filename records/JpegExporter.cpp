#include "JpegExporter.h"

#include "FolderItemExtensions.h"

#include <QBuffer>
#include <QImageWriter>
#include <algorithm>
#include <exception>

bool JpegExporter::SaveToFile(const QImage& pic, const QString& path) const {
    if (pic.isNull()) return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(std::clamp(Quality, 0, 100));
    const QImage flat = pic.hasAlphaChannel() ? pic.convertToFormat(QImage::Format_RGB32) : pic;
    if (!writer.write(flat)) return false;
    try {
        FolderItemExtensions::SetText(path, bytes);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

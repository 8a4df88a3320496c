#include "JpegExporter.h"

#include <QImageWriter>
#include <QSaveFile>
#include <algorithm>

bool JpegExporter::SaveToFile(const QImage& pic, const QString& path) const {
    if (pic.isNull()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QImageWriter writer(&file, "jpeg");
    writer.setQuality(std::clamp(Quality, 0, 100));
    const QImage flat = pic.hasAlphaChannel() ? pic.convertToFormat(QImage::Format_RGB32) : pic;
    if (!writer.write(flat)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

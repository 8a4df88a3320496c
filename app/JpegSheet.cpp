#include "JpegSheet.h"

#include "Desktop.h"
#include "FileTypes1.h"
#include "Guard.h"
#include "FolderItemExtensions.h"
#include "NilObjectException.h"
#include "PassportPhotoInfo.h"
#include "PhotoPrinting.h"
#include "Pictures.h"
#include "Prefs.h"
#include "Site.h"

#include <QBuffer>
#include <QColor>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QUrl>
#include <algorithm>

namespace JpegSheet {

namespace {

int Trunc(double v) {
    return static_cast<int>(v);
}

QFont CaptionFont(const Layout& layout) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, layout.textSize));
    return font;
}

} // namespace

QString FirstCaption() {
    return QStringLiteral("Print this image at 4\" x 6\"");
}

QString SecondCaption() {
    return QUrl(QString::fromLatin1(Site::WebSite)).host();
}

Layout SheetLayout(QSize sheet, QSize pic) {
    Layout l;
    l.gap = Trunc((sheet.width() - 2 * pic.width()) / 3.0);
    l.top = Trunc((sheet.height() - pic.height()) / 2.0);
    l.first = PictureArea(l.gap, l.top, pic.width(), pic.height());
    // From the truncated gap, so the space between the copies equals the left margin.
    l.second = PictureArea(2 * l.gap + pic.width(), l.top, pic.width(), pic.height());
    l.textSize = Trunc(l.top / 8.0);
    return l;
}

Captions CaptionPlacement(const QImage& sheet, const Layout& layout) {
    const QFont font = CaptionFont(layout);
    const QFontMetrics metrics(font, &sheet);
    const QFontMetricsF widths(font, &sheet);
    Captions c;
    // Centred in the band above the copies, and at the same offset in the band below them.
    const int y1 = Trunc((layout.top - metrics.height()) / 2.0 + metrics.ascent());
    c.first = QPoint(Trunc((sheet.width() - widths.horizontalAdvance(FirstCaption())) / 2), y1);
    c.second = QPoint(Trunc((sheet.width() - widths.horizontalAdvance(SecondCaption())) / 2),
                      (sheet.height() - layout.top) + y1);
    return c;
}

QImage DrawSheet(const QImage& pic, bool cropMarks) {
    MustPicture(pic);
    QImage sheet = MustPicture(Pictures::NewPicture(kSheetWidth, kSheetHeight));
    const Layout layout = SheetLayout(sheet.size(), pic.size());
    const Captions captions = CaptionPlacement(sheet, layout);
    {
        QPainter g(&sheet);
        if (cropMarks) {
            PhotoPrinting::DrawCropMarks(g, layout.first);
            PhotoPrinting::DrawCropMarks(g, layout.second);
        }
        PhotoPrinting::DrawPassportPhoto(g, layout.first, pic);
        PhotoPrinting::DrawPassportPhoto(g, layout.second, pic);
        // The captions take the crop marks' grey when there are marks, black otherwise.
        g.setPen(cropMarks ? QColor::fromRgb(PhotoPrinting::kCropMarkColor) : QColor(Qt::black));
        g.setFont(CaptionFont(layout));
        g.drawText(captions.first, FirstCaption());
        g.drawText(captions.second, SecondCaption());
    }
    Pictures::SetResolution(sheet, kResolution, kResolution);
    return sheet;
}

QByteArray EncodeSheet(const QImage& sheet) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(kQuality);
    if (!writer.write(sheet)) return {};
    buffer.close();
    // SOI, then the JFIF APP0 segment: its density fields are at offsets 13 to 17.
    static const char kJfifStart[] = "\xFF\xD8\xFF\xE0";
    if (bytes.size() < 20 || !bytes.startsWith(QByteArray(kJfifStart, 4)) ||
        bytes.mid(6, 5) != QByteArray("JFIF\0", 5))
        return {};
    // Units dots per inch, then 300 (0x012C) across and down, big-endian.
    static const char kDensity[] = {0x01, 0x01, 0x2C, 0x01, 0x2C};
    bytes.replace(13, 5, kDensity, 5);
    return bytes;
}

QString DefaultFileName(const PassportPhotoInfo& record) {
    return record.mName + QStringLiteral(" Passport Photo.jpg");
}

bool WriteSheetFile(const PassportPhotoInfo& record, const QString& path, QString* error) {
    const QImage pic = MustPicture(record.mPicPassPort());
    const bool cropMarks = Prefs::GetPref(QStringLiteral("DrawCropMarks"), false).toBool();
    const QByteArray bytes = EncodeSheet(DrawSheet(pic, cropMarks));
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (bytes.isEmpty()) return fail(QStringLiteral("The picture could not be encoded as JPEG."));
    // Written beside the target and renamed over it only when complete, so a full disk or a
    // failed write never costs the user the file that was there.
    try {
        FolderItemExtensions::SetText(path, bytes);
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()) + QLatin1Char('.'));
    }
    return true;
}

void SavePicture(const PassportPhotoInfo* record, QWidget* parent) {
    Guard([&] {
        const PassportPhotoInfo& photo = Must(record);
        const QString path = Desktop::Current().SaveFile(parent, FileTypes1::JPEG().Filter(), DefaultFileName(photo));
        if (path.isEmpty()) return;
        // The user closed the dialog believing the sheet saved; a photo that cannot give its
        // picture must say so rather than end the export silently.
        if (PhotoPrinting::PassportPictureOf(&photo).isNull()) {
            Desktop::Current().MsgBox(QStringLiteral("The photo \"") + photo.mName +
                                      QStringLiteral("\" could not be saved as a picture: its passport picture is "
                                                     "missing or damaged. ") +
                                      PhotoPrinting::MendAdvice(1));
            return;
        }
        QString error;
        if (!WriteSheetFile(photo, path, &error))
            Desktop::Current().MsgBox(QStringLiteral("The picture could not be saved as \"") +
                                      QFileInfo(path).fileName() + QStringLiteral("\". ") + error);
    });
}

} // namespace JpegSheet

#include "PhotoPrinting.h"

#include "Desktop.h"
#include "GraphicsExtensions.h"
#include "FolderItemExtensions.h"
#include "NilObjectException.h"
#include "PassportPhotoInfo.h"
#include "Pictures.h"
#include "Prefs.h"
#include "PrinterSetupString.h"

#include <QBuffer>
#include <QColor>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QStringList>
#include <algorithm>
#include <exception>

namespace PhotoPrinting {

namespace {

// A double-precision result truncated toward zero, as every layout formula takes it.
int Trunc(double v) {
    return static_cast<int>(v);
}

bool PrefBool(const char* key, bool defaultValue) {
    return Prefs::GetPref(QString::fromLatin1(key), defaultValue).toBool();
}

const QString kPrinterSettingsKey = QStringLiteral("printersettings");

void DrawCopies(QPainter& g, const PictureArea* areas, size_t count, const QImage& pic) {
    // Marks first, so no mark ever covers a photo.
    if (PrefBool("DrawCropMarks", false))
        for (size_t i = 0; i < count; ++i) DrawCropMarks(g, areas[i]);
    for (size_t i = 0; i < count; ++i) DrawPassportPhoto(g, areas[i], pic);
}

QString LeftOutMessage(const QStringList& names, bool othersPrinted) {
    QStringList quoted;
    for (const QString& name : names) quoted << QLatin1Char('"') + name + QLatin1Char('"');
    QString text = quoted.size() == 1
                       ? QStringLiteral("The photo ") + quoted[0] +
                             QStringLiteral(" could not be printed: its passport picture is missing or damaged.")
                       : QStringLiteral("These photos could not be printed: ") + quoted.join(QStringLiteral(", ")) +
                             QStringLiteral(". Their passport pictures are missing or damaged.");
    if (othersPrinted) text += QStringLiteral(" The other photos were printed.");
    return text + QLatin1Char(' ') + MendAdvice(names.size());
}

} // namespace

QImage PassportPictureOf(const PassportPhotoInfo* record) {
    if (!record) return QImage();
    try {
        return record->mPicPassPort();
    } catch (...) {
        return QImage();
    }
}

QString MendAdvice(qsizetype photos) {
    // The editor renders the passport picture afresh from the photo's own picture on Save.
    return photos == 1 ? QStringLiteral("To mend it, open the photo with Edit and save it again.")
                       : QStringLiteral("To mend them, open each photo with Edit and save it again.");
}

QSize AcceptedResolution(QSize dpi) {
    if (dpi.width() < kPictureResolution || dpi.height() < kPictureResolution)
        return QSize(kPrintResolution, kPrintResolution);
    return QSize(std::min(dpi.width(), kPrintResolution), std::min(dpi.height(), kPrintResolution));
}

void ApplyResolutionRule(QPrinter& printer) {
    const int dpi = printer.resolution();
    const QSize accepted = AcceptedResolution(QSize(dpi, dpi));
    // A printer has one resolution for both directions.
    if (accepted.width() != dpi) printer.setResolution(accepted.width());
}

QSize CopySize(QSize pic, QSize dpi) {
    return QSize(Trunc(double(dpi.width() * pic.width()) / kPictureResolution),
                 Trunc(double(dpi.height() * pic.height()) / kPictureResolution));
}

bool FitsFourUp(QSize page, QSize copy) {
    const int s = Trunc(std::max(double(copy.width()), double(copy.height())) * 2.5);
    return s < page.width() && s < page.height();
}

std::array<PictureArea, 2> TwoUpAreas(QSize page, QSize copy) {
    const int pw = page.width(), ph = page.height(), w = copy.width(), h = copy.height();
    if (ph < pw) {
        const int top = Trunc((ph - h) / 2.0);
        return {PictureArea(Trunc((pw - 2 * w) / 3.0), top, w, h),
                PictureArea(Trunc(2 * (pw - 2 * w) / 3.0 + w), top, w, h)};
    }
    const int left = Trunc((pw - w) / 2.0);
    return {PictureArea(left, Trunc((ph - 2 * h) / 3.0), w, h),
            PictureArea(left, Trunc(2 * (ph - 2 * h) / 3.0 + h), w, h)};
}

std::array<PictureArea, 4> FourUpAreas(QSize page, QSize copy) {
    const int w = copy.width(), h = copy.height();
    const int gx = page.width() - 2 * w, gy = page.height() - 2 * h;
    const int near_x = Trunc(gx / 3.0), near_y = Trunc(gy / 3.0);
    const int far_x = Trunc(2 * gx / 3.0 + w), far_y = Trunc(2 * gy / 3.0 + h);
    return {PictureArea(near_x, near_y, w, h), PictureArea(far_x, far_y, w, h), PictureArea(near_x, far_y, w, h),
            PictureArea(far_x, near_y, w, h)};
}

std::array<Triangle, 8> CropMarkTriangles(const PictureArea& area) {
    const int m = area.width < 700 ? 50 : 100;
    const double d = m / 1.5;
    const int l = area.left, t = area.top, r = l + area.width, b = t + area.height;
    return {{
        {QPoint(l - m, t), QPoint(l, t), QPoint(l - m, Trunc(t + d))},
        {QPoint(l - m, b), QPoint(l, b), QPoint(l - m, Trunc(b - d))},
        {QPoint(r + m, t), QPoint(r, t), QPoint(r + m, Trunc(t + d))},
        {QPoint(r + m, b), QPoint(r, b), QPoint(r + m, Trunc(b - d))},
        {QPoint(l, t - m), QPoint(l, t), QPoint(Trunc(l + d), t - m)},
        {QPoint(r, t - m), QPoint(r, t), QPoint(Trunc(r - d), t - m)},
        {QPoint(l, b + m), QPoint(l, b), QPoint(Trunc(l + d), b + m)},
        {QPoint(r, b + m), QPoint(r, b), QPoint(Trunc(r - d), b + m)},
    }};
}

void DrawCropMarks(QPainter& g, const PictureArea& area) {
    const QColor grey = QColor::fromRgb(kCropMarkColor);
    g.setPen(grey);
    g.setBrush(grey);
    for (const Triangle& tri : CropMarkTriangles(area))
        GraphicsExtensions::FillTriangle(g, tri[0].x(), tri[0].y(), tri[1].x(), tri[1].y(), tri[2].x(), tri[2].y());
}

void DrawPassportPhoto(QPainter& g, const PictureArea& area, const QImage& pic) {
    MustPicture(pic);
    if (!g.isActive()) throw NilObjectException("no drawing surface");
    QImage copy = Pictures::NewPicture(area.width, area.height);
    if (copy.isNull()) return; // an empty area holds nothing
    // One smooth resampling to the copy's exact device size; the page gets it unscaled, so no
    // printer or PDF viewer resamples it again. Hidden parts of a masked picture stay white.
    const QImage scaled = pic.size() == copy.size()
                              ? pic
                              : pic.scaled(copy.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.hasAlphaChannel()) {
        QPainter p(&copy);
        p.drawImage(0, 0, scaled);
    } else {
        copy = scaled.convertToFormat(QImage::Format_RGB32);
    }
    g.drawImage(QPoint(area.left, area.top), copy);
}

void PrintPicsToGraphics2Up(QPainter& g, QSize page, const QImage& pic, QSize dpi) {
    const QSize copy = CopySize(MustPicture(pic).size(), dpi);
    if (PrefBool("Print4UpWherePossible", true) && FitsFourUp(page, copy)) {
        PrintPicsToGraphics4Up(g, page, pic, dpi);
        return;
    }
    const auto areas = TwoUpAreas(page, copy);
    DrawCopies(g, areas.data(), areas.size(), pic);
}

void PrintPicsToGraphics4Up(QPainter& g, QSize page, const QImage& pic, QSize dpi) {
    const auto areas = FourUpAreas(page, CopySize(MustPicture(pic).size(), dpi));
    DrawCopies(g, areas.data(), areas.size(), pic);
}

std::unique_ptr<QPrinter> NewPrinterSettings() {
    return std::make_unique<QPrinter>(QPrinter::HighResolution);
}

void PageSetup(std::unique_ptr<QPrinter>& printerSettings) {
    if (!printerSettings) {
        printerSettings = NewPrinterSettings();
        const QString stored = Prefs::GetPref(kPrinterSettingsKey, QString()).toString();
        if (!stored.isEmpty()) PrinterSetupString::SetSetupString(*printerSettings, stored);
    }
    // Also caps a new printer's own resolution at 720.
    ApplyResolutionRule(*printerSettings);
    Desktop::Current().PageSetup(*printerSettings);
    Prefs::SetPref(kPrinterSettingsKey, PrinterSetupString::SetupString(*printerSettings));
}

void PrintPicture(std::unique_ptr<QPrinter>& printerSettings, const SelectedRecords& selected) {
    if (!printerSettings) printerSettings = NewPrinterSettings();
    const QString stored = Prefs::GetPref(kPrinterSettingsKey, QString()).toString();
    if (stored.isEmpty()) {
        PageSetup(printerSettings);
    } else {
        PrinterSetupString::SetSetupString(*printerSettings, stored);
        ApplyResolutionRule(*printerSettings);
    }
    QPrinter& printer = *printerSettings;
    if (!Desktop::Current().PrintDialog(printer)) return;
    // The printer chosen in the dialog may bring its own resolution.
    ApplyResolutionRule(printer);

    const std::vector<PassportPhotoInfo*> records = selected ? selected() : std::vector<PassportPhotoInfo*>();
    // Nothing selected: no job at all, rather than a blank sheet.
    if (records.empty()) return;

    // Every picture before the job starts: a photo that cannot be had is left out, not the rest
    // of the run. The records keep their pictures, so this costs no extra memory.
    std::vector<QImage> pictures;
    QStringList leftOut;
    for (const PassportPhotoInfo* record : records) {
        QImage pic = PassportPictureOf(record);
        if (pic.isNull())
            leftOut << (record ? record->mName : QString());
        else
            pictures.push_back(std::move(pic));
    }
    auto tellLeftOut = [&leftOut](bool othersPrinted) {
        if (!leftOut.isEmpty()) Desktop::Current().MsgBox(LeftOutMessage(leftOut, othersPrinted));
    };
    if (pictures.empty()) {
        tellLeftOut(false);
        return;
    }

    auto tell = [](const QString& reason) {
        Desktop::Current().MsgBox(QStringLiteral("The photos could not be printed: ") + reason + QLatin1Char('.'));
    };
    // Qt's PDF engine neither reports a write that fails nor removes what it cut short, so a
    // print to a file is made in memory and written by us: whole, or not at all.
    const QString file = printer.outputFileName();
    QBuffer pdf;
    std::unique_ptr<QPdfWriter> writer;
    QPagedPaintDevice* device = &printer;
    if (!file.isEmpty()) {
        pdf.open(QIODevice::WriteOnly);
        writer = std::make_unique<QPdfWriter>(&pdf);
        writer->setPdfVersion(printer.pdfVersion());
        writer->setTitle(printer.docName());
        writer->setCreator(printer.creator());
        writer->setResolution(printer.resolution());
        writer->setPageLayout(printer.pageLayout());
        device = writer.get();
    }

    QPainter g;
    if (!g.begin(device)) {
        tell(QStringLiteral("the printer could not be started; check it and try again"));
        tellLeftOut(false);
        return;
    }
    const QSize page(device->width(), device->height());
    const QSize dpi(device->logicalDpiX(), device->logicalDpiY());
    // A grey print to a file is grey as Qt's own PDF output would make it.
    const bool grey = writer && printer.colorMode() == QPrinter::GrayScale;
    std::exception_ptr failure;
    try {
        bool first = true;
        for (QImage pic : pictures) {
            if (grey) {
                // Hidden parts white first, as on the colour page.
                QImage flat = MustPicture(Pictures::NewPicture(pic.width(), pic.height()));
                QPainter(&flat).drawImage(0, 0, pic);
                pic = flat.convertToFormat(QImage::Format_Grayscale8);
            }
            if (!first) device->newPage();
            first = false;
            PrintPicsToGraphics2Up(g, page, pic, dpi);
        }
    } catch (...) {
        // The pages done so far are still printed.
        failure = std::current_exception();
    }
    // Ending the painter sends the job.
    const bool ended = g.end();
    bool sent = true;
    if (writer) {
        writer.reset();
        try {
            FolderItemExtensions::SetText(file, pdf.data());
        } catch (const std::exception& e) {
            sent = false;
            tell(QString::fromUtf8(e.what()));
        }
    } else if (!ended || printer.printerState() == QPrinter::Error) {
        sent = false;
        tell(QStringLiteral("the print system reported an error"));
    }
    tellLeftOut(sent && !failure);
    if (failure) std::rethrow_exception(failure);
}

} // namespace PhotoPrinting

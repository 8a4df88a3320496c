#include "Resources.h"

#include "Pictures.h"
#include "ResourceNames.h"

#include <QPainter>

namespace Resources {

namespace {

QImage Load(const char* name) {
    QImage pic(ResourceNames::ResourcePath(name));
    if (pic.isNull()) return {};
    return pic.convertToFormat(QImage::Format_RGB32);
}

// A picture without a mask: loaded once, kept; nothing is kept when it cannot be found.
QImage Plain(QImage& cache, const char* name) {
    if (cache.isNull()) cache = Load(name);
    return cache;
}

// Draws `maskPic` at 0, 0 at its own size into pic's mask (a new mask starts opaque).
void DrawIntoMask(QImage& pic, const QImage& maskPic) {
    QImage mask = Pictures::Mask(pic).convertToFormat(QImage::Format_RGB32);
    {
        QPainter g(&mask);
        g.drawImage(0, 0, maskPic);
    }
    Pictures::SetMask(pic, mask);
}

// An icon: loaded once with its mask picture drawn into its mask.
QImage Icon(QImage& cache, const char* name, QImage (*maskAccessor)()) {
    if (cache.isNull()) {
        cache = Load(name);
        if (cache.isNull()) return {};
        const QImage maskPic = maskAccessor();
        if (!maskPic.isNull()) DrawIntoMask(cache, maskPic);
    }
    return cache;
}

} // namespace

#define KESTRINE_PLAIN_PICTURE(name)                                                                \
    QImage name() {                                                                                 \
        static QImage cache;                                                                        \
        return Plain(cache, ResourceNames::name);                                                   \
    }
#define KESTRINE_ICON_PICTURE(name, mask)                                                           \
    QImage name() {                                                                                 \
        static QImage cache;                                                                        \
        return Icon(cache, ResourceNames::name, &mask);                                             \
    }

KESTRINE_PLAIN_PICTURE(USPassportMask)
KESTRINE_PLAIN_PICTURE(UKPassportMask)
KESTRINE_ICON_PICTURE(DeleteIcon, DeleteMask)
KESTRINE_PLAIN_PICTURE(DeleteMask)
KESTRINE_ICON_PICTURE(NewPhotoIcon, NewPhotoMask)
KESTRINE_PLAIN_PICTURE(NewPhotoMask)
KESTRINE_ICON_PICTURE(SaveIcon, SaveMask)
KESTRINE_PLAIN_PICTURE(SaveMask)
KESTRINE_ICON_PICTURE(PrintIcon, PrintMask)
KESTRINE_PLAIN_PICTURE(PrintMask)
KESTRINE_ICON_PICTURE(EditPhotoIcon, EditPhotoMask)
KESTRINE_PLAIN_PICTURE(EditPhotoMask)
KESTRINE_ICON_PICTURE(ApplicationIcon, ApplicationMask)
KESTRINE_PLAIN_PICTURE(ApplicationMask)
KESTRINE_ICON_PICTURE(RotateRightIcon, RotateRightMask)
KESTRINE_PLAIN_PICTURE(RotateRightMask)
KESTRINE_ICON_PICTURE(RotateLeftIcon, RotateLeftMask)
KESTRINE_PLAIN_PICTURE(RotateLeftMask)
KESTRINE_ICON_PICTURE(back, backMask)
KESTRINE_PLAIN_PICTURE(backMask)
KESTRINE_ICON_PICTURE(download, downloadMask)
KESTRINE_PLAIN_PICTURE(downloadMask)
KESTRINE_ICON_PICTURE(forward, forwardMask)
KESTRINE_PLAIN_PICTURE(forwardMask)
KESTRINE_ICON_PICTURE(upload, uploadMask)
KESTRINE_PLAIN_PICTURE(uploadMask)
KESTRINE_ICON_PICTURE(zoom_in, zoom_inMask)
KESTRINE_PLAIN_PICTURE(zoom_inMask)
KESTRINE_ICON_PICTURE(zoom_out, zoom_outMask)
KESTRINE_PLAIN_PICTURE(zoom_outMask)
KESTRINE_PLAIN_PICTURE(BlueHighlight)
KESTRINE_PLAIN_PICTURE(GrayHighlight)

#undef KESTRINE_PLAIN_PICTURE
#undef KESTRINE_ICON_PICTURE

} // namespace Resources

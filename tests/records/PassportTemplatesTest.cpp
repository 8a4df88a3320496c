#include "PassportTemplates.h"
#include "PictureArea.h"
#include "PictureCompare.h"
#include "Pictures.h"
#include "QtPrinters.h"
#include "Resources.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <cmath>

namespace {

int MaskGrey(const QImage& overlay, int x, int y) {
    return qGray(Pictures::Mask(overlay).pixel(x, y));
}

QRgb Colour(const QImage& pic, int x, int y) {
    return pic.pixel(x, y) & 0xFFFFFFu;
}

// What the user sees: the overlay drawn over the photo through its mask.
QImage Seen(const QImage& photo, const QImage& overlay) {
    QImage view = photo.convertToFormat(QImage::Format_RGB32);
    QPainter g(&view);
    g.drawImage(0, 0, overlay);
    g.end();
    return view;
}

// One channel of `over` laid on `under` through a mask grey (white: `under` unchanged).
int Blend(int over, int under, int maskGrey) {
    const double a = (255 - maskGrey) / 255.0;
    return static_cast<int>(std::lround(over * a + under * (1 - a)));
}

void ExpectChannels(const QImage& pic, int x, int y, int r, int g, int b) {
    const QRgb c = pic.pixel(x, y);
    EXPECT_NEAR(qRed(c), r, 2) << "at " << x << "," << y;
    EXPECT_NEAR(qGreen(c), g, 2) << "at " << x << "," << y;
    EXPECT_NEAR(qBlue(c), b, 2) << "at " << x << "," << y;
}

TEST(PassportTemplatesTest, CaptureAreasAreCentredAndShapedLikeThePrint) {
    const CaptureArea uk = PassportTemplates::PassportCaptureArea(QStringLiteral("UK"));
    EXPECT_EQ(uk.left, 73);
    EXPECT_EQ(uk.top, 51);
    EXPECT_EQ(uk.width, 154);
    EXPECT_EQ(uk.height, 198);
    EXPECT_EQ(uk.CenterX, 150);
    EXPECT_EQ(uk.CenterY, 150);

    struct Case {
        const char* code;
        int left, top, width, height, printW, printH;
    };
    for (const Case c : {Case{"US", 50, 50, 200, 200, 600, 600}, Case{"UK", 73, 51, 154, 198, 414, 532},
                         Case{"Test", 75, 75, 150, 150, 600, 600}, Case{"", 75, 75, 150, 150, 600, 600},
                         Case{"FR", 75, 75, 150, 150, 600, 600}, Case{"us", 50, 50, 200, 200, 600, 600}}) {
        SCOPED_TRACE(c.code);
        const QString code = QString::fromLatin1(c.code);
        const CaptureArea a = PassportTemplates::PassportCaptureArea(code);
        EXPECT_EQ(QRect(a.left, a.top, a.width, a.height), QRect(c.left, c.top, c.width, c.height));
        // The canvas's centre clamps rely on these holding exactly.
        EXPECT_EQ(a.CenterX * 2, a.left * 2 + a.width);
        EXPECT_EQ(a.CenterY * 2, a.top * 2 + a.height);

        const QImage blank = PassportTemplates::BlankPassportPicture(code);
        EXPECT_EQ(blank.size(), QSize(c.printW, c.printH));
        EXPECT_FALSE(Pictures::HasMask(blank));
        EXPECT_EQ(Pictures::HorizontalResolution(blank), 300.0);
        EXPECT_NEAR(double(a.width) / a.height, double(blank.width()) / blank.height(), 0.001 * a.width / a.height);
    }
}

TEST(PassportTemplatesTest, DisplayNames) {
    EXPECT_EQ(PassportTemplates::DisplayName(QStringLiteral("US")), QStringLiteral("United States"));
    EXPECT_EQ(PassportTemplates::DisplayName(QStringLiteral("UK")), QStringLiteral("United Kingdom"));
    EXPECT_EQ(PassportTemplates::DisplayName(QStringLiteral("Test")), QStringLiteral("Test Format"));
    EXPECT_EQ(PassportTemplates::DisplayName(QStringLiteral("uk")), QStringLiteral("United Kingdom"));
    EXPECT_EQ(PassportTemplates::DisplayName(QString()), QStringLiteral("Unknown format"));
    EXPECT_EQ(PassportTemplates::DisplayName(QStringLiteral("Canada")), QStringLiteral("Unknown format"));
}

TEST(PassportTemplatesTest, TestOverlayIsWhiteWithTwoVeiledOvals) {
    const QImage p = PassportTemplates::MaskImage(QStringLiteral("Test"));
    ASSERT_EQ(p.size(), QSize(300, 300));
    ASSERT_TRUE(Pictures::HasMask(p));
    EXPECT_EQ(MaskGrey(p, 150, 150), 0xFF);
    EXPECT_EQ(MaskGrey(p, 10, 10), 0x88);
    EXPECT_EQ(Colour(p, 150, 150), 0xFFFFFFu);
    EXPECT_EQ(Colour(p, 10, 10), 0xFFFFFFu);
    EXPECT_EQ(MaskGrey(p, 80, 80), 0xFF);   // inside the rectangle, outside the outer oval
    EXPECT_EQ(MaskGrey(p, 150, 91), 0xCC);  // between the ovals (85..215 and 95..205)
    EXPECT_EQ(MaskGrey(p, 150, 86), 0x22);  // the outer oval's line, inside its rectangle
    EXPECT_EQ(Colour(p, 150, 86), 0x000000u);
    EXPECT_EQ(MaskGrey(p, 150, 96), 0x22);

    // Any other code gets the same overlay.
    EXPECT_EQ(PictureCompare::Difference(PassportTemplates::MaskImage(QStringLiteral("Unknown")), p), QString());
    EXPECT_EQ(PictureCompare::Difference(PassportTemplates::MaskImage(QString()), p), QString());
}

TEST(PassportTemplatesTest, HeadMaskOverlaysAreGreyWithAGreenCaptureArea) {
    for (const char* code : {"US", "UK"}) {
        SCOPED_TRACE(code);
        const QImage p = PassportTemplates::MaskImage(QString::fromLatin1(code));
        ASSERT_EQ(p.size(), QSize(300, 300));
        const CaptureArea a = PassportTemplates::PassportCaptureArea(QString::fromLatin1(code));
        EXPECT_EQ(Colour(p, 10, 10), 0x777777u);
        EXPECT_EQ(Colour(p, a.left - 1, 150), 0x777777u);
        EXPECT_EQ(Colour(p, a.left, a.top), 0x00FF00u);
        EXPECT_EQ(Colour(p, a.left + a.width - 1, a.top + a.height - 1), 0x00FF00u);
        EXPECT_EQ(Colour(p, a.left + a.width, 150), 0x777777u);
        const QImage head = QString::fromLatin1(code) == QLatin1String("US") ? Resources::USPassportMask()
                                                                              : Resources::UKPassportMask();
        EXPECT_EQ(PictureCompare::Difference(Pictures::Mask(p), head), QString());
    }
}

// Over a mid-grey photo: the photo shows unchanged where the mask is white and the overlay in
// proportion to the mask's darkness elsewhere.
TEST(PassportTemplatesTest, OverlaysOverAPhotoShowWhatTheUserSees) {
    QImage photo = Pictures::NewPicture(300, 300);
    photo.fill(QColor(0x80, 0x80, 0x80));

    const QImage test = Seen(photo, PassportTemplates::MaskImage(QStringLiteral("Test")));
    ExpectChannels(test, 150, 150, 0x80, 0x80, 0x80);            // inside the inner oval
    ExpectChannels(test, 80, 80, 0x80, 0x80, 0x80);              // capture corner, outside the ovals
    const int veil = Blend(0xFF, 0x80, 0x88);
    ExpectChannels(test, 10, 10, veil, veil, veil);              // white veil outside
    const int light = Blend(0xFF, 0x80, 0xCC);
    ExpectChannels(test, 150, 91, light, light, light);          // light veil between the ovals
    const int line = Blend(0x00, 0x80, 0x22);
    ExpectChannels(test, 150, 86, line, line, line);             // nearly black oval line

    for (const char* code : {"US", "UK"}) {
        SCOPED_TRACE(code);
        const QImage overlay = PassportTemplates::MaskImage(QString::fromLatin1(code));
        const QImage seen = Seen(photo, overlay);
        ExpectChannels(seen, 150, 150, 0x80, 0x80, 0x80);        // the face area is clear
        const int outside = MaskGrey(overlay, 10, 10);
        EXPECT_LT(outside, 0xC0);
        const int grey = Blend(0x77, 0x80, outside);
        ExpectChannels(seen, 10, 10, grey, grey, grey);
        // Where the head outline crosses the centre line the green shows nearly solid.
        const QImage mask = Pictures::Mask(overlay);
        int darkest = 150;
        for (int y = 51; y < 150; ++y)
            if (qGray(mask.pixel(150, y)) < qGray(mask.pixel(150, darkest))) darkest = y;
        const int m = qGray(mask.pixel(150, darkest));
        EXPECT_LT(m, 0x60);
        ExpectChannels(seen, 150, darkest, Blend(0x00, 0x80, m), Blend(0xFF, 0x80, m), Blend(0x00, 0x80, m));
    }
}

TEST(PassportTemplatesTest, PictureAreaTakesLeftBeforeTop) {
    const PictureArea r(10, 20, 30, 40);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.width, 30);
    EXPECT_EQ(r.height, 40);
}

} // namespace

#include "FileTypes1.h"
#include "PictureCompare.h"
#include "Pictures.h"
#include "QtPrinters.h"
#include "ResourceNames.h"
#include "Resources.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstring>
#include <vector>

namespace {

struct Accessor {
    const char* name;
    QImage (*get)();
};

// Every accessor by its picture's name, so a misnamed or missing one shows up.
const Accessor kAccessors[] = {
    {"USPassportMask", Resources::USPassportMask}, {"UKPassportMask", Resources::UKPassportMask},
    {"DeleteIcon", Resources::DeleteIcon},         {"DeleteMask", Resources::DeleteMask},
    {"NewPhotoIcon", Resources::NewPhotoIcon},     {"NewPhotoMask", Resources::NewPhotoMask},
    {"SaveIcon", Resources::SaveIcon},             {"SaveMask", Resources::SaveMask},
    {"PrintIcon", Resources::PrintIcon},           {"PrintMask", Resources::PrintMask},
    {"EditPhotoIcon", Resources::EditPhotoIcon},   {"EditPhotoMask", Resources::EditPhotoMask},
    {"ApplicationIcon", Resources::ApplicationIcon}, {"ApplicationMask", Resources::ApplicationMask},
    {"RotateRightIcon", Resources::RotateRightIcon}, {"RotateRightMask", Resources::RotateRightMask},
    {"RotateLeftIcon", Resources::RotateLeftIcon}, {"RotateLeftMask", Resources::RotateLeftMask},
    {"back", Resources::back},                     {"backMask", Resources::backMask},
    {"download", Resources::download},             {"downloadMask", Resources::downloadMask},
    {"forward", Resources::forward},               {"forwardMask", Resources::forwardMask},
    {"upload", Resources::upload},                 {"uploadMask", Resources::uploadMask},
    {"zoom_in", Resources::zoom_in},               {"zoom_inMask", Resources::zoom_inMask},
    {"zoom_out", Resources::zoom_out},             {"zoom_outMask", Resources::zoom_outMask},
    {"BlueHighlight", Resources::BlueHighlight},   {"GrayHighlight", Resources::GrayHighlight},
};

QImage (*AccessorFor(const char* name))() {
    for (const Accessor& a : kAccessors)
        if (std::strcmp(a.name, name) == 0) return a.get;
    return nullptr;
}

int Grey(const QImage& pic, int x, int y) {
    return qGray(pic.pixel(x, y));
}

// Centres of the dark lines (grey below 0x80) that cross column x, weighted by darkness.
std::vector<double> DarkLinesAlongColumn(const QImage& mask, int x) {
    std::vector<double> centres;
    double weight = 0, sum = 0;
    for (int y = 0; y <= mask.height(); ++y) {
        const int v = y < mask.height() ? Grey(mask, x, y) : 255;
        if (v < 0x80) {
            weight += 255 - v;
            sum += (255 - v) * (y + 0.5); // pixel y covers y .. y + 1
        } else if (weight > 0) {
            centres.push_back(sum / weight);
            weight = sum = 0;
        }
    }
    return centres;
}

TEST(ResourcesTest, EveryNamedPictureLoadsWithItsMaskDrawnIn) {
    ASSERT_EQ(std::size(ResourceNames::AllPictures), 32u);
    int id = 168;
    for (const ResourceNames::PictureResource& r : ResourceNames::AllPictures) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.id, id++);
        EXPECT_TRUE(QFile::exists(ResourceNames::ResourcePath(r.name)));
        const auto get = AccessorFor(r.name);
        ASSERT_NE(get, nullptr);
        const QImage pic = get();
        ASSERT_FALSE(pic.isNull());
        if (!r.mask) {
            EXPECT_FALSE(Pictures::HasMask(pic));
            continue;
        }
        const QImage mask = AccessorFor(r.mask)();
        ASSERT_EQ(pic.size(), mask.size());
        ASSERT_TRUE(Pictures::HasMask(pic));
        EXPECT_EQ(PictureCompare::Difference(Pictures::Mask(pic), mask), QString());
    }
}

TEST(ResourcesTest, AccessorsAnswerTheCachedPicture) {
    const QImage first = Resources::DeleteIcon();
    const QImage second = Resources::DeleteIcon();
    EXPECT_EQ(first.cacheKey(), second.cacheKey());
    EXPECT_EQ(Resources::DeleteMask().cacheKey(), Resources::DeleteMask().cacheKey());
    // A caller drawing on its copy leaves the cached picture alone.
    QImage scribbled = Resources::upload();
    scribbled.fill(Qt::red);
    EXPECT_NE(Resources::upload().pixel(16, 16), scribbled.pixel(16, 16));
}

TEST(ResourcesTest, PicturesFitWhereTheyAreUsed) {
    EXPECT_EQ(Resources::USPassportMask().size(), QSize(300, 300));
    EXPECT_EQ(Resources::UKPassportMask().size(), QSize(300, 300));
    for (auto icon : {Resources::NewPhotoIcon, Resources::EditPhotoIcon, Resources::PrintIcon, Resources::SaveIcon,
                      Resources::DeleteIcon}) {
        const QImage pic = icon();
        EXPECT_GE(pic.width(), 32);
        EXPECT_EQ(pic.width(), pic.height());
    }
    EXPECT_GE(Resources::ApplicationIcon().width(), 128);
    EXPECT_EQ(Resources::ApplicationIcon().width(), Resources::ApplicationIcon().height());
    // The highlight strips cover a 72-pixel row drawn from 3 pixels above it.
    EXPECT_EQ(Resources::BlueHighlight().height(), 74);
    EXPECT_EQ(Resources::GrayHighlight().height(), 74);

    // The editor's buttons are round: clicks at the corners miss, at the centre they hit.
    for (auto button : {Resources::RotateLeftIcon, Resources::RotateRightIcon, Resources::upload, Resources::back,
                        Resources::forward, Resources::download, Resources::zoom_in, Resources::zoom_out}) {
        const QImage mask = Pictures::Mask(button());
        ASSERT_EQ(mask.size(), QSize(32, 32));
        for (const QPoint corner : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31), QPoint(3, 3)})
            EXPECT_EQ(Grey(mask, corner.x(), corner.y()), 255);
        for (const QPoint inside : {QPoint(16, 16), QPoint(16, 3), QPoint(3, 16), QPoint(28, 16), QPoint(16, 28)})
            EXPECT_EQ(Grey(mask, inside.x(), inside.y()), 0);
    }
}

// The US guide: 100 canvas pixels per inch, photo bottom at y 250. Head (chin to top of hair)
// 1 to 1 3/8 in; eyes 1 1/8 to 1 3/8 in above the bottom, the head centred on that band.
TEST(ResourcesTest, USHeadGuideFollowsTheUSRules) {
    const QImage mask = Resources::USPassportMask();
    const double ppi = 100.0, bottom = 250.0;
    const double eyeLow = bottom - 1.125 * ppi, eyeHigh = bottom - 1.375 * ppi;
    const double centre = (eyeLow + eyeHigh) / 2.0;
    const double small = 1.0 * ppi, large = 1.375 * ppi;
    const std::vector<double> expected = {centre - large / 2, centre - small / 2, centre + small / 2, centre + large / 2};
    const std::vector<double> lines = DarkLinesAlongColumn(mask, 150);
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_NEAR(lines[i], expected[i], 1.0) << "line " << i;
    // The eye band is marked at both sides of the capture rectangle.
    for (const int x : {52, 247}) {
        const std::vector<double> ticks = DarkLinesAlongColumn(mask, x);
        ASSERT_EQ(ticks.size(), 2u);
        EXPECT_NEAR(ticks[0], eyeHigh, 1.0);
        EXPECT_NEAR(ticks[1], eyeLow, 1.0);
    }
    // Photo clear inside the capture rectangle and the head, veiled outside the rectangle.
    EXPECT_EQ(Grey(mask, 150, 125), 255);
    EXPECT_EQ(Grey(mask, 60, 240), 255);
    EXPECT_LT(Grey(mask, 10, 10), 0xC0);
    EXPECT_LT(Grey(mask, 49, 150), 0xC0);
    EXPECT_EQ(Grey(mask, 50, 150), 255);
}

// The UK guide: 4.4 canvas pixels per mm, photo top at y 51. Head (chin to crown) 29 to 34 mm,
// crown 4 to 6 mm below the top: a middling head has its crown 5 mm down.
TEST(ResourcesTest, UKHeadGuideFollowsTheUKRules) {
    const QImage mask = Resources::UKPassportMask();
    const double ppmm = 154.0 / 35.0, top = 51.0;
    const double small = 29.0 * ppmm, large = 34.0 * ppmm;
    const double centre = top + 5.0 * ppmm + (small + large) / 4.0;
    const std::vector<double> expected = {centre - large / 2, centre - small / 2, centre + small / 2, centre + large / 2};
    const std::vector<double> lines = DarkLinesAlongColumn(mask, 150);
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_NEAR(lines[i], expected[i], 1.0) << "line " << i;
    // Crowns of the smallest and largest heads straddle the 4 to 6 mm band's middle.
    EXPECT_NEAR((lines[0] + lines[1]) / 2.0 - top, 5.0 * ppmm, 1.0);
    EXPECT_EQ(Grey(mask, 150, 142), 255);
    EXPECT_EQ(Grey(mask, 80, 240), 255);
    EXPECT_LT(Grey(mask, 72, 150), 0xC0);
    EXPECT_EQ(Grey(mask, 73, 150), 255);
    EXPECT_LT(Grey(mask, 150, 250), 0xC0);
}

TEST(FileTypes1Test, JpegTypeOffersJpgJpegAndJpeFilesInAnyLetterCase) {
    FileTypes1::Initialize();
    const FileType& jpeg = FileTypes1::JPEG();
    EXPECT_EQ(jpeg.Name, QStringLiteral("JPEG"));
    EXPECT_EQ(jpeg.Extensions, QStringLiteral(".jpg, .jpeg, .jpe"));
    EXPECT_TRUE(jpeg.MacType.isEmpty());
    EXPECT_TRUE(jpeg.MacCreator.isEmpty());
    EXPECT_EQ(&FileTypes1::JPEG(), &jpeg);

    // Matched as a case-sensitive file system would, which is how Linux file dialogs see it.
    const QString filter = jpeg.Filter();
    const QRegularExpression form(QStringLiteral("^JPEG \\((.*)\\)$"));
    const QRegularExpressionMatch m = form.match(filter);
    ASSERT_TRUE(m.hasMatch()) << filter.toStdString();
    const QStringList patterns = m.captured(1).split(QLatin1Char(' '));
    QTemporaryDir dir;
    for (const char* name : {"IMG_0001.JPG", "holiday.jpg", "Scan.Jpg", "photo.png", "notes.jpg.txt", "download.jpeg",
                             "EXPORT.JPEG", "old.jpe", "OLD2.JPE", "notes.jpeg.txt", "shot.jp", "pic.jpegs"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QStringList found = QDir(dir.path()).entryList(patterns, QDir::Files | QDir::CaseSensitive, QDir::Name);
    EXPECT_EQ(found, QStringList({"EXPORT.JPEG", "IMG_0001.JPG", "OLD2.JPE", "Scan.Jpg", "download.jpeg", "holiday.jpg",
                                  "old.jpe"}));
}

} // namespace

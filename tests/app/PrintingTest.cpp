#include "App.h"
#include "TestApp.h"
#include "NilObjectException.h"
#include "PassportPhotoInfo.h"
#include "PhotoPrinting.h"
#include "Prefs.h"
#include "PrinterSetupString.h"
#include "QtPrinters.h"
#include "ScriptedDesktop.h"
#include "XdgSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QPageLayout>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintEngine>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace PhotoPrinting;

struct PrintingTest : AppTest {};

QImage Solid(int w, int h, QRgb colour) {
    QImage pic(w, h, QImage::Format_RGB32);
    pic.fill(colour);
    return pic;
}

QImage WhitePage(QSize size) {
    QImage page(size, QImage::Format_RGB32);
    page.fill(Qt::white);
    return page;
}

std::unique_ptr<PassportPhotoInfo> Photo(QRgb colour, int w = 600, int h = 600) {
    auto record = std::make_unique<PassportPhotoInfo>();
    record->mPicPassPort(Solid(w, h, colour));
    return record;
}

// A printer writing a PDF at `dpi` to `file`, on A4 portrait.
std::unique_ptr<QPrinter> PdfPrinter(const QString& file, int dpi) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFileName(file);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(QPageLayout::Portrait);
    printer->setResolution(dpi);
    return printer;
}

// The PDF's pages as grey (or RGB32) pictures at `dpi`, through poppler's rasteriser.
QList<QImage> Rasterise(const QString& pdf, int dpi, QString* problem, bool grey = true) {
    QTemporaryDir out;
    QProcess p;
    QStringList args{QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), pdf,
                     out.filePath(QStringLiteral("page"))};
    if (grey) args.prepend(QStringLiteral("-gray"));
    p.start(QStringLiteral("pdftoppm"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *problem = QStringLiteral("pdftoppm (poppler-utils, installed by scripts/setup.sh) failed: ") +
                   p.errorString() + QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    QList<QImage> pages;
    QImageReader::setAllocationLimit(1024); // an A4 page at 600 dpi is larger than Qt's default limit
    for (const QString& name : QDir(out.path()).entryList({QStringLiteral("page-*.png")}, QDir::Files, QDir::Name))
        pages << QImage(out.filePath(name)).convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    return pages;
}

bool Dark(const QImage& grey, int x, int y) {
    return grey.constScanLine(y)[x] < 128;
}

// A passport-photo stand-in: a soft skin-coloured oval on a blue-grey gradient, smooth
// everywhere so that resampling and PDF compression change its colours only a little.
QImage FaceLike(int w, int h) {
    QImage pic(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = (x - w / 2.0) / (0.28 * w), dy = (y - 0.45 * h) / (0.36 * h);
            const double t = std::clamp((1.2 - std::sqrt(dx * dx + dy * dy)) / 0.4, 0.0, 1.0);
            const double face = t * t * (3 - 2 * t);
            auto mix = [face](double background, double skin) { return int(background + (skin - background) * face); };
            pic.setPixel(x, y, qRgb(mix(60 + 80.0 * y / h, 224 - 30.0 * y / h), mix(90 + 60.0 * x / w, 172),
                                    mix(170, 140)));
        }
    return pic;
}

// ---- layout arithmetic ---------------------------------------------------------------------

TEST_F(PrintingTest, ResolutionBelow300IsRaisedTo720AndNothingAbove720IsAskedFor) {
    EXPECT_EQ(AcceptedResolution(QSize(299, 300)), QSize(720, 720));
    EXPECT_EQ(AcceptedResolution(QSize(300, 299)), QSize(720, 720));
    EXPECT_EQ(AcceptedResolution(QSize(300, 300)), QSize(300, 300));
    EXPECT_EQ(AcceptedResolution(QSize(720, 720)), QSize(720, 720));
    EXPECT_EQ(AcceptedResolution(QSize(1200, 1200)), QSize(720, 720));

    // The page setup dialog already sees the corrected printer.
    std::unique_ptr<QPrinter> settings = PdfPrinter(Path("a.pdf"), 299);
    QList<int> seen;
    desktop->onPageSetup = [&](QPrinter& p) { seen << p.resolution(); };
    PageSetup(settings);
    settings->setResolution(300);
    PageSetup(settings);
    EXPECT_EQ(seen, QList<int>({720, 300}));
}

TEST_F(PrintingTest, CopiesAreLaidOutFourUpWhereTheyFitElseTwoUp) {
    const QSize copy = CopySize(QSize(600, 600), QSize(300, 300));
    EXPECT_EQ(copy, QSize(600, 600));
    // The UK picture at 720 dpi: 993.6 and 1276.8, truncated.
    EXPECT_EQ(CopySize(QSize(414, 532), QSize(720, 720)), QSize(993, 1276));

    EXPECT_TRUE(FitsFourUp(QSize(2400, 3000), copy));
    const auto four = FourUpAreas(QSize(2400, 3000), copy);
    const QList<QPoint> expected4 = {{400, 600}, {1400, 1800}, {400, 1800}, {1400, 600}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(QPoint(four[i].left, four[i].top), expected4[i]) << "copy " << i + 1;
        EXPECT_EQ(QSize(four[i].width, four[i].height), copy);
    }

    // s = 1500 is not below 1200, nor below a side of 1500: two copies.
    EXPECT_FALSE(FitsFourUp(QSize(1200, 1800), copy));
    EXPECT_FALSE(FitsFourUp(QSize(1500, 3000), copy));
    EXPECT_TRUE(FitsFourUp(QSize(1501, 1501), copy));

    const auto stacked = TwoUpAreas(QSize(1200, 1800), copy);
    EXPECT_EQ(QPoint(stacked[0].left, stacked[0].top), QPoint(300, 200));
    EXPECT_EQ(QPoint(stacked[1].left, stacked[1].top), QPoint(300, 1000));
    const auto sideBySide = TwoUpAreas(QSize(1800, 1200), copy);
    EXPECT_EQ(QPoint(sideBySide[0].left, sideBySide[0].top), QPoint(200, 300));
    EXPECT_EQ(QPoint(sideBySide[1].left, sideBySide[1].top), QPoint(1000, 300));
    // A square page is portrait: stacked.
    const auto square = TwoUpAreas(QSize(1400, 1400), copy);
    EXPECT_EQ(square[0].left, square[1].left);
    EXPECT_LT(square[0].top, square[1].top);
    // The second copy's left is truncated once: 2 x 974 / 3 + 413 = 1062.33.
    EXPECT_EQ(TwoUpAreas(QSize(1800, 1200), QSize(413, 532))[1].left, 1062);
}

TEST_F(PrintingTest, CropMarksAreTheEightTrianglesAroundTheCopy) {
    const auto marks = CropMarkTriangles(PictureArea(400, 600, 600, 600));
    EXPECT_EQ(marks[0], (Triangle{QPoint(350, 600), QPoint(400, 600), QPoint(350, 633)}));
    EXPECT_EQ(marks[1], (Triangle{QPoint(350, 1200), QPoint(400, 1200), QPoint(350, 1166)}));
    EXPECT_EQ(marks[4], (Triangle{QPoint(400, 550), QPoint(400, 600), QPoint(433, 550)}));
    EXPECT_EQ(marks[5], (Triangle{QPoint(1000, 550), QPoint(1000, 600), QPoint(966, 550)}));

    const auto wide = CropMarkTriangles(PictureArea(400, 600, 700, 600));
    EXPECT_EQ(wide[0], (Triangle{QPoint(300, 600), QPoint(400, 600), QPoint(300, 666)}));
    EXPECT_EQ(wide[5], (Triangle{QPoint(1100, 500), QPoint(1100, 600), QPoint(1033, 500)}));
    EXPECT_EQ(CropMarkTriangles(PictureArea(400, 600, 699, 600))[0][0], QPoint(350, 600));
}

// ---- drawing -------------------------------------------------------------------------------

TEST_F(PrintingTest, APageShowsFourCopiesAndGreyMarksOnlyWhereThePreferencesSaySo) {
    const QImage pic = Solid(600, 600, qRgb(255, 0, 0));
    auto draw = [&](bool marks, bool fourUp) {
        Prefs::SetPref(QStringLiteral("DrawCropMarks"), marks);
        Prefs::SetPref(QStringLiteral("Print4UpWherePossible"), fourUp);
        QImage page = WhitePage(QSize(2400, 3000));
        QPainter g(&page);
        PrintPicsToGraphics2Up(g, page.size(), pic, QSize(300, 300));
        return page;
    };
    const QRgb red = qRgb(255, 0, 0), white = qRgb(255, 255, 255), grey = qRgb(0x77, 0x77, 0x77);

    const QImage four = draw(false, true);
    for (const QPoint& at : {QPoint(400, 600), QPoint(1400, 1800), QPoint(400, 1800), QPoint(1400, 600)}) {
        EXPECT_EQ(four.pixel(at), red) << at.x() << "," << at.y();
        EXPECT_EQ(four.pixel(at + QPoint(599, 599)), red) << at.x() << "," << at.y();
        EXPECT_EQ(four.pixel(at - QPoint(1, 0)), white) << at.x() << "," << at.y();
        EXPECT_EQ(four.pixel(at + QPoint(600, 0)), white) << at.x() << "," << at.y();
    }
    EXPECT_EQ(four.pixel(360, 605), white); // no marks

    const QImage marked = draw(true, true);
    EXPECT_EQ(marked.pixel(360, 605), grey);  // left of the first copy's top-left corner
    EXPECT_EQ(marked.pixel(405, 560), grey);  // above it
    EXPECT_EQ(marked.pixel(2045, 2395), grey); // right of the second copy's bottom-right corner
    EXPECT_EQ(marked.pixel(400, 600), red);
    EXPECT_EQ(marked.pixel(340, 605), white); // marks are 50 long

    // Four-up not allowed: two copies, stacked, on the same page.
    const QImage two = draw(false, false);
    EXPECT_EQ(two.pixel(900, 600), red);
    EXPECT_EQ(two.pixel(900, 1800), red);
    EXPECT_EQ(two.pixel(400, 600), white);
}

TEST_F(PrintingTest, ACopyIsResampledToExactlyItsDeviceSizeAndMaskedPartsStayWhite) {
    // Four quadrants, so the picture's orientation and scaling show.
    QImage pic(600, 600, QImage::Format_ARGB32);
    pic.fill(qRgb(0, 0, 255));
    QPainter(&pic).fillRect(0, 0, 300, 300, QColor(255, 0, 0));
    QPainter(&pic).fillRect(300, 300, 300, 300, QColor(0, 160, 0));
    // Hidden (transparent) top-right quadrant.
    for (int y = 0; y < 300; ++y)
        for (int x = 300; x < 600; ++x) pic.setPixel(x, y, qRgba(0, 0, 255, 0));

    QImage page = WhitePage(QSize(2000, 2000));
    {
        QPainter g(&page);
        DrawPassportPhoto(g, PictureArea(100, 50, 1440, 1440), pic);
    }
    EXPECT_EQ(page.pixel(100, 50), qRgb(255, 0, 0));
    EXPECT_EQ(page.pixel(100 + 1439, 50 + 1439), qRgb(0, 160, 0));
    EXPECT_EQ(page.pixel(100 + 1100, 50 + 300), qRgb(255, 255, 255)); // hidden part
    EXPECT_EQ(page.pixel(100 + 300, 50 + 1100), qRgb(0, 0, 255));
    EXPECT_EQ(page.pixel(99, 500), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(100 + 1440, 50 + 1200), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(500, 50 + 1440), qRgb(255, 255, 255));

    QPainter g(&page);
    EXPECT_THROW(DrawPassportPhoto(g, PictureArea(0, 0, 10, 10), QImage()), NilObjectException);
}

// ---- the page setup string -----------------------------------------------------------------

TEST_F(PrintingTest, TheSetupStringRestoresThePageSetupExactly) {
    auto printer = PdfPrinter(Path("out; with=odd%chars.pdf"), 600);
    const QPageSize custom(QSizeF(101.5, 152.25), QPageSize::Millimeter, QStringLiteral("Photo"),
                           QPageSize::ExactMatch);
    ASSERT_TRUE(printer->setPageLayout(QPageLayout(custom, QPageLayout::Landscape, QMarginsF(3.25, 4.5, 5, 6.125),
                                                   QPageLayout::Millimeter)));
    const QString text = PrinterSetupString::SetupString(*printer);

    QPrinter restored(QPrinter::HighResolution);
    ASSERT_TRUE(PrinterSetupString::SetSetupString(restored, text));
    EXPECT_EQ(restored.outputFileName(), Path("out; with=odd%chars.pdf"));
    EXPECT_EQ(restored.outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(restored.resolution(), 600);
    EXPECT_TRUE(restored.pageLayout().isEquivalentTo(printer->pageLayout()));
    EXPECT_EQ(restored.pageLayout().margins(), QMarginsF(3.25, 4.5, 5, 6.125));
    EXPECT_EQ(restored.pageLayout().pageSize().definitionSize(), QSizeF(101.5, 152.25));
    EXPECT_EQ(PrinterSetupString::SetupString(restored), text);

    // A standard size and another resolution round-trip too.
    auto a5 = PdfPrinter(Path("b.pdf"), 300);
    a5->setPageSize(QPageSize(QPageSize::A5));
    ASSERT_TRUE(PrinterSetupString::SetSetupString(restored, PrinterSetupString::SetupString(*a5)));
    EXPECT_EQ(restored.pageLayout().pageSize().id(), QPageSize::A5);
    EXPECT_EQ(restored.resolution(), 300);
    EXPECT_EQ(PrinterSetupString::SetupString(restored), PrinterSetupString::SetupString(*a5));

    // Text that is not ours changes nothing.
    const QString before = PrinterSetupString::SetupString(restored);
    EXPECT_FALSE(PrinterSetupString::SetSetupString(restored, QStringLiteral("garbage")));
    EXPECT_FALSE(PrinterSetupString::SetSetupString(restored, text.section(QLatin1Char(';'), 0, 4)));
    EXPECT_EQ(PrinterSetupString::SetupString(restored), before);
}

// ---- page setup and the print run ----------------------------------------------------------

TEST_F(PrintingTest, FirstPrintOpensPageSetupFirstAndStoresTheSetupEvenAfterCancel) {
    std::unique_ptr<QPrinter> settings;
    QStringList order;
    desktop->onPageSetup = [&](QPrinter& p) {
        order << QStringLiteral("page setup");
        p.setOutputFileName(Path("first.pdf"));
    };
    desktop->onPrintDialog = [&](QPrinter&) { order << QStringLiteral("print"); };
    desktop->pageSetupAnswers = {false};
    desktop->printAnswers = {false};
    int collected = 0;
    PrintPicture(settings, [&] {
        ++collected;
        return std::vector<PassportPhotoInfo*>();
    });

    ASSERT_TRUE(settings);
    EXPECT_EQ(order, QStringList({QStringLiteral("page setup"), QStringLiteral("print")}));
    EXPECT_EQ(settings->resolution(), 720);
    const QString stored = Prefs::GetPref(QStringLiteral("printersettings"), QString()).toString();
    EXPECT_EQ(stored, PrinterSetupString::SetupString(*settings));
    EXPECT_TRUE(stored.contains(QStringLiteral("first.pdf")));
    // Print dialog cancelled: nothing collected, nothing printed.
    EXPECT_EQ(collected, 0);
    EXPECT_FALSE(QFileInfo::exists(Path("first.pdf")));

    // With a stored setup, printing goes straight to the print dialog.
    PrintPicture(settings, {});
    EXPECT_EQ(desktop->pageSetups, 1);
    EXPECT_EQ(desktop->printDialogs, 2);

    // A new window's first page setup starts from the stored setup.
    settings.reset();
    QString fileSeen;
    desktop->onPageSetup = [&](QPrinter& p) { fileSeen = p.outputFileName(); };
    PageSetup(settings);
    EXPECT_EQ(fileSeen, Path("first.pdf"));
}

TEST_F(PrintingTest, EveryPrintRestoresTheStoredSetupAndOnlyPageSetupStoresIt) {
    auto stored = PdfPrinter(Path("stored.pdf"), 299);
    const QString text = PrinterSetupString::SetupString(*stored);
    Prefs::SetPref(QStringLiteral("printersettings"), text);

    std::unique_ptr<QPrinter> settings = PdfPrinter(Path("other.pdf"), 600);
    QString fileSeen;
    int dpiSeen = 0;
    desktop->onPrintDialog = [&](QPrinter& p) {
        fileSeen = p.outputFileName();
        dpiSeen = p.resolution();
        p.setOutputFileName(Path("changed.pdf"));
    };
    PrintPicture(settings, {});
    EXPECT_EQ(fileSeen, Path("stored.pdf"));
    EXPECT_EQ(dpiSeen, 720);
    PrintPicture(settings, {});
    EXPECT_EQ(fileSeen, Path("stored.pdf"));
    EXPECT_EQ(Prefs::GetPref(QStringLiteral("printersettings"), QString()).toString(), text);
}

TEST_F(PrintingTest, NoSelectedRowOpensThePrintDialogAndPrintsNothing) {
    Prefs::SetPref(QStringLiteral("printersettings"), PrinterSetupString::SetupString(*PdfPrinter(Path("none.pdf"), 720)));
    std::unique_ptr<QPrinter> settings;
    desktop->printAnswers = {true};
    PrintPicture(settings, [] { return std::vector<PassportPhotoInfo*>(); });
    EXPECT_EQ(desktop->printDialogs, 1);
    EXPECT_EQ(desktop->pageSetups, 0);
    EXPECT_FALSE(QFileInfo::exists(Path("none.pdf")));
    EXPECT_TRUE(desktop->messages.isEmpty());
}

TEST_F(PrintingTest, APrinterThatCannotStartIsReported) {
    Prefs::SetPref(QStringLiteral("printersettings"),
                   PrinterSetupString::SetupString(*PdfPrinter(Path("no/such/folder/out.pdf"), 720)));
    auto photo = Photo(qRgb(0, 0, 0));
    std::unique_ptr<QPrinter> settings;
    desktop->printAnswers = {true};
    PrintPicture(settings, [&] { return std::vector<PassportPhotoInfo*>{photo.get()}; });
    EXPECT_EQ(desktop->messages,
              QStringList({QStringLiteral("The photos could not be printed: No such file or directory.")}));
}

TEST_F(PrintingTest, PagesFollowTheGivenRowOrderOnePagePerPhoto) {
    Prefs::SetPref(QStringLiteral("printersettings"), PrinterSetupString::SetupString(*PdfPrinter(Path("rows.pdf"), 720)));
    auto dark = Photo(qRgb(0, 0, 0));
    auto light = Photo(qRgb(160, 160, 160));
    auto nil = std::make_unique<PassportPhotoInfo>();
    std::unique_ptr<QPrinter> settings;
    desktop->printAnswers = {true, true};
    PrintPicture(settings, [&] { return std::vector<PassportPhotoInfo*>{light.get(), dark.get(), light.get()}; });

    QString problem;
    const QList<QImage> pages = Rasterise(Path("rows.pdf"), 20, &problem);
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    ASSERT_EQ(pages.size(), 3);
    auto darkest = [](const QImage& page) {
        int least = 255;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) least = std::min<int>(least, page.constScanLine(y)[x]);
        return least;
    };
    EXPECT_NEAR(darkest(pages[0]), 160, 4);
    EXPECT_LT(darkest(pages[1]), 10);
    EXPECT_NEAR(darkest(pages[2]), 160, 4);

    // A record without a passport picture is left out, and the photos after it still come.
    QFile::remove(Path("rows.pdf"));
    nil->mName = QStringLiteral("Nil");
    PrintPicture(settings, [&] { return std::vector<PassportPhotoInfo*>{dark.get(), nil.get(), light.get()}; });
    const QList<QImage> kept = Rasterise(Path("rows.pdf"), 20, &problem);
    ASSERT_EQ(kept.size(), 2);
    EXPECT_LT(darkest(kept[0]), 10);
    EXPECT_NEAR(darkest(kept[1]), 160, 4);
    EXPECT_EQ(desktop->messages, QStringList({QStringLiteral("The photo \"Nil\" could not be printed: its passport "
                                                             "picture is missing or damaged. The other photos were "
                                                             "printed. To mend it, open the photo with Edit and save "
                                                             "it again.")}));
}

TEST_F(PrintingTest, PhotosWithoutAPictureAreNamedAndWithNoneLeftNoJobStarts) {
    const QString pdf = Path("left.pdf");
    Prefs::SetPref(QStringLiteral("printersettings"), PrinterSetupString::SetupString(*PdfPrinter(pdf, 300)));
    auto good = Photo(qRgb(0, 0, 0));
    auto nil = std::make_unique<PassportPhotoInfo>();
    nil->mName = QStringLiteral("Nil");
    // A row that is not in the database: reading its picture raises.
    auto gone = std::make_unique<PassportPhotoInfo>();
    gone->mName = QStringLiteral("Gone");
    gone->mRowID = 4242;
    ASSERT_ANY_THROW(gone->mPicPassPort());
    std::unique_ptr<QPrinter> settings;
    desktop->printAnswers = {true, true};

    PrintPicture(settings, [&] { return std::vector<PassportPhotoInfo*>{nil.get(), good.get(), gone.get()}; });
    EXPECT_TRUE(QFileInfo::exists(pdf));
    EXPECT_EQ(desktop->messages,
              QStringList({QStringLiteral("These photos could not be printed: \"Nil\", \"Gone\". Their passport "
                                          "pictures are missing or damaged. The other photos were printed. To mend "
                                          "them, open each photo with Edit and save it again.")}));

    QFile::remove(pdf);
    desktop->messages.clear();
    PrintPicture(settings, [&] { return std::vector<PassportPhotoInfo*>{gone.get(), nullptr}; });
    EXPECT_FALSE(QFileInfo::exists(pdf));
    EXPECT_EQ(desktop->messages, QStringList({QStringLiteral("These photos could not be printed: \"Gone\", \"\". "
                                                             "Their passport pictures are missing or damaged. To "
                                                             "mend them, open each photo with Edit and save it "
                                                             "again.")}));
}

// A print queue that stays in the process: it keeps the page setup as given, offers a 2400 x
// 3000 page at 300 dpi, draws nothing, and ends the job as the test says.
class FakeQueue : public QPrinter {
public:
    struct Engine : QPrintEngine, QPaintEngine {
        bool begins = true, ends = true;
        QPrinter::PrinterState afterJob = QPrinter::Idle;
        int pages = 0;
        QPrinter::PrinterState state = QPrinter::Idle;
        QHash<PrintEnginePropertyKey, QVariant> properties;

        Engine() : QPaintEngine(AllFeatures) {}
        void setProperty(PrintEnginePropertyKey key, const QVariant& value) override { properties[key] = value; }
        QVariant property(PrintEnginePropertyKey key) const override { return properties.value(key); }
        bool newPage() override {
            ++pages;
            return true;
        }
        bool abort() override { return false; }
        QPrinter::PrinterState printerState() const override { return state; }
        int metric(QPaintDevice::PaintDeviceMetric id) const override {
            switch (id) {
            case QPaintDevice::PdmWidth: return 2400;
            case QPaintDevice::PdmHeight: return 3000;
            case QPaintDevice::PdmWidthMM: return 203;
            case QPaintDevice::PdmHeightMM: return 254;
            case QPaintDevice::PdmDpiX:
            case QPaintDevice::PdmDpiY:
            case QPaintDevice::PdmPhysicalDpiX:
            case QPaintDevice::PdmPhysicalDpiY: return 300;
            case QPaintDevice::PdmDepth: return 32;
            case QPaintDevice::PdmNumColors: return INT_MAX;
            case QPaintDevice::PdmDevicePixelRatio: return 1;
            case QPaintDevice::PdmDevicePixelRatioScaled: return int(QPaintDevice::devicePixelRatioFScale());
            default: return 0;
            }
        }

        bool begin(QPaintDevice*) override {
            if (!begins) return false;
            state = QPrinter::Active;
            pages = 1;
            return true;
        }
        bool end() override {
            state = afterJob;
            return ends;
        }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
        void drawPath(const QPainterPath&) override {}
        Type type() const override { return User; }
    };
    Engine engine;

    FakeQueue() : QPrinter(QPrinter::HighResolution) {
        setEngines(&engine, &engine);
        setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        setResolution(300);
    }
};

TEST_F(PrintingTest, APrintQueueThatFailsIsReportedAndOneThatWorksGetsAPagePerPhoto) {
    auto dark = Photo(qRgb(0, 0, 0));
    auto light = Photo(qRgb(160, 160, 160));
    auto nil = std::make_unique<PassportPhotoInfo>();
    nil->mName = QStringLiteral("Nil");
    const QString failed = QStringLiteral("The photos could not be printed: ");
    const QString refused = failed + QStringLiteral("the printer could not be started; check it and try again.");
    const QString error = failed + QStringLiteral("the print system reported an error.");
    const QString nilLeftOut =
        QStringLiteral("The photo \"Nil\" could not be printed: its passport picture is missing or damaged. To "
                       "mend it, open the photo with Edit and save it again.");
    struct Case {
        const char* name;
        bool begins, ends;
        QPrinter::PrinterState afterJob;
        std::vector<PassportPhotoInfo*> photos;
        QStringList messages;
        int pages;
    };
    const std::vector<PassportPhotoInfo*> both{dark.get(), light.get()};
    for (const Case& c : {Case{"begin refused", false, true, QPrinter::Idle, both, {refused}, 0},
                          Case{"end refused", true, false, QPrinter::Idle, both, {error}, 2},
                          // Nothing went out, so the other photos are not said to be printed.
                          Case{"error after the job", true, true, QPrinter::Error, {dark.get(), nil.get(), light.get()},
                               {error, nilLeftOut}, 2},
                          Case{"all well", true, true, QPrinter::Idle, both, {}, 2}}) {
        SCOPED_TRACE(c.name);
        auto queue = std::make_unique<FakeQueue>();
        FakeQueue::Engine& engine = queue->engine;
        engine.begins = c.begins;
        engine.ends = c.ends;
        engine.afterJob = c.afterJob;
        // Its own setup stored, so the print restores it on the queue unchanged.
        Prefs::SetPref(QStringLiteral("printersettings"), PrinterSetupString::SetupString(*queue));
        std::unique_ptr<QPrinter> settings = std::move(queue);
        desktop->messages.clear();
        desktop->printAnswers = {true};
        EXPECT_NO_THROW(PrintPicture(settings, [&] { return c.photos; }));
        EXPECT_EQ(desktop->messages, c.messages);
        EXPECT_EQ(engine.pages, c.pages);
        EXPECT_TRUE(settings->outputFileName().isEmpty());
    }
}

TEST_F(PrintingTest, AFourUpPageOfAPhotographWithCropMarksShowsInThePdfItself) {
    Prefs::SetPref(QStringLiteral("Print4UpWherePossible"), true);
    Prefs::SetPref(QStringLiteral("DrawCropMarks"), true);
    const QImage source = FaceLike(600, 600);
    auto photo = std::make_unique<PassportPhotoInfo>();
    photo->mPicPassPort(source);
    const QString pdf = Path("four.pdf");
    Prefs::SetPref(QStringLiteral("printersettings"), PrinterSetupString::SetupString(*PdfPrinter(pdf, 720)));
    std::unique_ptr<QPrinter> settings;
    desktop->printAnswers = {true};
    PrintPicture(settings, [&] { return std::vector<PassportPhotoInfo*>{photo.get()}; });
    ASSERT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();

    constexpr int kDpi = 150;
    QString problem;
    const QList<QImage> pages = Rasterise(pdf, kDpi, &problem, false);
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    ASSERT_EQ(pages.size(), 1);
    const QImage& page = pages[0];
    // Device pixels (720 dpi, from the printable area's corner) to pixels of the rasterised page.
    const QPoint origin = settings->pageLayout().paintRectPixels(720).topLeft();
    auto at = [&](double x, double y) {
        return page.pixel(int((origin.x() + x) * kDpi / 720.0), int((origin.y() + y) * kDpi / 720.0));
    };
    auto near = [](QRgb a, QRgb b, int slack) {
        return std::abs(qRed(a) - qRed(b)) <= slack && std::abs(qGreen(a) - qGreen(b)) <= slack &&
               std::abs(qBlue(a) - qBlue(b)) <= slack;
    };
    auto white = [&](QRgb c) { return near(c, qRgb(255, 255, 255), 12); };

    const QSize printable(settings->width(), settings->height());
    const QSize copy = CopySize(source.size(), QSize(720, 720));
    ASSERT_EQ(copy, QSize(1440, 1440));
    ASSERT_TRUE(FitsFourUp(printable, copy));
    for (const PictureArea& area : FourUpAreas(printable, copy)) {
        SCOPED_TRACE("copy at " + std::to_string(area.left) + "," + std::to_string(area.top));
        // Its true size and place: 2 inches, ending where the layout says, along its middle lines.
        const double cx = area.left + area.width / 2.0, cy = area.top + area.height / 2.0;
        for (const double inset : {8.0, -8.0}) {
            const bool inside = inset > 0;
            EXPECT_EQ(!white(at(area.left + inset, cy)), inside);
            EXPECT_EQ(!white(at(area.left + area.width - inset, cy)), inside);
            EXPECT_EQ(!white(at(cx, area.top + inset)), inside);
            EXPECT_EQ(!white(at(cx, area.top + area.height - inset)), inside);
        }
        // The photograph itself, colour for colour, and not flat.
        int lowest = 255, highest = 0;
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 5; ++j) {
                const double fx = (i + 0.5) / 5, fy = (j + 0.5) / 5;
                const QRgb printed = at(area.left + fx * area.width, area.top + fy * area.height);
                const QRgb wanted = source.pixel(int(fx * source.width()), int(fy * source.height()));
                EXPECT_TRUE(near(printed, wanted, 24))
                    << std::hex << "printed " << printed << ", picture " << wanted << " at " << fx << "," << fy;
                lowest = std::min(lowest, qRed(printed));
                highest = std::max(highest, qRed(printed));
            }
        EXPECT_GT(highest - lowest, 60);
        // Grey marks inside each of the eight triangles, and none off the corner's diagonal.
        for (const Triangle& tri : CropMarkTriangles(area)) {
            const double x = (tri[0].x() + tri[1].x() + tri[2].x()) / 3.0, y = (tri[0].y() + tri[1].y() + tri[2].y()) / 3.0;
            EXPECT_TRUE(near(at(x, y), qRgb(0x77, 0x77, 0x77), 10)) << std::hex << at(x, y) << " at " << x << "," << y;
        }
        EXPECT_TRUE(white(at(area.left - 50, area.top - 50)));
        EXPECT_TRUE(white(at(area.left + area.width + 50, area.top + area.height + 50)));
    }
}

TEST_F(PrintingTest, AGreyPrintToAFileIsGreyAndHiddenPartsStayWhite) {
    Prefs::SetPref(QStringLiteral("Print4UpWherePossible"), false);
    const QString pdf = Path("grey.pdf");
    Prefs::SetPref(QStringLiteral("printersettings"), PrinterSetupString::SetupString(*PdfPrinter(pdf, 300)));
    // Red, with its right half hidden.
    QImage pic(600, 600, QImage::Format_ARGB32);
    pic.fill(qRgb(220, 0, 0));
    for (int y = 0; y < 600; ++y)
        for (int x = 300; x < 600; ++x) pic.setPixel(x, y, qRgba(220, 0, 0, 0));
    auto photo = std::make_unique<PassportPhotoInfo>();
    photo->mPicPassPort(pic);
    std::unique_ptr<QPrinter> settings;
    desktop->printAnswers = {true};
    desktop->onPrintDialog = [](QPrinter& p) { p.setColorMode(QPrinter::GrayScale); };
    PrintPicture(settings, [&] { return std::vector<PassportPhotoInfo*>{photo.get()}; });

    QString problem;
    const QList<QImage> pages = Rasterise(pdf, 30, &problem, false);
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    ASSERT_EQ(pages.size(), 1);
    int darkest = 255;
    for (int y = 0; y < pages[0].height(); ++y)
        for (int x = 0; x < pages[0].width(); ++x) {
            const QRgb c = pages[0].pixel(x, y);
            ASSERT_LE(std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)}), 3)
                << "colour at " << x << "," << y;
            darkest = std::min(darkest, qRed(c));
        }
    EXPECT_LT(darkest, 120); // the visible half, in grey
    // Each copy's hidden half is as white as the page: across the first copy's middle row, the
    // grey ends halfway (the copy is 60 pixels wide at 30 dpi).
    const QImage& page = pages[0];
    int y = 0, left = -1;
    for (; y < page.height() && left < 0; ++y)
        for (int x = 0; x < page.width() && left < 0; ++x)
            if (qRed(page.pixel(x, y)) < 200) left = x;
    ASSERT_GE(left, 0);
    const int row = y + 15;
    EXPECT_LT(qRed(page.pixel(left + 15, row)), 200);
    EXPECT_GT(qRed(page.pixel(left + 45, row)), 250);
}

TEST_F(PrintingTest, PrintedCopiesHaveTheirTrueSize) {
    Prefs::SetPref(QStringLiteral("Print4UpWherePossible"), false);
    struct Case {
        const char* name;
        int w, h;
        double mmWide, mmHigh;
    };
    for (const Case& c : {Case{"US", 600, 600, 50.8, 50.8}, Case{"UK", 414, 532, 35.0, 45.0}}) {
        SCOPED_TRACE(c.name);
        const QString pdf = Path(QString::fromLatin1(c.name) + QStringLiteral(".pdf"));
        Prefs::SetPref(QStringLiteral("printersettings"), PrinterSetupString::SetupString(*PdfPrinter(pdf, 720)));
        auto photo = Photo(qRgb(0, 0, 0), c.w, c.h);
        std::unique_ptr<QPrinter> settings;
        desktop->printAnswers = {true};
        PrintPicture(settings, [&] { return std::vector<PassportPhotoInfo*>{photo.get()}; });
        ASSERT_EQ(settings->resolution(), 720);

        constexpr int kDpi = 600;
        QString problem;
        const QList<QImage> pages = Rasterise(pdf, kDpi, &problem);
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        ASSERT_EQ(pages.size(), 1);
        const QImage& page = pages[0];
        // Down the page's middle column to the first copy, then across its middle row.
        const int cx = page.width() / 2;
        int top = 0;
        while (top < page.height() && !Dark(page, cx, top)) ++top;
        int bottom = top;
        while (bottom < page.height() && Dark(page, cx, bottom)) ++bottom;
        ASSERT_LT(top, page.height());
        const int cy = (top + bottom) / 2;
        int left = cx, right = cx;
        while (left > 0 && Dark(page, left - 1, cy)) --left;
        while (right < page.width() && Dark(page, right, cy)) ++right;
        const double mmPerPixel = 25.4 / kDpi;
        EXPECT_NEAR((right - left) * mmPerPixel, c.mmWide, 0.2);
        EXPECT_NEAR((bottom - top) * mmPerPixel, c.mmHigh, 0.2);
    }
}

} // namespace

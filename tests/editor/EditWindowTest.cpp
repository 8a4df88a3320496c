#include "EditWindow.h"

#include "DataStore.h"
#include "DictionaryFile.h"
#include "FileTypes1.h"
#include "MenuDispatcher.h"
#include "PassportPhotoInfo.h"
#include "PictureCompare.h"
#include "PictureExtensions.h"
#include "Pictures.h"
#include "QtPrinters.h"
#include "ScalingPictureCanvas.h"
#include "ScriptedDesktop.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Only ends the wait for a window system that never answers; a busy machine may be slow to.
constexpr int kHangMs = 60000;

const QString kTooSmall = QStringLiteral(
    "Warning: this image is too small to print a quality passport photo.  Please import another higher resolution "
    "image.");

// A JPEG whose EXIF orientation says the stored picture must be turned 90 degrees clockwise.
QByteArray JpegTurnedByExif(const QImage& pic) {
    QByteArray jpeg;
    QBuffer buf(&jpeg);
    buf.open(QIODevice::WriteOnly);
    QImageWriter(&buf, "jpeg").write(pic);
    QByteArray tiff("MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 26);
    const QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xff\xe1", 2);
    segment += char((app1.size() + 2) >> 8);
    segment += char((app1.size() + 2) & 0xff);
    return jpeg.left(2) + segment + app1 + jpeg.mid(2);
}

// With KESTRINE_SCREENSHOT set, the window's picture is kept in the temp folder for a look.
QImage Screenshot(QWidget& w, const QString& name) {
    const QImage shot = w.grab().toImage();
    if (!qEnvironmentVariableIsEmpty("KESTRINE_SCREENSHOT")) shot.save(QDir::temp().filePath(name));
    return shot;
}

double RestoreValue(const QString& restoreInfo, const char* key) {
    DictionaryFile d;
    d.SetStringValue(restoreInfo);
    return d.Value(QString::fromLatin1(key)).toDouble();
}

struct EditWindowTest : ::testing::Test {
    QTemporaryDir dir;
    ScriptedDesktop* desk = nullptr;
    QString holiday, small, notAPicture;

    void SetUp() override {
        desk = &ScriptedDesktop::InstallNew();
        holiday = Write("Holiday.photo.jpg", PictureCompare::Gradient(1000, 800));
        small = Write("small.jpg", PictureCompare::Gradient(150, 100));
        notAPicture = dir.filePath(QStringLiteral("notes.jpg"));
        QFile f(notAPicture);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
    }
    void TearDown() override {
        Desktop::Install(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QString Write(const char* name, const QImage& pic) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(pic.save(path, "JPEG", 95));
        return path;
    }

    // Opens the editor on `info` and runs `script` while it is shown.
    bool Edit(PassportPhotoInfo* info, std::function<void(EditWindow&)> script) {
        desk->modalScripts.push_back([script](QDialog& d) {
            script(static_cast<EditWindow&>(d));
            return d.result();
        });
        return EditWindow::Instance().AddOrEditPhoto(info);
    }
    void Import(EditWindow& w, const QString& path) {
        desk->openAnswers.push_back(path);
        w.butSelectPhoto_Action();
    }
    // A record saved by the editor at the given zoom slider position and format row.
    PassportPhotoInfo SavedRecord(int slider, int formatRow = 0) {
        PassportPhotoInfo info;
        EXPECT_TRUE(Edit(&info, [&](EditWindow& w) {
            Import(w, holiday);
            Get<QComboBox>(w, "puFormat")->setCurrentIndex(formatRow);
            Get<QSlider>(w, "sliderScale")->setValue(slider);
            Get<QPushButton>(w, "butOK")->click();
        }));
        return PassportPhotoInfo(info);
    }

    template <class T> static T* Get(const QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    static ScalingPictureCanvas* Canvas(const QWidget& w) { return Get<ScalingPictureCanvas>(w, "ScaleCanvas"); }
    // Where a press grabs the slider's handle, so it moves nothing.
    static QPoint HandleCentre(const QSlider& s) {
        QStyleOptionSlider opt;
        opt.initFrom(&s);
        opt.orientation = s.orientation();
        opt.minimum = s.minimum();
        opt.maximum = s.maximum();
        opt.sliderPosition = s.sliderPosition();
        opt.sliderValue = s.value();
        opt.subControls = QStyle::SC_All;
        return s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &s).center();
    }
    // A control's rectangle in window coordinates.
    static QRect WindowRect(const QWidget& w, const QWidget* c) {
        return QRect(c->parentWidget()->mapTo(&w, c->pos()), c->size());
    }
};

TEST_F(EditWindowTest, LayoutFollowsTheDesign) {
    EditWindow& w = EditWindow::Instance();
    EXPECT_EQ(&EditWindow::Instance(), &w);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Edit Passport Photo"));
    EXPECT_EQ(w.size(), QSize(606, 428));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                    Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint));

    struct Row {
        const char* name;
        int index; // -1: not an array member
        QRect rect;
        const char* container;
        const char* caption;
    };
    const Row rows[] = {
        {"butSelectPhoto", -1, {20, 20, 240, 20}, "EditWindow", "Select Photo File..."},
        {"puFormat", -1, {80, 62, 180, 20}, "EditWindow", nullptr},
        {"efPhotoName", -1, {80, 100, 180, 22}, "EditWindow", nullptr},
        {"EnableCanvas", -1, {-1, 126, 607, 250}, "EditWindow", nullptr},
        {"slideContrast", -1, {20, 257, 240, 23}, "EnableCanvas", nullptr},
        {"slideBrightness", -1, {20, 306, 240, 23}, "EnableCanvas", nullptr},
        {"sliderScale", -1, {323, 341, 220, 24}, "EnableCanvas", nullptr},
        {"picButRotate", 0, {79, 173, 32, 32}, "EnableCanvas", nullptr},
        {"picButRotate", 1, {123, 173, 32, 32}, "EnableCanvas", nullptr},
        {"moveArrow", 0, {202, 147, 32, 32}, "EnableCanvas", nullptr},
        {"moveArrow", 3, {176, 173, 32, 32}, "EnableCanvas", nullptr},
        {"moveArrow", 1, {228, 173, 32, 32}, "EnableCanvas", nullptr},
        {"moveArrow", 2, {202, 199, 32, 32}, "EnableCanvas", nullptr},
        {"StaticText4", -1, {20, 236, 72, 20}, "EnableCanvas", "Contrast:"},
        {"StaticText5", -1, {117, 236, 48, 20}, "EnableCanvas", "0"},
        {"StaticText6", -1, {20, 285, 80, 20}, "EnableCanvas", "Brightness:"},
        {"StaticText7", -1, {117, 285, 48, 20}, "EnableCanvas", "0"},
        {"butZoomOut", -1, {284, 335, 32, 32}, "EnableCanvas", nullptr},
        {"butZoomIn", -1, {550, 335, 32, 32}, "EnableCanvas", nullptr},
        {"butCancel", -1, {414, 388, 80, 20}, "EditWindow", "Cancel"},
        {"butOK", -1, {506, 388, 80, 20}, "EditWindow", "Save"},
        {"StaticText1", 1, {20, 62, 50, 20}, "EditWindow", "Format:"},
        {"StaticText1", 0, {20, 101, 50, 20}, "EditWindow", "Name:"},
        {"Rectangle3", -1, {280, 20, 306, 306}, "EditWindow", nullptr},
        {"ScaleCanvas", -1, {283, 23, 300, 300}, "Rectangle3", nullptr},
        {"butRequirements", -1, {20, 388, 240, 20}, "EditWindow", "Show US Photo Requirements"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.name) + " " + std::to_string(r.index));
        QWidget* c = r.index < 0 ? w.findChild<QWidget*>(QString::fromLatin1(r.name))
                                 : w.ControlArray(QString::fromLatin1(r.name), r.index);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(WindowRect(w, c), r.rect);
        EXPECT_EQ(c->parentWidget()->objectName(), QString::fromLatin1(r.container));
        if (!r.caption) continue;
        const QString caption = QString::fromLatin1(r.caption);
        // Every caption is whole at the default font: buttons leave room for their bevel.
        const int room = qobject_cast<QPushButton*>(c) ? r.rect.width() - 12 : r.rect.width();
        if (auto* b = qobject_cast<QPushButton*>(c)) {
            EXPECT_EQ(b->text(), caption);
        } else if (auto* l = qobject_cast<QLabel*>(c)) {
            EXPECT_EQ(l->text(), caption);
        }
        EXPECT_LE(QFontMetrics(c->font()).horizontalAdvance(caption), room);
        EXPECT_GE(r.rect.height(), QFontMetrics(c->font()).height());
    }
    EXPECT_EQ(w.ControlArray(QStringLiteral("moveArrow"), 4), nullptr);

    // The move arrows form a cross around (218, 189); the rotate buttons lie to its left.
    QPoint centre;
    for (int i = 0; i < 4; ++i) centre += WindowRect(w, w.ControlArray(QStringLiteral("moveArrow"), i)).center();
    EXPECT_EQ(centre / 4, QPoint(218, 189) - QPoint(1, 1)); // QRect::center() rounds down

    auto* format = Get<QComboBox>(w, "puFormat");
    ASSERT_EQ(format->count(), 2);
    EXPECT_EQ(format->itemText(0), QStringLiteral("United States"));
    EXPECT_EQ(format->itemText(1), QStringLiteral("United Kingdom"));
    EXPECT_EQ(format->currentIndex(), 0);
    EXPECT_EQ(Get<QLineEdit>(w, "efPhotoName")->text(), QStringLiteral("First Last"));
    EXPECT_EQ(w.defaultPhotoName, QStringLiteral("First Last"));

    const struct {
        const char* name;
        int minimum, value, maximum, page;
    } sliders[] = {{"slideContrast", -100, 0, 100, 20}, {"slideBrightness", -100, 0, 100, 20},
                   {"sliderScale", 0, 40, 200, 40}};
    for (const auto& s : sliders) {
        auto* slider = Get<QSlider>(w, s.name);
        EXPECT_EQ(slider->minimum(), s.minimum) << s.name;
        EXPECT_EQ(slider->value(), s.value) << s.name;
        EXPECT_EQ(slider->maximum(), s.maximum) << s.name;
        EXPECT_EQ(slider->singleStep(), 1);
        EXPECT_EQ(slider->pageStep(), s.page) << s.name;
        EXPECT_TRUE(slider->hasTracking());
    }
    EXPECT_TRUE(Get<QPushButton>(w, "butOK")->isDefault());
    EXPECT_FALSE(Get<QPushButton>(w, "butSelectPhoto")->isDefault());

    // Everything inside EnableCanvas is disabled with it; the rest stays usable.
    auto* enableCanvas = Get<QWidget>(w, "EnableCanvas");
    EXPECT_FALSE(enableCanvas->isEnabled());
    for (QWidget* c : enableCanvas->findChildren<QWidget*>()) EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    for (const char* name : {"butSelectPhoto", "puFormat", "efPhotoName", "ScaleCanvas", "butRequirements", "butOK",
                             "butCancel"})
        EXPECT_TRUE(Get<QWidget>(w, name)->isEnabled()) << name;

    auto* timer = Get<QTimer>(w, "SliderTimer");
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_EQ(timer->interval(), 1500);
    EXPECT_FALSE(timer->isActive());

    // Tab order: the fields, then the sliders, then the buttons; picture buttons take no focus.
    QStringList chain;
    QWidget* c = Get<QWidget>(w, "butSelectPhoto");
    for (int i = 0; i < 9; ++i, c = c->nextInFocusChain()) {
        while (c->focusPolicy() == Qt::NoFocus) c = c->nextInFocusChain();
        chain << c->objectName();
    }
    EXPECT_EQ(chain, QStringList({"butSelectPhoto", "puFormat", "efPhotoName", "slideContrast", "slideBrightness",
                                  "sliderScale", "butCancel", "butOK", "butRequirements"}));

    // The picture: the canvas's grey inside Rectangle3's black border.
    w.show();
    const QImage shot = Screenshot(w, QStringLiteral("EditWindow.png"));
    EXPECT_EQ(shot.pixel(280, 100) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(shot.pixel(585, 325) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(shot.pixel(282, 100) & 0xFFFFFF, 0xAAAAAAu);
    w.hide();
    w.AddOrEditPhoto(nullptr);
}

TEST_F(EditWindowTest, TheAccessorGivesANewWindowOnceTheEditorHasClosed) {
    QPointer<EditWindow> first = &EditWindow::Instance();
    PassportPhotoInfo info;
    EXPECT_FALSE(Edit(&info, [](EditWindow& w) {
        EXPECT_EQ(&EditWindow::Instance(), &w);
        w.findChild<QSlider*>(QStringLiteral("sliderScale"))->setValue(90);
        w.findChild<QLineEdit*>(QStringLiteral("efPhotoName"))->setText(QStringLiteral("Jane"));
        w.butCancel_Action();
    }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EditWindow& second = EditWindow::Instance();
    EXPECT_EQ(Get<QSlider>(second, "sliderScale")->value(), 40);
    EXPECT_EQ(Get<QLineEdit>(second, "efPhotoName")->text(), QStringLiteral("First Last"));
    EXPECT_FALSE(second.AddOrEditPhoto(nullptr));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_NE(&EditWindow::Instance(), nullptr);
}

TEST_F(EditWindowTest, ANewRecordOpensEmptyAndCancelReturnsFalse) {
    PassportPhotoInfo info;
    bool ran = false;
    EXPECT_FALSE(Edit(&info, [&](EditWindow& w) {
        ran = true;
        EXPECT_TRUE(w.isModal());
        EXPECT_EQ(w.LocalPassportInfo, &info);
        EXPECT_EQ(Canvas(w)->CapArea.width, 200); // the "US" capture area
        EXPECT_EQ(Get<QComboBox>(w, "puFormat")->currentText(), QStringLiteral("United States"));
        EXPECT_EQ(Get<QLineEdit>(w, "efPhotoName")->text(), QStringLiteral("First Last"));
        EXPECT_EQ(Get<QSlider>(w, "slideContrast")->value(), 0);
        EXPECT_EQ(Get<QSlider>(w, "slideBrightness")->value(), 0);
        EXPECT_EQ(Get<QSlider>(w, "sliderScale")->value(), 40);
        EXPECT_FALSE(Get<QPushButton>(w, "butOK")->isEnabled());
        EXPECT_TRUE(Get<QPushButton>(w, "butSelectPhoto")->isDefault());
        EXPECT_FALSE(Get<QPushButton>(w, "butOK")->isDefault());
        EXPECT_FALSE(Get<QWidget>(w, "EnableCanvas")->isEnabled());
        EXPECT_TRUE(Get<QPushButton>(w, "butRequirements")->isVisible());
        EXPECT_EQ(Get<QPushButton>(w, "butRequirements")->text(), QStringLiteral("Show US Photo Requirements"));
        Get<QPushButton>(w, "butCancel")->click();
    }));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(info.mPicOriginal().isNull());
    EXPECT_TRUE(info.mRestoreInfo.isEmpty());
    EXPECT_FALSE(EditWindow::Instance().AddOrEditPhoto(nullptr));
}

TEST_F(EditWindowTest, ImportThroughTheDialogNamesThePhotoOnlyWhileTheFieldHoldsTheDesignName) {
    PassportPhotoInfo info;
    Edit(&info, [&](EditWindow& w) {
        desk->openAnswers.push_back(QString()); // cancelled: nothing changes
        w.butSelectPhoto_Action();
        EXPECT_FALSE(Get<QPushButton>(w, "butOK")->isEnabled());

        Import(w, notAPicture);
        EXPECT_EQ(desk->messages, QStringList{QStringLiteral("Not a valid picture file.")});
        EXPECT_EQ(desk->beeps, 0);
        EXPECT_FALSE(Get<QPushButton>(w, "butOK")->isEnabled());
        EXPECT_EQ(desk->openFilters.value(0), FileTypes1::JPEG().Filter());

        // Too small: warned about as a drop is, and imported all the same.
        Import(w, small);
        EXPECT_EQ(desk->messages, QStringList({QStringLiteral("Not a valid picture file."), kTooSmall}));
        EXPECT_EQ(Canvas(w)->getPic().size(), QSize(150, 100));
        EXPECT_LT(Canvas(w)->ScaleMin, 1.0);
        EXPECT_EQ(info.mName, QStringLiteral("small"));
        EXPECT_TRUE(Get<QPushButton>(w, "butOK")->isEnabled());
        EXPECT_TRUE(Get<QPushButton>(w, "butOK")->isDefault());
        EXPECT_FALSE(Get<QPushButton>(w, "butSelectPhoto")->isDefault());
        EXPECT_TRUE(Get<QWidget>(w, "EnableCanvas")->isEnabled());

        Get<QLineEdit>(w, "efPhotoName")->setText(QStringLiteral("First Last"));
        Import(w, holiday);
        EXPECT_EQ(info.mName, QStringLiteral("Holiday"));
        EXPECT_EQ(Canvas(w)->getPic().size(), QSize(1000, 800));
        EXPECT_EQ(desk->messages.size(), 2); // big enough: no warning

        Get<QLineEdit>(w, "efPhotoName")->setText(QStringLiteral("Jane Doe"));
        Import(w, small);
        EXPECT_EQ(info.mName, QStringLiteral("Jane Doe"));
        EXPECT_EQ(desk->messages.size(), 3);
    });
}

TEST_F(EditWindowTest, DropsImportPicturesAndFilesAndBeepForAnythingElse) {
    PassportPhotoInfo info;
    Edit(&info, [&](EditWindow& w) {
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        EXPECT_FALSE(w.ScaleCanvas_DropObject(&text));
        QMimeData badFile;
        badFile.setUrls({QUrl::fromLocalFile(notAPicture)});
        EXPECT_FALSE(w.ScaleCanvas_DropObject(&badFile));
        EXPECT_EQ(desk->beeps, 2);
        EXPECT_TRUE(desk->messages.isEmpty());
        EXPECT_FALSE(Get<QPushButton>(w, "butOK")->isEnabled());

        // A picture without a file: imported, warned about when small, the name kept.
        QMimeData picture;
        picture.setImageData(PictureCompare::Gradient(150, 100));
        EXPECT_TRUE(w.ScaleCanvas_DropObject(&picture));
        EXPECT_DOUBLE_EQ(Canvas(w)->ScaleMin, 0.25);
        EXPECT_EQ(desk->messages, QStringList{kTooSmall});
        EXPECT_EQ(info.mName, QStringLiteral("First Last"));
        EXPECT_TRUE(Get<QPushButton>(w, "butOK")->isEnabled());
        EXPECT_TRUE(Get<QWidget>(w, "EnableCanvas")->isEnabled());

        // A file: named after it, shown upright as its EXIF orientation says, no warning.
        const QString turned = dir.filePath(QStringLiteral("Beach.2024.jpg"));
        QFile f(turned);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(JpegTurnedByExif(PictureCompare::Gradient(900, 600)));
        f.close();
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(turned)});
        EXPECT_TRUE(w.ScaleCanvas_DropObject(&file));
        EXPECT_EQ(Canvas(w)->getPic().size(), QSize(600, 900));
        EXPECT_EQ(desk->messages.size(), 1);
        EXPECT_EQ(info.mName, QStringLiteral("Beach"));
    });
}

TEST_F(EditWindowTest, TheCanvasTakesDragsOfPicturesAndFilesOnly) {
    PassportPhotoInfo info;
    Edit(&info, [&](EditWindow& w) {
        ScalingPictureCanvas* canvas = Canvas(w);
        const auto enter = [&](const QMimeData& data) {
            QDragEnterEvent e(QPoint(150, 150), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(canvas, &e);
            return e.isAccepted();
        };
        QMimeData text, file;
        text.setText(QStringLiteral("hello"));
        file.setUrls({QUrl::fromLocalFile(holiday)});
        EXPECT_FALSE(enter(text));
        EXPECT_TRUE(enter(file));
        QDropEvent drop(QPointF(150, 150), Qt::CopyAction, &file, Qt::LeftButton, {});
        QApplication::sendEvent(canvas, &drop);
        EXPECT_EQ(canvas->getPic().size(), QSize(1000, 800));
        EXPECT_EQ(info.mName, QStringLiteral("Holiday"));
        EXPECT_TRUE(Get<QPushButton>(w, "butOK")->isEnabled());
    });
}

TEST_F(EditWindowTest, SaveFillsTheRecordWithSourcePassportPreviewAndRestoreInfo) {
    PassportPhotoInfo info;
    QImage shown;
    EXPECT_TRUE(Edit(&info, [&](EditWindow& w) {
        Import(w, holiday);
        Screenshot(w, QStringLiteral("EditWindowLoaded.png"));
        Get<QSlider>(w, "slideBrightness")->setValue(10);
        const QImage upright = Canvas(w)->getPic();
        w.picButRotate_Action(1);
        shown = Canvas(w)->getPic();
        EXPECT_EQ(PictureCompare::Difference(shown, PictureExtensions::RotateCW(upright)), QString());
        Get<QPushButton>(w, "butOK")->click();
        EXPECT_TRUE(w.OkButtonWasPushed);
    }));
    EXPECT_EQ(info.mPicOriginal().size(), QSize(800, 1000)); // turned clockwise, as shown
    EXPECT_EQ(PictureCompare::Difference(info.mPicOriginal(), shown), QString());
    EXPECT_EQ(info.mPicPassPort().size(), QSize(600, 600));
    EXPECT_EQ(RestoreValue(info.mRestoreInfo, "LastPercentScale"), 20.0);
    EXPECT_EQ(RestoreValue(info.mRestoreInfo, "Brightness"), 10.0);

    // "US": the preview is the whole square with rounded corners.
    const QImage& preview = info.mPicPreview;
    ASSERT_EQ(preview.size(), QSize(64, 64));
    ASSERT_TRUE(Pictures::HasMask(preview));
    EXPECT_EQ(qAlpha(preview.pixel(32, 32)), 255);
    EXPECT_EQ(qAlpha(preview.pixel(0, 32)), 255);
    EXPECT_EQ(qAlpha(preview.pixel(32, 63)), 255);
    EXPECT_EQ(qAlpha(preview.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(preview.pixel(63, 63)), 0);
    EXPECT_EQ(preview.pixel(32, 0) & 0xFFFFFF, 0xAFAFAFu); // the frame
    // The passport picture is scaled into the box.
    const QRgb inside = preview.pixel(32, 32);
    const QRgb expected = info.mPicPassPort().pixel(300, 300);
    EXPECT_LE(std::abs(qRed(inside) - qRed(expected)), 12);
    EXPECT_LE(std::abs(qBlue(inside) - qBlue(expected)), 12);
}

TEST_F(EditWindowTest, TheUnitedKingdomFormatChangesCodeCaptionOverlayAndPreviewBox) {
    PassportPhotoInfo info;
    EXPECT_TRUE(Edit(&info, [&](EditWindow& w) {
        Import(w, holiday);
        const double before = RestoreValue(Canvas(w)->GetRestoreInfo(), "LastPercentScale");
        const QImage usView = Canvas(w)->grab().toImage();
        Get<QComboBox>(w, "puFormat")->setCurrentIndex(1);
        EXPECT_EQ(info.mFormat, QStringLiteral("UK"));
        EXPECT_EQ(Get<QPushButton>(w, "butRequirements")->text(), QStringLiteral("Show UK Photo Requirements"));
        EXPECT_EQ(Canvas(w)->CapArea.width, 154);
        EXPECT_EQ(Canvas(w)->CapArea.height, 198);
        EXPECT_EQ(RestoreValue(Canvas(w)->GetRestoreInfo(), "LastPercentScale"), before);
        EXPECT_NE(PictureCompare::Difference(Canvas(w)->grab().toImage(), usView), QString());

        w.butRequirements_Action();
        ASSERT_EQ(desk->urls.size(), 1);
        EXPECT_TRUE(desk->urls[0].toString().endsWith(QStringLiteral("/uk_requirements.html")));
        Get<QComboBox>(w, "puFormat")->setCurrentIndex(0);
        w.butRequirements_Action();
        EXPECT_TRUE(desk->urls.value(1).toString().endsWith(QStringLiteral("/us_requirements.html")));
        Get<QComboBox>(w, "puFormat")->setCurrentIndex(1);
        Get<QPushButton>(w, "butOK")->click();
    }));
    EXPECT_EQ(info.mPicPassPort().size(), QSize(414, 532));
    EXPECT_EQ(EditWindow::PreviewBox(414, 532), QRect(7, 0, 50, 64));
    EXPECT_EQ(EditWindow::PreviewBox(600, 600), QRect(0, 0, 64, 64));
    EXPECT_EQ(EditWindow::PreviewBox(532, 414), QRect(0, 7, 64, 50));
    const QImage& preview = info.mPicPreview;
    EXPECT_EQ(qAlpha(preview.pixel(6, 32)), 0);
    EXPECT_EQ(qAlpha(preview.pixel(7, 32)), 255);
    EXPECT_EQ(qAlpha(preview.pixel(56, 32)), 255);
    EXPECT_EQ(qAlpha(preview.pixel(57, 32)), 0);
}

TEST_F(EditWindowTest, CancelKeepsNameAndFormatChangesButNoPictures) {
    PassportPhotoInfo stored = SavedRecord(60);
    const QImage preview = stored.mPicPreview;
    const QString restoreInfo = stored.mRestoreInfo;
    EXPECT_FALSE(Edit(&stored, [&](EditWindow& w) {
        EXPECT_TRUE(Get<QWidget>(w, "EnableCanvas")->isEnabled());
        EXPECT_TRUE(Get<QPushButton>(w, "butOK")->isEnabled());
        Get<QLineEdit>(w, "efPhotoName")->setText(QStringLiteral("Jane Doe"));
        Get<QComboBox>(w, "puFormat")->setCurrentIndex(1);
        Get<QSlider>(w, "sliderScale")->setValue(100);
        w.picButRotate_Action(0);
        w.reject(); // Escape, or a close request, is Cancel
        EXPECT_FALSE(w.OkButtonWasPushed);
    }));
    EXPECT_EQ(stored.mName, QStringLiteral("Jane Doe"));
    EXPECT_EQ(stored.mFormat, QStringLiteral("UK"));
    EXPECT_EQ(stored.mRestoreInfo, restoreInfo);
    EXPECT_EQ(stored.mPicOriginal().size(), QSize(1000, 800));
    EXPECT_EQ(PictureCompare::Difference(stored.mPicPreview, preview), QString());
}

TEST_F(EditWindowTest, ReopeningRestoresTheViewWithTheZoomSliderOnAWholePercent) {
    PassportPhotoInfo stored = SavedRecord(41, 1);
    EXPECT_EQ(RestoreValue(stored.mRestoreInfo, "LastPercentScale"), 20.5);
    Edit(&stored, [&](EditWindow& w) {
        const int slider = Get<QSlider>(w, "sliderScale")->value();
        EXPECT_TRUE(slider == 40 || slider == 42) << slider;
        EXPECT_EQ(RestoreValue(Canvas(w)->GetRestoreInfo(), "LastPercentScale"), 20.5);
        EXPECT_EQ(Get<QComboBox>(w, "puFormat")->currentIndex(), 1);
        EXPECT_EQ(Canvas(w)->CapArea.width, 154);
        EXPECT_EQ(Get<QLineEdit>(w, "efPhotoName")->text(), QStringLiteral("Holiday"));
        EXPECT_FALSE(w.DontUpdate);
        Get<QSlider>(w, "sliderScale")->setValue(slider + 2);
        EXPECT_EQ(RestoreValue(Canvas(w)->GetRestoreInfo(), "LastPercentScale"), (slider + 2) / 2.0);
    });
}

TEST_F(EditWindowTest, AStoredTestRecordOpensWithItsOverlayButAsUnitedStates) {
    PassportPhotoInfo stored = SavedRecord(40, 1);
    stored.mFormat = QStringLiteral("Test");
    Edit(&stored, [&](EditWindow& w) {
        EXPECT_EQ(Canvas(w)->CapArea.width, 150); // the "Test" capture area
        EXPECT_EQ(Get<QComboBox>(w, "puFormat")->currentIndex(), 0);
        EXPECT_EQ(stored.mFormat, QStringLiteral("US"));
        EXPECT_EQ(Get<QPushButton>(w, "butRequirements")->text(), QStringLiteral("Show US Photo Requirements"));
    });
}

TEST_F(EditWindowTest, ARestoreInfoWithoutAZoomOpensAtTheDesignZoomInTheRecordsFormat) {
    PassportPhotoInfo stored = SavedRecord(80, 1);
    stored.mRestoreInfo = DictionaryFile{{QStringLiteral("LastSize"), 1.5}}.GetStringValue();
    Edit(&stored, [&](EditWindow& w) {
        EXPECT_FALSE(w.DontUpdate);
        EXPECT_EQ(Get<QSlider>(w, "sliderScale")->value(), 40);
        EXPECT_EQ(RestoreValue(Canvas(w)->GetRestoreInfo(), "LastPercentScale"), 20.0);
        EXPECT_EQ(Get<QComboBox>(w, "puFormat")->currentIndex(), 1);
        EXPECT_EQ(Get<QLineEdit>(w, "efPhotoName")->text(), QStringLiteral("Holiday"));
        EXPECT_EQ(Canvas(w)->CapArea.width, 154);
        EXPECT_TRUE(Get<QWidget>(w, "EnableCanvas")->isEnabled());
    });
}

TEST_F(EditWindowTest, ADamagedRestoreInfoOpensAUsableViewAndSavesARealCropOfThePicture) {
    // Zoomed to slider 60 and brightened: what survives of this view must come back as it was.
    PassportPhotoInfo good;
    ASSERT_TRUE(Edit(&good, [&](EditWindow& w) {
        Import(w, holiday);
        Get<QSlider>(w, "sliderScale")->setValue(60);
        Get<QSlider>(w, "slideBrightness")->setValue(10);
        Get<QPushButton>(w, "butOK")->click();
    }));
    const QImage goodPassport = good.mPicPassPort();
    const QImage defaultPassport = SavedRecord(40).mPicPassPort();
    PassportPhotoInfo extremes;
    ASSERT_TRUE(Edit(&extremes, [&](EditWindow& w) {
        Import(w, holiday);
        Get<QSlider>(w, "sliderScale")->setValue(60);
        Get<QSlider>(w, "slideBrightness")->setValue(-100);
        Get<QSlider>(w, "slideContrast")->setValue(100);
        Get<QPushButton>(w, "butOK")->click();
    }));
    const QString intact = good.mRestoreInfo;
    const auto changed = [&](std::initializer_list<std::pair<const char*, QVariant>> values,
                             std::initializer_list<const char*> removed = {}) {
        DictionaryFile d;
        d.SetStringValue(intact);
        for (const auto& [key, value] : values) d.SetValue(QString::fromLatin1(key), value);
        for (const char* key : removed) d.Remove(QString::fromLatin1(key));
        return d.GetStringValue();
    };
    // Text data under a Double's tag, so the reader itself meets numbers the writer never makes.
    const auto asDouble = [](QString info, const char* field) {
        return info.replace(QLatin1Char('s') + QLatin1String(field), QLatin1Char('d') + QLatin1String(field));
    };

    // A fresh import's passport, the one saved, just a crop, or the one saved at the extremes.
    enum Expect { Default, Good, Crop, Extremes };
    const struct {
        const char* form;
        QString info;
        Expect expect;
        int zoom, brightness, contrast; // the sliders on opening
    } rows[] = {
        {"empty", QStringLiteral(""), Default, 40, 0, 0},
        {"NULL", QString(), Default, 40, 0, 0},
        {"not a table", QStringLiteral("JPEG data, not settings"), Default, 40, 0, 0},
        {"cut inside the header", intact.left(12), Default, 40, 0, 0},
        {"cut inside the body", intact.left(intact.indexOf(u';') + 50), Crop, 60, 0, 0},
        {"no limits", changed({}, {"ScaleMax", "ScaleMin"}), Good, 60, 10, 0},
        {"zero limits", changed({{"ScaleMax", 0.0}, {"ScaleMin", 0.0}}), Good, 60, 10, 0},
        {"NaN limits", changed({{"ScaleMax", QStringLiteral("nan")}, {"ScaleMin", QStringLiteral("nan")}}), Good, 60,
         10, 0},
        {"infinite limits",
         asDouble(asDouble(changed({{"ScaleMax", QStringLiteral("1e999")}, {"ScaleMin", QStringLiteral("-1e999")}}),
                           "8.5"),
                  "8.6"),
         Good, 60, 10, 0},
        {"zoom, centre and limits out of range",
         changed({{"LastPercentScale", 500.0}, {"LastSize", -3.0}, {"PicCenterX", -99999}, {"PicCenterY", 99999999},
                  {"ScaleMax", 1e300}, {"ScaleMin", 1e-300}}),
         Crop, 200, 10, 0},
        {"contrast and brightness out of range", changed({{"Contrast", 900}, {"Brightness", -140}}), Extremes, 60,
         -100, 100},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.form);
        PassportPhotoInfo stored(good);
        stored.mRestoreInfo = row.info;
        EXPECT_TRUE(Edit(&stored, [&](EditWindow& w) {
            EXPECT_TRUE(Get<QWidget>(w, "EnableCanvas")->isEnabled());
            EXPECT_TRUE(Get<QPushButton>(w, "butOK")->isDefault());
            EXPECT_EQ(Get<QSlider>(w, "sliderScale")->value(), row.zoom);
            EXPECT_EQ(Get<QSlider>(w, "slideBrightness")->value(), row.brightness);
            EXPECT_EQ(Get<QSlider>(w, "slideContrast")->value(), row.contrast);
            if (row.expect == Extremes) {
                Get<QPushButton>(w, "butOK")->click();
                return;
            }
            // The picture shows under the capture area: its gradient, not the flat grey.
            const QImage view = Canvas(w)->grab().toImage();
            EXPECT_NE(view.pixel(150, 150) & 0xFFFFFF, 0xAAAAAAu);
            EXPECT_GT(qRed(view.pixel(190, 150)) - qRed(view.pixel(110, 150)), 10);
            // The zoom slider works, and going back gives the restored view again.
            auto* zoom = Get<QSlider>(w, "sliderScale");
            zoom->setValue(0);
            EXPECT_EQ(RestoreValue(Canvas(w)->GetRestoreInfo(), "LastPercentScale"), 0.0);
            EXPECT_NE(PictureCompare::Difference(Canvas(w)->grab().toImage(), view), QString());
            zoom->setValue(row.zoom);
            if (row.expect != Crop) {
                EXPECT_EQ(PictureCompare::Difference(Canvas(w)->grab().toImage(), view), QString());
            }
            Get<QPushButton>(w, "butOK")->click();
        }));
        const QImage passport = stored.mPicPassPort();
        ASSERT_EQ(passport.size(), QSize(600, 600));
        EXPECT_GT(RestoreValue(stored.mRestoreInfo, "ScaleMin"), 0.0);
        EXPECT_TRUE(desk->messages.isEmpty());
        if (row.expect == Extremes) {
            EXPECT_EQ(PictureCompare::Difference(passport, extremes.mPicPassPort()), QString());
            continue;
        }
        if (row.expect == Default) {
            EXPECT_EQ(PictureCompare::Difference(passport, defaultPassport), QString());
        } else if (row.expect == Good) {
            EXPECT_EQ(PictureCompare::Difference(passport, goodPassport), QString());
        }
        // Never one pixel stretched over the crop: the gradient runs across it.
        int darkest = 255, lightest = 0;
        for (int x = 0; x < 600; x += 50) {
            darkest = std::min(darkest, qRed(passport.pixel(x, 300)));
            lightest = std::max(lightest, qRed(passport.pixel(x, 300)));
        }
        EXPECT_GT(lightest - darkest, 30);
        EXPECT_TRUE(desk->messages.isEmpty());
    }
}

TEST_F(EditWindowTest, AStoredPhotoWithoutAReadablePictureSaysSoAndOpensReadyForANewOne) {
    const QString missing = QStringLiteral(
        "The original picture of this photo is missing or damaged; select a photo file to make it again.");
    DataStore& store = DataStore::Current();
    const QString folder = store.AppFolder;
    store.AppFolder = dir.path();
    const QString file = store.Child(QStringLiteral("7"));
    enum class Source { Missing, NotAPicture, ReadsFail };
    for (const Source source : {Source::Missing, Source::NotAPicture, Source::ReadsFail}) {
        SCOPED_TRACE(source == Source::Missing       ? "missing"
                     : source == Source::NotAPicture ? "not a picture"
                                                     : "reads fail");
        desk->messages.clear();
        PassportPhotoInfo stored;
        stored.mRowID = 7;
        stored.mName = QStringLiteral("Jane Doe");
        stored.mFormat = QStringLiteral("UK");
        QFile::remove(file);
        if (source == Source::NotAPicture) {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("not a picture");
        }
        // Every read of our own memory at offset 0 fails with EIO, as a failing disk's do.
        if (source == Source::ReadsFail) {
            ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), file));
        }
        const QString message = source == Source::ReadsFail
                                    ? QStringLiteral("The original picture of this photo cannot be read: "
                                                     "Input/output error.")
                                    : missing;
        EXPECT_TRUE(Edit(&stored, [&](EditWindow& w) {
            EXPECT_EQ(desk->messages, QStringList{message});
            EXPECT_EQ(Get<QLineEdit>(w, "efPhotoName")->text(), QStringLiteral("Jane Doe"));
            EXPECT_EQ(Get<QComboBox>(w, "puFormat")->currentIndex(), 1);
            EXPECT_FALSE(Get<QPushButton>(w, "butOK")->isEnabled());
            EXPECT_TRUE(Get<QPushButton>(w, "butSelectPhoto")->isDefault());
            Import(w, holiday);
            EXPECT_TRUE(Get<QPushButton>(w, "butOK")->isEnabled());
            Get<QPushButton>(w, "butOK")->click();
        }));
        EXPECT_EQ(stored.mPicPassPort().size(), QSize(414, 532));
        EXPECT_EQ(stored.mName, QStringLiteral("Jane Doe"));
        if (source == Source::ReadsFail) {
            EXPECT_EQ(QFileInfo(file).symLinkTarget(), QStringLiteral("/proc/self/mem"));
        }
    }
    QFile::remove(file);
    // A new photo has no picture yet either, and is not told off for it.
    desk->messages.clear();
    PassportPhotoInfo fresh;
    Edit(&fresh, [](EditWindow&) {});
    EXPECT_TRUE(desk->messages.isEmpty());
    store.AppFolder = folder;
}

TEST_F(EditWindowTest, ARecordWithoutItsPictureShowsItsOwnNameAndFormat) {
    PassportPhotoInfo info;
    info.mName = QStringLiteral("Jane Doe");
    info.mFormat = QStringLiteral("UK");
    Edit(&info, [&](EditWindow& w) {
        EXPECT_EQ(Get<QLineEdit>(w, "efPhotoName")->text(), QStringLiteral("Jane Doe"));
        EXPECT_EQ(Get<QComboBox>(w, "puFormat")->currentIndex(), 1);
        EXPECT_EQ(Canvas(w)->CapArea.width, 154);
        Import(w, holiday);
        EXPECT_EQ(info.mName, QStringLiteral("Jane Doe"));
    });
}

TEST_F(EditWindowTest, ContrastAndBrightnessRenderWithoutTheOverlayUntilTheTimerFires) {
    PassportPhotoInfo info;
    Edit(&info, [&](EditWindow& w) {
        Import(w, holiday);
        const QPoint outside(10, 10); // under the overlay, outside the capture area
        const QRgb withOverlay = Canvas(w)->grab().toImage().pixel(outside);
        auto* contrast = Get<QSlider>(w, "slideContrast");
        auto* timer = Get<QTimer>(w, "SliderTimer");
        contrast->setValue(-30);
        EXPECT_EQ(Get<QLabel>(w, "StaticText5")->text(), QStringLiteral("-30"));
        EXPECT_TRUE(timer->isActive());
        const QRgb bare = Canvas(w)->grab().toImage().pixel(outside);
        EXPECT_NE(bare, withOverlay);
        w.SliderTimer_Action();
        EXPECT_NE(Canvas(w)->grab().toImage().pixel(outside), bare);
        for (const char* name : {"slideContrast", "slideBrightness"}) { // a press on the handle hides it at once
            QTest::mousePress(Get<QSlider>(w, name), Qt::LeftButton, {}, HandleCentre(*Get<QSlider>(w, name)));
            EXPECT_EQ(Canvas(w)->grab().toImage().pixel(outside), bare) << name;
            QTest::mouseRelease(Get<QSlider>(w, name), Qt::LeftButton, {}, HandleCentre(*Get<QSlider>(w, name)));
            w.SliderTimer_Action();
        }
        Get<QSlider>(w, "slideBrightness")->setValue(25);
        EXPECT_EQ(Get<QLabel>(w, "StaticText7")->text(), QStringLiteral("25"));
        EXPECT_EQ(RestoreValue(Canvas(w)->GetRestoreInfo(), "Contrast"), -30.0);
        EXPECT_EQ(RestoreValue(Canvas(w)->GetRestoreInfo(), "Brightness"), 25.0);
        w.butCancel_Action();
        EXPECT_FALSE(timer->isActive());
    });
}

TEST_F(EditWindowTest, ZoomButtonsStepTheSliderWithinItsRange) {
    PassportPhotoInfo info;
    Edit(&info, [&](EditWindow& w) {
        Import(w, holiday);
        auto* scale = Get<QSlider>(w, "sliderScale");
        w.butZoomIn_Action();
        EXPECT_EQ(scale->value(), 41);
        EXPECT_EQ(RestoreValue(Canvas(w)->GetRestoreInfo(), "LastPercentScale"), 20.5);
        w.butZoomOut_Action();
        w.butZoomOut_Action();
        EXPECT_EQ(scale->value(), 39);
        scale->setValue(0);
        w.butZoomOut_Action();
        EXPECT_EQ(scale->value(), 0);
    });
}

TEST_F(EditWindowTest, ArrowButtonsAndKeysMoveOnePixelExceptWhileASliderHasTheFocus) {
    PassportPhotoInfo info;
    Edit(&info, [&](EditWindow& w) {
        Import(w, holiday);
        Get<QSlider>(w, "sliderScale")->setValue(200); // one source pixel per canvas pixel
        const auto centre = [&] {
            const QString r = Canvas(w)->GetRestoreInfo();
            return QPoint(int(RestoreValue(r, "PicCenterX")), int(RestoreValue(r, "PicCenterY")));
        };
        const QPoint start = centre();
        const QPoint arrows[4] = {{0, 1}, {-1, 0}, {0, -1}, {1, 0}}; // up, right, down, left
        for (int i = 0; i < 4; ++i) {
            w.moveArrow_Action(i);
            EXPECT_EQ(centre(), start + arrows[i]) << i;
            w.moveArrow_Action((i + 2) % 4);
        }
        EXPECT_EQ(centre(), start);

        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w, kHangMs));
        Get<QComboBox>(w, "puFormat")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // the name field, its text all selected
        QCoreApplication::processEvents();
        auto* name = Get<QLineEdit>(w, "efPhotoName");
        EXPECT_EQ(name->selectedText(), QStringLiteral("Holiday"));
        // QLineEdit selects all by itself only on Tab and shortcut focus; the editor does on any.
        for (const Qt::FocusReason reason : {Qt::OtherFocusReason, Qt::MouseFocusReason}) {
            Get<QComboBox>(w, "puFormat")->setFocus();
            name->deselect();
            name->setCursorPosition(2);
            name->setFocus(reason);
            QCoreApplication::processEvents();
            ASSERT_TRUE(name->hasFocus()) << reason;
            EXPECT_EQ(name->selectedText(), QStringLiteral("Holiday")) << reason;
        }
        w.Event_MouseDown();
        QTest::keyClick(&w, Qt::Key_Left);
        EXPECT_EQ(centre(), start + QPoint(1, 0));
        QTest::keyClick(&w, Qt::Key_Up);
        EXPECT_EQ(centre(), start + QPoint(1, 1));
        QTest::keyClick(&w, Qt::Key_Right);
        QTest::keyClick(&w, Qt::Key_Down);
        EXPECT_EQ(centre(), start);

        auto* contrast = Get<QSlider>(w, "slideContrast");
        contrast->setFocus();
        EXPECT_TRUE(w.PreventDoubleKeyAction);
        QTest::keyClick(&w, Qt::Key_Left);
        EXPECT_EQ(centre(), start);

        QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(330, 398)); // the window's background
        EXPECT_FALSE(w.PreventDoubleKeyAction);
        EXPECT_FALSE(contrast->hasFocus());
        QTest::keyClick(&w, Qt::Key_Left);
        EXPECT_EQ(centre(), start + QPoint(1, 0));
    });
}

TEST_F(EditWindowTest, QuitIsDisabledWhileTheEditorIsOpen) {
    QMenuBar bar;
    QAction* quit = bar.addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Quit"));
    quit->setObjectName(QStringLiteral("FileQuit"));
    MenuDispatcher& menus = MenuDispatcher::Instance();
    menus.Attach(quit, true);
    menus.SetMenuBar(&bar);
    PassportPhotoInfo info;
    Edit(&info, [&](EditWindow& w) {
        menus.SetFrontWindowForTesting(&w);
        menus.EnableMenuItems();
        EXPECT_FALSE(quit->isEnabled());
        menus.SetFrontWindowForTesting(nullptr);
    });
    menus.EnableMenuItems();
    EXPECT_TRUE(quit->isEnabled());
    menus.SetMenuBar(nullptr);
}

TEST_F(EditWindowTest, NothingIsWrittenToDisk) {
    const auto files = [&] {
        QStringList all;
        for (const QString& root : {dir.path(), QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                                    QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)}) {
            QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) all << it.next();
        }
        return all;
    };
    const QStringList before = files();
    PassportPhotoInfo stored = SavedRecord(50);
    Edit(&stored, [&](EditWindow& w) { Get<QPushButton>(w, "butOK")->click(); });
    EXPECT_EQ(files(), before);
    EXPECT_EQ(stored.mRowID, 0);
}

} // namespace

#include "PicWithMaskButton.h"

#include "NilObjectException.h"
#include "Pictures.h"
#include "QtPrinters.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <gtest/gtest.h>

namespace {

constexpr QRgb kColour = qRgb(200, 100, 50);
constexpr int kWhite = 255, kGrey = 128, kBlack = 0;

// A picture of one colour whose mask is white in the left half, black in the right half,
// with one grey (soft edge) pixel at (4, 4).
QImage HalfMaskedPicture(int size = 32) {
    QImage pic = Pictures::NewPicture(size, size);
    pic.fill(kColour);
    QImage mask(size, size, QImage::Format_Grayscale8);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) mask.scanLine(y)[x] = uchar(x < size / 2 ? kWhite : kBlack);
    mask.scanLine(4)[4] = uchar(kGrey);
    Pictures::SetMask(pic, mask);
    return pic;
}

struct PicWithMaskButtonTest : ::testing::Test {
    QWidget parent;
    PicWithMaskButton* button = new PicWithMaskButton(&parent);
    int ticks = 1000;
    int actions = 0;

    void SetUp() override {
        parent.resize(100, 100);
        button->setGeometry(10, 10, 32, 32);
        button->SetTickSource([this] { return ticks; });
        QObject::connect(button, &PicWithMaskButton::Action, [this] { ++actions; });
        button->SetImage(HalfMaskedPicture());
        parent.show();
    }

    void Press(QPoint p) { QTest::mousePress(button, Qt::LeftButton, {}, p); }
    void Release(QPoint p) { QTest::mouseRelease(button, Qt::LeftButton, {}, p); }
    // A drag notification as the platform sends it while the button is down.
    void Drag(QPoint p) {
        QMouseEvent move(QEvent::MouseMove, p, button->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(button, &move);
    }
    QTimer* RepeatTimer() { return button->findChild<QTimer*>(QStringLiteral("RepeatTimer")); }
    // One tick of the repeat timer, delivered at once.
    void TimerTick() {
        QTimer* timer = RepeatTimer();
        ASSERT_TRUE(timer && timer->isActive());
        QTimerEvent tick(timer->timerId());
        QCoreApplication::sendEvent(timer, &tick);
    }
    // The colour the button shows at (x, y) after a real paint.
    QRgb Shown(int x, int y) { return button->grab().toImage().pixel(x, y) | 0xFF000000u; }
};

TEST(PicWithMaskButtonLevels, TablesHalveAndSqueezeEveryChannel) {
    const auto dark = PicWithMaskButton::DarkenedLevels();
    const auto disabled = PicWithMaskButton::DisabledLevels();
    EXPECT_EQ(dark[0], 0);
    EXPECT_EQ(dark[1], 0);
    EXPECT_EQ(dark[255], 127);
    EXPECT_EQ(disabled[0], 128);
    EXPECT_EQ(disabled[3], 128);
    EXPECT_EQ(disabled[255], 191);
}

TEST_F(PicWithMaskButtonTest, ImageKeepsThreeIndependentCopiesWithTheSameMask) {
    QImage source = HalfMaskedPicture();
    button->SetImage(source);
    source.fill(Qt::green);

    const QImage& normal = button->Image();
    ASSERT_EQ(normal.size(), QSize(32, 32));
    ASSERT_EQ(button->mImageDarkend.size(), QSize(32, 32));
    ASSERT_EQ(button->mImageDisabled.size(), QSize(32, 32));
    for (QPoint p : {QPoint(0, 0), QPoint(4, 4), QPoint(20, 20)}) {
        const int alpha = qAlpha(normal.pixel(p));
        // Hidden pixels keep their colour too, in every copy.
        EXPECT_EQ(normal.pixel(p), (kColour & 0xFFFFFFu) | uint(alpha) << 24);
        EXPECT_EQ(button->mImageDarkend.pixel(p), qRgba(100, 50, 25, alpha));
        EXPECT_EQ(button->mImageDisabled.pixel(p), qRgba(178, 153, 140, alpha));
    }
    EXPECT_EQ(qAlpha(normal.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(normal.pixel(4, 4)), 255 - kGrey);
    EXPECT_EQ(qAlpha(normal.pixel(20, 20)), 255);

    EXPECT_THROW(button->SetImage(QImage()), NilObjectException);
    EXPECT_EQ(button->Image().pixel(20, 20), kColour); // a failed assignment keeps the old image
}

TEST_F(PicWithMaskButtonTest, APressOnAWhiteMaskPixelMissesAndChangesNothing) {
    const QImage before = button->grab().toImage();
    EXPECT_FALSE(button->Event_MouseDown(3, 20));
    Press({3, 20});
    EXPECT_EQ(actions, 0);
    EXPECT_FALSE(RepeatTimer()->isActive());
    EXPECT_EQ(button->grab().toImage(), before);
    ticks += 100;
    Drag({3, 20}); // no press was taken, so no drag notification reaches the button
    Release({3, 20});
    EXPECT_EQ(actions, 0);
}

TEST_F(PicWithMaskButtonTest, GreyAndBlackMaskPixelsAreHitsThatActOnThePress) {
    EXPECT_TRUE(button->Event_MouseDown(4, 4)); // the grey of a soft edge
    EXPECT_EQ(actions, 1);
    button->Event_MouseUp(4, 4);

    Press({20, 20});
    EXPECT_EQ(actions, 2); // on the way down, not on release
    EXPECT_EQ(Shown(20, 20), qRgb(100, 50, 25)); // the pressed look, also after a repaint
    Release({20, 20});
    EXPECT_EQ(actions, 2);
    EXPECT_EQ(Shown(20, 20), kColour);
}

TEST_F(PicWithMaskButtonTest, HitTestScalesThePointIntoALargerPicture) {
    QImage pic = Pictures::NewPicture(64, 64);
    pic.fill(kColour);
    QImage mask(64, 64, QImage::Format_Grayscale8);
    mask.fill(kWhite);
    mask.scanLine(40)[20] = uchar(kBlack);
    Pictures::SetMask(pic, mask);
    button->SetImage(pic);

    EXPECT_FALSE(button->Event_MouseDown(11, 20)); // reads (22, 40)
    EXPECT_FALSE(button->Event_MouseDown(10, 21)); // reads (20, 42)
    EXPECT_EQ(actions, 0);
    EXPECT_TRUE(button->Event_MouseDown(10, 20)); // reads (20, 40)
    EXPECT_EQ(actions, 1);
    // Points outside the control read nothing outside the picture.
    EXPECT_FALSE(button->Event_MouseDown(-5, 20));
    EXPECT_FALSE(button->Event_MouseDown(40, 20));
}

TEST_F(PicWithMaskButtonTest, WithoutRepeatHoldingRaisesActionOnce) {
    Press({20, 20});
    for (int i = 0; i < 20; ++i) {
        ticks += 10;
        Drag({20 + i, 20});
        TimerTick();
    }
    Release({20, 20});
    EXPECT_EQ(actions, 1);
}

TEST_F(PicWithMaskButtonTest, RepeatComesAfterThirtyTicksThenEveryFiveUntilRelease) {
    button->RepeatAction = true;
    Press({20, 20}); // at tick 1000
    EXPECT_EQ(actions, 1);
    ticks = 1030;
    Drag({20, 20});
    EXPECT_EQ(actions, 1); // not more than 30 ticks yet
    ticks = 1031;
    EXPECT_EQ(actions, 1); // no drag notification, no repeat
    TimerTick(); // the pointer rests: the timer delivers the drag
    EXPECT_EQ(actions, 2);
    ticks = 1036;
    TimerTick();
    EXPECT_EQ(actions, 2);
    ticks = 1037;
    Drag({-40, 90}); // far off the button: still held, still repeating, still pressed
    EXPECT_EQ(actions, 3);
    EXPECT_EQ(Shown(20, 20), qRgb(100, 50, 25));
    ticks = 1100;
    TimerTick();
    EXPECT_EQ(actions, 4);

    Release({-40, 90});
    EXPECT_EQ(actions, 4);
    EXPECT_FALSE(RepeatTimer()->isActive());
    EXPECT_EQ(Shown(20, 20), kColour);
    ticks = 2000;
    Drag({20, 20});
    EXPECT_EQ(actions, 4);
}

TEST_F(PicWithMaskButtonTest, TheParentsDisabledStateWinsOverPressed) {
    parent.setEnabled(false);
    button->ReDraw(true);
    EXPECT_EQ(button->Surface().pixel(20, 20), qRgb(178, 153, 140));
    EXPECT_EQ(Shown(20, 20), qRgb(178, 153, 140));
    button->ReDraw(false);
    EXPECT_EQ(button->Surface().pixel(20, 20), qRgb(178, 153, 140));
    EXPECT_EQ(qAlpha(button->Surface().pixel(3, 3)), 0); // the mask still shapes it

    parent.setEnabled(true);
    button->ReDraw(true);
    EXPECT_EQ(button->Surface().pixel(20, 20), qRgb(100, 50, 25));
    button->ReDraw(false);
    EXPECT_EQ(button->Surface().pixel(20, 20), kColour);
}

TEST_F(PicWithMaskButtonTest, DisablingTheParentDuringAPressEndsTheRepeat) {
    button->RepeatAction = true;
    Press({20, 20});
    parent.setEnabled(false); // the release will never reach a disabled button
    EXPECT_FALSE(RepeatTimer()->isActive());
    parent.setEnabled(true);
    ticks += 100;
    Drag({20, 20});
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(Shown(20, 20), kColour);
}

TEST(PicWithMaskButtonNil, WithoutPictureOrParentNothingIsRaisedAndNothingCrashes) {
    QWidget parent;
    auto* bare = new PicWithMaskButton(&parent);
    bare->resize(32, 32);
    int actions = 0;
    QObject::connect(bare, &PicWithMaskButton::Action, [&] { ++actions; });
    EXPECT_THROW(bare->ReDraw(false), NilObjectException);
    EXPECT_THROW(bare->Event_MouseDown(5, 5), NilObjectException);
    parent.show();
    QTest::mousePress(bare, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(bare, Qt::LeftButton, {}, QPoint(5, 5));
    bare->grab();
    EXPECT_EQ(actions, 0);

    PicWithMaskButton orphan;
    orphan.SetImage(HalfMaskedPicture());
    orphan.resize(32, 32);
    EXPECT_THROW(orphan.ReDraw(false), NilObjectException);
    EXPECT_THROW(orphan.Event_MouseDown(20, 20), NilObjectException);
}

} // namespace

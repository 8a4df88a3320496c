#include "PicWithMaskButton.h"

#include "Guard.h"
#include "NilObjectException.h"
#include "PictureExtensions.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {

// Replaces red, green and blue of every pixel by the table's entry; the mask is left alone.
void Transform(QImage& pic, const PicWithMaskButton::LevelTable& table) {
    if (pic.isNull()) return;
    if (pic.format() != QImage::Format_ARGB32 && pic.format() != QImage::Format_RGB32)
        pic = pic.convertToFormat(pic.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < pic.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        for (int x = 0; x < pic.width(); ++x) {
            const QRgb c = line[x];
            line[x] = qRgba(table[qRed(c)], table[qGreen(c)], table[qBlue(c)], qAlpha(c));
        }
    }
}

int ProcessTicks() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return int(clock.elapsed() * 60 / 1000);
}

constexpr int kFirstRepeatTicks = 30;
constexpr int kRepeatTicks = 5;

} // namespace

PicWithMaskButton::PicWithMaskButton(QWidget* parent) : QWidget(parent) {
    mRepeatTimer = new QTimer(this);
    mRepeatTimer->setObjectName(QStringLiteral("RepeatTimer"));
    mRepeatTimer->setInterval(1000 / 60);
    connect(mRepeatTimer, &QTimer::timeout, this, [this] {
        if (mHeld) Guard([this] { Event_MouseDrag(mLastPoint.x(), mLastPoint.y()); });
    });
}

PicWithMaskButton::LevelTable PicWithMaskButton::DarkenedLevels() {
    LevelTable table{};
    for (int i = 0; i < 256; ++i) table[i] = int(double(i) / 2.0);
    return table;
}

PicWithMaskButton::LevelTable PicWithMaskButton::DisabledLevels() {
    LevelTable table{};
    for (int i = 0; i < 256; ++i) table[i] = int(double(i) / 4.0 + 128.0);
    return table;
}

void PicWithMaskButton::SetImage(const QImage& p) {
    QImage normal = PictureExtensions::CloneWithMask(p);
    QImage darkened = PictureExtensions::CloneWithMask(p);
    QImage disabled = PictureExtensions::CloneWithMask(p);
    Transform(darkened, DarkenedLevels());
    Transform(disabled, DisabledLevels());
    mImage = std::move(normal);
    mImageDarkend = std::move(darkened);
    mImageDisabled = std::move(disabled);
    updateGeometry();
    update();
}

int PicWithMaskButton::Ticks() const {
    return mTicks ? mTicks() : ProcessTicks();
}

bool PicWithMaskButton::Event_MouseDown(int x, int y) {
    const QImage& image = MustPicture(mImage);
    // The point scaled into the picture, which is drawn stretched over the whole button.
    if (width() <= 0 || height() <= 0) return false;
    const int px = int(double(x * image.width()) / double(width()));
    const int py = int(double(y * image.height()) / double(height()));
    if (px < 0 || py < 0 || px >= image.width() || py >= image.height()) return false;
    // A white mask pixel (fully transparent) is outside the button's shape.
    if (image.hasAlphaChannel() && qAlpha(image.pixel(px, py)) == 0) return false;

    ReDraw(true);
    NextTickAction = Ticks() + kFirstRepeatTicks;
    // Held from here on, so the release restores the look even if the Action handler fails.
    mHeld = true;
    emit Action();
    return true;
}

void PicWithMaskButton::Event_Paint(QPainter& g) {
    Render(mLookPressed);
    g.drawImage(0, 0, mSurface);
}

void PicWithMaskButton::Event_MouseDrag(int, int) {
    if (RepeatAction && NextTickAction < Ticks()) {
        NextTickAction = Ticks() + kRepeatTicks;
        emit Action();
    }
}

void PicWithMaskButton::Event_MouseUp(int, int) {
    EndHold();
    ReDraw(false);
}

void PicWithMaskButton::ReDraw(bool pressed) {
    mLookPressed = pressed;
    Render(pressed);
    update();
}

void PicWithMaskButton::Render(bool pressed) {
    QWidget* parent = parentWidget();
    Must(parent);
    mSurface = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    mSurface.fill(Qt::transparent);
    const QImage& image = MustPicture(mImage);
    // The parent's state wins over pressed.
    const QImage& look = !parent->isEnabled() ? mImageDisabled : pressed ? mImageDarkend : image;
    QPainter g(&mSurface);
    g.setRenderHint(QPainter::SmoothPixmapTransform);
    g.drawImage(QRect(0, 0, width(), height()), look, QRect(0, 0, image.width(), image.height()));
}

QSize PicWithMaskButton::sizeHint() const {
    return mImage.isNull() ? QWidget::sizeHint() : mImage.size();
}

void PicWithMaskButton::paintEvent(QPaintEvent*) {
    QPainter g(this);
    // Without a picture or a parent the button stays cleared.
    Guard([&] { Event_Paint(g); });
}

void PicWithMaskButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // A press always starts afresh, also after a release that never arrived.
    EndHold();
    const QPoint p = event->position().toPoint();
    Guard([&] { Event_MouseDown(p.x(), p.y()); });
    if (!mHeld) {
        event->ignore();
        return;
    }
    mLastPoint = p;
    mRepeatTimer->start();
    event->accept();
}

void PicWithMaskButton::mouseMoveEvent(QMouseEvent* event) {
    if (!mHeld) {
        event->ignore();
        return;
    }
    mLastPoint = event->position().toPoint();
    Guard([&] { Event_MouseDrag(mLastPoint.x(), mLastPoint.y()); });
}

void PicWithMaskButton::mouseReleaseEvent(QMouseEvent* event) {
    if (!mHeld || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint p = event->position().toPoint();
    Guard([&] { Event_MouseUp(p.x(), p.y()); });
    EndHold();
}

void PicWithMaskButton::EndHold() {
    mHeld = false;
    mRepeatTimer->stop();
}

void PicWithMaskButton::changeEvent(QEvent* event) {
    // A disabled or hidden button gets no release: end the hold here, or it would repeat forever.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && mHeld) {
        EndHold();
        mLookPressed = false;
    }
    QWidget::changeEvent(event);
}

void PicWithMaskButton::hideEvent(QHideEvent* event) {
    if (mHeld) {
        EndHold();
        mLookPressed = false;
    }
    QWidget::hideEvent(event);
}

#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <array>
#include <functional>

class QTimer;

// A push button drawn from one picture whose mask gives it its shape: a press counts only where
// the mask is not white. Action is raised when the press lands and, with RepeatAction, again and
// again while the button is held. A darkened copy shows while held, a washed-out copy while the
// parent is disabled.
class PicWithMaskButton : public QWidget {
    Q_OBJECT
public:
    using LevelTable = std::array<int, 256>;
    // Ticks are 1/60 s.
    using TickSource = std::function<int()>;

    explicit PicWithMaskButton(QWidget* parent = nullptr);

    const QImage& Image() const { return mImage; }
    // Keeps its own copies (pixels and mask) of p: normal, pressed and disabled.
    // Raises NilObjectException for a nil picture.
    void SetImage(const QImage& p);

    QImage mImageDarkend;
    bool RepeatAction = false;
    QImage mImageDisabled;

    // The hit test; true when the press is taken (pressed look shown, Action raised).
    virtual bool Event_MouseDown(int x, int y);
    virtual void Event_Paint(QPainter& g);
    // Raises Action again once the repeat delay has passed, while RepeatAction is set.
    virtual void Event_MouseDrag(int x, int y);
    virtual void Event_MouseUp(int x, int y);
    // Draws the button's look on its own surface and shows it. Raises NilObjectException without
    // a picture or a parent.
    virtual void ReDraw(bool pressed);

    // The look last drawn, the size of the button.
    const QImage& Surface() const { return mSurface; }

    // Pressed look: each channel halved. Disabled look: each channel squeezed into 128..191.
    static LevelTable DarkenedLevels();
    static LevelTable DisabledLevels();

    // Lets a test drive the clock; an empty source puts the real one back.
    void SetTickSource(TickSource source) { mTicks = std::move(source); }

signals:
    void Action();

protected:
    QSize sizeHint() const override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int Ticks() const;
    void Render(bool pressed);
    void EndHold();

    QImage mImage;
    int NextTickAction = 0;

    bool mHeld = false;
    bool mLookPressed = false;
    QPoint mLastPoint;
    QImage mSurface;
    // The platform reports no drags while the pointer rests; this delivers them during a press.
    QTimer* mRepeatTimer = nullptr;
    TickSource mTicks;
};

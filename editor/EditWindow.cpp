#include "EditWindow.h"

#include "Desktop.h"
#include "DictionaryFile.h"
#include "FileTypes1.h"
#include "Guard.h"
#include "MenuDispatcher.h"
#include "NilObjectException.h"
#include "PassportPhotoInfo.h"
#include "PassportTemplates.h"
#include "Pictures.h"
#include "Resources.h"
#include "ScalingPictureCanvas.h"
#include "Site.h"

#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace {

const QString kUnitedStates = QStringLiteral("United States");
const QString kUnitedKingdom = QStringLiteral("United Kingdom");

const QString kNotAPicture = QStringLiteral("Not a valid picture file.");
const QString kTooSmall =
    QStringLiteral("Warning: this image is too small to print a quality passport photo.  "
                   "Please import another higher resolution image.");
const QString kDamagedWarning = QStringLiteral(
    "Warning: this picture is damaged, so part of it may be missing or wrong.  Please check it, or import an "
    "undamaged copy.");
const QString kSourceMissing = QStringLiteral(
    "The original picture of this photo is missing or damaged; select a photo file to make it again.");
// A refusal to read may pass (a network folder, a failing disk): no advice to replace a good original.
const QString kSourceUnreadable = QStringLiteral("The original picture of this photo cannot be read: %1.");
const QString kDamagedRefused = QStringLiteral("This picture is damaged and cannot be opened.");

QString TooLargeMessage(QSize size) {
    return QStringLiteral("This picture is too large to import: %1 x %2 pixels (%3 megapixels).  "
                          "Pictures of up to %4 megapixels can be imported.")
        .arg(size.width())
        .arg(size.height())
        .arg(qRound64(double(size.width()) * size.height() / 1e6))
        .arg(Pictures::kMaxPicturePixels / 1000000);
}

// Shrinks a control's font until `text` fits `room` pixels, so no caption is clipped on a
// desktop whose default font is larger than the one the window was designed for.
void FitText(QWidget* control, const QString& text, int room) {
    QFont font = control->font();
    while (QFontMetrics(font).horizontalAdvance(text) > room && font.pointSizeF() > 6.0)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    if (font != control->font()) control->setFont(font);
}

// The file's display name up to its first ".".
QString NameBeforeFirstDot(const QString& displayName) {
    return displayName.section(QLatin1Char('.'), 0, 0);
}

// A dropped picture as a plain 32-bit picture; transparent areas show as white, as on paper.
QImage PlainPicture(const QImage& image) {
    if (image.isNull()) return {};
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter p(&flat);
    p.drawImage(0, 0, image);
    return flat;
}

// A picture that arrived decoded, held to the same size bound as a file.
Pictures::OpenedPicture DecodedPicture(const QImage& image) {
    Pictures::OpenedPicture p;
    if (image.isNull()) return p;
    p.size = image.size();
    if (qint64(image.width()) * image.height() > Pictures::kMaxPicturePixels) {
        p.status = Pictures::OpenStatus::TooLarge;
        return p;
    }
    p.picture = PlainPicture(image);
    p.status = Pictures::OpenStatus::Ok;
    return p;
}

// Encoded picture data carried by a drop (a browser's "image/png", say); it is read with the
// same checks as a file instead of being decoded unchecked.
QByteArray EncodedPicture(const QMimeData* obj) {
    if (!obj) return {};
    for (const QString& format : obj->formats()) {
        if (!format.startsWith(QLatin1String("image/"))) continue;
        const QByteArray data = obj->data(format);
        if (!data.isEmpty()) return data;
    }
    return {};
}

// The first local file among the dropped items, if any.
QString DroppedFile(const QMimeData* obj) {
    if (!obj || !obj->hasUrls()) return {};
    for (const QUrl& url : obj->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

// Whether a drag carries something that may be a picture: picture data or a file.
bool OffersPicture(const QMimeData* obj) {
    if (!obj) return false;
    if (obj->hasImage() || !DroppedFile(obj).isEmpty()) return true;
    const QStringList formats = obj->formats();
    return std::any_of(formats.begin(), formats.end(),
                       [](const QString& f) { return f.startsWith(QLatin1String("image/")); });
}

// Tells the user why `opened` gives nothing to import and returns false; true when it gives a
// picture. A file that holds no picture at all gets the import path's own answer.
enum class NoPictureAnswer { Message, Beep };
bool Importable(const Pictures::OpenedPicture& opened, NoPictureAnswer noPicture) {
    switch (opened.status) {
    case Pictures::OpenStatus::Ok:
    case Pictures::OpenStatus::Damaged: return true;
    case Pictures::OpenStatus::TooLarge:
        Desktop::Current().MsgBox(TooLargeMessage(opened.size));
        return false;
    case Pictures::OpenStatus::Unreadable:
        Desktop::Current().MsgBox(kDamagedRefused);
        return false;
    case Pictures::OpenStatus::NotAPicture: break;
    }
    if (noPicture == NoPictureAnswer::Beep)
        Desktop::Current().Beep();
    else
        Desktop::Current().MsgBox(kNotAPicture);
    return false;
}

// The record's stored whole-number value of `key`; raises KeyNotFound when it is absent.
int IntValue(const DictionaryFile& d, const QString& key) {
    return d.Value(key).toInt();
}

} // namespace

QPointer<EditWindow> EditWindow::sInstance;

EditWindow::picButRotate::picButRotate(int index, QWidget* parent) : PicWithMaskButton(parent), Index(index) {
    setObjectName(QStringLiteral("picButRotate"));
    setProperty("Index", index);
}

EditWindow::moveArrow::moveArrow(int index, QWidget* parent) : PicWithMaskButton(parent), Index(index) {
    setObjectName(QStringLiteral("moveArrow"));
    setProperty("Index", index);
}

EditWindow::StaticText1::StaticText1(int index, QWidget* parent) : QLabel(parent), Index(index) {
    setObjectName(QStringLiteral("StaticText1"));
    setProperty("Index", index);
}

EditWindow& EditWindow::Instance() {
    if (!sInstance) {
        sInstance = new EditWindow;
        sInstance->mMadeByInstance = true;
    }
    return *sInstance;
}

EditWindow::EditWindow() : QDialog(nullptr) {
    setObjectName(QStringLiteral("EditWindow"));
    // Modal, fixed size, and no close box: Save and Cancel are the only ways out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Edit Passport Photo"));
    setFixedSize(606, 428);
    setModal(true);
    CreateControls();
    ConnectHandlers();
    // The name field's design text, before any record is loaded.
    defaultPhotoName = efPhotoName->text();
    ScaleCanvas_Open();
    MenuDispatcher::Instance().SetWindowEnabler(this, [this] { Event_EnableMenuItems(); });
}

EditWindow::~EditWindow() {
    MenuDispatcher::Instance().RemoveWindow(this);
    if (sInstance == this) sInstance = nullptr;
}

void EditWindow::CreateControls() {
    // Positions are the window's own coordinates, also for controls inside a container.
    const auto place = [this](QWidget* control, int left, int top, int width, int height) {
        const QPoint origin = control->parentWidget() == this
                                  ? QPoint()
                                  : control->parentWidget()->mapTo(this, QPoint(0, 0));
        control->setGeometry(left - origin.x(), top - origin.y(), width, height);
    };
    const auto pushButton = [&](const char* name, const QString& caption, int left, int top, int width,
                                int height) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        place(b, left, top, width, height);
        FitText(b, caption, width - 12);
        return b;
    };
    const auto label = [&](QLabel* l, const char* name, const QString& text, Qt::Alignment alignment, int left,
                           int top, int width, int height) {
        if (name) l->setObjectName(QString::fromLatin1(name));
        l->setText(text);
        l->setAlignment(alignment | Qt::AlignVCenter);
        place(l, left, top, width, height);
        FitText(l, text, width);
        return l;
    };
    const auto slider = [&](const char* name, QWidget* parent, int minimum, int value, int maximum, int pageStep,
                            int left, int top, int width, int height) {
        auto* s = new QSlider(Qt::Horizontal, parent);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(minimum, maximum);
        s->setValue(value);
        s->setSingleStep(1);
        s->setPageStep(pageStep);
        s->setTracking(true);
        place(s, left, top, width, height);
        return s;
    };
    const auto pictureButton = [&](PicWithMaskButton* b, const QImage& image, bool repeat, int left, int top) {
        // A missing picture leaves the button blank rather than the editor unopenable.
        if (!image.isNull()) b->SetImage(image);
        b->RepeatAction = repeat;
        b->setFocusPolicy(Qt::NoFocus);
        place(b, left, top, 32, 32);
        return b;
    };

    butSelectPhoto = pushButton("butSelectPhoto", QStringLiteral("Select Photo File..."), 20, 20, 240, 20);

    puFormat = new QComboBox(this);
    puFormat->setObjectName(QStringLiteral("puFormat"));
    puFormat->addItems({kUnitedStates, kUnitedKingdom});
    puFormat->setCurrentIndex(0);
    place(puFormat, 80, 62, 180, 20);
    FitText(puFormat, kUnitedKingdom, 180 - 40);

    efPhotoName = new QLineEdit(QStringLiteral("First Last"), this);
    efPhotoName->setObjectName(QStringLiteral("efPhotoName"));
    place(efPhotoName, 80, 100, 180, 22);

    EnableCanvas = new QWidget(this);
    EnableCanvas->setObjectName(QStringLiteral("EnableCanvas"));
    EnableCanvas->setFocusPolicy(Qt::NoFocus);
    place(EnableCanvas, -1, 126, 607, 250);
    // Its children follow its state: disabled until a picture is loaded.
    EnableCanvas->setEnabled(false);

    slideContrast = slider("slideContrast", EnableCanvas, -100, 0, 100, 20, 20, 257, 240, 23);
    slideBrightness = slider("slideBrightness", EnableCanvas, -100, 0, 100, 20, 20, 306, 240, 23);
    sliderScale = slider("sliderScale", EnableCanvas, 0, 40, 200, 40, 323, 341, 220, 24);

    picButRotates[0] = new picButRotate(0, EnableCanvas);
    pictureButton(picButRotates[0], Resources::RotateLeftIcon(), false, 79, 173);
    picButRotates[1] = new picButRotate(1, EnableCanvas);
    pictureButton(picButRotates[1], Resources::RotateRightIcon(), false, 123, 173);

    // A cross around (218, 189), in the design's creation order: up, left, right, down.
    moveArrows[0] = new moveArrow(0, EnableCanvas);
    pictureButton(moveArrows[0], Resources::upload(), true, 202, 147);
    moveArrows[3] = new moveArrow(3, EnableCanvas);
    pictureButton(moveArrows[3], Resources::back(), true, 176, 173);
    moveArrows[1] = new moveArrow(1, EnableCanvas);
    pictureButton(moveArrows[1], Resources::forward(), true, 228, 173);
    moveArrows[2] = new moveArrow(2, EnableCanvas);
    pictureButton(moveArrows[2], Resources::download(), true, 202, 199);

    StaticText4 = label(new QLabel(EnableCanvas), "StaticText4", QStringLiteral("Contrast:"), Qt::AlignLeft, 20,
                        236, 72, 20);
    StaticText5 = label(new QLabel(EnableCanvas), "StaticText5", QStringLiteral("0"), Qt::AlignHCenter, 117, 236,
                        48, 20);
    StaticText6 = label(new QLabel(EnableCanvas), "StaticText6", QStringLiteral("Brightness:"), Qt::AlignLeft, 20,
                        285, 80, 20);
    StaticText7 = label(new QLabel(EnableCanvas), "StaticText7", QStringLiteral("0"), Qt::AlignHCenter, 117, 285,
                        48, 20);

    butZoomOut = new PicWithMaskButton(EnableCanvas);
    butZoomOut->setObjectName(QStringLiteral("butZoomOut"));
    pictureButton(butZoomOut, Resources::zoom_out(), true, 284, 335);
    butZoomIn = new PicWithMaskButton(EnableCanvas);
    butZoomIn->setObjectName(QStringLiteral("butZoomIn"));
    pictureButton(butZoomIn, Resources::zoom_in(), true, 550, 335);

    butCancel = pushButton("butCancel", QStringLiteral("Cancel"), 414, 388, 80, 20);
    butOK = pushButton("butOK", QStringLiteral("Save"), 506, 388, 80, 20);
    butOK->setDefault(true);

    StaticText1s[1] = new StaticText1(1, this);
    label(StaticText1s[1], nullptr, QStringLiteral("Format:"), Qt::AlignLeft, 20, 62, 50, 20);
    StaticText1s[0] = new StaticText1(0, this);
    label(StaticText1s[0], nullptr, QStringLiteral("Name:"), Qt::AlignLeft, 20, 101, 50, 20);

    // The grey frame around the canvas, black border.
    Rectangle3 = new QFrame(this);
    Rectangle3->setObjectName(QStringLiteral("Rectangle3"));
    Rectangle3->setFrameStyle(QFrame::Box | QFrame::Plain);
    Rectangle3->setLineWidth(1);
    QPalette framePalette = Rectangle3->palette();
    framePalette.setColor(QPalette::Window, QColor(0xAA, 0xAA, 0xAA));
    framePalette.setColor(QPalette::WindowText, Qt::black);
    Rectangle3->setPalette(framePalette);
    Rectangle3->setAutoFillBackground(true);
    place(Rectangle3, 280, 20, 306, 306);

    ScaleCanvas = new ScalingPictureCanvas(Rectangle3);
    ScaleCanvas->setObjectName(QStringLiteral("ScaleCanvas"));
    ScaleCanvas->setFocusPolicy(Qt::NoFocus);
    place(ScaleCanvas, 283, 23, 300, 300);

    SliderTimer = new QTimer(this);
    SliderTimer->setObjectName(QStringLiteral("SliderTimer"));
    SliderTimer->setSingleShot(true);
    SliderTimer->setInterval(1500);

    butRequirements = pushButton("butRequirements", QStringLiteral("Show US Photo Requirements"), 20, 388, 240, 20);

    // Tab order: the window's controls, the sliders inside EnableCanvas in their place.
    QWidget* chain[] = {butSelectPhoto, puFormat,  efPhotoName, slideContrast,  slideBrightness,
                        sliderScale,    butCancel, butOK,       butRequirements};
    for (size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);
}

void EditWindow::ConnectHandlers() {
    // Handlers run guarded: an exception abandons the operation and the window stays open.
    const auto guarded = [](auto body) { return [body] { Guard(body); }; };

    connect(butSelectPhoto, &QPushButton::clicked, this, guarded([this] { butSelectPhoto_Action(); }));
    connect(puFormat, &QComboBox::currentIndexChanged, this, guarded([this] { puFormat_Change(); }));
    connect(efPhotoName, &QLineEdit::textChanged, this, guarded([this] { efPhotoName_TextChange(); }));
    connect(slideContrast, &QSlider::valueChanged, this, guarded([this] { slideContrast_ValueChanged(); }));
    connect(slideBrightness, &QSlider::valueChanged, this, guarded([this] { slideBrightness_ValueChanged(); }));
    connect(sliderScale, &QSlider::valueChanged, this, guarded([this] { sliderScale_ValueChanged(); }));
    for (picButRotate* b : picButRotates)
        connect(b, &PicWithMaskButton::Action, this, guarded([this, b] { picButRotate_Action(b->Index); }));
    for (moveArrow* b : moveArrows)
        connect(b, &PicWithMaskButton::Action, this, guarded([this, b] { moveArrow_Action(b->Index); }));
    connect(butZoomOut, &PicWithMaskButton::Action, this, guarded([this] { butZoomOut_Action(); }));
    connect(butZoomIn, &PicWithMaskButton::Action, this, guarded([this] { butZoomIn_Action(); }));
    connect(butCancel, &QPushButton::clicked, this, guarded([this] { butCancel_Action(); }));
    connect(butOK, &QPushButton::clicked, this, guarded([this] { butOK_Action(); }));
    connect(SliderTimer, &QTimer::timeout, this, guarded([this] { SliderTimer_Action(); }));
    connect(butRequirements, &QPushButton::clicked, this, guarded([this] { butRequirements_Action(); }));

    // Focus, presses and keys that the controls do not report by signal.
    for (QObject* o : std::initializer_list<QObject*>{efPhotoName, slideContrast, slideBrightness, sliderScale,
                                                      butSelectPhoto, butCancel, butOK, butRequirements})
        o->installEventFilter(this);
}

QWidget* EditWindow::ControlArray(const QString& name, int index) const {
    for (QWidget* w : findChildren<QWidget*>(name)) {
        const QVariant i = w->property("Index");
        if (i.isValid() && i.toInt() == index) return w;
    }
    return nullptr;
}

// ---- Modal entry and loading ----

bool EditWindow::AddOrEditPhoto(PassportPhotoInfo* info) {
    // Whatever happens, the window is closed and released when this returns.
    struct Closer {
        EditWindow* w;
        ~Closer() { w->CloseWindow(); }
    } closer{this};
    if (!info) return false;
    LocalPassportInfo = info;
    LoadInfo();
    if (info->mPicOriginal().isNull()) {
        SetSelectPictureButtonAsDefault();
        // A stored photo without its picture could only be made again from a file.
        if (info->mRowID != 0) {
            const QString failure = info->OriginalReadFailure();
            Desktop::Current().MsgBox(failure.isEmpty() ? kSourceMissing : kSourceUnreadable.arg(failure));
        }
    } else {
        EnableCanvas->setEnabled(true);
    }
    Desktop::Current().ShowModal(*this);
    return OkButtonWasPushed && !info->mPicOriginal().isNull();
}

void EditWindow::CloseWindow() {
    SliderTimer->stop();
    if (isVisible()) QDialog::reject();
    LocalPassportInfo = nullptr;
    MenuDispatcher::Instance().RemoveWindow(this);
    MenuDispatcher::Instance().EnableMenuItems();
    if (sInstance == this) sInstance = nullptr;
    if (mMadeByInstance) deleteLater();
}

void EditWindow::LoadInfo() {
    try {
        PassportPhotoInfo& info = Must(LocalPassportInfo);
        if (!info.mPicOriginal().isNull()) {
            ScaleCanvas->SetCaptureArea(info.mFormat);
            ScaleCanvas->Restore(info);
            efPhotoName->setText(info.mName);
            DontUpdate = true;
            // The sliders show the view the canvas made of the restore info, which stands in
            // for whatever the stored one lacks or holds out of range.
            DictionaryFile d;
            d.SetStringValue(ScaleCanvas->GetRestoreInfo());
            sliderScale->setValue(40);
            sliderScale->setValue(2 * IntValue(d, QStringLiteral("LastPercentScale")));
            slideBrightness->setValue(IntValue(d, QStringLiteral("Brightness")));
            slideContrast->setValue(IntValue(d, QStringLiteral("Contrast")));
            ShowRecordFormat();
            DontUpdate = false;
        } else {
            // No source picture: show the record's own format and name, so that what is
            // saved after an import is what the canvas showed.
            ScaleCanvas->SetCaptureArea(info.mFormat);
            efPhotoName->setText(info.mName);
            DontUpdate = true;
            ShowRecordFormat();
            DontUpdate = false;
        }
        PreventDoubleKeyAction = false;
    } catch (...) {
        DontUpdate = false;
        PreventDoubleKeyAction = false;
    }
}

// The popup and the requirements button for the record's code; a "Test" record is shown, and
// from now on kept, as "US" (its capture area stays until the user picks a format).
void EditWindow::ShowRecordFormat() {
    QString& code = Must(LocalPassportInfo).mFormat;
    if (code.compare(QLatin1String("US"), Qt::CaseInsensitive) == 0) {
        puFormat->setCurrentIndex(0);
    } else if (code.compare(QLatin1String("UK"), Qt::CaseInsensitive) == 0) {
        puFormat->setCurrentIndex(1);
    } else if (code.compare(QLatin1String("Test"), Qt::CaseInsensitive) == 0) {
        code = QStringLiteral("US");
        puFormat->setCurrentIndex(0);
    }
    UpdateRequirementsButton();
}

void EditWindow::SetOKButtonAsDefault() {
    butSelectPhoto->setDefault(false);
    butOK->setEnabled(true);
    butOK->setDefault(true);
}

void EditWindow::SetSelectPictureButtonAsDefault() {
    butOK->setEnabled(false);
    butSelectPhoto->setDefault(true);
}

void EditWindow::UpdateRequirementsButton() {
    const QString c = Must(LocalPassportInfo).mFormat;
    if (c.compare(QLatin1String("US"), Qt::CaseInsensitive) != 0 &&
        c.compare(QLatin1String("UK"), Qt::CaseInsensitive) != 0) {
        butRequirements->setVisible(false);
        return;
    }
    butRequirements->setVisible(true);
    const QString caption = QStringLiteral("Show ") + c + QStringLiteral(" Photo Requirements");
    butRequirements->setText(caption);
    butRequirements->setFont(font());
    FitText(butRequirements, caption, butRequirements->width() - 12);
}

void EditWindow::AdjustContrastBrightness() {
    ScaleCanvas->SetContrastAndBrightness(slideContrast->value(), slideBrightness->value());
    ScaleCanvas->ReDrawNoMask();
}

// ---- Imports ----

void EditWindow::Import(const QImage& pic) {
    ScaleCanvas->setPic(pic);
    ScaleCanvas->ReDraw(sliderScale->value() / 2.0);
    SetOKButtonAsDefault();
    EnableCanvas->setEnabled(true);
}

void EditWindow::ImportWithWarnings(const Pictures::OpenedPicture& opened) {
    Import(opened.picture);
    // Told after the import, which stands: the user may still keep and print the picture.
    if (opened.status == Pictures::OpenStatus::Damaged) Desktop::Current().MsgBox(kDamagedWarning);
    if (ScaleCanvas->ScaleMin < 1.0) Desktop::Current().MsgBox(kTooSmall);
}

void EditWindow::butSelectPhoto_Action() {
    const QString f = Desktop::Current().OpenFile(this, FileTypes1::JPEG().Filter());
    if (f.isEmpty()) return;
    const Pictures::OpenedPicture p = Pictures::OpenPicture(f);
    if (!Importable(p, NoPictureAnswer::Message)) return;
    ImportWithWarnings(p);
    if (efPhotoName->text() == defaultPhotoName) efPhotoName->setText(NameBeforeFirstDot(QFileInfo(f).fileName()));
}

void EditWindow::ScaleCanvas_Open() {
    // Pictures and files of every type may be dropped, also before a picture is loaded.
    ScaleCanvas->setAcceptDrops(true);
    ScaleCanvas->installEventFilter(this);
}

bool EditWindow::ScaleCanvas_DropObject(const QMimeData* obj) {
    // A picture first, else a file; each way gives up only when it found no picture at all.
    Pictures::OpenedPicture p;
    QString name;
    if (const QByteArray data = EncodedPicture(obj); !data.isEmpty()) p = Pictures::OpenPictureData(data);
    if (p.status == Pictures::OpenStatus::NotAPicture && obj && obj->hasImage())
        p = DecodedPicture(qvariant_cast<QImage>(obj->imageData()));
    if (p.status == Pictures::OpenStatus::NotAPicture) {
        if (const QString f = DroppedFile(obj); !f.isEmpty()) {
            p = Pictures::OpenPicture(f);
            name = QFileInfo(f).fileName();
        }
    }
    if (!Importable(p, NoPictureAnswer::Beep)) return false;
    ImportWithWarnings(p);
    if (efPhotoName->text() == defaultPhotoName && !name.isEmpty()) efPhotoName->setText(NameBeforeFirstDot(name));
    return true;
}

// ---- Name and format ----

void EditWindow::efPhotoName_TextChange() {
    Must(LocalPassportInfo).mName = efPhotoName->text();
}

void EditWindow::efPhotoName_GotFocus() {
    efPhotoName->selectAll();
}

void EditWindow::puFormat_Change() {
    if (DontUpdate) return;
    PassportPhotoInfo& info = Must(LocalPassportInfo);
    const QString row = puFormat->currentText();
    if (row == kUnitedStates)
        info.mFormat = QStringLiteral("US");
    else if (row == kUnitedKingdom)
        info.mFormat = QStringLiteral("UK");
    UpdateRequirementsButton();
    ScaleCanvas->SetCaptureArea(info.mFormat);
    ScaleCanvas->ReDraw(sliderScale->value() / 2.0);
}

// ---- Sliders ----

void EditWindow::slideContrast_ValueChanged() {
    StaticText5->setText(QString::number(slideContrast->value()));
    if (DontUpdate) return;
    AdjustContrastBrightness();
    SliderTimer->start();
}

void EditWindow::slideBrightness_ValueChanged() {
    StaticText7->setText(QString::number(slideBrightness->value()));
    if (DontUpdate) return;
    AdjustContrastBrightness();
    SliderTimer->start();
}

void EditWindow::slideContrast_MouseDown() {
    ScaleCanvas->ReDrawNoMask();
    SliderTimer->start();
}

void EditWindow::slideBrightness_MouseDown() {
    ScaleCanvas->ReDrawNoMask();
    SliderTimer->start();
}

// While a slider has the focus it takes the arrow keys itself.
void EditWindow::slideContrast_GotFocus() { PreventDoubleKeyAction = true; }
void EditWindow::slideContrast_LostFocus() { PreventDoubleKeyAction = false; }
void EditWindow::slideBrightness_GotFocus() { PreventDoubleKeyAction = true; }
void EditWindow::slideBrightness_LostFocus() { PreventDoubleKeyAction = false; }
void EditWindow::sliderScale_GotFocus() { PreventDoubleKeyAction = true; }
void EditWindow::sliderScale_LostFocus() { PreventDoubleKeyAction = false; }

void EditWindow::SliderTimer_Action() {
    ScaleCanvas->Redraw();
}

void EditWindow::sliderScale_ValueChanged() {
    if (DontUpdate) return;
    ScaleCanvas->ReDraw(sliderScale->value() / 2.0);
}

void EditWindow::butZoomOut_Action() {
    UpdateNow();
    sliderScale->setValue(sliderScale->value() - 1);
}

void EditWindow::butZoomIn_Action() {
    UpdateNow();
    sliderScale->setValue(sliderScale->value() + 1);
}

// ---- Turning and moving ----

void EditWindow::picButRotate_Action(int index) {
    UpdateNow();
    ScaleCanvas->Rotate(index == 0);
    ScaleCanvas->ReDraw(sliderScale->value() / 2.0);
}

void EditWindow::moveArrow_Action(int index) {
    // The view moves against the arrow, so the picture moves with it under the overlay.
    static constexpr int kSteps[4][2] = {{0, 1}, {-1, 0}, {0, -1}, {1, 0}};
    UpdateNow();
    if (index < 0 || index > 3) return;
    ScaleCanvas->MoveByPixels(kSteps[index][0], kSteps[index][1]);
}

bool EditWindow::Event_KeyDown(int key) {
    if (PreventDoubleKeyAction) return false;
    switch (key) {
    case Qt::Key_Left: ScaleCanvas->MoveByPixels(1, 0); break;
    case Qt::Key_Right: ScaleCanvas->MoveByPixels(-1, 0); break;
    case Qt::Key_Up: ScaleCanvas->MoveByPixels(0, 1); break;
    case Qt::Key_Down: ScaleCanvas->MoveByPixels(0, -1); break;
    default: break;
    }
    return false;
}

bool EditWindow::Event_MouseDown() {
    // A click on the background takes the focus from any field or slider, so the arrow keys
    // move the picture again.
    if (QWidget* f = focusWidget()) f->clearFocus();
    return false;
}

void EditWindow::UpdateNow() {
    if (isVisible()) repaint();
}

// ---- Menus, requirements, Save and Cancel ----

void EditWindow::Event_EnableMenuItems() {
    // No quitting while a photo is being edited.
    if (QAction* quit = MenuDispatcher::Instance().Item(QStringLiteral("FileQuit"))) quit->setEnabled(false);
}

void EditWindow::butRequirements_Action() {
    const QString c = Must(LocalPassportInfo).mFormat;
    if (c.compare(QLatin1String("US"), Qt::CaseInsensitive) == 0)
        Desktop::Current().ShowURL(Site::PageURL(QStringLiteral("us_requirements.html")));
    else if (c.compare(QLatin1String("UK"), Qt::CaseInsensitive) == 0)
        Desktop::Current().ShowURL(Site::PageURL(QStringLiteral("uk_requirements.html")));
}

QRect EditWindow::PreviewBox(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    const int w = static_cast<int>(std::min(64.0, std::round(width * 64 / static_cast<double>(height))));
    const int h = static_cast<int>(std::min(64.0, std::round(height * 64 / static_cast<double>(width))));
    const int x = static_cast<int>((64 - w) / 2.0);
    const int y = static_cast<int>((64 - h) / 2.0);
    return QRect(x, y, w, h);
}

QImage EditWindow::MakePreview(const QImage& passport) {
    const QImage& P = MustPicture(passport);
    const QRect box = PreviewBox(P.width(), P.height());
    QImage p = Pictures::NewPicture(64, 64);
    {
        QPainter g(&p);
        g.setRenderHint(QPainter::SmoothPixmapTransform);
        g.drawImage(box, P, P.rect());
        g.setRenderHint(QPainter::Antialiasing);
        g.setPen(QPen(QColor(0xAF, 0xAF, 0xAF), 1));
        g.setBrush(Qt::NoBrush);
        g.drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    }
    // The mask: transparent outside the box's rounded rectangle.
    QImage mask(64, 64, QImage::Format_RGB32);
    mask.fill(Qt::white);
    {
        QPainter g(&mask);
        g.setRenderHint(QPainter::Antialiasing);
        g.setPen(Qt::NoPen);
        g.setBrush(Qt::black);
        g.drawRoundedRect(QRectF(box), 5, 5);
    }
    Pictures::SetMask(p, mask);
    return p;
}

void EditWindow::butOK_Action() {
    OkButtonWasPushed = true;
    PassportPhotoInfo& info = Must(LocalPassportInfo);
    // Everything is made before the record is touched, so a failure leaves it as it was.
    const QImage source = MustPicture(ScaleCanvas->getPic());
    const QImage passport = ScaleCanvas->GetPassportPic(PassportTemplates::BlankPassportPicture(info.mFormat));
    const QImage preview = MakePreview(passport);
    const QString restoreInfo = ScaleCanvas->GetRestoreInfo();
    info.mPicOriginal(source);
    info.mPicPassPort(passport);
    info.mPicPreview = preview;
    info.mRestoreInfo = restoreInfo;
    accept();
}

void EditWindow::butCancel_Action() {
    reject();
}

void EditWindow::reject() {
    OkButtonWasPushed = false;
    SliderTimer->stop();
    QDialog::reject();
}

// ---- Qt events ----

bool EditWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == ScaleCanvas) {
        if (type == QEvent::DragEnter || type == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            const QMimeData* obj = drag->mimeData();
            if (OffersPicture(obj)) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (type == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            const QMimeData* obj = drop->mimeData();
            Guard([&] { ScaleCanvas_DropObject(obj); });
            drop->acceptProposedAction();
            return true;
        }
        return false;
    }
    if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
        const bool in = type == QEvent::FocusIn;
        if (watched == efPhotoName && in) Guard([this] { efPhotoName_GotFocus(); });
        if (watched == slideContrast) in ? slideContrast_GotFocus() : slideContrast_LostFocus();
        if (watched == slideBrightness) in ? slideBrightness_GotFocus() : slideBrightness_LostFocus();
        if (watched == sliderScale) in ? sliderScale_GotFocus() : sliderScale_LostFocus();
        return false;
    }
    if (type == QEvent::MouseButtonPress) {
        if (watched == slideContrast) Guard([this] { slideContrast_MouseDown(); });
        if (watched == slideBrightness) Guard([this] { slideBrightness_MouseDown(); });
        return false;
    }
    if (type == QEvent::KeyPress && qobject_cast<QPushButton*>(watched)) {
        // A push button would take the arrow keys to move the focus; here they move the picture.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down) {
            Guard([this, key] { Event_KeyDown(key); });
            return true;
        }
    }
    return false;
}

void EditWindow::keyPressEvent(QKeyEvent* event) {
    // Keys left over by the control with the focus; the name field and the popup keep theirs.
    const QWidget* f = focusWidget();
    if (f != efPhotoName && f != puFormat) Guard([this, event] { Event_KeyDown(event->key()); });
    QDialog::keyPressEvent(event);
}

void EditWindow::mousePressEvent(QMouseEvent* event) {
    Event_MouseDown();
    QDialog::mousePressEvent(event);
}

void EditWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    MenuDispatcher::Instance().EnableMenuItems();
}

#pragma once

#include "PicWithMaskButton.h"

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QRect>
#include <QString>

class PassportPhotoInfo;
class ScalingPictureCanvas;
class QComboBox;
class QFrame;
class QLineEdit;
class QMimeData;
class QPushButton;
class QSlider;
class QTimer;
namespace Pictures {
struct OpenedPicture;
}

// The modal editor: imports a picture, lets the user fit it into a passport format's capture
// area and, on Save, fills the record it was given with the source picture, the passport
// picture, the preview and the restore info. It never writes to disk; the caller saves.
class EditWindow : public QDialog {
    Q_OBJECT
public:
    // Members of the window's control arrays carry their index, also as the property "Index".
    class picButRotate : public PicWithMaskButton {
    public:
        picButRotate(int index, QWidget* parent);
        const int Index;
    };
    class moveArrow : public PicWithMaskButton {
    public:
        moveArrow(int index, QWidget* parent);
        const int Index;
    };
    class StaticText1 : public QLabel {
    public:
        StaticText1(int index, QWidget* parent);
        const int Index;
    };

    // The open editor, or a new one with the design values when none is open.
    static EditWindow& Instance();

    EditWindow();
    ~EditWindow() override;

    bool OkButtonWasPushed = false;
    // The record being edited; the window changes its name and format as the user edits.
    PassportPhotoInfo* LocalPassportInfo = nullptr;
    bool DontUpdate = false;
    bool PreventDoubleKeyAction = false;
    // The name field's design text; an imported file names the photo only while it is shown.
    QString defaultPhotoName;

    // Shows the editor modally on `info`; true when the user saved with a source picture.
    bool AddOrEditPhoto(PassportPhotoInfo* info);
    void AdjustContrastBrightness();
    void LoadInfo();
    void SetOKButtonAsDefault();
    void SetSelectPictureButtonAsDefault();
    void UpdateRequirementsButton();

    // The 64 x 64 preview of a passport picture: the picture scaled into a box of its own
    // proportions centred in the square, with rounded corners shown through the mask.
    static QRect PreviewBox(int width, int height);
    static QImage MakePreview(const QImage& passport);

    // A member of one of the control arrays ("picButRotate", "moveArrow", "StaticText1").
    QWidget* ControlArray(const QString& name, int index) const;

    // Control and window handlers; each runs the steps of its event.
    void butSelectPhoto_Action();
    void puFormat_Change();
    void efPhotoName_TextChange();
    void efPhotoName_GotFocus();
    void slideContrast_ValueChanged();
    void slideContrast_MouseDown();
    void slideContrast_GotFocus();
    void slideContrast_LostFocus();
    void slideBrightness_ValueChanged();
    void slideBrightness_MouseDown();
    void slideBrightness_GotFocus();
    void slideBrightness_LostFocus();
    void sliderScale_ValueChanged();
    void sliderScale_GotFocus();
    void sliderScale_LostFocus();
    void picButRotate_Action(int index);
    void moveArrow_Action(int index);
    void butZoomOut_Action();
    void butZoomIn_Action();
    void butCancel_Action();
    void butOK_Action();
    void ScaleCanvas_Open();
    // A drop of a picture or of a file on the canvas; false when it yielded no picture.
    bool ScaleCanvas_DropObject(const QMimeData* obj);
    void SliderTimer_Action();
    void butRequirements_Action();
    void Event_EnableMenuItems();
    // The arrow keys move the picture one canvas pixel; the key is never consumed.
    bool Event_KeyDown(int key);
    bool Event_MouseDown();

public slots:
    // Cancel: also what Escape and a close request from the window manager do.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void Import(const QImage& pic);
    // Import, then the warnings both import paths give: a damaged or a too small picture.
    void ImportWithWarnings(const Pictures::OpenedPicture& opened);
    void ShowRecordFormat();
    void UpdateNow();
    void CloseWindow();

    QPushButton* butSelectPhoto = nullptr;
    QComboBox* puFormat = nullptr;
    QLineEdit* efPhotoName = nullptr;
    QWidget* EnableCanvas = nullptr;
    QSlider* slideContrast = nullptr;
    QSlider* slideBrightness = nullptr;
    QSlider* sliderScale = nullptr;
    picButRotate* picButRotates[2] = {};
    moveArrow* moveArrows[4] = {};
    QLabel* StaticText4 = nullptr;
    QLabel* StaticText5 = nullptr;
    QLabel* StaticText6 = nullptr;
    QLabel* StaticText7 = nullptr;
    PicWithMaskButton* butZoomOut = nullptr;
    PicWithMaskButton* butZoomIn = nullptr;
    QPushButton* butCancel = nullptr;
    QPushButton* butOK = nullptr;
    StaticText1* StaticText1s[2] = {};
    QFrame* Rectangle3 = nullptr;
    ScalingPictureCanvas* ScaleCanvas = nullptr;
    QTimer* SliderTimer = nullptr;
    QPushButton* butRequirements = nullptr;

    bool mMadeByInstance = false;
    static QPointer<EditWindow> sInstance;
};

#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;

// The modeless preferences window. Each check box loads its preference when the window opens
// and writes it back on every change; there is no OK or Cancel.
class winPrefs : public QWidget {
    Q_OBJECT
public:
    // The open preferences window; when none is open a new one is made and shown.
    static winPrefs* Instance();
    ~winPrefs() override;

    // Shows the window and brings it to the front.
    void Show();

    // Switches the main window's photo list ("ListBox1") between multiple and single selection.
    // Does nothing while there is no main window or list.
    static void SetMainListSelectionType(bool multiple);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void cbDrawCropMarks_Action();
    void cbAllowMultipleSelection_Action();
    void cbPrint4Up_Action();

private:
    winPrefs();
    void Layout();
    void CreateControls();
    void cbDrawCropMarks_Open();
    void cbAllowMultipleSelection_Open();
    void cbPrint4Up_Open();
    void AddMenuHandlers();
    bool _FileClose_Action();

    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* cbDrawCropMarks = nullptr;
    QCheckBox* cbAllowMultipleSelection = nullptr;
    QLabel* StaticText1 = nullptr;
    QCheckBox* cbPrint4Up = nullptr;
};

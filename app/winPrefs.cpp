#include "winPrefs.h"

#include "App.h"
#include "Guard.h"
#include "MenuDispatcher.h"
#include "Prefs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>

namespace {
QPointer<winPrefs> gOpenWindow;

const QString kDrawCropMarks = QStringLiteral("DrawCropMarks");
const QString kAllowMultipleSelection = QStringLiteral("AllowMultipleSelection");
const QString kPrint4Up = QStringLiteral("Print4UpWherePossible");

// Controls are placed in window coordinates; the group box's children sit relative to it.
constexpr QPoint kGroupOrigin(20, 20);
QRect InGroup(int left, int top, int width, int height) {
    return QRect(QPoint(left, top) - kGroupOrigin, QSize(width, height));
}

} // namespace

winPrefs* winPrefs::Instance() {
    if (!gOpenWindow) {
        gOpenWindow = new winPrefs;
        gOpenWindow->show();
    }
    return gOpenWindow.data();
}

winPrefs::winPrefs() : QWidget(nullptr) {
    setAttribute(Qt::WA_DeleteOnClose);
    Layout();
    CreateControls();
    AddMenuHandlers();
}

winPrefs::~winPrefs() {
    MenuDispatcher::Instance().RemoveWindow(this);
}

void winPrefs::Layout() {
    setObjectName(QStringLiteral("winPrefs"));
    setWindowTitle(QStringLiteral("Preferences"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinimizeButtonHint);
    setFixedSize(299, 188);
}

void winPrefs::CreateControls() {
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(20, 20, 259, 148);

    cbDrawCropMarks = new QCheckBox(QStringLiteral("Draw Crop Marks"), GroupBox1);
    cbDrawCropMarks->setObjectName(QStringLiteral("cbDrawCropMarks"));
    cbDrawCropMarks->setGeometry(InGroup(40, 40, 219, 20));

    cbAllowMultipleSelection = new QCheckBox(QStringLiteral("Allow selecting multiple rows"), GroupBox1);
    cbAllowMultipleSelection->setObjectName(QStringLiteral("cbAllowMultipleSelection"));
    cbAllowMultipleSelection->setGeometry(InGroup(40, 72, 219, 20));
    cbAllowMultipleSelection->setChecked(true);

    StaticText1 = new QLabel(
        QStringLiteral("This allows you to print or delete mulitple passport photos all at once."), GroupBox1);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText1->setGeometry(InGroup(61, 97, 200, 29));
    StaticText1->setWordWrap(true);
    StaticText1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont small = StaticText1->font();
    small.setPixelSize(10);
    StaticText1->setFont(small);
    QPalette black = StaticText1->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    StaticText1->setPalette(black);

    cbPrint4Up = new QCheckBox(QStringLiteral("Print 4 photos on larger paper"), GroupBox1);
    cbPrint4Up->setObjectName(QStringLiteral("cbPrint4Up"));
    cbPrint4Up->setGeometry(InGroup(40, 131, 219, 20));
    cbPrint4Up->setChecked(true);

    setTabOrder(cbDrawCropMarks, cbAllowMultipleSelection);
    setTabOrder(cbAllowMultipleSelection, cbPrint4Up);

    // Each box shows its stored value before it reports changes, so opening stores nothing.
    Guard([this] { cbDrawCropMarks_Open(); });
    Guard([this] { cbAllowMultipleSelection_Open(); });
    Guard([this] { cbPrint4Up_Open(); });
    connect(cbDrawCropMarks, &QCheckBox::toggled, this, &winPrefs::cbDrawCropMarks_Action);
    connect(cbAllowMultipleSelection, &QCheckBox::toggled, this, &winPrefs::cbAllowMultipleSelection_Action);
    connect(cbPrint4Up, &QCheckBox::toggled, this, &winPrefs::cbPrint4Up_Action);
}

void winPrefs::cbDrawCropMarks_Open() {
    cbDrawCropMarks->setChecked(Prefs::GetPref(kDrawCropMarks, false).toBool());
}

void winPrefs::cbAllowMultipleSelection_Open() {
    cbAllowMultipleSelection->setChecked(Prefs::GetPref(kAllowMultipleSelection, true).toBool());
}

void winPrefs::cbPrint4Up_Open() {
    cbPrint4Up->setChecked(Prefs::GetPref(kPrint4Up, true).toBool());
}

void winPrefs::cbDrawCropMarks_Action() {
    Guard([this] { Prefs::SetPref(kDrawCropMarks, cbDrawCropMarks->isChecked()); });
}

void winPrefs::cbAllowMultipleSelection_Action() {
    Guard([this] {
        const bool multiple = cbAllowMultipleSelection->isChecked();
        SetMainListSelectionType(multiple);
        Prefs::SetPref(kAllowMultipleSelection, multiple);
    });
}

void winPrefs::cbPrint4Up_Action() {
    Guard([this] { Prefs::SetPref(kPrint4Up, cbPrint4Up->isChecked()); });
}

void winPrefs::SetMainListSelectionType(bool multiple) {
    auto* app = qobject_cast<App*>(QCoreApplication::instance());
    if (!app || !app->MainWindow) return;
    auto* list = app->MainWindow->findChild<QAbstractItemView*>(QStringLiteral("ListBox1"));
    if (!list) return;
    list->setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void winPrefs::AddMenuHandlers() {
    MenuDispatcher::Instance().AddWindowHandler(this, QStringLiteral("FileClose"),
                                                [this] { return _FileClose_Action(); });
}

bool winPrefs::_FileClose_Action() {
    close();
    return true;
}

void winPrefs::Show() {
    show();
    raise();
    activateWindow();
}

void winPrefs::closeEvent(QCloseEvent* event) {
    // From here on the accessor makes a fresh window, even before this one is deleted.
    if (gOpenWindow == this) gOpenWindow = nullptr;
    QWidget::closeEvent(event);
}

#include "AboutWindow.h"

#include "AboutWinSetup.h"
#include "Desktop.h"
#include "EditfieldWithLinks.h"
#include "Guard.h"
#include "MenuDispatcher.h"
#include "Pictures.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QUrl>

namespace {
QPointer<AboutWindow> gOpenWindow;

void SetBlackText(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Text, Qt::black);
    w->setPalette(p);
}

} // namespace

AboutWindow* AboutWindow::Instance() {
    if (!gOpenWindow) {
        gOpenWindow = new AboutWindow;
        gOpenWindow->Show();
    }
    return gOpenWindow.data();
}

AboutWindow::AboutWindow() : QWidget(nullptr) {
    setAttribute(Qt::WA_DeleteOnClose);
    Layout();
    CreateControls();
    AddMenuHandlers();
}

AboutWindow::~AboutWindow() {
    MenuDispatcher::Instance().RemoveWindow(this);
}

void AboutWindow::Layout() {
    setObjectName(QStringLiteral("AboutWindow"));
    // Qt gives a window with an empty title the application's name; a blank leaves the bar empty.
    setWindowTitle(QStringLiteral(" "));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinimizeButtonHint);
    setFixedSize(300, 400);
    // Centred on the main screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void AboutWindow::CreateControls() {
    AppIconCanvas = new QWidget(this);
    AppIconCanvas->setObjectName(QStringLiteral("AppIconCanvas"));
    AppIconCanvas->setGeometry(84, 14, 128, 128);
    AppIconCanvas->installEventFilter(this);

    StatAppName = new QLabel(this);
    StatAppName->setObjectName(QStringLiteral("StatAppName"));
    StatAppName->setGeometry(20, 154, 260, 20);
    StatAppName->setAlignment(Qt::AlignCenter);
    QFont nameFont = StatAppName->font();
    nameFont.setPixelSize(14);
    nameFont.setBold(true);
    StatAppName->setFont(nameFont);
    SetBlackText(StatAppName);

    StatAppVersion = new QLabel(this);
    StatAppVersion->setObjectName(QStringLiteral("StatAppVersion"));
    StatAppVersion->setGeometry(20, 182, 260, 16);
    StatAppVersion->setAlignment(Qt::AlignCenter);
    QFont smallFont = StatAppVersion->font();
    smallFont.setPixelSize(11);
    StatAppVersion->setFont(smallFont);
    SetBlackText(StatAppVersion);

    EditAppCredits = new EditfieldWithLinks(this);
    EditAppCredits->setObjectName(QStringLiteral("EditAppCredits"));
    EditAppCredits->setGeometry(-1, 210, 302, 139);
    EditAppCredits->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    EditAppCredits->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette credits = EditAppCredits->palette();
    credits.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xFF));
    credits.setColor(QPalette::Text, QColor(0x00, 0x00, 0x00));
    EditAppCredits->setPalette(credits);

    connect(EditAppCredits, &EditfieldWithLinks::Open, this, &AboutWindow::EditAppCredits_Open);
    connect(EditAppCredits, &EditfieldWithLinks::LinkClicked, this, &AboutWindow::EditAppCredits_LinkClicked);
    EditAppCredits->Event_Open();
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AppIconCanvas && event->type() == QEvent::Paint) {
        Guard([this] {
            QPainter g(AppIconCanvas);
            AppIconCanvas_Paint(g, AppIconCanvas->size());
        });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void AboutWindow::AppIconCanvas_Paint(QPainter& g, const QSize& size) {
    QImage icon = AboutWinSetup::AppIcon();
    const QImage mask = AboutWinSetup::AppIconMask();
    if (icon.isNull()) return;
    if (!mask.isNull()) {
        // The mask is drawn at its own size into the icon's mask.
        QImage iconMask = Pictures::Mask(icon).convertToFormat(QImage::Format_RGB32);
        {
            QPainter mp(&iconMask);
            mp.drawImage(0, 0, mask);
        }
        Pictures::SetMask(icon, iconMask);
    }
    g.setRenderHint(QPainter::SmoothPixmapTransform);
    g.drawImage(QRect(QPoint(0, 0), size), icon, icon.rect());
}

void AboutWindow::EditAppCredits_Open() {
    Guard([this] { AboutWinSetup::AddInitialtext(*EditAppCredits); });
}

void AboutWindow::EditAppCredits_LinkClicked(const QString& target) {
    Guard([&] { Desktop::Current().ShowURL(QUrl(target)); });
}

void AboutWindow::AddMenuHandlers() {
    MenuDispatcher& menus = MenuDispatcher::Instance();
    menus.AddWindowHandler(this, QStringLiteral("FileClose"), [this] { return _FileClose_Action(); });
    menus.AddWindowHandler(this, QStringLiteral("EditSelectAll"), [this] {
        return focusWidget() == EditAppCredits && EditAppCredits->_EditSelectAll_Action();
    });
}

bool AboutWindow::_FileClose_Action() {
    close();
    return false;
}

void AboutWindow::SetupWindow() {
    StatAppName->setText(QStringLiteral("Kestrine"));
    StatAppVersion->setText(AboutWinSetup::AppVersion());
}

void AboutWindow::Show() {
    SetupWindow();
    show();
    raise();
    activateWindow();
}

void AboutWindow::SetCreditsFieldText(const QString& text, bool parse) {
    EditfieldWithLinks& field = *EditAppCredits;
    // The old link ranges would point into text that is no longer there.
    field.ClearLinks();
    field.clear();
    QTextCursor cursor(field.document());
    QTextCharFormat format;
    format.setForeground(QColor(0x00, 0x00, 0x00));
    format.setFontWeight(QFont::Normal);
    format.setFontItalic(false);

    if (!parse) {
        cursor.insertText(text, format);
    } else {
        const int baseSize = QFontInfo(field.font()).pixelSize();
        int size = baseSize;
        int sizeBefore = baseSize;
        qsizetype at = 0;
        while (at < text.size()) {
            const qsizetype open = text.indexOf(QLatin1Char('<'), at);
            const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('>'), open + 1);
            if (close < 0) {
                // A "<" without a ">" after it is ordinary text.
                cursor.insertText(text.mid(at), format);
                break;
            }
            cursor.insertText(text.mid(at, open - at), format);
            const QString tag = text.mid(open + 1, close - open - 1);
            const QString word = tag.simplified().section(QLatin1Char(' '), 0, 0).toLower();
            if (word == QLatin1String("b")) {
                format.setFontWeight(QFont::Bold);
            } else if (word == QLatin1String("/b")) {
                format.setFontWeight(QFont::Normal);
            } else if (word == QLatin1String("i")) {
                format.setFontItalic(true);
            } else if (word == QLatin1String("/i")) {
                format.setFontItalic(false);
            } else if (word == QLatin1String("font")) {
                const qsizetype q1 = tag.indexOf(QLatin1Char('"'));
                const qsizetype q2 = q1 < 0 ? -1 : tag.indexOf(QLatin1Char('"'), q1 + 1);
                bool ok = false;
                const int n = q2 < 0 ? 0 : tag.mid(q1 + 1, q2 - q1 - 1).trimmed().toInt(&ok);
                sizeBefore = size;
                // A missing or unusable size means the field's own size.
                size = ok && n > 0 ? n : baseSize;
            } else if (word == QLatin1String("/font")) {
                size = sizeBefore;
            }
            QFont f;
            f.setPixelSize(size);
            format.setFont(f, QTextCharFormat::FontPropertiesSpecifiedOnly);
            at = close + 1;
        }
    }
    field.setTextCursor(QTextCursor(field.document()));
    field.verticalScrollBar()->setValue(0);
}

void AboutWindow::closeEvent(QCloseEvent* event) {
    // From here on the accessor makes a fresh box, even before this one is deleted.
    if (gOpenWindow == this) gOpenWindow = nullptr;
    QWidget::closeEvent(event);
}

#include "MenuBar1.h"

#include "MenuDispatcher.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

namespace {

QPointer<QMenuBar> gMenuBar;

struct ItemRow {
    const char* name;
    const char* text; // "-" makes a separator
    const char* shortcut;
    bool autoEnable;
    QAction::MenuRole role;
};

constexpr auto None = QAction::NoRole;

// "Ctrl" is the platform's command modifier: Cmd on macOS.
constexpr ItemRow kFileItems[] = {
    {"FileNew", "New", "Ctrl+N", true, None},
    {"FileClose", "Close Window", "Ctrl+W", true, None},
    {"UntitledSeparator0", "-", "", true, None},
    {"FileSave", "Save as Picture", "Ctrl+S", false, None},
    {"UntitledSeparator2", "-", "", true, None},
    {"FilePageSetup", "Page Setup", "Ctrl+Shift+P", true, None},
    {"FilePrint", "Print", "Ctrl+P", false, None},
    {"UntitledSeparator1", "-", "", true, None},
    {"FileQuit", "&Quit", "Ctrl+Q", true, QAction::QuitRole},
};

constexpr ItemRow kEditItems[] = {
    {"EditEditSelectedPhoto", "Edit Selected Photo", "Ctrl+E", false, None},
    {"UntitledSeparator5", "-", "", true, None},
    {"EditUndo", "&Undo", "Ctrl+Z", true, None},
    {"UntitledMenu1", "-", "", true, None},
    {"EditCut", "Cu&t", "Ctrl+X", true, None},
    {"EditCopy", "&Copy", "Ctrl+C", true, None},
    {"EditPaste", "&Paste", "Ctrl+V", true, None},
    {"EditDelete", "&Delete", "", false, None},
    {"UntitledMenu0", "-", "", true, None},
    {"EditSelectAll", "Select &All", "Ctrl+A", true, None},
    {"UntitledSeparator3", "-", "", true, None},
    {"EditPreferences", "Preferences...", "Ctrl+,", true, QAction::PreferencesRole},
};

constexpr ItemRow kHelpItems[] = {
    {"HelpHelp", "Help", "", true, None},
    {"UntitledSeparator", "-", "", true, None},
    {"HelpWebsite", "Website...", "", true, None},
    {"UntitledSeparator4", "-", "", true, None},
    {"HelpAbout", "About Kestrine", "", true, QAction::AboutRole},
};

template <std::size_t N>
void AddMenu(QMenuBar* bar, const char* name, const char* text, const ItemRow (&items)[N]) {
    auto* menu = new QMenu(QString::fromUtf8(text), bar);
    menu->setObjectName(QString::fromUtf8(name));
    menu->menuAction()->setObjectName(menu->objectName());
    menu->menuAction()->setProperty("AutoEnable", true);
    bar->addMenu(menu);
    for (const ItemRow& row : items) {
        auto* item = new QAction(menu);
        item->setObjectName(QString::fromUtf8(row.name));
        if (QByteArrayView(row.text) == "-") {
            item->setSeparator(true);
        } else {
            item->setText(QString::fromUtf8(row.text));
            item->setShortcut(QKeySequence(QString::fromUtf8(row.shortcut)));
        }
        // Only the three platform items may move to macOS's application menu.
        item->setMenuRole(row.role);
        MenuDispatcher::Instance().Attach(item, row.autoEnable);
        menu->addAction(item);
    }
}

// A menu bar that no window took is released with the application's widgets.
void ReleaseMenuBar() {
    delete gMenuBar.data();
}

} // namespace

QMenuBar* MenuBar1() {
    if (gMenuBar) return gMenuBar;
    auto* bar = new QMenuBar;
    bar->setObjectName(QStringLiteral("MenuBar1"));
    AddMenu(bar, "FileMenu", "&File", kFileItems);
    AddMenu(bar, "EditMenu", "&Edit", kEditItems);
    AddMenu(bar, "HelpMenu", "Help", kHelpItems);
    gMenuBar = bar;
    qAddPostRoutine(ReleaseMenuBar);
    MenuDispatcher::Instance().SetMenuBar(bar);
    return bar;
}

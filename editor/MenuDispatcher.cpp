#include "MenuDispatcher.h"

#include "Guard.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolBar>
#include <QWindow>

MenuDispatcher& MenuDispatcher::Instance() {
    static MenuDispatcher* instance = new MenuDispatcher; // lives for the whole run
    return *instance;
}

void MenuDispatcher::SetMenuBar(QMenuBar* bar) {
    mMenuBar = bar;
    if (!bar) return;
    HookApplication();
    for (QMenu* menu : bar->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, &MenuDispatcher::EnableMenuItems, Qt::UniqueConnection);
    CarryAllItems();
    EnableMenuItems();
}

QAction* MenuDispatcher::Item(const QString& name) const {
    if (!mMenuBar) return nullptr;
    for (QAction* a : mMenuBar->findChildren<QAction*>())
        if (a->objectName().compare(name, Qt::CaseInsensitive) == 0) return a;
    return nullptr;
}

void MenuDispatcher::Attach(QAction* action, bool autoEnable) {
    action->setProperty("AutoEnable", autoEnable);
    // The same shortcuts in every window, not only the one showing the menu bar.
    action->setShortcutContext(Qt::ApplicationShortcut);
    HookApplication();
    connect(action, &QAction::triggered, this, [this, action] {
        // A disabled item never runs, even through a stale shortcut.
        EnableMenuItems();
        if (action->isEnabled()) Dispatch(action->objectName());
    });
}

void MenuDispatcher::HookApplication() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app == mHookedApp) return;
    mHookedApp = app;
    app->installEventFilter(this);
    if (auto* widgets = qobject_cast<QApplication*>(app))
        connect(widgets, &QApplication::focusChanged, this, [this] { ScheduleEnableMenuItems(); });
    if (auto* gui = qobject_cast<QGuiApplication*>(app))
        connect(gui, &QGuiApplication::focusWindowChanged, this, [this] { ScheduleEnableMenuItems(); });
}

MenuDispatcher::WindowEntry* MenuDispatcher::EntryFor(QWidget* window) {
    for (auto& e : mWindows)
        if (e.window == window) return &e;
    mWindows.append(WindowEntry{window, {}, {}});
    return &mWindows.last();
}

const MenuDispatcher::WindowEntry* MenuDispatcher::FindEntry(const QWidget* widget) const {
    for (const auto& e : mWindows)
        if (e.window && e.window == widget) return &e;
    return nullptr;
}

void MenuDispatcher::AddAppHandler(const QString& name, Handler handler) {
    mAppHandlers.insert(name.toLower(), std::move(handler));
}

void MenuDispatcher::AddWindowHandler(QWidget* window, const QString& name, Handler handler) {
    EntryFor(window)->handlers.insert(name.toLower(), std::move(handler));
    CarryItem(window, name);
}

void MenuDispatcher::SetWindowEnabler(QWidget* window, Enabler enabler) {
    EntryFor(window)->enabler = std::move(enabler);
}

void MenuDispatcher::RemoveWindow(QWidget* window) {
    if (window && FindEntry(window)) {
        for (QAction* a : window->actions())
            if (!a->objectName().isEmpty() && Item(a->objectName()) == a) window->removeAction(a);
    }
    mWindows.removeIf([window](const WindowEntry& e) { return e.window.isNull() || e.window == window; });
}

void MenuDispatcher::CarryItem(QWidget* widget, const QString& name) {
    // Menus and toolbars would show a carried item as one of their own.
    if (!widget || qobject_cast<QMenu*>(widget) || qobject_cast<QMenuBar*>(widget) || qobject_cast<QToolBar*>(widget))
        return;
    QAction* item = Item(name);
    if (item && !item->shortcut().isEmpty() && !widget->actions().contains(item)) widget->addAction(item);
}

void MenuDispatcher::CarryAllItems() {
    for (const auto& e : mWindows)
        if (e.window)
            for (auto it = e.handlers.cbegin(); it != e.handlers.cend(); ++it) CarryItem(e.window, it.key());
}

QWidget* MenuDispatcher::FrontWindow() const {
    if (mFrontOverride) return mFrontOverride;
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    return nullptr;
}

QList<QWidget*> MenuDispatcher::FocusChain(QWidget* front) const {
    QList<QWidget*> chain;
    if (!front) return chain;
    QWidget* focus = QApplication::focusWidget();
    if (focus && (focus == front || front->isAncestorOf(focus))) {
        for (QWidget* w = focus; w && w != front; w = w->parentWidget()) chain.prepend(w);
    }
    chain.prepend(front);
    return chain;
}

bool MenuDispatcher::Dispatch(const QString& name) {
    const QString key = name.toLower();
    // Copied first: a handler may close its window and unregister it.
    QList<Handler> handlers;
    const QList<QWidget*> chain = FocusChain(FrontWindow());
    for (auto it = chain.crbegin(); it != chain.crend(); ++it)
        if (const WindowEntry* e = FindEntry(*it); e && e->handlers.contains(key)) handlers << e->handlers.value(key);
    if (mAppHandlers.contains(key)) handlers << mAppHandlers.value(key);
    for (const Handler& h : handlers)
        if (h && GuardValue(true, h)) return true;
    return RuntimeDefault(key);
}

bool MenuDispatcher::RuntimeDefault(const QString& key) {
    if (QAction* item = Item(key); item && item->menuRole() == QAction::QuitRole) {
        // Closes every window (each runs its close handler), then ends the event loop.
        QCoreApplication::quit();
        return true;
    }
    auto edit = [&key](auto* text) {
        if (key == u"editundo") text->undo();
        else if (key == u"editcut") text->cut();
        else if (key == u"editcopy") text->copy();
        else if (key == u"editpaste") text->paste();
        else if (key == u"editselectall") text->selectAll();
        else return false;
        return true;
    };
    QWidget* focus = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(focus)) return edit(line);
    if (auto* text = qobject_cast<QTextEdit*>(focus)) return edit(text);
    if (auto* plain = qobject_cast<QPlainTextEdit*>(focus)) return edit(plain);
    return false;
}

void MenuDispatcher::EnableMenuItems() {
    if (!mMenuBar) return;
    for (QAction* a : mMenuBar->findChildren<QAction*>()) {
        if (a->isSeparator() || a->menu() || a->objectName().isEmpty()) continue;
        a->setEnabled(a->property("AutoEnable").toBool());
    }
    mWindows.removeIf([](const WindowEntry& e) { return e.window.isNull(); });
    // The window first, then its focused controls, so the most specific has the last word.
    QList<Enabler> enablers;
    for (QWidget* w : FocusChain(FrontWindow()))
        if (const WindowEntry* e = FindEntry(w); e && e->enabler) enablers << e->enabler;
    for (const Enabler& en : enablers) Guard(en);
}

void MenuDispatcher::ScheduleEnableMenuItems() {
    // Focus moves also while a window is being destroyed; its enabler must not run then.
    QMetaObject::invokeMethod(this, &MenuDispatcher::EnableMenuItems, Qt::QueuedConnection);
}

bool MenuDispatcher::IsItemShortcut(const QEvent* event) const {
    if (!mMenuBar) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    for (QAction* a : mMenuBar->findChildren<QAction*>()) {
        const QKeySequence seq = a->shortcut();
        if (!seq.isEmpty() && seq[0].key() == key) return true;
    }
    return false;
}

bool MenuDispatcher::eventFilter(QObject* watched, QEvent* event) {
    // Qt matches a shortcut only against enabled actions, right after this event: bring the
    // enabling up to date first, so a shortcut obeys the same rules as the open menu.
    if (event->type() == QEvent::ShortcutOverride && IsItemShortcut(event)) EnableMenuItems();
    return QObject::eventFilter(watched, event);
}

#include "MenuDispatcher.h"

#include "Guard.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

MenuDispatcher& MenuDispatcher::Instance() {
    static MenuDispatcher* instance = new MenuDispatcher; // lives for the whole run
    return *instance;
}

void MenuDispatcher::SetMenuBar(QMenuBar* bar) {
    mMenuBar = bar;
}

QAction* MenuDispatcher::Item(const QString& name) const {
    if (!mMenuBar) return nullptr;
    for (QAction* a : mMenuBar->findChildren<QAction*>())
        if (a->objectName().compare(name, Qt::CaseInsensitive) == 0) return a;
    return nullptr;
}

void MenuDispatcher::Attach(QAction* action, bool autoEnable) {
    action->setProperty("AutoEnable", autoEnable);
    connect(action, &QAction::triggered, this, [this, action] {
        // A disabled item never runs, even through a stale shortcut.
        EnableMenuItems();
        if (action->isEnabled()) Dispatch(action->objectName());
    });
}

MenuDispatcher::WindowEntry* MenuDispatcher::EntryFor(QWidget* window) {
    for (auto& e : mWindows)
        if (e.window == window) return &e;
    mWindows.append(WindowEntry{window, {}, {}});
    return &mWindows.last();
}

void MenuDispatcher::AddAppHandler(const QString& name, Handler handler) {
    mAppHandlers.insert(name.toLower(), std::move(handler));
}

void MenuDispatcher::AddWindowHandler(QWidget* window, const QString& name, Handler handler) {
    EntryFor(window)->handlers.insert(name.toLower(), std::move(handler));
}

void MenuDispatcher::SetWindowEnabler(QWidget* window, Enabler enabler) {
    EntryFor(window)->enabler = std::move(enabler);
}

void MenuDispatcher::RemoveWindow(QWidget* window) {
    mWindows.removeIf([window](const WindowEntry& e) { return e.window.isNull() || e.window == window; });
}

QWidget* MenuDispatcher::FrontWindow() const {
    if (mFrontOverride) return mFrontOverride;
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    return nullptr;
}

bool MenuDispatcher::Dispatch(const QString& name) {
    const QString key = name.toLower();
    if (QWidget* front = FrontWindow()) {
        for (auto& e : mWindows) {
            if (e.window == front && e.handlers.contains(key)) {
                const Handler h = e.handlers.value(key);
                if (GuardValue(true, h)) return true;
                break;
            }
        }
    }
    if (mAppHandlers.contains(key)) {
        const Handler h = mAppHandlers.value(key);
        return GuardValue(true, h);
    }
    return false;
}

void MenuDispatcher::EnableMenuItems() {
    if (!mMenuBar) return;
    for (QAction* a : mMenuBar->findChildren<QAction*>()) {
        if (a->isSeparator() || a->menu() || a->objectName().isEmpty()) continue;
        a->setEnabled(a->property("AutoEnable").toBool());
    }
    mWindows.removeIf([](const WindowEntry& e) { return e.window.isNull(); });
    if (QWidget* front = FrontWindow()) {
        for (auto& e : mWindows) {
            if (e.window == front && e.enabler) {
                const Enabler en = e.enabler;
                Guard(en);
            }
        }
    }
}

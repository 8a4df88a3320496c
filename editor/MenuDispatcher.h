#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include <QMenuBar>
#include <QWidget>

class QAction;

// Routes menu commands by item name: the front window's handler first, then the application's.
// Enabling is recomputed before a menu shows and whenever focus or a selection changes: items
// built with AutoEnable start enabled, the rest disabled, then the front window's EnableMenuItems
// handler enables what applies.
class MenuDispatcher : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<bool()>;
    using Enabler = std::function<void()>;

    static MenuDispatcher& Instance();

    void SetMenuBar(QMenuBar* bar);
    QMenuBar* MenuBar() const { return mMenuBar; }
    // The menu item of that name anywhere in the menu bar; null when there is none.
    QAction* Item(const QString& name) const;
    // Makes `action` dispatch by its objectName and remembers its AutoEnable.
    void Attach(QAction* action, bool autoEnable);

    void AddAppHandler(const QString& name, Handler handler);
    void AddWindowHandler(QWidget* window, const QString& name, Handler handler);
    void SetWindowEnabler(QWidget* window, Enabler enabler);
    void RemoveWindow(QWidget* window);

    // Runs the command as if chosen from the menu; true when a handler took it.
    bool Dispatch(const QString& name);
    // Recomputes every item's enabled state for the current front window.
    void EnableMenuItems();

    // The window whose handlers are asked first: the active window, else the one named.
    QWidget* FrontWindow() const;
    void SetFrontWindowForTesting(QWidget* window) { mFrontOverride = window; }

private:
    MenuDispatcher() = default;
    struct WindowEntry {
        QPointer<QWidget> window;
        QHash<QString, Handler> handlers;
        Enabler enabler;
    };
    WindowEntry* EntryFor(QWidget* window);

    QPointer<QMenuBar> mMenuBar;
    QHash<QString, Handler> mAppHandlers;
    QList<WindowEntry> mWindows;
    QPointer<QWidget> mFrontOverride;
};

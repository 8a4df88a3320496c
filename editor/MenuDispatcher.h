#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include <QMenuBar>
#include <QWidget>

class QAction;

// Routes menu commands by item name: the focused control and the controls around it inside the
// front window first, then the front window, then the application. Enabling is recomputed before
// a menu shows, when the focus moves, just before a shortcut is matched, and whenever a window
// asks (selection changes): items built with AutoEnable start enabled, the rest disabled, then the
// front window's enabler and those of its focused controls enable or disable what applies.
// Item shortcuts work in every window: they are application shortcuts, and each widget that
// registers a handler for an item carries that item too, so its shortcut reaches it even where
// the menu bar is not shown.
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
    // `window` may be a window or a control: a control's handler and enabler apply while it, or a
    // widget inside it, has the focus in the front window.
    void AddWindowHandler(QWidget* window, const QString& name, Handler handler);
    void SetWindowEnabler(QWidget* window, Enabler enabler);
    void RemoveWindow(QWidget* window);

    // Runs the command as if chosen from the menu; true when a handler took it. With no handler,
    // the quit item quits and the standard edit items act on the focused text field, as the
    // platform's own items would.
    bool Dispatch(const QString& name);
    // Recomputes every item's enabled state for the current front window.
    void EnableMenuItems();
    // The same, once control returns to the event loop (safe from focus and destruction paths).
    void ScheduleEnableMenuItems();

    // The window whose handlers are asked first: the active window, else the one named.
    QWidget* FrontWindow() const;
    void SetFrontWindowForTesting(QWidget* window) { mFrontOverride = window; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MenuDispatcher() = default;
    struct WindowEntry {
        QPointer<QWidget> window;
        QHash<QString, Handler> handlers;
        Enabler enabler;
    };
    WindowEntry* EntryFor(QWidget* window);
    const WindowEntry* FindEntry(const QWidget* widget) const;
    // The front window and the widgets from it down to the focused one, outermost first.
    QList<QWidget*> FocusChain(QWidget* front) const;
    void HookApplication();
    void CarryItem(QWidget* widget, const QString& name);
    void CarryAllItems();
    bool RuntimeDefault(const QString& key);
    bool IsItemShortcut(const QEvent* event) const;

    QPointer<QMenuBar> mMenuBar;
    QHash<QString, Handler> mAppHandlers;
    QList<WindowEntry> mWindows;
    QPointer<QWidget> mFrontOverride;
    QPointer<QObject> mHookedApp;
};

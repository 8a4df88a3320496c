#pragma once

#include <QLineEdit>

class QAction;
class QMenu;

// An edit field whose contextual menu offers Cut, Copy, Paste, Delete and Select All,
// each enabled only when it can act.
class CutCopyPasteField : public QLineEdit {
    Q_OBJECT
public:
    explicit CutCopyPasteField(QWidget* parent = nullptr);

    // Appends the menu's items to `base`; false, as the menu is left to the caller to show.
    bool Event_ConstructContextualMenu(QMenu* base, int x, int y);
    // Runs the command named by the chosen item's text; other texts do nothing.
    bool Event_ContextualMenuAction(QAction* hitItem);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

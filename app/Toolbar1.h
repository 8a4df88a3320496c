#pragma once

#include <QToolBar>

class QAction;

// The main window's toolbar: New, Edit, Print and Save Jpg at the left, Delete at the right end.
// Each item is a QAction whose objectName is the item's name; a click raises Action(item).
// No button shows a tooltip.
class Toolbar1 : public QToolBar {
    Q_OBJECT
public:
    explicit Toolbar1(QWidget* parent = nullptr);

    QAction* AddNew = nullptr;
    QAction* Sep1 = nullptr;
    QAction* Edit = nullptr;
    QAction* Sep2 = nullptr;
    QAction* Print = nullptr;
    QAction* Save = nullptr;
    QAction* FlexSpace = nullptr;
    QAction* Delete = nullptr;

signals:
    void Action(QAction* item);

protected:
    // The buttons have no help tags: a QToolButton would show its caption as a tooltip instead.
    bool eventFilter(QObject* watched, QEvent* event) override;
};

#pragma once

#include "PhotoListModel.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class PhotoListDelegate;
class QAction;
class QFrame;
class QListView;
class QPrinter;
class QTimer;
class Toolbar1;

// The main window: the list of saved photos and the commands that act on it.
class winMain : public QMainWindow {
    Q_OBJECT
public:
    winMain();
    ~winMain() override;

    // Tool items, bound by name when the window opens.
    QPointer<QAction> toolbuttonDelete;
    QPointer<QAction> toolbuttonEdit;
    QPointer<QAction> toolbuttonPrint;
    QPointer<QAction> toolbuttonNew;
    QPointer<QAction> toolbuttonSave;
    // The page setup shared by page setup and printing; made on first use.
    std::unique_ptr<QPrinter> PrinterSettings;

    // Menu items, looked up by name in the menu bar (null when there is none).
    static QAction* MenuItem(const QString& name);

    void AddNewPicture();
    void EditPicture();
    void DeleteRow();
    void LoadList();
    void LoadItem(int id);
    void PrintPicture();
    void SavePicture();
    void PageSetup();

    void Event_EnableMenuItems();
    void ListBox1_EnableMenuItems();
    void ListBox1_Change();
    void ListBox1_DoubleClick();
    bool ListBox1_KeyDown(int key);
    void Toolbar11_Action(QAction* item);
    void LoadTimer_Action();

    bool _FileNew_Action();
    bool _FileSave_Action();
    bool _FilePageSetup_Action();
    bool _FilePrint_Action();
    bool _FileClose_Action();
    bool _EditDelete_Action();
    bool _EditEditSelectedPhoto_Action();

    PhotoListModel& Rows() { return *mModel; }
    QListView* ListBox1() const { return mList; }
    // The selected rows, in row order.
    QList<int> SelectedRows() const;
    // The row the single-row commands act on (the current selected row), or -1.
    int ListIndex() const;
    void SetListIndex(int row);
    // Multiple (true) or single (false) row selection.
    void SetAllowMultipleSelection(bool multiple);
    // True while a record is being stored; commands issued then run once it is done.
    bool Saving() const { return mSaving; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Event_Open();
    void AddMenuHandlers();
    void StoreRecord(const PhotoListModel::Record& record);
    // Runs `command` now, or after the save in progress when one is.
    void RunCommand(std::function<void()> command);
    QList<PhotoListModel::Record> SelectedRecords() const;

    PhotoListModel* mModel = nullptr;
    PhotoListDelegate* mDelegate = nullptr;
    QListView* mList = nullptr;
    Toolbar1* mToolbar = nullptr;
    QFrame* mPlacard = nullptr;
    QTimer* mLoadTimer = nullptr;
    bool mSaving = false;
    QList<std::function<void()>> mHeldCommands;
};

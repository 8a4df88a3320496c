#include "winMain.h"

#include "App.h"
#include "DataStore.h"
#include "Desktop.h"
#include "EditWindow.h"
#include "Guard.h"
#include "JpegSheet.h"
#include "MenuBar1.h"
#include "MenuDispatcher.h"
#include "NilObjectException.h"
#include "PhotoListDelegate.h"
#include "PhotoPrinting.h"
#include "Prefs.h"
#include "ProjectExtentions.h"
#include "RecordSet.h"
#include "SqlFileDatabase.h"
#include "Toolbar1.h"
#include "WindowExtensions.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QListView>
#include <QPrinter>
#include <QTimer>

winMain::winMain() {
    setObjectName(QStringLiteral("winMain"));
    setMenuBar(MenuBar1());
    setWindowTitle(QStringLiteral("Kestrine"));
    resize(320, 447);
    setMinimumSize(284, 159);
    setMaximumSize(400, 32000);
    setUnifiedTitleAndToolBarOnMac(true);

    mToolbar = new Toolbar1(this);
    mToolbar->setObjectName(QStringLiteral("Toolbar11"));
    addToolBar(mToolbar);
    connect(mToolbar, &Toolbar1::Action, this, [this](QAction* item) { Guard([&] { Toolbar11_Action(item); }); });

    auto* central = new QWidget(this);
    setCentralWidget(central);
    mModel = new PhotoListModel(this);
    mList = new QListView(central);
    mList->setObjectName(QStringLiteral("ListBox1"));
    mList->setModel(mModel);
    mDelegate = new PhotoListDelegate(mModel, mList);
    mList->setItemDelegate(mDelegate);
    mList->setFont(PhotoListDelegate::ListFont());
    mList->setUniformItemSizes(true);
    mList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mList->setDragEnabled(false);
    mList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mList->setAttribute(Qt::WA_MacShowFocusRect, false);
    mList->installEventFilter(this);
    connect(mList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Guard([this] { ListBox1_Change(); }); });
    connect(mList, &QListView::doubleClicked, this, [this] { Guard([this] { ListBox1_DoubleClick(); }); });

    mPlacard = new QFrame(central);
    mPlacard->setObjectName(QStringLiteral("Placard1"));
    mPlacard->setFrameShape(QFrame::StyledPanel);
    mPlacard->setFixedHeight(15);

    // The list fills the window above a thin strip along the bottom edge; they overlap by
    // three pixels as designed, the list one pixel beyond each side.
    struct Layouter : QObject {
        winMain* w;
        explicit Layouter(winMain* owner) : QObject(owner), w(owner) {}
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Resize) {
                auto* c = static_cast<QWidget*>(o);
                w->mList->setGeometry(-1, -1, c->width() + 2, c->height() - 12 + 2);
                w->mPlacard->setGeometry(-1, c->height() - 15, c->width() - 13, 15);
            }
            return false;
        }
    };
    central->installEventFilter(new Layouter(this));

    mLoadTimer = new QTimer(this);
    mLoadTimer->setObjectName(QStringLiteral("LoadTimer"));
    mLoadTimer->setInterval(20);
    mLoadTimer->setSingleShot(true);
    connect(mLoadTimer, &QTimer::timeout, this, [this] { Guard([this] { LoadTimer_Action(); }); });

    AddMenuHandlers();
    Event_Open();
}

winMain::~winMain() {
    MenuDispatcher::Instance().RemoveWindow(this);
}

QAction* winMain::MenuItem(const QString& name) {
    return MenuDispatcher::Instance().Item(name);
}

void winMain::AddMenuHandlers() {
    MenuDispatcher& menus = MenuDispatcher::Instance();
    menus.AddWindowHandler(this, QStringLiteral("FileNew"), [this] { return _FileNew_Action(); });
    menus.AddWindowHandler(this, QStringLiteral("FileSave"), [this] { return _FileSave_Action(); });
    menus.AddWindowHandler(this, QStringLiteral("FilePageSetup"), [this] { return _FilePageSetup_Action(); });
    menus.AddWindowHandler(this, QStringLiteral("FilePrint"), [this] { return _FilePrint_Action(); });
    menus.AddWindowHandler(this, QStringLiteral("FileClose"), [this] { return _FileClose_Action(); });
    menus.AddWindowHandler(this, QStringLiteral("EditDelete"), [this] { return _EditDelete_Action(); });
    menus.AddWindowHandler(this, QStringLiteral("EditEditSelectedPhoto"),
                           [this] { return _EditEditSelectedPhoto_Action(); });
    menus.SetWindowEnabler(this, [this] { Event_EnableMenuItems(); });
}

void winMain::Event_Open() {
    WindowExtensions::SetPositionAndSize(*this,
                                         Prefs::GetPref(QStringLiteral("winMainPosition"), QString()).toString());
    SetAllowMultipleSelection(Prefs::GetPref(QStringLiteral("AllowMultipleSelection"), true).toBool());

    for (QAction* item : mToolbar->actions()) {
        const QString name = item->objectName();
        if (name.compare(QStringLiteral("AddNew"), Qt::CaseInsensitive) == 0) toolbuttonNew = item;
        else if (name.compare(QStringLiteral("Edit"), Qt::CaseInsensitive) == 0) toolbuttonEdit = item;
        else if (name.compare(QStringLiteral("Print"), Qt::CaseInsensitive) == 0) toolbuttonPrint = item;
        else if (name.compare(QStringLiteral("Save"), Qt::CaseInsensitive) == 0) toolbuttonSave = item;
        else if (name.compare(QStringLiteral("Delete"), Qt::CaseInsensitive) == 0) toolbuttonDelete = item;
    }

    setMinimumHeight(157);
    // A database that cannot be listed leaves the window open with an empty list.
    Guard([this] { LoadList(); });
}

void winMain::SetAllowMultipleSelection(bool multiple) {
    mList->setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void winMain::LoadList() {
    auto rows = App::Instance().db() ? App::Instance().db()->SQLSelect(QStringLiteral("Select rowid from passportdata"))
                                     : nullptr;
    RecordSet& rs = Must(rows);
    for (; !rs.Eof(); rs.MoveNext()) LoadItem(static_cast<int>(rs.Field(QStringLiteral("rowid")).IntegerValue()));
    if (mModel->ListCount() == 0) mLoadTimer->start();
}

void winMain::LoadItem(int id) {
    Guard([&] {
        auto record = std::make_shared<PassportPhotoInfo>();
        if (record->LoadID(id)) ProjectExtentions::AddRow(mModel, record);
    });
}

void winMain::LoadTimer_Action() {
    AddNewPicture();
}

QList<int> winMain::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& i : mList->selectionModel()->selectedRows()) rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

int winMain::ListIndex() const {
    const QModelIndex current = mList->selectionModel()->currentIndex();
    if (current.isValid() && mList->selectionModel()->isSelected(current)) return current.row();
    const QList<int> rows = SelectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

void winMain::SetListIndex(int row) {
    const QModelIndex i = mModel->index(row);
    mList->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
}

QList<PhotoListModel::Record> winMain::SelectedRecords() const {
    QList<PhotoListModel::Record> records;
    for (int row : SelectedRows()) records << mModel->CellTag(row);
    return records;
}

void winMain::ListBox1_Change() {
    const auto count = SelectedRows().size();
    if (toolbuttonEdit) toolbuttonEdit->setEnabled(count == 1);
    if (toolbuttonSave) toolbuttonSave->setEnabled(count == 1);
    if (toolbuttonPrint) toolbuttonPrint->setEnabled(count >= 1);
    if (toolbuttonDelete) toolbuttonDelete->setEnabled(count >= 1);
    MenuDispatcher::Instance().EnableMenuItems();
}

void winMain::Event_EnableMenuItems() {
    const auto count = SelectedRows().size();
    auto enable = [](const char* name) {
        if (QAction* item = MenuItem(QString::fromLatin1(name))) item->setEnabled(true);
    };
    if (count == 1) {
        enable("FileSave");
        enable("EditEditSelectedPhoto");
    }
    if (count >= 1) {
        enable("FilePrint");
        enable("EditDelete");
    }
    if (mList->hasFocus()) ListBox1_EnableMenuItems();
}

void winMain::ListBox1_EnableMenuItems() {
    if (QAction* copy = MenuItem(QStringLiteral("EditCopy"))) copy->setEnabled(false);
}

bool winMain::ListBox1_KeyDown(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        EditPicture();
        return true;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        DeleteRow();
        return true;
    default:
        return false;
    }
}

bool winMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        return GuardValue(true, [&] { return ListBox1_KeyDown(key); });
    }
    if (watched == mList && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        MenuDispatcher::Instance().EnableMenuItems();
    return QMainWindow::eventFilter(watched, event);
}

void winMain::ListBox1_DoubleClick() {
    EditPicture();
}

void winMain::Toolbar11_Action(QAction* item) {
    if (!item) return;
    if (item == toolbuttonNew) AddNewPicture();
    else if (item == toolbuttonEdit) EditPicture();
    else if (item == toolbuttonPrint) PrintPicture();
    else if (item == toolbuttonDelete) DeleteRow();
    else if (item == toolbuttonSave) SavePicture();
}

bool winMain::_FileNew_Action() {
    AddNewPicture();
    return false;
}
bool winMain::_FileSave_Action() {
    SavePicture();
    return false;
}
bool winMain::_FilePageSetup_Action() {
    PageSetup();
    return false;
}
bool winMain::_FilePrint_Action() {
    PrintPicture();
    return false;
}
bool winMain::_FileClose_Action() {
    close();
    return false;
}
bool winMain::_EditDelete_Action() {
    DeleteRow();
    return false;
}
bool winMain::_EditEditSelectedPhoto_Action() {
    EditPicture();
    return true;
}

void winMain::RunCommand(std::function<void()> command) {
    if (mSaving) {
        mHeldCommands << std::move(command);
        return;
    }
    command();
}

void winMain::StoreRecord(const PhotoListModel::Record& record) {
    // One pass of the event loop lets the list repaint with the new row; anything the user asks
    // for meanwhile waits until the record is stored.
    mSaving = true;
    QCoreApplication::processEvents();
    QString failure;
    try {
        record->SaveToDB();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    mSaving = false;
    TellMovedAside(std::exchange(DataStore::Current().MovedAside, 0));
    if (!failure.isEmpty())
        Desktop::Current().MsgBox(QStringLiteral("The photo \"%1\" could not be saved: %2\n\nIt stays in the list; "
                                                 "edit it and save again to retry.")
                                      .arg(record->mName, failure));
    const auto held = std::exchange(mHeldCommands, {});
    for (const auto& command : held)
        QTimer::singleShot(0, this, [command] { Guard(command); });
}

void winMain::AddNewPicture() {
    RunCommand([this] {
        auto record = std::make_shared<PassportPhotoInfo>();
        if (!EditWindow::Instance().AddOrEditPhoto(record.get())) return;
        ProjectExtentions::AddRow(mModel, record);
        SetListIndex(mModel->LastIndex());
        StoreRecord(record);
    });
}

void winMain::EditPicture() {
    RunCommand([this] {
        Guard([this] {
            const int row = ListIndex();
            const auto record = mModel->CellTag(row);
            auto copy = std::make_shared<PassportPhotoInfo>(Must(record));
            if (!EditWindow::Instance().AddOrEditPhoto(copy.get())) return;
            mModel->SetCellTag(row, copy);
            StoreRecord(copy);
        });
    });
}

void winMain::DeleteRow() {
    RunCommand([this] {
        const auto count = SelectedRows().size();
        if (count == 0) return;
        const QString message = count == 1
                                    ? QStringLiteral("Are you sure you want to delete this Passport Photo?")
                                    : QStringLiteral("Are you sure you want to delete %1 Passport Photos?").arg(count);
        if (!Desktop::Current().ConfirmSheet(this, message, QStringLiteral("This action is irreversible."),
                                             QStringLiteral("Delete"), QStringLiteral("Don't Delete")))
            return;
        const QList<int> selected = SelectedRows();
        QStringList kept;
        for (int i = mModel->ListCount() - 1; i >= 0; --i) {
            if (!selected.contains(i)) continue;
            const auto record = mModel->CellTag(i);
            if (record) record->DeleteFromDisk();
            // A photo the database would not let go of stays listed, and the user hears of it.
            if (record && record->mRowID != 0) {
                kept.prepend(record->mName);
                continue;
            }
            mModel->RemoveRow(i);
        }
        if (!kept.isEmpty())
            Desktop::Current().MsgBox(QStringLiteral("These photos could not be deleted: %1")
                                          .arg(kept.join(QStringLiteral(", "))));
    });
}

void winMain::PageSetup() {
    RunCommand([this] { PhotoPrinting::PageSetup(PrinterSettings); });
}

void winMain::PrintPicture() {
    RunCommand([this] {
        PhotoPrinting::PrintPicture(PrinterSettings, [this] {
            std::vector<PassportPhotoInfo*> records;
            for (const auto& r : SelectedRecords()) records.push_back(r.get());
            return records;
        });
    });
}

void winMain::SavePicture() {
    RunCommand([this] {
        JpegSheet::SavePicture(mModel->CellTag(ListIndex()).get(), this);
    });
}

void winMain::closeEvent(QCloseEvent* event) {
    Guard([this] {
        Prefs::SetPref(QStringLiteral("winMainPosition"), WindowExtensions::GetPositionAndSize(*this));
    });
    event->accept();
    Guard([] { App::Instance().Quit(0); });
}

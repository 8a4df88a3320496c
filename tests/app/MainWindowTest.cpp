#include "App.h"
#include "TestApp.h"
#include "DataStore.h"
#include "MenuDispatcher.h"
#include "PNGu.h"
#include "PhotoListDelegate.h"
#include "PictureCompare.h"
#include "Prefs.h"
#include "QtPrinters.h"
#include "RecordSet.h"
#include "Resources.h"
#include "ScriptedDesktop.h"
#include "SqlFileDatabase.h"
#include "Toolbar1.h"
#include "XdgSandbox.h"
#include "winMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

// Only ends the wait for a program that hangs: on a busy machine an import and save can take
// many seconds, and how many is no part of what is tested.
constexpr int kHangMs = 60000;

// Scripts for the modal editor, as a user would work it.
std::function<int(QDialog&)> ImportAndSave(const QString& name = {}) {
    return [name](QDialog& d) {
        auto* select = d.findChild<QAbstractButton*>(QStringLiteral("butSelectPhoto"));
        EXPECT_TRUE(select);
        if (select) select->click();
        if (!name.isEmpty()) {
            auto* field = d.findChild<QLineEdit*>(QStringLiteral("efPhotoName"));
            EXPECT_TRUE(field);
            if (field) {
                field->selectAll();
                QTest::keyClicks(field, name);
            }
        }
        auto* ok = d.findChild<QAbstractButton*>(QStringLiteral("butOK"));
        EXPECT_TRUE(ok && ok->isEnabled());
        if (ok) ok->click();
        return d.result();
    };
}

std::function<int(QDialog&)> Rename(const QString& name) {
    return [name](QDialog& d) {
        auto* field = d.findChild<QLineEdit*>(QStringLiteral("efPhotoName"));
        EXPECT_TRUE(field);
        if (field) {
            field->selectAll();
            QTest::keyClicks(field, name);
        }
        if (auto* ok = d.findChild<QAbstractButton*>(QStringLiteral("butOK"))) ok->click();
        return d.result();
    };
}

std::function<int(QDialog&)> RenameThenCancel(const QString& name) {
    return [name](QDialog& d) {
        if (auto* field = d.findChild<QLineEdit*>(QStringLiteral("efPhotoName"))) {
            field->selectAll();
            QTest::keyClicks(field, name);
        }
        if (auto* cancel = d.findChild<QAbstractButton*>(QStringLiteral("butCancel"))) cancel->click();
        return d.result();
    };
}

struct MainWindowTest : ::testing::Test {
    XdgSandbox sandbox;
    std::unique_ptr<App> app;
    ScriptedDesktop* desktop = nullptr;
    QString photo;

    void SetUp() override {
        desktop = &ScriptedDesktop::InstallNew();
        photo = sandbox.Root() + QStringLiteral("/portrait.jpg");
        QImage pic = PictureCompare::Gradient(900, 1200);
        ASSERT_TRUE(QImageWriter(photo, "jpeg").write(pic));
        Prefs::Reset();
    }
    void TearDown() override {
        app.reset();
        Prefs::Reset();
        Desktop::Install(nullptr);
    }
    winMain& Start() {
        app = NewTestApp();
        app->Event_Open();
        EXPECT_TRUE(app->MainWindow);
        return *static_cast<winMain*>(app->MainWindow.data());
    }
    void Restart() {
        app->Event_Close();
        app.reset();
        Start();
    }
    winMain& Win() { return *static_cast<winMain*>(app->MainWindow.data()); }
    QTimer* LoadTimer() { return Win().findChild<QTimer*>(QStringLiteral("LoadTimer")); }
    bool Enabled(const char* item) {
        MenuDispatcher::Instance().SetFrontWindowForTesting(&Win());
        MenuDispatcher::Instance().EnableMenuItems();
        MenuDispatcher::Instance().SetFrontWindowForTesting(nullptr);
        QAction* a = MenuDispatcher::Instance().Item(QString::fromLatin1(item));
        return a && a->isEnabled();
    }
    QStringList ToolStates() {
        QStringList on;
        for (QAction* a : Win().findChild<Toolbar1*>()->actions())
            if (!a->isSeparator() && a->isEnabled() && !a->objectName().isEmpty() &&
                a->objectName() != QStringLiteral("FlexSpace"))
                on << a->objectName();
        return on;
    }
    void Select(QList<int> rows) {
        QItemSelection sel;
        for (int r : rows) sel.select(Win().Rows().index(r), Win().Rows().index(r));
        Win().ListBox1()->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
        if (!rows.isEmpty())
            Win().ListBox1()->selectionModel()->setCurrentIndex(Win().Rows().index(rows.first()),
                                                                QItemSelectionModel::NoUpdate);
    }
    int DatabaseRows() {
        auto rs = app->db()->SQLSelect(QStringLiteral("select count(*) as n from passportdata"));
        return rs ? static_cast<int>(rs->Field(QStringLiteral("n")).IntegerValue()) : -1;
    }
};

TEST_F(MainWindowTest, TheWholeMainRoad) {
    // First start: the editor opens by itself on a new photo.
    desktop->openAnswers.push_back(photo);
    desktop->modalScripts.push_back(ImportAndSave());
    Start();
    ASSERT_TRUE(LoadTimer()->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Win().Rows().ListCount() == 1 && !Win().Saving(); }, kHangMs));
    EXPECT_TRUE(desktop->modalScripts.empty());
    EXPECT_EQ(Win().SelectedRows(), QList<int>({0}));
    const auto first = Win().Rows().CellTag(0);
    ASSERT_GT(first->mRowID, 0);
    EXPECT_TRUE(QFileInfo::exists(sandbox.AppFolder() + QLatin1Char('/') + QString::number(first->mRowID)));
    {
        auto rs = app->db()->SQLSelect(QStringLiteral("select passportpicture, previewpicture from passportdata"));
        ASSERT_TRUE(rs && !rs->Eof());
        EXPECT_EQ(PNGu::GetPictureWithMask(rs->Field(QStringLiteral("passportpicture")).BlobValue()).size(),
                  QSize(600, 600));
        EXPECT_EQ(PNGu::GetPictureWithMask(rs->Field(QStringLiteral("previewpicture")).BlobValue()).size(),
                  QSize(64, 64));
    }

    // Second start: the row loads, nothing selected, only New enabled.
    Restart();
    ASSERT_EQ(Win().Rows().ListCount(), 1);
    EXPECT_FALSE(LoadTimer()->isActive());
    EXPECT_TRUE(Win().SelectedRows().isEmpty());
    EXPECT_EQ(ToolStates(), QStringList({QStringLiteral("AddNew")}));
    EXPECT_FALSE(Enabled("FileSave"));
    EXPECT_FALSE(Enabled("FilePrint"));
    EXPECT_FALSE(Enabled("EditEditSelectedPhoto"));
    EXPECT_FALSE(Enabled("EditDelete"));
    EXPECT_TRUE(Enabled("FileNew"));
    EXPECT_TRUE(Enabled("FilePageSetup"));

    // Edit, then Cancel: nothing changes.
    Select({0});
    const auto loaded = Win().Rows().CellTag(0);
    const QString name = loaded->mName;
    desktop->modalScripts.push_back(RenameThenCancel(QStringLiteral("Changed")));
    Win().EditPicture();
    EXPECT_EQ(Win().Rows().CellTag(0), loaded);
    EXPECT_EQ(loaded->mName, name);

    // Edit, rename, Save: the same row is updated.
    desktop->modalScripts.push_back(Rename(QStringLiteral("Ada Lovelace")));
    Win().EditPicture();
    EXPECT_EQ(Win().Rows().CellTag(0)->mName, QStringLiteral("Ada Lovelace"));
    EXPECT_EQ(DatabaseRows(), 1);
    {
        auto rs = app->db()->SQLSelect(QStringLiteral("select name from passportdata"));
        EXPECT_EQ(rs->Field(QStringLiteral("name")).StringValue(), QStringLiteral("Ada Lovelace"));
    }

    // A second photo through the menu.
    desktop->openAnswers.push_back(photo);
    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Second")));
    MenuDispatcher::Instance().SetFrontWindowForTesting(&Win());
    MenuDispatcher::Instance().Dispatch(QStringLiteral("FileNew")); // its handler reports False
    MenuDispatcher::Instance().SetFrontWindowForTesting(nullptr);
    ASSERT_EQ(Win().Rows().ListCount(), 2);
    EXPECT_EQ(Win().SelectedRows(), QList<int>({1}));
    EXPECT_EQ(DatabaseRows(), 2);

    // One selected: all four; two selected: Print and Delete only.
    Select({0});
    EXPECT_EQ(ToolStates(), QStringList({"AddNew", "Edit", "Print", "Save", "Delete"}));
    EXPECT_TRUE(Enabled("FileSave") && Enabled("EditEditSelectedPhoto") && Enabled("FilePrint") &&
                Enabled("EditDelete"));
    Select({0, 1});
    EXPECT_EQ(ToolStates(), QStringList({"AddNew", "Print", "Delete"}));
    EXPECT_FALSE(Enabled("FileSave"));
    EXPECT_FALSE(Enabled("EditEditSelectedPhoto"));
    EXPECT_TRUE(Enabled("FilePrint") && Enabled("EditDelete"));

    // Delete both after confirming.
    QStringList statements;
    sqlite3_trace_v2(
        app->db()->Handle(), SQLITE_TRACE_STMT,
        [](unsigned, void* ctx, void* stmt, void*) {
            static_cast<QStringList*>(ctx)->append(QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt*>(stmt))));
            return 0;
        },
        &statements);
    const int id0 = Win().Rows().CellTag(0)->mRowID, id1 = Win().Rows().CellTag(1)->mRowID;
    desktop->sheetAnswers.push_back(true);
    Win().DeleteRow();
    EXPECT_EQ(desktop->sheets.last(), QStringLiteral("Are you sure you want to delete 2 Passport Photos?"));
    EXPECT_EQ(Win().Rows().ListCount(), 0);
    EXPECT_EQ(DatabaseRows(), 0);
    EXPECT_FALSE(QFileInfo::exists(sandbox.AppFolder() + QLatin1Char('/') + QString::number(id0)));
    EXPECT_FALSE(QFileInfo::exists(sandbox.AppFolder() + QLatin1Char('/') + QString::number(id1)));

    // Closing stores the position; the application's close compacts the database once.
    Win().close();
    EXPECT_TRUE(app->QuitRequested());
    EXPECT_FALSE(Prefs::GetPref(QStringLiteral("winMainPosition"), QString()).toString().isEmpty());
    statements.clear();
    app->Event_Close();
    EXPECT_EQ(statements.filter(QStringLiteral("Vacuum"), Qt::CaseInsensitive).size(), 1);
}

TEST_F(MainWindowTest, CancellingTheFirstEditorLeavesTheListEmptyForGood) {
    Start();
    ASSERT_TRUE(LoadTimer()->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !LoadTimer()->isActive(); }, kHangMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(Win().Rows().ListCount(), 0);
    EXPECT_FALSE(LoadTimer()->isActive());
    EXPECT_EQ(DatabaseRows(), 0);
}

TEST_F(MainWindowTest, KeysAndDeleteConfirmationWithoutOrWithSelection) {
    // Three stored photos.
    {
        Start();
        LoadTimer()->stop();
        for (int i = 0; i < 3; ++i) {
            desktop->openAnswers.push_back(photo);
            desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Photo %1").arg(i)));
            Win().AddNewPicture();
        }
        ASSERT_EQ(Win().Rows().ListCount(), 3);
    }
    Restart();
    ASSERT_EQ(Win().Rows().ListCount(), 3);
    QListView* list = Win().ListBox1();

    // Nothing selected: Return does nothing, Backspace shows no dialog.
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClick(list, Qt::Key_Backspace);
    EXPECT_TRUE(desktop->sheets.isEmpty());

    Select({1});
    QTest::keyClick(list, Qt::Key_Backspace); // "Don't Delete"
    ASSERT_EQ(desktop->sheets.size(), 1);
    EXPECT_EQ(desktop->sheets[0], QStringLiteral("Are you sure you want to delete this Passport Photo?"));
    EXPECT_EQ(Win().Rows().ListCount(), 3);

    Select({0, 1, 2});
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(desktop->sheets.last(), QStringLiteral("Are you sure you want to delete 3 Passport Photos?"));
    EXPECT_EQ(Win().Rows().ListCount(), 3);
    EXPECT_EQ(DatabaseRows(), 3);
}

TEST_F(MainWindowTest, SingleSelectionWhenThePreferenceSaysSo) {
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    Prefs::SetPref(QStringLiteral("AllowMultipleSelection"), false);
    Prefs::SavePrefs();
    Prefs::Reset();
    Start();
    EXPECT_EQ(Win().ListBox1()->selectionMode(), QAbstractItemView::SingleSelection);
}

TEST_F(MainWindowTest, RowsArePaintedWithActiveAndInactiveColours) {
    Start();
    LoadTimer()->stop();
    desktop->openAnswers.push_back(photo);
    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Grace Hopper")));
    Win().AddNewPicture();
    ASSERT_EQ(Win().Rows().ListCount(), 1);
    PhotoListDelegate delegate(&Win().Rows());
    auto paint = [&](bool selected, bool active) {
        QImage cell(320, 72, QImage::Format_RGB32);
        cell.fill(Qt::magenta);
        QPainter g(&cell);
        delegate.PaintRow(g, cell.size(), 0, selected, active, Qt::white);
        g.end();
        return cell;
    };
    EXPECT_EQ(paint(false, true).pixel(300, 2) & 0xFFFFFF, 0xD4DDE5u);
    EXPECT_EQ(paint(false, false).pixel(300, 2) & 0xFFFFFF, 0xE8E8E8u);
    const QImage blue = paint(true, true), grey = paint(true, false);
    const QImage blueStrip = Resources::BlueHighlight(), greyStrip = Resources::GrayHighlight();
    ASSERT_FALSE(blueStrip.isNull());
    EXPECT_NE(blue.pixel(300, 36), grey.pixel(300, 36));
    EXPECT_NE(blue.pixel(300, 36) & 0xFFFFFF, 0xFF00FFu);
    // The preview sits at (0, 4) and the name's ink starts right of x 72.
    const QImage row = paint(false, true);
    EXPECT_EQ(row.pixel(32, 36), Win().Rows().CellTag(0)->mPicPreview.pixel(32, 32) | 0xFF000000u);
    bool ink = false;
    for (int x = 72; x < 200 && !ink; ++x)
        for (int y = 8; y < 24 && !ink; ++y) ink = (row.pixel(x, y) & 0xFFFFFF) != 0xD4DDE5u;
    EXPECT_TRUE(ink);
    row.save(QDir::tempPath() + QStringLiteral("/kestrine-row.png"));
}

} // namespace

namespace {

TEST_F(MainWindowTest, AFailedSaveIsReportedAndTheRowStaysListed) {
    Start();
    LoadTimer()->stop();
    // The picture file cannot be written: its folder is gone.
    const QString folder = DataStore::Current().AppFolder;
    DataStore::Current().AppFolder = sandbox.Root() + QStringLiteral("/no/such/folder");
    desktop->openAnswers.push_back(photo);
    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Unlucky")));
    Win().AddNewPicture();
    DataStore::Current().AppFolder = folder;
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("Unlucky")));
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("could not be saved")));
    ASSERT_EQ(Win().Rows().ListCount(), 1);

    // Edit, Save again: now it is stored.
    Select({0});
    desktop->modalScripts.push_back(Rename(QStringLiteral("Lucky")));
    Win().EditPicture();
    EXPECT_EQ(desktop->messages.size(), 1);
    const int id = Win().Rows().CellTag(0)->mRowID;
    ASSERT_GT(id, 0);
    EXPECT_TRUE(QFileInfo::exists(folder + QLatin1Char('/') + QString::number(id)));

    // A file that appeared under the next photo's name is kept aside, and the user hears where.
    QFile stray(folder + QLatin1Char('/') + QString::number(id + 1));
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.close();
    desktop->openAnswers.push_back(photo);
    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Next")));
    Win().AddNewPicture();
    ASSERT_EQ(desktop->messages.size(), 2);
    EXPECT_EQ(desktop->messages[1], QStringLiteral("Kestrine found a picture in its data folder that belongs to no "
                                                   "photo in its list. It is kept in \"%1/Recovered\".")
                                        .arg(folder));

    // One that cannot be moved there (Recovered is a plain file) stays where it is, untouched,
    // and the user is not told it was kept in Recovered.
    ASSERT_TRUE(QDir(folder).rename(QStringLiteral("Recovered"), QStringLiteral("Recovered earlier")));
    for (const QString& name : {QStringLiteral("Recovered"), QString::number(id + 3)}) {
        QFile plain(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
        plain.write("an earlier photo");
    }
    desktop->openAnswers.push_back(photo);
    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Third")));
    Win().AddNewPicture();
    EXPECT_EQ(desktop->messages.size(), 2) << desktop->messages.join('\n').toStdString();
    EXPECT_EQ(Win().Rows().CellTag(Win().Rows().LastIndex())->mRowID, id + 4);
    QFile stayed(folder + QLatin1Char('/') + QString::number(id + 3));
    ASSERT_TRUE(stayed.open(QIODevice::ReadOnly));
    EXPECT_EQ(stayed.readAll(), "an earlier photo");
}

TEST_F(MainWindowTest, ScreenshotWithThreePhotos) {
    Start();
    LoadTimer()->stop();
    const QStringList names = {QStringLiteral("Ada Lovelace"), QStringLiteral("Grace Brewster Murray Hopper"),
                               QStringLiteral("Alan Turing")};
    for (const QString& name : names) {
        desktop->openAnswers.push_back(photo);
        desktop->modalScripts.push_back(ImportAndSave(name));
        Win().AddNewPicture();
    }
    ASSERT_EQ(Win().Rows().ListCount(), 3);
    Select({1});
    Win().resize(300, 300);
    const QImage shot = Win().grab().toImage();
    shot.save(QDir::tempPath() + QStringLiteral("/kestrine-main.png"));
    // Every row shows its preview: the second row's preview centre is not the row background.
    const QPoint inList = Win().ListBox1()->mapTo(&Win(), QPoint(32, 72 + 36));
    EXPECT_NE(shot.pixel(inList) & 0xFFFFFF, 0xD4DDE5u);
}

} // namespace

namespace {

TEST_F(MainWindowTest, APhotoTheDatabaseWillNotDeleteStaysListedAndTheUserIsTold) {
    Start();
    LoadTimer()->stop();
    desktop->openAnswers.push_back(photo);
    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Stubborn")));
    Win().AddNewPicture();
    ASSERT_EQ(Win().Rows().ListCount(), 1);
    ASSERT_TRUE(app->db()->SQLExecute(QStringLiteral(
        "create trigger refuse before delete on passportdata begin select raise(abort, 'refused'); end")));
    Select({0});
    desktop->sheetAnswers.push_back(true);
    Win().DeleteRow();
    EXPECT_EQ(Win().Rows().ListCount(), 1);
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("Stubborn")));
    EXPECT_FALSE(app->RecordsWasDeleted());
}

} // namespace

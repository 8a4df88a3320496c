#include "App.h"
#include "TestApp.h"
#include "CpuClock.h"
#include "DataFileFaults.h"
#include "DataStore.h"
#include "PictureCompare.h"
#include "Prefs.h"
#include "PrinterSetupString.h"
#include "QtPrinters.h"
#include "ReadOnlyFile.h"
#include "RecordSet.h"
#include "ScriptedDesktop.h"
#include "SqlFileDatabase.h"
#include "XdgSandbox.h"
#include "winMain.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QLineEdit>
#include <QListView>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <optional>

namespace {

using namespace DataFileFaults;

struct BadStoredDataAppTest : ::testing::Test {
    XdgSandbox sandbox;
    QTemporaryDir scratch;
    std::unique_ptr<App> app;
    ScriptedDesktop* desktop = nullptr;
    QString photo;

    void SetUp() override {
        desktop = &ScriptedDesktop::InstallNew();
        Prefs::Reset();
        QDir().mkpath(sandbox.AppFolder());
        photo = scratch.filePath(QStringLiteral("portrait.jpg"));
        ASSERT_TRUE(QImageWriter(photo, "jpeg").write(PictureCompare::Gradient(900, 1200)));
    }
    void TearDown() override {
        DropApp();
        Prefs::Reset();
        Desktop::Install(nullptr);
    }
    QString DataFile() const { return sandbox.AppFolder() + QStringLiteral("/DataFile"); }
    // The editor window closes with deleteLater; with no event loop running here, it would
    // outlive its application and show up as a leak.
    void DropApp() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app.reset();
    }
    void Start() {
        DropApp();
        app = NewTestApp();
        app->Event_Open();
    }
    void Restart() {
        app->Event_Close();
        Start();
    }
    winMain* Win() { return static_cast<winMain*>(app->MainWindow.data()); }
    void StopFirstPhotoTimer() {
        if (Win())
            if (auto* timer = Win()->findChild<QTimer*>(QStringLiteral("LoadTimer"))) timer->stop();
    }
    QStringList Names() {
        QStringList names;
        for (int row = 0; Win() && row < Win()->Rows().ListCount(); ++row)
            names << Win()->Rows().CellTag(row)->mName;
        return names;
    }
    void Select(QList<int> rows) {
        QItemSelection sel;
        for (int r : rows)
            sel.select(Win()->Rows().index(r), Win()->Rows().index(r));
        Win()->ListBox1()->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
        Win()->ListBox1()->selectionModel()->setCurrentIndex(Win()->Rows().index(rows.first()),
                                                             QItemSelectionModel::NoUpdate);
    }
    QString CorruptMessage() const {
        return QStringLiteral("Data file at ") + QFileInfo(DataFile()).absoluteFilePath() +
               QStringLiteral(" appears corrupt.  Try deleting file and restarting app.");
    }
    // The editor as a user works it: import the test photo, name it, Save.
    std::function<int(QDialog&)> ImportAndSave(const QString& name) {
        desktop->openAnswers.push_back(photo);
        return [name](QDialog& d) {
            if (auto* select = d.findChild<QAbstractButton*>(QStringLiteral("butSelectPhoto")))
                select->click();
            if (auto* field = d.findChild<QLineEdit*>(QStringLiteral("efPhotoName"))) {
                field->selectAll();
                QTest::keyClicks(field, name);
            }
            auto* ok = d.findChild<QAbstractButton*>(QStringLiteral("butOK"));
            EXPECT_TRUE(ok && ok->isEnabled());
            if (ok) ok->click();
            return d.result();
        };
    }
};

// The pages of a PDF as grey pictures, through poppler's rasteriser.
QList<QImage> Rasterise(const QString& pdf, QString* problem) {
    QTemporaryDir out;
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("20"), QStringLiteral("-gray"),
                                         QStringLiteral("-png"), pdf, out.filePath(QStringLiteral("page"))});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *problem = QStringLiteral("pdftoppm (poppler-utils) failed: ") + p.errorString();
        return {};
    }
    QList<QImage> pages;
    for (const QString& name :
         QDir(out.path()).entryList({QStringLiteral("page-*.png")}, QDir::Files, QDir::Name))
        pages << QImage(out.filePath(name)).convertToFormat(QImage::Format_Grayscale8);
    return pages;
}

int Darkest(const QImage& grey) {
    int least = 255;
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            least = std::min<int>(least, grey.constScanLine(y)[x]);
    return least;
}

TEST_F(BadStoredDataAppTest, AnUnusableDataFileIsReportedAtStartAndLeftAsItWas) {
    const QString sample = scratch.filePath(QStringLiteral("sample"));
    ASSERT_TRUE(MakeSample(sample, 6));
    const QByteArray whole = Bytes(sample);
    const int page = PageSize(sample);
    const int root = RootPage(sample, QStringLiteral("passportdata"));
    QByteArray rootDamaged = whole;
    for (int i = 0; i < page; ++i)
        rootDamaged[(root - 1) * page + i] = static_cast<char>(i * 37);
    const QString crashed = scratch.filePath(QStringLiteral("crashed"));
    ASSERT_TRUE(CrashSnapshot(sample, crashed));

    // A file whose crash journal cannot be rolled back for want of write access is not damaged:
    // it is reported as unopenable, and no one is told to delete it.
    struct Case {
        const char* name;
        QByteArray file;
        QByteArray journal;
        bool readOnly;
    };
    const std::vector<Case> cases = {
        {"text", QByteArray("DrawCropMarks=boolean=True\n").repeated(200), {}, false},
        {"truncated", whole.left(whole.size() / 2), {}, false},
        {"the photo table's root page damaged", rootDamaged, {}, false},
        {"crash journal lost", Bytes(crashed), {}, false},
        {"crash journal that cannot be rolled back", Bytes(crashed),
         Bytes(crashed + QStringLiteral("-journal")), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(DataFile(), c.file);
        QFile::remove(DataFile() + QStringLiteral("-journal"));
        if (!c.journal.isEmpty()) Write(DataFile() + QStringLiteral("-journal"), c.journal);
        const QStringList files = Files(sandbox.AppFolder());
        std::optional<ReadOnlyFile> readOnly;
        if (c.readOnly) {
            readOnly.emplace(DataFile());
            if (!readOnly->Active()) continue; // the file system cannot make a file read-only
        }
        desktop->messages.clear();
        Start();
        EXPECT_EQ(desktop->messages,
                  QStringList({c.readOnly ? QStringLiteral("Data file at ") + QFileInfo(DataFile()).absoluteFilePath() +
                                                QStringLiteral(" cannot be opened: attempt to write a readonly "
                                                               "database.  Check that you may read and write it, and "
                                                               "restart app.")
                                          : CorruptMessage()}));
        EXPECT_TRUE(app->QuitRequested());
        app.reset();
        readOnly.reset();
        EXPECT_EQ(Bytes(DataFile()), c.file);
        EXPECT_EQ(Bytes(DataFile() + QStringLiteral("-journal")), c.journal);
        EXPECT_EQ(Files(sandbox.AppFolder()), files);
    }
}

TEST_F(BadStoredDataAppTest, AnEmptyDataFileLeftByAnInterruptedFirstStartGetsItsTables) {
    Write(DataFile(), {});
    Start();
    EXPECT_TRUE(desktop->messages.isEmpty());
    EXPECT_FALSE(app->QuitRequested());
    ASSERT_TRUE(app->db());
    auto tables = app->db()->SQLSelect(QStringLiteral("select name from sqlite_master order by name"));
    ASSERT_TRUE(tables);
    QStringList names;
    for (; !tables->Eof(); tables->MoveNext())
        names << tables->Field(QStringLiteral("name")).StringValue();
    EXPECT_EQ(names, QStringList({QStringLiteral("passportdata"), QStringLiteral("preferences")}));

    // As on any first start, the editor opens on a first photo, and it is stored.
    ASSERT_TRUE(Win());
    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("First")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Win()->Rows().ListCount() == 1 && !Win()->Saving(); }, 60000));
    EXPECT_TRUE(desktop->messages.isEmpty());
    Restart();
    EXPECT_EQ(Names(), QStringList({QStringLiteral("First")}));
}

TEST_F(BadStoredDataAppTest, ADatabaseWithoutThePhotoTableOpensEmptyAndTheFirstSaveSaysItFailed) {
    {
        SqlFileDatabase other;
        other.DatabaseFile = DataFile();
        ASSERT_TRUE(other.CreateDatabaseFile());
        ASSERT_TRUE(other.SQLExecute(QStringLiteral("create table notes (text varchar)")));
    }
    const QByteArray before = Bytes(DataFile());
    Start();
    EXPECT_TRUE(desktop->messages.isEmpty());
    EXPECT_FALSE(app->QuitRequested());
    ASSERT_TRUE(Win());
    EXPECT_EQ(Win()->Rows().ListCount(), 0);

    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Nowhere")));
    Win()->AddNewPicture();
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("could not be saved")))
        << desktop->messages[0].toStdString();
    EXPECT_EQ(Bytes(DataFile()), before); // no table made in a file that is not ours
}

TEST_F(BadStoredDataAppTest, ACrashJournalIsRolledBackAtStartAndEveryCommittedPhotoIsListed) {
    const QString sample = scratch.filePath(QStringLiteral("sample"));
    ASSERT_TRUE(MakeSample(sample, 5));
    ASSERT_TRUE(CrashSnapshot(sample, DataFile()));
    Start();
    EXPECT_TRUE(desktop->messages.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(DataFile() + QStringLiteral("-journal")));
    EXPECT_EQ(Names(), QStringList({"Photo 1", "Photo 2", "Photo 3", "Photo 4", "Photo 5"}));
    auto check = app->db()->SQLSelect(QStringLiteral("PRAGMA integrity_check"));
    ASSERT_TRUE(check);
    EXPECT_EQ(check->IdxField(1).StringValue(), QStringLiteral("ok"));
}

TEST_F(BadStoredDataAppTest, AReadOnlyDataFileListsThePhotosAndEverySaveSaysItFailed) {
    ASSERT_TRUE(MakeSample(DataFile(), 3));
    const QByteArray before = Bytes(DataFile());
    ReadOnlyFile readOnly(DataFile());
    if (!readOnly.Active()) GTEST_SKIP() << "this file system cannot make a file read-only";

    Start();
    EXPECT_TRUE(desktop->messages.isEmpty());
    EXPECT_EQ(Names(), QStringList({"Photo 1", "Photo 2", "Photo 3"}));

    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Renamed")));
    Select({1});
    Win()->EditPicture();
    // The sample photos have no picture files: the editor says so first.
    ASSERT_EQ(desktop->messages.size(), 2);
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("missing or damaged"))) << desktop->messages[0].toStdString();
    desktop->messages.removeFirst();
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("\"Renamed\" could not be saved")))
        << desktop->messages[0].toStdString();

    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("New one")));
    Win()->AddNewPicture();
    ASSERT_EQ(desktop->messages.size(), 2);
    EXPECT_TRUE(desktop->messages[1].contains(QStringLiteral("\"New one\" could not be saved")))
        << desktop->messages[1].toStdString();
    EXPECT_EQ(Bytes(DataFile()), before);
}

TEST_F(BadStoredDataAppTest, PhotosWhosePictureFileIsMissingOrNoPictureAreListedPrintedAndEditedAsNew) {
    Start();
    StopFirstPhotoTimer();
    for (const QString& name :
         {QStringLiteral("Missing"), QStringLiteral("Text"), QStringLiteral("Folder")}) {
        desktop->modalScripts.push_back(ImportAndSave(name));
        Win()->AddNewPicture();
    }
    ASSERT_EQ(Names(), QStringList({"Missing", "Text", "Folder"}));
    QList<int> ids;
    for (int row = 0; row < 3; ++row)
        ids << Win()->Rows().CellTag(row)->mRowID;
    auto fileOf = [&](int row) { return sandbox.AppFolder() + QLatin1Char('/') + QString::number(ids[row]); };
    ASSERT_TRUE(QFile::remove(fileOf(0)));
    Write(fileOf(1), "this is not a picture");
    ASSERT_TRUE(QFile::remove(fileOf(2)) && QDir().mkpath(fileOf(2)));
    const QStringList files = Files(sandbox.AppFolder());

    Restart();
    StopFirstPhotoTimer();
    ASSERT_EQ(Names(), QStringList({"Missing", "Text", "Folder"}));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Win()->Rows().CellTag(row)->mPicPreview.size(), QSize(64, 64));
        EXPECT_TRUE(Win()->Rows().CellTag(row)->mPicOriginal().isNull());
    }

    // Printed from the database: one page each, each with its photo on it.
    const QString pdf = scratch.filePath(QStringLiteral("printed.pdf"));
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFileName(pdf);
    printer->setResolution(720);
    Prefs::SetPref(QStringLiteral("printersettings"), PrinterSetupString::SetupString(*printer));
    desktop->printAnswers = {true};
    Select({0, 1, 2});
    Win()->PrintPicture();
    EXPECT_TRUE(desktop->messages.isEmpty());
    QString problem;
    const QList<QImage> pages = Rasterise(pdf, &problem);
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    ASSERT_EQ(pages.size(), 3);
    for (const QImage& p : pages)
        EXPECT_LT(Darkest(p), 160);

    // The editor opens on such a photo as on a new one: nothing to save until a picture is
    // imported. Cancelled, it changes nothing.
    Select({1});
    bool looked = false;
    desktop->modalScripts.push_back([&](QDialog& d) {
        looked = true;
        EXPECT_FALSE(d.findChild<QAbstractButton*>(QStringLiteral("butOK"))->isEnabled());
        EXPECT_FALSE(d.findChild<QWidget*>(QStringLiteral("EnableCanvas"))->isEnabled());
        d.findChild<QAbstractButton*>(QStringLiteral("butCancel"))->click();
        return d.result();
    });
    const auto listed = Win()->Rows().CellTag(1);
    Win()->EditPicture();
    EXPECT_TRUE(looked);
    const QStringList missing{QStringLiteral(
        "The original picture of this photo is missing or damaged; select a photo file to make it again.")};
    EXPECT_EQ(desktop->messages, missing);
    desktop->messages.clear();
    EXPECT_EQ(Win()->Rows().CellTag(1), listed);
    EXPECT_EQ(Files(sandbox.AppFolder()), files);
    EXPECT_EQ(Bytes(fileOf(1)), QByteArray("this is not a picture"));

    // A new picture saved over it makes it whole again.
    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Mended")));
    Win()->EditPicture();
    EXPECT_EQ(desktop->messages, missing); // said on opening; the save itself went through
    Restart();
    StopFirstPhotoTimer();
    ASSERT_EQ(Names(), QStringList({"Missing", "Mended", "Folder"}));
    EXPECT_EQ(Win()->Rows().CellTag(1)->mPicOriginal().size(), QSize(900, 1200));
}

TEST_F(BadStoredDataAppTest, MalformedRestoreInfoOpensTheEditorAndSavesWithoutHarm) {
    Start();
    StopFirstPhotoTimer();
    desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Odd")));
    Win()->AddNewPicture();
    ASSERT_EQ(Names(), QStringList({QStringLiteral("Odd")}));
    const int id = Win()->Rows().CellTag(0)->mRowID;

    auto entry = [](const char* tag, const QString& key, const QString& data) {
        return std::pair{QStringLiteral("%1%2.%3").arg(QLatin1String(tag)).arg(key.size()).arg(data.size()),
                         key + data};
    };
    auto info = [](std::initializer_list<std::pair<QString, QString>> entries) {
        QStringList header;
        QString body;
        for (const auto& [h, b] : entries) {
            header << h;
            body += b;
        }
        return header.join(QLatin1Char(':')) + QLatin1Char(';') + body;
    };
    const QString huge = QStringLiteral("1e308"), tiny = QStringLiteral("-1e308");
    const QStringList variants = {
        info({entry("d", "LastPercentScale", huge), entry("d", "LastSize", huge),
              entry("i", "Brightness", "2147483647"), entry("i", "Contrast", "-2147483648"),
              entry("i", "PicCenterX", "2147483647"), entry("i", "PicCenterY", "-2147483648"),
              entry("d", "ScaleMax", huge), entry("d", "ScaleMin", huge)}),
        info({entry("d", "LastPercentScale", tiny), entry("d", "LastSize", tiny),
              entry("i", "Brightness", "-999"), entry("i", "Contrast", "999"), entry("i", "PicCenterX", "-5"),
              entry("i", "PicCenterY", "-5"), entry("d", "ScaleMax", tiny), entry("d", "ScaleMin", tiny)}),
        info({entry("d", "LastPercentScale", "1e-308"), entry("d", "LastSize", "0"),
              entry("i", "Brightness", "0"), entry("i", "Contrast", "0"), entry("i", "PicCenterX", "0"),
              entry("i", "PicCenterY", "0"), entry("d", "ScaleMax", "0"), entry("d", "ScaleMin", "0")}),
        info({entry("s", "LastPercentScale", "nan"), entry("c", "LastSize", "c1.1;kc"),
              entry("p", "Brightness", "x")}),
        QStringLiteral("s0.999999999;") + QString(100000, QChar(0)),
    };
    for (const QString& restore : variants) {
        SCOPED_TRACE(restore.left(120).toStdString());
        ASSERT_TRUE(app->db()->SQLExecute(
            QStringLiteral("update passportdata set restoreinfo = ? where rowid = ?"), {restore, id}));
        Restart();
        StopFirstPhotoTimer();
        Select({0});
        bool saved = false;
        desktop->modalScripts.push_back([&](QDialog& d) {
            auto* ok = d.findChild<QAbstractButton*>(QStringLiteral("butOK"));
            if (ok && ok->isEnabled()) {
                ok->click();
                saved = true;
            }
            return d.result();
        });
        const qint64 start = CpuClock::ProcessMs();
        Win()->EditPicture();
        EXPECT_LT(CpuClock::ProcessMs() - start, 3000);
        EXPECT_TRUE(saved);
        EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
        EXPECT_EQ(Win()->Rows().CellTag(0)->mPicPassPort().size(), QSize(600, 600));
    }
}

TEST_F(BadStoredDataAppTest, MalformedPreferencesForTheWindowAndThePrinterDoNoHarm) {
    const QString pdf = scratch.filePath(QStringLiteral("out.pdf"));
    const QString file = QString::fromLatin1(QUrl::toPercentEncoding(pdf));
    auto setup = [&](const QString& size, const QString& width, const QString& height, const QString& margins,
                     const QString& resolution) {
        return QStringLiteral(
                   "kestrine-page-setup 1;printer=;file=%1;size=%2;width=%3;height=%4;sizeunits=0;name=x;"
                   "orientation=0;margins=%5;units=0;resolution=%6")
            .arg(file, size, width, height, QString::fromLatin1(QUrl::toPercentEncoding(margins)),
                 resolution);
    };
    const QStringList printerSettings = {
        setup(QString::number(QPageSize::Custom), "1e300", "1e300", "0,0,0,0", "720"),
        setup(QString::number(QPageSize::Custom), "0.0001", "0.0001", "0,0,0,0", "720"),
        setup(QString::number(QPageSize::A4), "0", "0", "nan,nan,inf,-inf", "720"),
        setup(QString::number(QPageSize::A4), "0", "0", "1e300,1e300,1e300,1e300", "720"),
        setup(QString::number(QPageSize::A4), "0", "0", "0,0,0,0", "2147483647"),
        QStringLiteral("kestrine-page-setup 1;") + QString(1'000'000, QLatin1Char(';')),
    };
    const QStringList positions = {QStringLiteral("wp=-2147483648,-2147483648,2147483647,2147483647"),
                                   QStringLiteral("wp=0,0,-5,-5"), QStringLiteral("wp=nan,inf,1e999,x"),
                                   QStringLiteral("wp=") + QString(1'000'000, QLatin1Char(','))};
    for (int i = 0; i < printerSettings.size(); ++i) {
        SCOPED_TRACE(i);
        Prefs::Reset();
        Prefs::LoadPrefs(QStringLiteral("Kestrine"));
        Prefs::SetPref(QStringLiteral("winMainPosition"), positions[i % positions.size()]);
        Prefs::SetPref(QStringLiteral("printersettings"), printerSettings[i]);
        Prefs::SavePrefs();
        Prefs::Reset();
        QFile::remove(pdf);
        Start();
        ASSERT_TRUE(Win());
        StopFirstPhotoTimer();
        EXPECT_LE(Win()->width(), 400);
        if (i == 0) {
            desktop->modalScripts.push_back(ImportAndSave(QStringLiteral("Printed")));
            Win()->AddNewPicture();
        }
        ASSERT_EQ(Win()->Rows().ListCount(), 1);
        Select({0});
        desktop->printAnswers = {true};
        desktop->pageSetupAnswers = {true};
        const qint64 start = CpuClock::ProcessMs();
        Win()->PrintPicture();
        EXPECT_LT(CpuClock::ProcessMs() - start, 5000);
        // Either the pages come out, or the user is told they did not.
        EXPECT_NE(QFileInfo::exists(pdf), !desktop->messages.isEmpty())
            << desktop->messages.join('|').toStdString();
        desktop->messages.clear();
    }
}

} // namespace

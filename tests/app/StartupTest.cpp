#include "App.h"
#include "TestApp.h"
#include "CpuClock.h"
#include "DataFileFaults.h"
#include "DataStore.h"
#include "MenuDispatcher.h"
#include "PassportPhotoInfo.h"
#include "QtPrinters.h"
#include "RecordSet.h"
#include "ScriptedDesktop.h"
#include "SqlFileDatabase.h"
#include "XdgSandbox.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdexcept>
#include <sys/stat.h>

namespace {

struct StartupTest : AppTest {
    QString DataFile() const { return sandbox.AppFolder() + QStringLiteral("/DataFile"); }
    void Restart() {
        app.reset();
        app = NewTestApp();
    }
    // A data folder of an earlier library: `files`, each holding "an earlier photo <name>", and
    // an empty DataFile when `emptyDataFile`; the application is not running.
    void EarlierFolder(const QStringList& files, bool emptyDataFile = false) {
        app.reset(); // it holds the library's lock file
        const QString folder = sandbox.AppFolder();
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        if (emptyDataFile) QFile(DataFile()).open(QIODevice::WriteOnly);
        for (const QString& name : files) {
            QFile f(folder + QLatin1Char('/') + name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("an earlier photo " + name.toUtf8());
        }
    }
};

QStringList SchemaOf(SqlFileDatabase& db) {
    QStringList sql;
    auto rs = db.SQLSelect(QStringLiteral("select sql from sqlite_master"));
    for (; rs && !rs->Eof(); rs->MoveNext()) sql << rs->Field(QStringLiteral("sql")).StringValue();
    return sql;
}

TEST_F(StartupTest, FirstStartCreatesTheFolderAndSchemaSecondStartOpensIt) {
    app->Event_Open();
    EXPECT_FALSE(app->QuitRequested());
    EXPECT_TRUE(desktop->messages.isEmpty());
    EXPECT_EQ(app->AppFolder(), sandbox.AppFolder());
    ASSERT_TRUE(QFileInfo(DataFile()).isFile());
    ASSERT_TRUE(app->db());
    // SQLite keeps the statements as written, apart from upper-casing "CREATE TABLE".
    EXPECT_EQ(SchemaOf(*app->db()).join('\n').toLower(),
              QStringList({QStringLiteral("create table passportdata (rowid integer primary key, name varchar, "
                                          "creationdate timestamp, passportpicture binary, previewpicture binary, "
                                          "passportformat varchar, restoreinfo varchar)"),
                           QStringLiteral("CREATE TABLE preferences ( prefname VARCHAR, prefvalue VARCHAR )")})
                  .join('\n')
                  .toLower());
    auto rows = app->db()->SQLSelect(QStringLiteral("select rowid from passportdata"));
    ASSERT_TRUE(rows);
    EXPECT_TRUE(rows->Eof());
    EXPECT_EQ(QDir(sandbox.AppFolder()).entryList(QDir::Files), QStringList({QStringLiteral("DataFile")}));

    app->db()->SQLExecute(QStringLiteral("insert into passportdata (name) values ('kept')"));
    Restart();
    app->Event_Open();
    ASSERT_TRUE(app->db());
    EXPECT_EQ(SchemaOf(*app->db()).size(), 2);
    auto kept = app->db()->SQLSelect(QStringLiteral("select name from passportdata"));
    ASSERT_TRUE(kept && !kept->Eof());
    EXPECT_EQ(kept->Field(QStringLiteral("name")).StringValue(), QStringLiteral("kept"));
}

TEST_F(StartupTest, ANewLibraryBesideOldPicturesKeepsThemAsideAndSaysWhereOnce) {
    const QString folder = sandbox.AppFolder();
    const QString recovered = folder + QStringLiteral("/Recovered");
    for (const bool emptyFile : {false, true}) {
        SCOPED_TRACE(emptyFile ? "an empty DataFile" : "no DataFile");
        // Numbered pictures, a picture a save left pending and one a delete set aside: in a new
        // library each may be the last copy of a photo.
        ASSERT_NO_FATAL_FAILURE(EarlierFolder({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3.Ab12Cd"),
                                               QStringLiteral("4.deleted")},
                                              emptyFile));
        Restart();
        desktop->messages.clear();
        app->Event_Open();
        ASSERT_EQ(desktop->messages.size(), 1);
        EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("4 pictures")) &&
                    desktop->messages[0].contains(recovered))
            << desktop->messages[0].toStdString();
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({QStringLiteral("DataFile")}));
        EXPECT_EQ(QDir(recovered).entryList(QDir::Files, QDir::Name),
                  QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3.Ab12Cd"),
                               QStringLiteral("4.deleted")}));

        // The first new photo takes no number the kept pictures carry: the earlier library, put
        // back, would take its picture for theirs. The earlier one stays.
        PassportPhotoInfo photo;
        photo.mPicOriginal(QImage(40, 30, QImage::Format_RGB32));
        photo.SaveToDB();
        EXPECT_EQ(photo.mRowID, 5);
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/5")));
        QFile kept(recovered + QStringLiteral("/1"));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), QByteArray("an earlier photo 1"));

        Restart();
        desktop->messages.clear();
        app->Event_Open();
        EXPECT_TRUE(desktop->messages.isEmpty()) << "told only once";
    }
}

// When the Recovered folder cannot take them, an earlier library's pictures stay where they are,
// and no later start deletes them for leftovers of the new library; saves go on meanwhile.
TEST_F(StartupTest, ANewLibraryThatCannotMoveOldPicturesAsideNeverDeletesThem) {
    const QString folder = sandbox.AppFolder();
    // "9.ABCDEF" is pending for a row this library never has.
    const QStringList old{QStringLiteral("1"), QStringLiteral("2.ABCDEF"), QStringLiteral("3.deleted"),
                          QStringLiteral("7"), QStringLiteral("9.ABCDEF")};
    for (const bool emptyFile : {false, true}) {
        SCOPED_TRACE(emptyFile ? "an empty DataFile" : "no DataFile");
        ASSERT_NO_FATAL_FAILURE(EarlierFolder(old + QStringList{QStringLiteral("Recovered")}, emptyFile));
        Restart();
        desktop->messages.clear();
        app->Event_Open();
        ASSERT_EQ(desktop->messages.size(), 1);
        EXPECT_EQ(desktop->messages[0],
                  QStringLiteral("Kestrine could not move 5 pictures that belong to no photo in its list into "
                                 "\"%1/Recovered\" (Not a directory): \"1\", \"2.ABCDEF\", \"3.deleted\", \"7\", "
                                 "\"9.ABCDEF\". They stay in \"%1\", and Kestrine will not remove them.")
                      .arg(folder));
        // Numbers 1 to 3 carry earlier pictures.
        PassportPhotoInfo photo;
        photo.mPicOriginal(QImage(40, 30, QImage::Format_RGB32));
        photo.SaveToDB();
        EXPECT_EQ(photo.mRowID, 4);

        for (int start = 0; start < 2; ++start) {
            Restart();
            desktop->messages.clear();
            app->Event_Open();
            EXPECT_TRUE(desktop->messages.isEmpty()) << "told only once";
            for (const QString& name : old)
                EXPECT_TRUE(QFileInfo::exists(folder + QLatin1Char('/') + name)) << name.toStdString();
            EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/4")));
        }

        // Once the Recovered folder can take them, they go there, and sweeps are ordinary again.
        QFile::remove(folder + QStringLiteral("/Recovered"));
        Restart();
        desktop->messages.clear();
        app->Event_Open();
        ASSERT_EQ(desktop->messages.size(), 1);
        EXPECT_TRUE(desktop->messages[0].startsWith(QStringLiteral("Kestrine found 5 pictures")))
            << desktop->messages[0].toStdString();
        EXPECT_EQ(QDir(folder + QStringLiteral("/Recovered")).entryList(QDir::Files, QDir::Name), old);
        auto version = app->db()->SQLSelect(QStringLiteral("PRAGMA user_version"));
        ASSERT_TRUE(version && !version->Eof());
        EXPECT_EQ(version->IdxField(1).IntegerValue(), 0);
    }
}

// A sweep that could not read the list of rows, or the row of a pending picture, has not judged
// every file: the library stays marked, so the start after it, which reads them all, still
// deletes none of the earlier pictures.
TEST_F(StartupTest, AMarkedLibraryWhoseRowsCannotBeReadKeepsItsMarkAndEveryEarlierPicture) {
    const QString folder = sandbox.AppFolder();
    struct Case {
        const char* kept;
        const char* hide;
        const char* restore;
    };
    for (const Case& c : {Case{"8.deleted", "alter table passportdata rename to hidden",
                               "alter table hidden rename to passportdata"},
                          Case{"2.ABCDEF", "alter table passportdata rename column restoreinfo to hidden",
                               "alter table passportdata rename column hidden to restoreinfo"}}) {
        SCOPED_TRACE(c.kept);
        ASSERT_NO_FATAL_FAILURE(EarlierFolder({QString::fromLatin1(c.kept), QStringLiteral("Recovered")}));
        Restart();
        app->Event_Open(); // a new library, marked, as the Recovered folder is a plain file
        app.reset();
        ASSERT_EQ(DataFileFaults::Run(DataFile(), QStringLiteral("PRAGMA user_version")), 1);
        ASSERT_EQ(DataFileFaults::Run(DataFile(), QString::fromLatin1(c.hide)), 0);
        Restart();
        app->Event_Open();
        app.reset();
        EXPECT_EQ(DataFileFaults::Run(DataFile(), QStringLiteral("PRAGMA user_version")), 1);
        ASSERT_EQ(DataFileFaults::Run(DataFile(), QString::fromLatin1(c.restore)), 0);
        Restart();
        app->Event_Open();
        EXPECT_TRUE(QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(c.kept)));
    }
}

// Only a damaged file is called corrupt: advice to delete one that merely cannot be opened would
// throw the whole library away.
TEST_F(StartupTest, ADataFileThatCannotBeOpenedIsNotCalledCorruptAndIsLeftAlone) {
    ASSERT_TRUE(QDir().mkpath(DataFile() + QStringLiteral("/inside")));
    app->Event_Open();
    EXPECT_EQ(desktop->messages,
              QStringList({QStringLiteral("Data file at ") + DataFile() +
                           QStringLiteral(" cannot be opened: Is a directory.  Check that you may read and write it, "
                                          "and restart app.")}));
    EXPECT_TRUE(app->QuitRequested());
    EXPECT_TRUE(QFileInfo(DataFile() + QStringLiteral("/inside")).isDir());

    // Neither a named pipe (opening one would wait for a writer) nor a socket is opened, or
    // taken for a missing file.
    ASSERT_TRUE(QDir(DataFile()).removeRecursively());
    ASSERT_EQ(::mkfifo(QFile::encodeName(DataFile()).constData(), 0600), 0);
    QLocalServer socket;
    for (const char* kind : {"a named pipe", "a socket"}) {
        if (QLatin1String(kind) == QLatin1String("a socket")) {
            ASSERT_TRUE(QFile::remove(DataFile()));
            ASSERT_TRUE(socket.listen(DataFile()));
        }
        Restart();
        desktop->messages.clear();
        app->Event_Open();
        EXPECT_EQ(desktop->messages, QStringList({QStringLiteral("Data file at %1 cannot be opened: it is %2, not a "
                                                                 "regular file.  Check that you may read and write "
                                                                 "it, and restart app.")
                                                      .arg(DataFile(), QLatin1String(kind))}));
        EXPECT_TRUE(app->QuitRequested());
        EXPECT_TRUE(QFileInfo::exists(DataFile()) && !QFileInfo(DataFile()).isFile());
    }
}

TEST_F(StartupTest, APendingPictureWhoseRowCannotBeReadIsKeptForALaterStart) {
    QDir().mkpath(sandbox.AppFolder());
    {
        SqlFileDatabase db;
        db.DatabaseFile = DataFile();
        ASSERT_TRUE(db.CreateDatabaseFile());
        ASSERT_TRUE(db.SQLExecute(QStringLiteral("create table passportdata (rowid integer primary key, name varchar)")));
        ASSERT_TRUE(db.SQLExecute(QStringLiteral("insert into passportdata (name) values ('no restore info')")));
    }
    QFile pending(sandbox.AppFolder() + QStringLiteral("/1.Ab12Cd"));
    ASSERT_TRUE(pending.open(QIODevice::WriteOnly));
    pending.close();
    QFile unowned(sandbox.AppFolder() + QStringLiteral("/9")); // shows that the sweep ran
    ASSERT_TRUE(unowned.open(QIODevice::WriteOnly));
    unowned.close();
    app->Event_Open();
    EXPECT_EQ(desktop->messages.size(), 1) << desktop->messages.join('\n').toStdString();
    EXPECT_TRUE(QFileInfo::exists(sandbox.AppFolder() + QStringLiteral("/Recovered/9")));
    EXPECT_TRUE(QFileInfo::exists(pending.fileName()));
}

TEST_F(StartupTest, ADataFileThatIsNoDatabaseIsReportedAndLeftUntouched) {
    QDir().mkpath(sandbox.AppFolder());
    QFile f(DataFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QByteArray text = QByteArray("not a database, just text\n").repeated(160);
    f.write(text);
    f.close();

    app->Event_Open();
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_EQ(desktop->messages[0], QStringLiteral("Data file at ") + QFileInfo(DataFile()).absoluteFilePath() +
                                        QStringLiteral(" appears corrupt.  Try deleting file and restarting app."));
    EXPECT_TRUE(app->QuitRequested());
    EXPECT_EQ(app->QuitCode(), 0);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), text);
    EXPECT_EQ(QDir(sandbox.AppFolder()).entryList(QDir::Files), QStringList({QStringLiteral("DataFile")}));
}

TEST_F(StartupTest, AFolderThatCannotBeWrittenIsReported) {
    if (geteuid() == 0) {
        // root writes anywhere: make the data folder a plain file instead, so nothing can go in it
        QDir().mkpath(sandbox.DataHome());
        QFile blocker(sandbox.AppFolder());
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
    } else {
        QDir().mkpath(sandbox.AppFolder());
        QFile::setPermissions(sandbox.AppFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    app->Event_Open();
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_EQ(desktop->messages[0],
              QStringLiteral("Unable to create data file at ") + QFileInfo(DataFile()).absoluteFilePath() +
                  QStringLiteral(" Please check that the file isn't locked and permissions are correct and "
                                 "restart app."));
    EXPECT_TRUE(app->QuitRequested());
    EXPECT_EQ(app->QuitCode(), 0);
    QFile::setPermissions(sandbox.AppFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner);
}

TEST_F(StartupTest, ADataFileAnotherCopyKeepsLockedIsNotCalledCorrupt) {
    app->Event_Open();
    ASSERT_TRUE(app->db());
    Restart();
    SqlFileDatabase other;
    other.DatabaseFile = DataFile();
    ASSERT_TRUE(other.Connect());
    ASSERT_TRUE(other.SQLExecute(QStringLiteral("BEGIN EXCLUSIVE")));
    const int wait = SqlFileDatabase::BusyTimeoutMs;
    SqlFileDatabase::BusyTimeoutMs = 50;
    app->Event_Open();
    SqlFileDatabase::BusyTimeoutMs = wait;
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("in use by another copy")));
    EXPECT_FALSE(desktop->messages[0].contains(QStringLiteral("corrupt")));
    EXPECT_TRUE(app->QuitRequested());
    other.SQLExecute(QStringLiteral("ROLLBACK"));
}

TEST_F(StartupTest, AStartRemovesOnlyThePreferenceFilesACrashLeftHalfWritten) {
    QDir().mkpath(sandbox.ConfigHome());
    const QStringList left = {QStringLiteral("Kestrine.1x7k2a.tmp"), QStringLiteral("Kestrine.z.tmp")};
    const QStringList kept = {QStringLiteral("Kestrine.9q2r.tmp"), // being written by another copy right now
                              QStringLiteral("Kestrine.bak"), QStringLiteral("Kestrine.x.y.tmp"),
                              QStringLiteral("Other.1x7k2a.tmp")};
    for (const QString& name : left + kept) {
        QFile f(sandbox.ConfigHome() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        if (name != kept.front())
            f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
    }
    app->Event_Open();
    QStringList expected = kept;
    expected.sort();
    EXPECT_EQ(QDir(sandbox.ConfigHome()).entryList(QDir::Files, QDir::Name), expected);
}

TEST_F(StartupTest, UnreadablePreferencesAreReportedAndTheApplicationStillOpens) {
    QDir().mkpath(sandbox.ConfigHome() + QStringLiteral("/Kestrine")); // a folder where the file belongs
    app->Event_Open();
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_TRUE(desktop->messages[0].startsWith(QStringLiteral("The preferences could not be read")));
    EXPECT_TRUE(app->db());
    EXPECT_TRUE(app->MainWindow);
    EXPECT_FALSE(app->QuitRequested());
}

int gStatements = 0;
int CountStatement(unsigned, void*, void*, void*) {
    ++gStatements;
    return 0;
}

TEST_F(StartupTest, VacuumRunsOnceAtCloseOnlyAfterDeletions) {
    app->Event_Open();
    ASSERT_TRUE(app->db());
    sqlite3_trace_v2(app->db()->Handle(), SQLITE_TRACE_STMT, CountStatement, nullptr);
    gStatements = 0;
    app->Event_Close();
    EXPECT_EQ(gStatements, 0);

    Restart();
    app->Event_Open();
    ASSERT_TRUE(app->db());
    QStringList seen;
    sqlite3_trace_v2(
        app->db()->Handle(), SQLITE_TRACE_STMT,
        [](unsigned, void* ctx, void* stmt, void*) {
            static_cast<QStringList*>(ctx)->append(QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt*>(stmt))));
            return 0;
        },
        &seen);
    app->SetRecordsWasDeleted(true);
    app->Event_Close();
    app->Event_Close();
    EXPECT_EQ(seen, QStringList({QStringLiteral("Vacuum")}));
}

TEST_F(StartupTest, ApplicationMenuHandlersAnswerAsTheyShould) {
    EXPECT_FALSE(app->_HelpAbout_Action());
    EXPECT_TRUE(app->_EditPreferences_Action());
    EXPECT_TRUE(app->_HelpHelp_Action());
    EXPECT_TRUE(app->_HelpWebsite_Action());
    ASSERT_EQ(desktop->urls.size(), 2);
    EXPECT_TRUE(desktop->urls[0].toString().endsWith(QStringLiteral("help.html")));
    EXPECT_TRUE(desktop->urls[1].toString().endsWith(QStringLiteral("purchase.html")));
    EXPECT_TRUE(MenuDispatcher::Instance().Dispatch(QStringLiteral("HelpHelp")));
    EXPECT_EQ(desktop->urls.size(), 3);
}

TEST_F(StartupTest, AnExceptionInAnEventHandlerLeavesTheApplicationRunningSilently) {
    bool after = false;
    QTimer::singleShot(0, app.get(), [] { throw std::runtime_error("handler failed"); });
    QTimer::singleShot(0, app.get(), [&] {
        after = true;
        app->quit();
    });
    app->exec();
    EXPECT_TRUE(after);
    EXPECT_TRUE(desktop->messages.isEmpty());
    app->Event_Activate(); // no main window: nothing happens
}

// The time is the program's own processor time: on a shared machine its wall time says nothing,
// and the deadline only ends the wait for a program that never makes the file.
TEST(StartupBinaryTest, TheProgramCreatesItsDataFileWithinTwoSecondsOfItsWork) {
    XdgSandbox sandbox;
    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    proc.setProcessEnvironment(env);
    proc.start(QStringLiteral(KESTRINE_BINARY), {});
    ASSERT_TRUE(proc.waitForStarted(60000));
    const QString dataFile = sandbox.AppFolder() + QStringLiteral("/DataFile");
    const QDeadlineTimer deadline(60000);
    bool found = false;
    while (!(found = QFileInfo(dataFile).isFile()) && !deadline.hasExpired() &&
           proc.state() == QProcess::Running)
        proc.waitForFinished(20);
    const qint64 work = CpuClock::ProcessMs(pid_t(proc.processId()));
    proc.kill();
    proc.waitForFinished(60000);
    EXPECT_TRUE(found);
    EXPECT_LT(work, 2000);
}

} // namespace

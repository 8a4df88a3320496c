#include "App.h"
#include "ChildProcess.h"
#include "FaultPhotos.h"
#include "PictureCompare.h"
#include "QtPrinters.h"
#include "RunningCopy.h"
#include "ScriptedDesktop.h"
#include "SqlFileDatabase.h"
#include "StoredData.h"
#include "XdgSandbox.h"
#include "winMain.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QLockFile>
#include <QTimer>
#include <gtest/gtest.h>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <poll.h>
#include <sqlite3.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>

// Two copies of the application on one data folder: each waits for the other's writes (the
// database's busy timeout), and when it cannot get at the database in time it says so, and
// nothing is lost.
namespace {

// Only ends a wait that would otherwise never end: on a busy machine a copy may wait for the
// other's writes, or for its answer, for many seconds, and how many is no part of what is tested.
constexpr int kHangMs = 60000;

int gArgc = 1;
char gArg0[] = "kestrine-test";
char* gArgv[] = {gArg0, nullptr};

std::function<int(QDialog&)> Editor(bool import, const QString& name) {
    return [import, name](QDialog& d) {
        if (import)
            if (auto* select = d.findChild<QAbstractButton*>(QStringLiteral("butSelectPhoto")))
                select->click();
        if (auto* field = d.findChild<QLineEdit*>(QStringLiteral("efPhotoName"))) field->setText(name);
        if (auto* ok = d.findChild<QAbstractButton*>(QStringLiteral("butOK"))) ok->click();
        return d.result();
    };
}

struct SecondCopyTest : ::testing::Test {
    XdgSandbox sandbox;
    std::unique_ptr<App> app;
    ScriptedDesktop* desktop = nullptr;
    QString portrait;

    const int busyTimeout = std::exchange(SqlFileDatabase::BusyTimeoutMs, kHangMs);

    void SetUp() override {
        portrait = sandbox.Root() + QStringLiteral("/portrait.jpg");
        ASSERT_TRUE(QImageWriter(portrait, "jpeg").write(PictureCompare::Gradient(300, 400)));
    }
    void TearDown() override {
        // The editor deletes itself later; let it, before the application goes.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app.reset();
        Desktop::Install(nullptr);
        SqlFileDatabase::BusyTimeoutMs = busyTimeout;
    }
    winMain& Start() {
        app = std::make_unique<App>(gArgc, gArgv);
        desktop = &ScriptedDesktop::InstallNew();
        app->Event_Open();
        auto* win = qobject_cast<winMain*>(app->MainWindow.data());
        EXPECT_TRUE(win);
        win->findChild<QTimer*>(QStringLiteral("LoadTimer"))->stop();
        return *win;
    }
    void Add(winMain& win, const QString& name) {
        desktop->openAnswers.push_back(portrait);
        desktop->modalScripts.push_back(Editor(true, name));
        win.AddNewPicture();
    }
    void Rename(winMain& win, const QString& name) {
        win.SetListIndex(0);
        desktop->modalScripts.push_back(Editor(false, name));
        win.EditPicture();
    }
    std::unique_ptr<ChildProcess> SaveLoop(int firstSeq, int count) {
        return std::make_unique<ChildProcess>(
            SAVE_LOOP_HARNESS,
            std::vector<std::string>{sandbox.AppFolder().toStdString(), std::to_string(firstSeq),
                                     std::to_string(firstSeq), std::to_string(count), "own"},
            ChildProcess::Environment{{"KESTRINE_BUSY_TIMEOUT_MS", std::to_string(kHangMs)}});
    }
    // Reads the child's output until a line starts with `word` (or the output ends, or a minute
    // passed: a child that runs until killed may never say it). Whether it was said.
    static bool WaitForLine(ChildProcess& child, const std::string& word) {
        auto seen = [&] {
            for (const std::string& line : child.Lines())
                if (line.rfind(word, 0) == 0) return true;
            return false;
        };
        const QDeadlineTimer guard(kHangMs);
        while (child.ReadAvailable() && !seen() && !guard.hasExpired()) {
            pollfd p{child.OutputFd(), POLLIN, 0};
            poll(&p, 1, static_cast<int>(guard.remainingTime()));
        }
        return seen();
    }
    // A copy of the application that keeps the library in `dataHome` until killed, with a
    // runtime folder of its own.
    std::unique_ptr<ChildProcess> Holder(const QString& dataHome, const QString& name,
                                         ChildProcess::Environment more = {}) {
        const QString runtime = sandbox.Root() + QStringLiteral("/runtime-") + name;
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        more.insert(more.end(), {{"XDG_DATA_HOME", dataHome.toStdString()}, {"XDG_RUNTIME_DIR", runtime.toStdString()}});
        return std::make_unique<ChildProcess>(FULL_DISK_HARNESS, std::vector<std::string>{"hold", "-"}, more);
    }
    // Starts the application in this process, as a later start would, waiting `timeoutMs` at most.
    void StartAgain(int timeoutMs) {
        const int timeout = std::exchange(RunningCopy::AnswerTimeoutMs, timeoutMs);
        app = std::make_unique<App>(gArgc, gArgv);
        desktop = &ScriptedDesktop::InstallNew();
        app->Event_Open();
        RunningCopy::AnswerTimeoutMs = timeout;
    }
    QString LockFile() const { return sandbox.AppFolder() + QStringLiteral("/.lock"); }
    // A later start beside a library that no copy has, with a start elsewhere played at its flock
    // of its new lock file (`how` as KESTRINE_FAULT_LOCK_TAKEN says); all it said.
    std::string StartWithLockTaken(const char* how) {
        Start();
        TearDown();
        auto start = Holder(sandbox.DataHome(), QStringLiteral("late"),
                            {{"LD_PRELOAD", FAULT_SHIM}, {"KESTRINE_FAULT_LOCK_TAKEN", how},
                             {"KESTRINE_ANSWER_TIMEOUT_MS", "300"}});
        WaitForLine(*start, "ready"); // that is, until it ends, unless it took the library
        if (start->OutputFd() >= 0) start->Kill();
        start->Finish();
        return start->Output();
    }
    // What such a start says when it refuses the library held elsewhere.
    std::string HeldElsewhere() const {
        return "message Kestrine is already open with the photos in \"" + sandbox.AppFolder().toStdString() +
               "\" elsewhere: their lock file \"" + LockFile().toStdString() +
               "\" is held by another program. Quit it there before starting Kestrine again.\nquit 0\ndone\n";
    }
};

// The rows a harness reported as saved, by row id.
std::map<int, int> Saved(const ChildProcess& child) {
    std::map<int, int> saved;
    for (const std::string& line : child.Lines()) {
        std::istringstream in(line);
        std::string word;
        int id = 0, seq = 0;
        in >> word >> id >> seq;
        if (word == "saved") saved[id] = seq;
    }
    return saved;
}

TEST_F(SecondCopyTest, CopiesSavingAtTheSameTimeWaitForEachOtherAndLoseNothing) {
    winMain& win = Start();
    auto first = SaveLoop(100000, 40);
    auto second = SaveLoop(200000, 40);
    WaitForLine(*first, "ready");
    WaitForLine(*second, "ready");
    for (int i = 0; i < 3; ++i)
        Add(win, QStringLiteral("Mine %1").arg(i));
    Rename(win, QStringLiteral("Mine renamed"));
    const int firstStatus = first->Finish();
    const int secondStatus = second->Finish();

    EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
    EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0) << first->Output();
    EXPECT_TRUE(WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == 0) << second->Output();
    EXPECT_EQ(StoredData::IntegrityCheck(sandbox.AppFolder()), QStringLiteral("ok"));
    const auto rows = StoredData::Rows(sandbox.AppFolder());
    std::map<int, int> saved = Saved(*first);
    const std::map<int, int> others = Saved(*second);
    saved.insert(others.begin(), others.end());
    ASSERT_GT(saved.size(), 2u);
    for (const auto& [id, seq] : saved) {
        ASSERT_TRUE(rows.contains(id)) << "row " << id;
        EXPECT_EQ(FaultPhotos::SeqOfName(rows[id].name), seq) << "row " << id;
        QImage source;
        EXPECT_TRUE(FaultPhotos::IsWholePng(
            StoredData::ReadFile(QDir(sandbox.AppFolder()).filePath(QString::number(id))), &source));
        EXPECT_EQ(FaultPhotos::SeqOfPicture(source), seq) << "row " << id;
    }
    ASSERT_EQ(win.Rows().ListCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const auto record = win.Rows().CellTag(i);
        ASSERT_TRUE(rows.contains(record->mRowID));
        EXPECT_EQ(rows[record->mRowID].name,
                  i == 0 ? QStringLiteral("Mine renamed") : QStringLiteral("Mine %1").arg(i));
        EXPECT_TRUE(QFileInfo::exists(QDir(sandbox.AppFolder()).filePath(QString::number(record->mRowID))));
    }
    EXPECT_EQ(rows.size(), static_cast<int>(saved.size()) + 3);
}

TEST_F(SecondCopyTest, ASecondCopyStartingWhileTheFirstSavesOpensNormally) {
    { // the data folder exists, with its database
        App first(gArgc, gArgv);
        ScriptedDesktop::InstallNew();
        first.Event_Open();
    }
    auto saving = SaveLoop(300000, 0);
    WaitForLine(*saving, "saved");
    winMain& win = Start();
    EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
    EXPECT_FALSE(app->QuitRequested());
    EXPECT_GE(win.Rows().ListCount(), 1);
    Add(win, QStringLiteral("Mine"));
    EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
    saving->Kill();
    saving->Finish();
}

TEST_F(SecondCopyTest, ASaveThatCannotGetAtTheDatabaseInTimeTellsTheUserAndChangesNothing) {
    SqlFileDatabase::BusyTimeoutMs = 300;
    winMain& win = Start();
    Add(win, QStringLiteral("Before"));
    ASSERT_TRUE(desktop->messages.isEmpty());
    const auto before = StoredData::Rows(sandbox.AppFolder());
    const QString file = QDir(sandbox.AppFolder()).filePath(QString::number(win.Rows().CellTag(0)->mRowID));
    const QByteArray fileBefore = StoredData::ReadFile(file);

    // Another copy holds the database for writing longer than the application waits; reading
    // stays possible meanwhile.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(sandbox.AppFolder() + QStringLiteral("/DataFile")).constData(),
                           &other),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Rename(win, QStringLiteral("After"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("\"After\" could not be saved")))
        << desktop->messages[0].toStdString();
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("locked")))
        << desktop->messages[0].toStdString();
    EXPECT_TRUE(StoredData::Rows(sandbox.AppFolder()) == before);
    EXPECT_EQ(StoredData::ReadFile(file), fileBefore);
    EXPECT_EQ(StoredData::Files(sandbox.AppFolder()),
              QStringList({QStringLiteral(".lock"), QStringLiteral("1"), QStringLiteral("DataFile")}));

    // The photo stays listed as edited; saving it again once the database is free stores it.
    ASSERT_EQ(win.Rows().ListCount(), 1);
    EXPECT_EQ(win.Rows().CellTag(0)->mName, QStringLiteral("After"));
    Rename(win, QStringLiteral("After"));
    EXPECT_EQ(desktop->messages.size(), 1);
    const auto rows = StoredData::Rows(sandbox.AppFolder());
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().name, QStringLiteral("After"));
}

// One copy per library: a second start on the same data folder, whatever its runtime and
// temporary folders, brings the running copy to the front and ends, having changed nothing;
// a copy on another data folder runs beside it; a killed copy's lock does not hold the library.
TEST_F(SecondCopyTest, ASecondStartHandsOverToTheRunningCopyAndAKilledCopyHoldsNothing) {
    Start();
    Add(*qobject_cast<winMain*>(app->MainWindow.data()), QStringLiteral("Mine"));
    TearDown();
    const QString folder = sandbox.AppFolder();
    auto holder = Holder(sandbox.DataHome(), QStringLiteral("holder"));
    auto neighbour = Holder(sandbox.Root() + QStringLiteral("/elsewhere"), QStringLiteral("neighbour"));
    ASSERT_TRUE(WaitForLine(*holder, "ready")) << holder->Output();
    ASSERT_TRUE(WaitForLine(*neighbour, "ready")) << neighbour->Output();
    const auto rows = StoredData::Rows(folder);
    const QStringList files = StoredData::Files(folder);
    const QString prefs = sandbox.ConfigHome() + QStringLiteral("/Kestrine");
    const QByteArray prefsBefore = StoredData::ReadFile(prefs);

    const QString own = sandbox.Root() + QStringLiteral("/own-runtime");
    QDir().mkpath(own);
    QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ChildProcess second(KESTRINE_PROGRAM, {},
                        {{"XDG_RUNTIME_DIR", own.toStdString()}, {"TMPDIR", own.toStdString()}});
    WaitForLine(second, "\n"); // that is, until it ends, or a minute passed
    if (second.OutputFd() >= 0) second.Kill();
    const int status = second.Finish();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the second start did not end by itself";
    EXPECT_TRUE(WaitForLine(*holder, "front")) << holder->Output();
    EXPECT_TRUE(StoredData::Rows(folder) == rows);
    EXPECT_EQ(StoredData::Files(folder), files);
    EXPECT_EQ(StoredData::ReadFile(prefs), prefsBefore);
    neighbour->ReadAvailable();
    EXPECT_EQ(neighbour->Output(), "ready\n");

    holder->Kill();
    holder->Finish();
    winMain& win = Start();
    EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
    EXPECT_FALSE(app->QuitRequested());
    EXPECT_EQ(win.Rows().ListCount(), 1);
    neighbour->Kill();
    neighbour->Finish();
}

TEST_F(SecondCopyTest, ASecondStartThatGetsNoAnswerSaysSoAndLeavesTheLibraryAlone) {
    // A copy that has the library but does not answer: stopped, as a busy event loop would be.
    auto holder = Holder(sandbox.DataHome(), QStringLiteral("stopped"));
    ASSERT_TRUE(WaitForLine(*holder, "ready")) << holder->Output();
    ::kill(holder->Pid(), SIGSTOP);
    const QStringList files = StoredData::Files(sandbox.AppFolder());
    StartAgain(300);
    app->Event_Close();
    ::kill(holder->Pid(), SIGCONT);
    holder->Kill();
    holder->Finish();

    EXPECT_EQ(desktop->messages,
              QStringList({QStringLiteral("Kestrine is already open with the photos in \"%1\" (process %2). Switch "
                                          "to it, or quit it before starting Kestrine again.")
                               .arg(sandbox.AppFolder())
                               .arg(holder->Pid())}));
    EXPECT_TRUE(app->QuitRequested());
    EXPECT_EQ(app->QuitCode(), 0);
    EXPECT_FALSE(app->MainWindow);
    EXPECT_EQ(StoredData::Files(sandbox.AppFolder()), files);
    EXPECT_FALSE(QFileInfo::exists(sandbox.ConfigHome() + QStringLiteral("/Kestrine")));
    app.reset();

    // A lock file that names no process (a power cut right after it was made) holds nothing.
    QFile::remove(sandbox.AppFolder() + QStringLiteral("/.lock"));
    QFile(sandbox.AppFolder() + QStringLiteral("/.lock")).open(QIODevice::WriteOnly);
    StartAgain(300);
    EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
    EXPECT_FALSE(app->QuitRequested());
}

// A copy that could not write its lock file (the disk was full at its start) still has the
// library: a later start, with space back, finds it and hands over instead of opening a second list.
TEST_F(SecondCopyTest, ACopyThatStartedOnAFullDiskIsFoundByALaterStart) {
    Start();
    Add(*qobject_cast<winMain*>(app->MainWindow.data()), QStringLiteral("Mine"));
    TearDown();
    auto holder = Holder(sandbox.DataHome(), QStringLiteral("full"),
                         {{"LD_PRELOAD", FAULT_SHIM}, {"KESTRINE_FAULT_NOSPACE_AFTER", "0"}});
    ASSERT_TRUE(WaitForLine(*holder, "ready")) << holder->Output();
    ASSERT_FALSE(QFileInfo::exists(LockFile()));
    const auto rows = StoredData::Rows(sandbox.AppFolder());

    StartAgain(kHangMs);
    EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
    EXPECT_TRUE(app->QuitRequested());
    EXPECT_FALSE(app->MainWindow);
    EXPECT_TRUE(WaitForLine(*holder, "front")) << holder->Output();
    EXPECT_TRUE(StoredData::Rows(sandbox.AppFolder()) == rows);
    holder->Kill();
    holder->Finish();
}

// Whose a lock file is, is decided by whether a living process holds it, never by the host it
// names: a restored or copied lock is taken over, a held one never, and a start that gives up
// names the file.
TEST_F(SecondCopyTest, ALockFileCountsOnlyWhileAProcessHoldsItWhateverHostItNames) {
    QDir().mkpath(sandbox.AppFolder());
    const QByteArray elsewhere = "4242\nKestrine\nanother-machine\n";
    {
        QFile lock(LockFile());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(elsewhere);
    }
    const int held = ::open(QFile::encodeName(LockFile()).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    StartAgain(300);
    ::close(held);
    EXPECT_EQ(desktop->messages,
              QStringList({QStringLiteral("Kestrine is already open with the photos in \"%1\" elsewhere: their lock "
                                          "file \"%2\" is held by process 4242 on \"another-machine\". Quit it there "
                                          "before starting Kestrine again.")
                               .arg(sandbox.AppFolder(), LockFile())}));
    EXPECT_TRUE(app->QuitRequested());
    EXPECT_FALSE(app->MainWindow);
    EXPECT_EQ(StoredData::ReadFile(LockFile()), elsewhere);
    EXPECT_FALSE(QFileInfo::exists(sandbox.AppFolder() + QStringLiteral("/DataFile")));
    app.reset();

    StartAgain(300);
    EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
    EXPECT_FALSE(app->QuitRequested());
    EXPECT_TRUE(StoredData::ReadFile(LockFile()).startsWith(QByteArray::number(QCoreApplication::applicationPid())));
    app.reset();

    // A lock that cannot even be looked at is not taken over blindly; the user learns which file.
    QFile::remove(LockFile());
    const QString target = sandbox.Root() + QStringLiteral("/someone-else's");
    QFile(target).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(target, LockFile()));
    StartAgain(300);
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_TRUE(desktop->messages[0].contains(QStringLiteral("\"%1\" cannot be examined").arg(LockFile())))
        << desktop->messages[0].toStdString();
    EXPECT_TRUE(app->QuitRequested());
    EXPECT_TRUE(QFileInfo(LockFile()).isSymLink());
}

// Starts that race beside a lock file that holds nothing: one takes the library, the others find it.
TEST_F(SecondCopyTest, StartsAtOnceBesideAnEmptyLockLeaveOneCopyThatTheOthersHandOverTo) {
    Start();
    TearDown();
    QFile(LockFile()).open(QIODevice::WriteOnly);
    std::vector<std::unique_ptr<ChildProcess>> starts;
    for (int i = 0; i < 3; ++i)
        starts.push_back(Holder(sandbox.DataHome(), QStringLiteral("race%1").arg(i),
                                {{"KESTRINE_ANSWER_TIMEOUT_MS", std::to_string(kHangMs)}}));
    int holding = 0;
    for (auto& start : starts) {
        WaitForLine(*start, "ready");
        if (start->OutputFd() < 0)
            EXPECT_EQ(start->Output(), "quit 0\ndone\n");
        else
            ++holding;
    }
    EXPECT_EQ(holding, 1);
    for (auto& start : starts) {
        start->Kill();
        start->Finish();
    }
}

// Between making its lock file and holding it, a start may lose the file to one that could not
// ask it (another computer sharing the folder) and took it for a leftover: the file the path
// then names is the other's, and this start refuses instead of opening a second list.
TEST_F(SecondCopyTest, AStartWhoseLockFileWasReplacedBeforeItHeldItRefusesTheLibrary) {
    EXPECT_EQ(StartWithLockTaken("1"), HeldElsewhere());
}

// Another start holds the very lock file this one just made, at the moment this one flocks it:
// that file is the other start's to remove, and the library stays the other start's.
TEST_F(SecondCopyTest, AStartWhoseNewLockFileIsHeldElsewhereBeforeItsFlockLeavesItAndRefusesTheLibrary) {
    EXPECT_EQ(StartWithLockTaken("same"), HeldElsewhere());
    EXPECT_TRUE(QFileInfo::exists(LockFile()));
}

// The running copy holds its lock file for its whole run, makes it at its first save when the
// disk was full at its start, and at its end removes only the lock file it made.
TEST_F(SecondCopyTest, TheRunningCopyHoldsItsLockFileFromItsFirstSaveAtTheLatestAndRemovesOnlyItsOwn) {
    Start();
    TearDown();
    // No file may grow while it starts: its lock file cannot be written, as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit unlimited = limit;
    limit.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    winMain& win = Start();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
    ASSERT_FALSE(QFileInfo::exists(LockFile()));

    Add(win, QStringLiteral("Mine"));
    EXPECT_TRUE(desktop->messages.isEmpty()) << desktop->messages.join('\n').toStdString();
    EXPECT_TRUE(StoredData::ReadFile(LockFile()).startsWith(QByteArray::number(QCoreApplication::applicationPid())));
    const int other = ::open(QFile::encodeName(LockFile()).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0) << "the running copy does not hold its lock file";
    ::close(other);

    // Another start took it for a leftover meanwhile and made its own: that one stays.
    ASSERT_TRUE(QFile::remove(LockFile()));
    {
        QFile theirs(LockFile());
        ASSERT_TRUE(theirs.open(QIODevice::WriteOnly));
        theirs.write("theirs");
    }
    TearDown();
    EXPECT_EQ(StoredData::ReadFile(LockFile()), QByteArray("theirs"));
}

} // namespace

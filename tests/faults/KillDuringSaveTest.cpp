#include "App.h"
#include "ChildProcess.h"
#include "FaultPhotos.h"
#include "QtPrinters.h"
#include "ScriptedDesktop.h"
#include "StoredData.h"
#include "XdgSandbox.h"
#include "winMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/wait.h>

namespace {

using Clock = std::chrono::steady_clock;

int gArgc = 1;
char gArg0[] = "kestrine-test";
char* gArgv[] = {gArg0, nullptr};

void CopyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files | QDir::Hidden | QDir::System))
        QFile::copy(QDir(from).filePath(name), QDir(to).filePath(name));
}

constexpr int kChains = 8;         // data folders, each saved into by one harness at a time
constexpr int kRunsPerChain = 16;  // kills per folder
constexpr int kLatestKillMs = 250; // after the harness opened its database
constexpr int kEarlyKillMs = 60;   // from its start, for the harnesses killed while they start

// What a folder's harness runs reported: the last save that returned for each row, and the saves
// under way when a harness was killed.
struct Reports {
    std::map<int, int> saved;                  // row id -> seq
    std::vector<std::pair<int, int>> cutShort; // (row id, 0 for a new photo; seq)
    std::vector<std::string> failures;
    int ready = 0;

    void Add(const std::vector<std::string>& lines) {
        std::pair<int, int> pending{-1, -1};
        for (const std::string& line : lines) {
            std::istringstream in(line);
            std::string word;
            int id = 0, seq = 0;
            in >> word >> id >> seq;
            if (word == "ready")
                ++ready;
            else if (word == "save")
                pending = {id, seq};
            else if (word == "saved") {
                saved[id] = seq;
                pending = {-1, -1};
            } else if (word == "failed")
                failures.push_back(line);
        }
        if (pending.second >= 0) cutShort.push_back(pending);
    }
    // Seqs a save under way may have left in row `id` (or in a file named by it).
    bool CutShortMayHaveLeft(int id, int seq) const {
        for (const auto& [rowID, s] : cutShort)
            if (s == seq && (rowID == id || rowID == 0)) return true;
        return false;
    }
};

struct KillDuringSaveTest : ::testing::Test {
    XdgSandbox sandbox;
    void TearDown() override { Desktop::Install(nullptr); }
    QString ChainRoot(int chain) const { return sandbox.Root() + QStringLiteral("/chain%1").arg(chain); }
    QString ChainFolder(int chain) const { return ChainRoot(chain) + QStringLiteral("/Kestrine"); }
};

// Each picture of a row, and its file, must be whole and come from a save the reports allow.
void CheckFolder(const QString& folder, const Reports& reports) {
    SCOPED_TRACE(folder.toStdString());
    EXPECT_TRUE(reports.failures.empty()) << reports.failures.front();
    EXPECT_EQ(StoredData::IntegrityCheck(folder), QStringLiteral("ok"));
    QString error;
    const auto rows = StoredData::Rows(folder, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();

    for (const auto& [id, seq] : reports.saved) {
        ASSERT_TRUE(rows.contains(id))
            << "the returned save of photo " << seq << " into row " << id << " is gone";
        const int stored = FaultPhotos::SeqOfName(rows[id].name);
        EXPECT_TRUE(stored == seq || (stored > seq && reports.CutShortMayHaveLeft(id, stored)))
            << "row " << id << " holds photo " << stored << ", its last returned save was " << seq;
    }
    for (auto it = rows.begin(); it != rows.end(); ++it) {
        const int id = it.key();
        const int seq = FaultPhotos::SeqOfName(it->name);
        if (!reports.saved.count(id)) {
            EXPECT_TRUE(reports.CutShortMayHaveLeft(id, seq))
                << "row " << id << " holds photo " << seq << " that no save made";
        }
        QImage passport, preview;
        EXPECT_TRUE(FaultPhotos::IsWholePng(it->passport, &passport)) << "row " << id;
        EXPECT_TRUE(FaultPhotos::IsWholePng(it->preview, &preview)) << "row " << id;
        EXPECT_EQ(FaultPhotos::SeqOfPicture(passport), seq) << "row " << id;
        EXPECT_EQ(FaultPhotos::SeqOfPicture(preview), seq) << "row " << id;
        // A row's own picture file may still wait under its second name until the next start.
    }
    static const QRegularExpression number(QStringLiteral("^[1-9][0-9]*$"));
    for (const QString& name : StoredData::Files(folder)) {
        // A picture takes its row's name only once the row is committed.
        EXPECT_FALSE(number.match(name).hasMatch() && !rows.contains(name.toInt()))
            << "a picture file without a row: " << name.toStdString();
    }
}

// After the next start every row shows the picture saved with it, and nothing else is left.
void CheckAfterNextStart(const QString& folder) {
    SCOPED_TRACE(folder.toStdString());
    const auto rows = StoredData::Rows(folder);
    for (auto it = rows.begin(); it != rows.end(); ++it) {
        QImage source;
        ASSERT_TRUE(FaultPhotos::IsWholePng(StoredData::ReadFile(QDir(folder).filePath(QString::number(it.key()))),
                                            &source))
            << "the picture file of row " << it.key() << " is missing or cut";
        EXPECT_EQ(source.size(), QSize(FaultPhotos::kSourceWidth, FaultPhotos::kSourceHeight));
        EXPECT_EQ(FaultPhotos::SeqOfPicture(source), FaultPhotos::SeqOfName(it->name))
            << "row " << it.key() << " shows the picture of another save";
    }
    // SQLite's own journal may stay behind when a kill cut its writing short; it holds no
    // transaction then (a hot one is rolled back by the first read) and is SQLite's to reuse.
    static const QRegularExpression ours(QStringLiteral("^(DataFile|DataFile-journal|[1-9][0-9]*)$"));
    for (const QString& name : StoredData::Files(folder)) {
        EXPECT_TRUE(ours.match(name).hasMatch()) << "left after the next start: " << name.toStdString();
        EXPECT_TRUE(!name.front().isDigit() || rows.contains(name.toInt())) << "no row owns " << name.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("Recovered"))));
}

TEST_F(KillDuringSaveTest, KillingASavingProcessAnywhereLosesNoReturnedSaveAndLeavesWholeFiles) {
    const std::string harness = SAVE_LOOP_HARNESS;
    std::vector<Reports> reports(kChains);
    QRandomGenerator random(QRandomGenerator::global()->generate());
    int cutInSave = 0;
    for (int run = 0; run < kRunsPerChain; ++run) {
        // One harness per folder at a time; each killed at a moment of its own.
        struct Running {
            std::unique_ptr<ChildProcess> child;
            Clock::time_point killAt = Clock::time_point::max();
            int delayUs = 0;
            bool killed = false;
        };
        std::vector<Running> batch;
        for (int chain = 0; chain < kChains; ++chain) {
            const int firstSeq = (run * kChains + chain) * 1000 + 1;
            Running r;
            r.child = std::make_unique<ChildProcess>(
                harness, std::vector<std::string>{ChainFolder(chain).toStdString(), std::to_string(firstSeq),
                                                  std::to_string(random.generate()), "0", "all"});
            // Most are killed while saving, timed from when they are ready, whatever a start costs
            // on this machine; one in eight while it starts (opening, rolling back a journal).
            if ((run + chain) % 8 == 0)
                r.killAt = Clock::now() + std::chrono::microseconds(random.bounded(kEarlyKillMs * 1000));
            else
                r.delayUs = static_cast<int>(random.bounded(kLatestKillMs * 1000));
            batch.push_back(std::move(r));
        }
        for (;;) {
            std::vector<pollfd> fds;
            auto next = Clock::time_point::max();
            for (auto& r : batch) {
                if (r.child->OutputFd() >= 0) fds.push_back({r.child->OutputFd(), POLLIN, 0});
                if (!r.killed) next = std::min(next, r.killAt);
            }
            if (fds.empty()) break;
            int timeout = -1;
            if (next != Clock::time_point::max())
                timeout = static_cast<int>(std::max<long long>(
                    0,
                    std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count() + 1));
            poll(fds.data(), fds.size(), timeout);
            for (auto& r : batch) {
                r.child->ReadAvailable();
                if (r.killAt == Clock::time_point::max() && r.child->Output().rfind("ready\n", 0) == 0)
                    r.killAt = Clock::now() + std::chrono::microseconds(r.delayUs);
                if (!r.killed && Clock::now() >= r.killAt) {
                    r.child->Kill();
                    r.killed = true;
                }
            }
        }
        for (int chain = 0; chain < kChains; ++chain) {
            const int status = batch[chain].child->Finish();
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
                << "the harness ended by itself: " << batch[chain].child->Output();
            const size_t before = reports[chain].cutShort.size();
            reports[chain].Add(batch[chain].child->Lines());
            cutInSave += static_cast<int>(reports[chain].cutShort.size() - before);
        }
    }
    // Most kills must land inside a save, or the test proves little.
    EXPECT_GE(cutInSave, kChains * kRunsPerChain / 2);

    int leftovers = 0;
    for (int chain = 0; chain < kChains; ++chain) {
        CheckFolder(ChainFolder(chain), reports[chain]);
        static const QRegularExpression temporary(QStringLiteral("^[0-9]+\\.[A-Za-z0-9]{6}$"));
        for (const QString& name : StoredData::Files(ChainFolder(chain)))
            if (temporary.match(name).hasMatch()) ++leftovers;

        // The next start: opens the folder without a word, lists every row and clears what
        // the kills left behind.
        qputenv("XDG_DATA_HOME", QFile::encodeName(ChainRoot(chain)));
        {
            App app(gArgc, gArgv);
            ScriptedDesktop& desktop = ScriptedDesktop::InstallNew();
            app.Event_Open();
            EXPECT_TRUE(desktop.messages.isEmpty()) << desktop.messages.join('\n').toStdString();
            auto* win = qobject_cast<winMain*>(app.MainWindow.data());
            ASSERT_TRUE(win);
            EXPECT_EQ(win->Rows().ListCount(), StoredData::Rows(ChainFolder(chain)).size());
        }
        CheckAfterNextStart(ChainFolder(chain));
    }
    qputenv("XDG_DATA_HOME", QFile::encodeName(sandbox.DataHome()));
    std::printf("[ kills    ] %d kills, %d inside a save, %d temporary files left before the next start\n",
                kChains * kRunsPerChain, cutInSave, leftovers);
}

TEST_F(KillDuringSaveTest, TheNextStartDropsStalePendingFilesKeepsUnownedPicturesAsideAndLeavesTheRest) {
    {
        App first(gArgc, gArgv);
        ScriptedDesktop::InstallNew();
        first.Event_Open();
    }
    const QString folder = sandbox.AppFolder();
    const QStringList stale = {QStringLiteral("3.Ab12Cd"), QStringLiteral("12.zzzzzz"),
                               QStringLiteral("3.000000")};
    const QStringList others = {QStringLiteral("3"),
                                QStringLiteral("notes.txt"),
                                QStringLiteral("3.bak"),
                                QStringLiteral("3.Ab12C"),
                                QStringLiteral("3.Ab12Cde"),
                                QStringLiteral("x.Ab12Cd"),
                                QStringLiteral("DataFile.Ab12Cd"),
                                QStringLiteral(".3.Ab12Cd")};
    for (const QString& name : stale + others) {
        QFile f(QDir(folder).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("half a picture");
    }
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("4.Ab12Cd")));

    App app(gArgc, gArgv);
    ScriptedDesktop& desktop = ScriptedDesktop::InstallNew();
    app.Event_Open();
    // "3" is named like a photo's picture but no row owns it: kept aside, and the user told.
    const QString recovered = QDir(folder).filePath(QStringLiteral("Recovered"));
    ASSERT_EQ(desktop.messages.size(), 1);
    EXPECT_TRUE(desktop.messages.front().contains(recovered)) << desktop.messages.front().toStdString();
    EXPECT_EQ(StoredData::ReadFile(QDir(recovered).filePath(QStringLiteral("3"))), QByteArray("half a picture"));
    QStringList expected = others + QStringList{QStringLiteral("DataFile"), QStringLiteral(".lock")};
    expected.removeAll(QStringLiteral("3"));
    expected.sort();
    EXPECT_EQ(StoredData::Files(folder), expected);
    EXPECT_TRUE(QFileInfo(QDir(folder).filePath(QStringLiteral("4.Ab12Cd"))).isDir());
}

// One change, killed at each of its file-changing calls in turn, and the next start after each.
struct KillAtEachCallTest : KillDuringSaveTest {
    QString Template() const { return sandbox.Root() + QStringLiteral("/template/Kestrine"); }
    // The library every change starts from: photo 1, made from a landscape picture.
    void MakeTemplate() {
        int status = 0;
        const std::string setup = Run(Template(), "setup", 0, &status);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << setup;
    }

    // Runs the one-change harness on `folder`, killed just before its `killAt`-th file-changing
    // call (0: not killed). Its output.
    static std::string Run(const QString& folder, const char* op, long killAt, int* status,
                           ChildProcess::Environment more = {}) {
        more.insert(more.end(), {{"LD_PRELOAD", FAULT_SHIM},
                                 {"KESTRINE_FAULT_MANUAL", "1"},
                                 {"KESTRINE_FAULT_KILL_AT", std::to_string(killAt)}});
        ChildProcess child(SAVE_ONCE_HARNESS, {folder.toStdString(), op}, more);
        *status = child.Finish();
        return child.Output();
    }
    // The file-changing calls of `op` on a fresh copy of the template, as the fault shim logs
    // them, with `more` settings for the shim; the harness's output in `output`.
    QStringList Logged(const QString& root, const char* op, std::string* output, ChildProcess::Environment more = {}) {
        CopyFolder(Template(), root + QStringLiteral("/Kestrine"));
        const QString log = root + QStringLiteral("/calls.log");
        more.push_back({"KESTRINE_FAULT_LOG", log.toStdString()});
        int status = 0;
        *output = Run(root + QStringLiteral("/Kestrine"), op, 0, &status, more);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 2) << *output;
        return QString::fromLocal8Bit(StoredData::ReadFile(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // What the next start shows: each photo either as it was or as saved, every photo with the
    // source picture saved with it, and nothing in the folder that no photo owns.
    void CheckNextStart(const QString& root, const std::set<QString>& allowed, QString* state) {
        const QString folder = root + QStringLiteral("/Kestrine");
        qputenv("XDG_DATA_HOME", QFile::encodeName(root));
        {
            App app(gArgc, gArgv);
            ScriptedDesktop& desktop = ScriptedDesktop::InstallNew();
            app.Event_Open();
            EXPECT_TRUE(desktop.messages.isEmpty()) << desktop.messages.join('\n').toStdString();
        }
        qputenv("XDG_DATA_HOME", QFile::encodeName(sandbox.DataHome()));
        const auto rows = StoredData::Rows(folder);
        QStringList described;
        for (auto it = rows.begin(); it != rows.end(); ++it) {
            const int seq = FaultPhotos::SeqOfName(it->name);
            described << QStringLiteral("%1:%2").arg(it.key()).arg(seq);
            QImage passport, source;
            ASSERT_TRUE(FaultPhotos::IsWholePng(it->passport, &passport));
            EXPECT_EQ(FaultPhotos::SeqOfPicture(passport), seq) << "row " << it.key();
            ASSERT_TRUE(FaultPhotos::IsWholePng(StoredData::ReadFile(QDir(folder).filePath(QString::number(it.key()))),
                                                &source))
                << "row " << it.key() << " has no whole source picture";
            EXPECT_EQ(FaultPhotos::SeqOfPicture(source), seq) << "row " << it.key() << " shows another picture";
            // Photo 1 was made from a landscape picture, photo 2 from a portrait one.
            EXPECT_EQ(source.width() > source.height(), seq == 1) << "row " << it.key();
        }
        *state = described.join(QLatin1Char(' '));
        EXPECT_TRUE(allowed.count(*state)) << "rows after the next start: " << state->toStdString();
        QStringList expected{QStringLiteral("DataFile")};
        for (int id : rows.keys()) expected << QString::number(id);
        QStringList files = StoredData::Files(folder);
        files.removeAll(QStringLiteral("DataFile-journal"));
        expected.sort();
        EXPECT_EQ(files, expected) << "files after the next start";
        EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("Recovered"))));
    }
};

TEST_F(KillAtEachCallTest, EveryInstantOfASaveOrDeleteLeavesEachPhotoWithItsOwnPicture) {
    ASSERT_NO_FATAL_FAILURE(MakeTemplate());
    int status = 0;

    const struct {
        const char* op;
        std::set<QString> before, after;
    } changes[] = {
        {"new", {QStringLiteral("1:1")}, {QStringLiteral("1:1 2:2")}},
        {"edit", {QStringLiteral("1:1")}, {QStringLiteral("1:2")}},
        {"delete", {QStringLiteral("1:1")}, {QString()}},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.op);
        std::set<QString> allowed = change.before;
        allowed.insert(change.after.begin(), change.after.end());
        // Uninterrupted first, to learn how many file-changing calls the change makes.
        const QString whole = sandbox.Root() + QStringLiteral("/%1-whole").arg(QLatin1String(change.op));
        CopyFolder(Template(), whole + QStringLiteral("/Kestrine"));
        const std::string output = Run(whole + QStringLiteral("/Kestrine"), change.op, 0, &status);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        const long calls = std::stol(output.substr(output.rfind("calls ") + 6));
        ASSERT_GT(calls, 3) << "the shim saw too few calls to prove anything";
        QString state;
        CheckNextStart(whole, change.after, &state);

        int asBefore = 0;
        for (long k = 1; k <= calls; ++k) {
            SCOPED_TRACE("killed before file-changing call " + std::to_string(k));
            const QString root = sandbox.Root() + QStringLiteral("/%1-%2").arg(QLatin1String(change.op)).arg(k);
            CopyFolder(Template(), root + QStringLiteral("/Kestrine"));
            const std::string cut = Run(root + QStringLiteral("/Kestrine"), change.op, k, &status);
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << cut;
            CheckNextStart(root, allowed, &state);
            if (change.before.count(state)) ++asBefore;
        }
        std::printf("[ kills    ] %s: %ld file-changing calls, %d kills left the photos as before, %ld as saved\n",
                    change.op, calls, asBefore, calls - asBefore);
    }
}

// A kill keeps what the page cache holds; a power cut keeps only what was synced. So the order of
// the calls is what proves a save survives one: the folder is synced after the database's last
// change (the journal's removal, its commit point) and before the picture takes the row's name,
// else the row could roll back and pair with the new picture.
TEST_F(KillAtEachCallTest, ACommitIsSyncedBeforeItsPictureTakesTheRowsName) {
    ASSERT_NO_FATAL_FAILURE(MakeTemplate());
    for (const char* op : {"new", "edit"}) {
        SCOPED_TRACE(op);
        const QString root = sandbox.Root() + QStringLiteral("/order-") + QLatin1String(op);
        const QString folder = root + QStringLiteral("/Kestrine");
        std::string output;
        const QStringList calls = Logged(root, op, &output);
        const QString id = QLatin1String(op) == QLatin1String("new") ? QStringLiteral("2") : QStringLiteral("1");
        const QRegularExpression intoPlace(QStringLiteral("^rename %1/%2\\.[A-Za-z0-9]{6} %1/%2$")
                                               .arg(QRegularExpression::escape(folder), id));
        qsizetype rename = -1, database = -1, synced = -1;
        for (qsizetype i = 0; i < calls.size() && rename < 0; ++i) {
            if (intoPlace.match(calls[i]).hasMatch())
                rename = i;
            else if (calls[i].contains(folder + QStringLiteral("/DataFile")))
                database = i;
            else if (calls[i] == QStringLiteral("fsync ") + folder || calls[i] == QStringLiteral("fdatasync ") + folder)
                synced = i;
        }
        ASSERT_GE(rename, 0) << "no rename into place among:\n" << calls.join('\n').toStdString();
        ASSERT_GE(database, 0);
        EXPECT_GT(synced, database) << "the folder is not synced between the commit and the rename:\n"
                                    << calls.join('\n').toStdString();
    }

    // A whole-file write (the preferences file here; sheets and prints to a file use the same
    // writer) syncs its folder once the new file took the name.
    const QString home = sandbox.Root() + QStringLiteral("/prefs-order");
    const QString log = home + QStringLiteral("/calls.log");
    QDir().mkpath(home + QStringLiteral("/config"));
    ChildProcess prefs(FULL_DISK_HARNESS, {"prefs", "-"},
                       {{"XDG_DATA_HOME", (home + QStringLiteral("/data")).toStdString()},
                        {"XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toStdString()},
                        {"LD_PRELOAD", FAULT_SHIM},
                        {"KESTRINE_FAULT_MANUAL", "1"},
                        {"KESTRINE_FAULT_LOG", log.toStdString()}});
    prefs.Finish();
    const QStringList calls = QString::fromLocal8Bit(StoredData::ReadFile(log)).split('\n', Qt::SkipEmptyParts);
    const QString config = home + QStringLiteral("/config");
    const qsizetype renamed = calls.indexOf(QRegularExpression(
        QStringLiteral("^rename %1/Kestrine\\.[0-9a-z]+\\.tmp %1/Kestrine$").arg(QRegularExpression::escape(config))));
    ASSERT_GE(renamed, 0) << calls.join('\n').toStdString();
    EXPECT_TRUE(calls.indexOf(QStringLiteral("fsync ") + config, renamed) > renamed)
        << calls.join('\n').toStdString();
}

// Each file-changing call of a save or delete fails in turn (EIO, as a failing disk answers):
// what the change reports is what the next start shows, and a delete that says it kept the photo
// has left its picture where it was.
TEST_F(KillAtEachCallTest, AFailedCallAnywhereIsReportedAsTheChangeEnded) {
    ASSERT_NO_FATAL_FAILURE(MakeTemplate());
    const struct {
        const char* op;
        QString before, after;
    } changes[] = {
        {"new", QStringLiteral("1:1"), QStringLiteral("1:1 2:2")},
        {"edit", QStringLiteral("1:1"), QStringLiteral("1:2")},
        {"delete", QStringLiteral("1:1"), QString()},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.op);
        std::string output;
        const QStringList all =
            Logged(sandbox.Root() + QStringLiteral("/fail-%1-all").arg(QLatin1String(change.op)), change.op, &output);
        const qsizetype calls = all.size();
        ASSERT_GT(calls, 3);
        // The folder sync right after the new picture's own: the row may not name a picture
        // whose name is not yet on disk, so a refusal there must end the save before its commit.
        const QRegularExpression pictureSync(QStringLiteral("^fsync .*/Kestrine/[0-9]+\\.[A-Za-z0-9]{6}$"));
        qsizetype beforeCommit = 0;
        for (qsizetype i = 1; i < calls && !beforeCommit; ++i)
            if (pictureSync.match(all[i - 1]).hasMatch() && all[i].endsWith(QStringLiteral("/Kestrine")))
                beforeCommit = i + 1;
        EXPECT_EQ(beforeCommit > 0, QLatin1String(change.op) != QLatin1String("delete")) << all.join('\n').toStdString();
        int failedReports = 0;
        for (qsizetype k = 1; k <= calls; ++k) {
            SCOPED_TRACE("file-changing call " + std::to_string(k) + " failed");
            const QString root = sandbox.Root() + QStringLiteral("/fail-%1-%2").arg(QLatin1String(change.op)).arg(k);
            const QStringList made = Logged(root, change.op, &output, {{"KESTRINE_FAULT_FAIL_AT", std::to_string(k)}});
            const bool failed = output.find("failed") != std::string::npos || output.find("kept") != std::string::npos;
            failedReports += failed;
            if (k == beforeCommit) {
                EXPECT_TRUE(failed) << "a save went on after its picture's name failed to reach the disk";
            }
            const QString refused = k <= made.size() ? made[k - 1] : QString();
            if (QLatin1String(change.op) == QLatin1String("delete") && failed &&
                !refused.startsWith(QStringLiteral("rename "))) {
                EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("/Kestrine/1")))
                    << "a delete that kept the photo took its picture away; refused: " << refused.toStdString();
            }
            QString state;
            CheckNextStart(root, {change.before, change.after}, &state);
            EXPECT_EQ(state, failed ? change.before : change.after)
                << output << "refused: " << refused.toStdString();
        }
        std::printf("[ failures ] %s: %lld calls, %d failures reported\n", change.op, static_cast<long long>(calls),
                    failedReports);
    }
}

} // namespace

#include "App.h"
#include "ChildProcess.h"
#include "FaultPhotos.h"
#include "QtPrinters.h"
#include "ScriptedDesktop.h"
#include "StoredData.h"
#include "XdgSandbox.h"
#include "winMain.h"

#include <QDir>
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
#include <sstream>
#include <sys/wait.h>

namespace {

using Clock = std::chrono::steady_clock;

int gArgc = 1;
char gArg0[] = "kestrine-test";
char* gArgv[] = {gArg0, nullptr};

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
        QImage passport, preview, source;
        EXPECT_TRUE(FaultPhotos::IsWholePng(it->passport, &passport)) << "row " << id;
        EXPECT_TRUE(FaultPhotos::IsWholePng(it->preview, &preview)) << "row " << id;
        EXPECT_EQ(FaultPhotos::SeqOfPicture(passport), seq) << "row " << id;
        EXPECT_EQ(FaultPhotos::SeqOfPicture(preview), seq) << "row " << id;
        const QByteArray file = StoredData::ReadFile(QDir(folder).filePath(QString::number(id)));
        ASSERT_TRUE(FaultPhotos::IsWholePng(file, &source))
            << "the picture file of row " << id << " is missing or cut";
        EXPECT_EQ(source.size(), QSize(FaultPhotos::kSourceWidth, FaultPhotos::kSourceHeight));
        const int fileSeq = FaultPhotos::SeqOfPicture(source);
        EXPECT_TRUE(fileSeq == seq || (fileSeq > seq && reports.CutShortMayHaveLeft(id, fileSeq)))
            << "row " << id << " holds photo " << seq << ", its file photo " << fileSeq;
    }
    static const QRegularExpression number(QStringLiteral("^[1-9][0-9]*$"));
    for (const QString& name : StoredData::Files(folder)) {
        if (!number.match(name).hasMatch() || rows.contains(name.toInt())) continue;
        // A file without a row: only from a new photo whose row a kill rolled back.
        QImage source;
        EXPECT_TRUE(FaultPhotos::IsWholePng(StoredData::ReadFile(QDir(folder).filePath(name)), &source))
            << name.toStdString();
        EXPECT_TRUE(reports.CutShortMayHaveLeft(0, FaultPhotos::SeqOfPicture(source))) << name.toStdString();
    }
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
        // SQLite's own journal may stay behind when a kill cut its writing short; it holds no
        // transaction then (a hot one is rolled back by the first read) and is SQLite's to reuse.
        static const QRegularExpression ours(QStringLiteral("^(DataFile|DataFile-journal|[1-9][0-9]*)$"));
        for (const QString& name : StoredData::Files(ChainFolder(chain)))
            EXPECT_TRUE(ours.match(name).hasMatch()) << "left after the next start: " << name.toStdString();
    }
    qputenv("XDG_DATA_HOME", QFile::encodeName(sandbox.DataHome()));
    std::printf("[ kills    ] %d kills, %d inside a save, %d temporary files left before the next start\n",
                kChains * kRunsPerChain, cutInSave, leftovers);
}

TEST_F(KillDuringSaveTest, TheNextStartSweepsOnlyTemporaryFilesOfPhotoFiles) {
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
    EXPECT_TRUE(desktop.messages.isEmpty());
    QStringList expected = others + QStringList{QStringLiteral("DataFile")};
    expected.sort();
    EXPECT_EQ(StoredData::Files(folder), expected);
    EXPECT_TRUE(QFileInfo(QDir(folder).filePath(QStringLiteral("4.Ab12Cd"))).isDir());
}

} // namespace

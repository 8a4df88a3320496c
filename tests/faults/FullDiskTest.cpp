#include "ChildProcess.h"
#include "DataFileFaults.h"
#include "FaultPhotos.h"
#include "PictureCompare.h"
#include "QtPrinters.h"
#include "StoredData.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>
#include <sys/wait.h>

// Each write of the application is run in a child process whose files may grow no larger than
// a limit, for many limits: the write either succeeds whole, or the user is told and the row,
// the picture file, the exported file or the preferences file is as it was before.
namespace {

const QByteArray kOldSheet("the user's earlier sheet");

// A data and preferences home, as the child sees it through XDG_*.
struct Home {
    QString root;
    QString Data() const { return root + QStringLiteral("/data/Kestrine"); }
    QString Config() const { return root + QStringLiteral("/config"); }
    QString PrefsFile() const { return Config() + QStringLiteral("/Kestrine"); }
    QString Sheet() const { return root + QStringLiteral("/sheets/photo.jpg"); }
    ChildProcess::Environment Environment() const {
        return {{"XDG_DATA_HOME", (root + QStringLiteral("/data")).toStdString()},
                {"XDG_CONFIG_HOME", Config().toStdString()},
                {"XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toStdString()}};
    }
};

struct Outcome {
    int status = -1;
    QStringList messages;
    bool done = false;
    int listed = -1; // photos in the list of a start that opened the library
    QStringList shown; // sizes of the pictures the editor showed, "<w>x<h>"
    std::string output;
};

std::unique_ptr<ChildProcess> Start(const Home& home, const std::string& op, const std::string& limit,
                                    const QString& argument = {}, ChildProcess::Environment more = {}) {
    std::vector<std::string> args{op, limit};
    if (!argument.isEmpty()) args.push_back(argument.toStdString());
    ChildProcess::Environment environment = home.Environment();
    environment.insert(environment.end(), more.begin(), more.end());
    return std::make_unique<ChildProcess>(FULL_DISK_HARNESS, args, environment);
}

Outcome Finish(ChildProcess& child) {
    Outcome o;
    o.status = child.Finish();
    o.output = child.Output();
    for (const std::string& line : child.Lines()) {
        if (line.rfind("message ", 0) == 0) o.messages << QString::fromStdString(line.substr(8));
        if (line == "done") o.done = true;
        if (line.rfind("listed ", 0) == 0) o.listed = std::stoi(line.substr(7));
        if (line.rfind("showed ", 0) == 0) o.shown << QString::fromStdString(line.substr(7));
    }
    return o;
}

Outcome RunOnce(const Home& home, const std::string& op, const std::string& limit,
                const QString& argument = {}, ChildProcess::Environment more = {}) {
    auto child = Start(home, op, limit, argument, std::move(more));
    return Finish(*child);
}

void CopyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QDir().mkpath(to);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else
            QFile::copy(path, target);
    }
}

// Runs `count` children eight at a time: `start(i)` starts the i-th, and `check(i, outcome)` is
// handed what it did. Stops at a fatal failure, as an assertion in a plain loop would.
void EightAtATime(size_t count, const std::function<std::unique_ptr<ChildProcess>(size_t)>& start,
                  const std::function<void(size_t, const Outcome&)>& check) {
    for (size_t first = 0; first < count; first += 8) {
        std::vector<std::unique_ptr<ChildProcess>> batch;
        for (size_t i = first; i < std::min(count, first + 8); ++i) batch.push_back(start(i));
        for (size_t i = first; i < first + batch.size(); ++i) {
            check(i, Finish(*batch[i - first]));
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}

Home CopyOf(const Home& base, const QString& root) {
    CopyTree(base.root, root);
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return Home{root};
}

struct FullDiskTest : ::testing::Test {
    static inline QTemporaryDir* dir = nullptr;
    static inline Home base;

    // One photo saved, preferences written once ("DrawCropMarks" on), an earlier sheet on disk.
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        base.root = dir->filePath(QStringLiteral("base"));
        for (const char* sub : {"/data", "/config", "/runtime", "/sheets"})
            QDir().mkpath(base.root + QLatin1String(sub));
        QFile::setPermissions(base.root + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // Two photos: a noisy one, whose row is large, then a smooth one with small pictures
        // stored after it. Limits between the second one's file size and the database's size
        // refuse the database's commit after the file went through.
        QImage portrait(900, 1200, QImage::Format_RGB32);
        QRandomGenerator noise(7);
        for (int y = 0; y < portrait.height(); ++y)
            for (int x = 0; x < portrait.width(); ++x)
                portrait.setPixel(x, y, noise.generate() | 0xff000000u);
        QImageWriter writer(Portrait(), "jpeg");
        writer.setQuality(95);
        ASSERT_TRUE(writer.write(portrait));
        ASSERT_TRUE(QImageWriter(SmoothPortrait(), "jpeg").write(PictureCompare::Gradient(300, 400)));
        for (const QString& picture : {Portrait(), SmoothPortrait()}) {
            const Outcome added = RunOnce(base, "add", "-", picture);
            ASSERT_TRUE(added.done && added.messages.isEmpty()) << added.output;
        }
        const Outcome prefs = RunOnce(base, "prefs", "-");
        ASSERT_TRUE(prefs.done && prefs.messages.isEmpty()) << prefs.output;
        QFile sheet(base.Sheet());
        ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
        sheet.write(kOldSheet);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static QString Portrait() { return dir->filePath(QStringLiteral("portrait.jpg")); }
    static QString SmoothPortrait() { return dir->filePath(QStringLiteral("smooth.jpg")); }

    // A copy of the prepared home for each limit.
    std::vector<Home> Copies(const std::string& op, size_t count) {
        std::vector<Home> homes;
        static int made = 0;
        for (size_t i = 0; i < count; ++i)
            homes.push_back(
                CopyOf(base, dir->filePath(QStringLiteral("%1-%2").arg(QString::fromStdString(op)).arg(++made))));
        return homes;
    }

    // Runs `op` once per limit, eight at a time, and hands each outcome to `check`.
    void RunLimits(const std::string& op, const std::vector<qint64>& limits, const QString& argument,
                   const std::function<void(const Home&, qint64, const Outcome&)>& check) {
        const std::vector<Home> homes = Copies(op, limits.size());
        EightAtATime(
            limits.size(),
            [&](size_t i) {
                const QString arg = argument == QStringLiteral("<sheet>") ? homes[i].Sheet() : argument;
                return Start(homes[i], op, limits[i] < 0 ? "-" : std::to_string(limits[i]), arg);
            },
            [&](size_t i, const Outcome& o) {
                SCOPED_TRACE(op + " with files limited to " + std::to_string(limits[i]) + " bytes");
                ASSERT_TRUE(WIFEXITED(o.status) && WEXITSTATUS(o.status) == 0 && o.done) << o.output;
                check(homes[i], limits[i], o);
            });
    }
};

// Limits from nothing to past everything the write needs, denser where files end.
std::vector<qint64> Limits(qint64 largest, std::initializer_list<qint64> exact) {
    std::vector<qint64> limits{0, 1, 512};
    for (double l = 2048; l < largest * 1.5; l *= 1.5)
        limits.push_back(static_cast<qint64>(l));
    for (qint64 e : exact)
        if (e > 0) limits.push_back(e);
    limits.push_back(-1); // no limit: the write must succeed
    std::sort(limits.begin(), limits.end());
    limits.erase(std::unique(limits.begin(), limits.end()), limits.end());
    return limits;
}

bool Told(const Outcome& o, const QString& what) {
    return o.messages.size() == 1 && o.messages[0].contains(what);
}

// The rows and the photo files of a data folder.
struct Snapshot {
    QMap<int, StoredData::Row> rows;
    QMap<QString, QByteArray> files;
    explicit Snapshot(const QString& folder) : rows(StoredData::Rows(folder)) {
        for (const QString& name : StoredData::Files(folder))
            if (!name.startsWith(QStringLiteral("DataFile")))
                files[name] = StoredData::ReadFile(folder + '/' + name);
    }
};

// Which step refused a failed save, by its message.
struct Refusals {
    int database = 0; // the row could not be written
    int file = 0;     // the picture file could not be written
    int commit = 0;   // the row could not be committed once the file was in place
    int saved = 0;
    void Count(const Outcome& o) {
        if (o.messages.isEmpty())
            ++saved;
        else if (o.messages[0].contains(QStringLiteral("cannot write")))
            ++file;
        else if (o.messages[0].contains(QStringLiteral("could not be stored in the database")))
            ++commit;
        else
            ++database;
    }
    std::string Text() const {
        return "refused by the row " + std::to_string(database) + ", the file " + std::to_string(file) +
               ", the commit " + std::to_string(commit) + "; saved " + std::to_string(saved);
    }
};

TEST_F(FullDiskTest, AFullDiskDuringAPhotoEditKeepsTheRowAndTheFileOrSavesBoth) {
    const Snapshot before(base.Data());
    ASSERT_EQ(before.rows.keys(), QList<int>({1, 2}));
    const qint64 database = QFileInfo(base.Data() + QStringLiteral("/DataFile")).size();
    Refusals refusals;
    // The noisy photo's file is larger than its row; the smooth photo's row lies beyond its file's size.
    for (const int edited : {1, 2}) {
        const QString name = QString::number(edited);
        const qint64 file = before.files[name].size();
        RunLimits("edit", Limits(std::max(database, file), {file - 1, file, database - 1}),
                  QString::number(edited - 1), [&](const Home& home, qint64, const Outcome& o) {
                      refusals.Count(o);
                      EXPECT_EQ(StoredData::IntegrityCheck(home.Data()), QStringLiteral("ok"));
                      Snapshot after(home.Data());
                      if (after.files.keys() != before.files.keys() &&
                          Told(o, QStringLiteral("could not be stored in the database"))) {
                          // A commit refused by a database it could not read back keeps the new
                          // picture under its own name; the next start decides.
                          EXPECT_EQ(after.files.size(), before.files.size() + 1);
                          const Outcome next = RunOnce(home, "open", "-");
                          EXPECT_TRUE(next.done && next.messages.isEmpty()) << next.output;
                          after = Snapshot(home.Data());
                      }
                      ASSERT_EQ(after.files.keys(), before.files.keys()) << "files left or lost";
                      const int other = 3 - edited;
                      EXPECT_TRUE(after.rows[other] == before.rows[other]);
                      EXPECT_EQ(after.files[QString::number(other)], before.files[QString::number(other)]);
                      if (o.messages.isEmpty()) {
                          EXPECT_EQ(after.rows[edited].name, QStringLiteral("Renamed"));
                          EXPECT_TRUE(FaultPhotos::IsWholePng(after.rows[edited].passport));
                          EXPECT_TRUE(FaultPhotos::IsWholePng(after.files[name]));
                      } else {
                          EXPECT_TRUE(Told(o, QStringLiteral("could not be saved")))
                              << o.messages.join('\n').toStdString();
                          EXPECT_TRUE(after.rows[edited] == before.rows[edited])
                              << "the user was told the save failed, but the row changed";
                          EXPECT_EQ(after.files[name], before.files[name])
                              << "the user was told the save failed, but the picture file changed";
                      }
                  });
    }
    std::printf("[ edit     ] %s\n", refusals.Text().c_str());
    EXPECT_GT(refusals.database, 0);
    EXPECT_GT(refusals.file, 0);
    EXPECT_GT(refusals.commit, 0);
    EXPECT_GT(refusals.saved, 0);
}

TEST_F(FullDiskTest, AFullDiskDuringANewPhotoAddsNothingOrTheWholePhoto) {
    const Snapshot before(base.Data());
    const qint64 database = QFileInfo(base.Data() + QStringLiteral("/DataFile")).size();
    const qint64 file = before.files[QStringLiteral("2")].size();
    Refusals refusals;
    RunLimits("add", Limits(database * 3 / 2, {file, database}), SmoothPortrait(),
              [&](const Home& home, qint64, const Outcome& o) {
                  refusals.Count(o);
                  EXPECT_EQ(StoredData::IntegrityCheck(home.Data()), QStringLiteral("ok"));
                  Snapshot after(home.Data());
                  if (o.messages.isEmpty()) {
                      ASSERT_EQ(after.rows.keys(), QList<int>({1, 2, 3}));
                      EXPECT_EQ(after.rows[3].name, QStringLiteral("Fresh"));
                      EXPECT_TRUE(FaultPhotos::IsWholePng(after.rows[3].passport));
                      EXPECT_TRUE(FaultPhotos::IsWholePng(after.files.take(QStringLiteral("3"))));
                      after.rows.remove(3);
                  } else {
                      EXPECT_TRUE(Told(o, QStringLiteral("could not be saved")))
                          << o.messages.join('\n').toStdString();
                  }
                  EXPECT_TRUE(after.rows == before.rows) << "rows changed or added by a failed save";
                  EXPECT_TRUE(after.files == before.files) << "files changed or left by a failed save";
              });
    std::printf("[ add      ] %s\n", refusals.Text().c_str());
    EXPECT_GT(refusals.database, 0);
    EXPECT_GT(refusals.file, 0);
    EXPECT_GT(refusals.commit, 0);
    EXPECT_GT(refusals.saved, 0);
}

TEST_F(FullDiskTest, AFullDiskDuringAnExportKeepsTheEarlierFileOrWritesAWholeSheet) {
    const Outcome whole =
        RunOnce(Copies("export-size", 1)[0], "export", "-", dir->filePath(QStringLiteral("size.jpg")));
    ASSERT_TRUE(whole.done && whole.messages.isEmpty()) << whole.output;
    const qint64 size = QFileInfo(dir->filePath(QStringLiteral("size.jpg"))).size();
    ASSERT_GT(size, 1000);
    int failed = 0;
    RunLimits("export", {0, 100, size / 2, size - 1, size, -1}, QStringLiteral("<sheet>"),
              [&](const Home& home, qint64 limit, const Outcome& o) {
                  EXPECT_EQ(StoredData::Files(QFileInfo(home.Sheet()).path()),
                            QStringList({QStringLiteral("photo.jpg")}));
                  if (limit >= 0 && limit < size) {
                      ++failed;
                      EXPECT_TRUE(Told(o, QStringLiteral("could not be saved as \"photo.jpg\"")))
                          << o.messages.join('\n').toStdString();
                      EXPECT_EQ(StoredData::ReadFile(home.Sheet()), kOldSheet);
                  } else {
                      EXPECT_TRUE(o.messages.isEmpty()) << o.messages.join('\n').toStdString();
                      EXPECT_EQ(QImage(home.Sheet()).size(), QSize(1800, 1200));
                  }
              });
    EXPECT_EQ(failed, 4);
}

TEST_F(FullDiskTest, AFullDiskWhenThePreferencesAreSavedKeepsTheFileAndSaysSo) {
    const QByteArray before = StoredData::ReadFile(base.PrefsFile());
    ASSERT_TRUE(before.contains("DrawCropMarks=boolean=True")) << before.toStdString();
    const qint64 after = before.size() + 1; // "False" for "True"
    RunLimits("prefs", {0, 1, after / 2, after - 1, after, -1}, {},
              [&](const Home& home, qint64 limit, const Outcome& o) {
                  EXPECT_EQ(StoredData::Files(home.Config()), QStringList({QStringLiteral("Kestrine")}));
                  if (limit >= 0 && limit < after) {
                      EXPECT_TRUE(Told(o, QStringLiteral("preferences could not be saved")))
                          << o.messages.join('\n').toStdString();
                      EXPECT_EQ(StoredData::ReadFile(home.PrefsFile()), before);
                  } else {
                      EXPECT_TRUE(o.messages.isEmpty()) << o.messages.join('\n').toStdString();
                      EXPECT_TRUE(
                          StoredData::ReadFile(home.PrefsFile()).contains("DrawCropMarks=boolean=False"));
                  }
              });
}

// A folder that refuses some calls, as a share or a failing disk does.
using RefusingFolderTest = FullDiskTest;

// A refused rename of a saved picture into place (another program holds it open): the picture
// stays under the name its row gives, and it is the photo's picture for whatever reads it, opened
// again in the same session or at a start that is refused too, and for the saves made then; the
// first start that may rename it puts it in place.
TEST_F(RefusingFolderTest, ANewPictureWhoseRenameWasRefusedStaysThePhotosPictureThroughLaterSaves) {
    const QString picture = dir->filePath(QStringLiteral("new.jpg"));
    ASSERT_TRUE(QImageWriter(picture, "jpeg").write(PictureCompare::Gradient(500, 700)));
    const QString newSize = QStringLiteral("500x700");
    const Home home = Copies("refused", 1)[0];
    const ChildProcess::Environment refused{{"LD_PRELOAD", FAULT_SHIM}, {"KESTRINE_FAULT_KEEP_PENDING", "1"}};
    auto pending = [&home] {
        return QDir(home.Data()).entryList({QStringLiteral("*.*")}, QDir::Files).filter(QStringLiteral("."));
    };

    const Outcome saved = RunOnce(home, "repicture", "-", picture, refused);
    ASSERT_TRUE(saved.done && saved.messages.isEmpty()) << saved.output;
    ASSERT_EQ(saved.shown.size(), 2) << saved.output;
    EXPECT_NE(saved.shown[0], newSize);
    EXPECT_EQ(saved.shown[1], newSize) << "opened again in the same session";
    ASSERT_FALSE(pending().filter(QRegularExpression(QStringLiteral("^[12]\\.[A-Za-z0-9]{6}$"))).isEmpty())
        << "the rename was not refused";

    const Outcome again = RunOnce(home, "edit", "-", {}, refused);
    ASSERT_TRUE(again.done && again.messages.isEmpty()) << again.output;
    EXPECT_EQ(again.shown, QStringList{newSize}) << "opened at a start refused the rename too";

    const Outcome free = RunOnce(home, "open", "-");
    ASSERT_TRUE(free.done && free.messages.isEmpty() && free.listed == 2) << free.output;
    EXPECT_EQ(pending().filter(QRegularExpression(QStringLiteral("^[12]\\."))), QStringList());
    QStringList sizes;
    for (const char* file : {"/1", "/2"}) {
        const QImage stored(home.Data() + QLatin1String(file));
        sizes << QStringLiteral("%1x%2").arg(stored.width()).arg(stored.height());
    }
    EXPECT_EQ(sizes.count(newSize), 1) << sizes.join(' ').toStdString();
}

// A photo whose picture file is there but whose reads fail, all of them or past the first bytes
// of a JPEG (which the decoder would take for a picture cut short): opening it tells the system's
// reason, not that the picture is missing (whose advice is to replace it), and the photo and its
// file stay as they were, however the editor is left.
TEST_F(RefusingFolderTest, AnOriginalThatCannotBeReadIsToldWithTheSystemsReasonAndKept) {
    const std::vector<Home> homes = Copies("unreadable", 2);
    ASSERT_TRUE(QFile::remove(homes[1].Data() + QStringLiteral("/1")));
    ASSERT_TRUE(QFile::copy(Portrait(), homes[1].Data() + QStringLiteral("/1")));
    for (const auto& [home, unreadable] : {std::pair{homes[0], "1"}, std::pair{homes[1], "1@20000"}}) {
        SCOPED_TRACE(unreadable);
        const Snapshot before(home.Data());
        const Outcome o = RunOnce(home, "edit", "-", QStringLiteral("0"),
                                  {{"LD_PRELOAD", FAULT_SHIM}, {"KESTRINE_FAULT_UNREADABLE", unreadable}});
        ASSERT_TRUE(o.done) << o.output;
        EXPECT_EQ(o.messages, QStringList{QStringLiteral(
                                  "The original picture of this photo cannot be read: Input/output error.")});
        const Snapshot after(home.Data());
        EXPECT_TRUE(after.rows == before.rows);
        EXPECT_TRUE(after.files == before.files);
    }
}

// A library marked for the earlier pictures it could not move aside (its Recovered folder is a
// plain file) keeps them, and its mark, through a start at each of whose reads of the database
// the disk failed in turn, and through the start after it: once, and at each opening of the
// file, as a share that fails the same request of every connection would. A failed read is never
// told as damage, whose advice is to delete the file: the start refuses the library as one that
// cannot be opened, or opens it whole. A damaged file is still called corrupt when a read failed
// as well.
// A home whose library holds two photos.
Home SampleHome(const QTemporaryDir& dir) {
    const Home home{dir.filePath(QStringLiteral("base"))};
    for (const char* sub : {"/data/Kestrine", "/config", "/runtime"}) QDir().mkpath(home.root + QLatin1String(sub));
    EXPECT_TRUE(DataFileFaults::MakeSample(home.Data() + QStringLiteral("/DataFile"), 2));
    return home;
}

TEST(FailedReadTest, AReadThatFailsAtAnyPointOfAStartDeletesNoEarlierPictureThenOrLater) {
    QTemporaryDir dir;
    const Home base = SampleHome(dir);
    const QString dataFile = base.Data() + QStringLiteral("/DataFile");
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(DataFileFaults::Run(dataFile, QStringLiteral("PRAGMA user_version = 1")), 0);
    // A pending picture its row disowns, and one a delete set aside for a row that is gone.
    const QStringList kept{QStringLiteral("2.ABCDEF"), QStringLiteral("8.deleted")};
    for (const QString& name : kept + QStringList{QStringLiteral("Recovered")}) {
        QFile f(base.Data() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("an earlier photo");
    }
    auto failingRead = [](long n, const QString& log, bool eachOpening = false,
                          bool shortRead = false) -> ChildProcess::Environment {
        return {{"LD_PRELOAD", FAULT_SHIM},
                {"KESTRINE_FAULT_FAIL_READ_AT", std::to_string(n)},
                {"KESTRINE_FAULT_EACH_OPENING", eachOpening ? "1" : "0"},
                {"KESTRINE_FAULT_SHORT_READ", shortRead ? "1" : "0"},
                {"KESTRINE_FAULT_LOG", log.toStdString()}};
    };
    auto toldCorrupt = [](const Outcome& o) {
        return o.messages.filter(QStringLiteral(" appears corrupt.  Try deleting file")).size() == 1;
    };
    const Home counted = CopyOf(base, base.root + QStringLiteral("-counted"));
    const QString log = counted.root + QStringLiteral("/reads.log");
    const Outcome whole = RunOnce(counted, "open", "-", {}, failingRead(1L << 40, log));
    ASSERT_TRUE(whole.done && whole.listed == 2) << whole.output;
    const long reads = QString::fromLatin1(StoredData::ReadFile(log)).count(QStringLiteral("read\n"));

    int opened = 0;
    // Each read failed once, then failed at each opening, then cut short, the file taken to end
    // there from then on, as a share may.
    for (const int mode : {0, 1, 2}) {
        const bool eachOpening = mode == 1, shortRead = mode == 2;
        std::vector<std::pair<long, Home>> cases;
        for (long n = 1; n <= reads; ++n)
            cases.emplace_back(n, CopyOf(base, base.root + QStringLiteral("-%1-%2").arg(mode).arg(n)));
        EightAtATime(
            cases.size(),
            [&](size_t i) {
                const Home& home = cases[i].second;
                return Start(home, "open", "-", {},
                             failingRead(cases[i].first, home.root + "/log", eachOpening, shortRead));
            },
            [&](size_t i, const Outcome& faulted) {
                const Home& home = cases[i].second;
                SCOPED_TRACE("read " + std::to_string(cases[i].first) + " of " + std::to_string(reads) +
                             (shortRead     ? " came back short"
                              : eachOpening ? " of each opening failed"
                                            : " failed once"));
                ASSERT_TRUE(faulted.done) << faulted.output;
                if (faulted.output.find("quit ") != std::string::npos) {
                    EXPECT_TRUE(Told(faulted, QStringLiteral(" cannot be opened: "))) << faulted.output;
                    EXPECT_FALSE(Told(faulted, QStringLiteral("not an error"))) << faulted.output;
                } else {
                    EXPECT_FALSE(toldCorrupt(faulted)) << faulted.output;
                    ++opened;
                }
                const Outcome next = RunOnce(home, "open", "-");
                ASSERT_TRUE(next.done && next.messages.isEmpty() && next.listed == 2) << next.output;
                for (const QString& name : kept)
                    EXPECT_TRUE(QFileInfo::exists(home.Data() + QLatin1Char('/') + name));
                EXPECT_EQ(DataFileFaults::Run(home.Data() + QStringLiteral("/DataFile"),
                                              QStringLiteral("PRAGMA user_version")),
                          1);
            });
        if (HasFatalFailure()) return;
    }
    // At least the reads after the open's own, and those a second try read whole, let it open.
    EXPECT_GE(opened, 4);

    // Damage that a failed read came on top of.
    const Home damaged = CopyOf(base, base.root + QStringLiteral("-damaged"));
    const QString damagedFile = damaged.Data() + QStringLiteral("/DataFile");
    const int pageSize = DataFileFaults::PageSize(damagedFile);
    ASSERT_GT(pageSize, 0);
    DataFileFaults::Garble(damagedFile,
                           qint64(DataFileFaults::RootPage(damagedFile, QStringLiteral("passportdata")) - 1) * pageSize,
                           pageSize, 7);
    const QByteArray garbled = DataFileFaults::Bytes(damagedFile);
    for (const long n : {4L, 1L << 40}) {
        const Outcome o = RunOnce(damaged, "open", "-", {}, failingRead(n, damaged.root + "/log"));
        EXPECT_TRUE(toldCorrupt(o)) << o.output;
        EXPECT_EQ(DataFileFaults::Bytes(damagedFile), garbled);
    }
}


// A page of the data file that the disk gives neither to a read nor through a mapping (a bad
// sector, a share that drops the request), near the start, in the middle and last: the start
// tells the read failure instead of dying of it, whether the file system can send files or not,
// and changes nothing; the start after it, the page readable again, lists every photo.
TEST(FailedReadTest, APageThatCannotBeReadIsToldAtTheStartAndTheNextStartListsEveryPhoto) {
    QTemporaryDir dir;
    const Home base = SampleHome(dir);
    ASSERT_FALSE(HasFailure());
    const QString dataFile = QStringLiteral("/data/Kestrine/DataFile");
    const long pages = long(QFileInfo(base.root + dataFile).size() / 4096);
    ASSERT_GE(pages, 6);
    std::vector<std::tuple<long, bool, Home>> cases;
    for (const long page : {1L, pages / 2, pages - 1})
        for (const bool sendfile : {true, false})
            cases.emplace_back(page, sendfile,
                               CopyOf(base, base.root + QStringLiteral("-%1-%2").arg(page).arg(sendfile)));
    const QByteArray before = DataFileFaults::Bytes(base.root + dataFile);
    EightAtATime(
        cases.size(),
        [&](size_t i) {
            const auto& [page, sendfile, home] = cases[i];
            return Start(home, "open", "-", {},
                         {{"LD_PRELOAD", FAULT_SHIM},
                          {"KESTRINE_FAULT_BAD_PAGE", std::to_string(page)},
                          {"KESTRINE_FAULT_NO_SENDFILE", sendfile ? "0" : "1"}});
        },
        [&](size_t i, const Outcome& faulted) {
            const auto& [page, sendfile, home] = cases[i];
            SCOPED_TRACE("page " + std::to_string(page) + " of " + std::to_string(pages) +
                         (sendfile ? "" : ", without sendfile"));
            ASSERT_TRUE(WIFEXITED(faulted.status) && faulted.done) << "status " << faulted.status << faulted.output;
            EXPECT_TRUE(Told(faulted, QStringLiteral(" cannot be opened: Input/output error."))) << faulted.output;
            EXPECT_EQ(DataFileFaults::Bytes(home.root + dataFile), before);
            const Outcome next = RunOnce(home, "open", "-");
            EXPECT_TRUE(next.done && next.messages.isEmpty() && next.listed == 2) << next.output;
        });
}

} // namespace

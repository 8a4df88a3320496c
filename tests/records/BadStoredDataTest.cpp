#include "CpuClock.h"
#include "DataFileFaults.h"
#include "DataStore.h"
#include "DictionaryFile.h"
#include "FolderItemExtensions.h"
#include "NilObjectException.h"
#include "PassportPhotoInfo.h"
#include "PictureCompare.h"
#include "Prefs.h"
#include "QtPrinters.h"
#include "ReadOnlyFile.h"
#include "RecordSet.h"
#include "SqlFileDatabase.h"

#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace DataFileFaults;

#ifdef KESTRINE_SANITIZE
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The processor time a hostile input may take, as a multiple of reading as much well-formed
// input in pieces of a few thousand characters at most, measured in the same run: a build type,
// sanitizers or a busy machine slow both alike. A parse that grows with the square of its input
// costs hundreds of times more per character on a million characters than on such pieces.
constexpr qint64 kTimesWellFormed = 40;

// The parse runs on this thread alone, so its processor time is what a busy machine cannot stretch.
template <class F> qint64 Millis(F&& body) {
    const qint64 start = CpuClock::ThreadMs();
    body();
    return CpuClock::ThreadMs() - start;
}

struct WellFormed {
    qint64 ms = 0;
    qsizetype size = 0; // characters (or bytes) read in all
    qint64 BoundFor(qsizetype inputSize) const {
        return kTimesWellFormed * std::max<qint64>(ms, 1) * std::max(inputSize, size) / size;
    }
};

// Two million characters, enough for the clock's milliseconds to be fine grained.
template <class F> WellFormed TimeWellFormed(qsizetype pieceSize, F&& readPiece) {
    const qsizetype pieces = 2'000'000 / pieceSize + 1;
    return {Millis([&] {
                for (qsizetype i = 0; i < pieces; ++i)
                    readPiece();
            }),
            pieces * pieceSize};
}

// Forty fields of text, numbers and yes/no, as restore info holds.
QString WellFormedTable() {
    DictionaryFile d;
    for (int i = 0; i < 10; ++i) {
        d.SetValue(QStringLiteral("Name%1").arg(i), QStringLiteral("Photo number %1").arg(i));
        d.SetValue(QStringLiteral("PicCenterX%1").arg(i), i * 37);
        d.SetValue(QStringLiteral("ScaleMax%1").arg(i), i / 7.0);
        d.SetValue(QStringLiteral("Crop%1").arg(i), i % 2 == 0);
    }
    return d.GetStringValue();
}

const WellFormed& WellFormedParse() {
    static const WellFormed measured = [] {
        const QString table = WellFormedTable();
        return TimeWellFormed(table.size(), [&] {
            DictionaryFile d;
            d.SetStringValue(table);
        });
    }();
    return measured;
}

qint64 StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Starts a new peak of the resident memory at its present level, freed memory given back first;
// the level in KiB, or -1 when the kernel cannot tell (or sanitizers make the number meaningless).
qint64 ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (kSanitized || !clear.open(QIODevice::WriteOnly) || clear.write("5") != 1) return -1;
    clear.close();
    malloc_trim(0); // memory freed earlier would otherwise be reused unseen
    return StatusKiB("VmRSS:");
}

// How far the resident memory rose above its level at the start while `body` ran, in bytes;
// -1 when that cannot be told.
template <class F> qint64 PeakGrowth(F&& body) {
    static const bool warm = ResetPeak() >= 0; // the first reset touches memory of its own
    const qint64 base = warm ? ResetPeak() : -1;
    body();
    const qint64 peak = StatusKiB("VmHWM:");
    return base < 0 || peak < 0 ? -1 : (peak - base) * 1024;
}

DictionaryFile Parsed(const QString& s) {
    DictionaryFile d;
    d.SetStringValue(s);
    return d;
}

// Parses `s` within the budget and checks that what the table writes reads back to itself.
void ExpectQuickAndConsistent(const char* shape, const QString& s) {
    SCOPED_TRACE(shape);
    DictionaryFile d;
    const qint64 ms = Millis([&] { d.SetStringValue(s); });
    EXPECT_LT(ms, WellFormedParse().BoundFor(s.size()))
        << s.size() << " characters; well-formed, " << WellFormedParse().size << ": " << WellFormedParse().ms
        << " ms";
    const QString once = d.GetStringValue();
    EXPECT_EQ(Parsed(once).GetStringValue(), once);
}

// The string form of `depth` tables nested one in the next under the key "k", the innermost
// holding "a" = "b".
QString Nested(int depth) {
    QStringList prefixes;
    qsizetype length = 7; // "s1.1;ab"
    for (int i = 0; i < depth; ++i) {
        prefixes << QStringLiteral("c1.%1;k").arg(length);
        length += prefixes.last().size();
    }
    std::reverse(prefixes.begin(), prefixes.end());
    return prefixes.join(QString()) + QStringLiteral("s1.1;ab");
}

int Depth(const DictionaryFile& d) {
    int depth = 0;
    for (DictionaryFile level = d; level.HasKey("k"); level = level.Value("k").value<DictionaryFile>())
        ++depth;
    return depth;
}

// ---- the database file ---------------------------------------------------------------------

struct DataFileTest : ::testing::Test {
    QTemporaryDir dir;
    QString sample;
    void SetUp() override {
        sample = dir.filePath(QStringLiteral("sample"));
        ASSERT_TRUE(MakeSample(sample, 12));
    }
    // A fresh folder holding `bytes` as its DataFile.
    QString Place(const QString& name, const QByteArray& bytes) {
        const QString folder = dir.filePath(name);
        QDir().mkpath(folder);
        Write(folder + QStringLiteral("/DataFile"), bytes);
        return folder + QStringLiteral("/DataFile");
    }
};

TEST_F(DataFileTest, ConnectRefusesFilesThatAreNoDatabaseOrAreDamagedAndChangesNothing) {
    const QByteArray whole = Bytes(sample);
    const int page = PageSize(sample);
    const int root = RootPage(sample, QStringLiteral("passportdata"));
    ASSERT_GT(page, 0);
    ASSERT_GT(root, 1);
    ASSERT_GT(whole.size(), 8 * page);

    struct Case {
        const char* name;
        QByteArray bytes;
    };
    std::vector<Case> cases = {
        {"text", QByteArray("name=Ada\nthis is no database\n").repeated(300)},
        {"header only", whole.left(100)},
        {"first page cut", whole.left(page / 2)},
        {"half", whole.left(whole.size() / 2)},
        {"last page missing", whole.left(whole.size() - page)},
    };
    // The photo table's root page, and a run of pages in the middle, turned to noise.
    QByteArray rootDamaged = whole;
    for (int i = 0; i < page; ++i)
        rootDamaged[(root - 1) * page + i] = static_cast<char>((i * 131 + 7) & 0xff);
    cases.push_back({"photo table's root page damaged", rootDamaged});
    QByteArray middleDamaged = whole;
    const int firstMiddle = static_cast<int>(whole.size() / page / 2);
    for (int i = 0; i < 3 * page; ++i)
        middleDamaged[firstMiddle * page + i] = static_cast<char>(QRandomGenerator(i).generate());
    cases.push_back({"pages in the middle damaged", middleDamaged});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Place(QString::fromLatin1(c.name).replace(' ', '_'), c.bytes);
        const QStringList files = Files(QFileInfo(path).absolutePath());
        SqlFileDatabase db;
        db.DatabaseFile = path;
        EXPECT_FALSE(db.Connect());
        EXPECT_FALSE(db.IsConnected());
        EXPECT_FALSE(db.CreateDatabaseFile());
        EXPECT_EQ(Bytes(path), c.bytes);
        EXPECT_EQ(Files(QFileInfo(path).absolutePath()), files);
    }
}

TEST_F(DataFileTest, AnEmptyFileIsAnEmptyDatabaseAndStaysEmptyOnConnect) {
    const QString path = Place(QStringLiteral("empty"), {});
    SqlFileDatabase db;
    db.DatabaseFile = path;
    ASSERT_TRUE(db.Connect());
    auto rs = db.SQLSelect(QStringLiteral("select count(*) as n from sqlite_master"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->Field(QStringLiteral("n")).IntegerValue(), 0);
    EXPECT_EQ(QFileInfo(path).size(), 0);
    EXPECT_FALSE(db.SQLSelect(QStringLiteral("select rowid from passportdata")));
}

TEST_F(DataFileTest, AHotJournalLeftByACrashIsRolledBackAndTheCommittedPhotosRemain) {
    const QString crashed = dir.filePath(QStringLiteral("crashed"));
    ASSERT_TRUE(CrashSnapshot(sample, crashed));

    SqlFileDatabase db;
    db.DatabaseFile = crashed;
    ASSERT_TRUE(db.Connect());
    EXPECT_FALSE(QFileInfo::exists(crashed + QStringLiteral("-journal")));
    auto rs = db.SQLSelect(QStringLiteral("select name from passportdata order by rowid"));
    ASSERT_TRUE(rs);
    QStringList names;
    for (; !rs->Eof(); rs->MoveNext())
        names << rs->Field(QStringLiteral("name")).StringValue();
    QStringList expected;
    for (int i = 1; i <= 12; ++i)
        expected << QStringLiteral("Photo %1").arg(i);
    EXPECT_EQ(names, expected);
    auto check = db.SQLSelect(QStringLiteral("PRAGMA integrity_check"));
    ASSERT_TRUE(check);
    EXPECT_EQ(check->IdxField(1).StringValue(), QStringLiteral("ok"));
}

TEST_F(DataFileTest, AFileWhoseCrashJournalWasLostIsRefused) {
    // Deleting a hot journal to "repair" a database corrupts it; opening what remains as if all
    // were well would hide that.
    const QString crashed = dir.filePath(QStringLiteral("crashed"));
    ASSERT_TRUE(CrashSnapshot(sample, crashed));
    ASSERT_TRUE(QFile::remove(crashed + QStringLiteral("-journal")));
    const QByteArray bytes = Bytes(crashed);
    SqlFileDatabase db;
    db.DatabaseFile = crashed;
    EXPECT_FALSE(db.Connect());
    EXPECT_EQ(Bytes(crashed), bytes);
}

TEST_F(DataFileTest, AHotJournalThatCannotBeRolledBackLeavesFileAndJournalAlone) {
    const QString crashed = dir.filePath(QStringLiteral("crashed"));
    ASSERT_TRUE(CrashSnapshot(sample, crashed));
    const QByteArray bytes = Bytes(crashed);
    const QByteArray journal = Bytes(crashed + QStringLiteral("-journal"));
    {
        ReadOnlyFile readOnly(crashed);
        if (!readOnly.Active()) GTEST_SKIP() << "this file system cannot make a file read-only";
        SqlFileDatabase db;
        db.DatabaseFile = crashed;
        EXPECT_FALSE(db.Connect());
    }
    EXPECT_EQ(Bytes(crashed), bytes);
    EXPECT_EQ(Bytes(crashed + QStringLiteral("-journal")), journal);
}

TEST_F(DataFileTest, AReadOnlyFileIsReadButEveryWriteFailsWithItsReason) {
    const QByteArray bytes = Bytes(sample);
    ReadOnlyFile readOnly(sample);
    if (!readOnly.Active()) GTEST_SKIP() << "this file system cannot make a file read-only";

    DataStore& store = DataStore::Current();
    store.AppFolder = dir.path();
    store.db = std::make_unique<SqlFileDatabase>();
    store.db->DatabaseFile = sample;
    struct Reset {
        ~Reset() {
            DataStore::Current().db.reset();
            DataStore::Current().AppFolder.clear();
        }
    } reset;
    ASSERT_TRUE(store.db->Connect());

    PassportPhotoInfo stored;
    ASSERT_TRUE(stored.LoadID(3));
    EXPECT_EQ(stored.mName, QStringLiteral("Photo 3"));
    EXPECT_FALSE(stored.mPicPassPort().isNull());

    PassportPhotoInfo copy(stored);
    copy.mName = QStringLiteral("Renamed");
    copy.mPicOriginal(PictureCompare::Gradient(40, 30));
    EXPECT_THROW(copy.SaveToDB(), PassportPhotoInfo::SaveError);

    PassportPhotoInfo fresh;
    fresh.mPicOriginal(PictureCompare::Gradient(40, 30));
    fresh.mPicPassPort(PictureCompare::Gradient(60, 60));
    try {
        fresh.SaveToDB();
        ADD_FAILURE() << "a refused insert passed for a success";
    } catch (const PassportPhotoInfo::SaveError& e) {
        EXPECT_NE(std::string(e.what()).find("readonly"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fresh.mRowID, 0);
    EXPECT_FALSE(store.db->SQLExecute(QStringLiteral("delete from passportdata")));
    EXPECT_EQ(Bytes(sample), bytes);
}

// ---- restore info --------------------------------------------------------------------------

TEST(BadRestoreInfoTest, LengthsBeyondTheInput) {
    const QString body = QString(1'000'000, QLatin1Char('a'));
    ExpectQuickAndConsistent("both lengths past the end", QStringLiteral("s999999999.999999999;") + body);
    ExpectQuickAndConsistent("largest lengths, many fields",
                             QStringLiteral("s2147483647.2147483647:").repeated(50'000) + QLatin1Char(';') +
                                 body);
    ExpectQuickAndConsistent("a length of a million digits", QStringLiteral("s") +
                                                                 QString(1'000'000, QLatin1Char('9')) +
                                                                 QStringLiteral(".1;ab"));
    ExpectQuickAndConsistent("data of a million digits", QStringLiteral("d1.1000000:i1.1000000;a") +
                                                             QString(1'000'000, QLatin1Char('7')) +
                                                             QLatin1Char('b') +
                                                             QString(1'000'000, QLatin1Char('8')));
    ExpectQuickAndConsistent("negative lengths",
                             QStringLiteral("s-5.-99999999999:").repeated(100'000) + QLatin1Char(';') + body);

    const DictionaryFile d = Parsed(QStringLiteral("s1.999999999;ab") + body);
    EXPECT_EQ(d.Value("a"), QVariant(QStringLiteral("b") + body));
}

TEST(BadRestoreInfoTest, AMillionFields) {
    ExpectQuickAndConsistent("one key a million times", QStringLiteral("i0.1:").repeated(1'000'000) +
                                                            QLatin1Char(';') +
                                                            QString(1'000'000, QLatin1Char('7')));
    ExpectQuickAndConsistent("a million empty fields",
                             QString(1'000'000, QLatin1Char(':')) + QLatin1Char(';'));
    ExpectQuickAndConsistent("a million fields and no body", QStringLiteral("b1.1:").repeated(1'000'000));

    // As many distinct keys: the table holds them all, in time and memory in proportion.
    constexpr int kFields = 100'000;
    QString header = QStringLiteral("s6.1:").repeated(kFields);
    header.chop(1);
    QString body;
    body.reserve(kFields * 7);
    for (int i = 0; i < kFields; ++i)
        body += QStringLiteral("%1x").arg(i, 6, 10, QLatin1Char('0'));
    const QString s = header + QLatin1Char(';') + body;
    DictionaryFile d;
    qint64 ms = 0;
    const qint64 grown = PeakGrowth([&] { ms = Millis([&] { d.SetStringValue(s); }); });
    EXPECT_LT(ms, WellFormedParse().BoundFor(s.size())) << "well-formed: " << WellFormedParse().ms << " ms";
    ASSERT_EQ(d.Count(), kFields);
    EXPECT_EQ(d.Value(QStringLiteral("012345")), QVariant(QStringLiteral("x")));
    if (grown >= 0) {
        EXPECT_LT(grown, qint64(kFields) * 400) << "bytes per field: " << grown / kFields;
    }
}

TEST(BadRestoreInfoTest, NestingAHundredThousandDeep) {
    const QString nested = Nested(100'000);
    DictionaryFile d;
    EXPECT_LT(Millis([&] { d.SetStringValue(nested); }), WellFormedParse().BoundFor(nested.size()))
        << "well-formed: " << WellFormedParse().ms << " ms";
    EXPECT_EQ(Depth(d), DictionaryFile::kMaxNesting);
    ExpectQuickAndConsistent("well-formed", nested);
    ExpectQuickAndConsistent("headers that claim the rest",
                             QStringLiteral("c0.999999999;").repeated(100'000));
    ExpectQuickAndConsistent("headers only", QStringLiteral("c1.1:").repeated(100'000) + QStringLiteral(";") +
                                                 QStringLiteral("c1.1;kk").repeated(100'000));
}

TEST(BadRestoreInfoTest, NulBytesAndInvalidUtf8) {
    ExpectQuickAndConsistent("NULs only", QString(1'000'000, QChar(0)));
    ExpectQuickAndConsistent("NULs in the body", QStringLiteral("s1.3:i1.2;") + QString(1'000'000, QChar(0)));
    const QString nulHeader = QStringLiteral("s") + QChar(0) + QStringLiteral("1.") + QChar(0) +
                              QStringLiteral("2;") + QChar(0) + QStringLiteral("ab");
    const DictionaryFile nul = Parsed(nulHeader);
    EXPECT_EQ(nul.Count(), 1); // a NUL where a digit belongs reads as a zero length

    QByteArray noise(1'000'000, Qt::Uninitialized);
    QRandomGenerator rng(11);
    for (char& c : noise)
        c = static_cast<char>(rng.generate());
    ExpectQuickAndConsistent("random bytes as UTF-8", QString::fromUtf8(noise));
    ExpectQuickAndConsistent("random bytes as Latin-1", QString::fromLatin1(noise));
    ExpectQuickAndConsistent(
        "invalid sequences",
        QString::fromUtf8(QByteArray("s1.2;a\xff\xfe\xc0\x80\xed\xa0\x80").repeated(100'000)));
    QString lone;
    for (int i = 0; i < 500'000; ++i)
        lone += i % 3 ? QChar(0xd800 + i % 1024) : QChar(0xdc00 + i % 1024);
    ExpectQuickAndConsistent("lone surrogates", QStringLiteral("s2.3:s1.1;") + lone);
}

// A PNG of `width` x `height` black pixels, 1 bit each: tiny, however large it says it is.
// Only the first `rows` rows are in it (all of them when 0).
QByteArray BlackPng(quint32 width, quint32 height, quint32 rows = 0) {
    auto crc = [](const QByteArray& bytes) {
        quint32 c = 0xffffffffu;
        for (char ch : bytes) {
            c ^= static_cast<unsigned char>(ch);
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
        }
        return c ^ 0xffffffffu;
    };
    auto be32 = [](quint32 v) {
        QByteArray b(4, Qt::Uninitialized);
        for (int i = 0; i < 4; ++i)
            b[i] = static_cast<char>(v >> (24 - 8 * i));
        return b;
    };
    auto chunk = [&](const char* type, const QByteArray& data) {
        const QByteArray body = QByteArray(type) + data;
        return be32(static_cast<quint32>(data.size())) + body + be32(crc(body));
    };
    const QByteArray ihdr = be32(width) + be32(height) + QByteArray("\x01\x00\x00\x00\x00", 5);
    const QByteArray raw(static_cast<qsizetype>(rows ? rows : height) * (1 + (width + 7) / 8), '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) +
           chunk("IDAT", qCompress(raw, 9).mid(4)) + chunk("IEND", {});
}

TEST(BadRestoreInfoTest, PicturesAreDecodedOnlyWithinTheBudget) {
    // Eight pictures of 16.8 megapixels, of a few kilobytes each, together claim half a
    // gigabyte; only as many as the budget allows are decoded, in order.
    const QString png = QString::fromLatin1(BlackPng(4096, 4096));
    QStringList header;
    QString body;
    for (int i = 0; i < 8; ++i) {
        header << QStringLiteral("p1.%1").arg(png.size());
        body += QChar(u'a' + i) + png;
    }
    const QString huge = QString::fromLatin1(BlackPng(60000, 60000, 1));
    const QString nested = QStringLiteral("p1.%1;q").arg(png.size()) + png;
    header << QStringLiteral("p1.%1").arg(huge.size()) << QStringLiteral("c1.%1").arg(nested.size());
    body += QLatin1Char('z') + huge;
    body += QLatin1Char('n') + nested;
    DictionaryFile d;
    const qint64 start = CpuClock::ProcessMs(); // Qt may convert large pictures on other threads
    d.SetStringValue(header.join(QLatin1Char(':')) + QLatin1Char(';') + body);
    const qint64 ms = CpuClock::ProcessMs() - start;
    ASSERT_EQ(d.Count(), 10);
    const int fit = static_cast<int>(DictionaryFile::kMaxPicturePixels / (4096 * 4096));
    ASSERT_GE(fit, 1);
    for (int i = 0; i < 8; ++i) {
        const QVariant v = d.Value(QString(QChar(u'a' + i)));
        SCOPED_TRACE(i);
        if (i < fit) {
            ASSERT_EQ(v.metaType().id(), QMetaType::QImage);
            EXPECT_EQ(v.value<QImage>().size(), QSize(4096, 4096));
            EXPECT_EQ(v.value<QImage>().pixel(4000, 4000), 0xff000000u);
        } else {
            EXPECT_FALSE(v.isValid());
        }
    }
    EXPECT_FALSE(d.Value("z").isValid());
    EXPECT_FALSE(d.Value("n").value<DictionaryFile>().Value("q").isValid()); // nested tables share the budget

    const qint64 oneStart = CpuClock::ProcessMs();
    const DictionaryFile small = Parsed(QStringLiteral("p1.%1;a").arg(png.size()) + png);
    const qint64 one = CpuClock::ProcessMs() - oneStart;
    EXPECT_EQ(small.Value("a").value<QImage>().size(), QSize(4096, 4096)); // each parse has its own budget
    // The work of `fit` pictures, not of all nine decoded and the rest dropped. Held against one
    // picture's work in the same run, the bound suits any machine, however busy.
    EXPECT_LT(ms, (fit + 3) * one) << "one picture: " << one << " ms";
}

// ---- preferences ---------------------------------------------------------------------------

class BadPrefsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Prefs::Reset();
        mFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        mPath = QDir(mFolder).filePath(QStringLiteral("Kestrine"));
        QDir().mkpath(mFolder);
        for (const QString& name :
             QDir(mFolder).entryList({QStringLiteral("Kestrine*")}, QDir::AllEntries | QDir::System)) {
            QDir(QDir(mFolder).filePath(name)).removeRecursively();
            QFile::remove(QDir(mFolder).filePath(name));
        }
    }
    void TearDown() override { SetUp(); }

    QStringList Backups() const {
        return QDir(mFolder).entryList({QStringLiteral("Kestrine?*")}, QDir::AllEntries | QDir::System,
                                       QDir::Name);
    }
    QString mFolder;
    QString mPath;
};

TEST_F(BadPrefsTest, ADamagedFileKeepsItsValidLinesAndACopyOfItselfBeside) {
    static const char kDamaged[] = "DrawCropMarks=boolean=True\n"
                                   "no separators at all\n"
                                   "garbage=\x01\x02\x03=\xff\xfe\n"
                                   "Print4UpWherePossible=boolean=False\r\n"
                                   "half=integer=12abc\n"
                                   "\x00\x00\x00=string=nul\n"
                                   "winMainPosition=string=wp%3D10%2C20%2C300%2C400\r"
                                   "bad%ZZutf=string=\xc3\x28\xa0\xa1\n"
                                   "printersettings=string=A4=extra=fields\n"
                                   "AllowMultipleSelection=boolean=False\n";
    const QByteArray damaged =
        QByteArray(kDamaged, sizeof kDamaged - 1) + QByteArray(5000, '\0') + QByteArray("\nlast=integer=7");
    Write(mPath, damaged);
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    EXPECT_EQ(Prefs::GetPref("DrawCropMarks", false), QVariant(true));
    EXPECT_EQ(Prefs::GetPref("Print4UpWherePossible", true), QVariant(false));
    EXPECT_EQ(Prefs::GetPref("AllowMultipleSelection", true), QVariant(false));
    EXPECT_EQ(Prefs::GetPref("winMainPosition", QString()), QVariant(QStringLiteral("wp=10,20,300,400")));
    EXPECT_EQ(Prefs::GetPref("last", 0), QVariant(7));
    EXPECT_EQ(Prefs::GetPref("printersettings", QString()), QVariant(QStringLiteral("A4")));

    Prefs::SetPref("DrawCropMarks", false);
    Prefs::SavePrefs();
    EXPECT_EQ(Backups(), QStringList({QStringLiteral("Kestrine.bak")}));
    EXPECT_EQ(Bytes(mPath + QStringLiteral(".bak")), damaged);
    const QByteArray saved = Bytes(mPath);
    EXPECT_TRUE(saved.contains("DrawCropMarks=boolean=False\n"));
    EXPECT_TRUE(saved.contains("last=integer=7\n"));

    // Later saves of the same run replace only the preferences; the copy stays as it was.
    Prefs::SetPref("DrawCropMarks", true);
    Prefs::SavePrefs();
    EXPECT_EQ(Backups(), QStringList({QStringLiteral("Kestrine.bak")}));
    EXPECT_EQ(Bytes(mPath + QStringLiteral(".bak")), damaged);

    // Read again, the file is whole: the next save keeps no copy, and an older copy is never
    // overwritten by a newer one.
    Prefs::Reset();
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    Prefs::SavePrefs();
    EXPECT_EQ(Backups(), QStringList({QStringLiteral("Kestrine.bak")}));
    Write(mPath, "broken line\n");
    Prefs::Reset();
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    Prefs::SavePrefs();
    QStringList newer = Backups();
    ASSERT_TRUE(newer.removeOne(QStringLiteral("Kestrine.bak")));
    ASSERT_EQ(newer.size(), 1);
    EXPECT_EQ(Bytes(mPath + QStringLiteral(".bak")), damaged);
    EXPECT_EQ(Bytes(QDir(mFolder).filePath(newer[0])), QByteArray("broken line\n"));
}

TEST_F(BadPrefsTest, AFileTheProgramWroteItselfNeedsNoCopy) {
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    Prefs::SetPref("DrawCropMarks", true);
    Prefs::SetPref("winMainPosition", QStringLiteral("wp=1,2,3,4 = % \n é"));
    Prefs::SetPref("printersettings", QByteArray("\x00\xff=%\r\n", 6));
    Prefs::SetPref("ratio", 0.1);
    Prefs::SetPref("count", qint64(-9007199254740993));
    Prefs::SetPref("when", QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58, 7)));
    Prefs::SetPref("odd key = %", 3);
    Prefs::SavePrefs();
    for (int round = 0; round < 2; ++round) {
        Prefs::Reset();
        Prefs::LoadPrefs(QStringLiteral("Kestrine"));
        Prefs::SavePrefs();
    }
    EXPECT_TRUE(Backups().isEmpty());
    EXPECT_EQ(Prefs::GetPref("count", 0), QVariant(qint64(-9007199254740993)));
}

// Puts something no one can open for reading in the file's place: permissions for an ordinary
// user; for root, whom permissions do not stop, a socket.
bool MakeUnreadable(const QString& path, const QByteArray& content) {
    if (::geteuid() != 0) {
        Write(path, content);
        return QFile::setPermissions(path, QFileDevice::WriteOwner);
    }
    QFile::remove(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || name.size() >= static_cast<qsizetype>(sizeof addr.sun_path)) return false;
    std::memcpy(addr.sun_path, name.constData(), static_cast<size_t>(name.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return bound;
}

TEST_F(BadPrefsTest, AnUnreadableFileIsNeverReplacedWithoutACopy) {
    if (!MakeUnreadable(mPath, "DrawCropMarks=boolean=True\n"))
        GTEST_SKIP() << "cannot make an unreadable file";
    const QFileInfo info(mPath);
    const qint64 size = info.size();
    const QDateTime modified = info.lastModified();
    const bool isFile = info.isFile();
    EXPECT_THROW(Prefs::LoadPrefs(QStringLiteral("Kestrine")), NilObjectException);
    Prefs::SetPref("winMainPosition", QStringLiteral("wp=1,2,3,4"));
    Prefs::SavePrefs();
    EXPECT_EQ(Prefs::PrefStorage()->Count(), 1);
    ASSERT_EQ(Backups(), QStringList({QStringLiteral("Kestrine.bak")}));
    const QFileInfo kept(mPath + QStringLiteral(".bak"));
    EXPECT_EQ(kept.size(), size);
    EXPECT_EQ(kept.lastModified(), modified);
    EXPECT_EQ(kept.isFile(), isFile);
    QFile::setPermissions(mPath + QStringLiteral(".bak"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (kept.isFile()) {
        EXPECT_EQ(Bytes(mPath + QStringLiteral(".bak")), QByteArray("DrawCropMarks=boolean=True\n"));
    }
    EXPECT_EQ(Bytes(mPath), QByteArray("winMainPosition=string=wp%3D1%2C2%2C3%2C4\n"));
}

TEST_F(BadPrefsTest, MalformedFilesOfEveryShapeLoadInLinearTimeAndBoundedMemory) {
    // Memory per byte of the file: lines and fields are only looked at where they lie, while one
    // value's text goes through a few copies (and number conversions through their own).
    constexpr int kText = 4, kTable = 12, kNumber = 32;
    struct Case {
        const char* name;
        QByteArray bytes;
        int memoryFactor;
    };
    const QByteArray digits(1'000'000, '9');
    QByteArray manyKeys;
    for (int i = 0; i < 100'000; ++i)
        manyKeys += "k" + QByteArray::number(i) + "=integer=" + QByteArray::number(i) + "\n";
    QByteArray noise(2'000'000, Qt::Uninitialized);
    QRandomGenerator rng(3);
    for (char& c : noise)
        c = static_cast<char>(rng.generate());
    const std::vector<Case> cases = {
        {"a million empty lines", QByteArray(1'000'000, '\n'), kText},
        {"a million CR LF line ends", QByteArray("\r\n").repeated(1'000'000), kText},
        {"a million CR line ends", QByteArray(1'000'000, '\r'), kText},
        {"a million fields on one line", "a=string=" + QByteArray("x=").repeated(1'000'000), kText},
        {"a million separators", QByteArray(1'000'000, '='), kText},
        {"a key of a million characters", QByteArray("%41").repeated(500'000) + "=integer=1\n", kNumber},
        {"100000 keys", manyKeys, kTable},
        {"a double of a million digits", "d=double=" + digits + "\n", kNumber},
        {"a single of a million digits", "d=single=0." + digits + "\n", kNumber},
        {"an integer of a million digits", "i=integer=" + digits + "\n", kNumber},
        {"an int64 of a million digits", "i=int64=-" + digits + "\n", kNumber},
        {"a currency of a million digits", "c=currency=" + digits + "." + digits + "\n", kNumber},
        {"a colour of a million digits", "c=color=&h" + digits + "\n", kNumber},
        {"a date of a million digits", "t=date=" + digits + "\n", kNumber},
        {"a boolean of a million digits", "b=boolean=" + digits + "\n", kNumber},
        {"a folder item of a million characters", "f=folderitem=/" + QByteArray(1'000'000, 'a') + "\n",
         kNumber},
        {"NUL bytes", QByteArray(1'000'000, '\0'), kText},
        {"random bytes", noise, kText},
    };

    // A hundred preferences of every kind the file holds, as the program writes them.
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    for (int i = 0; i < 10; ++i) {
        Prefs::SetPref(QStringLiteral("DrawCropMarks%1").arg(i), i % 2 == 0);
        Prefs::SetPref(QStringLiteral("winMainPosition%1").arg(i), QStringLiteral("wp=10,%1,640,480").arg(i));
        Prefs::SetPref(QStringLiteral("printersettings%1").arg(i), QByteArray("A4;margins=5,5,5,5"));
        Prefs::SetPref(QStringLiteral("ratio%1").arg(i), i / 7.0);
        Prefs::SetPref(QStringLiteral("single%1").arg(i), float(i) / 3);
        Prefs::SetPref(QStringLiteral("count%1").arg(i), i * 1001);
        Prefs::SetPref(QStringLiteral("big%1").arg(i), qint64(i) << 40);
        Prefs::SetPref(QStringLiteral("when%1").arg(i), QDateTime(QDate(2024, 2, 1 + i), QTime(12, i)));
        Prefs::SetPref(QStringLiteral("colour%1").arg(i), QColor(i, 2 * i, 3 * i));
        Prefs::SetPref(QStringLiteral("folder%1").arg(i),
                       QVariant::fromValue(QFileInfo(QStringLiteral("/tmp/photos/%1").arg(i))));
    }
    Prefs::SavePrefs();
    const WellFormed wellFormed = TimeWellFormed(Bytes(mPath).size(), [] {
        Prefs::Reset();
        Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    });
    ASSERT_EQ(Prefs::PrefStorage()->Count(), 100);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(mPath, c.bytes);
        Prefs::Reset();
        qint64 ms = 0;
        const qint64 grown =
            PeakGrowth([&] { ms = Millis([&] { Prefs::LoadPrefs(QStringLiteral("Kestrine")); }); });
        EXPECT_LT(ms, wellFormed.BoundFor(c.bytes.size()))
            << "well-formed, " << wellFormed.size << " bytes: " << wellFormed.ms << " ms";
        if (grown >= 0) {
            EXPECT_LT(grown, c.memoryFactor * c.bytes.size() + (8 << 20));
        }
    }
    EXPECT_EQ(Prefs::PrefStorage()->Count(), 0);
}

} // namespace

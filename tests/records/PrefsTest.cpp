#include "Currency.h"
#include "FolderItemExtensions.h"
#include "NilObjectException.h"
#include "Prefs.h"
#include "QtPrinters.h"

#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <limits>
#include <unistd.h>

namespace {

class PrefsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Prefs::Reset();
        mPath = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                    .filePath(QStringLiteral("Kestrine"));
        QDir(mPath).removeRecursively();
        QFile::remove(mPath);
    }
    void TearDown() override {
        Prefs::Reset();
        QDir().mkpath(QFileInfo(mPath).absolutePath());
    }

    void WriteFile(const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(mPath).absolutePath());
        FolderItemExtensions::SetText(mPath, bytes);
    }
    QByteArray File() const { return FolderItemExtensions::text(mPath); }
    // Saves, then loads into a fresh module state.
    void SaveAndReload() {
        Prefs::SavePrefs();
        Prefs::Reset();
        Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    }

    QString mPath;
};

} // namespace

TEST_F(PrefsTest, EveryKindRoundTripsAsItsOwnKind) {
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    EXPECT_EQ(Prefs::PrefFile(), mPath);
    QByteArray allBytes;
    for (int i = 0; i < 256; ++i) allBytes += char(i);
    const QString tricky = QString::fromUtf8("a=b%20c%\r\nd\n\xc3\xa9\xe2\x82\xac \xf0\x9f\x98\x80");
    const QList<std::pair<QString, QVariant>> values = {
        {"bool", true},
        {"boolFalse", false},
        {"color", QColor(0x12, 0x34, 0x56)},
        {"translucent", QColor(1, 2, 3, 40)},
        {"money", QVariant::fromValue(Currency::FromUnits(-1234567))},
        {"moneyMin", QVariant::fromValue(Currency::FromUnits(std::numeric_limits<qint64>::min()))},
        {"localDate", QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58, 123))},
        {"utcDate", QDateTime(QDate(1999, 1, 2), QTime(3, 4, 5), Qt::UTC)},
        {"offsetDate", QDateTime(QDate(2020, 6, 1), QTime(8, 0), Qt::OffsetFromUTC, -5 * 3600)},
        {"double", 1.0 / 3.0},
        {"bigDouble", -1.5e300},
        {"int", std::numeric_limits<qint32>::min()},
        {"int64", std::numeric_limits<qint64>::max()},
        {"single", 0.1f},
        {"text", tricky},
        {"bytes", allBytes},
        {"file", QVariant::fromValue(QFileInfo(QDir::temp().filePath(QStringLiteral("some file%.jpg"))))},
        {QStringLiteral("key=with%percent"), QStringLiteral("v")},
    };
    for (const auto& [key, value] : values) Prefs::SetPref(key, value);
    SaveAndReload();

    for (const auto& [key, value] : values) {
        const QVariant back = Prefs::GetPref(key, QStringLiteral("absent"));
        EXPECT_EQ(back.metaType(), value.metaType()) << key.toStdString();
        if (value.metaType() == QMetaType::fromType<QFileInfo>())
            EXPECT_EQ(back.value<QFileInfo>().absoluteFilePath(), value.value<QFileInfo>().absoluteFilePath());
        else if (value.metaType() == QMetaType::fromType<Currency>())
            EXPECT_EQ(back.value<Currency>(), value.value<Currency>()) << key.toStdString();
        else
            EXPECT_EQ(back, value) << key.toStdString();
    }
    EXPECT_EQ(Prefs::GetPref("text", {}).toString(), tricky);

    // One line per entry: nothing in a value or key breaks the line or field structure.
    const QList<QByteArray> lines = File().split('\n');
    EXPECT_EQ(lines.size(), values.size() + 1);
    EXPECT_TRUE(lines.last().isEmpty());
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].count('='), 2) << lines[i].toStdString();
}

TEST_F(PrefsTest, ABooleanLineReadsAndIsWrittenAgainUnchanged) {
    const QByteArray file = "DrawCropMarks=boolean=True\nwinMainPosition=string=40%2C60%2C320%2C447\n";
    WriteFile(file);
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    EXPECT_EQ(Prefs::GetPref("DrawCropMarks", false), QVariant(true));
    EXPECT_EQ(Prefs::GetPref("winMainPosition", QString()), QVariant(QStringLiteral("40,60,320,447")));
    Prefs::SavePrefs();
    EXPECT_EQ(File(), file);
}

TEST_F(PrefsTest, LineEndingsTypeNameCaseAndUnusableLines) {
    const QString folder = QDir::tempPath();
    const QByteArray folderLine = "f=FOLDERITEM=" + QFile::encodeName(folder).toPercentEncoding();
    for (const QByteArray& eol : {QByteArray("\r\n"), QByteArray("\n"), QByteArray("\r")}) {
        WriteFile("a=Integer=5" + eol + "b=BOOLEAN=true" + eol + eol + "c=mystery=1" + eol + "d=string" + eol +
                  "a=integer=6=ignored" + eol + "=" + eol + folderLine + eol + "e=string=%3D=x");
        Prefs::Reset();
        Prefs::LoadPrefs(QStringLiteral("Kestrine"));
        const DictionaryFile* table = Prefs::PrefStorage();
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->Keys(), QStringList({"a", "b", "d", "f", "e"})) << eol.toHex().toStdString();
        EXPECT_EQ(table->Value("a"), QVariant(qint32(6))); // the later line wins
        EXPECT_EQ(table->Value("b"), QVariant(true));
        EXPECT_EQ(table->Value("d"), QVariant(QString()));
        EXPECT_EQ(table->Value("f").value<QFileInfo>().absoluteFilePath(), QFileInfo(folder).absoluteFilePath());
        EXPECT_EQ(table->Value("e"), QVariant(QStringLiteral("=")));
    }
    Prefs::SavePrefs();
    EXPECT_FALSE(File().contains("mystery"));
    EXPECT_FALSE(File().contains("c="));
}

TEST_F(PrefsTest, NilAndUnsupportedValuesWriteNoLine) {
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    Prefs::SetPref("gone", QVariant());
    Prefs::SetPref("rect", QRect(1, 2, 3, 4));
    Prefs::SetPref("kept", 3);
    Prefs::SavePrefs();
    EXPECT_EQ(File(), QByteArray("kept=integer=3\n"));
    EXPECT_EQ(Prefs::GetPref("gone", 7), QVariant()); // in memory the nil is still there
}

TEST_F(PrefsTest, NothingIsWrittenOrReadBeforeLoadPrefs) {
    EXPECT_EQ(Prefs::GetPref("winMainPosition", QString()), QVariant(QString()));
    Prefs::SetPref("x", 1);
    EXPECT_EQ(Prefs::GetPref("x", 0), QVariant(1));
    Prefs::SavePrefs();
    EXPECT_FALSE(QFileInfo::exists(mPath));

    Prefs::LoadPrefs(QStringLiteral("Kestrine")); // replaces the table with the (missing) file's
    EXPECT_EQ(Prefs::GetPref("x", 0), QVariant(0));
    Prefs::SavePrefs();
    EXPECT_EQ(File(), QByteArray());
}

TEST_F(PrefsTest, TempStorageIsNeitherReadNorSaved) {
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    Prefs::SetUseTempStorage(true);
    Prefs::SetPref("t", 1);
    Prefs::SetUseTempStorage(false);
    EXPECT_EQ(Prefs::GetPref("t", 0), QVariant(0));
    ASSERT_NE(Prefs::TempStorage(), nullptr);
    EXPECT_EQ(Prefs::TempStorage()->Value("t"), QVariant(1));
    Prefs::SavePrefs();
    EXPECT_EQ(File(), QByteArray());
}

TEST_F(PrefsTest, SavingReplacesTheFileWholeAndAFailureKeepsTheOldOne) {
    WriteFile("old=integer=1\n");
    // A second name for the old file: rewriting in place would change what it shows.
    const QString link = mPath + QStringLiteral(".link");
    QFile::remove(link);
    ASSERT_EQ(::link(QFile::encodeName(mPath).constData(), QFile::encodeName(link).constData()), 0);
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    Prefs::SetPref("new", 2);
    Prefs::SavePrefs();
    EXPECT_EQ(File(), QByteArray("old=integer=1\nnew=integer=2\n"));
    EXPECT_EQ(FolderItemExtensions::text(link), QByteArray("old=integer=1\n"));
    QFile::remove(link);

    // The file's place taken by a folder: reading and writing both fail, loudly, without a crash.
    QFile::remove(mPath);
    ASSERT_TRUE(QDir().mkpath(mPath));
    EXPECT_THROW(Prefs::LoadPrefs(QStringLiteral("Kestrine")), NilObjectException);
    ASSERT_NE(Prefs::PrefStorage(), nullptr);
    EXPECT_EQ(Prefs::PrefStorage()->Count(), 0);
    Prefs::SetPref("x", 1);
    EXPECT_THROW(Prefs::SavePrefs(), NilObjectException);
    EXPECT_TRUE(QFileInfo(mPath).isDir());
}

TEST_F(PrefsTest, SavePrefsMakesAMissingPreferencesFolder) {
    const QString folder = QFileInfo(mPath).absolutePath();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    Prefs::SetPref("AllowMultipleSelection", false);
    Prefs::SavePrefs();
    EXPECT_EQ(File(), QByteArray("AllowMultipleSelection=boolean=False\n"));
}

#include "DatabaseRecord.h"
#include "NilObjectException.h"
#include "QtPrinters.h"
#include "RecordSet.h"
#include "SqlFileDatabase.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct DatabaseTest : ::testing::Test {
    QTemporaryDir dir;
    SqlFileDatabase db;
    void SetUp() override {
        db.DatabaseFile = dir.filePath(QStringLiteral("DataFile"));
        ASSERT_TRUE(db.CreateDatabaseFile());
        ASSERT_TRUE(db.SQLExecute(QStringLiteral("create table t (rowid integer primary key, name varchar, "
                                                 "d timestamp, pic binary)")));
    }
    int Insert(const QString& name, const QByteArray& pic = {}) {
        DatabaseRecord r;
        r.Column(QStringLiteral("name"), name);
        r.DateColumn(QStringLiteral("d"), QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58)));
        r.BlobColumn(QStringLiteral("pic"), pic);
        EXPECT_TRUE(db.InsertRecord(QStringLiteral("t"), r));
        db.Commit();
        return db.LastRowID();
    }
};

TEST_F(DatabaseTest, InsertedRowsReadBackWithTheirIdsTextDatesAndBlobs) {
    QByteArray blob("\x89PNG\0\x01\xff", 7);
    const int first = Insert(QStringLiteral("Zoë \"O'Brien\"; drop table t; --"), blob);
    const int second = Insert(QStringLiteral("second"));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);

    auto rs = db.SQLSelect(QStringLiteral("select name, d, pic from t where rowid = 1"));
    ASSERT_TRUE(rs);
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Field(QStringLiteral("NAME")).StringValue(), QStringLiteral("Zoë \"O'Brien\"; drop table t; --"));
    EXPECT_EQ(rs->Field(QStringLiteral("d")).DateValue(), QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58)));
    EXPECT_EQ(rs->Field(QStringLiteral("pic")).BlobValue(), blob);
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    EXPECT_THROW(rs->Field(QStringLiteral("name")).StringValue(), NilObjectException);
}

TEST_F(DatabaseTest, EditAndUpdateWriteTheCurrentRowBack) {
    Insert(QStringLiteral("a"));
    Insert(QStringLiteral("b"));
    auto rs = db.SQLSelect(QStringLiteral("select name, pic from t where rowid = 2"));
    ASSERT_TRUE(rs);
    rs->Edit();
    rs->Field(QStringLiteral("name")).SetStringValue(QStringLiteral("renamed"));
    rs->Field(QStringLiteral("pic")).SetBlobValue(QByteArray("\0\1\2", 3));
    EXPECT_TRUE(rs->Update());
    db.Commit();

    auto check = db.SQLSelect(QStringLiteral("select name, pic from t order by rowid"));
    ASSERT_TRUE(check);
    EXPECT_EQ(check->Field(QStringLiteral("name")).StringValue(), QStringLiteral("a"));
    check->MoveNext();
    EXPECT_EQ(check->Field(QStringLiteral("name")).StringValue(), QStringLiteral("renamed"));
    EXPECT_EQ(check->Field(QStringLiteral("pic")).BlobValue(), QByteArray("\0\1\2", 3));
}

TEST_F(DatabaseTest, FailedSelectGivesNoRecordSetAndUnknownFieldsRaise) {
    EXPECT_FALSE(db.SQLSelect(QStringLiteral("select * from missing_table")));
    EXPECT_TRUE(db.Error());
    Insert(QStringLiteral("a"));
    auto rs = db.SQLSelect(QStringLiteral("select name from t"));
    ASSERT_TRUE(rs);
    EXPECT_THROW(rs->Field(QStringLiteral("nope")), NilObjectException);
}

TEST_F(DatabaseTest, RowIdsSurviveVacuum) {
    Insert(QStringLiteral("a"));
    Insert(QStringLiteral("b"));
    Insert(QStringLiteral("c"));
    db.SQLExecute(QStringLiteral("delete from t where rowid = 2"));
    db.SQLExecute(QStringLiteral("Vacuum"));
    auto rs = db.SQLSelect(QStringLiteral("select rowid from t order by rowid"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->IdxField(1).IntegerValue(), 1);
    rs->MoveNext();
    EXPECT_EQ(rs->IdxField(1).IntegerValue(), 3);
}

TEST(DatabaseFileTest, ConnectRefusesMissingFilesAndFilesThatAreNoDatabase) {
    QTemporaryDir dir;
    SqlFileDatabase db;
    db.DatabaseFile = dir.filePath(QStringLiteral("DataFile"));
    EXPECT_FALSE(db.Connect());

    QFile f(db.DatabaseFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QByteArray text = QByteArray("this is not a database\n").repeated(180);
    f.write(text);
    f.close();
    EXPECT_FALSE(db.Connect());
    EXPECT_FALSE(db.CreateDatabaseFile()); // never overwrites an existing file
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), text);
}

TEST(DatabaseFileTest, CreateThenConnectAgain) {
    QTemporaryDir dir;
    {
        SqlFileDatabase db;
        db.DatabaseFile = dir.filePath(QStringLiteral("DataFile"));
        ASSERT_TRUE(db.CreateDatabaseFile());
        db.SQLExecute(QStringLiteral("create table x (a)"));
    }
    SqlFileDatabase again;
    again.DatabaseFile = dir.filePath(QStringLiteral("DataFile"));
    EXPECT_TRUE(again.Connect());
    EXPECT_TRUE(again.SQLSelect(QStringLiteral("select a from x")));
}

TEST(DatabaseFileTest, CreateFailsInAFolderThatDoesNotExist) {
    QTemporaryDir dir;
    SqlFileDatabase db;
    db.DatabaseFile = dir.filePath(QStringLiteral("missing/DataFile"));
    EXPECT_FALSE(db.CreateDatabaseFile());
}

} // namespace

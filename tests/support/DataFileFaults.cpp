#include "DataFileFaults.h"

#include "DatabaseRecord.h"
#include "PNGu.h"
#include "PictureCompare.h"
#include "RecordSet.h"
#include "SqlFileDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <random>

namespace DataFileFaults {

namespace {

QImage Noise(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    QImage pic(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = 0xFF000000u | (rng() & 0xFFFFFFu);
    }
    return pic;
}

} // namespace

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

QStringList Files(const QString& folder) {
    return QDir(folder).entryList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden, QDir::Name);
}

bool MakeSample(const QString& path, int rows) {
    SqlFileDatabase db;
    db.DatabaseFile = path;
    if (!db.CreateDatabaseFile()) return false;
    if (!db.SQLExecute(
            QStringLiteral("create table passportdata (rowid integer primary key, name varchar, "
                           "creationdate timestamp, passportpicture binary, previewpicture binary, "
                           "passportformat varchar, restoreinfo varchar)")) ||
        !db.SQLExecute(QStringLiteral("CREATE TABLE preferences ( prefname VARCHAR, prefvalue VARCHAR )")))
        return false;
    for (int i = 1; i <= rows; ++i) {
        DatabaseRecord r;
        r.Column(QStringLiteral("name"), QStringLiteral("Photo %1").arg(i));
        r.DateColumn(QStringLiteral("creationdate"), QDateTime(QDate(2024, 5, i % 28 + 1), QTime(12, 0)));
        r.BlobColumn(QStringLiteral("passportpicture"), PNGu::GetData(Noise(90, 90, i)));
        r.BlobColumn(QStringLiteral("previewpicture"), PNGu::GetData(PictureCompare::Gradient(64, 64)));
        r.Column(QStringLiteral("passportformat"), i % 2 ? QStringLiteral("US") : QStringLiteral("UK"));
        r.Column(QStringLiteral("restoreinfo"), QString());
        if (!db.InsertRecord(QStringLiteral("passportdata"), r)) return false;
    }
    return true;
}

bool CrashSnapshot(const QString& path, const QString& copy) {
    const QByteArray before = Bytes(path);
    SqlFileDatabase db;
    db.DatabaseFile = path;
    if (!db.Connect()) return false;
    // A tiny page cache makes SQLite write changed pages into the file before the commit.
    db.SQLExecute(QStringLiteral("PRAGMA cache_size = 2"));
    db.SQLExecute(QStringLiteral("BEGIN"));
    db.SQLExecute(
        QStringLiteral("update passportdata set name = 'half-saved', passportpicture = randomblob(30000)"));
    for (int i = 0; i < 20; ++i)
        db.SQLExecute(QStringLiteral(
            "insert into passportdata (name, passportpicture) values ('new', randomblob(20000))"));
    QFile::remove(copy);
    QFile::remove(copy + QStringLiteral("-journal"));
    const bool copied = QFile::copy(path, copy) &&
                        QFile::copy(path + QStringLiteral("-journal"), copy + QStringLiteral("-journal"));
    db.SQLExecute(QStringLiteral("ROLLBACK"));
    return copied && Bytes(copy) != before && Bytes(copy + QStringLiteral("-journal")).size() > 512;
}

int Run(const QString& path, const QString& sql) {
    SqlFileDatabase db;
    db.DatabaseFile = path;
    if (!db.Connect()) return -1;
    auto rs = db.SQLSelect(sql);
    if (!rs) return -1;
    return rs->Eof() ? 0 : static_cast<int>(rs->IdxField(1).IntegerValue());
}

int PageSize(const QString& path) {
    const QByteArray header = Bytes(path).left(100);
    if (header.size() < 100 || !header.startsWith("SQLite format 3")) return 0;
    const int size = (static_cast<unsigned char>(header[16]) << 8) | static_cast<unsigned char>(header[17]);
    return size == 1 ? 65536 : size;
}

int RootPage(const QString& path, const QString& table) {
    SqlFileDatabase db;
    db.DatabaseFile = path;
    if (!db.Connect()) return 0;
    auto rs = db.SQLSelect(QStringLiteral("select rootpage from sqlite_master where name = ?"), {table});
    return rs && !rs->Eof() ? static_cast<int>(rs->Field(QStringLiteral("rootpage")).IntegerValue()) : 0;
}

void Garble(const QString& path, qint64 offset, qint64 length, unsigned seed) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(offset)) return;
    std::mt19937 rng(seed);
    QByteArray noise(length, Qt::Uninitialized);
    for (char& c : noise)
        c = static_cast<char>(rng());
    f.write(noise);
}

} // namespace DataFileFaults

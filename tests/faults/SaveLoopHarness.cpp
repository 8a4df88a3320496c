// Saves photos into a data folder, one after another, and says so on stdout:
//   "ready"                      the database is open
//   "save <row id> <seq>"        a save begins (row id 0: a new photo)
//   "saved <row id> <seq>"       SaveToDB returned
//   "failed <seq> <reason>"      SaveToDB raised; the harness then ends with code 2
// Usage: SaveLoopHarness <data folder> <first seq> <random seed> <count, 0 = until killed>
//                        <"all": also update rows that were there before | "own">
// Each line is written whole and flushed, so a reader that kills the harness has every line of
// the saves that returned. KESTRINE_BUSY_TIMEOUT_MS, when set, is how long a save waits for
// another connection's writes.
#include "DataStore.h"
#include "FaultPhotos.h"
#include "PassportPhotoInfo.h"
#include "RecordSet.h"
#include "SqlFileDatabase.h"
#include "StoredData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

void Say(const QByteArray& line) {
    const QByteArray whole = line + '\n';
    std::fwrite(whole.constData(), 1, static_cast<size_t>(whole.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: SaveLoopHarness folder first-seq seed count all|own\n");
        return 64;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int firstSeq = std::atoi(argv[2]);
    QRandomGenerator random(static_cast<quint32>(std::strtoul(argv[3], nullptr, 10)));
    const long count = std::atol(argv[4]);
    const bool updateOthers = std::string(argv[5]) == "all";

    if (const QByteArray wait = qgetenv("KESTRINE_BUSY_TIMEOUT_MS"); !wait.isEmpty())
        SqlFileDatabase::BusyTimeoutMs = wait.toInt();
    if (!StoredData::OpenForRecords(folder)) return 3;
    DataStore& store = DataStore::Current();

    std::vector<int> rows;
    if (updateOthers) {
        auto rs = store.db->SQLSelect(QStringLiteral("select rowid from passportdata"));
        for (; rs && !rs->Eof(); rs->MoveNext())
            rows.push_back(static_cast<int>(rs->Field(QStringLiteral("rowid")).IntegerValue()));
    }
    Say("ready");

    for (long i = 0; count == 0 || i < count; ++i) {
        const int seq = firstSeq + static_cast<int>(i);
        // Mostly updates, so the folder stays small over many runs.
        const bool insert = rows.empty() || random.bounded(100) < 35;
        PassportPhotoInfo record;
        record.mRowID = insert ? 0 : rows[random.bounded(static_cast<quint32>(rows.size()))];
        FaultPhotos::Fill(record, seq);
        Say("save " + QByteArray::number(record.mRowID) + ' ' + QByteArray::number(seq));
        try {
            record.SaveToDB();
        } catch (const std::exception& e) {
            Say("failed " + QByteArray::number(seq) + ' ' + QByteArray(e.what()));
            return 2;
        }
        if (insert) rows.push_back(record.mRowID);
        Say("saved " + QByteArray::number(record.mRowID) + ' ' + QByteArray::number(seq));
    }
    return 0;
}

// Start-up with many stored photos: from App::Event_Open until the main window's list holds
// every row with its preview decoded, and the memory the listed photos take. The databases
// are made once per run in a private XDG folder, with previews and passport pictures made by
// the editor's own code from a camera-sized photo.
#include "App.h"
#include "BenchPhoto.h"
#include "DataStore.h"
#include "DatabaseRecord.h"
#include "EditWindow.h"
#include "PNGu.h"
#include "PassportTemplates.h"
#include "RecordSet.h"
#include "ScalingPictureCanvas.h"
#include "ScriptedDesktop.h"
#include "SqlFileDatabase.h"
#include "XdgSandbox.h"
#include "winMain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <set>
#include <sys/resource.h>
#include <stdexcept>
#include <vector>

namespace {

XdgSandbox* gSandbox = nullptr;
App* gApp = nullptr;

// Each photo count has its own data home; the application finds its data folder inside it.
// KESTRINE_BENCH_DATA names a folder where they are kept from run to run (a profiler's run then
// spends nothing on making the 10,000 rows); by default they go with the run's private folder.
QString DataHome(int photos) {
    const QString kept = qEnvironmentVariable("KESTRINE_BENCH_DATA");
    return (kept.isEmpty() ? gSandbox->Root() : kept) + QStringLiteral("/data-") + QString::number(photos);
}

void UseDataHome(int photos) {
    qputenv("XDG_DATA_HOME", QFile::encodeName(DataHome(photos)));
}

// One stored photo's columns as the editor's Save and the record's save make them.
struct StoredColumns {
    QString name;
    QString format;
    QByteArray passport;
    QByteArray preview;
    QString restoreInfo;
};

// A few different crops, zooms and formats of the photo, used in turn for the rows.
std::vector<StoredColumns> Samples() {
    static const char* const names[] = {"Ada Lovelace", "Grace Hopper", "Alan Turing", "Édith Piaf"};
    static const char* const formats[] = {"US", "UK", "US", "UK"};
    static const double percents[] = {35, 50, 65, 80};
    std::vector<StoredColumns> samples;
    for (int i = 0; i < 4; ++i) {
        ScalingPictureCanvas canvas;
        canvas.SetCaptureArea(QString::fromLatin1(formats[i]));
        canvas.setPic(BenchPhoto::CameraPhoto());
        canvas.ReDraw(percents[i]);
        canvas.MoveByPixels(10 * i - 15, 5 * i - 5);
        const QImage passport = canvas.GetPassportPic(PassportTemplates::BlankPassportPicture(QString::fromLatin1(formats[i])));
        samples.push_back({QString::fromUtf8(names[i]), QString::fromLatin1(formats[i]), PNGu::GetData(passport),
                           PNGu::GetData(EditWindow::MakePreview(passport)), canvas.GetRestoreInfo()});
    }
    return samples;
}

const std::vector<StoredColumns>& SampleColumns() {
    static const std::vector<StoredColumns> samples = Samples();
    return samples;
}

// Each row's source-picture file is there, empty: start-up lists the data folder and matches
// the names against the rows, but reads none of the files.
void MakeSourceFiles(SqlFileDatabase& db) {
    auto rows = db.SQLSelect(QStringLiteral("select rowid from passportdata"));
    if (!rows) throw std::runtime_error("no rows");
    const QDir folder(DataStore::Current().AppFolder);
    for (; !rows->Eof(); rows->MoveNext()) {
        QFile file(folder.filePath(QString::number(rows->Field(QStringLiteral("rowid")).IntegerValue())));
        if (!file.exists() && !file.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot make a source file");
    }
}

// Makes the data folder and database through the application's own opening, then stores
// `photos` rows.
void MakeDataset(int photos) {
    static std::set<int> made;
    if (made.count(photos)) return;
    const std::vector<StoredColumns>& samples = SampleColumns();
    UseDataHome(photos);
    gApp->Event_Open();
    delete gApp->MainWindow.data();
    SqlFileDatabase& db = DataStore::Current().Database();
    auto stored = db.SQLSelect(QStringLiteral("select count(*) as n from passportdata"));
    const qint64 already = stored && !stored->Eof() ? stored->Field(QStringLiteral("n")).IntegerValue() : -1;
    if (already == photos) {
        MakeSourceFiles(db);
        DataStore::Current().db.reset();
        made.insert(photos);
        return;
    }
    if (already != 0) throw std::runtime_error("a kept data folder holds another number of photos");
    if (!db.SQLExecute(QStringLiteral("begin"))) throw std::runtime_error("no transaction");
    const QDateTime first(QDate(2024, 3, 1), QTime(9, 30));
    for (int i = 0; i < photos; ++i) {
        const StoredColumns& s = samples[static_cast<size_t>(i) % samples.size()];
        DatabaseRecord r;
        r.Column(QStringLiteral("name"), s.name + QStringLiteral(" ") + QString::number(i + 1));
        r.DateColumn(QStringLiteral("creationdate"), first.addSecs(3600LL * 7 * i));
        r.BlobColumn(QStringLiteral("passportpicture"), s.passport);
        r.BlobColumn(QStringLiteral("previewpicture"), s.preview);
        r.Column(QStringLiteral("passportformat"), s.format);
        r.Column(QStringLiteral("restoreinfo"), s.restoreInfo);
        if (!db.InsertRecord(QStringLiteral("passportdata"), r)) throw std::runtime_error("insert failed");
    }
    if (!db.SQLExecute(QStringLiteral("commit"))) throw std::runtime_error("commit failed");
    MakeSourceFiles(db);
    DataStore::Current().db.reset();
    made.insert(photos);
}

int ListedRows() {
    auto* window = qobject_cast<winMain*>(gApp->MainWindow.data());
    return window ? window->Rows().ListCount() : -1;
}

bool PreviewsDecoded() {
    auto* window = qobject_cast<winMain*>(gApp->MainWindow.data());
    if (!window) return false;
    for (int row = 0; row < window->Rows().ListCount(); ++row)
        if (window->Rows().CellTag(row)->mPicPreview.isNull()) return false;
    return true;
}

// Closes the main window and the database of the previous round without running the
// application's close. A start-up finds no connection open; closing one inside the timed part
// would add the unmapping of its database file (up to 2 GB) to the figure.
void DropMainWindow() {
    delete gApp->MainWindow.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    DataStore::Current().db.reset();
}

// Memory figures of the process, each taken after the allocator has given back what it holds free.
// Private dirty pages are what the process itself wrote (heap, pictures); the resident size also
// counts the database file's mapped pages, which are the kernel's page cache, not the list's.
struct Memory {
    double residentMB = 0;
    double privateDirtyMB = 0;
    double heapMB = 0;
};

double SmapsFieldMB(const QByteArray& rollup, const QByteArray& field) {
    const qsizetype at = rollup.indexOf("\n" + field + ":");
    if (at < 0) return 0;
    const qsizetype end = rollup.indexOf('\n', at + 1);
    const QByteArray value = rollup.mid(at + field.size() + 2, end - at - field.size() - 2).trimmed();
    return value.split(' ').value(0).toDouble() * 1024 / 1e6; // given in kB
}

Memory MemoryNow() {
    malloc_trim(0);
    Memory m;
    QFile rollup(QStringLiteral("/proc/self/smaps_rollup"));
    if (rollup.open(QIODevice::ReadOnly)) {
        const QByteArray text = "\n" + rollup.readAll();
        m.residentMB = SmapsFieldMB(text, "Rss");
        m.privateDirtyMB = SmapsFieldMB(text, "Private_Dirty");
    }
    m.heapMB = double(mallinfo2().uordblks) / 1e6;
    return m;
}

// The process's processor time and page faults so far.
struct Usage {
    double userMs = 0;
    double systemMs = 0;
    double minorFaults = 0;
};

Usage UsageNow() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return {ms(u.ru_utime), ms(u.ru_stime), double(u.ru_minflt)};
}

void BM_StartUp(benchmark::State& state) {
    const int photos = static_cast<int>(state.range(0));
    try {
        MakeDataset(photos);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    UseDataHome(photos);
    double userMs = 0, systemMs = 0, minorFaults = 0;
    int opens = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DropMainWindow();
        const Usage before = UsageNow();
        state.ResumeTiming();
        gApp->Event_Open();
        state.PauseTiming();
        const Usage after = UsageNow();
        userMs += after.userMs - before.userMs;
        systemMs += after.systemMs - before.systemMs;
        minorFaults += after.minorFaults - before.minorFaults;
        ++opens;
        const bool complete = ListedRows() == photos && PreviewsDecoded();
        state.ResumeTiming();
        if (!complete) {
            state.SkipWithError("the list is not complete");
            break;
        }
    }
    double passport = 0, preview = 0;
    for (const StoredColumns& s : SampleColumns()) {
        passport += double(s.passport.size()) / double(SampleColumns().size());
        preview += double(s.preview.size()) / double(SampleColumns().size());
    }
    // Where the time goes when the wall time is noisy: the kernel's share (page faults on the
    // mapped database, reads past the mapping) apart from the program's own.
    if (opens > 0) {
        state.counters["user_ms"] = userMs / opens;
        state.counters["system_ms"] = systemMs / opens;
        state.counters["minor_faults"] = minorFaults / opens;
    }
    state.counters["passport_KB"] = passport / 1e3;
    state.counters["preview_KB"] = preview / 1e3;
    state.counters["db_MB"] =
        double(QFileInfo(DataHome(photos) + QStringLiteral("/Kestrine/DataFile")).size()) / 1e6;
}

// The memory the list holds for 1,000 photos: the process's memory with them listed, less the
// same with an empty list. Runs first, before any other list has grown the heap.
void BM_ListMemory(benchmark::State& state) {
    constexpr int kPhotos = 1000;
    try {
        MakeDataset(0);
        MakeDataset(kPhotos);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    Memory held;
    for (auto _ : state) {
        DropMainWindow();
        UseDataHome(0);
        gApp->Event_Open();
        const Memory empty = MemoryNow();
        DropMainWindow();
        UseDataHome(kPhotos);
        gApp->Event_Open();
        if (ListedRows() != kPhotos) {
            state.SkipWithError("the list is not complete");
            break;
        }
        const Memory listed = MemoryNow();
        if (listed.residentMB <= 0) {
            state.SkipWithError("no /proc/self/smaps_rollup to read the memory from");
            break;
        }
        held = {listed.residentMB - empty.residentMB, listed.privateDirtyMB - empty.privateDirtyMB,
                listed.heapMB - empty.heapMB};
    }
    state.counters["private_dirty_MB"] = held.privateDirtyMB;
    state.counters["rss_MB"] = held.residentMB;
    state.counters["heap_MB"] = held.heapMB;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    XdgSandbox sandbox;
    gSandbox = &sandbox;
    App app(argc, argv);
    gApp = &app;
    // An empty list opens the editor from a timer; should it ever fire, no real dialog opens.
    ScriptedDesktop::InstallNew();
    BenchPhoto::CameraPhoto();

    benchmark::RegisterBenchmark("BM_ListMemory", BM_ListMemory)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly();
    benchmark::RegisterBenchmark("BM_StartUp", BM_StartUp)
        ->Arg(1000)->Iterations(3)->Repetitions(7)->ReportAggregatesOnly()
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_StartUp", BM_StartUp)
        ->Arg(10000)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly()
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DropMainWindow();
    DataStore::Current().db.reset();
    return 0;
}

#include "NilObjectException.h"
#include "Prefs.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Any bytes in the preferences file load without failing, and what the table then writes is a
// file that loads back to a table writing the very same file.
namespace {

QTemporaryDir* gHome = nullptr;
const QString kName = QStringLiteral("Kestrine");

QString Folder() {
    return gHome->path() + QStringLiteral("/config");
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // On a memory-backed folder when there is one: every input is written and read several times.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    gHome = new QTemporaryDir(base + QStringLiteral("/kestrine-prefs-fuzz-XXXXXX"));
    if (!gHome->isValid()) std::abort();
    std::atexit([] { delete gHome; });
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Folder()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A fresh folder each time: a run must not see a backup or leftover of the one before.
    QDir(Folder()).removeRecursively();
    QDir().mkpath(Folder());
    const QString path = QDir(Folder()).filePath(kName);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    Prefs::Reset();
    try {
        Prefs::LoadPrefs(kName);
        Prefs::SavePrefs();
        const QByteArray once = ReadAll(path);
        Prefs::LoadPrefs(kName);
        Prefs::SavePrefs();
        if (ReadAll(path) != once) std::abort();
    } catch (const NilObjectException&) {
        // A file that cannot be read or written is reported this way; not a fault.
    }
    Prefs::Reset();
    return 0;
}

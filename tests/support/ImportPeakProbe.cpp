// Imports one picture file into the editor by a drop, in a process of its own, and prints the
// process's peak resident memory just before the import and after it:
//   before_kb=N peak_kb=M size=WxH messages=K
// The memory test runs it, so the test's own pictures do not count.
#include "EditWindow.h"
#include "PassportPhotoInfo.h"
#include "ScalingPictureCanvas.h"
#include "ScriptedDesktop.h"
#include "XdgSandbox.h"

#include <QApplication>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <cstdio>

namespace {

// The peak resident memory of this program alone (getrusage would count what the process
// that started it held before exec).
long PeakKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    XdgSandbox sandbox;
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s picture-file\n", argv[0]);
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    ScriptedDesktop& desk = ScriptedDesktop::InstallNew();
    PassportPhotoInfo info;
    long before = 0;
    QSize size;
    desk.modalScripts.push_back([&](QDialog& d) {
        auto& w = static_cast<EditWindow&>(d);
        before = PeakKb();
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(file)});
        w.ScaleCanvas_DropObject(&drop);
        if (auto* canvas = w.findChild<ScalingPictureCanvas*>(QStringLiteral("ScaleCanvas")))
            size = canvas->getPic().size();
        return int(QDialog::Rejected);
    });
    EditWindow::Instance().AddOrEditPhoto(&info);
    std::printf("before_kb=%ld peak_kb=%ld size=%dx%d messages=%lld\n", before, PeakKb(), size.width(),
                size.height(), static_cast<long long>(desk.messages.size()));
    return 0;
}

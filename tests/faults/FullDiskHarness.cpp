// Runs one write of the application with the files it may write limited to <limit> bytes (as on
// a disk that fills up), and prints what the user was told:
//   "message <text>"   each message box, line breaks as "\n"
//   "done"             the operation returned
//   "showed <w>x<h>"   the size of the picture the editor showed when it opened
// Usage: FullDiskHarness <operation> <limit in bytes | "-" for none> [argument]
//   add <picture>   a new photo from <picture>, named "Fresh", through the editor
//   edit [row]      the listed photo at <row> (default 0) renamed to "Renamed", through the editor
//   repicture <picture>  the listed photo at row 0 given <picture> through the editor, then opened
//                   again and renamed to "Again"
//   export <file>   the first listed photo saved as a JPEG sheet to <file>
//   prefs           the option "DrawCropMarks" turned over, then the application closed
//   print <file>    the first listed photo printed to the PDF <file>
//   open            nothing more: what the start said, "quit <code>" when it asked to quit, else
//                   "listed <n>" for the photos in the list, then the close, as the application's
//                   own would run; so does any start that asked to quit
//   hold            minimises the main window, says "ready" and runs the event loop until killed,
//                   saying "front" when a later start brought the window back
// KESTRINE_ANSWER_TIMEOUT_MS, when set, is how long a start waits for the copy that has the library.
// Run with the fault shim preloaded and KESTRINE_FAULT_MANUAL=1, its counting starts where the
// limit would apply.
// The data and preferences folders come from XDG_DATA_HOME and XDG_CONFIG_HOME.
#include "App.h"
#include "FileTypes1.h"
#include "Guard.h"
#include "PhotoListModel.h"
#include "Prefs.h"
#include "PrinterSetupString.h"
#include "RunningCopy.h"
#include "ScalingPictureCanvas.h"
#include "ScriptedDesktop.h"
#include "winMain.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QPrinter>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/resource.h>

namespace {

void Say(const QByteArray& line) {
    const QByteArray whole = line + '\n';
    std::fwrite(whole.constData(), 1, static_cast<size_t>(whole.size()), stdout);
    std::fflush(stdout);
}

void Click(QDialog& d, const char* name) {
    if (auto* button = d.findChild<QAbstractButton*>(QString::fromLatin1(name))) button->click();
}

void SetName(QDialog& d, const QString& name) {
    if (auto* field = d.findChild<QLineEdit*>(QStringLiteral("efPhotoName"))) field->setText(name);
}

void SayShown(QDialog& d) {
    if (auto* canvas = d.findChild<ScalingPictureCanvas*>(QStringLiteral("ScaleCanvas")))
        Say("showed " + QByteArray::number(canvas->getPic().width()) + 'x' +
            QByteArray::number(canvas->getPic().height()));
}

// Says "front" whenever the window it watches stops being minimised.
struct FrontWatch : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange &&
            !(static_cast<QWidget*>(watched)->windowState() & Qt::WindowMinimized))
            Say("front");
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc < 3) {
        std::fprintf(stderr, "usage: FullDiskHarness add|edit|repicture|export|prefs|print|open|hold limit [argument]\n");
        return 64;
    }
    const std::string op = argv[1];
    const bool limited = std::string(argv[2]) != "-";
    const rlim_t limit = limited ? static_cast<rlim_t>(std::strtoull(argv[2], nullptr, 10)) : RLIM_INFINITY;
    const QString argument = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();

    FileTypes1::Initialize();
    if (const QByteArray timeout = qgetenv("KESTRINE_ANSWER_TIMEOUT_MS"); !timeout.isEmpty())
        RunningCopy::AnswerTimeoutMs = timeout.toInt();
    int appArgc = 1;
    App app(appArgc, argv);
    ScriptedDesktop& desktop = ScriptedDesktop::InstallNew();
    app.Event_Open();
    auto* win = qobject_cast<winMain*>(app.MainWindow.data());
    // A start that did not take the library says so, whatever it was asked to do.
    if (op == "open" || app.QuitRequested()) {
        for (QString message : desktop.messages)
            Say("message " + message.replace(QLatin1Char('\n'), QStringLiteral("\\n")).toUtf8());
        if (app.QuitRequested())
            Say("quit " + QByteArray::number(app.QuitCode()));
        else if (win)
            Say("listed " + QByteArray::number(win->Rows().ListCount()));
        Guard([&app] { app.Event_Close(); });
        Say("done");
        return 0;
    }
    if (!win) {
        std::fprintf(stderr, "the main window did not open\n");
        return 3;
    }
    if (auto* timer = win->findChild<QTimer*>(QStringLiteral("LoadTimer"))) timer->stop();

    // From here on every file the application writes is limited; the harness writes only to stdout.
    auto limitWrites = [&] {
        using Begin = void (*)();
        if (auto begin = reinterpret_cast<Begin>(dlsym(RTLD_DEFAULT, "kestrine_fault_begin"))) begin();
        if (!limited) return;
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{};
        getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &small);
    };

    if (op == "add") {
        desktop.openAnswers.push_back(argument);
        desktop.modalScripts.push_back([](QDialog& d) {
            Click(d, "butSelectPhoto");
            SetName(d, QStringLiteral("Fresh"));
            Click(d, "butOK");
            return d.result();
        });
        limitWrites();
        Guard([win] { win->AddNewPicture(); });
    } else if (op == "edit") {
        win->SetListIndex(argument.toInt());
        desktop.modalScripts.push_back([](QDialog& d) {
            SayShown(d);
            SetName(d, QStringLiteral("Renamed"));
            Click(d, "butOK");
            return d.result();
        });
        limitWrites();
        Guard([win] { win->EditPicture(); });
    } else if (op == "repicture") {
        win->SetListIndex(0);
        desktop.openAnswers.push_back(argument);
        desktop.modalScripts.push_back([](QDialog& d) {
            SayShown(d);
            Click(d, "butSelectPhoto");
            Click(d, "butOK");
            return d.result();
        });
        desktop.modalScripts.push_back([](QDialog& d) {
            SayShown(d);
            SetName(d, QStringLiteral("Again"));
            Click(d, "butOK");
            return d.result();
        });
        limitWrites();
        Guard([win] {
            win->EditPicture();
            win->EditPicture();
        });
    } else if (op == "export") {
        win->SetListIndex(0);
        desktop.saveAnswers.push_back(argument);
        limitWrites();
        Guard([win] { win->SavePicture(); });
    } else if (op == "prefs") {
        Prefs::SetPref(QStringLiteral("DrawCropMarks"),
                       !Prefs::GetPref(QStringLiteral("DrawCropMarks"), false).toBool());
        limitWrites();
        Guard([&app] { app.Event_Close(); });
    } else if (op == "print") {
        QPrinter pdf(QPrinter::HighResolution);
        pdf.setOutputFileName(argument);
        Prefs::SetPref(QStringLiteral("printersettings"), PrinterSetupString::SetupString(pdf));
        win->SetListIndex(0);
        desktop.printAnswers.push_back(true);
        limitWrites();
        Guard([win] { win->PrintPicture(); });
    } else if (op == "hold") {
        win->showMinimized();
        FrontWatch watch;
        win->installEventFilter(&watch);
        Say("ready");
        return app.exec();
    } else {
        std::fprintf(stderr, "unknown operation %s\n", op.c_str());
        return 64;
    }
    for (QString message : desktop.messages)
        Say("message " + message.replace(QLatin1Char('\n'), QStringLiteral("\\n")).toUtf8());
    Say("done");
    // The editor deletes itself later; let it, before the application goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

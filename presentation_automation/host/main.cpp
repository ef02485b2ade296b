// The built-in presentation host: started on demand by the controllers, one per user.
//   presentation_host [--runtime-dir DIR] [--replace] [--cache-dir DIR] [--cache-mib N]
//                     [--import-script FILE]
//   presentation_host --status [--runtime-dir DIR]   prints the open presentations and their shows
//   presentation_host --quit [--runtime-dir DIR]     ends all shows and the host

#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/decks/import/stepped_import.h"
#include "presentation_automation/host/host_core.h"
#include "presentation_automation/host/service/host_log.h"
#include "presentation_automation/host/service/host_process.h"
#include "presentation_automation/host/service/runtime_dir.h"

#include "presentation_automation/session/qt_platform_choice.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Shows slide shows for the presentation controllers."));
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")},
                      QStringLiteral("Print this help and end.")});
    parser.addOption({QStringLiteral("version"), QStringLiteral("Print the version and end.")});
    parser.addOption({QStringLiteral("runtime-dir"),
                      QStringLiteral("The private folder of the socket."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("status"),
                      QStringLiteral("Print the running host's presentations and end.")});
    parser.addOption({QStringLiteral("quit"),
                      QStringLiteral("End all shows of the running host and the host.")});
    parser.addOption({QStringLiteral("replace"),
                      QStringLiteral("Take the socket over from something there that does not "
                                     "answer as a host (a host that answers is never replaced).")});
    parser.addOption({QStringLiteral("cache-dir"),
                      QStringLiteral("Where converted decks are kept."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("import-script"),
                      QStringLiteral("The stepped import of .ppt/.pptx/.odp decks (default: the "
                                     "one installed with the host; empty: a page per slide)."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("pdf-steps"),
                      QStringLiteral("Also play the build steps described beside a PDF opened "
                                     "as it is (<pdf>.steps.json), as for a converted deck.")});
    parser.addOption({QStringLiteral("cache-mib"),
                      QStringLiteral("Memory for slides rendered ahead, in MiB."),
                      QStringLiteral("mib")});
    // Qt's own options (-platform, -display) are read by QApplication; named here so that the
    // parse before it accepts them.
    for (const char *qtOption :
         {"platform", "display", "platformpluginpath", "platformtheme", "plugin", "style",
          "stylesheet", "session", "qwindowgeometry", "qwindowtitle", "qwindowicon"}) {
        QCommandLineOption option(QLatin1String(qtOption), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *qtFlag : {"reverse", "sync", "nograb", "dograb"}) {
        QCommandLineOption option{QString::fromLatin1(qtFlag)};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

// Modes that need no display: they run before (and without) QApplication, so they work in a
// shell without a window system.
int runWithoutDisplay(int argc, char *argv[], const QCommandLineParser &parser)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("presentation_host"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << "presentation_host " << PRESENTATION_HOST_VERSION << '\n';
        return 0;
    }
    pa::host::ClientOptions options;
    options.runtimeDir = parser.value(QStringLiteral("runtime-dir"));
    try {
        if (parser.isSet(QStringLiteral("quit"))) {
            if (!pa::host::quitHost(options)) {
                err << "No presentation host is running.\n";
                return 1;
            }
            return 0;
        }
        out << pa::host::statusListing(options);
        return 0;
    } catch (const pa::AutomationError &e) {
        err << QString::fromStdString(e.description()) << '\n';
        return 1;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    pa::preferX11OnWayland();

    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\nTry presentation_host --help.\n", qPrintable(parser.errorText()));
        return 2;
    }
    for (const char *mode : {"help", "version", "status", "quit"}) {
        if (parser.isSet(QLatin1String(mode))) {
            return runWithoutDisplay(argc, argv, parser);
        }
    }

    pa::host::HostSettings settings;
    settings.runtimeDir = parser.value(QStringLiteral("runtime-dir"));
    if (settings.runtimeDir.isEmpty()) {
        settings.runtimeDir = pa::host::defaultRuntimeDir();
    }
    settings.cacheDir = parser.value(QStringLiteral("cache-dir"));
    settings.replace = parser.isSet(QStringLiteral("replace"));
    settings.pdfSteps = parser.isSet(QStringLiteral("pdf-steps"));
    if (parser.isSet(QStringLiteral("cache-mib"))) {
        bool ok = false;
        const qint64 mib = parser.value(QStringLiteral("cache-mib")).toLongLong(&ok);
        if (!ok || mib < 16) {
            std::fprintf(stderr, "--cache-mib needs a number of at least 16\n");
            return 2;
        }
        settings.frameCacheBytes = mib * 1024 * 1024;
    }

    pa::host::installHostLog(pa::host::hostLogPath());
    const QString reason = qEnvironmentVariable(pa::host::hostStartReasonVariable);
    qunsetenv(pa::host::hostStartReasonVariable);
    pa::host::hostLog(QStringLiteral("Presentation host starting, process %1: %2")
                          .arg(QCoreApplication::applicationPid())
                          .arg(reason.isEmpty() ? QStringLiteral("started by hand or by the "
                                                                 "session, not by a program")
                                                : reason));
    pa::host::hostLog(pa::host::raiseOpenFileLimit());

    // Frames are large buffers allocated and freed by several threads; served by mmap they
    // go back to the system when freed instead of piling up in per-thread heaps.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);

    // The shows paint with the CPU anyway. With this, Qt Multimedia also makes pictures of
    // video frames on the CPU, instead of in an OpenGL context of its own in each thread that
    // asks: with no GPU that is Mesa's software renderer, about 100 MB more of the host's
    // memory (its LLVM, its buffers) and, measured with three 1080p clips at once, a few
    // pictures a second where the CPU makes all 30.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Presentation host"));
    // Shows come and go; the host stays until it is ended from outside.
    app.setQuitOnLastWindowClosed(false);
    pa::host::quitOnTerminationSignals();
    // Found beside this program, which the application knows once it exists.
    settings.importScript = parser.isSet(QStringLiteral("import-script"))
                                ? parser.value(QStringLiteral("import-script"))
                                : pa::host::SteppedImport::defaultScript();

    pa::host::PresentationHost host(settings);
    QString why;
    bool otherHost = false;
    if (!host.listen(&why, &otherHost)) {
        pa::host::hostLog(why);
        return otherHost ? 0 : 1;
    }
    qInfo("Presentation host started, process %lld.",
          static_cast<long long>(QCoreApplication::applicationPid()));
    const int code = app.exec();
    // Ended as asked, now: whatever a worker is stuck in (a read from a share that hangs)
    // is not waited for, and nothing is left that a clean end would not leave.
    host.releaseForExit();
    pa::host::hostLog(QStringLiteral("Presentation host ended."));
    std::fflush(nullptr);
    ::_exit(code);
}

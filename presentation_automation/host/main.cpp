// The built-in presentation host: started on demand by the controllers, one per user.
//   presentation_host [--runtime-dir DIR] [--replace] [--cache-dir DIR] [--cache-mib N]
//   presentation_host --status [--runtime-dir DIR]   prints the open presentations and their shows

#include "client.h"
#include "host_core.h"
#include "host_process.h"
#include "runtime_dir.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <malloc.h>

namespace {

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Shows slide shows for the presentation controllers."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("runtime-dir"),
                      QStringLiteral("The private folder of the socket."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("status"),
                      QStringLiteral("Print the running host's presentations and end.")});
    parser.addOption({QStringLiteral("replace"),
                      QStringLiteral("Take the socket over from something there that does not "
                                     "answer as a host (a host that answers is never replaced).")});
    parser.addOption({QStringLiteral("cache-dir"),
                      QStringLiteral("Where converted decks are kept."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("cache-mib"),
                      QStringLiteral("Memory for slides rendered ahead, in MiB."),
                      QStringLiteral("mib")});
}

int printStatus(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);
    pa::host::ClientOptions options;
    options.runtimeDir = parser.value(QStringLiteral("runtime-dir"));
    QTextStream out(stdout);
    try {
        out << pa::host::statusListing(options);
        return 0;
    } catch (const pa::AutomationError &e) {
        QTextStream(stderr) << QString::fromStdString(e.description()) << '\n';
        return 1;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--status") == 0) {
            return printStatus(argc, argv);
        }
    }

    // Frames are large buffers allocated and freed by several threads; served by mmap they
    // go back to the system when freed instead of piling up in per-thread heaps.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Presentation host"));
    // Shows come and go; the host stays until it is ended from outside.
    app.setQuitOnLastWindowClosed(false);
    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);

    pa::host::HostSettings settings;
    settings.runtimeDir = parser.value(QStringLiteral("runtime-dir"));
    if (settings.runtimeDir.isEmpty()) {
        settings.runtimeDir = pa::host::defaultRuntimeDir();
    }
    settings.cacheDir = parser.value(QStringLiteral("cache-dir"));
    settings.replace = parser.isSet(QStringLiteral("replace"));
    if (parser.isSet(QStringLiteral("cache-mib"))) {
        bool ok = false;
        const qint64 mib = parser.value(QStringLiteral("cache-mib")).toLongLong(&ok);
        if (!ok || mib < 16) {
            std::fprintf(stderr, "--cache-mib needs a number of at least 16\n");
            return 2;
        }
        settings.frameCacheBytes = mib * 1024 * 1024;
    }

    pa::host::hostLog(pa::host::raiseOpenFileLimit());
    pa::host::quitOnTerminationSignals();
    pa::host::PresentationHost host(settings);
    QString why;
    bool otherHost = false;
    if (!host.listen(&why, &otherHost)) {
        pa::host::hostLog(why);
        return otherHost ? 0 : 1;
    }
    return app.exec();
}

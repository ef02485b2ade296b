// The built-in presentation host as a live show feels it: three 1920x1080 shows of 200
// pages each, driven through the client as Corvane drives them. Prints medians and 95th
// percentiles, and the same pages rendered by pdftoppm on this machine as a reference. Then
// what the shows feel when things go wrong: the host killed (-9) under three shows, and
// another program opening a 1 GiB deck while a show is stepped; a long journal put back and a
// program that floods the host without reading. Last, three decks of large photographs on a
// virtual X display (Xvfb), timed until the pixels are on the show windows: a held step, a
// scripted jump prepared ahead and the same without, and how far apart the three screens
// change.
//   host_bench [--quick] [--photos] [--cache-mib N] [--host PROGRAM]
//   host_bench --robustness [--host PROGRAM]   (only the journal and the flood)
// --photos measures the photo decks alone; --host runs another build of presentation_host.
// With --builds, only a slide step and a build step held ahead, until shown, and the pacing of
// transitions played on three shows at once (--no-steps: the slide step alone, for a host that
// does not know build steps). With --effects, only builds with effects on three shows: their
// pacing, a Next into a held one until shown, and the host's peak memory.
// Its parts, by what they measure: host_bench_builds.cpp, host_bench_effects.cpp,
// host_bench_photos.cpp, host_bench_robustness.cpp; this file the core figures.

#include "bench/host_bench_support.h"

#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/service/protocol.h"
#include "presentation_automation/host/service/runtime_dir.h"
#include "presentation_automation/host/tests/deck_maker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace pa;
using namespace pa::host;
using namespace bench;

int run(int argc, char *argv[]);

int main(int argc, char *argv[])
{
    try {
        return run(argc, argv);
    } catch (const AutomationError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

int run(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int pages = quick ? 40 : 200;
    // --cache-mib N: the host's memory for frames held ahead, to see what else it holds.
    const qsizetype cacheArg = app.arguments().indexOf(QStringLiteral("--cache-mib"));

    QTemporaryDir dir;
    struct HostEnder
    {
        ClientOptions *options;
        ~HostEnder() { endHost(*options); }
    };
    const QString screens = dir.filePath(QStringLiteral("screens.json"));
    {
        QFile f(screens);
        f.open(QIODevice::WriteOnly);
        f.write(
            R"({"screens":[{"name":"Screen","x":0,"y":0,"width":1920,"height":1080,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
    }
    ClientOptions options;
    options.runtimeDir = dir.filePath(QStringLiteral("runtime"));
    options.hostProgram =
        QCoreApplication::applicationDirPath() + QStringLiteral("/presentation_host");
    const qsizetype hostAt = app.arguments().indexOf(QStringLiteral("--host"));
    if (hostAt > 0 && hostAt + 1 < app.arguments().size()) {
        options.hostProgram = app.arguments().at(hostAt + 1);
    }
    options.hostArguments = {QStringLiteral("-platform"),
                             QStringLiteral("offscreen:configfile=") + screens};
    if (cacheArg > 0 && cacheArg + 1 < app.arguments().size()) {
        options.hostArguments << QStringLiteral("--cache-mib") << app.arguments().at(cacheArg + 1);
    }
    options.stepTimeoutMs = 60000;
    options.exportTimeoutMs = 60000;
    if (app.arguments().contains(QStringLiteral("--builds"))) {
        return runBuilds(app.arguments(), options, dir);
    }
    if (app.arguments().contains(QStringLiteral("--effects"))) {
        return runEffects(app.arguments(), options, dir);
    }
    HostEnder ender{&options};
    const QString cacheMib = cacheArg > 0 && cacheArg + 1 < app.arguments().size()
                                 ? app.arguments().at(cacheArg + 1)
                                 : QString();
    if (app.arguments().contains(QStringLiteral("--robustness"))) {
        printRobustness(options, dir.path());
        return 0;
    }
    if (app.arguments().contains(QStringLiteral("--photos"))) {
        measurePhotoDecks(options, dir.path(), quick, cacheMib);
        return 0;
    }

    std::printf("Making three decks of %d pages (1920x1080, text and shapes)...\n", pages);
    std::vector<QString> decks;
    for (int d = 0; d < 3; ++d) {
        decks.push_back(dir.filePath(QStringLiteral("deck%1.pdf").arg(d + 1)));
        if (!pa::host::testing::makeDeck(decks.back(), pages, d, QSizeF(960, 540), true)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(decks.back()));
            return 1;
        }
    }

    // Host start to first slide shown.
    Figures start;
    for (int run = 0; run < (quick ? 3 : 7); ++run) {
        endHost(options);
        QElapsedTimer t;
        t.start();
        auto a = applicationFactory(options)();
        auto p = a->presentations()->open(decks[0].toStdString());
        p->slideShowSettings()->run();
        if (!waitDrawn(options, 1, 1)) {
            std::fprintf(stderr, "the first slide was never shown\n");
            return 1;
        }
        start.add(elapsedMs(t));
    }
    endHost(options);

    auto application = applicationFactory(options)();
    const qint64 pid = runningHostPid(options);
    std::vector<std::shared_ptr<Presentation>> shows;
    std::vector<std::shared_ptr<SlideShowView>> views;
    for (int d = 0; d < 3; ++d) {
        auto p = application->presentations()->open(decks[static_cast<size_t>(d)].toStdString(), 0,
                                                    0, -1);
        p->slideShowSettings()->run();
        auto w = p->slideShowWindow();
        w->setLeft(0);
        w->setTop(0);
        w->setWidth(1440);
        shows.push_back(p);
        views.push_back(w->view());
        waitDrawn(options, d + 1, 1);
    }
    QThread::msleep(1500); // let the frames ahead be rendered

    // Next within the held slides, until the host says the new slide is painted.
    Figures next;
    int misses = 0;
    for (int i = 0; i < (quick ? 10 : 30); ++i) {
        QElapsedTimer t;
        t.start();
        views[0]->next();
        if (slidesOnScreen(options)[1] != 2 + i) {
            ++misses;
            waitDrawn(options, 1, 2 + i);
        }
        next.add(elapsedMs(t));
        QThread::msleep(400);
    }

    // Go to a far slide: nothing held, so it is rendered on demand.
    Figures farGoto;
    for (int i = 0; i < (quick ? 6 : 15); ++i) {
        const int slide = (i % 2 == 0) ? pages - 2 - i * 2 : pages / 4 + i * 2;
        QElapsedTimer t;
        t.start();
        views[1]->gotoSlide(slide, msoTrue);
        waitDrawn(options, 2, slide);
        farGoto.add(elapsedMs(t));
        QThread::msleep(300);
    }

    // Export of one 175x125 picture: of the slide on screen (held), and of a slide not held.
    const std::string picture = dir.filePath(QStringLiteral("ExportSlide")).toStdString();
    Figures exportHeld, exportCold;
    for (int i = 0; i < (quick ? 10 : 30); ++i) {
        auto slide = views[0]->slide();
        QElapsedTimer t;
        t.start();
        slide->exportTo(picture, "JPG", 175, 125);
        exportHeld.add(elapsedMs(t));
        auto far = shows[2]->slides()->item(pages / 2 + i);
        t.restart();
        far->exportTo(picture, "JPG", 175, 125);
        exportCold.add(elapsedMs(t));
    }

    // One full Corvane step: three switches, three exports from the active presentation,
    // three picture loads, and where the next steps go (a host from before hints takes none).
    bool takesHints = true;
    try {
        shows[0]->prepareSlides({});
    } catch (const AutomationError &) {
        takesHints = false;
    }
    Figures step, stepSwitches, stepExports, stepLoads;
    for (int i = 0; i < 3; ++i) {
        views[static_cast<size_t>(i)]->gotoSlide(20, msoTrue);
    }
    QThread::msleep(2000);
    for (int i = 0; i < (quick ? 8 : 20); ++i) {
        const int slide = 21 + i;
        QElapsedTimer t, phase;
        t.start();
        phase.start();
        for (int s = 0; s < 3; ++s) {
            auto w = shows[static_cast<size_t>(s)]->slideShowWindow();
            w->activate();
            w->view()->gotoSlide(slide, msoTrue);
        }
        stepSwitches.add(elapsedMs(phase));
        double exporting = 0, loading = 0;
        for (int s = 0; s < 3; ++s) {
            const std::string file = dir.filePath(QStringLiteral("Screen%1").arg(s)).toStdString();
            phase.restart();
            application->activePresentation()->slides()->item(slide)->exportTo(file, "JPG", 175,
                                                                               125);
            exporting += elapsedMs(phase);
            phase.restart();
            QImage loaded(QString::fromStdString(file));
            loading += elapsedMs(phase);
            if (loaded.isNull()) {
                std::fprintf(stderr, "the exported picture cannot be loaded\n");
            }
        }
        stepExports.add(exporting);
        stepLoads.add(loading);
        for (size_t s = 0; s < 3 && takesHints; ++s) {
            shows[s]->prepareSlides({slide + 1, slide - 1});
        }
        step.add(elapsedMs(t));
        QThread::msleep(500);
    }
    const qint64 peak = peakMemoryKiB(pid);

    // Another program opens a deck of 1 GiB while a show is stepped every 50 ms.
    const QString hollow = dir.filePath(QStringLiteral("hollow.pdf"));
    const QString notPdf = dir.filePath(QStringLiteral("large.pdf"));
    makeHollowFile(hollow, 1024ll * 1024 * 1024, "%PDF-1.4\n");
    makeHollowFile(notPdf, 2048ll * 1024 * 1024, "PK\x03\x04");
    Figures duringOpen;
    int failedSteps = 0;
    double refusedMs = 0;
    {
        std::atomic<bool> opening{true};
        std::thread opener([&] {
            try {
                auto other = applicationFactory(options)();
                QElapsedTimer t;
                t.start();
                try {
                    other->presentations()->open(notPdf.toStdString());
                } catch (const AutomationError &) {
                }
                refusedMs = elapsedMs(t);
                other->presentations()->open(hollow.toStdString());
            } catch (const AutomationError &) {
            }
            opening = false;
        });
        int slide = pages / 4;
        while (opening) {
            QElapsedTimer t;
            t.start();
            try {
                views[0]->gotoSlide(slide, msoTrue);
            } catch (const AutomationError &) {
                ++failedSteps;
            }
            duringOpen.add(elapsedMs(t));
            slide = slide == pages / 4 ? pages / 4 + 1 : pages / 4;
            QThread::msleep(50);
        }
        opener.join();
    }

    // kill -9 of the host under three shows: until all three are drawn again on their slides.
    std::map<int, int> onSlides{{1, pages / 2}, {2, pages / 2 + 1}, {3, pages / 2 + 2}};
    // (A host that ran the open on its main thread may still be busy with it.)
    for (int s = 0; s < 3; ++s) {
        QElapsedTimer patience;
        patience.start();
        for (;;) {
            try {
                views[static_cast<size_t>(s)]->gotoSlide(onSlides[s + 1], msoTrue);
                break;
            } catch (const AutomationError &) {
                if (patience.elapsed() > 180000) {
                    throw;
                }
                QThread::msleep(500);
            }
        }
    }
    untilDrawn(options, onSlides, 20000);
    Figures backAfterKill;
    int notBack = 0;
    for (int i = 0; i < (quick ? 3 : 5); ++i) {
        const qint64 victim = runningHostPid(options);
        QElapsedTimer t;
        t.start();
        ::kill(static_cast<pid_t>(victim), SIGKILL);
        const double ms = untilDrawn(options, onSlides, 10000);
        if (ms < 0) {
            ++notBack;
            break;
        }
        backAfterKill.add(elapsedMs(t));
    }

    // Reference: pdftoppm rendering the same page at the same sizes.
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    double refFull = 0, refSmall = 0;
    Figures full, small;
    if (!tool.isEmpty()) {
        full = pdftoppm(tool, decks[1], pages / 2, 1920, 1080, quick ? 3 : 7, dir.path());
        small = pdftoppm(tool, decks[1], pages / 2, 175, 125, quick ? 3 : 7, dir.path());
        refFull = full.median();
        refSmall = small.median();
    }

    std::printf("\nPresentation host, three shows of %d pages at 1920x1080 (offscreen platform)\n",
                pages);
    print("host start to first slide shown", start, refFull);
    print("next within the held slides", next, refFull);
    if (misses > 0) {
        std::printf("    (%d of %zu steps were not held yet)\n", misses, next.ms.size());
    }
    print("go-to a far slide (cold), until shown", farGoto, refFull);
    print("export 175x125 JPG of a held slide", exportHeld, refSmall);
    print("export 175x125 JPG of a slide not held", exportCold, refSmall);
    print("Corvane step: 3 switches, 3 exports, 3 loads", step, refFull);
    print("    of which 3 switches (activate, go-to)", stepSwitches);
    print("    of which 3 exports", stepExports);
    print("    of which 3 picture loads", stepLoads);
    std::printf("%-44s %9.1f MiB\n", "host peak memory (VmHWM)",
                static_cast<double>(peak) / 1024.0);
    std::printf("%-44s %9.2f ms\n", "2 GiB file that is not a PDF, until refused", refusedMs);
    print("step of another show during a 1 GiB open", duringOpen);
    std::printf(
        "    worst step %.2f ms, %d of %zu steps failed\n",
        duringOpen.ms.empty() ? 0.0 : *std::max_element(duringOpen.ms.begin(), duringOpen.ms.end()),
        failedSteps, duringOpen.ms.size());
    if (notBack > 0) {
        std::printf("%-44s not back within 10 s\n", "kill -9: three shows drawn again");
    } else {
        print("kill -9: three shows drawn again", backAfterKill);
        std::printf("    worst %.2f ms\n",
                    *std::max_element(backAfterKill.ms.begin(), backAfterKill.ms.end()));
    }
    if (!tool.isEmpty()) {
        print("reference: pdftoppm one page at 1920x1080", full);
        print("reference: pdftoppm one page at 175x125", small);
    } else {
        std::printf("pdftoppm not found: no reference figures\n");
    }
    endHost(options);
    printRobustness(options, dir.path());
    runEffects(app.arguments(), options, dir);

    measurePhotoDecks(options, dir.path(), quick, cacheMib);
    return 0;
}

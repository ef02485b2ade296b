// Held steps and the transitions of three shows at once (host_bench --builds).

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

namespace {

// A described deck of slides, each a first state and one build: page 2k and 2k+1.
bool describeBuilds(const QString &pdf, int slides, const QString &transition)
{
    QByteArray json = R"({"format":1,"importer":"bench","slides":[)";
    for (int s = 0; s < slides; ++s) {
        json += (s > 0 ? "," : "") + QStringLiteral(R"({"states":[{"page":%1},{"page":%2,)"
                                                    R"("trigger":"click"}],"transition":)"
                                                    R"({"kind":"%3","direction":"left",)"
                                                    R"("duration":1}})")
                                         .arg(2 * s)
                                         .arg(2 * s + 1)
                                         .arg(transition)
                                         .toUtf8();
    }
    json += "]}";
    QFile f(pdf + QStringLiteral(".steps.json"));
    return f.open(QIODevice::WriteOnly) && f.write(json) == json.size();
}

} // namespace

namespace bench {

int runBuilds(const QStringList &args, const ClientOptions &base, QTemporaryDir &dir)
{
    const bool quick = args.contains(QStringLiteral("--quick"));
    const bool steps = !args.contains(QStringLiteral("--no-steps"));
    const int slides = quick ? 10 : 20;
    ClientOptions options = base;
    if (steps) {
        options.hostArguments << QStringLiteral("--pdf-steps");
    }
    std::printf("Making three decks of %d pages (1920x1080, text and shapes)...\n", 2 * slides);
    std::vector<QString> decks;
    for (int d = 0; d < 4; ++d) {
        decks.push_back(dir.filePath(QStringLiteral("built%1.pdf").arg(d + 1)));
        if (!pa::host::testing::makeDeck(decks.back(), 2 * slides, d, QSizeF(960, 540), true)) {
            return 1;
        }
    }
    // decks[0] stays plain: one slide per page.
    const char *kinds[] = {"fade", "push", "dissolve"};
    for (int d = 1; d < 4 && steps; ++d) {
        describeBuilds(decks[static_cast<size_t>(d)], slides, QLatin1String(kinds[d - 1]));
    }
    struct HostEnder
    {
        ClientOptions *options;
        ~HostEnder() { endHost(*options); }
    } ender{&options};
    endHost(options);
    auto application = applicationFactory(options)();
    const auto start = [&](int d, double width) {
        auto p = application->presentations()->open(decks[static_cast<size_t>(d)].toStdString(), 0,
                                                    0, -1);
        p->slideShowSettings()->run();
        auto w = p->slideShowWindow();
        w->setLeft(0);
        w->setTop(0);
        w->setWidth(width);
        return w->view();
    };

    // A slide step held ahead: the call returns once the new slide is painted.
    Figures slideStep, buildStep;
    int misses = 0;
    {
        auto view = start(0, 1440);
        waitDrawn(options, 1, 1);
        QThread::msleep(1500);
        for (int i = 0; i < (quick ? 10 : 30) && i + 2 <= 2 * slides; ++i) {
            QElapsedTimer t;
            t.start();
            view->next();
            slideStep.add(elapsedMs(t));
            misses += slidesOnScreen(options)[1] == i + 2 ? 0 : 1;
            QThread::msleep(400);
        }
    }
    // A build step held ahead, on a deck whose slides each build once (no transition plays:
    // the step stays within the slide).
    std::vector<std::shared_ptr<SlideShowView>> views;
    if (steps) {
        views.push_back(start(1, 1440));
        waitPage(options, 2, 1);
        QThread::msleep(1500);
        for (int i = 0; i < (quick ? 10 : slides - 1); ++i) {
            QElapsedTimer t;
            t.start();
            views[0]->next(); // the build
            buildStep.add(elapsedMs(t));
            misses += listed(options)[2].page == 2 * i + 2 ? 0 : 1;
            QThread::msleep(400);
            views[0]->next(); // on to the next slide, through its transition
            QThread::msleep(1400);
        }
    }

    // Three shows, three kinds of transition, started together: each one's own pacing.
    std::map<std::string, Figures> gaps;
    std::map<std::string, int> late, frames, rounds;
    double period = 0;
    if (steps) {
        views.push_back(start(2, 1440));
        views.push_back(start(3, 1440));
        for (int pres = 2; pres <= 4; ++pres) {
            views[static_cast<size_t>(pres - 2)]->gotoSlide(1);
            waitPage(options, pres, 1);
        }
        QThread::msleep(2000);
        for (int round = 0; round < (quick ? 3 : 8); ++round) {
            for (auto &v : views) {
                v->next(); // the build
            }
            QThread::msleep(300);
            for (auto &v : views) {
                v->next(); // the next slide, through its transition
            }
            QThread::msleep(1500);
            const auto now = listed(options);
            for (int pres = 2; pres <= 4; ++pres) {
                const Listed &l = now.at(pres);
                const std::string kind = kinds[pres - 2];
                gaps[kind].add(l.longestGap);
                late[kind] += l.late;
                frames[kind] += l.frames;
                ++rounds[kind];
                period = l.period;
            }
        }
    }

    std::printf("\nHeld steps at 1920x1080 (offscreen platform)\n");
    print("slide step held ahead, until shown", slideStep);
    if (steps) {
        print("build step held ahead, until shown", buildStep);
        std::printf("\nTransitions of 1 s on three shows at once (display period %.2f ms)\n",
                    period);
        for (const auto &[kind, f] : gaps) {
            std::printf("%-10s %5.1f frames each, longest gap median %6.2f ms, worst %6.2f ms, "
                        "%d of %d frames later than 1.5 periods\n",
                        kind.c_str(), frames[kind] / double(std::max(1, rounds[kind])), f.median(),
                        f.percentile(1.0), late[kind], frames[kind]);
        }
    }
    if (misses > 0) {
        std::printf("    (%d steps were not on screen when the call returned)\n", misses);
    }
    return 0;
}

} // namespace bench

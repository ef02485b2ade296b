// One full Corvane step, timed as host_bench times it (three switches, three exports from the
// active presentation, three picture loads, then the hints for the next step), on two host
// programs in alternating rounds, so that the load of a shared machine falls on both alike.
// Also the web remote's picture of the next slide (420 x 300) asked after each step.
//   bench_corvane_step [--host-a PROGRAM] [--host-b PROGRAM] [--rounds N]
// Without --host-a only host B runs; B is the presentation_host beside this program.

#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/tests/deck_maker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

using namespace pa;
using namespace pa::host;

namespace {

struct Figures
{
    std::vector<double> ms;
    double at(double p) const
    {
        if (ms.empty()) {
            return 0;
        }
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        return s[std::min(s.size() - 1, size_t(p * double(s.size() - 1) + 0.5))];
    }
};

struct Step
{
    Figures total, switches, exports, loads, pagePicture;
};

double elapsedMs(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void endHost(const ClientOptions &options)
{
    const qint64 pid = runningHostPid(options);
    if (pid <= 0) {
        return;
    }
    ::kill(pid_t(pid), SIGTERM);
    QElapsedTimer t;
    t.start();
    while (QFile::exists(QStringLiteral("/proc/%1").arg(pid)) && runningHostPid(options) == pid) {
        if (t.elapsed() > 5000) {
            ::kill(pid_t(pid), SIGKILL);
        }
        QThread::msleep(5);
    }
}

void round(const ClientOptions &options, const std::vector<QString> &decks, const QString &dir,
           int steps, Step *out)
{
    endHost(options);
    auto application = applicationFactory(options)();
    std::vector<std::shared_ptr<Presentation>> shows;
    for (const QString &deck : decks) {
        auto p = application->presentations()->open(deck.toStdString(), 0, 0, -1);
        p->slideShowSettings()->run();
        auto w = p->slideShowWindow();
        w->setLeft(0);
        w->setTop(0);
        w->setWidth(1440);
        w->view()->gotoSlide(20, msoTrue);
        shows.push_back(p);
    }
    const std::string page = (dir + QStringLiteral("/page")).toStdString();
    // The page's picture size, asked once so a host that makes pictures ahead knows it.
    shows[0]->slides()->item(20)->exportTo(page, "JPG", 420, 300);
    QThread::msleep(2000);
    for (int i = 0; i < steps; ++i) {
        const int slide = 21 + i;
        QElapsedTimer t, phase;
        t.start();
        phase.start();
        for (const auto &show : shows) {
            auto w = show->slideShowWindow();
            w->activate();
            w->view()->gotoSlide(slide, msoTrue);
        }
        out->switches.ms.push_back(elapsedMs(phase));
        double exporting = 0, loading = 0;
        for (int s = 0; s < 3; ++s) {
            const std::string file = (dir + QStringLiteral("/Screen%1").arg(s)).toStdString();
            phase.restart();
            application->activePresentation()->slides()->item(slide)->exportTo(file, "JPG", 175,
                                                                               125);
            exporting += elapsedMs(phase);
            phase.restart();
            if (QImage(QString::fromStdString(file)).isNull()) {
                std::fprintf(stderr, "the exported picture cannot be loaded\n");
            }
            loading += elapsedMs(phase);
        }
        out->exports.ms.push_back(exporting);
        out->loads.ms.push_back(loading);
        for (const auto &show : shows) {
            show->prepareSlides({slide + 1, slide - 1});
        }
        out->total.ms.push_back(elapsedMs(t));
        QThread::msleep(500);
        // What the web page asks after the step: the picture of what the next Next shows.
        phase.restart();
        shows[0]->slides()->item(slide + 1)->exportTo(page, "JPG", 420, 300);
        out->pagePicture.ms.push_back(elapsedMs(phase));
        QThread::msleep(100);
    }
    endHost(options);
}

void print(const char *host, const Step &s)
{
    const auto line = [](const char *what, const Figures &f) {
        std::printf("  %-42s median %7.2f ms   p95 %7.2f ms   (n=%zu)\n", what, f.at(0.5),
                    f.at(0.95), f.ms.size());
    };
    std::printf("%s\n", host);
    line("Corvane step: 3 switches, 3 exports, 3 loads", s.total);
    line("    of which 3 switches (activate, go-to)", s.switches);
    line("    of which 3 exports", s.exports);
    line("    of which 3 picture loads", s.loads);
    line("web page's next picture, 420x300", s.pagePicture);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto value = [&](const QString &name, const QString &fallback) {
        const qsizetype at = args.indexOf(name);
        return at > 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
    };
    const QString hostA = value(QStringLiteral("--host-a"), QString());
    const QString hostB =
        value(QStringLiteral("--host-b"),
              QCoreApplication::applicationDirPath() + QStringLiteral("/presentation_host"));
    const int rounds = value(QStringLiteral("--rounds"), QStringLiteral("3")).toInt();

    QTemporaryDir dir;
    const QString screens = dir.filePath(QStringLiteral("screens.json"));
    {
        QFile f(screens);
        f.open(QIODevice::WriteOnly);
        f.write(R"({"screens":[{"name":"Screen","x":0,"y":0,"width":1920,"height":1080,)"
                R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
    }
    std::vector<QString> decks;
    for (int d = 0; d < 3; ++d) {
        decks.push_back(dir.filePath(QStringLiteral("deck%1.pdf").arg(d + 1)));
        if (!testing::makeDeck(decks.back(), 60, d, QSizeF(960, 540), true)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(decks.back()));
            return 1;
        }
    }
    const auto optionsFor = [&](const QString &program, const QString &name) {
        ClientOptions options;
        options.runtimeDir = dir.filePath(name);
        options.hostProgram = program;
        options.hostArguments = {QStringLiteral("-platform"),
                                 QStringLiteral("offscreen:configfile=") + screens};
        options.stepTimeoutMs = 60000;
        options.exportTimeoutMs = 60000;
        return options;
    };
    Step a, b;
    try {
        for (int r = 0; r < rounds; ++r) {
            if (!hostA.isEmpty()) {
                round(optionsFor(hostA, QStringLiteral("a")), decks, dir.path(), 10, &a);
            }
            round(optionsFor(hostB, QStringLiteral("b")), decks, dir.path(), 10, &b);
        }
    } catch (const AutomationError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("Three 1920x1080 shows of 60 pages, %d rounds of 10 steps each, alternating\n",
                rounds);
    if (!hostA.isEmpty()) {
        print(qPrintable(QStringLiteral("host A: ") + hostA), a);
    }
    print(qPrintable(QStringLiteral("host B: ") + hostB), b);
    return 0;
}

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
// does not know build steps).

#include "photo_decks.h"

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

namespace {

struct Figures
{
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    double percentile(double p) const
    {
        if (ms.empty()) {
            return 0;
        }
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        const size_t i = std::min(s.size() - 1,
                                  static_cast<size_t>(p * static_cast<double>(s.size() - 1) + 0.5));
        return s[i];
    }
    double median() const { return percentile(0.5); }
    double p95() const { return percentile(0.95); }
};

double elapsedMs(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

void print(const char *what, const Figures &f, double reference = 0)
{
    std::printf("%-44s median %9.2f ms   p95 %9.2f ms   (n=%zu)", what, f.median(), f.p95(),
                f.ms.size());
    if (reference > 0) {
        std::printf("   = %.2f x pdftoppm", f.median() / reference);
    }
    std::printf("\n");
}

// Presentation id -> slide drawn on screen, from the host's status listing.
std::map<int, int> slidesOnScreen(const ClientOptions &options)
{
    std::map<int, int> out;
    static const QRegularExpression line(
        QStringLiteral("^(\\d+): .*show running on slide \\d+, .*slide on screen: (\\d+)$"),
        QRegularExpression::MultilineOption);
    auto it = line.globalMatch(statusListing(options));
    while (it.hasNext()) {
        const auto m = it.next();
        out[m.captured(1).toInt()] = m.captured(2).toInt();
    }
    return out;
}

bool waitDrawn(const ClientOptions &options, int pres, int slide, int timeoutMs = 60000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (slidesOnScreen(options)[pres] == slide) {
            return true;
        }
        QThread::usleep(500);
    }
    return false;
}

// Until the shows are drawn on these slides, with the event loop running (the controller
// notices a lost host there). Milliseconds, or -1 when not within timeoutMs.
double untilDrawn(const ClientOptions &options, const std::map<int, int> &slides, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents();
        std::map<int, int> now;
        try {
            now = slidesOnScreen(options);
        } catch (const AutomationError &) {
        }
        if (now == slides) {
            return elapsedMs(t);
        }
        QThread::usleep(500);
    }
    return -1;
}

// A file of size bytes that starts as a PDF and holds nothing after: the PDF library reads
// all of it before giving up. Sparse, so it costs no disk.
bool makeHollowFile(const QString &path, qint64 size, const QByteArray &head)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(head) == head.size() && f.resize(size);
}

qint64 peakMemoryKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &l : status.readAll().split('\n')) {
        if (l.startsWith("VmHWM:")) {
            return l.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return 0;
}

// Ends the host cleanly (it forgets its presentations), so the next start is a fresh one.
void endHost(const ClientOptions &options)
{
    const qint64 pid = runningHostPid(options);
    if (pid > 0) {
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        QElapsedTimer t;
        t.start();
        while (QFile::exists(QStringLiteral("/proc/%1").arg(pid)) &&
               runningHostPid(options) == pid) {
            if (t.elapsed() > 5000) {
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            }
            QThread::msleep(5);
        }
        QThread::msleep(50);
    }
}

// pdftoppm rendering one page to a raw picture of exactly width x height.
Figures pdftoppm(const QString &pdftoppm, const QString &deck, int page, int width, int height,
                 int runs, const QString &outDir)
{
    Figures f;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        QProcess::execute(pdftoppm,
                          {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                           QString::number(page), QStringLiteral("-scale-to-x"),
                           QString::number(width), QStringLiteral("-scale-to-y"),
                           QString::number(height), deck, outDir + QStringLiteral("/ref")});
        f.add(elapsedMs(t));
    }
    return f;
}

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

// Show id -> (slide, page on screen, last transition's status), from the listing.
struct Listed
{
    int slide = 0;
    int page = 0;
    int frames = 0;
    int late = 0;
    double longestGap = 0;
    double period = 0;
};

std::map<int, Listed> listed(const ClientOptions &options)
{
    static const QRegularExpression line(QStringLiteral(
        "^(\\d+): .*show running on slide (\\d+), .*?(?:last transition \\w+ in (\\d+) "
        "frames over \\S+ s, (\\d+) late, longest gap (\\S+) ms of a (\\S+) ms period, )?"
        "page on screen: (\\d+)"));
    std::map<int, Listed> out;
    for (const QString &l : statusListing(options).split(QLatin1Char('\n'))) {
        const auto m = line.match(l);
        if (m.hasMatch()) {
            out[m.captured(1).toInt()] = {m.captured(2).toInt(),    m.captured(7).toInt(),
                                          m.captured(3).toInt(),    m.captured(4).toInt(),
                                          m.captured(5).toDouble(), m.captured(6).toDouble()};
        }
    }
    return out;
}

bool waitPage(const ClientOptions &options, int pres, int page)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000) {
        if (listed(options)[pres].page == page) {
            return true;
        }
        QThread::usleep(500);
    }
    return false;
}

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

// ---------------------------------------------------------------- photo decks on a display

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

bool nearColour(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) < 70 && std::abs(a.green() - b.green()) < 70 &&
           std::abs(a.blue() - b.blue()) < 70;
}

// Watches the three show windows from another connection to the display, and notes when
// each first shows the page it is waiting for.
class PixelWatch
{
public:
    PixelWatch(const QByteArray &display, int page, int timeoutMs)
        : m_thread([this, display, page, timeoutMs] { watch(display, page, timeoutMs); })
    {
        while (!m_ready) {
            std::this_thread::yield();
        }
    }

    // Counts from now.
    void start()
    {
        m_t0 = Clock::now();
        m_go = true;
    }
    // The milliseconds each screen took, -1 for one never seen.
    std::vector<double> result()
    {
        m_thread.join();
        return m_ms;
    }

private:
    void watch(const QByteArray &display, int page, int timeoutMs)
    {
        bench::ScreenProbe probe(display);
        const auto [first, second] = bench::pageMarkers(page);
        const auto [at1, at2] = bench::markerPoints();
        std::vector<QPoint> points;
        for (int s = 0; s < 3; ++s) {
            points.push_back(at1 + QPoint(1920 * s, 0));
            points.push_back(at2 + QPoint(1920 * s, 0));
        }
        m_ms.assign(3, -1.0);
        m_ready = true;
        while (!m_go) {
            std::this_thread::yield();
        }
        int seen = 0;
        while (seen < 3 && msBetween(m_t0, Clock::now()) < timeoutMs) {
            const std::vector<QColor> c = probe.colours(points);
            const Clock::time_point now = Clock::now();
            for (size_t s = 0; s < 3 && c.size() == 6; ++s) {
                if (m_ms[s] < 0 && nearColour(c[2 * s], first) &&
                    nearColour(c[2 * s + 1], second)) {
                    m_ms[s] = msBetween(m_t0, now);
                    ++seen;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_go{false};
    Clock::time_point m_t0;
    std::vector<double> m_ms;
    std::thread m_thread;
};

struct PhotoShows
{
    std::shared_ptr<Application> app;
    std::vector<std::shared_ptr<Presentation>> shows;
    bool takesHints = true;
};

PhotoShows openPhotoShows(const ClientOptions &options, const std::vector<QString> &decks)
{
    PhotoShows p;
    p.app = applicationFactory(options)();
    for (size_t d = 0; d < decks.size(); ++d) {
        auto pres = p.app->presentations()->open(decks[d].toStdString(), 0, 0, -1);
        pres->slideShowSettings()->run();
        auto w = pres->slideShowWindow();
        w->setLeft(1440.0f * static_cast<float>(d));
        w->setTop(0);
        w->setWidth(1440);
        p.shows.push_back(pres);
    }
    try {
        p.shows[0]->prepareSlides({});
    } catch (const AutomationError &) {
        p.takesHints = false; // a host from before hints
    }
    return p;
}

// Whether every show holds a frame of that slide, as the host lists it (the photo decks have
// one page per slide).
bool allHold(const ClientOptions &options, int slide)
{
    static const QRegularExpression held(QStringLiteral("frames held for pages: ([^;]*);"));
    int holding = 0;
    auto it = held.globalMatch(statusListing(options));
    while (it.hasNext()) {
        holding +=
            it.next().captured(1).split(QStringLiteral(", ")).contains(QString::number(slide));
    }
    return holding == 3;
}

// One Corvane step on three photo shows: the switches in order, each screen's picture
// exported and loaded, then where the next steps go (when the host takes hints). Timed until
// the pixels of the new page are on every window.
std::vector<double> photoStep(PhotoShows &p, const QByteArray &display, const QString &dir,
                              int target, const std::vector<std::int32_t> &hint)
{
    PixelWatch watch(display, target, 20000);
    watch.start();
    for (auto &pres : p.shows) {
        auto w = pres->slideShowWindow();
        w->activate();
        pres->slideShowWindow()->view()->gotoSlide(target, msoTrue);
    }
    for (size_t s = 0; s < p.shows.size(); ++s) {
        const QString file = dir + QStringLiteral("/photo%1").arg(s);
        p.shows[s]->slides()->item(target)->exportTo(file.toStdString(), "JPG", 175, 125);
        QImage loaded(file);
    }
    if (p.takesHints) {
        for (auto &pres : p.shows) {
            pres->prepareSlides(hint);
        }
    }
    return watch.result();
}

// Three decks of photographs on a virtual X display, the host drawing on it: timed until the
// pixels are on the show windows.
void measurePhotoDecks(const ClientOptions &options, const QString &dir, bool quick,
                       const QString &cacheMib)
{
    // Photo decks on a virtual display: timed until the pixels are on the windows.
    const int photoPages = quick ? 12 : 30;
    const int trials = quick ? 4 : 10;
    std::printf("\nMaking three decks of %d photographs (4000x2250 JPEG)...\n", photoPages);
    std::vector<QString> photos;
    for (int d = 0; d < 3; ++d) {
        photos.push_back(QDir(dir).filePath(QStringLiteral("photos%1.pdf").arg(d + 1)));
        if (!bench::makePhotoDeck(photos.back(), photoPages, d)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(photos.back()));
            return;
        }
    }
    bench::VirtualDisplay display(QSize(5760, 1080));
    if (!display.running()) {
        std::printf("Xvfb not found: the photo decks are not measured\n");
        return;
    }
    qputenv("DISPLAY", display.name());
    ClientOptions po = options;
    po.runtimeDir = QDir(dir).filePath(QStringLiteral("photo-runtime"));
    struct Ender
    {
        const ClientOptions &options;
        ~Ender() { endHost(options); }
    } ender{po};
    po.hostArguments = {QStringLiteral("-platform"), QStringLiteral("xcb")};
    if (!cacheMib.isEmpty()) {
        po.hostArguments << QStringLiteral("--cache-mib") << cacheMib;
    }
    std::vector<int> low, high;
    for (int slide = 2; slide <= photoPages / 2 - 2; ++slide) {
        low.push_back(slide);
    }
    for (int slide = photoPages / 2 + 2; slide < photoPages; ++slide) {
        high.push_back(slide);
    }
    // Jumps between the two halves of the decks, never to a neighbour of the slide on screen.
    const auto jumpTarget = [&](int i) {
        return i % 2 == 0 ? high[static_cast<size_t>(i / 2) % high.size()]
                          : low[static_cast<size_t>(i / 2) % low.size()];
    };
    Figures heldAll, heldSkew, hintAll, hintSkew, coldAll, coldSkew;
    int unseen = 0;
    qint64 photoPeak = 0;
    bool photoHints = true;
    const auto record = [&](const std::vector<double> &ms, Figures &all, Figures &skew) {
        if (ms.size() != 3 || *std::min_element(ms.begin(), ms.end()) < 0) {
            ++unseen;
            return;
        }
        const auto [first, last] = std::minmax_element(ms.begin(), ms.end());
        all.add(*last);
        skew.add(*last - *first);
    };
    // As an operator's pause between presses: what the host prepares in it is ready.
    const auto pause = [&](const PhotoShows &p, int nextSlide, bool prepared) {
        QThread::msleep(1500);
        QElapsedTimer waited;
        waited.start();
        while (prepared && p.takesHints && !allHold(po, nextSlide) && waited.elapsed() < 30000) {
            QThread::msleep(50);
        }
        QThread::msleep(1000);
    };
    for (int phase = 0; phase < 3; ++phase) {
        endHost(po);
        PhotoShows p = openPhotoShows(po, photos);
        photoHints = p.takesHints;
        const qint64 photoPid = runningHostPid(po);
        photoStep(p, display.name(), dir, 1, {});
        if (phase == 0) {
            // Held steps: the next slide is a neighbour of the one on screen.
            for (int i = 0; i < trials; ++i) {
                const int target = 2 + i;
                pause(p, target, true);
                record(photoStep(p, display.name(), dir, target, {target + 1, target - 1}), heldAll,
                       heldSkew);
            }
        } else {
            const bool prepared = phase == 1;
            int current = 1;
            for (int i = 0; i < trials; ++i) {
                const int target = jumpTarget(i);
                if (i == 0 && prepared && p.takesHints) {
                    for (auto &pres : p.shows) {
                        pres->prepareSlides({target});
                    }
                }
                pause(p, target, prepared);
                const std::vector<std::int32_t> hint =
                    prepared ? std::vector<std::int32_t>{jumpTarget(i + 1), current}
                             : std::vector<std::int32_t>{};
                record(photoStep(p, display.name(), dir, target, hint),
                       prepared ? hintAll : coldAll, prepared ? hintSkew : coldSkew);
                current = target;
            }
        }
        photoPeak = std::max(photoPeak, peakMemoryKiB(photoPid));
    }
    endHost(po);
    std::printf(
        "\nPhoto decks: three shows of %d pages of 4000x2250 JPEG photos (%.1f MiB a deck), "
        "1920x1080 windows on Xvfb, until the pixels are on the windows\n",
        photoPages, static_cast<double>(QFileInfo(photos[0]).size()) / (1024.0 * 1024.0));
    print("held step, until all three screens show it", heldAll);
    print("    first to last screen", heldSkew);
    print("prepared jump, until all three screens", hintAll);
    print("    first to last screen", hintSkew);
    print("the same jump not prepared, until all three", coldAll);
    print("    first to last screen", coldSkew);
    if (!photoHints) {
        std::printf("    (this host takes no hints: a prepared jump is not prepared)\n");
    }
    if (unseen > 0) {
        std::printf("    (%d steps were not seen on all three screens within 20 s)\n", unseen);
    }
    std::printf("%-44s %9.1f MiB\n", "host peak memory, photo decks (VmHWM)",
                static_cast<double>(photoPeak) / 1024.0);
}
} // namespace

// A journal left by a host that died with `count` presentations of deck, the last three
// with running shows: until the three shows are listed again, and until all are.
struct RestoreFigures
{
    double runningBackMs = -1;
    double allBackMs = -1;
    double worstStatusMs = 0;
};

RestoreFigures restoreLongJournal(ClientOptions options, const QString &deck, int count)
{
    RestoreFigures out;
    if (!preparePrivateFolder(options.runtimeDir).isEmpty()) {
        return out;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QByteArray entries;
    for (int id = 1; id <= count; ++id) {
        const bool running = id > count - 3;
        entries += QStringLiteral(
                       R"(%1{"id":%2,"file":"%3","pdf":"%3","slides":3,"show":%4%5,"touched":%6})")
                       .arg(id == 1 ? QString() : QStringLiteral(","))
                       .arg(id)
                       .arg(deck)
                       .arg(running ? QStringLiteral("true") : QStringLiteral("false"))
                       .arg(running ? QStringLiteral(R"(,"slide":2)") : QString())
                       .arg(now - count + id)
                       .toUtf8();
    }
    QFile journal(journalPath(options.runtimeDir));
    if (!journal.open(QIODevice::WriteOnly) ||
        journal.write(QByteArray(R"({"version":1,"session":"bench","nextId":)") +
                      QByteArray::number(count) + R"(,"active":)" + QByteArray::number(count) +
                      R"(,"presentations":[)" + entries + "]}") < 0) {
        return out;
    }
    journal.close();
    static const QRegularExpression listed(QStringLiteral("^\\d+: "),
                                           QRegularExpression::MultilineOption);
    static const QRegularExpression running(QStringLiteral("show running on slide 2"));
    QElapsedTimer t;
    t.start();
    auto app = applicationFactory(options)();
    while (t.elapsed() < 120000 && out.allBackMs < 0) {
        QElapsedTimer asked;
        asked.start();
        QString status;
        try {
            status = statusListing(options);
        } catch (const AutomationError &) {
        }
        out.worstStatusMs = std::max(out.worstStatusMs, elapsedMs(asked));
        if (out.runningBackMs < 0 && status.count(running) == 3) {
            out.runningBackMs = elapsedMs(t);
        }
        if (status.count(listed) == count) {
            out.allBackMs = elapsedMs(t);
        }
        QThread::msleep(10);
    }
    endHost(options);
    return out;
}

// A program that sends status requests without end and never reads an answer, while
// another show is stepped: the steps' times.
Figures stepsDuringFlood(const ClientOptions &options, const QString &deck, int *cutOffs,
                         qint64 *peakKiB)
{
    Figures steps;
    auto app = applicationFactory(options)();
    auto pres = app->presentations()->open(deck.toStdString());
    pres->slideShowSettings()->run();
    auto view = pres->slideShowWindow()->view();
    std::atomic<bool> done{false};
    // A program that is cut off comes back at once and floods again.
    std::atomic<int> cuts{0};
    std::thread flood([&] {
        Request status;
        status.op = Op::Status;
        QByteArray burst;
        for (int i = 0; i < 1000; ++i) {
            burst += frame(encodeRequest(status));
        }
        const QByteArray path = QFile::encodeName(socketPath(options.runtimeDir));
        while (!done) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
            if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
                ::close(fd);
                return;
            }
            const timeval wait{0, 100000};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
            while (!done) {
                const ssize_t n =
                    ::send(fd, burst.constData(), static_cast<size_t>(burst.size()), MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    ++cuts;
                    break;
                }
            }
            ::close(fd);
        }
    });
    QThread::msleep(300);
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer t;
        t.start();
        try {
            view->gotoSlide(1 + i % 3, msoTrue);
            steps.add(elapsedMs(t));
        } catch (const AutomationError &) {
            steps.add(elapsedMs(t));
        }
        QThread::msleep(20);
    }
    done = true;
    flood.join();
    *cutOffs = cuts;
    *peakKiB = peakMemoryKiB(runningHostPid(options));
    endHost(options);
    return steps;
}

void printRobustness(const ClientOptions &options, const QString &dir)
{
    const QString small = dir + QStringLiteral("/small.pdf");
    pa::host::testing::makeDeck(small, 3);
    const RestoreFigures restored = restoreLongJournal(options, small, 1000);
    std::printf("\nA journal of 1000 presentations, 3 with running shows, put back\n");
    std::printf("%-44s %9.1f ms\n", "running shows listed again", restored.runningBackMs);
    std::printf("%-44s %9.1f ms\n", "all 1000 listed", restored.allBackMs);
    std::printf("%-44s %9.1f ms\n", "slowest status answer meanwhile", restored.worstStatusMs);
    int cuts = 0;
    qint64 peak = 0;
    const Figures flood = stepsDuringFlood(options, small, &cuts, &peak);
    print("step of a show while a program floods", flood);
    std::printf("    worst step %.2f ms; the flooding program was cut off %d times; host peak "
                "memory %.1f MiB\n",
                flood.ms.empty() ? 0.0 : *std::max_element(flood.ms.begin(), flood.ms.end()), cuts,
                static_cast<double>(peak) / 1024.0);
}

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

    measurePhotoDecks(options, dir.path(), quick, cacheMib);
    return 0;
}

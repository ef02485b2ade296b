// Three decks of photographs on a virtual X display, timed until the pixels are on the show
// windows (host_bench --photos, and last in a full run).

#include "bench/host_bench_support.h"
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
using namespace bench;

namespace {

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
} // namespace

namespace bench {

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
} // namespace bench

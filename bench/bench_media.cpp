// Videos in slides on the real host and a dummy X server, clips made by ffmpeg in PDF decks:
// - from a step to the clip's first frame on the display (read back with GetImage), for a
//   clip held ready (Next onto its slide) and one that is not (a go-to from further away);
// - the pacing of the frames three 1080p clips get while they play on three 1080p shows at
//   once (as the host counts the frames the decoder hands over);
// - the host's memory: after the steps, with three 1080p clips held ready, while one plays
//   and while three do (the peak of each, resident: anonymous, files mapped, shared with the
//   X server), and its peak over the whole run;
// - one 4K clip (3840x2160, 30 fps) on one show, on a host of its own twice: its decoder held
//   to one thread (PRESENTATION_HOST_DECODE_THREADS=1), then with the threads the host gives
//   the stream: frames and pictures a second, longest gap, the host's threads and memory;
//   then a 10-bit and a 4:2:2 clip (camera footage) with the threads for the stream.
//   bench_media [--rounds N]

#include "bench_figures.h"

#include "platform/testing/x_desktop.h"
#include "platform/testing/x_grab.h"
#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "presentation_automation/host/tests/movie_pdf.h"
#include "presentation_automation/host/tests/video_watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

using namespace pa::host::testing;
using namespace platform::testing;

namespace {

using bench::percentile;

void print(const char *what, const std::vector<double> &ms)
{
    std::printf("%-46s median %7.1f ms  p95 %7.1f ms  max %7.1f ms  (%zu)\n", what,
                percentile(ms, 0.5), percentile(ms, 0.95), percentile(ms, 1.0), ms.size());
}

QByteArray procLine(const QString &file, const char *key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (key == nullptr || line.startsWith(key)) {
            return line.simplified();
        }
    }
    return {};
}

// A figure of the host's /proc status in kB ("VmHWM:"), 0 when it is not there.
qint64 statusKb(qint64 pid, const char *key)
{
    const QList<QByteArray> fields =
        procLine(QStringLiteral("/proc/%1/status").arg(pid), key).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : 0;
}

// The host's resident memory now and at its peak since the last resetPeak(), in MiB.
QString memory(qint64 pid)
{
    const auto mib = [&](const char *key) { return statusKb(pid, key) / 1024.0; };
    return QStringLiteral("peak %1 MiB, now %2 MiB (anonymous %3, files %4, shared %5)")
        .arg(mib("VmHWM:"), 0, 'f', 0)
        .arg(mib("VmRSS:"), 0, 'f', 0)
        .arg(mib("RssAnon:"), 0, 'f', 0)
        .arg(mib("RssFile:"), 0, 'f', 0)
        .arg(mib("RssShmem:"), 0, 'f', 0);
}

// The kernel's peak of the process starts again from what it holds now; the run's peak so far
// is kept in runPeak.
void resetPeak(qint64 pid, qint64 &runPeak)
{
    runPeak = std::max(runPeak, statusKb(pid, "VmHWM:"));
    QFile f(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    if (f.open(QIODevice::WriteOnly)) {
        f.write("5");
    }
}

// A clip of seconds at size, 30 frames a second, in the pixel format pixels, with a tone.
bool makeClip(const QString &path, const QString &size, int seconds,
              const QString &pixels = QStringLiteral("yuv420p"))
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-loglevel"),
             QStringLiteral("error"),
             QStringLiteral("-y"),
             QStringLiteral("-f"),
             QStringLiteral("lavfi"),
             QStringLiteral("-i"),
             QStringLiteral("testsrc=size=%1:rate=30:duration=%2").arg(size).arg(seconds),
             QStringLiteral("-f"),
             QStringLiteral("lavfi"),
             QStringLiteral("-i"),
             QStringLiteral("sine=frequency=440:duration=%1").arg(seconds),
             QStringLiteral("-c:v"),
             QStringLiteral("libx264"),
             QStringLiteral("-preset"),
             QStringLiteral("veryfast"),
             QStringLiteral("-pix_fmt"),
             pixels,
             QStringLiteral("-c:a"),
             QStringLiteral("aac"),
             QStringLiteral("-shortest"),
             path});
    return p.waitForFinished(300000) && p.exitCode() == 0;
}

QString listing(const pa::host::ClientOptions &options)
{
    try {
        return statusListing(options);
    } catch (const std::exception &) {
        return {};
    }
}

void wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

template<typename Pred> bool waitUntil(Pred pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) {
            return false;
        }
        QThread::msleep(1);
    }
    return true;
}

// Ends the host and waits until it is gone, so that the next figures are not shared with it.
void endHost(qint64 pid)
{
    if (pid <= 0) {
        return;
    }
    ::kill(pid_t(pid), SIGTERM);
    waitUntil([&] { return !QFile::exists(QStringLiteral("/proc/%1").arg(pid)); }, 10000);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int rounds = 10;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--rounds"));
        i >= 0 && i + 1 < args.size()) {
        rounds = std::max(1, args.at(i + 1).toInt());
    }
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) {
        std::printf("ffmpeg is not installed\n");
        return 1;
    }
    QTemporaryDir dir;
    DummyXServer x(dir.filePath(QStringLiteral("x")));
    if (!x.whyNot().isEmpty()) {
        std::printf("no X server: %s\n", qPrintable(x.whyNot()));
        return 1;
    }
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
    pa::host::ClientOptions options;
    options.runtimeDir = dir.filePath(QStringLiteral("runtime"));
    options.hostProgram =
        QCoreApplication::applicationDirPath() + QStringLiteral("/presentation_host");
    options.hostArguments = {QStringLiteral("-platform"),   QStringLiteral("xcb"),
                             QStringLiteral("-display"),    x.display,
                             QStringLiteral("--cache-dir"), dir.filePath(QStringLiteral("cache"))};
    std::printf("uptime and load before: %s | %s\n",
                procLine(QStringLiteral("/proc/uptime"), nullptr).constData(),
                procLine(QStringLiteral("/proc/loadavg"), nullptr).constData());

    if (!makeClip(dir.filePath(QStringLiteral("small.mp4")), QStringLiteral("640x360"), 30) ||
        !makeClip(dir.filePath(QStringLiteral("full.mp4")), QStringLiteral("1920x1080"), 12)) {
        std::printf("ffmpeg made no clip\n");
        return 1;
    }
    int exitCode = 0;
    auto application = pa::host::applicationFactory(options)();

    // 1. A step to the clip's first frame.
    const QRectF rect(0.25, 0.25, 0.5, 0.5);
    const QString stepping = dir.filePath(QStringLiteral("stepping.pdf"));
    writeMoviePdf(stepping,
                  {plainPage(Qt::darkBlue),
                   moviePage(Qt::darkGreen, MovieKind::Movie, QStringLiteral("small.mp4"), rect),
                   plainPage(Qt::darkRed), plainPage(Qt::darkCyan)});
    auto pres = application->presentations()->open(str(stepping));
    pres->slideShowSettings()->run();
    auto view = pres->slideShowWindow()->view();
    const QRect area = middleOf(rect, threeDisplayPrimary);
    const auto onScreen = [&](int slide) {
        return listing(options).contains(QStringLiteral("slide on screen: %1").arg(slide));
    };
    // Until the clip's rectangle shows a picture: the pages, old and new, are one colour
    // there, a frame of the test clip is many.
    const auto untilFrame = [&](const QElapsedTimer &since) {
        const bool seen = waitUntil(
            [&] {
                const QImage seen = grabX(x.display, area);
                if (seen.isNull()) {
                    return false;
                }
                QImage plain(seen.size(), QImage::Format_RGB32);
                plain.fill(seen.pixel(0, 0));
                return pictureDifference(seen, plain) > 8.0;
            },
            10000);
        return seen ? double(since.nsecsElapsed()) / 1e6 : -1.0;
    };
    std::vector<double> prepared, unprepared;
    for (int r = 0; r < rounds; ++r) {
        view->gotoSlide(1);
        waitUntil([&] { return onScreen(1); }, 20000);
        waitUntil([&] { return listing(options).contains(QLatin1String("media ready")); }, 20000);
        wait(300);
        QElapsedTimer t;
        t.start();
        view->next();
        const double ready = untilFrame(t);

        view->gotoSlide(4);
        waitUntil([&] { return onScreen(4); }, 20000);
        wait(300);
        t.start();
        view->gotoSlide(2);
        const double cold = untilFrame(t);
        if (ready < 0 || cold < 0) {
            std::printf("round %d: the clip's frame did not show\n", r + 1);
            exitCode = 1;
            continue;
        }
        prepared.push_back(ready);
        unprepared.push_back(cold);
    }
    std::printf("Step to the clip's first frame on the display, 640x360 H.264, %d rounds:\n",
                rounds);
    print("held ready (Next onto its slide)", prepared);
    print("not held (go-to from two slides away)", unprepared);
    pres->slideShowWindow()->view()->gotoSlide(4);
    const qint64 pid = pa::host::runningHostPid(options);
    qint64 runPeak = 0;
    std::printf("Host memory after the steps: %s\n", qPrintable(memory(pid)));

    // 2. Three 1080p clips on three 1080p shows at once.
    std::vector<std::shared_ptr<pa::Presentation>> shows;
    for (int s = 1; s <= 3; ++s) {
        const QString deck = dir.filePath(QStringLiteral("full%1.pdf").arg(s));
        writeMoviePdf(deck, {plainPage(Qt::darkBlue),
                             moviePage(Qt::darkGreen, MovieKind::Movie, QStringLiteral("full.mp4"),
                                       QRectF(0, 0, 1, 1))});
        auto p = application->presentations()->open(str(deck));
        p->slideShowSettings()->run();
        // Each on the 1080p display, so each window is 1920 by 1080.
        auto window = p->slideShowWindow();
        window->setLeft(0);
        window->setTop(0);
        window->setWidth(1440);
        shows.push_back(p);
    }
    const auto allReady = [&] { return listing(options).count(QLatin1String("media ready")) >= 3; };
    waitUntil(allReady, 20000);
    wait(2000);
    std::printf("Host memory, three more shows (1080p) on slides whose Next starts a 1080p clip, "
                "held ready: %s\n",
                qPrintable(memory(pid)));
    resetPeak(pid, runPeak);
    shows.front()->slideShowWindow()->view()->gotoSlide(2);
    wait(4000);
    std::printf("Host memory, one 1080p clip playing:  %s\n", qPrintable(memory(pid)));
    shows.front()->slideShowWindow()->view()->gotoSlide(1);
    waitUntil(allReady, 20000);
    wait(2000);
    resetPeak(pid, runPeak);
    for (const auto &p : shows) {
        p->slideShowWindow()->view()->gotoSlide(2);
    }
    wait(9000);
    std::printf("Host memory, three 1080p clips playing: %s\n", qPrintable(memory(pid)));
    const QString during = listing(options);
    static const QRegularExpression clipLine(
        QStringLiteral("full\\.mp4 playing, ([0-9.]+) s elapsed.*?(\\d+) frames, "
                       "(?:(\\d+) pictures, )?longest gap ([0-9.]+) ms"));
    std::printf("Three 1920x1080 30 fps H.264 clips on three 1920x1080 shows at once:\n");
    auto matches = clipLine.globalMatch(during);
    int counted = 0;
    while (matches.hasNext()) {
        const auto m = matches.next();
        const double elapsed = m.captured(1).toDouble();
        const int frames = m.captured(2).toInt();
        // A host from before pictures were counted tells only the frames.
        const QString pictures =
            m.captured(3).isEmpty()
                ? QString()
                : QStringLiteral(", %1 pictures drawn (%2 a second)")
                      .arg(m.captured(3))
                      .arg(elapsed > 0 ? m.captured(3).toInt() / elapsed : 0.0, 0, 'f', 1);
        std::printf("  show %d: %d frames in %.1f s (%.1f a second of 30)%s, longest gap %s ms\n",
                    ++counted, frames, elapsed, elapsed > 0 ? frames / elapsed : 0.0,
                    qPrintable(pictures), qPrintable(m.captured(4)));
    }
    for (const QString &line : during.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Frames held"))) {
            std::printf("  %s\n", qPrintable(line));
        }
    }
    if (counted != 3) {
        std::printf("  the listing told %d playing clips:\n%s\n", counted, qPrintable(during));
        QFile log(dir.filePath(QStringLiteral("state/presentation-host/host.log")));
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : log.readAll().split('\n')) {
                if (line.contains("medium")) {
                    std::printf("  %s\n", line.constData());
                }
            }
        }
        exitCode = 1;
    }
    std::printf("uptime and load during: %s | %s\n",
                procLine(QStringLiteral("/proc/uptime"), nullptr).constData(),
                procLine(QStringLiteral("/proc/loadavg"), nullptr).constData());

    // 3. Memory over the whole run.
    runPeak = std::max(runPeak, statusKb(pid, "VmHWM:"));
    std::printf("host peak memory over the whole run: VmHWM: %lld kB; now %s\n",
                static_cast<long long>(runPeak),
                procLine(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS").constData());
    endHost(pid);

    // 4. One 4K clip on one show.
    struct FourK
    {
        const char *pixels;
        bool oneThread;
        const char *said;
    };
    const FourK fourKs[] = {
        {"yuv420p", true, "8-bit 4:2:0, decoder held to one thread (as before)"},
        {"yuv420p", false, "8-bit 4:2:0, threads for the stream"},
        {"yuv420p10le", false, "10-bit 4:2:0, threads for the stream"},
        {"yuv422p", false, "8-bit 4:2:2, threads for the stream"},
    };
    std::printf("One 3840x2160 30 fps H.264 clip on one 1920x1080 show, a host started for each:"
                "\n");
    for (const FourK &clip : fourKs) {
        const QString name = QStringLiteral("fourk-%1.mp4").arg(QLatin1String(clip.pixels));
        if (!QFile::exists(dir.filePath(name)) &&
            !makeClip(dir.filePath(name), QStringLiteral("3840x2160"), 12,
                      QLatin1String(clip.pixels))) {
            std::printf("ffmpeg made no 4K clip in %s\n", clip.pixels);
            return 1;
        }
        const QString fourKDeck =
            dir.filePath(QStringLiteral("fourk-%1.pdf").arg(QLatin1String(clip.pixels)));
        writeMoviePdf(fourKDeck,
                      {plainPage(Qt::darkBlue),
                       moviePage(Qt::darkGreen, MovieKind::Movie, name, QRectF(0, 0, 1, 1))});
        const bool oneThread = clip.oneThread;
        // A host of its own, with no journal of the shows before to put back.
        const QString run = dir.filePath(
            QStringLiteral("fourk-%1-%2").arg(QLatin1String(clip.pixels)).arg(oneThread ? 1 : 0));
        qputenv("XDG_STATE_HOME", QFile::encodeName(run + QStringLiteral("/state")));
        if (oneThread) {
            qputenv("PRESENTATION_HOST_DECODE_THREADS", "1");
        } else {
            qunsetenv("PRESENTATION_HOST_DECODE_THREADS");
        }
        pa::host::ClientOptions own = options;
        own.runtimeDir = run + QStringLiteral("/runtime");
        auto host = pa::host::applicationFactory(own)();
        auto p = host->presentations()->open(str(fourKDeck));
        p->slideShowSettings()->run();
        auto window = p->slideShowWindow();
        window->setLeft(0);
        window->setTop(0);
        window->setWidth(1440);
        waitUntil([&] { return listing(own).contains(QLatin1String("media ready")); }, 30000);
        wait(1500);
        const qint64 hostPid = pa::host::runningHostPid(own);
        qint64 peak = 0;
        resetPeak(hostPid, peak);
        window->view()->gotoSlide(2);
        wait(9000);
        const QString playing = listing(own);
        const int threads = int(QDir(QStringLiteral("/proc/%1/task").arg(hostPid))
                                    .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                    .size());
        const QString memoryNow = memory(hostPid);
        static const QRegularExpression fourKLine(
            QStringLiteral("fourk-[a-z0-9]+\\.mp4 playing, ([0-9.]+) s elapsed.*?(\\d+) frames, "
                           "(\\d+) pictures, longest gap ([0-9.]+) ms"));
        const auto m = fourKLine.match(playing);
        std::printf("  %s:\n", clip.said);
        if (m.hasMatch()) {
            const double elapsed = m.captured(1).toDouble();
            const auto perSecond = [&](int n) { return elapsed > 0 ? n / elapsed : 0.0; };
            std::printf("    %d frames in %.1f s (%.1f a second of 30), %d pictures drawn (%.1f a "
                        "second), longest gap %s ms\n",
                        m.captured(2).toInt(), elapsed, perSecond(m.captured(2).toInt()),
                        m.captured(3).toInt(), perSecond(m.captured(3).toInt()),
                        qPrintable(m.captured(4)));
        } else {
            std::printf("    the listing told no playing 4K clip:\n%s\n", qPrintable(playing));
            exitCode = 1;
        }
        std::printf("    host threads while it plays: %d; host memory: %s\n", threads,
                    qPrintable(memoryNow));
        std::printf("    load: %s\n",
                    procLine(QStringLiteral("/proc/loadavg"), nullptr).constData());
        endHost(hostPid);
    }
    qunsetenv("PRESENTATION_HOST_DECODE_THREADS");
    return exitCode;
}

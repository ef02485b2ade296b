// Builds with effects (host_bench --effects, and in a full run): three 1920x1080 shows playing
// a fade, a fly-in and a motion path at once, how evenly each was drawn; how long a Next
// into a build whose pictures are held takes to put its first frame up; and the host's peak
// memory with three such decks.

#include "bench/host_bench_support.h"

#include "presentation_automation/host/tests/deck_maker.h"

#include <QFile>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QThread>

#include <cstdio>

using namespace pa;
using namespace pa::host;

namespace {

// Where the three objects are built, in fractions of the page; the path moves the third down.
const QRectF objects[] = {{0.1, 0.55, 0.2, 0.25}, {0.4, 0.55, 0.2, 0.25}, {0.72, 0.1, 0.15, 0.2}};
constexpr double pathDown = 0.3;

// Each slide is three pages: its first state (text and shapes), the build with the three
// objects, and the sprite page holding the three objects alone.
bool makeEffectsDeck(const QString &pdf, int slides, int deck)
{
    const QSizeF size(960, 540);
    QPdfWriter writer(pdf);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(size, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    const auto at = [&](const QRectF &f, double down = 0) {
        return QRectF(f.x() * size.width(), (f.y() + down) * size.height(),
                      f.width() * size.width(), f.height() * size.height());
    };
    const auto slide = [&](int s) {
        painter.fillRect(QRectF(QPointF(0, 0), size), pa::host::testing::pageColour(deck, s));
        painter.setPen(QPen(Qt::black, 3));
        painter.setBrush(QColor(255, 255, 255, 200));
        painter.drawRoundedRect(QRectF(60, 40, 600, 220), 20, 20);
        QFont body;
        body.setPointSizeF(18);
        painter.setFont(body);
        QString text;
        for (int line = 0; line < 6; ++line) {
            text += QStringLiteral("Point %1.%2: the quick brown fox jumps over the lazy dog.\n")
                        .arg(s)
                        .arg(line + 1);
        }
        painter.drawText(QRectF(80, 60, 560, 180), Qt::TextWordWrap, text);
    };
    const auto draw = [&](bool built) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 30, 30));
        painter.drawRoundedRect(at(objects[0]), 12, 12);
        painter.setBrush(QColor(30, 160, 60));
        painter.drawEllipse(at(objects[1]));
        painter.setBrush(QColor(30, 60, 200));
        painter.drawRect(at(objects[2], built ? pathDown : 0));
    };
    QString states;
    for (int s = 0; s < slides; ++s) {
        if (s > 0) {
            writer.newPage();
        }
        slide(s + 1);
        writer.newPage();
        slide(s + 1);
        draw(true);
        writer.newPage();
        draw(false);
        const int first = 3 * s;
        const auto effect = [&](int o, const char *family, const char *preset,
                                const QString &more) {
            const QRectF &r = objects[o];
            return QStringLiteral(R"({"family":"%1","preset":"%2","start":"with","duration":1,)"
                                  R"("sprite":%3,"rect":[%4,%5,%6,%7]%8})")
                .arg(QLatin1String(family), QLatin1String(preset))
                .arg(first + 2)
                .arg(r.x())
                .arg(r.y())
                .arg(r.width())
                .arg(r.height())
                .arg(more);
        };
        states += QStringLiteral(R"(%1{"states":[{"page":%2},{"page":%3,"trigger":"click",)"
                                 R"("effects":[%4,%5,%6]}]})")
                      .arg(s > 0 ? QStringLiteral(",") : QString())
                      .arg(first)
                      .arg(first + 1)
                      .arg(effect(0, "entrance", "ooo-entrance-fade-in", {}),
                           effect(1, "entrance", "ooo-entrance-fly-in",
                                  QStringLiteral(R"(,"subtype":"from-left")")),
                           effect(2, "motion", "ooo-motionpath-line",
                                  QStringLiteral(R"(,"path":"M 0 0 L 0 %1")").arg(pathDown)));
    }
    if (!painter.end()) {
        return false;
    }
    QFile description(pdf + QStringLiteral(".steps.json"));
    const QByteArray json = (QStringLiteral(R"({"format":1,"importer":"bench","slides":[)") +
                             states + QStringLiteral("]}"))
                                .toUtf8();
    return description.open(QIODevice::WriteOnly) && description.write(json) == json.size();
}

struct EffectsListed
{
    int page = 0;
    bool playing = false;
    int frames = 0;
    int late = 0;
    double longestGap = 0;
    double period = 0;
    bool nextHeld = false;
};

std::map<int, EffectsListed> effectsListed(const ClientOptions &options)
{
    static const QRegularExpression show(
        QStringLiteral("^(\\d+): .*show running on slide .*?(?:last effects \\d+ in (\\d+) "
                       "frames over \\S+ s, (\\d+) late, longest gap (\\S+) ms of a (\\S+) ms "
                       "period, )?page on screen: (\\d+)"));
    std::map<int, EffectsListed> out;
    int last = 0;
    for (const QString &l : statusListing(options).split(QLatin1Char('\n'))) {
        if (const auto m = show.match(l); m.hasMatch()) {
            last = m.captured(1).toInt();
            out[last] = {m.captured(6).toInt(),
                         l.contains(QLatin1String("effects playing")),
                         m.captured(2).toInt(),
                         m.captured(3).toInt(),
                         m.captured(4).toDouble(),
                         m.captured(5).toDouble(),
                         false};
        } else if (last > 0 && l.contains(QLatin1String("next build's effects: held"))) {
            out[last].nextHeld = true;
        }
    }
    return out;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs = 60000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (done()) {
            return true;
        }
        QThread::usleep(500);
    }
    return false;
}

} // namespace

namespace bench {

int runEffects(const QStringList &args, const ClientOptions &base, QTemporaryDir &dir)
{
    const bool quick = args.contains(QStringLiteral("--quick"));
    const int slides = quick ? 6 : 12;
    ClientOptions options = base;
    options.hostArguments << QStringLiteral("--pdf-steps");
    std::printf("\nMaking three decks of %d slides, each building three objects with effects...\n",
                slides);
    std::vector<QString> decks;
    for (int d = 0; d < 3; ++d) {
        decks.push_back(dir.filePath(QStringLiteral("effects%1.pdf").arg(d + 1)));
        if (!makeEffectsDeck(decks.back(), slides, d)) {
            return 1;
        }
    }
    struct HostEnder
    {
        ClientOptions *options;
        ~HostEnder() { endHost(*options); }
    } ender{&options};
    endHost(options);
    auto application = applicationFactory(options)();
    std::vector<std::shared_ptr<SlideShowView>> views;
    for (const QString &deck : decks) {
        auto p = application->presentations()->open(deck.toStdString(), 0, 0, -1);
        p->slideShowSettings()->run();
        auto w = p->slideShowWindow();
        w->setLeft(0);
        w->setTop(0);
        w->setWidth(1440);
        views.push_back(w->view());
    }
    const auto allHeld = [&] {
        const auto now = effectsListed(options);
        return now.size() == 3 &&
               std::all_of(now.begin(), now.end(), [](const auto &e) { return e.second.nextHeld; });
    };

    // A Next into a held build on one show while the others stand: until the host lists its
    // page on screen, the first frame of the effects being up by then.
    // The listing that tells is timed alone too: most of the figure is that round trip.
    Figures press, call, listing, back;
    int cut = 0;
    for (int s = 1; s <= slides; ++s) {
        for (auto &v : views) {
            v->gotoSlide(s);
        }
        if (!waitFor(allHeld)) {
            std::fprintf(stderr, "the effects of slide %d were never held\n", s);
            return 1;
        }
        QThread::msleep(300);
        QElapsedTimer alone;
        alone.start();
        effectsListed(options);
        listing.add(elapsedMs(alone));
        QElapsedTimer t;
        t.start();
        views[0]->next();
        call.add(elapsedMs(t));
        EffectsListed shown;
        waitFor(
            [&] {
                shown = effectsListed(options)[1];
                return shown.page == 3 * s - 1;
            },
            10000);
        press.add(elapsedMs(t));
        cut += shown.playing ? 0 : 1;
        QThread::msleep(1300);
        // The same way back, a cut to a held page: what a step costs here without effects.
        QElapsedTimer b;
        b.start();
        views[0]->previous();
        waitFor([&] { return effectsListed(options)[1].page == 3 * s - 2; }, 10000);
        back.add(elapsedMs(b));
    }

    // The same builds on all three shows at once.
    Figures gaps;
    int late = 0, frames = 0, rounds = 0;
    double period = 0;
    for (int s = 1; s <= slides; ++s) {
        for (auto &v : views) {
            v->gotoSlide(s);
        }
        if (!waitFor(allHeld)) {
            return 1;
        }
        QThread::msleep(300);
        for (auto &v : views) {
            v->next();
        }
        QThread::msleep(1500);
        for (const auto &[id, e] : effectsListed(options)) {
            gaps.add(e.longestGap);
            late += e.late;
            frames += e.frames;
            period = e.period;
            ++rounds;
        }
    }
    const qint64 peak = peakMemoryKiB(runningHostPid(options));

    std::printf("\nBuilds with effects (a fade, a fly-in, a motion path of 1 s) at 1920x1080 "
                "(offscreen platform)\n");
    print("Next into a held build, until shown", press);
    print("    the Next call alone, as --builds times", call);
    print("    the status listing that tells, alone", listing);
    print("Previous from it (a cut), until shown", back);
    if (cut > 0) {
        std::printf("    (%d of %zu builds played no effects)\n", cut, press.ms.size());
    }
    std::printf("Three shows at once (display period %.2f ms): %.1f frames each, longest gap "
                "median %.2f ms, worst %.2f ms, %d of %d frames later than 1.5 periods\n",
                period, frames / double(std::max(1, rounds)), gaps.median(), gaps.percentile(1.0),
                late, frames);
    std::printf("%-44s %9.1f MiB\n", "host peak memory, three decks with effects",
                static_cast<double>(peak) / 1024.0);
    return 0;
}

} // namespace bench

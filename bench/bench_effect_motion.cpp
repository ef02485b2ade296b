// What an effect's frame costs the show window: working out the sprite's pose at one moment,
// and drawing the sprite with that pose (opacity, clip, transform) over a 1080p page, for
// each kind of motion and clip the effect rules produce.
//   bench_effect_motion [--frames N]

#include "bench_figures.h"

#include "presentation_automation/host/shows/effect_motion.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pa::host;

namespace {

struct Case
{
    const char *label;
    EffectFamily family;
    const char *preset;
    const char *subtype;
    const char *path = "";
};

using bench::percentile;

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    int frames = 300;
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--frames") == 0) {
            frames = std::max(1, atoi(argv[i + 1]));
        }
    }

    const QSizeF page(1920, 1080);
    const QRectF box(0.3, 0.35, 0.3, 0.28);
    const QRectF boxPx(box.x() * page.width(), box.y() * page.height(), box.width() * page.width(),
                       box.height() * page.height());
    QImage sprite(boxPx.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    sprite.fill(Qt::transparent);
    {
        QPainter p(&sprite);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(30, 90, 200));
        p.drawRoundedRect(sprite.rect().adjusted(4, 4, -4, -4), 40, 40);
    }
    QImage under(page.toSize(), QImage::Format_RGB32);
    under.fill(QColor(240, 240, 230));
    QImage target(page.toSize(), QImage::Format_RGB32);

    const std::vector<Case> cases = {
        {"fade", EffectFamily::Entrance, "ooo-entrance-fade-in", ""},
        {"fly-in", EffectFamily::Entrance, "ooo-entrance-fly-in", "from-left"},
        {"spin-in", EffectFamily::Entrance, "ooo-entrance-spin-in", ""},
        {"peek-in", EffectFamily::Entrance, "ooo-entrance-peek-in", "from-bottom"},
        {"wipe", EffectFamily::Entrance, "ooo-entrance-wipe", "from-left"},
        {"box in", EffectFamily::Entrance, "ooo-entrance-box", "in"},
        {"circle in", EffectFamily::Entrance, "ooo-entrance-circle", "in"},
        {"diamond out", EffectFamily::Entrance, "ooo-entrance-diamond", "out"},
        {"plus out", EffectFamily::Entrance, "ooo-entrance-plus", "out"},
        {"blinds", EffectFamily::Entrance, "ooo-entrance-venetian-blinds", "horizontal"},
        {"checkerboard", EffectFamily::Entrance, "ooo-entrance-checkerboard", "across"},
        {"random bars", EffectFamily::Entrance, "ooo-entrance-random-bars", "horizontal"},
        {"wheel 8", EffectFamily::Entrance, "ooo-entrance-wheel", "8"},
        {"spiral wipe", EffectFamily::Entrance, "ooo-entrance-spiral-wipe",
         "from-top-left-clockwise"},
        {"exit circle out", EffectFamily::Exit, "ooo-exit-circle", "out"},
        {"grow and shrink", EffectFamily::Emphasis, "ooo-emphasis-grow-and-shrink", ""},
        {"motion path", EffectFamily::MotionPath, "ooo-motionpath-curvy", "",
         "M 0 0 C 0.1 -0.2 0.3 0.2 0.4 0 C 0.5 -0.2 0.2 0.4 0 0.3"},
    };

    std::printf("%d frames a case, page %gx%g, sprite %dx%d\n", frames, page.width(), page.height(),
                sprite.width(), sprite.height());
    std::printf("%-18s %14s %14s %14s\n", "effect", "pose mean us", "draw mean ms", "draw p95 ms");
    for (const Case &c : cases) {
        SlideEffect e;
        e.family = c.family;
        e.preset = QString::fromLatin1(c.preset);
        e.subtype = QString::fromLatin1(c.subtype);
        e.path = QString::fromLatin1(c.path);
        e.durationSeconds = 1;
        e.rect = box;

        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < frames; ++i) {
            const SpritePose pose = effectPose(e, (i + 0.5) / frames, page);
            if (!pose.visible) {
                std::printf("?");
            }
        }
        const double poseUs = clock.nsecsElapsed() / 1e3 / frames;

        std::vector<double> drawMs;
        for (int i = 0; i < frames; ++i) {
            clock.restart();
            const SpritePose pose = effectPose(e, (i + 0.5) / frames, page);
            QPainter p(&target);
            p.drawImage(0, 0, under);
            if (pose.visible) {
                p.setRenderHint(QPainter::SmoothPixmapTransform);
                p.setOpacity(pose.opacity);
                if (pose.clipped) {
                    p.setClipPath(pose.clip);
                }
                p.setTransform(pose.transform, true);
                p.drawImage(boxPx, sprite);
            }
            p.end();
            drawMs.push_back(clock.nsecsElapsed() / 1e6);
        }
        double sum = 0;
        for (double v : drawMs) {
            sum += v;
        }
        std::printf("%-18s %14.1f %14.2f %14.2f\n", c.label, poseUs, sum / frames,
                    percentile(drawMs, 0.95));
    }
    return 0;
}

#include "presentation_automation/host/shows/effect_motion.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

namespace pa::host {

namespace {

constexpr double pi = 3.14159265358979323846;

// A deck can ask for millions of repeats; past this the show would outlast anyone watching.
constexpr double maxRepeats = 10000;

double finiteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

double repeatsOf(const SlideEffect &effect)
{
    const double repeat = finiteOr(effect.repeat, 1);
    return repeat > 0 ? std::min(repeat, maxRepeats) : 1;
}

// One-way runs in the whole effect: an auto-reversed repeat goes there and back.
double waysOf(const SlideEffect &effect)
{
    return repeatsOf(effect) * (effect.autoReverse ? 2 : 1);
}

double lerp(double from, double to, double q)
{
    return from + (to - from) * q;
}

// Piecewise linear through (time, value) frames given in rising time.
double keyed(std::initializer_list<std::pair<double, double>> frames, double q)
{
    auto previous = *frames.begin();
    if (q <= previous.first) {
        return previous.second;
    }
    for (const auto &frame : frames) {
        if (q <= frame.first) {
            const double span = frame.first - previous.first;
            return span > 0 ? lerp(previous.second, frame.second, (q - previous.first) / span)
                            : frame.second;
        }
        previous = frame;
    }
    return previous.second;
}

// The share of a sub-span [from, to] of the effect that has run at q.
double within(double q, double from, double to)
{
    return std::clamp((q - from) / (to - from), 0.0, 1.0);
}

// There and back within one run (0 -> 1 -> 0).
double there(double q)
{
    return 1 - std::abs(2 * q - 1);
}

// What an effect does to its object at one moment, before it becomes a transform.
struct Look
{
    QPointF shift; // of the object's centre, page pixels
    double scaleX = 1;
    double scaleY = 1;
    double degrees = 0; // clockwise on the page
    double opacity = 1;
    bool hidden = false;
    bool clipped = false;
    QPainterPath clip;
    double afterMix = 0;
};

// The object's box and the page, in page pixels, with the page-fraction conversions the
// presets are written in.
struct Frame
{
    QRectF box;
    QSizeF page;

    QPointF centre() const { return box.center(); }
    // Centre fractions of the page, as the presets name positions.
    double cx() const { return centre().x() / page.width(); }
    double cy() const { return centre().y() / page.height(); }
    double w() const { return box.width() / page.width(); }
    double h() const { return box.height() / page.height(); }
    QPointF pixels(double fx, double fy) const { return {fx * page.width(), fy * page.height()}; }
};

QString bareName(const QString &preset)
{
    static const QRegularExpression prefix(
        QStringLiteral("^ooo-(entrance|exit|emphasis|motionpath)-"));
    QString name = preset.trimmed();
    name.remove(prefix);
    return name;
}

// ---- the wipe family: a clip that grows over the object's box ----

QPainterPath rectPath(const QRectF &r)
{
    QPainterPath path;
    path.addRect(r);
    return path;
}

QPainterPath centred(const QRectF &box, double share)
{
    QRectF r(0, 0, box.width() * share, box.height() * share);
    r.moveCenter(box.center());
    return rectPath(r);
}

QPainterPath diamond(const QRectF &box, double share)
{
    // At share 1 the diamond's sides pass through the box's corners.
    const QPointF c = box.center();
    const double rx = box.width() * share;
    const double ry = box.height() * share;
    QPainterPath path;
    path.moveTo(c.x(), c.y() - ry);
    path.lineTo(c.x() + rx, c.y());
    path.lineTo(c.x(), c.y() + ry);
    path.lineTo(c.x() - rx, c.y());
    path.closeSubpath();
    return path;
}

QPainterPath ellipse(const QRectF &box, double share, bool round)
{
    // Large enough at share 1 to cover the box's corners.
    const double rx =
        round ? std::hypot(box.width(), box.height()) / 2 : box.width() / std::sqrt(2.0);
    const double ry = round ? rx : box.height() / std::sqrt(2.0);
    QPainterPath path;
    path.addEllipse(box.center(), rx * share, ry * share);
    return path;
}

QPainterPath outsideOf(const QRectF &box, const QPainterPath &hole)
{
    return rectPath(box).subtracted(hole);
}

// Sectors about the box's centre: each starts at `startDegrees` (clockwise from twelve o'clock)
// and sweeps `sweepDegrees` clockwise (negative: counter-clockwise).
QPainterPath sector(const QRectF &box, double startDegrees, double sweepDegrees)
{
    const double radius = std::hypot(box.width(), box.height());
    QRectF around(0, 0, 2 * radius, 2 * radius);
    around.moveCenter(box.center());
    QPainterPath path;
    if (sweepDegrees == 0) {
        return path;
    }
    path.moveTo(box.center());
    // Qt counts angles counter-clockwise from three o'clock.
    path.arcTo(around, 90 - startDegrees, -sweepDegrees);
    path.closeSubpath();
    return path;
}

QPainterPath cells(const QRectF &box, int columns, int rows, const std::vector<int> &order,
                   double q)
{
    QPainterPath path;
    const int shown = std::clamp(static_cast<int>(std::floor(q * order.size())), 0,
                                 static_cast<int>(order.size()));
    const double cw = box.width() / columns;
    const double ch = box.height() / rows;
    for (int i = 0; i < shown; ++i) {
        const int cell = order[i];
        path.addRect(box.x() + (cell % columns) * cw, box.y() + (cell / columns) * ch, cw, ch);
    }
    return path;
}

// A fixed scattered order: the same bars on every show and every run.
std::vector<int> scattered(int count)
{
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::uint32_t seed = 0x2545f491u;
    for (int i = count - 1; i > 0; --i) {
        seed = seed * 1664525u + 1013904223u;
        std::swap(order[i], order[seed % static_cast<std::uint32_t>(i + 1)]);
    }
    return order;
}

// Row by row, every other row the way back (column by column when `byColumns`).
std::vector<int> snakeOrder(int columns, int rows, bool byColumns)
{
    std::vector<int> order;
    const int lines = byColumns ? columns : rows;
    const int along = byColumns ? rows : columns;
    for (int line = 0; line < lines; ++line) {
        for (int k = 0; k < along; ++k) {
            const int step = line % 2 ? along - 1 - k : k;
            order.push_back(byColumns ? step * columns + line : line * columns + step);
        }
    }
    return order;
}

// Round the border inward from the top-left corner, clockwise (mirrored: from the top-right,
// counter-clockwise).
std::vector<int> spiralOrder(int columns, int rows, bool mirrored)
{
    std::vector<int> order;
    int left = 0, top = 0, right = columns - 1, bottom = rows - 1;
    auto push = [&](int column, int row) {
        order.push_back(row * columns + (mirrored ? columns - 1 - column : column));
    };
    while (left <= right && top <= bottom) {
        for (int c = left; c <= right; ++c) {
            push(c, top);
        }
        for (int r = top + 1; r <= bottom; ++r) {
            push(right, r);
        }
        if (top < bottom) {
            for (int c = right - 1; c >= left; --c) {
                push(c, bottom);
            }
        }
        if (left < right) {
            for (int r = bottom - 1; r > top; --r) {
                push(left, r);
            }
        }
        ++left, ++top, --right, --bottom;
    }
    return order;
}

// Diagonal by diagonal from one corner.
std::vector<int> diagonalOrder(int columns, int rows, bool fromRight, bool fromBottom)
{
    std::vector<int> order(columns * rows);
    std::iota(order.begin(), order.end(), 0);
    auto rank = [&](int cell) {
        const int column = cell % columns;
        const int row = cell / columns;
        return (fromRight ? columns - 1 - column : column) + (fromBottom ? rows - 1 - row : row);
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return rank(a) < rank(b); });
    return order;
}

std::optional<QPainterPath> wipeClip(const QString &name, const QString &sub, double q,
                                     const QRectF &box)
{
    const double x = box.x(), y = box.y(), w = box.width(), h = box.height();
    const bool in = sub == QLatin1String("in");
    if (name == QLatin1String("wipe")) {
        if (sub == QLatin1String("from-right")) {
            return rectPath({x + w * (1 - q), y, w * q, h});
        }
        if (sub == QLatin1String("from-top")) {
            return rectPath({x, y, w, h * q});
        }
        if (sub == QLatin1String("from-bottom")) {
            return rectPath({x, y + h * (1 - q), w, h * q});
        }
        return rectPath({x, y, w * q, h}); // from-left, and any other
    }
    if (name == QLatin1String("box")) {
        return in ? outsideOf(box, centred(box, 1 - q)) : centred(box, q);
    }
    if (name == QLatin1String("circle") || name == QLatin1String("oval")) {
        const bool round = name == QLatin1String("circle");
        return in ? outsideOf(box, ellipse(box, 1 - q, round)) : ellipse(box, q, round);
    }
    if (name == QLatin1String("diamond")) {
        return in ? outsideOf(box, diamond(box, 1 - q)) : diamond(box, q);
    }
    if (name == QLatin1String("plus")) {
        if (in) {
            // Four boxes grow in from the corners.
            const double cw = w * q / 2, ch = h * q / 2;
            QPainterPath path;
            path.addRect(x, y, cw, ch);
            path.addRect(x + w - cw, y, cw, ch);
            path.addRect(x, y + h - ch, cw, ch);
            path.addRect(x + w - cw, y + h - ch, cw, ch);
            return path;
        }
        // A cross widens from the centre lines.
        QPainterPath path = rectPath({x + w * (1 - q) / 2, y, w * q, h});
        return path.united(rectPath({x, y + h * (1 - q) / 2, w, h * q}));
    }
    if (name == QLatin1String("venetian-blinds") || name == QLatin1String("blinds") ||
        name == QLatin1String("venetian")) {
        constexpr int slats = 6;
        QPainterPath path;
        for (int i = 0; i < slats; ++i) {
            if (sub == QLatin1String("vertical")) {
                path.addRect(x + i * w / slats, y, q * w / slats, h);
            } else {
                path.addRect(x, y + i * h / slats, w, q * h / slats);
            }
        }
        return path;
    }
    if (name == QLatin1String("checkerboard")) {
        // Cells of alternate lines start half a period apart; each period of two cells fills
        // from its leading edge.
        constexpr int count = 8;
        const bool down = sub.startsWith(QLatin1String("down"));
        const double along = down ? h : w;
        const double across = down ? w : h;
        const double cell = along / count;
        const double run = 2 * cell * q;
        QPainterPath path;
        for (int line = 0; line < count; ++line) {
            for (double start = (line % 2 ? -cell : 0); start < along; start += 2 * cell) {
                const double from = std::max(start, 0.0);
                const double to = std::min(start + run, along);
                if (to <= from) {
                    continue;
                }
                const double lineFrom = line * across / count;
                if (down) {
                    path.addRect(x + lineFrom, y + from, across / count, to - from);
                } else {
                    path.addRect(x + from, y + lineFrom, to - from, across / count);
                }
            }
        }
        return path;
    }
    if (name == QLatin1String("split")) {
        const bool vertical = sub.startsWith(QLatin1String("vertical"));
        const bool closing = sub.endsWith(QLatin1String("-in"));
        if (vertical) {
            if (closing) {
                QPainterPath path = rectPath({x, y, w * q / 2, h});
                path.addRect(x + w - w * q / 2, y, w * q / 2, h);
                return path;
            }
            return rectPath({x + w * (1 - q) / 2, y, w * q, h});
        }
        if (closing) {
            QPainterPath path = rectPath({x, y, w, h * q / 2});
            path.addRect(x, y + h - h * q / 2, w, h * q / 2);
            return path;
        }
        return rectPath({x, y + h * (1 - q) / 2, w, h * q});
    }
    if (name == QLatin1String("wedge")) {
        // Opens both ways from twelve o'clock.
        return sector(box, -180 * q, 360 * q);
    }
    if (name == QLatin1String("wheel")) {
        bool ok = false;
        const int spokes = std::clamp(sub.toInt(&ok), 1, 12);
        QPainterPath path;
        for (int k = 0; k < (ok ? spokes : 1); ++k) {
            const double each = 360.0 / (ok ? spokes : 1);
            path.addPath(sector(box, k * each, each * q));
        }
        return path;
    }
    if (name == QLatin1String("clock-wipe")) {
        return sector(box, 0, sub == QLatin1String("counter-clockwise") ? -360 * q : 360 * q);
    }
    if (name == QLatin1String("random-bars")) {
        constexpr int bars = 48;
        const bool vertical = sub == QLatin1String("vertical");
        return vertical ? cells(box, bars, 1, scattered(bars), q)
                        : cells(box, 1, bars, scattered(bars), q);
    }
    constexpr int grid = 8;
    if (name == QLatin1String("snake-wipe")) {
        std::vector<int> order = snakeOrder(grid, grid, sub.endsWith(QLatin1String("vertical")));
        if (sub.startsWith(QLatin1String("from-bottom-right"))) {
            std::reverse(order.begin(), order.end());
        }
        return cells(box, grid, grid, order, q);
    }
    if (name == QLatin1String("spiral-wipe")) {
        std::vector<int> order =
            spiralOrder(grid, grid, sub.endsWith(QLatin1String("counter-clockwise")));
        if (sub.startsWith(QLatin1String("from-center"))) {
            std::reverse(order.begin(), order.end());
        }
        return cells(box, grid, grid, order, q);
    }
    if (name == QLatin1String("diagonal-squares")) {
        return cells(box, grid, grid,
                     diagonalOrder(grid, grid, sub.startsWith(QLatin1String("right")),
                                   sub.endsWith(QLatin1String("top"))),
                     q);
    }
    return std::nullopt;
}

// ---- entrances: how the object arrives at progress q (exits play these backwards) ----

// The page-fraction centre an object flies in from along the sub-type's edge or corner.
QPointF offPage(const Frame &f, const QString &sub)
{
    double x = f.cx(), y = f.cy();
    if (sub.contains(QLatin1String("left"))) {
        x = -f.w() / 2;
    } else if (sub.contains(QLatin1String("right"))) {
        x = 1 + f.w() / 2;
    }
    if (sub.contains(QLatin1String("top"))) {
        y = -f.h() / 2;
    } else if (sub.contains(QLatin1String("bottom"))) {
        y = 1 + f.h() / 2;
    }
    if (x == f.cx() && y == f.cy()) {
        y = 1 + f.h() / 2; // no edge named: from the bottom, the preset's first sub-type
    }
    return {x, y};
}

// A trapezoid profile inside one stage of a preset that has several.
double eased(double q, double accelerate, double decelerate)
{
    return easeTrapezoid(q, accelerate, decelerate);
}

Look entranceLook(const QString &name, const QString &sub, double q, const Frame &f)
{
    Look look;
    const double w = f.w(), h = f.h();
    auto shiftBy = [&](double fx, double fy) { look.shift = f.pixels(fx, fy); };
    auto centreAt = [&](double fx, double fy) { shiftBy(fx - f.cx(), fy - f.cy()); };
    auto scale = [&](double s) { look.scaleX = look.scaleY = s; };
    auto fade = [&](double share) { look.opacity = std::clamp(share, 0.0, 1.0); };

    if (name == QLatin1String("appear") || name == QLatin1String("flash-once") ||
        name == QLatin1String("colored-lettering")) {
        return look;
    }
    if (auto clip = wipeClip(name, sub, q, f.box)) {
        if (q < 1) {
            look.clipped = true;
            look.clip = *clip;
        }
        return look;
    }
    if (name == QLatin1String("fly-in") || name == QLatin1String("fly-in-slow") ||
        name == QLatin1String("crawl-in")) {
        const QPointF from = offPage(f, sub);
        centreAt(lerp(from.x(), f.cx(), q), lerp(from.y(), f.cy(), q));
        return look;
    }
    if (name == QLatin1String("peek-in")) {
        // Slides out from behind its own edge: only its own box shows.
        double fx = 0, fy = 0;
        if (sub == QLatin1String("from-left")) {
            fx = -w;
        } else if (sub == QLatin1String("from-right")) {
            fx = w;
        } else if (sub == QLatin1String("from-top")) {
            fy = -h;
        } else {
            fy = h;
        }
        shiftBy(fx * (1 - q), fy * (1 - q));
        look.clipped = q < 1;
        look.clip = rectPath(f.box);
        return look;
    }
    if (name == QLatin1String("ascend") || name == QLatin1String("descend")) {
        fade(q);
        shiftBy(0, (name == QLatin1String("ascend") ? 0.1 : -0.1) * (1 - q));
        return look;
    }
    if (name == QLatin1String("rise-up")) {
        fade(q);
        // Overshoots a little, then settles.
        const double dy = q < 0.9 ? lerp(1, -0.03, eased(within(q, 0, 0.9), 0, 1))
                                  : lerp(-0.03, 0, eased(within(q, 0.9, 1), 1, 0));
        shiftBy(0, dy);
        return look;
    }
    if (name == QLatin1String("float") || name == QLatin1String("float-in")) {
        fade(eased(within(q, 0, 0.8), 0, 1));
        const double a = eased(within(q, 0, 0.8), 0, 1);
        const double b = eased(within(q, 0.8, 1), 1, 0);
        look.degrees = lerp(-90, 0, a);
        shiftBy(q < 0.8 ? lerp(0.4, -0.05, a) : lerp(-0.05, 0, b),
                q < 0.8 ? lerp(-0.4, 0.1, a) : lerp(0.1, 0, b));
        return look;
    }
    if (name == QLatin1String("compress")) {
        fade(q);
        look.scaleX = w > 0 ? lerp((w + 0.3) / w, 1, q) : 1;
        return look;
    }
    if (name == QLatin1String("expand")) {
        fade(q);
        look.scaleX = lerp(0.7, 1, q);
        return look;
    }
    if (name == QLatin1String("zoom")) {
        if (sub == QLatin1String("in-slightly")) {
            scale(lerp(2.0 / 3, 1, q));
        } else if (sub == QLatin1String("out")) {
            scale(lerp(4, 1, q));
        } else if (sub == QLatin1String("out-slightly")) {
            scale(lerp(4.0 / 3, 1, q));
        } else if (sub == QLatin1String("in-from-screen-center")) {
            scale(q);
            centreAt(lerp(0.5, f.cx(), q), lerp(0.5, f.cy(), q));
        } else if (sub == QLatin1String("out-from-screen-center")) {
            // Starts large below the page's middle, the larger the smaller the object.
            const double s0 = (6 * std::clamp(w * h, 0.3, 1.0) - 7.4) / -0.7;
            scale(lerp(s0, 1, q));
            centreAt(lerp(0.5, f.cx(), q), lerp(1 + s0 * h / 2, f.cy(), q));
        } else {
            scale(q); // in
        }
        return look;
    }
    if (name == QLatin1String("fade-in-and-zoom")) {
        fade(q);
        scale(q);
        return look;
    }
    if (name == QLatin1String("fade-in-and-swivel")) {
        fade(q);
        look.scaleX = std::sin(2.5 * pi * q);
        return look;
    }
    if (name == QLatin1String("stretchy") || name == QLatin1String("stretch")) {
        const bool sideways =
            sub.contains(QLatin1String("left")) || sub.contains(QLatin1String("right"));
        const bool upright =
            sub.contains(QLatin1String("top")) || sub.contains(QLatin1String("bottom"));
        if (sub == QLatin1String("downward") || upright) {
            look.scaleY = q;
        }
        if (sideways || !(sub == QLatin1String("downward") || upright)) {
            look.scaleX = q; // across, and any sub-type it does not know
        }
        // From an edge: that edge stays where it is.
        double fx = 0, fy = 0;
        if (sub.contains(QLatin1String("left"))) {
            fx = -w / 2;
        } else if (sub.contains(QLatin1String("right"))) {
            fx = w / 2;
        }
        if (sub.contains(QLatin1String("top"))) {
            fy = -h / 2;
        } else if (sub.contains(QLatin1String("bottom"))) {
            fy = h / 2;
        }
        shiftBy(fx * (1 - q), fy * (1 - q));
        return look;
    }
    if (name == QLatin1String("spin-in")) {
        fade(q);
        scale(q);
        look.degrees = lerp(360, 0, q);
        return look;
    }
    if (name == QLatin1String("turn-and-grow") || name == QLatin1String("grow-and-turn")) {
        fade(q);
        scale(q);
        look.degrees = lerp(90, 0, q);
        return look;
    }
    if (name == QLatin1String("pinwheel")) {
        fade(q);
        scale(q);
        look.degrees = lerp(720, 0, q);
        return look;
    }
    if (name == QLatin1String("swivel")) {
        // Turns about its axis two and a half times, ending face on.
        const double s = std::sin(2.5 * pi * q);
        if (sub == QLatin1String("horizontal")) {
            look.scaleY = s;
        } else {
            look.scaleX = s;
        }
        return look;
    }
    if (name == QLatin1String("boomerang")) {
        fade(eased(q, 0, 0.5));
        const double a = eased(within(q, 0, 0.5), 0, 0.5);
        const double b = eased(within(q, 0.5, 1), 0.5, 0);
        look.degrees = lerp(-90, 0, a);
        look.scaleX = q < 0.5 ? lerp(1, 0.05, a) : lerp(0.05, 1, b);
        shiftBy(lerp(0.4, 0, a), q < 0.5 ? lerp(-0.2, 0.1, a) : lerp(0.1, 0, b));
        return look;
    }
    if (name == QLatin1String("glide")) {
        fade(q);
        look.scaleX = lerp(0.05, 1, q);
        shiftBy(lerp(-0.2, 0, q), 0);
        return look;
    }
    if (name == QLatin1String("ease-in") || name == QLatin1String("unfold")) {
        fade(q);
        shiftBy(lerp(name == QLatin1String("ease-in") ? -0.2 : -0.1, 0, q), 0);
        return look;
    }
    if (name == QLatin1String("fold")) {
        fade(q);
        look.scaleX = lerp(2.5, 1, q);
        look.scaleY = lerp(0.01, 1, q);
        return look;
    }
    if (name == QLatin1String("magnify") || name == QLatin1String("whip")) {
        fade(q);
        scale(lerp(0.1, 1, q));
        return look;
    }
    if (name == QLatin1String("thread")) {
        // Threads in flat and wide from the left, then opens to its height.
        const double a = within(q, 0, 0.5), b = within(q, 0.5, 1);
        look.scaleY = lerp(0.05, 1, b);
        look.scaleX = w > 0 ? lerp((w + 0.3) / w, 1, b) : 1;
        shiftBy(lerp(-0.3, 0, a), 0);
        return look;
    }
    if (name == QLatin1String("spiral-in")) {
        // Spirals in from the page's bottom-left corner, growing.
        scale(q);
        const double angle = -2 * pi * (1 - q);
        const double vx = -f.cx(), vy = 1 - f.cy();
        shiftBy((vx * std::cos(angle) - vy * std::sin(angle)) * (1 - q),
                (vx * std::sin(angle) + vy * std::cos(angle)) * (1 - q));
        return look;
    }
    if (name == QLatin1String("curve-up")) {
        fade(q);
        scale(lerp(2.5, 1, eased(q, 0, 0.5)));
        static const QString curve = QStringLiteral(
            "M -0.46736 0.92887 C -0.37517 0.88508 -0.02552 0.75279 0.0908 0.66613 "
            "C 0.20747 0.57948 0.21649 0.50394 0.23177 0.40825 "
            "C 0.24705 0.31256 0.22118 0.15964 0.18264 0.09152 C 0.1441 0.02341 0.03802 0 0 0");
        const QPainterPath path = motionPath(curve, f.page);
        look.shift = path.pointAtPercent(path.percentAtLength(eased(q, 0, 0.5) * path.length()));
        return look;
    }
    if (name == QLatin1String("movie-credits")) {
        shiftBy(0, lerp(1, -1, q));
        return look;
    }
    if (name == QLatin1String("falling-in") || name == QLatin1String("swish")) {
        look.degrees = lerp(-45, 0, q);
        shiftBy(0, lerp(-1, 0, eased(q, 0.5, 0)));
        return look;
    }
    if (name == QLatin1String("bounce")) {
        // Comes in from the left, dropping in three shrinking hops.
        shiftBy(lerp(-0.25, 0, q), -std::abs(std::sin(3 * pi * q)) * (1 - q) / 3);
        return look;
    }
    if (name == QLatin1String("sling") || name == QLatin1String("breaks")) {
        fade(name == QLatin1String("sling") ? q : 1);
        const QPointF from = offPage(f, QStringLiteral("from-left"));
        centreAt(lerp(from.x(), f.cx(), q), f.cy());
        return look;
    }
    if (name == QLatin1String("center-revolve")) {
        fade(within(q, 0, 0.1));
        shiftBy(0, lerp(0.31, 0, eased(within(q, 0.4, 1), 0, 0.5)));
        return look;
    }
    if (name == QLatin1String("flip")) {
        look.scaleX = std::cos(2 * pi * q);
        look.degrees = lerp(-360, 0, q);
        shiftBy(0, lerp(-h / 2 - f.cy(), 0, q));
        return look;
    }
    // fade-in, dissolve-in (a fade stands in for the scattered pixels), random, and any preset
    // this list does not know (or none at all): a deck's effect always plays as something.
    fade(q);
    return look;
}

// What an exit plays: the entrance it mirrors, and that entrance's sub-type.
std::pair<QString, QString> mirroredEntrance(const QString &name, const QString &sub)
{
    static const std::array<std::pair<const char *, const char *>, 16> names{{
        {"disappear", "appear"},
        {"dissolve", "dissolve-in"},
        {"fade-out", "fade-in"},
        {"fade-out-and-zoom", "fade-in-and-zoom"},
        {"fade-out-and-swivel", "fade-in-and-swivel"},
        {"fly-out", "fly-in"},
        {"fly-out-slow", "fly-in-slow"},
        {"crawl-out", "crawl-in"},
        {"peek-out", "peek-in"},
        {"ascend", "descend"},
        {"descend", "ascend"},
        {"sink-down", "rise-up"},
        {"contract", "expand"},
        {"collapse", "stretchy"},
        {"spin-out", "spin-in"},
        {"ease-out", "ease-in"},
    }};
    for (const auto &[exitName, entranceName] : names) {
        if (name == QLatin1String(exitName)) {
            return {QString::fromLatin1(entranceName), sub};
        }
    }
    if (name == QLatin1String("stretchy")) {
        return {QStringLiteral("compress"), sub}; // widens as it fades
    }
    if (name == QLatin1String("curve-down")) {
        return {QStringLiteral("curve-up"), sub};
    }
    if (name == QLatin1String("spiral-out")) {
        return {QStringLiteral("spiral-in"), sub};
    }
    if (name == QLatin1String("zoom")) {
        // An exit's zoom "out" shrinks away: the entrance "in" backwards, and so on.
        static const std::array<std::pair<const char *, const char *>, 6> zooms{{
            {"out", "in"},
            {"in", "out"},
            {"out-slightly", "in-slightly"},
            {"in-slightly", "out-slightly"},
            {"544", "in-from-screen-center"},
            {"20", "out-from-screen-center"},
        }};
        for (const auto &[exitSub, entranceSub] : zooms) {
            if (sub == QLatin1String(exitSub)) {
                return {name, QString::fromLatin1(entranceSub)};
            }
        }
        return {name, QStringLiteral("in")};
    }
    return {name, sub};
}

bool colourChange(const QString &name)
{
    static const std::array<const char *, 20> names{{
        "fill-color",
        "font-color",
        "line-color",
        "color-blend",
        "complementary-color",
        "complementary-color-2",
        "contrasting-color",
        "darken",
        "desaturate",
        "lighten",
        "font",
        "font-size",
        "font-style",
        "bold-flash",
        "bold-reveal",
        "style-emphasis",
        "color-over-by-word",
        "color-over-by-letter",
        "reveal-underline",
        "grow-with-color",
    }};
    return name == QLatin1String("flicker") ||
           std::any_of(names.begin(), names.end(),
                       [&](const char *known) { return name == QLatin1String(known); });
}

Look emphasisLook(const SlideEffect &effect, const QString &name, double p, const Frame &f)
{
    Look look;
    const bool hasAfter = effect.spriteAfterPage >= 0;
    auto amountOr = [&](double fallback) {
        return std::isfinite(effect.amount) && effect.amount != 0 ? effect.amount : fallback;
    };
    if (name == QLatin1String("spin")) {
        look.degrees = amountOr(360) * p;
    } else if (name == QLatin1String("grow-and-shrink")) {
        look.scaleX = look.scaleY = lerp(1, amountOr(1.5), p);
    } else if (name == QLatin1String("transparency")) {
        look.opacity = std::clamp(lerp(1, amountOr(0.25), p), 0.0, 1.0);
    } else if (colourChange(name)) {
        look.afterMix = p;
    } else if (name == QLatin1String("teeter")) {
        look.degrees =
            keyed({{0, 0}, {0.1, 2}, {0.2, 2}, {0.4, -2}, {0.6, 2}, {0.8, -2}, {1, 0}}, p);
        look.afterMix = hasAfter ? within(p, 0, 0.1) : 0;
    } else if (name == QLatin1String("blink")) {
        look.hidden = p < 0.5;
    } else if (name == QLatin1String("flash-bulb")) {
        look.scaleX = look.scaleY = lerp(1, 1.05, there(p));
        look.opacity = 1 - 0.5 * there(p);
    } else if (name == QLatin1String("vertical-highlight")) {
        look.scaleY = lerp(1, 1.4, there(p));
        look.afterMix = there(p);
    } else if (name == QLatin1String("shimmer")) {
        look.scaleX = lerp(1, 0.8, there(p));
        look.degrees = -8 * there(p);
    } else if (name == QLatin1String("wave")) {
        look.shift = f.pixels(0, -0.07213 * there(p));
        look.degrees = keyed({{0, 0}, {0.25, 25}, {0.5, 0}, {0.75, -25}, {1, 0}}, p);
    } else if (name == QLatin1String("blast")) {
        look.scaleX = keyed({{0, 1}, {0.1, 1}, {0.2, 1.2}, {0.7, 1.2}, {1, 1}}, p);
        look.scaleY = keyed({{0, 1}, {0.1, 0.05}, {0.2, 1.5}, {0.7, 1.5}, {1, 1}}, p);
        look.afterMix = hasAfter ? within(p, 0.05, 1) : 0;
    } else if (hasAfter) {
        // An emphasis we cannot move still shows how it leaves the object.
        look.afterMix = p;
    }
    return look;
}

SpritePose poseOf(const Look &look, const QRectF &box)
{
    SpritePose pose;
    pose.visible = !look.hidden;
    pose.opacity = std::clamp(finiteOr(look.opacity, 1), 0.0, 1.0);
    pose.afterMix = std::clamp(finiteOr(look.afterMix, 0), 0.0, 1.0);
    pose.clipped = look.clipped;
    pose.clip = look.clip;
    const QPointF c = box.center();
    QTransform t;
    t.translate(c.x() + look.shift.x(), c.y() + look.shift.y());
    t.rotate(look.degrees);
    t.scale(look.scaleX, look.scaleY);
    t.translate(-c.x(), -c.y());
    pose.transform = t;
    return pose;
}

QRectF boxOf(const SlideEffect &effect, const QSizeF &page)
{
    const QRectF r = effect.rect;
    return {r.x() * page.width(), r.y() * page.height(), r.width() * page.width(),
            r.height() * page.height()};
}

QPointF pointAlong(const QPainterPath &path, double share)
{
    if (path.isEmpty()) {
        return {};
    }
    const double length = path.length();
    const double percent =
        length > 0 ? path.percentAtLength(std::clamp(share, 0.0, 1.0) * length) : 0.0;
    return path.pointAtPercent(std::clamp(percent, 0.0, 1.0));
}

// ---- SVG path data ----

class PathReader
{
public:
    PathReader(const QString &text, const QSizeF &page) : m_text(text), m_page(page) {}

    QPainterPath read()
    {
        QChar command;
        bool any = false;
        while (skipSpace()) {
            const QChar c = m_text[m_at];
            if (c.isLetter() && c != QLatin1Char('e') && c != QLatin1Char('E')) {
                command = c;
                ++m_at;
            } else if (command.isNull()) {
                return {}; // numbers before any command
            } else if (command == QLatin1Char('M')) {
                command = QLatin1Char('L'); // pairs after a move are lines
            } else if (command == QLatin1Char('m')) {
                command = QLatin1Char('l');
            } else if (command == QLatin1Char('Z') || command == QLatin1Char('z')) {
                return {};
            }
            if (!any && command.toUpper() != QLatin1Char('M')) {
                return {}; // path data starts with a move
            }
            any = true;
            if (!step(command)) {
                return {};
            }
        }
        return m_path;
    }

private:
    bool skipSpace()
    {
        while (m_at < m_text.size() &&
               (m_text[m_at].isSpace() || m_text[m_at] == QLatin1Char(','))) {
            ++m_at;
        }
        return m_at < m_text.size();
    }

    bool number(double &out)
    {
        if (!skipSpace()) {
            return false;
        }
        static const QRegularExpression pattern(
            QStringLiteral(R"([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)"));
        const auto match = pattern.match(m_text, m_at, QRegularExpression::NormalMatch,
                                         QRegularExpression::AnchorAtOffsetMatchOption);
        if (!match.hasMatch()) {
            return false;
        }
        bool ok = false;
        out = match.capturedView(0).toDouble(&ok);
        m_at += match.capturedLength(0);
        return ok && std::isfinite(out);
    }

    // A point in page pixels: absolute, or relative to the current point.
    bool point(bool relative, QPointF &out)
    {
        double x = 0, y = 0;
        if (!number(x) || !number(y)) {
            return false;
        }
        out = QPointF(x * m_page.width(), y * m_page.height());
        if (relative) {
            out += m_current;
        }
        return std::isfinite(out.x()) && std::isfinite(out.y());
    }

    bool step(QChar command)
    {
        const bool relative = command.isLower();
        switch (command.toUpper().unicode()) {
        case 'M': {
            QPointF p;
            if (!point(relative, p)) {
                return false;
            }
            m_path.moveTo(p);
            m_current = m_start = m_control = p;
            return true;
        }
        case 'L': {
            QPointF p;
            if (!point(relative, p)) {
                return false;
            }
            m_path.lineTo(p);
            m_current = m_control = p;
            return true;
        }
        case 'H':
        case 'V': {
            double v = 0;
            if (!number(v)) {
                return false;
            }
            QPointF p = m_current;
            if (command.toUpper() == QLatin1Char('H')) {
                p.setX(v * m_page.width() + (relative ? m_current.x() : 0));
            } else {
                p.setY(v * m_page.height() + (relative ? m_current.y() : 0));
            }
            if (!std::isfinite(p.x()) || !std::isfinite(p.y())) {
                return false;
            }
            m_path.lineTo(p);
            m_current = m_control = p;
            return true;
        }
        case 'C':
        case 'S': {
            QPointF c1, c2, p;
            if (command.toUpper() == QLatin1Char('C')) {
                if (!point(relative, c1)) {
                    return false;
                }
            } else {
                c1 = 2 * m_current - m_control; // the previous curve's control, reflected
            }
            if (!point(relative, c2) || !point(relative, p)) {
                return false;
            }
            m_path.cubicTo(c1, c2, p);
            m_control = c2;
            m_current = p;
            return true;
        }
        case 'Q':
        case 'T': {
            QPointF c, p;
            if (command.toUpper() == QLatin1Char('Q')) {
                if (!point(relative, c)) {
                    return false;
                }
            } else {
                c = 2 * m_current - m_control;
            }
            if (!point(relative, p)) {
                return false;
            }
            m_path.quadTo(c, p);
            m_control = c;
            m_current = p;
            return true;
        }
        case 'Z':
            m_path.closeSubpath();
            m_current = m_control = m_start;
            return true;
        default:
            return false;
        }
    }

    const QString &m_text;
    QSizeF m_page;
    qsizetype m_at = 0;
    QPainterPath m_path;
    QPointF m_current;
    QPointF m_start;
    QPointF m_control;
};

} // namespace

double easeTrapezoid(double x, double accelerate, double decelerate)
{
    x = std::clamp(finiteOr(x, 0), 0.0, 1.0);
    const double a = std::clamp(finiteOr(accelerate, 0), 0.0, 1.0);
    const double d = std::clamp(finiteOr(decelerate, 0), 0.0, 1.0);
    // Fractions that add up to more than the whole are ignored, as SMIL has it.
    if ((a <= 0 && d <= 0) || a + d > 1) {
        return x;
    }
    // The top speed makes the area under the profile, the distance, exactly one.
    const double top = 1 / (1 - a / 2 - d / 2);
    double distance = 0;
    if (x < a) {
        distance = x * x / (2 * a);
    } else if (x <= 1 - d) {
        distance = a / 2 + (x - a);
    } else {
        const double slowing = x - (1 - d);
        distance = a / 2 + (1 - a - d) + slowing - slowing * slowing / (2 * d);
    }
    return std::clamp(distance * top, 0.0, 1.0);
}

double effectEndSeconds(const SlideEffect &effect)
{
    const double delay = std::max(finiteOr(effect.delaySeconds, 0), 0.0);
    const double duration = std::max(finiteOr(effect.durationSeconds, 0), 0.0);
    return delay + duration * waysOf(effect);
}

double effectProgress(const SlideEffect &effect, double t)
{
    const double delay = std::max(finiteOr(effect.delaySeconds, 0), 0.0);
    if (!(t > delay)) {
        return 0; // also for a time that is not a number
    }
    const double duration = std::max(finiteOr(effect.durationSeconds, 0), 0.0);
    const double ways = waysOf(effect);
    // Elapsed time in one-way runs.
    const double runs = duration > 0 ? std::min((t - delay) / duration, ways) : ways;
    double whole = 0;
    double share = std::modf(runs, &whole);
    if (effect.autoReverse) {
        if (static_cast<std::int64_t>(whole) % 2 != 0) {
            share = 1 - share;
        }
    } else if (share == 0 && whole > 0) {
        share = 1; // a run just completed, not the next one begun
    }
    return easeTrapezoid(share, effect.accelerate, effect.decelerate);
}

SpritePose effectPose(const SlideEffect &effect, double t, const QSizeF &pageSize)
{
    const QRectF box = boxOf(effect, pageSize);
    if (pageSize.isEmpty() || !std::isfinite(t)) {
        SpritePose pose;
        pose.visible = effect.family != EffectFamily::Entrance || t >= effect.delaySeconds;
        return pose;
    }
    const double delay = std::max(finiteOr(effect.delaySeconds, 0), 0.0);
    const double p = effectProgress(effect, t);
    const Frame frame{box, pageSize};
    const QString name = bareName(effect.preset);
    switch (effect.family) {
    case EffectFamily::Entrance: {
        Look look = entranceLook(name, effect.subtype, p, frame);
        look.hidden = look.hidden || t < delay;
        if (name == QLatin1String("flash-once")) {
            look.hidden = look.hidden || t >= effectEndSeconds(effect);
        }
        return poseOf(look, box);
    }
    case EffectFamily::Exit: {
        const auto [entrance, sub] = mirroredEntrance(name, effect.subtype);
        Look look = entranceLook(entrance, sub, 1 - p, frame);
        // A cut takes the object away as the exit starts; anything else, as it ends.
        const double gone = entrance == QLatin1String("appear") ? delay : effectEndSeconds(effect);
        look.hidden = look.hidden || t >= gone;
        return poseOf(look, box);
    }
    case EffectFamily::Emphasis:
        if (!(t > delay)) {
            return poseOf(Look{}, box);
        }
        return poseOf(emphasisLook(effect, name, p, frame), box);
    case EffectFamily::MotionPath: {
        Look look;
        look.shift = pointAlong(motionPath(effect.path, pageSize), p);
        return poseOf(look, box);
    }
    }
    return poseOf(Look{}, box);
}

QPainterPath motionPath(const QString &svg, const QSizeF &pageSize)
{
    if (!pageSize.isValid() || !std::isfinite(pageSize.width()) ||
        !std::isfinite(pageSize.height())) {
        return {};
    }
    return PathReader(svg, pageSize).read();
}

QPointF motionEnd(const SlideEffect &effect, const QSizeF &pageSize)
{
    if (effect.family != EffectFamily::MotionPath) {
        return {};
    }
    // Where the last run leaves it: back at the start after an auto-reversed repeat.
    return pointAlong(motionPath(effect.path, pageSize),
                      effectProgress(effect, std::numeric_limits<double>::max()));
}

} // namespace pa::host

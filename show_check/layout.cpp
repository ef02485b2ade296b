#include "layout.h"

#include "platform/vb_convert.h"
#include "presentation_automation/automation_error.h"
#include "presentation_automation/placement/placement.h"
#include "show_controller/default_placement.h"
#include "show_controller/screen_numbers.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace showcheck {

namespace {

int area(const QRegion &region)
{
    int total = 0;
    for (const QRect &r : region) {
        total += r.width() * r.height();
    }
    return total;
}

int area(const QRect &rect)
{
    return rect.isEmpty() ? 0 : rect.width() * rect.height();
}

QString rectText(const QRect &r)
{
    return QStringLiteral("%1 x %2 px at %3, %4")
        .arg(r.width())
        .arg(r.height())
        .arg(r.x())
        .arg(r.y());
}

QString displayName(const Layout &layout, int index)
{
    const Display &d = layout.displays.at(static_cast<size_t>(index));
    return QStringLiteral("display %1%2%3")
        .arg(index + 1)
        .arg(d.name.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(d.name))
        .arg(d.primary ? QStringLiteral(" (primary)") : QString());
}

QString percentText(int part, int whole)
{
    const long percent = std::lround(100.0 * part / std::max(1, whole));
    return percent < 1 ? QStringLiteral("under 1%") : QStringLiteral("%1%").arg(percent);
}

const QColor windowColours[3] = {QColor(230, 90, 20), QColor(30, 140, 60), QColor(40, 90, 220)};

} // namespace

std::array<Placement, 3> startPlacement()
{
    std::array<Placement, 3> p;
    for (size_t s = 0; s < 3; ++s) {
        p[s] = {corvane::defaultPlacement[s][0], corvane::defaultPlacement[s][1],
                corvane::defaultPlacement[s][2]};
    }
    return p;
}

std::array<Placement, 3> placementFromFile(const QString &content, std::vector<Finding> &findings)
{
    const QStringList texts = screennumbers::fields(content);
    std::array<Placement, 3> placement = startPlacement();
    static const char *const names[3] = {"Left", "Top", "Width"};
    for (int s = 0; s < 3; ++s) {
        int *numbers[3] = {&placement[s].left, &placement[s].top, &placement[s].width};
        for (int n = 0; n < 3; ++n) {
            const QString &text = texts.at(s * 3 + n);
            try {
                *numbers[n] = platform::toInt16(text);
            } catch (const pa::AutomationError &error) {
                findings.push_back(
                    {0, s + 1, Severity::Problem, QStringLiteral("screen-number"),
                     QStringLiteral("Screen %1 %2 in the screen numbers file, \"%3\", cannot be "
                                    "applied (%4): Corvane keeps %5")
                         .arg(s + 1)
                         .arg(QLatin1String(names[n]), text,
                              QString::fromStdString(error.description()))
                         .arg(*numbers[n])});
            }
        }
        if (placement[s].width < 1) {
            findings.push_back({0, s + 1, Severity::Problem, QStringLiteral("screen-number"),
                                QStringLiteral("Screen %1 Width %2 is refused: the window keeps "
                                               "the width it had")
                                    .arg(s + 1)
                                    .arg(placement[s].width)});
        }
    }
    return placement;
}

Layout layOut(const std::array<Placement, 3> &placement, std::vector<Display> displays,
              double aspect)
{
    Layout layout;
    if (displays.empty()) {
        layout.findings.push_back({0, 0, Severity::Problem, QStringLiteral("no-display"),
                                   QStringLiteral("no display was found")});
    }
    auto primary =
        std::find_if(displays.begin(), displays.end(), [](const Display &d) { return d.primary; });
    if (primary == displays.end() && !displays.empty()) {
        primary = displays.begin(); // the system names none: the first one stands in
        primary->primary = true;
    }
    const QPoint origin = displays.empty() ? QPoint() : primary->geometry.topLeft();
    for (Display &d : displays) {
        d.geometry.translate(-origin);
    }
    layout.displays = displays;

    // The host's own arithmetic, so that what is said here is what the host will do.
    pa::DisplayLayout hostLayout;
    QRegion desktop;
    for (const Display &d : displays) {
        hostLayout.displays.push_back(d.geometry);
        desktop += d.geometry;
    }
    if (!displays.empty()) {
        hostLayout.primary = static_cast<size_t>(primary - displays.begin());
    }
    const QSizeF slideShape(aspect, 1.0);
    for (size_t s = 0; s < 3; ++s) {
        Landing &w = layout.windows[s];
        w.placement = placement[s];
        const pa::WindowLanding landing = pa::windowLanding(
            hostLayout,
            {double(placement[s].left), double(placement[s].top), double(placement[s].width)},
            slideShape);
        const QRect rect = landing.rect;
        w.display = landing.display ? static_cast<int>(*landing.display) : -1;
        w.rect = rect;
        w.offPixels = area(QRegion(rect).subtracted(desktop));
        const int screen = static_cast<int>(s) + 1;
        if (displays.empty()) {
            continue;
        }
        if (w.display < 0) {
            layout.findings.push_back(
                {0, screen, Severity::Problem, QStringLiteral("window-off"),
                 QStringLiteral("Screen %1's window (%2) lies on no display: its show cannot be "
                                "seen")
                     .arg(screen)
                     .arg(rectText(rect))});
        } else if (w.offPixels > 0) {
            layout.findings.push_back(
                {0, screen, Severity::Problem, QStringLiteral("window-part-off"),
                 QStringLiteral("part of Screen %1's window (%2) falls off every display: "
                                "%3 of it cannot be seen")
                     .arg(screen)
                     .arg(rectText(rect))
                     .arg(percentText(w.offPixels, area(rect)))});
        }
    }
    for (size_t a = 0; a < 3; ++a) {
        for (size_t b = a + 1; b < 3; ++b) {
            const QRect shared = layout.windows[a].rect.intersected(layout.windows[b].rect);
            if (area(shared) > 0) {
                layout.findings.push_back(
                    {0, static_cast<int>(a) + 1, Severity::Problem, QStringLiteral("overlap"),
                     QStringLiteral("the windows of Screen %1 and Screen %2 overlap (%3)")
                         .arg(a + 1)
                         .arg(b + 1)
                         .arg(rectText(shared))});
            }
        }
    }
    return layout;
}

QStringList layoutText(const Layout &layout)
{
    QStringList lines;
    for (int d = 0; d < static_cast<int>(layout.displays.size()); ++d) {
        lines << QStringLiteral("%1: %2")
                     .arg(displayName(layout, d))
                     .arg(rectText(layout.displays.at(static_cast<size_t>(d)).geometry));
    }
    for (int s = 0; s < 3; ++s) {
        const Landing &w = layout.windows.at(static_cast<size_t>(s));
        lines << QStringLiteral("Screen %1: left %2 pt, top %3 pt, width %4 pt -> %5, %6")
                     .arg(s + 1)
                     .arg(w.placement.left)
                     .arg(w.placement.top)
                     .arg(w.placement.width)
                     .arg(rectText(w.rect))
                     .arg(w.display < 0 ? QStringLiteral("on no display")
                                        : QStringLiteral("on ") + displayName(layout, w.display));
    }
    return lines;
}

QImage drawLayout(const Layout &layout, int maxWidth)
{
    QRect bounds;
    for (const Display &d : layout.displays) {
        bounds |= d.geometry;
    }
    for (const Landing &w : layout.windows) {
        bounds |= w.rect;
    }
    const int margin = 20;
    const double scale = std::min(1.0, (maxWidth - 2.0 * margin) / std::max(1, bounds.width()));
    const QSize size(static_cast<int>(bounds.width() * scale) + 2 * margin,
                     static_cast<int>(bounds.height() * scale) + 2 * margin);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto map = [&](const QRect &r) {
        return QRectF(margin + (r.x() - bounds.x()) * scale, margin + (r.y() - bounds.y()) * scale,
                      r.width() * scale, r.height() * scale);
    };
    QFont font = painter.font();
    font.setPixelSize(std::max(10, static_cast<int>(14 * std::min(1.0, scale * 2))));
    painter.setFont(font);
    for (int d = 0; d < static_cast<int>(layout.displays.size()); ++d) {
        const Display &display = layout.displays.at(static_cast<size_t>(d));
        const QRectF r = map(display.geometry);
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(QColor(225, 225, 225));
        painter.drawRect(r);
        painter.setPen(Qt::darkGray);
        painter.drawText(r.adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignBottom,
                         QStringLiteral("Display %1%2\n%3 x %4")
                             .arg(d + 1)
                             .arg(display.primary ? QStringLiteral(" (primary)") : QString())
                             .arg(display.geometry.width())
                             .arg(display.geometry.height()));
    }
    font.setBold(true);
    painter.setFont(font);
    for (int s = 0; s < 3; ++s) {
        const Landing &w = layout.windows.at(static_cast<size_t>(s));
        QColor fill = windowColours[s];
        fill.setAlpha(110);
        const QRectF r = map(w.rect);
        painter.setPen(QPen(w.offPixels > 0 ? QColor(Qt::red) : windowColours[s], 3,
                            w.offPixels > 0 ? Qt::DashLine : Qt::SolidLine));
        painter.setBrush(fill);
        painter.drawRect(r);
        painter.setPen(Qt::black);
        painter.drawText(r.adjusted(6, 4, -6, -4), Qt::AlignHCenter | Qt::AlignTop,
                         QStringLiteral("Screen %1\n%2, %3, %4 pt")
                             .arg(s + 1)
                             .arg(w.placement.left)
                             .arg(w.placement.top)
                             .arg(w.placement.width));
    }
    painter.end();
    return image;
}

} // namespace showcheck

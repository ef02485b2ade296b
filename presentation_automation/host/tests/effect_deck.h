#pragma once

// A deck whose builds play effects, as the importer writes one: a PDF of build states, the
// page the effects play over and a sprite page holding the object alone (nothing else
// painted, so transparent under Poppler), and the description beside it. Slides 1-3 each
// build one red square in: by a fade, a fly-in from the left, and a motion path a quarter of
// the page to the right; slide 4's square fades in and the slide builds on by itself 1 s
// after its click. Every slide has a blue band along its bottom but its first state.

#include <QColor>
#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRectF>
#include <QString>

namespace pa::host::testing {

// The square, in fractions of the page, where the effects leave it (the path's: moved right).
inline const QRectF effectSquare(0.4, 0.3, 0.2, 0.2);
inline constexpr double effectPathShift = 0.25;
inline const QColor effectBand(20, 40, 200);

// Pages (0-based): 0 first state, 1 the square built, 2 the page under the effects (band only),
// 3 the sprite, 4 the square where the path leaves it, 5 slide 4's last state.
inline bool makeEffectDeck(const QString &pdf, double seconds, QSizeF pageSize = QSizeF(960, 540))
{
    QPdfWriter writer(pdf);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(pageSize, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    const QRectF page(QPointF(0, 0), pageSize);
    const QRectF square(effectSquare.x() * pageSize.width(), effectSquare.y() * pageSize.height(),
                        effectSquare.width() * pageSize.width(),
                        effectSquare.height() * pageSize.height());
    const QRectF band(0, pageSize.height() * 0.85, pageSize.width(), pageSize.height() * 0.15);
    const auto slide = [&](bool withBand, const QRectF *object, const QColor &colour) {
        painter.fillRect(page, Qt::white);
        if (withBand) {
            painter.fillRect(band, effectBand);
        }
        if (object != nullptr) {
            painter.fillRect(*object, colour);
        }
    };
    const QRectF moved = square.translated(effectPathShift * pageSize.width(), 0);
    slide(false, nullptr, Qt::red);
    writer.newPage();
    slide(true, &square, Qt::red);
    writer.newPage();
    slide(true, nullptr, Qt::red);
    writer.newPage();
    painter.fillRect(square, Qt::red); // the sprite: the object alone
    writer.newPage();
    slide(true, &moved, Qt::red);
    writer.newPage();
    slide(true, &square, Qt::green);
    if (!painter.end()) {
        return false;
    }

    const QString rect = QStringLiteral("[%1,%2,%3,%4]")
                             .arg(effectSquare.x())
                             .arg(effectSquare.y())
                             .arg(effectSquare.width())
                             .arg(effectSquare.height());
    const auto effect = [&](const QString &family, const QString &preset, const QString &subtype,
                            const QString &extra) {
        return QStringLiteral("{\"family\":\"%1\",\"preset\":\"%2\",\"subtype\":\"%3\","
                              "\"start\":\"click\",\"delay\":0,\"duration\":%4,\"sprite\":3,"
                              "\"rect\":%5%6}")
            .arg(family, preset, subtype)
            .arg(seconds)
            .arg(rect, extra);
    };
    const auto built = [&](int pageShown, const QString &fx, const QString &more = {}) {
        return QStringLiteral("{\"states\":[{\"page\":0},{\"page\":%1,\"trigger\":\"click\","
                              "\"under\":2,\"effects\":[%2]}%3]}")
            .arg(pageShown)
            .arg(fx, more);
    };
    const QString fade =
        effect(QStringLiteral("entrance"), QStringLiteral("ooo-entrance-fade-in"), {}, {});
    const QString description =
        QStringLiteral("{\"format\":1,\"importer\":\"test\",\"show\":{\"useTimings\":true},"
                       "\"slides\":[%1,%2,%3,%4]}")
            .arg(
                built(1, fade),
                built(1, effect(QStringLiteral("entrance"), QStringLiteral("ooo-entrance-fly-in"),
                                QStringLiteral("from-left"), {})),
                built(4, effect(QStringLiteral("motion"), QStringLiteral("ooo-motionpath-line"), {},
                                QStringLiteral(",\"path\":\"M 0 0 L %1 0\"").arg(effectPathShift))),
                built(1, fade, QStringLiteral(",{\"page\":5,\"trigger\":\"auto\",\"delay\":1}")));
    QFile file(pdf + QStringLiteral(".steps.json"));
    return file.open(QIODevice::WriteOnly) && file.write(description.toUtf8()) > 0;
}

} // namespace pa::host::testing

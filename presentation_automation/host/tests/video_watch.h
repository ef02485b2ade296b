#pragma once

// Whether a video plays, as the audience would tell: a rectangle of the X server's screen,
// read back twice a little apart.

#include "platform/testing/x_grab.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QTest>

#include <cstdlib>

namespace pa::host::testing {

// The mean difference of the channels of two pictures of one size, 0..255 (255 when they
// cannot be compared).
inline double pictureDifference(const QImage &a, const QImage &b)
{
    if (a.isNull() || b.isNull() || a.size() != b.size()) {
        return 255;
    }
    double sum = 0;
    int n = 0;
    for (int y = 0; y < a.height(); y += 3) {
        for (int x = 0; x < a.width(); x += 3) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
            n += 3;
        }
    }
    return n == 0 ? 0 : sum / n;
}

struct VideoWatch
{
    QString display;
    QRect area;

    QImage grab() const { return platform::testing::grabX(display, area); }

    // True when the rectangle changed between two looks a little apart.
    bool moves() const
    {
        const QImage before = grab();
        QTest::qWait(200);
        return pictureDifference(before, grab()) > 2.0;
    }

    // True when the rectangle showed the same picture over a second.
    bool still() const
    {
        const QImage first = grab();
        for (int i = 0; i < 4; ++i) {
            QTest::qWait(250);
            if (pictureDifference(first, grab()) > 0.5) {
                return false;
            }
        }
        return !first.isNull();
    }
};

// The middle of a rectangle (fractions of the page) of a show that fills display.
inline QRect middleOf(const QRectF &fractions, const QRect &display)
{
    const QRectF r(display.x() + fractions.x() * display.width(),
                   display.y() + fractions.y() * display.height(),
                   fractions.width() * display.width(), fractions.height() * display.height());
    return r.adjusted(r.width() * 0.1, r.height() * 0.1, -r.width() * 0.1, -r.height() * 0.1)
        .toRect();
}

} // namespace pa::host::testing

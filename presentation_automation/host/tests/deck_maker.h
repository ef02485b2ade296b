#pragma once

// Real PDF decks for the host's tests and benchmark, written with QPdfWriter. Every page is
// filled with its own colour and carries its number, so a picture of a slide tells which
// slide it is.

#include <QColor>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

namespace pa::host::testing {

// Far apart from one page to the next and from one deck to the next, and robust to JPEG.
inline QColor pageColour(int deck, int page)
{
    return QColor::fromHsv((page * 67 + deck * 151) % 360, 200, 230);
}

// pageSize in points. With rich set, pages also carry paragraphs of text and shapes, as
// real slides do (the background corners keep the page colour).
inline bool makeDeck(const QString &path, int pages, int deck = 0,
                     QSizeF pageSize = QSizeF(720, 540), bool rich = false)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(pageSize, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    const QRectF page(QPointF(0, 0), pageSize);
    for (int i = 1; i <= pages; ++i) {
        if (i > 1) {
            writer.newPage();
        }
        painter.fillRect(page, pageColour(deck, i));
        if (rich) {
            painter.setPen(QPen(Qt::black, 3));
            painter.setBrush(QColor(255, 255, 255, 200));
            const QRectF box = page.adjusted(pageSize.width() * 0.1, pageSize.height() * 0.3,
                                             -pageSize.width() * 0.1, -pageSize.height() * 0.1);
            painter.drawRoundedRect(box, 20, 20);
            painter.setBrush(QColor(20, 60, 160));
            painter.drawEllipse(QRectF(box.right() - 120, box.top() + 20, 90, 90));
            QFont body;
            body.setPointSizeF(pageSize.height() / 30);
            painter.setFont(body);
            QString text;
            for (int line = 0; line < 6; ++line) {
                text += QStringLiteral("Point %1.%2: the quick brown fox jumps over the lazy dog, "
                                       "and the slide goes on with more words.\n")
                            .arg(i)
                            .arg(line + 1);
            }
            painter.drawText(box.adjusted(20, 20, -150, -20), Qt::TextWordWrap, text);
        }
        QFont big;
        big.setPointSizeF(pageSize.height() / 6);
        big.setBold(true);
        painter.setFont(big);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(0, 0, pageSize.width(), pageSize.height() * 0.3), Qt::AlignCenter,
                         QString::number(i));
    }
    return painter.end();
}

} // namespace pa::host::testing

// Writes the sample decks of the three screens: each slide names its screen and number on
// its own colour, so the operator sees at a glance which slide each screen shows.
//   make_example_decks <folder>

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cstdio>

namespace {

bool writeDeck(const QString &path, int screen, int slides)
{
    const QSizeF page(960, 540); // 16:9, a 1920x1080 show at full size
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(page, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(QStringLiteral("Screen %1").arg(screen));
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    for (int i = 1; i <= slides; ++i) {
        if (i > 1) {
            writer.newPage();
        }
        const QColor background = QColor::fromHsv((screen * 120 + i * 23) % 360, 150, 120);
        painter.fillRect(QRectF(QPointF(0, 0), page), background);
        painter.setPen(QPen(QColor(255, 255, 255, 90), 6));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(40, 40, page.width() - 80, page.height() - 80), 30, 30);
        QFont title;
        title.setPointSize(64);
        title.setBold(true);
        painter.setFont(title);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(0, 90, page.width(), 120), Qt::AlignCenter,
                         QStringLiteral("Screen %1").arg(screen));
        QFont big;
        big.setPointSize(150);
        big.setBold(true);
        painter.setFont(big);
        painter.drawText(QRectF(0, 200, page.width(), 260), Qt::AlignCenter, QString::number(i));
        QFont small;
        small.setPointSize(20);
        painter.setFont(small);
        painter.drawText(QRectF(0, 450, page.width(), 40), Qt::AlignCenter,
                         QStringLiteral("slide %1 of %2").arg(i).arg(slides));
    }
    return painter.end();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example_decks <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const int slides[] = {8, 6, 5};
    for (int screen = 1; screen <= 3; ++screen) {
        const QString path = QDir(folder).filePath(QStringLiteral("Screen %1.pdf").arg(screen));
        if (!writeDeck(path, screen, slides[screen - 1])) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}

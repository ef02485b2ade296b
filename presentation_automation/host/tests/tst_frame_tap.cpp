// The tap that turns a video's frames into pictures off the show's thread: real frames of
// Qt Multimedia, delivered from the test's thread or another.

#include "presentation_automation/host/shows/frame_tap.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QTest>
#include <QThread>
#include <QVideoFrame>
#include <QVideoFrameFormat>

#include <atomic>
#include <cstring>
#include <memory>

using pa::host::FrameTap;

namespace {

// A frame of one colour, BGRA as a decoder converted to RGB hands it over.
QVideoFrame frameOf(const QSize &size, QColor colour)
{
    QVideoFrame frame(QVideoFrameFormat(size, QVideoFrameFormat::Format_BGRA8888));
    if (!frame.map(QVideoFrame::WriteOnly)) {
        return {};
    }
    const uchar pixel[4] = {uchar(colour.blue()), uchar(colour.green()), uchar(colour.red()), 255};
    for (int y = 0; y < size.height(); ++y) {
        uchar *line = frame.bits(0) + y * frame.bytesPerLine(0);
        for (int x = 0; x < size.width(); ++x) {
            std::memcpy(line + 4 * x, pixel, 4);
        }
    }
    frame.unmap();
    return frame;
}

template<typename F> void inThread(F f)
{
    std::unique_ptr<QThread> t(QThread::create(f));
    t->start();
    t->wait();
}

} // namespace

class TstFrameTap : public QObject
{
    Q_OBJECT

private slots:
    void pictureIsMadeAtTheDrawnSize_data()
    {
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QSize>("made");
        QTest::newRow("no size yet: the frame's") << QSize() << QSize(320, 180);
        QTest::newRow("drawn smaller") << QSize(64, 36) << QSize(64, 36);
        QTest::newRow("drawn in another shape") << QSize(100, 100) << QSize(100, 100);
        QTest::newRow("drawn larger: the frame's") << QSize(640, 360) << QSize(320, 180);
    }
    void pictureIsMadeAtTheDrawnSize()
    {
        QFETCH(QSize, target);
        QFETCH(QSize, made);
        QObject receiver;
        int ready = 0;
        auto tap = std::make_shared<FrameTap>(&receiver,
                                              [&](const std::shared_ptr<FrameTap> &) { ++ready; });
        tap->setTarget(target);
        inThread([&] { tap->deliver(frameOf(QSize(320, 180), Qt::red)); });
        QTRY_COMPARE(ready, 1);
        const QImage picture = tap->take();
        QCOMPARE(picture.size(), made);
        QCOMPARE(QColor(picture.pixel(made.width() / 2, made.height() / 2)), QColor(Qt::red));
    }

    // Frames that come faster than the show takes them replace the one waiting: a few calls,
    // not one a frame, the last the newest picture; every frame is counted all the same.
    void onlyTheNewestWaits()
    {
        QObject receiver;
        int ready = 0;
        QImage taken;
        auto tap = std::make_shared<FrameTap>(&receiver, [&](const std::shared_ptr<FrameTap> &t) {
            ++ready;
            taken = t->take();
        });
        tap->setCounting(true);
        const auto colourAt = [](int i) { return i == 29 ? QColor(Qt::blue) : QColor(Qt::red); };
        inThread([&] {
            for (int i = 0; i < 30; ++i) {
                tap->deliver(frameOf(QSize(320, 180), colourAt(i)));
            }
        });
        QTRY_VERIFY(!taken.isNull() && QColor(taken.pixel(16, 16)) == QColor(Qt::blue));
        QTest::qWait(50);
        QVERIFY2(ready <= 3, qPrintable(QString::number(ready)));
        QCOMPARE(tap->frames(), 30);
        QVERIFY(tap->take().isNull());
        // Taken, the next frame is handed over again.
        const int before = ready;
        inThread([&] { tap->deliver(frameOf(QSize(32, 32), Qt::yellow)); });
        QTRY_COMPARE(ready, before + 1);
        QCOMPARE(QColor(taken.pixel(16, 16)), QColor(Qt::yellow));
    }

    // While a picture waits for the show, the frames that come are not made pictures (each
    // is a frame's worth of memory more), the newest of them is once the show took it; what
    // was shown meanwhile is counted.
    void onePictureWaitsAtATime()
    {
        QObject receiver;
        int ready = 0;
        auto tap = std::make_shared<FrameTap>(&receiver,
                                              [&](const std::shared_ptr<FrameTap> &) { ++ready; });
        tap->setCounting(true);
        inThread([&] { tap->deliver(frameOf(QSize(64, 36), Qt::red)); });
        QTRY_COMPARE(ready, 1);
        inThread([&] {
            tap->deliver(frameOf(QSize(64, 36), Qt::green));
            tap->deliver(frameOf(QSize(64, 36), Qt::blue));
        });
        // Time enough for a picture to be made, were one made.
        QTest::qWait(200);
        QCOMPARE(ready, 1);
        QCOMPARE(QColor(tap->take().pixel(8, 8)), QColor(Qt::red));
        QTRY_COMPARE(ready, 2);
        QCOMPARE(QColor(tap->take().pixel(8, 8)), QColor(Qt::blue));
        QTest::qWait(50);
        QCOMPARE(ready, 2);
        QCOMPARE(tap->frames(), 3);
        QCOMPARE(tap->pictures(), 2);
    }

    // A clip released while its decoder still delivers: nothing reaches the receiver, not
    // the picture that waited nor any later, and the receiver may go at once.
    void closedTapHandsNothingOver()
    {
        auto *receiver = new QObject;
        std::atomic<int> ready = 0;
        auto tap = std::make_shared<FrameTap>(receiver,
                                              [&](const std::shared_ptr<FrameTap> &) { ++ready; });
        tap->setCounting(true);
        inThread([&] { tap->deliver(frameOf(QSize(32, 32), Qt::red)); });
        std::atomic<bool> go = true;
        std::unique_ptr<QThread> decoder(QThread::create([&] {
            while (go) {
                tap->deliver(frameOf(QSize(64, 64), Qt::green));
            }
        }));
        decoder->start();
        // No events are handled meanwhile: the first picture's call waits, unhandled.
        while (tap->frames() < 4) {
            QThread::msleep(1);
        }
        tap->close();
        delete receiver;
        QCoreApplication::processEvents();
        QCOMPARE(ready.load(), 0);
        QVERIFY(tap->take().isNull());
        go = false;
        decoder->wait();
        QCoreApplication::processEvents();
        QCOMPARE(ready.load(), 0);
    }
};

// Frames are converted as the host converts them, which takes a GUI application.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TstFrameTap test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_frame_tap.moc"

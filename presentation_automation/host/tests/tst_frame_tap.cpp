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

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
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

// A frame of four quarters, each of one colour given as Y, U, V, laid out as format lays out
// its planes, as a decoder hands it over.
using Yuv = std::array<uchar, 3>;
QVideoFrame
yuvFrameOf(const QSize &size, QVideoFrameFormat::PixelFormat pixelFormat,
           const std::array<Yuv, 4> &quarters,
           QVideoFrameFormat::ColorSpace space = QVideoFrameFormat::ColorSpace_Undefined,
           QVideoFrameFormat::ColorRange range = QVideoFrameFormat::ColorRange_Unknown)
{
    QVideoFrameFormat format(size, pixelFormat);
    format.setColorSpace(space);
    format.setColorRange(range);
    QVideoFrame frame(format);
    if (!frame.map(QVideoFrame::WriteOnly)) {
        return {};
    }
    const auto at = [&](int x, int y) -> const Yuv & {
        return quarters[(y >= size.height() / 2 ? 2 : 0) + (x >= size.width() / 2 ? 1 : 0)];
    };
    for (int y = 0; y < size.height(); ++y) {
        uchar *luma = frame.bits(0) + y * frame.bytesPerLine(0);
        const int cy = y / 2;
        for (int x = 0; x < size.width(); x += 2) {
            const Yuv &c = at(x, y);
            switch (pixelFormat) {
            case QVideoFrameFormat::Format_UYVY:
                luma[2 * x] = c[1], luma[2 * x + 1] = c[0], luma[2 * x + 2] = c[2],
                         luma[2 * x + 3] = c[0];
                break;
            case QVideoFrameFormat::Format_YUYV:
                luma[2 * x] = c[0], luma[2 * x + 1] = c[1], luma[2 * x + 2] = c[0],
                         luma[2 * x + 3] = c[2];
                break;
            case QVideoFrameFormat::Format_P010:
            case QVideoFrameFormat::Format_P016: {
                // 16-bit samples, the value in the high bits.
                auto *luma16 = reinterpret_cast<quint16 *>(luma);
                luma16[x] = luma16[x + 1] = quint16(c[0] << 8);
                auto *chroma =
                    reinterpret_cast<quint16 *>(frame.bits(1) + cy * frame.bytesPerLine(1)) + x;
                chroma[0] = quint16(c[1] << 8);
                chroma[1] = quint16(c[2] << 8);
                break;
            }
            case QVideoFrameFormat::Format_NV12:
            case QVideoFrameFormat::Format_NV21: {
                luma[x] = luma[x + 1] = c[0];
                uchar *chroma = frame.bits(1) + cy * frame.bytesPerLine(1) + x;
                const bool vFirst = pixelFormat == QVideoFrameFormat::Format_NV21;
                chroma[0] = c[vFirst ? 2 : 1];
                chroma[1] = c[vFirst ? 1 : 2];
                break;
            }
            default: {
                luma[x] = luma[x + 1] = c[0];
                const bool vFirst = pixelFormat == QVideoFrameFormat::Format_YV12;
                frame.bits(vFirst ? 2 : 1)[cy * frame.bytesPerLine(vFirst ? 2 : 1) + x / 2] = c[1];
                frame.bits(vFirst ? 1 : 2)[cy * frame.bytesPerLine(vFirst ? 1 : 2) + x / 2] = c[2];
                break;
            }
            }
        }
    }
    frame.unmap();
    return frame;
}

// The colour a Y, U, V triple stands for, from the standard's luma weights: BT.601 for a frame
// that does not say and is not HD.
QRgb rgbOf(const Yuv &c, QVideoFrameFormat::ColorSpace space, int height, bool full)
{
    using F = QVideoFrameFormat;
    if (space == F::ColorSpace_Undefined) {
        space = height > 576 ? F::ColorSpace_BT709 : F::ColorSpace_BT601;
    }
    const double kr = space == F::ColorSpace_BT601    ? 0.299
                      : space == F::ColorSpace_BT2020 ? 0.2627
                                                      : 0.2126;
    const double kb = space == F::ColorSpace_BT601    ? 0.114
                      : space == F::ColorSpace_BT2020 ? 0.0593
                                                      : 0.0722;
    const double y = full ? c[0] / 255.0 : (c[0] - 16) / 219.0;
    const double cb = (c[1] - 128) / (full ? 255.0 : 224.0);
    const double cr = (c[2] - 128) / (full ? 255.0 : 224.0);
    const double r = y + 2 * (1 - kr) * cr;
    const double b = y + 2 * (1 - kb) * cb;
    const double g = (y - kr * r - kb * b) / (1 - kr - kb);
    const auto level = [](double v) { return std::clamp(int(std::lround(v * 255)), 0, 255); };
    return qRgb(level(r), level(g), level(b));
}

bool near(QRgb a, QRgb b)
{
    const auto close = [](int x, int y) { return std::abs(x - y) <= 4; };
    return close(qRed(a), qRed(b)) && close(qGreen(a), qGreen(b)) && close(qBlue(a), qBlue(b));
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

    // Frames in the layouts decoders hand over are made pictures at the drawn size straight
    // from their planes; their colours are the standard's for each quarter, read in
    // in each quarter, those of the colour space and range the clip says (Qt's own conversion
    // reads every frame as BT.601 at video range).
    void yuvFramesBecomePicturesOfTheDrawnSize_data()
    {
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<int>("pixelFormat");
        QTest::addColumn<int>("space");
        QTest::addColumn<int>("range");
        QTest::addColumn<QSize>("target");
        using F = QVideoFrameFormat;
        const QSize fourK(3840, 2160);
        const QSize hd(1920, 1080);
        QTest::newRow("4K I420 to 1080p")
            << fourK << int(F::Format_YUV420P) << int(F::ColorSpace_Undefined)
            << int(F::ColorRange_Unknown) << hd;
        QTest::newRow("4K NV12 to 1080p")
            << fourK << int(F::Format_NV12) << int(F::ColorSpace_BT709) << int(F::ColorRange_Video)
            << hd;
        QTest::newRow("4K YV12 to 720p")
            << fourK << int(F::Format_YV12) << int(F::ColorSpace_Undefined)
            << int(F::ColorRange_Unknown) << QSize(1280, 720);
        QTest::newRow("1080p NV21 at its own size")
            << hd << int(F::Format_NV21) << int(F::ColorSpace_Undefined)
            << int(F::ColorRange_Unknown) << hd;
        QTest::newRow("1080p I420 BT.601 full range, drawn larger")
            << hd << int(F::Format_YUV420P) << int(F::ColorSpace_BT601) << int(F::ColorRange_Full)
            << fourK;
        QTest::newRow("SD I420 unsaid: BT.601")
            << QSize(720, 576) << int(F::Format_YUV420P) << int(F::ColorSpace_Undefined)
            << int(F::ColorRange_Unknown) << QSize(360, 288);
        QTest::newRow("1080p UYVY to 540p") << hd << int(F::Format_UYVY) << int(F::ColorSpace_BT709)
                                            << int(F::ColorRange_Video) << QSize(960, 540);
        QTest::newRow("1080p P010 BT.2020 at its own size")
            << hd << int(F::Format_P010) << int(F::ColorSpace_BT2020) << int(F::ColorRange_Video)
            << hd;
        QTest::newRow("4K P016 to 720p") << fourK << int(F::Format_P016) << int(F::ColorSpace_BT709)
                                         << int(F::ColorRange_Video) << QSize(1280, 720);
        QTest::newRow("1080p YUYV BT.2020 to 540p")
            << hd << int(F::Format_YUYV) << int(F::ColorSpace_BT2020) << int(F::ColorRange_Video)
            << QSize(960, 540);
    }
    void yuvFramesBecomePicturesOfTheDrawnSize()
    {
        QFETCH(QSize, frameSize);
        QFETCH(int, pixelFormat);
        QFETCH(int, space);
        QFETCH(int, range);
        QFETCH(QSize, target);
        // Reddish, greenish, bluish and yellowish, each within every space's gamut (what lies
        // outside is clipped differently).
        const std::array<Yuv, 4> quarters = {Yuv{120, 110, 170}, Yuv{140, 100, 100},
                                             Yuv{90, 165, 120}, Yuv{170, 90, 140}};
        const QVideoFrame frame =
            yuvFrameOf(frameSize, QVideoFrameFormat::PixelFormat(pixelFormat), quarters,
                       QVideoFrameFormat::ColorSpace(space), QVideoFrameFormat::ColorRange(range));
        QVERIFY(frame.isValid());
        QObject receiver;
        int ready = 0;
        auto tap = std::make_shared<FrameTap>(&receiver,
                                              [&](const std::shared_ptr<FrameTap> &) { ++ready; });
        tap->setTarget(target);
        inThread([&] { tap->deliver(frame); });
        QTRY_COMPARE(ready, 1);
        QCOMPARE(tap->frameDeep(), pixelFormat == QVideoFrameFormat::Format_P010 ||
                                       pixelFormat == QVideoFrameFormat::Format_P016);
        const QImage picture = tap->take();
        const QSize made = FrameTap::madeSize(frameSize, target);
        QCOMPARE(picture.size(), made);
        for (int i = 0; i < 4; ++i) {
            const int x = (i % 2 ? 3 : 1) * made.width() / 4;
            const int y = (i / 2 ? 3 : 1) * made.height() / 4;
            const QRgb mine = picture.pixel(x, y);
            const QRgb meant =
                rgbOf(quarters[i], QVideoFrameFormat::ColorSpace(space), frameSize.height(),
                      range == QVideoFrameFormat::ColorRange_Full);
            QVERIFY2(near(mine, meant),
                     qPrintable(QStringLiteral("%1,%2: %3, meant %4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(QColor(mine).name(), QColor(meant).name())));
        }
    }

    // Frames whose planes are shorter than their layout needs are not read past, and not
    // handed to Qt either: Qt 6.4 allocates a 10-bit planar frame with 8-bit lines, and a 4:2:2
    // one with chroma lines of a quarter of its width, which its own conversion then writes
    // past. (The backend's frames carry their real lines.) Layouts not read go to Qt.
    void framesGoToQtOnlyWhereItIsSafe_data()
    {
        QTest::addColumn<int>("pixelFormat");
        QTest::newRow("10-bit planar") << int(QVideoFrameFormat::Format_YUV420P10);
        QTest::newRow("4:2:2 planar") << int(QVideoFrameFormat::Format_YUV422P);
    }
    void framesGoToQtOnlyWhereItIsSafe()
    {
        QFETCH(int, pixelFormat);
        using F = QVideoFrameFormat;
        QVideoFrame shortFrame(F(QSize(1920, 1080), F::PixelFormat(pixelFormat)));
        QVERIFY(shortFrame.map(QVideoFrame::WriteOnly));
        for (int i = 0; i < shortFrame.planeCount(); ++i) {
            std::memset(shortFrame.bits(i), 0x80, shortFrame.mappedBytes(i));
        }
        shortFrame.unmap();
        pa::host::FramePicture maker;
        QVERIFY(maker.make(shortFrame, QSize(960, 540)).isNull());
        QVERIFY(!pa::host::FramePicture::leavesToQt(shortFrame));
        QVERIFY(pa::host::FramePicture::leavesToQt(QVideoFrame(F(QSize(64, 64), F::Format_AYUV))));
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

// The threads a clip's video decoder runs: the rule from a stream's size and rate, its bound
// from the environment, and a real GStreamer pipeline of clips made by ffmpeg, whose libav
// decoder gets them when the stream's caps reach it.

#include "presentation_automation/host/shows/media_decode_threads.h"
#include "presentation_automation/host/shows/media_pipeline_limits.h"

#include "platform/testing/test_main.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gst/gst.h>

#include <algorithm>
#include <thread>

using namespace pa::host;

// GLib's quark table is allocated by its constructor and left behind, by design, when it grows,
// which GStreamer's types make it do: the leak checker passes over what constructors allocate,
// and unwinds through GLib (built without frame pointers) to tell.
extern "C" const char *__lsan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:_dl_init\n";
}

namespace {

int machineCores()
{
    return std::max(1, int(std::thread::hardware_concurrency()));
}

bool makeClip(const QString &path, const QString &size)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("testsrc2=size=%1:rate=30:duration=1").arg(size),
             QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
             QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
             path});
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

// The decoder's max-threads once the pipeline has taken the clip's first frame; -1 when it
// did not get there.
int threadsOnceOpened(const QString &clip)
{
    const QByteArray description = "filesrc location=\"" + QFile::encodeName(clip) +
                                   "\" ! qtdemux ! avdec_h264 name=decoder ! fakesink";
    GError *error = nullptr;
    GstElement *pipeline = gst_parse_launch(description.constData(), &error);
    if (pipeline == nullptr) {
        g_clear_error(&error);
        return -1;
    }
    int threads = -1;
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    if (gst_element_get_state(pipeline, nullptr, nullptr, 60 * GST_SECOND) ==
        GST_STATE_CHANGE_SUCCESS) {
        GstElement *decoder = gst_bin_get_by_name(GST_BIN(pipeline), "decoder");
        g_object_get(decoder, "max-threads", &threads, nullptr);
        gst_object_unref(decoder);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return threads;
}

} // namespace

class TestMediaDecodeThreads : public QObject
{
    Q_OBJECT

private slots:
    void threadsFollowTheStream_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("cores");
        QTest::addColumn<int>("threads");
        QTest::newRow("1080p30: one") << 1920 << 1080 << 30.0 << 8 << 1;
        QTest::newRow("640x360 at 30: one") << 640 << 360 << 30.0 << 8 << 1;
        QTest::newRow("portrait 1080x1920 at 30: one") << 1080 << 1920 << 30.0 << 8 << 1;
        QTest::newRow("1080p60: one") << 1920 << 1080 << 60.0 << 8 << 1;
        QTest::newRow("1080p60 coded 1088 lines: one") << 1920 << 1088 << 60.0 << 8 << 1;
        QTest::newRow("1440p30: one") << 2560 << 1440 << 30.0 << 8 << 1;
        QTest::newRow("1080p, rate not told: as 30") << 1920 << 1080 << 0.0 << 8 << 1;
        QTest::newRow("1440p60: two") << 2560 << 1440 << 60.0 << 8 << 2;
        QTest::newRow("1080p120: two") << 1920 << 1080 << 120.0 << 8 << 2;
        QTest::newRow("4K at 30: two") << 3840 << 2160 << 30.0 << 8 << 2;
        QTest::newRow("4K coded 2176 lines at 30: two") << 3840 << 2176 << 30.0 << 8 << 2;
        QTest::newRow("4K at 30000/1001: two") << 3840 << 2160 << 29.97 << 8 << 2;
        QTest::newRow("4K, rate not told: as 30") << 3840 << 2160 << -1.0 << 8 << 2;
        QTest::newRow("4K at 60: four") << 3840 << 2160 << 60.0 << 8 << 4;
        QTest::newRow("8K at 30: eight") << 7680 << 4320 << 30.0 << 8 << 8;
        QTest::newRow("4K at 60 on two cores: two") << 3840 << 2160 << 60.0 << 2 << 2;
        QTest::newRow("4K at 30 on one core: one") << 3840 << 2160 << 30.0 << 1 << 1;
        QTest::newRow("cores unknown: one") << 3840 << 2160 << 30.0 << 0 << 1;
        QTest::newRow("size not told: one") << 0 << 0 << 30.0 << 8 << 1;
    }

    void threadsFollowTheStream()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(double, rate);
        QFETCH(int, cores);
        QFETCH(int, threads);
        QCOMPARE(decodeThreadsFor(width, height, rate, cores), threads);
    }

    void environmentBoundsThreads_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("allowed");
        QTest::newRow("unset: the cores") << QByteArray() << machineCores();
        QTest::newRow("1: one") << QByteArray("1") << 1;
        QTest::newRow("more than the cores: the cores") << QByteArray("999") << machineCores();
        QTest::newRow("0: the cores") << QByteArray("0") << machineCores();
        QTest::newRow("not a number: the cores") << QByteArray("many") << machineCores();
    }

    void environmentBoundsThreads()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, allowed);
        if (value.isNull()) {
            qunsetenv("PRESENTATION_HOST_DECODE_THREADS");
        } else {
            qputenv("PRESENTATION_HOST_DECODE_THREADS", value);
        }
        const int got = decodeThreadsAllowed();
        qunsetenv("PRESENTATION_HOST_DECODE_THREADS");
        QCOMPARE(got, allowed);
    }

    void pipelineDecoderGetsTheThreads_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("threads");
        QTest::newRow("640x360 at 30: one") << QStringLiteral("640x360") << 1;
        QTest::newRow("4K at 30: two") << QStringLiteral("3840x2160") << 2;
    }

    void pipelineDecoderGetsTheThreads()
    {
        QFETCH(QString, size);
        QFETCH(int, threads);
        if (threads > machineCores()) {
            QSKIP("fewer cores than the case needs");
        }
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) {
            QSKIP("ffmpeg is not installed");
        }
        limitMediaPipelines();
        GstElementFactory *factory = gst_element_factory_find("avdec_h264");
        if (factory == nullptr) {
            QSKIP("gstreamer1.0-libav is not installed");
        }
        gst_object_unref(factory);
        // Made before it knows its stream: one thread, not libav's one a core.
        GstElement *fresh = gst_element_factory_make("avdec_h264", nullptr);
        int before = -1;
        g_object_get(fresh, "max-threads", &before, nullptr);
        gst_object_unref(fresh);
        QCOMPARE(before, 1);

        QTemporaryDir dir;
        const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
        QVERIFY(makeClip(clip, size));
        QCOMPARE(threadsOnceOpened(clip), threads);
    }
};

CORVANE_TEST_MAIN(TestMediaDecodeThreads)
#include "tst_media_decode_threads.moc"

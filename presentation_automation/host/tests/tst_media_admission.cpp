// Which clips the host opens: the bound on open media by their number and by the memory their
// decoders hold, and the room frames held ahead give up for them.

#include "presentation_automation/host/shows/media_admission.h"

#include "platform/testing/test_main.h"

#include <QTest>

using namespace pa::host;

Q_DECLARE_METATYPE(pa::host::MediaKind)
Q_DECLARE_METATYPE(pa::host::MediaAdmission)

namespace {

constexpr std::int64_t mib = 1024 * 1024;

std::int64_t videoAt(int width, int height)
{
    return mediumBytes(MediaKind::Video, QSize(width, height));
}

} // namespace

class TestMediaAdmission : public QObject
{
    Q_OBJECT

private slots:
    void admission_data()
    {
        QTest::addColumn<MediaKind>("kind");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("openVideos");
        QTest::addColumn<int>("openSounds");
        QTest::addColumn<std::int64_t>("openBytes");
        QTest::addColumn<int>("heldVideos");
        QTest::addColumn<MediaAdmission>("answer");
        const auto V = MediaKind::Video;
        const auto S = MediaKind::Audio;
        const std::int64_t hd = videoAt(1920, 1080);
        const std::int64_t fourK = videoAt(3840, 2160);
        using A = MediaAdmission;
        QTest::newRow("nothing open") << V << true << 0 << 0 << std::int64_t(0) << 0 << A::Open;
        QTest::newRow("five 1080p open") << V << true << 5 << 0 << 5 * hd << 0 << A::Open;
        QTest::newRow("six open, one of them held: it goes")
            << V << true << 6 << 0 << 6 * hd << 1 << A::AfterHeldOneGoes;
        QTest::newRow("six open, none held") << V << true << 6 << 0 << 6 * hd << 0 << A::Refuse;
        QTest::newRow("six open, to be held itself")
            << V << false << 6 << 0 << 6 * hd << 1 << A::Refuse;
        QTest::newRow("three 4K playing: a fourth video")
            << V << true << 3 << 0 << 3 * fourK << 0 << A::RefuseForMemory;
        QTest::newRow("three 4K, one of them held: it goes")
            << V << true << 3 << 0 << 3 * fourK << 1 << A::AfterHeldOneGoes;
        QTest::newRow("two 4K and two 1080p")
            << V << true << 4 << 0 << 2 * fourK + 2 * hd << 0 << A::Open;
        QTest::newRow("a 1080p clip fills the memory to the byte")
            << V << true << 2 << 0 << mostMediaAtOnce.bytes - hd << 0 << A::Open;
        QTest::newRow("a byte beyond")
            << V << true << 2 << 0 << mostMediaAtOnce.bytes - hd + 1 << 0 << A::RefuseForMemory;
        QTest::newRow("a sound beside three 4K clips")
            << S << true << 3 << 4 << 3 * fourK + 4 * soundBytes << 0 << A::Open;
        QTest::newRow("sixteen sounds, videos free")
            << S << true << 0 << 16 << 16 * soundBytes << 0 << A::Refuse;
        QTest::newRow("a held video does not make room for a sound")
            << S << true << 1 << 16 << hd + 16 * soundBytes << 1 << A::Refuse;
    }
    void admission()
    {
        QFETCH(MediaKind, kind);
        QFETCH(bool, shown);
        QFETCH(int, openVideos);
        QFETCH(int, openSounds);
        QFETCH(std::int64_t, openBytes);
        QFETCH(int, heldVideos);
        QFETCH(MediaAdmission, answer);
        MediaCounts open;
        open.add(MediaKind::Video, openVideos, openBytes);
        open.add(MediaKind::Audio, openSounds);
        MediaCounts held;
        held.add(MediaKind::Video, heldVideos, heldVideos * videoAt(1920, 1080));
        QCOMPARE(admitMedium(kind, shown, open, held), answer);
    }

    // A video by its picture (1080p until its first frame tells), a sound by its buffers; the
    // frames give up what the media take, down to a third of their memory.
    void reckoning()
    {
        QCOMPARE(videoAt(3840, 2160), 4 * videoAt(1920, 1080));
        QCOMPARE(videoAt(0, 0), videoAt(1920, 1080));
        QCOMPARE(mediumBytes(MediaKind::Video, QSize(3840, 2160), true), 2 * videoAt(3840, 2160));
        QVERIFY(videoAt(1920, 1080) > 40 * mib && videoAt(1920, 1080) < 50 * mib);
        QCOMPARE(mediumBytes(MediaKind::Audio, QSize(1920, 1080)), soundBytes);
        const std::int64_t cap = 144 * mib;
        QCOMPARE(framesRoomBeside(cap, 0), cap);
        QCOMPARE(framesRoomBeside(cap, -5), cap);
        QCOMPARE(framesRoomBeside(cap, 50 * mib), 94 * mib);
        QCOMPARE(framesRoomBeside(cap, 96 * mib), 48 * mib);
        QCOMPARE(framesRoomBeside(cap, 500 * mib), 48 * mib);
    }
};

CORVANE_TEST_MAIN(TestMediaAdmission)
#include "tst_media_admission.moc"

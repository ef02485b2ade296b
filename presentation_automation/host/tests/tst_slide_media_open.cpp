// Opening a slide's clip with the real SlideMedia while its file's check is held back, as a
// file on a hung share holds it: the show's thread goes on, the clip shows its poster, and
// whatever the check answers (late, a failure, an answer for a clip let go meanwhile) comes
// out as one log line or nothing, never a player for a clip that is gone.

#include "presentation_automation/host/shows/slide_media.h"

#include "platform/testing/test_main.h"

#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <semaphore>

using namespace pa::host;

namespace {

QStringList g_warnings;

void collect(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtWarningMsg) {
        g_warnings << text;
    }
}

int told(const QString &part)
{
    int n = 0;
    for (const QString &line : g_warnings) {
        n += line.contains(part) ? 1 : 0;
    }
    return n;
}

// A check that answers only once the test lets it.
struct HeldCheck
{
    std::binary_semaphore release{0};
    std::atomic<bool> returned{false};
    QString answer;
};

} // namespace

class TestSlideMediaOpen : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    DeckDescription deck() const
    {
        DeckDescription d;
        d.slides.resize(2);
        for (SlideDescription &s : d.slides) {
            s.states.resize(1);
        }
        MediaClip clip;
        clip.file = QStringLiteral("clip.mp4");
        clip.rect = QRectF(0.25, 0.25, 0.5, 0.5);
        d.slides[0].media.push_back(clip);
        d.mediaFolder = m_dir.path();
        return d;
    }

private slots:
    void init() { g_warnings.clear(); }

    void answers_data()
    {
        QTest::addColumn<QString>("answer"); // "late", "fails" or "ok"
        // Started at once, or prepared for the next step and started by it before the answer.
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("letGo");     // the show left the slide before the answer
        QTest::addColumn<QString>("logged"); // the one line's part, or empty for none
        QTest::addColumn<QString>("listed"); // the slide's listing then

        QTest::newRow("late, shown") << "late" << true << false << "does not answer"
                                     << "clip.mp4 not played";
        QTest::newRow("late, prepared") << "late" << false << false << "does not answer"
                                        << "clip.mp4 not played";
        QTest::newRow("fails, prepared")
            << "fails" << false << false << "is not played: it is unwell"
            << "clip.mp4 not played";
        QTest::newRow("fails, shown") << "fails" << true << false << "is not played: it is unwell"
                                      << "clip.mp4 not played";
        QTest::newRow("late, let go") << "late" << true << true << ""
                                      << "";
        QTest::newRow("fails, let go") << "fails" << true << true << ""
                                       << "";
        QTest::newRow("ok, let go") << "ok" << true << true << ""
                                    << "";
        QTest::newRow("ok, prepared, ended") << "ok" << false << true << ""
                                             << "";
    }

    void answers()
    {
        QFETCH(QString, answer);
        QFETCH(bool, shown);
        QFETCH(bool, letGo);
        QFETCH(QString, logged);
        QFETCH(QString, listed);

        auto check = std::make_shared<HeldCheck>();
        check->answer =
            answer == QLatin1String("fails") ? QStringLiteral("it is unwell") : QString();
        const bool late = answer == QLatin1String("late");
        // Late: the answer is held past its deadline; else it comes as soon as it is let.
        const int deadlineMs = late ? 200 : 60000;
        SlideMedia media;
        media.setFileCheck(
            [check](const QString &) {
                check->release.acquire();
                check->returned = true;
                return check->answer;
            },
            deadlineMs);
        int ended = 0;
        connect(&media, &SlideMedia::clipEnded, this, [&ended] { ++ended; });
        const QtMessageHandler before = qInstallMessageHandler(collect);
        const DeckDescription d = deck();

        // Neither call waits for the check, which cannot answer yet.
        if (shown) {
            media.follow(d, 1, 0);
            QCOMPARE(media.status(), QStringList{QStringLiteral("clip.mp4 opening")});
            QVERIFY(media.awaitsEnd());
        } else {
            media.prepare(d, Step{StepPosition{1, 0}, StepKind::Forward});
            QCOMPARE(media.preparedCount(), 1);
            if (!letGo) {
                media.follow(d, 1, 0);
                QCOMPARE(media.preparedCount(), 0);
                QCOMPARE(media.status(), QStringList{QStringLiteral("clip.mp4 opening")});
            }
        }
        QVERIFY(!media.drawsVideo());

        if (letGo) {
            media.stopAll();
        }
        if (late && letGo) {
            // Past the deadline, with nothing left to tell.
            QTest::qWait(deadlineMs + 300);
            check->release.release();
            QTRY_VERIFY(check->returned);
        } else if (late) {
            QTRY_COMPARE(media.status(), QStringList{QStringLiteral("clip.mp4 not played")});
            check->release.release();
            QTRY_VERIFY(check->returned);
        } else {
            check->release.release();
            QTRY_VERIFY(check->returned);
        }
        // The answer, late or not, has had its turn on this thread.
        QTest::qWait(100);
        qInstallMessageHandler(before);

        QCOMPARE(media.status().join('\n'), listed);
        QVERIFY(!media.awaitsEnd());
        QVERIFY(!media.drawsVideo());
        if (logged.isEmpty()) {
            QVERIFY2(told(QStringLiteral("clip.mp4")) == 0, qPrintable(g_warnings.join('\n')));
            QCOMPARE(ended, 0);
        } else {
            QCOMPARE(told(logged), 1);
            QCOMPARE(told(QStringLiteral("clip.mp4")), 1);
            // An automatic step waiting for it is told to go on.
            QCOMPARE(ended, 1);
        }
    }

    void preparedClipThatFailedIsToldWhenShown()
    {
        SlideMedia media;
        media.setFileCheck([](const QString &) { return QStringLiteral("it is unwell"); }, 60000);
        const QtMessageHandler before = qInstallMessageHandler(collect);
        const DeckDescription d = deck();
        media.prepare(d, Step{StepPosition{1, 0}, StepKind::Forward});
        // Its answer comes while it is only prepared: nothing is said of it yet.
        QTest::qWait(200);
        QCOMPARE(told(QStringLiteral("clip.mp4")), 0);
        QCOMPARE(media.preparedCount(), 1);
        media.follow(d, 1, 0);
        QTRY_COMPARE(told(QStringLiteral("is not played: it is unwell")), 1);
        QTest::qWait(100);
        qInstallMessageHandler(before);
        QCOMPARE(told(QStringLiteral("clip.mp4")), 1);
        QCOMPARE(media.status(), QStringList{QStringLiteral("clip.mp4 not played")});
        QVERIFY(!media.awaitsEnd());
    }
};

CORVANE_TEST_MAIN(TestSlideMediaOpen)
#include "tst_slide_media_open.moc"

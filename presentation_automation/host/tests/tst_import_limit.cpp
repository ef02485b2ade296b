// The stepped import's time limit: it follows the slides the import reports done, so a slow
// but working import finishes, and one that stops reporting is still given up on.

#include "presentation_automation/host/decks/import/import_limit.h"
#include "presentation_automation/host/decks/office_process.h"

#include "platform/testing/test_main.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace pa::host;

namespace {

constexpr qint64 second = 1000;

// Runs a shell script as the import is run, with the import's limit, and waits for its end.
OfficeOutcome runWatched(const QString &script, int startMs)
{
    auto limit = std::make_shared<ImportLimit>(startMs);
    std::optional<OfficeOutcome> outcome;
    QObject parent;
    OfficeProcess::run(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, startMs, &parent,
        [&outcome](const OfficeOutcome &o) { outcome = o; },
        [limit](const QByteArray &line, qint64 elapsedMs) -> std::optional<qint64> {
            if (const auto progress = parseImportProgress(line)) {
                return limit->report(*progress, elapsedMs);
            }
            return std::nullopt;
        });
    QElapsedTimer waited;
    waited.start();
    while (!outcome && waited.elapsed() < 60 * second) {
        QTest::qWait(20);
    }
    return outcome.value_or(OfficeOutcome{});
}

} // namespace

class TestImportLimit : public QObject
{
    Q_OBJECT

private slots:
    void readsOnlyWellFormedProgressLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::newRow("start") << QByteArray("progress 0 28") << 0 << 28;
        QTest::newRow("with line end") << QByteArray("progress 3 28\r") << 3 << 28;
        QTest::newRow("all done") << QByteArray("progress 28 28") << 28 << 28;
        QTest::newRow("past the total") << QByteArray("progress 29 28") << -1 << -1;
        QTest::newRow("negative") << QByteArray("progress -1 28") << -1 << -1;
        QTest::newRow("words") << QByteArray("progress a b") << -1 << -1;
        QTest::newRow("other text") << QByteArray("slide 3: trigger not played") << -1 << -1;
        QTest::newRow("extra word") << QByteArray("progress 1 2 3") << -1 << -1;
    }

    void readsOnlyWellFormedProgressLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, done);
        QFETCH(int, total);
        const auto progress = parseImportProgress(line);
        QCOMPARE(progress.has_value(), done >= 0);
        if (progress) {
            QCOMPARE(progress->done, done);
            QCOMPARE(progress->total, total);
        }
    }

    void theLimitFollowsTheSlidesDone()
    {
        // The measured case: 28 slides at about 4 s each on a busy machine, 119 s in all,
        // past a fixed limit of 113 s. Each report moves the limit past the next slide.
        ImportLimit limit(113 * second);
        QCOMPARE(limit.deadlineMs(), 113 * second);
        QCOMPARE(limit.report({0, 28}, 10 * second), 113 * second);
        qint64 at = 10 * second;
        for (int done = 1; done <= 28; ++done) {
            at += 3900;
            const qint64 deadline = limit.report({done, 28}, at);
            QVERIFY2(deadline >= at + 4 * second, qPrintable(QString::number(done)));
        }
        // Writing the PDF gets as long as the slides took.
        QVERIFY(limit.deadlineMs() >= 2 * at);

        // One slide that takes far longer than the others is taken as stuck: the run is given
        // up on within a minute of its last report.
        ImportLimit stuck(113 * second);
        for (int done = 1; done <= 20; ++done) {
            stuck.report({done, 40}, done * 4 * second);
        }
        QVERIFY(stuck.deadlineMs() > 80 * second + 16 * second);
        QVERIFY(stuck.deadlineMs() <= 80 * second + 60 * second);

        // A report that goes back, or counts another total, moves nothing; nothing passes
        // the outer bound.
        ImportLimit odd(113 * second);
        const qint64 first = odd.report({5, 10}, 50 * second);
        QCOMPARE(odd.report({4, 10}, 90 * second), first);
        QCOMPARE(odd.report({6, 11}, 90 * second), first);
        QCOMPARE(odd.report({10, 10}, 3 * ImportLimit::outerBoundMs), ImportLimit::outerBoundMs);
    }

    void aSlowButWorkingRunFinishesAndAStalledOneIsStopped()
    {
        // Five slides at 0.3 s take 1.5 s, past the first limit of 1 s.
        const OfficeOutcome working =
            runWatched(QStringLiteral("echo 'progress 0 5'; for i in 1 2 3 4 5; do sleep 0.3; "
                                      "echo \"progress $i 5\"; done; echo done"),
                       1000);
        QVERIFY2(working.succeeded(), qPrintable(working.lastLine));
        QCOMPARE(working.lastLine, QStringLiteral("done"));

        // Two slides, then nothing: given up on well before the script would end.
        const OfficeOutcome stalled = runWatched(
            QStringLiteral("echo 'progress 1 5'; sleep 0.2; echo 'progress 2 5'; sleep 50"), 1000);
        QCOMPARE(int(stalled.result), int(OfficeOutcome::Result::TimedOut));
        QVERIFY2(stalled.elapsedMs < 30 * second, qPrintable(QString::number(stalled.elapsedMs)));
    }
};

CORVANE_TEST_MAIN(TestImportLimit)
#include "tst_import_limit.moc"

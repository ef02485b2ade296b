// The real host program playing a deck's builds, timings and transitions, driven through the
// client as the controllers drive it.

#include "deck_maker.h"
#include "host_test_support.h"
#include "trans_pdf.h"

#include "platform/testing/test_main.h"

#include <QRegularExpression>

#include <csignal>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;

namespace {

// Nine pages: slide 1 builds twice, slide 2 is hidden, slide 3 fades in and builds once on its
// own, slide 4 leaves on its own.
const char *steps = R"({"format":1,"importer":"test","show":{"useTimings":true},"slides":[
  {"states":[{"page":0},{"page":1,"trigger":"click"},{"page":2,"trigger":"click"}]},
  {"states":[{"page":3}],"hidden":true},
  {"states":[{"page":4},{"page":5,"trigger":"auto","delay":0.3},{"page":6,"trigger":"click"}],
   "transition":{"kind":"fade","duration":0.3}},
  {"states":[{"page":7}],"advanceAfter":0.3},
  {"states":[{"page":8}]}]})";

struct OnScreen
{
    OnScreen() = default;
    OnScreen(int s, int st, int p, QString l = {}) : slide(s), step(st), page(p), line(std::move(l))
    {}

    int slide = 0;
    int step = 0;
    int page = 0; // 0 before the first frame
    QString line;

    bool operator==(const OnScreen &o) const
    {
        return slide == o.slide && step == o.step && page == o.page;
    }
};

// The first show in the host's listing; all zero when no host answers.
OnScreen onScreen(const ClientOptions &options)
{
    static const QRegularExpression line(
        QStringLiteral("^\\d+: .*show running on slide (\\d+), .*step (\\d+) of \\d+, page \\d+"
                       ".*page on screen: (\\d+).*$"),
        QRegularExpression::MultilineOption);
    try {
        const auto m = line.match(statusListing(options));
        if (m.hasMatch()) {
            return {m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                    m.captured(0)};
        }
    } catch (const AutomationError &) {
    }
    return {};
}

// Until the listing shows it (the event loop runs meanwhile: a lost host is started again).
bool waitOnScreen(const ClientOptions &options, const OnScreen &wanted)
{
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        if (onScreen(options) == wanted) {
            return true;
        }
        QTest::qWait(20);
    }
    qWarning("Still not on slide %d step %d page %d: %s", wanted.slide, wanted.step, wanted.page,
             qPrintable(onScreen(options).line));
    return false;
}

} // namespace

class TestHostBuilds : public QObject
{
    Q_OBJECT

private slots:
    void buildsStepAndTheJournalKeepsTheStep()
    {
        HostFixture fx;
        fx.options.hostArguments << QStringLiteral("--pdf-steps");
        const QString pdf = fx.path(QStringLiteral("built.pdf"));
        QVERIFY(makeDeck(pdf, 9));
        QFile description(pdf + QStringLiteral(".steps.json"));
        QVERIFY(description.open(QIODevice::WriteOnly) && description.write(steps) > 0);
        description.close();

        auto app = applicationFactory(fx.options)();
        auto pres = app->presentations()->open(pdf.toStdString());
        QCOMPARE(pres->slides()->count(), 5);
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        QVERIFY(waitOnScreen(fx.options, {1, 1, 1}));

        // (operation, slide index at once, then slide, step and page drawn)
        const std::vector<std::pair<QString, OnScreen>> sequence{
            {QStringLiteral("next"), {1, 2, 2}},
            {QStringLiteral("next"), {1, 3, 3}},
            {QStringLiteral("previous"), {1, 2, 2}},
            {QStringLiteral("next"), {1, 3, 3}},
            // Past the hidden slide, through the fade, then its automatic build.
            {QStringLiteral("next"), {3, 2, 6}},
            {QStringLiteral("next"), {3, 3, 7}},
            {QStringLiteral("goto 2"), {2, 1, 4}},
            {QStringLiteral("previous"), {1, 3, 3}},
            // Leaves on its own after its timing.
            {QStringLiteral("goto 4"), {5, 1, 9}},
        };
        for (const auto &[op, wanted] : sequence) {
            if (op == QLatin1String("next")) {
                view->next();
            } else if (op == QLatin1String("previous")) {
                view->previous();
            } else {
                view->gotoSlide(op.mid(5).toInt());
            }
            QVERIFY2(waitOnScreen(fx.options, wanted), qPrintable(op));
            QCOMPARE(view->slide()->slideIndex(), wanted.slide);
        }

        // Exported fully built, whatever step its show is on.
        view->gotoSlide(1);
        const QString picture = fx.path(QStringLiteral("slide1.png"));
        pres->slides()->item(1)->exportTo(picture.toStdString(), "PNG", 160, 120);
        QVERIFY(sameColour(cornerColour(QImage(picture)), pageColour(0, 3)));

        // Killed on a build step: the host that comes back shows that step and goes on from it.
        view->next();
        QVERIFY(waitOnScreen(fx.options, {1, 2, 2}));
        const qint64 pid = runningHostPid(fx.options);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        QVERIFY(processGone(pid, 5000));
        QVERIFY(waitOnScreen(fx.options, {1, 2, 2}));
        view->next();
        QVERIFY(waitOnScreen(fx.options, {1, 3, 3}));
    }

    void pdfPagesBringTheirOwnTransitions()
    {
        HostFixture fx;
        const QString pdf = fx.path(QStringLiteral("trans.pdf"));
        QVERIFY(makeTransPdf(pdf, {{Qt::red, {}},
                                   {Qt::blue, "/S /Push /Di 0 /D 0.4"},
                                   {Qt::green, "/S /Split /Dm /V /M /O /D 0.4"}}));
        auto app = applicationFactory(fx.options)();
        auto pres = app->presentations()->open(pdf.toStdString());
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        QVERIFY(waitOnScreen(fx.options, {1, 1, 1}));
        static const QRegularExpression played(
            QStringLiteral("last transition (\\w+) in (\\d+) frames"));
        for (const auto &[page, kind] : {std::pair{2, "push"}, std::pair{3, "split"}}) {
            view->next();
            QVERIFY(waitOnScreen(fx.options, {page, 1, page}));
            QTRY_VERIFY_WITH_TIMEOUT(
                played.match(onScreen(fx.options).line).captured(1) == QLatin1String(kind), 10000);
            // Drawn in steps, not cut.
            QTRY_VERIFY(played.match(onScreen(fx.options).line).captured(2).toInt() > 2);
        }
    }
};

CORVANE_TEST_MAIN(TestHostBuilds)
#include "tst_host_builds.moc"

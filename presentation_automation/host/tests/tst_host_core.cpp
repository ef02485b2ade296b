// The host's workings in process: its slide show windows, the frames it holds ahead, and
// the message format, without a socket in between.

#include "deck_maker.h"
#include "host_test_support.h"

#include "presentation_automation/host/deadline_workers.h"
#include "presentation_automation/host/decks/frame_plan.h"
#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/host_core.h"
#include "presentation_automation/host/service/export_limits.h"
#include "presentation_automation/host/service/journal.h"
#include "presentation_automation/host/service/protocol.h"
#include "presentation_automation/host/service/regular_file.h"
#include "presentation_automation/host/shows/app_window.h"
#include "presentation_automation/host/shows/show_window.h"

#include <poppler-qt6.h>

#include "platform/testing/test_main.h"

#include <QDir>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtEndian>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pa::host;
using namespace pa::host::testing;

namespace {

Reply call(PresentationHost &host, Request request)
{
    // Loads and exports of slides not held answer later, from a worker.
    auto answer = std::make_shared<std::optional<Reply>>();
    host.handle(request, [answer](const Reply &r) { *answer = r; });
    if (!QTest::qWaitFor([&] { return answer->has_value(); }, 30000)) {
        qFatal("no answer");
    }
    return **answer;
}

Request req(Op op, std::int64_t pres = 0, int slide = 0)
{
    Request r;
    r.op = op;
    r.pres = pres;
    r.slide = slide;
    return r;
}

Request openReq(const QString &path)
{
    Request r = req(Op::Open);
    r.path = path;
    return r;
}

int openFileCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::NoDotAndDotDot | QDir::System)
                                .size());
}

// Frames a plan holds, as (show, frame).
using Planned = std::vector<std::pair<int, int>>;

QImage sizedImage(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::gray);
    return image;
}

} // namespace

class TestHostCore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_deck;

    HostSettings settings(std::int64_t cacheBytes = 256ll * 1024 * 1024)
    {
        HostSettings s;
        s.runtimeDir = m_dir.filePath(QStringLiteral("runtime"));
        s.cacheDir = m_dir.filePath(QStringLiteral("cache"));
        s.frameCacheBytes = cacheBytes;
        return s;
    }

private slots:
    void initTestCase()
    {
        m_deck = m_dir.filePath(QStringLiteral("deck.pdf"));
        QVERIFY(makeDeck(m_deck, 8));
    }

    void keysAndClicksStepTheShow()
    {
        PresentationHost host(settings());
        const auto id = call(host, openReq(m_deck)).value;
        QVERIFY(call(host, req(Op::Run, id)).ok);
        ShowWindow *show = host.showWindow(id);
        QVERIFY(show);
        QVERIFY(!(show->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(show->windowFlags() & Qt::FramelessWindowHint);

        const std::vector<std::pair<Qt::Key, int>> steps{
            {Qt::Key_Right, 2},     {Qt::Key_Down, 3}, {Qt::Key_Space, 4},  {Qt::Key_PageDown, 5},
            {Qt::Key_Left, 4},      {Qt::Key_Up, 3},   {Qt::Key_PageUp, 2}, {Qt::Key_Backspace, 1},
            {Qt::Key_Backspace, 1}, {Qt::Key_End, 8},  {Qt::Key_Right, 8},  {Qt::Key_Home, 1},
        };
        for (const auto &[key, slide] : steps) {
            QTest::keyClick(show, key);
            QCOMPARE(show->currentSlide(), slide);
        }
        QTest::mouseClick(show, Qt::LeftButton);
        QCOMPARE(call(host, req(Op::CurrentSlide, id)).value, 2);

        QTest::keyClick(show, Qt::Key_Escape);
        QVERIFY(!show->isVisible());
        const Reply ended = call(host, req(Op::Next, id));
        QVERIFY(!ended.ok);
        QVERIFY(ended.description.contains(QStringLiteral("no running slide show")));
        QVERIFY(!call(host, req(Op::CheckShow, id)).ok);
        // Run again: a new show from the first slide.
        QVERIFY(call(host, req(Op::Run, id)).ok);
        QCOMPARE(call(host, req(Op::CurrentSlide, id)).value, 1);
    }

    void heldPagesShowAtOnceOthersKeepTheOldSlide()
    {
        PresentationHost host(settings());
        const auto id = call(host, openReq(m_deck)).value;
        call(host, req(Op::Run, id));
        ShowWindow *show = host.showWindow(id);
        const QSize box = show->frameBox();
        const auto held = [&](int slide) {
            return host.frameCache().contains(FrameKey{m_deck, slide, box});
        };
        QTRY_COMPARE_WITH_TIMEOUT(show->shownSlide(), 1, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(held(2) && held(3) && held(4), 30000);
        QVERIFY(!held(8));

        Request go = req(Op::GotoSlide, id, 3);
        go.flag = -1;
        QVERIFY(call(host, go).ok);
        // Painted before the host handles anything but the step's other switches.
        call(host, req(Op::CurrentSlide, id));
        QCOMPARE(show->shownSlide(), 3);

        go.slide = 8;
        QVERIFY(call(host, go).ok);
        QCOMPARE(show->currentSlide(), 8);
        QCOMPARE(show->shownSlide(), 3); // not ready yet: the old slide stays up
        QTRY_COMPARE_WITH_TIMEOUT(show->shownSlide(), 8, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(held(7), 30000);
    }

    // A step's held slides wait for its other switches and go up together; one that is not
    // held leaves the others' waiting, and nothing waits longer than a moment.
    void aStepsHeldSlidesGoUpTogether()
    {
        PresentationHost host(settings());
        std::vector<std::int64_t> ids;
        std::vector<ShowWindow *> shows;
        for (int i = 0; i < 3; ++i) {
            ids.push_back(call(host, openReq(m_deck)).value);
            call(host, req(Op::Run, ids.back()));
            shows.push_back(host.showWindow(ids.back()));
        }
        const auto held = [&](int slide) {
            return host.frameCache().contains(FrameKey{m_deck, slide, shows[0]->frameBox()});
        };
        QTRY_VERIFY(held(2) && held(3));
        QVERIFY(!held(7));
        const auto shown = [&] {
            return std::vector<int>{shows[0]->shownSlide(), shows[1]->shownSlide(),
                                    shows[2]->shownSlide()};
        };
        QTRY_COMPARE(shown(), (std::vector<int>{1, 1, 1}));

        for (size_t i = 0; i < 3; ++i) {
            call(host, req(Op::Activate, ids[i]));
            call(host, req(Op::CheckShow, ids[i]));
            call(host, req(Op::GotoSlide, ids[i], i == 1 ? 7 : 2));
        }
        QCOMPARE(shown(), (std::vector<int>{1, 1, 1}));
        call(host, req(Op::CheckSlide, ids[0], 2));
        QCOMPARE(shown(), (std::vector<int>{2, 1, 2}));
        QTRY_COMPARE(shown(), (std::vector<int>{2, 7, 2}));

        // A switch with nothing after it is not kept waiting.
        call(host, req(Op::Next, ids[0]));
        QTRY_COMPARE(shows[0]->shownSlide(), 3);

        // A key on the show while its switch waits: the key's slide stays up.
        QTRY_VERIFY(held(1) && held(3));
        call(host, req(Op::GotoSlide, ids[2], 3));
        QTest::keyClick(shows[2], Qt::Key_Home);
        call(host, req(Op::CheckSlide, ids[2], 1));
        QCOMPARE(shows[2]->shownSlide(), 1);
    }

    void slideIsLetterboxedOnBlack()
    {
        PresentationHost host(settings());
        const auto id = call(host, openReq(m_deck)).value;
        call(host, req(Op::Run, id));
        Request wide = req(Op::SetWidth, id);
        wide.points = 900; // 1200 px wide, as high as the screen: bars left and right
        QVERIFY(call(host, wide).ok);
        ShowWindow *show = host.showWindow(id);
        QCOMPARE(show->width(), 1200);
        QTRY_VERIFY_WITH_TIMEOUT(host.frameCache().contains(FrameKey{m_deck, 1, show->frameBox()}),
                                 30000);
        QTRY_COMPARE_WITH_TIMEOUT(show->shownSlide(), 1, 30000);
        const QImage shot = show->grab().toImage();
        const int h = shot.height();
        const QRect slide = letterboxRect(QSize(720, 540), shot.size());
        QVERIFY(slide.left() > 10);
        QCOMPARE(shot.pixelColor(slide.left() / 2, h / 2), QColor(Qt::black));
        QCOMPARE(shot.pixelColor(shot.width() - slide.left() / 2, h / 2), QColor(Qt::black));
        QVERIFY(sameColour(shot.pixelColor(slide.left() + 10, h - 10), pageColour(0, 1), 4));
    }

    void viewStateIsSetAndAnswered()
    {
        PresentationHost host(settings());
        const auto id = call(host, openReq(m_deck)).value;
        call(host, req(Op::Run, id));
        ShowWindow *show = host.showWindow(id);
        QTRY_COMPARE_WITH_TIMEOUT(show->shownSlide(), 1, 30000);
        const auto setState = [&](int state) {
            Request r = req(Op::SetViewState, id);
            r.flag = state;
            return call(host, r);
        };
        QCOMPARE(call(host, req(Op::ViewState, id)).value, 1);
        for (const int bad : {0, 6, -1, 1000}) {
            const Reply refused = setState(bad);
            QVERIFY(!refused.ok);
            QCOMPARE(refused.description,
                     QStringLiteral("The value %1 is not a slide show state (1 running, 2 "
                                    "paused, 3 black screen, 4 white screen, 5 done).")
                         .arg(bad));
        }
        const std::vector<std::pair<int, QString>> states{
            {2, QStringLiteral("paused")},
            {5, QStringLiteral("done")},
            {4, QStringLiteral("white")},
            {3, QStringLiteral("black")},
        };
        for (const auto &[state, name] : states) {
            QVERIFY(setState(state).ok);
            QCOMPARE(call(host, req(Op::ViewState, id)).value, state);
            QVERIFY(host.statusText().contains(QStringLiteral("screen ") + name));
        }

        // The preview is still of the slide.
        Request preview = req(Op::Export, id, 1);
        preview.path = m_dir.filePath(QStringLiteral("blanked.png"));
        preview.filter = QStringLiteral("PNG");
        preview.width = 64;
        preview.height = 48;
        QVERIFY(call(host, preview).ok);
        QVERIFY(sameColour(cornerColour(QImage(preview.path)), pageColour(0, 1), 4));
        // A show run again starts on its slides.
        QVERIFY(setState(4).ok);
        call(host, req(Op::Run, id));
        QCOMPARE(call(host, req(Op::ViewState, id)).value, 1);
    }

    void heldFramesStayWithinTheCap()
    {
        // Room for three frames of the offscreen screen's size.
        PresentationHost probe(settings());
        call(probe, req(Op::Run, call(probe, openReq(m_deck)).value));
        const std::int64_t frame = frameBytes(probe.showWindow(1)->frameBox());
        PresentationHost host(settings(3 * frame + frame / 2));
        const auto id = call(host, openReq(m_deck)).value;
        call(host, req(Op::Run, id));
        ShowWindow *show = host.showWindow(id);
        for (int slide = 1; slide <= 8; ++slide) {
            Request go = req(Op::GotoSlide, id, slide);
            call(host, go);
            QTRY_COMPARE_WITH_TIMEOUT(show->shownSlide(), slide, 30000);
            QVERIFY(host.frameCache().bytes() <= host.frameCache().capBytes());
        }
    }

    void applicationWindowListsPresentations()
    {
        PresentationHost host(settings());
        const auto id = call(host, openReq(m_deck)).value;
        call(host, openReq(m_deck));
        call(host, req(Op::Run, id));
        Request visible = req(Op::SetVisible);
        visible.flag = -1;
        call(host, visible);
        QVERIFY(host.appWindow()->isVisible());
        QTableWidget *table = host.appWindow()->table();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 1)->text(), m_deck);
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("running"));
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("not running"));
        visible.flag = 0;
        call(host, visible);
        QVERIFY(!host.appWindow()->isVisible());

        // Its button ends every show, and then the host.
        bool gaveUp = false;
        QTimer giveUp;
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, this, [&] {
            gaveUp = true;
            QCoreApplication::quit();
        });
        giveUp.start(10000);
        QTimer::singleShot(0, host.appWindow()->cmdEndAll(), &QPushButton::click);
        QCoreApplication::exec();
        QVERIFY(!gaveUp);
        QCOMPARE(host.appWindow()->cmdEndAll()->text(), QStringLiteral("End all shows and quit"));
        QVERIFY(host.showWindow(id) == nullptr);
    }

    void slidesAreLetterboxed()
    {
        QCOMPARE(letterboxRect(QSize(400, 300), QSize(1200, 600)), QRect(200, 0, 800, 600));
        QCOMPARE(letterboxRect(QSize(1600, 900), QSize(800, 600)), QRect(0, 75, 800, 450));
    }

    // What the host holds ahead, most wanted first: the slides on screen, then the prepared
    // slides rank by rank across the shows, then the neighbours until the memory is spent.
    void preparedFramesComeBeforeNeighbours_data()
    {
        QTest::addColumn<int>("framesOfRoom");
        QTest::addColumn<std::vector<int>>("prepared");
        QTest::addColumn<Planned>("wanted");
        using W = Planned;
        QTest::newRow("no hint, room for all")
            << 20 << std::vector<int>{} << W{{0, 10}, {1, 1}, {0, 11}, {1, 2},  {0, 12},
                                             {1, 3},  {0, 9}, {1, 4},  {0, 13}, {0, 8}};
        QTest::newRow("hinted, room for all")
            << 20 << std::vector<int>{20, 9}
            << W{{0, 10}, {1, 1}, {0, 20}, {0, 9},  {0, 11}, {1, 2},
                 {0, 12}, {1, 3}, {1, 4},  {0, 13}, {0, 8}};
        QTest::newRow("hinted, the farthest neighbours make room")
            << 6 << std::vector<int>{20, 9} << W{{0, 10}, {1, 1}, {0, 20}, {0, 9}, {0, 11}, {1, 2}};
        QTest::newRow("only the slides on screen, whatever the room")
            << 1 << std::vector<int>{20} << W{{0, 10}, {1, 1}};
        QTest::newRow("no frame 0, none twice")
            << 20 << std::vector<int>{0, 10} << W{{0, 10}, {1, 1}, {0, 11}, {1, 2},  {0, 12},
                                                  {1, 3},  {0, 9}, {1, 4},  {0, 13}, {0, 8}};
    }
    void preparedFramesComeBeforeNeighbours()
    {
        QFETCH(int, framesOfRoom);
        QFETCH(std::vector<int>, prepared);
        QFETCH(Planned, wanted);
        const QSize box(40, 30);
        // Plain decks: the neighbours are those a show's window lists, 1-based.
        const auto around = [](int pages, int slide) {
            std::vector<int> out = pagesAround(plainDeck(pages), {slide, 0}, false);
            for (int &page : out) {
                ++page;
            }
            return out;
        };
        const std::vector<ShowFrames> shows{
            {QStringLiteral("a.pdf"), box, around(30, 10), prepared},
            {QStringLiteral("b.pdf"), box, around(4, 1), {}}};
        const FramePlan plan = planFrames(shows, framesOfRoom * frameBytes(box));
        std::vector<FrameKey> expected;
        for (const auto &[show, frame] : wanted) {
            expected.push_back(FrameKey{shows[static_cast<size_t>(show)].pdf, frame, box});
        }
        QCOMPARE(plan.wanted, expected);
        QCOMPARE(plan.urgent, size_t(2));
    }

    // With builds, frames are pages: the prepared slide is held as its first state, ahead of
    // the next build and the next slide, which come before what a small memory leaves out.
    void preparedSlidesOfABuiltDeckAreHeldAsPages()
    {
        QString why;
        const auto deck = readDeckDescription(
            R"({"format":1,"slides":[{"states":[{"page":0},{"page":1,"trigger":"click"}]},)"
            R"({"states":[{"page":2}]},{"states":[{"page":3},{"page":4,"trigger":"click"}]},)"
            R"({"states":[{"page":5}]}]})",
            6, &why);
        QVERIFY2(deck, qPrintable(why));
        std::vector<int> around = pagesAround(*deck, {1, 0}, false);
        for (int &page : around) {
            ++page;
        }
        const QSize box(40, 30);
        const ShowFrames show{QStringLiteral("a.pdf"), box, around, {*frameOfSlide(*deck, 4)}};
        const auto pages = [&](int framesOfRoom) {
            std::vector<int> out;
            for (const FrameKey &key : planFrames({show}, framesOfRoom * frameBytes(box)).wanted) {
                out.push_back(key.slide);
            }
            return out;
        };
        QCOMPARE(pages(2), (std::vector<int>{1, 6}));
        QCOMPARE(pages(4), (std::vector<int>{1, 6, 2, 3}));
    }

    // A slide is prepared as its first build state's page.
    void aSlideIsPreparedAsItsFirstState()
    {
        QString why;
        const auto deck = readDeckDescription(
            R"({"format":1,"slides":[{"states":[{"page":0}]},)"
            R"({"states":[{"page":1},{"page":2,"trigger":"click"}]},{"states":[{"page":3}]}]})",
            4, &why);
        QVERIFY2(deck, qPrintable(why));
        QCOMPARE(frameOfSlide(*deck, 1), std::optional<int>(1));
        QCOMPARE(frameOfSlide(*deck, 3), std::optional<int>(4));
        QCOMPARE(frameOfSlide(*deck, 4), std::nullopt);
        QCOMPARE(frameOfSlide(*deck, 0), std::nullopt);
        QCOMPARE(frameOfSlide(plainDeck(5), 5), std::optional<int>(5));
    }

    void cacheEvictsUnwantedOldestFirst()
    {
        const auto key = [](int slide) {
            return FrameKey{QStringLiteral("x.pdf"), slide, QSize(10, 10)};
        };
        FrameCache cache(3 * 400);
        cache.insert(key(1), sizedImage(10, 10));
        cache.insert(key(2), sizedImage(10, 10));
        cache.insert(key(3), sizedImage(10, 10));
        cache.setWanted({key(1)});
        cache.insert(key(4), sizedImage(10, 10));
        QVERIFY(cache.contains(key(1)) && !cache.contains(key(2)));
        QVERIFY(cache.find(key(3)));
        cache.insert(key(5), sizedImage(10, 10));
        QVERIFY(cache.contains(key(1)) && cache.contains(key(3)) && cache.contains(key(5)));
        QVERIFY(!cache.contains(key(4)));
        QCOMPARE(cache.bytes(), 1200);
        // Replacing a frame does not count it twice.
        cache.insert(key(5), sizedImage(10, 10));
        QCOMPARE(cache.bytes(), 1200);
        const QImage *any = cache.findAnySize(QStringLiteral("x.pdf"), 3);
        QVERIFY(any && any->width() == 10);
        QVERIFY(!cache.findAnySize(QStringLiteral("y.pdf"), 3));
    }

    void messagesSurviveTheTrip()
    {
        Request r = req(Op::Export, 7, 3);
        r.path = QStringLiteral("/tmp/ä \"x\"/ExportSlide");
        r.filter = QStringLiteral("JPG");
        r.width = 175;
        r.height = 125;
        auto back = decodeRequest(encodeRequest(r));
        QVERIFY(back);
        QCOMPARE(int(back->op), int(Op::Export));
        QCOMPARE(back->pres, 7);
        QCOMPARE(back->slide, 3);
        QCOMPARE(back->path, r.path);
        QCOMPARE(back->width, 175);
        QCOMPARE(back->height, 125);

        Request prepare = req(Op::Prepare, 3);
        prepare.slides = {14, 2};
        QCOMPARE(decodeRequest(encodeRequest(prepare))->slides, prepare.slides);
        prepare.slides.clear();
        QVERIFY(decodeRequest(encodeRequest(prepare))->slides.empty());

        Request place = req(Op::SetLeft, 2);
        place.points = -1234.5;
        QCOMPARE(decodeRequest(encodeRequest(place))->points, -1234.5);

        auto fail =
            decodeReply(encodeReply(Reply::failure(QStringLiteral("S"), QStringLiteral("D"))));
        QVERIFY(fail && !fail->ok && fail->source == QStringLiteral("S") &&
                fail->description == QStringLiteral("D"));
        auto ok = decodeReply(encodeReply(Reply::success(-5, QStringLiteral("t"))));
        QVERIFY(ok && ok->ok && ok->value == -5 && ok->text == QStringLiteral("t"));
        Reply hello = Reply::success(9, QStringLiteral("g"));
        hello.session = QStringLiteral("s-1");
        QCOMPARE(decodeReply(encodeReply(hello))->session, QStringLiteral("s-1"));
        QVERIFY(!decodeReply(QByteArray(R"({"ok":true,"value":1,"text":"","session":3})")));
    }

    void endedShowsHoldNoFramesNorFiles()
    {
        PresentationHost host(settings());
        // Warm up once: the first show starts the render workers' own state.
        const auto first = call(host, openReq(m_deck)).value;
        call(host, req(Op::Run, first));
        // A first frame may take long on a loaded machine: waited for, not timed.
        QTRY_COMPARE_WITH_TIMEOUT(host.showWindow(first)->shownSlide(), 1, 60000);
        host.showWindow(first)->endShow();
        QTRY_COMPARE(host.frameCache().bytes(), 0);
        const int filesBefore = openFileCount();
        for (int i = 0; i < 200; ++i) {
            const auto id = call(host, openReq(m_deck)).value;
            QVERIFY(call(host, req(Op::Run, id)).ok);
            ShowWindow *show = host.showWindow(id);
            QTRY_COMPARE_WITH_TIMEOUT(show->shownSlide(), 1, 60000);
            show->endShow();
        }
        QCOMPARE(host.frameCache().bytes(), 0);
        QCOMPARE(host.frameCache().size(), 0);
        // The workers close their documents once they see the shows are gone.
        QTRY_VERIFY2(
            openFileCount() <= filesBefore + 2,
            qPrintable(
                QStringLiteral("%1 files open, %2 before").arg(openFileCount()).arg(filesBefore)));
        // A slide of a presentation without a show is still exported, drawn on demand.
        Request exportReq = req(Op::Export, first, 2);
        exportReq.path = m_dir.filePath(QStringLiteral("cold.png"));
        exportReq.filter = QStringLiteral("PNG");
        exportReq.width = 64;
        exportReq.height = 48;
        QVERIFY(call(host, exportReq).ok);
        QCOMPARE(QImage(exportReq.path).size(), QSize(64, 48));
    }

    void lackOfFilesIsSaidSo()
    {
        rlimit before{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &before) == 0);
        rlimit tight = before;
        // A new descriptor takes the lowest free number; a limit at that number leaves none.
        QFile probe(QStringLiteral("/dev/null"));
        QVERIFY(probe.open(QIODevice::ReadOnly));
        tight.rlim_cur = static_cast<rlim_t>(probe.handle());
        probe.close();
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &tight) == 0);
        QString why;
        const bool loaded = loadPdf(m_deck, &why) != nullptr;
        ::setrlimit(RLIMIT_NOFILE, &before);
        QVERIFY(!loaded);
        QCOMPARE(why, QStringLiteral("cannot be opened: too many open files"));
        QVERIFY(loadPdf(m_deck, &why) != nullptr);
    }

    void journalSurvivesTheTrip()
    {
        JournalState state;
        state.session = QStringLiteral("abc");
        state.nextId = 7;
        state.active = 5;
        JournalEntry shown;
        shown.id = 5;
        shown.file = QStringLiteral("/d/ä talk.pptx");
        shown.pdf = QStringLiteral("/c/123-pptx.pdf");
        shown.slideCount = 12;
        shown.showRunning = true;
        shown.slide = 9;
        shown.step = 3;
        shown.viewState = 4;
        shown.left = -1440.25;
        shown.width = 960;
        JournalEntry closed;
        closed.id = 2;
        closed.file = closed.pdf = QStringLiteral("/d/b.pdf");
        closed.slideCount = 3;
        state.presentations = {closed, shown};
        QStringList problems;
        QCOMPARE(decodeJournal(encodeJournal(state), &problems), std::optional(state));
        QVERIFY(problems.isEmpty());
        // Written before build steps were kept: the slide from its start.
        const auto older = decodeJournal(
            R"({"version":1,"session":"s","nextId":1,"active":1,"presentations":[{"id":1,)"
            R"("file":"/a.pdf","pdf":"/a.pdf","slides":3,"show":true,"slide":2}]})",
            &problems);
        QVERIFY(older && older->presentations.size() == 1 && problems.isEmpty());
        QCOMPARE(older->presentations[0].slide, 2);
        QCOMPARE(older->presentations[0].step, 0);
        QCOMPARE(older->presentations[0].viewState, 1);
        // Only a show not running writes it: one that cannot be read stays covered.
        const auto damaged = decodeJournal(
            R"({"version":1,"session":"s","nextId":1,"active":1,"presentations":[{"id":1,)"
            R"("file":"/a.pdf","pdf":"/a.pdf","slides":3,"show":true,"slide":2,"view":9}]})",
            &problems);
        QVERIFY(damaged && damaged->presentations.size() == 1);
        QCOMPARE(damaged->presentations[0].viewState, 3);

        const Journal journal(m_dir.filePath(QStringLiteral("journal.json")));
        QVERIFY(!journal.load(&problems));
        QCOMPARE(journal.save(state), QString());
        QCOMPARE(journal.load(&problems), std::optional(state));
        journal.remove();
        QVERIFY(!journal.load(&problems) && problems.isEmpty());
    }

    void damagedJournalEntriesAreLeftOut_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::newRow("no id") << QByteArray(
            R"({"file":"/a.pdf","pdf":"/a.pdf","slides":3,"show":false})");
        QTest::newRow("id zero") << QByteArray(
            R"({"id":0,"file":"/a.pdf","pdf":"/a.pdf","slides":3,"show":false})");
        QTest::newRow("no file") << QByteArray(
            R"({"id":4,"pdf":"/a.pdf","slides":3,"show":false})");
        QTest::newRow("slide beyond the deck") << QByteArray(
            R"({"id":4,"file":"/a.pdf","pdf":"/a.pdf","slides":3,"show":true,"slide":4})");
        QTest::newRow("width of nothing") << QByteArray(
            R"({"id":4,"file":"/a.pdf","pdf":"/a.pdf","slides":3,"show":true,"slide":1,"width":0})");
        QTest::newRow("left as text") << QByteArray(
            R"({"id":4,"file":"/a.pdf","pdf":"/a.pdf","slides":3,"show":true,"slide":1,"left":"0"})");
        QTest::newRow("same id twice")
            << QByteArray(R"({"id":1,"file":"/b.pdf","pdf":"/b.pdf","slides":2,"show":false})");
    }
    void damagedJournalEntriesAreLeftOut()
    {
        QFETCH(QByteArray, entry);
        const QByteArray good =
            R"({"id":1,"file":"/a.pdf","pdf":"/a.pdf","slides":3,"show":true,"slide":2,"top":12})";
        const QByteArray text =
            R"({"version":1,"session":"s","nextId":1,"active":1,"presentations":[)" + good + "," +
            entry + "]}";
        QStringList problems;
        const auto state = decodeJournal(text, &problems);
        QVERIFY(state);
        QCOMPARE(state->presentations.size(), size_t(1));
        QCOMPARE(state->presentations[0].slide, 2);
        QCOMPARE(state->presentations[0].top, std::optional(12.0));
        QCOMPARE(problems.size(), 1);

        // What cannot be read at all, or is of another version, is not used.
        for (const QByteArray &broken :
             {QByteArray("{"),
              QByteArray(R"({"version":2,"session":"s","nextId":1,"active":1,"presentations":[]})"),
              QByteArray(R"({"version":1,"session":"s","nextId":1,"active":1})")}) {
            QVERIFY(!decodeJournal(broken, &problems));
        }
    }

    void badTopValuesCostOnlyThemselves_data()
    {
        QTest::addColumn<QByteArray>("top");
        QTest::addColumn<QString>("session");
        QTest::addColumn<qint64>("nextId");
        QTest::addColumn<qint64>("active");
        QTest::newRow("fine") << QByteArray(R"("session":"s","nextId":2,"active":9)")
                              << QStringLiteral("s") << qint64(9) << qint64(9);
        QTest::newRow("next id beyond any")
            << QByteArray(R"("session":"s","nextId":1e300,"active":9)") << QStringLiteral("s")
            << qint64(9) << qint64(9);
        QTest::newRow("next id as text") << QByteArray(R"("session":"s","nextId":"3","active":9)")
                                         << QStringLiteral("s") << qint64(9) << qint64(9);
        QTest::newRow("active broken") << QByteArray(R"("session":"s","nextId":12,"active":-1)")
                                       << QStringLiteral("s") << qint64(12) << qint64(0);
        QTest::newRow("no session")
            << QByteArray(R"("nextId":2,"active":9)") << QString() << qint64(9) << qint64(9);
    }
    void badTopValuesCostOnlyThemselves()
    {
        QFETCH(QByteArray, top);
        QFETCH(QString, session);
        QFETCH(qint64, nextId);
        QFETCH(qint64, active);
        const QByteArray text =
            R"({"version":1,)" + top +
            R"(,"presentations":[{"id":9,"file":"/a.pdf","pdf":"/a.pdf","slides":3,"show":true,"slide":2}]})";
        QStringList problems;
        const auto state = decodeJournal(text, &problems);
        QVERIFY(state);
        QCOMPARE(state->session, session);
        QCOMPARE(state->nextId, nextId);
        QCOMPARE(state->active, active);
        QCOMPARE(state->presentations.size(), size_t(1));
        QCOMPARE(problems.isEmpty(), QTest::currentDataTag() == QByteArray("fine"));
    }

    void longUnusedEndedPresentationsAreForgotten()
    {
        const std::int64_t now = 2'000'000'000;
        const std::int64_t day = 24 * 3600;
        std::vector<JournalEntry> entries;
        const auto add = [&](std::int64_t id, bool running, std::int64_t touched) {
            JournalEntry e;
            e.id = id;
            e.showRunning = running;
            e.touched = touched;
            entries.push_back(e);
        };
        add(1, true, now - 400 * day); // a running show stays however old
        add(2, false, now - 400 * day);
        add(3, false, now - day);
        add(4, false, 0); // from a journal that did not say: kept while within the bound
        QCOMPARE(presentationsToForget(entries, now), std::vector<std::int64_t>{2});

        // Beyond the bound the least recently used go first.
        entries.clear();
        for (std::int64_t id = 1; id <= std::int64_t(maxIdlePresentations) + 5; ++id) {
            add(id, false, now - id);
        }
        add(99999, true, now - 1000000);
        const auto forgotten = presentationsToForget(entries, now);
        QCOMPARE(forgotten.size(), size_t(5));
        for (std::int64_t id : forgotten) {
            QVERIFY(id > std::int64_t(maxIdlePresentations));
        }
    }

    void textsForOneLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << QStringLiteral("/d/ä talk.pdf")
                               << QStringLiteral("/d/ä talk.pdf");
        QTest::newRow("newline") << QStringLiteral("/d/a\n2026 forged: line.pdf")
                                 << QStringLiteral("/d/a\\n2026 forged: line.pdf");
        QTest::newRow("controls") << QStringLiteral("a\r\tb") + QChar(0x1b) + QChar(0x2028)
                                  << QStringLiteral("a\\r\\tb\\x{1b}\\x{2028}");
    }
    void textsForOneLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(oneLine(text), line);
    }

    void exportSizesAreBounded_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("quick");
        QTest::newRow("preview") << 175 << 131 << true << true;
        QTest::newRow("4K") << 3840 << 2160 << true << false;
        QTest::newRow("8K") << 7680 << 4320 << true << false;
        QTest::newRow("tall 8K") << 4320 << 7680 << true << false;
        QTest::newRow("square beyond") << 8000 << 8000 << false << false;
        QTest::newRow("largest once accepted") << 10000 << 10000 << false << false;
        QTest::newRow("thin beyond a side") << 9000 << 10 << false << true;
        QTest::newRow("nothing") << 0 << 10 << false << true;
    }
    void exportSizesAreBounded()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, accepted);
        QFETCH(bool, quick);
        QCOMPARE(exportSizeProblem(width, height).isEmpty(), accepted);
        QCOMPARE(exportIsQuick(QSize(width, height)), quick);
    }

    void workStuckInTheKernelIsAbandoned()
    {
        // Opening a named pipe nobody writes to blocks in the kernel, as a read from a share
        // that hangs does.
        const QByteArray fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("stuck.fifo")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        DeadlineWorkers workers(1);
        std::vector<QString> outcomes;
        workers.run(
            300,
            [fifo] {
                const int fd = ::open(fifo.constData(), O_RDONLY | O_CLOEXEC);
                if (fd >= 0) {
                    ::close(fd);
                }
                return QStringLiteral("opened");
            },
            [&](const QString &what) { outcomes.push_back(what); },
            [&] { outcomes.push_back(QStringLiteral("late")); });
        // Queued behind it, and not held up by it for longer than its deadline.
        workers.run(
            5000, [] { return QStringLiteral("next"); },
            [&](const QString &what) { outcomes.push_back(what); },
            [&] { outcomes.push_back(QStringLiteral("next late")); });
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), size_t(2), 30000);
        QCOMPARE(outcomes, (std::vector<QString>{QStringLiteral("late"), QStringLiteral("next")}));
        QCOMPARE(workers.abandoned(), 1);

        // Freed at last, its result is dropped.
        const int writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(writer >= 0);
        QTest::qWait(200);
        ::close(writer);
        QCOMPARE(outcomes.size(), size_t(2));
    }

    void malformedMessagesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("not json") << QByteArray("gotoSlide 3");
        QTest::newRow("array") << QByteArray("[1,2]");
        QTest::newRow("unknown op") << QByteArray(R"({"op":"shutdown"})");
        QTest::newRow("op not text") << QByteArray(R"({"op":5})");
        QTest::newRow("missing field") << QByteArray(R"({"op":"gotoSlide","pres":1,"slide":2})");
        QTest::newRow("extra field") << QByteArray(R"({"op":"next","pres":1,"slide":2})");
        QTest::newRow("fraction") << QByteArray(R"({"op":"next","pres":1.5})");
        QTest::newRow("negative id") << QByteArray(R"({"op":"next","pres":-1})");
        QTest::newRow("slide above 32 bits")
            << QByteArray(R"({"op":"checkSlide","pres":1,"slide":4294967296})");
        QTest::newRow("number as text") << QByteArray(R"({"op":"next","pres":"1"})");
        QTest::newRow("path not text") << QByteArray(R"({"op":"open","path":7})");
        QTest::newRow("slides not a list") << QByteArray(R"({"op":"prepare","pres":1,"slides":3})");
        QTest::newRow("slide in the list as text")
            << QByteArray(R"({"op":"prepare","pres":1,"slides":[2,"3"]})");
        QTest::newRow("too many slides")
            << QByteArray(R"({"op":"prepare","pres":1,"slides":[1,2,3,4,5,6,7,8,9,10,11,12,13,)"
                          R"(14,15,16,17]})");
    }
    void malformedMessagesAreRefused()
    {
        QFETCH(QByteArray, payload);
        QVERIFY(!decodeRequest(payload));
        QVERIFY(!decodeReply(payload));
        QVERIFY(!decodeReply(QByteArray(R"({"ok":true,"value":1})")));
        QVERIFY(!decodeReply(QByteArray(R"({"ok":false,"source":"s"})")));
        QVERIFY(!decodeReply(QByteArray(R"({"ok":true,"value":0.5,"text":""})")));
    }

    void framesAreCutFromAStream()
    {
        const QByteArray a = encodeRequest(req(Op::Next, 1));
        const QByteArray b = encodeRequest(req(Op::Status));
        const QByteArray stream = frame(a) + frame(b);
        FrameReader reader;
        for (char c : stream) {
            reader.append(QByteArray(1, c));
        }
        QCOMPARE(reader.next().value(), a);
        QCOMPARE(reader.next().value(), b);
        QVERIFY(!reader.next());

        // A length beyond the limit spoils the stream for good.
        QByteArray huge(4, Qt::Uninitialized);
        qToBigEndian<quint32>(maxFrameBytes + 1, huge.data());
        FrameReader spoilt;
        spoilt.append(huge + frame(a));
        QVERIFY(!spoilt.next());
        QVERIFY(spoilt.failed());
        spoilt.append(frame(a));
        QVERIFY(!spoilt.next());
    }
};

CORVANE_TEST_MAIN(TestHostCore)
#include "tst_host_core.moc"

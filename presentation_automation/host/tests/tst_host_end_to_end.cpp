// The real host program driven through the client, as the controllers drive it.

#include "deck_maker.h"
#include "host_test_support.h"
#include "presentation_automation/host/service/protocol.h"

#include "platform/testing/test_main.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>

#include <map>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;

namespace {

QImage exported(const QString &path, QByteArray *format = nullptr)
{
    QImageReader reader(path);
    if (format) {
        *format = reader.format();
    }
    return reader.read();
}

struct ShowOnScreen
{
    int slide = 0;     // the slide drawn, 0 before the first frame
    QString placement; // left, top, width in points as the host lists them
};

// The running shows by presentation id, from the host's listing; empty when no host answers.
std::map<std::int64_t, ShowOnScreen> showsOnScreen(const ClientOptions &options)
{
    static const QRegularExpression line(
        QStringLiteral("^(\\d+): .*show running on slide \\d+, window (left \\S+ pt, top \\S+ "
                       "pt, width \\S+ pt) .*slide on screen: (\\d+)$"),
        QRegularExpression::MultilineOption);
    std::map<std::int64_t, ShowOnScreen> out;
    try {
        auto it = line.globalMatch(statusListing(options));
        while (it.hasNext()) {
            const auto m = it.next();
            out[m.captured(1).toLongLong()] = {m.captured(3).toInt(), m.captured(2)};
        }
    } catch (const AutomationError &) {
    }
    return out;
}

// A listening socket that answers the greeting and then talks nonsense.
class NonsenseServer
{
public:
    NonsenseServer(const QString &path, bool greet) : m_greet(greet)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::memcpy(addr.sun_path, native.constData(), static_cast<size_t>(native.size()));
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        ::listen(m_fd, 4);
        m_thread = std::thread([this] { serve(); });
    }
    ~NonsenseServer()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_thread.join();
    }

private:
    void serve()
    {
        const int client = ::accept(m_fd, nullptr, nullptr);
        if (client < 0) {
            return;
        }
        char buffer[4096];
        if (m_greet && ::read(client, buffer, sizeof buffer) > 0) {
            const QByteArray hello = frame(encodeReply(Reply::success(
                QCoreApplication::applicationPid(), QLatin1String(protocolGreeting))));
            (void)::write(client, hello.constData(), static_cast<size_t>(hello.size()));
        }
        if (::read(client, buffer, sizeof buffer) > 0) {
            const QByteArray junk = frame(QByteArrayLiteral("{\"ok\":\"perhaps\"}"));
            (void)::write(client, junk.constData(), static_cast<size_t>(junk.size()));
        }
        ::read(client, buffer, sizeof buffer);
        ::close(client);
    }

    int m_fd = -1;
    bool m_greet;
    std::thread m_thread;
};

} // namespace

class TestHostEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_fx;

    QString deck(const QString &name, int pages, int deckNo = 0)
    {
        const QString p = m_fx->path(name);
        if (!QFileInfo::exists(p)) {
            makeDeck(p, pages, deckNo);
        }
        return p;
    }

private slots:
    void init() { m_fx = std::make_unique<HostFixture>(); }
    void cleanup() { m_fx.reset(); }

    void openRunStepAndExport()
    {
        const QString file = deck(QStringLiteral("talk.pdf"), 5);
        auto app = applicationFactory(m_fx->options)();
        app->setVisible(msoTrue);
        auto pres = app->presentations()->open(str(file), msoFalse, msoFalse, msoTrue);
        QCOMPARE(pres->slides()->count(), 5);
        pres->slideShowSettings()->run();
        auto window = pres->slideShowWindow();
        window->setLeft(-36);
        window->setTop(18);
        window->setWidth(720);
        auto view = window->view();
        QCOMPARE(view->slide()->slideIndex(), 1);

        view->gotoSlide(3, msoTrue);
        QCOMPARE(view->slide()->slideIndex(), 3);
        const QString picture = m_fx->path(QStringLiteral("ExportSlide"));
        app->activePresentation()->slides()->item(3)->exportTo(str(picture), "JPG", 175, 125);
        QByteArray format;
        QImage image = exported(picture, &format);
        QCOMPARE(format, QByteArray("jpeg"));
        QCOMPARE(image.size(), QSize(175, 125));
        QVERIFY(sameColour(cornerColour(image), pageColour(0, 3)));

        view->next();
        view->next();
        view->next(); // stays on the last slide
        QCOMPARE(view->slide()->slideIndex(), 5);
        view->previous();
        QCOMPARE(view->slide()->slideIndex(), 4);
        auto outOfRange = errorOf([&] { view->gotoSlide(6, msoTrue); });
        QVERIFY(outOfRange);
        QVERIFY(QString::fromStdString(outOfRange->description())
                    .contains(QStringLiteral("GotoSlide")));
        QVERIFY(errorOf([&] { view->gotoSlide(0, msoTrue); }));
        QCOMPARE(view->slide()->slideIndex(), 4);

        // -36 pt is -48 px, 18 pt is 24 px, 720 pt is 960 px; the height is the slide's at that
        // width.
        const QString status = statusListing(m_fx->options);
        QVERIFY2(status.contains(QStringLiteral(
                     "show running on slide 4, window left -36 pt, top 18 pt, width 720 pt (960x")),
                 qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral("at -48,24)")), qPrintable(status));
    }

    // A jump to a slide the controller prepared is drawn from a frame held ahead; a jump to
    // one it did not prepare, far from the slide on screen, is drawn when asked for.
    void aPreparedJumpIsDrawnFromAHeldFrame()
    {
        const QString file = deck(QStringLiteral("jumps.pdf"), 30);
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(file));
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        pres->prepareSlides({20, 14});
        static const QRegularExpression framesLine(
            QStringLiteral(
                "frames held for pages: ([^;]*); prepared slides: ([^;]*); page on screen "
                "(.*)$"),
            QRegularExpression::MultilineOption);
        const auto frames = [&] { return framesLine.match(statusListing(m_fx->options)); };
        const auto holds = [&](const QString &slide) {
            return heldPagesIn(statusListing(m_fx->options)).contains(slide);
        };
        QCOMPARE(frames().captured(2), QStringLiteral("20, 14"));
        QTRY_VERIFY_WITH_TIMEOUT(holds(QStringLiteral("20")) && holds(QStringLiteral("14")), 30000);
        QVERIFY(!holds(QStringLiteral("27")));

        view->gotoSlide(20, msoTrue);
        QCOMPARE(showsOnScreen(m_fx->options)[1].slide, 20);
        QCOMPARE(frames().captured(3), QStringLiteral("from a frame held ahead"));

        view->gotoSlide(27, msoTrue);
        QTRY_COMPARE_WITH_TIMEOUT(showsOnScreen(m_fx->options)[1].slide, 27, 30000);
        QCOMPARE(frames().captured(3), QStringLiteral("drawn when needed"));
        pres->prepareSlides({});
        QCOMPARE(frames().captured(2), QStringLiteral("none"));
    }

    void exportFormatsAndPaths()
    {
        const QString file = deck(QStringLiteral("formats.pdf"), 3);
        auto app = applicationFactory(m_fx->options)();
        auto slides = app->presentations()->open(str(file))->slides();
        const QString folder = m_fx->path(QStringLiteral("pictures"));
        QDir().mkpath(folder);
        const QString target = folder + QStringLiteral("/ExportSlide");

        slides->item(1)->exportTo(str(target), "png", 64, 48);
        QByteArray format;
        QImage image = exported(target, &format);
        QCOMPARE(format, QByteArray("png"));
        QCOMPARE(image.size(), QSize(64, 48));
        QVERIFY(sameColour(cornerColour(image), pageColour(0, 1), 2));

        // The old picture is replaced, by another format and size, at the same path.
        slides->item(2)->exportTo(str(target), "Bmp", 300, 100);
        image = exported(target, &format);
        QCOMPARE(format, QByteArray("bmp"));
        QCOMPARE(image.size(), QSize(300, 100));
        QVERIFY(sameColour(cornerColour(image), pageColour(0, 2), 2));
        // Exactly that one file: no extension added, no temporary left behind.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("ExportSlide")});

        const auto unknownFilter =
            errorOf([&] { slides->item(1)->exportTo(str(target), "GIF", 175, 125); });
        QVERIFY(unknownFilter);
        QVERIFY(
            QString::fromStdString(unknownFilter->description()).contains(QStringLiteral("GIF")));
        const QString missing = m_fx->path(QStringLiteral("no such folder/ExportSlide"));
        const auto noFolder =
            errorOf([&] { slides->item(1)->exportTo(str(missing), "JPG", 175, 125); });
        QVERIFY(noFolder);
        QVERIFY(QString::fromStdString(noFolder->description())
                    .contains(QStringLiteral("no such folder")));
        QVERIFY(errorOf([&] { slides->item(4); }));
        QVERIFY(errorOf([&] { slides->item(0); }));
        QVERIFY(errorOf([&] { slides->item(1)->exportTo(str(target), "JPG", 0, 125); }));
        // None of the failures touched the picture that was there.
        image = exported(target, &format);
        QCOMPARE(format, QByteArray("bmp"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);

        // A relative name is the caller's folder, not the host's.
        const QString before = QDir::currentPath();
        QDir::setCurrent(folder);
        slides->item(3)->exportTo("Relative", "JPG", 175, 125);
        QDir::setCurrent(before);
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Relative")));
    }

    void activePresentationFollowsOpenRunAndActivate()
    {
        auto app = applicationFactory(m_fx->options)();
        QVERIFY(errorOf([&] { app->activePresentation(); }));
        auto a = app->presentations()->open(str(deck(QStringLiteral("a.pdf"), 3, 1)));
        auto b = app->presentations()->open(str(deck(QStringLiteral("b.pdf"), 4, 2)));
        const auto activeCount = [&] { return app->activePresentation()->slides()->count(); };
        QCOMPARE(activeCount(), 4);
        a->slideShowSettings()->run();
        QCOMPARE(activeCount(), 3);
        b->slideShowSettings()->run();
        QCOMPARE(activeCount(), 4);
        a->slideShowWindow()->activate();
        QCOMPARE(activeCount(), 3);
        // Stepping a show does not change which one is active.
        b->slideShowWindow()->view()->next();
        QCOMPARE(activeCount(), 3);
        auto c = app->presentations()->open(str(deck(QStringLiteral("c.pdf"), 2, 3)));
        QCOMPARE(activeCount(), 2);
        // The same file opened again is a presentation of its own.
        auto a2 = app->presentations()->open(str(deck(QStringLiteral("a.pdf"), 3, 1)));
        a2->slideShowSettings()->run();
        a2->slideShowWindow()->view()->gotoSlide(3);
        QCOMPARE(a->slideShowWindow()->view()->slide()->slideIndex(), 1);
        QVERIFY(errorOf([&] { c->slideShowWindow(); }));
    }

    void statusFromTheCommandLine()
    {
        const QString program = m_fx->options.hostProgram;
        QProcess none;
        none.start(program,
                   {QStringLiteral("--status"), QStringLiteral("--runtime-dir"), m_fx->runtimeDir});
        QVERIFY(none.waitForFinished(20000));
        QCOMPARE(none.exitCode(), 1);
        QVERIFY(none.readAllStandardError().contains("No presentation host is running."));

        const QString file = deck(QStringLiteral("listed.pdf"), 6);
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(file));
        app->presentations()->open(str(file));
        pres->slideShowSettings()->run();
        pres->slideShowWindow()->view()->gotoSlide(5);
        QProcess status;
        status.start(program, {QStringLiteral("--status"), QStringLiteral("--runtime-dir"),
                               m_fx->runtimeDir});
        QVERIFY(status.waitForFinished(20000));
        QCOMPARE(status.exitCode(), 0);
        const QString out = QString::fromUtf8(status.readAllStandardOutput());
        QVERIFY2(out.contains(
                     QStringLiteral("1: %1, 6 slides, show running on slide 5, window left 0 pt")
                         .arg(file)),
                 qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("2: %1, 6 slides, no show running").arg(file)),
                 qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("Active presentation: 1")), qPrintable(out));
    }

    void twoControllersShareOneHostThatOutlivesThem()
    {
        const QString file = deck(QStringLiteral("shared.pdf"), 4);
        {
            auto first = applicationFactory(m_fx->options)();
            auto pres = first->presentations()->open(str(file));
            pres->slideShowSettings()->run();
            auto second = applicationFactory(m_fx->options)();
            auto seen = second->activePresentation();
            QCOMPARE(seen->slides()->count(), 4);
            seen->slideShowWindow()->view()->next();
            QCOMPARE(pres->slideShowWindow()->view()->slide()->slideIndex(), 2);
            QCOMPARE(hostProcesses(m_fx->runtimeDir).size(), size_t(1));
        }
        // Both controllers are gone; the host keeps the show where it was.
        const qint64 pid = runningHostPid(m_fx->options);
        QVERIFY(pid > 0);
        auto later = applicationFactory(m_fx->options)();
        QCOMPARE(runningHostPid(m_fx->options), pid);
        QCOMPARE(later->activePresentation()->slideShowWindow()->view()->slide()->slideIndex(), 2);
    }

    void killedHostPutsEveryShowBack()
    {
        auto app = applicationFactory(m_fx->options)();
        std::vector<int> slides{3, 5, 2};
        std::vector<std::shared_ptr<Presentation>> shows;
        std::vector<std::shared_ptr<SlideShowView>> views;
        std::vector<std::int64_t> ids;
        for (int i = 0; i < 3; ++i) {
            auto pres =
                app->presentations()->open(str(deck(QStringLiteral("crash%1.pdf").arg(i), 8, i)));
            pres->slideShowSettings()->run();
            auto window = pres->slideShowWindow();
            window->setLeft(static_cast<float>(30 + 150 * i));
            window->setTop(static_cast<float>(12 * i));
            window->setWidth(static_cast<float>(240 + 10 * i));
            views.push_back(window->view());
            views.back()->gotoSlide(slides[static_cast<size_t>(i)], msoTrue);
            shows.push_back(pres);
        }
        std::map<std::int64_t, ShowOnScreen> before;
        QVERIFY(QTest::qWaitFor(
            [&] {
                before = showsOnScreen(m_fx->options);
                return before.size() == 3 && before.begin()->second.slide == 3 &&
                       std::next(before.begin())->second.slide == 5 &&
                       before.rbegin()->second.slide == 2;
            },
            20000));
        const auto active = app->activePresentation()->slides()->count();
        QCOMPARE(active, 8);

        const auto backOnScreen = [&](const std::vector<int> &expected, size_t count) {
            return QTest::qWaitFor(
                [&] {
                    const auto now = showsOnScreen(m_fx->options);
                    if (now.size() != count) {
                        return false;
                    }
                    size_t i = 0;
                    for (const auto &[id, show] : now) {
                        if (show.slide != expected[i] || show.placement != before[id].placement) {
                            return false;
                        }
                        ++i;
                    }
                    return true;
                },
                20000);
        };

        // Killed twice in a row: each time the controller starts a new host by itself (only
        // its event loop runs here, no call is made) and the shows come back as they were.
        for (int round = 0; round < 2; ++round) {
            const qint64 pid = runningHostPid(m_fx->options);
            QVERIFY(pid > 0);
            ::kill(static_cast<pid_t>(pid), SIGKILL);
            QVERIFY(processGone(pid, 5000));
            QVERIFY2(backOnScreen(slides, 3), qPrintable(QString::number(round)));
            QVERIFY(runningHostPid(m_fx->options) != pid);
        }
        // The same handles drive the restored shows.
        for (size_t i = 0; i < 3; ++i) {
            views[i]->next();
            ++slides[i];
            QCOMPARE(views[i]->slide()->slideIndex(), slides[i]);
        }
        QCOMPARE(app->activePresentation()->slides()->count(), 8);

        // A deck that is gone by then is left out, and said so in the log; the rest come back.
        QVERIFY(QFile::remove(m_fx->path(QStringLiteral("crash2.pdf"))));
        const qint64 pid = runningHostPid(m_fx->options);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        QVERIFY(processGone(pid, 5000));
        QVERIFY(backOnScreen(slides, 2));
        const auto gone = errorOf([&] { views[2]->next(); });
        QVERIFY(gone);
        QVERIFY2(QString::fromStdString(gone->description()).contains(QStringLiteral("not open")),
                 gone->what());
        QVERIFY(m_fx->log().contains(QStringLiteral("left out")));
        views[0]->next();
        QCOMPARE(views[0]->slide()->slideIndex(), slides[0] + 1);
    }

    void cleanlyEndedHostForgetsItsPresentations()
    {
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck(QStringLiteral("k.pdf"), 3)));
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        const qint64 pid = runningHostPid(m_fx->options);
        QVERIFY(QFile::exists(journalPath(m_fx->runtimeDir)));
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        QVERIFY(processGone(pid, 5000));
        QVERIFY(!QFile::exists(journalPath(m_fx->runtimeDir)));
        QVERIFY(!QFile::exists(socketPath(m_fx->runtimeDir)));

        // The old handles do not reach into the fresh host, where their ids mean nothing.
        const auto stale = errorOf([&] { view->next(); });
        QVERIFY(stale);
        QVERIFY2(QString::fromStdString(stale->description())
                         .startsWith(QStringLiteral("SlideShowView.Next : ")) &&
                     QString::fromStdString(stale->description())
                         .contains(QStringLiteral("started again")),
                 stale->what());
        auto fresh = applicationFactory(m_fx->options)();
        const qint64 freshPid = runningHostPid(m_fx->options);
        QVERIFY(freshPid > 0 && freshPid != pid);
        QVERIFY(errorOf([&] { fresh->activePresentation(); }));
    }

    void hungHostIsReportedNotReplaced()
    {
        m_fx->options.stepTimeoutMs = 1500;
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck(QStringLiteral("h.pdf"), 3)));
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        const qint64 pid = runningHostPid(m_fx->options);
        ::kill(static_cast<pid_t>(pid), SIGSTOP);

        QElapsedTimer clock;
        clock.start();
        const auto error = errorOf([&] { view->next(); });
        QVERIFY(error);
        QVERIFY2(
            QString::fromStdString(error->description()).contains(QStringLiteral("did not answer")),
            error->what());
        QVERIFY(clock.elapsed() < 10000);
        // The connection is given up: a late answer must not be taken for the next call's.
        QVERIFY(errorOf([&] { view->slide(); }));

        // A program started now reports the host instead of starting another one.
        const auto starting = errorOf([&] { applicationFactory(m_fx->options)(); });
        QVERIFY(starting);
        QVERIFY2(QString::fromStdString(starting->description())
                     .contains(QStringLiteral("not replaced")),
                 starting->what());
        QCOMPARE(hostProcesses(m_fx->runtimeDir), std::vector<qint64>{pid});

        // Woken up, it is the host again, with its show, on the same handles.
        ::kill(static_cast<pid_t>(pid), SIGCONT);
        QVERIFY(QTest::qWaitFor([&] { return !errorOf([&] { view->slide(); }); }, 10000));
        QCOMPARE(runningHostPid(m_fx->options), pid);
        auto again = applicationFactory(m_fx->options)();
        QCOMPARE(again->activePresentation()->slides()->count(), 3);
    }

    void stalledHostIsReachedAgainOnTheSameHandles()
    {
        m_fx->options.stepTimeoutMs = 1000;
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck(QStringLiteral("s.pdf"), 5)));
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        const qint64 pid = runningHostPid(m_fx->options);
        ::kill(static_cast<pid_t>(pid), SIGSTOP);
        QVERIFY(errorOf([&] { view->next(); }));
        ::kill(static_cast<pid_t>(pid), SIGCONT);
        // Calls right after a failure fail at once; a moment later the host is asked again.
        QElapsedTimer clock;
        clock.start();
        bool reached = false;
        while (!reached && clock.elapsed() < 10000) {
            reached = !errorOf([&] { view->next(); });
            QThread::msleep(50);
        }
        QVERIFY(reached);
        // The call that timed out may still have been carried out once the host went on.
        const int slide = view->slide()->slideIndex();
        QVERIFY2(slide == 3 || slide == 2, qPrintable(QString::number(slide)));
        QCOMPARE(runningHostPid(m_fx->options), pid);
    }

    void nonsenseFromTheHostIsAnError()
    {
        QVERIFY(preparePrivateFolder(m_fx->runtimeDir).isEmpty());
        {
            NonsenseServer server(socketPath(m_fx->runtimeDir), true);
            auto app = applicationFactory(m_fx->options)();
            const auto error = errorOf([&] { app->setVisible(msoTrue); });
            QVERIFY(error);
            QVERIFY2(
                QString::fromStdString(error->description()).contains(QStringLiteral("unreadable")),
                error->what());
        }
        // Something that does not even greet properly is replaced by a real host.
        {
            NonsenseServer server(socketPath(m_fx->runtimeDir), false);
            auto app = applicationFactory(m_fx->options)();
            app->setVisible(msoTrue);
            QCOMPARE(hostProcesses(m_fx->runtimeDir).size(), size_t(1));
        }
    }

    void badFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing.pdf" << QByteArray() << "was not found";
        QTest::newRow("empty") << "empty.pdf" << QByteArray("") << "is empty";
        QTest::newRow("corrupt") << "corrupt.pdf"
                                 << QByteArray("%PDF-1.4\n this is not a document at all")
                                 << "not a readable";
        // Refused by its first bytes, however large.
        QTest::newRow("large, not a PDF")
            << "large.pdf" << QByteArray(32 * 1024 * 1024, 'x') << "not a readable";
        QTest::newRow("unknown kind")
            << "notes.txt" << QByteArray("hello") << "not a kind of presentation";
        QTest::newRow("locked")
            << "locked.pdf"
            << QByteArray(
                   "%PDF-1.4\n"
                   "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                   "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
                   "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] >> endobj\n"
                   "4 0 obj << /Filter /Standard /V 1 /R 2 /P -4\n"
                   " /O <5e2b4c8d1f6a7b3c9d0e1f2a3b4c5d6e7f8091a2b3c4d5e6f708192a3b4c5d6e>\n"
                   " /U <0f1e2d3c4b5a69788796a5b4c3d2e1f00112233445566778899aabbccddeeff0> >> "
                   "endobj\n"
                   "trailer << /Root 1 0 R /Size 5 /Encrypt 4 0 R\n"
                   " /ID [<00112233445566778899aabbccddeeff><00112233445566778899aabbccddeeff>] "
                   ">>\n"
                   "%%EOF\n")
            << "password";
    }
    void badFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString file = m_fx->path(name);
        if (!content.isNull()) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        auto app = applicationFactory(m_fx->options)();
        const auto error = errorOf([&] { app->presentations()->open(str(file)); });
        QVERIFY(error);
        const QString description = QString::fromStdString(error->description());
        QVERIFY2(description.contains(file) && description.contains(reason),
                 qPrintable(description));
        QVERIFY(errorOf([&] { app->activePresentation(); }));
        // The host is unharmed.
        QCOMPARE(
            app->presentations()->open(str(deck(QStringLiteral("good.pdf"), 2)))->slides()->count(),
            2);
    }

    void missingLibreOfficeNamesTheFile()
    {
        // The host looks LibreOffice up on the PATH it was started with.
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_fx->path(QStringLiteral("empty bin"))));
        std::shared_ptr<Application> app;
        const auto started = errorOf([&] { app = applicationFactory(m_fx->options)(); });
        qputenv("PATH", path);
        QVERIFY(!started);
        const QString deck = m_fx->path(QStringLiteral("talk.pptx"));
        QFile out(deck);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("PK\x03\x04 a presentation");
        out.close();
        const auto error = errorOf([&] { app->presentations()->open(str(deck)); });
        QVERIFY(error);
        const QString description = QString::fromStdString(error->description());
        QVERIFY2(description.contains(deck) && description.contains(QStringLiteral("LibreOffice")),
                 qPrintable(description));
        // The log says it too, for whoever asks later why the deck never opened.
        QVERIFY2(m_fx->log().contains(deck + QStringLiteral(" cannot be opened: LibreOffice")),
                 qPrintable(m_fx->log()));
    }

    void commandLineWithoutADisplay()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(QLatin1String(name));
        }
        const auto run = [&](const QStringList &arguments, QByteArray *out) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(m_fx->options.hostProgram, arguments);
            p.waitForFinished(20000);
            *out = p.readAllStandardOutput() + p.readAllStandardError();
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QByteArray out;
        QCOMPARE(run({QStringLiteral("--help")}, &out), 0);
        QVERIFY2(out.contains("--quit") && out.contains("--status"), out.constData());
        QCOMPARE(run({QStringLiteral("--version")}, &out), 0);
        QVERIFY2(out.startsWith("presentation_host "), out.constData());
        QCOMPARE(run({QStringLiteral("--no-such-option")}, &out), 2);
        QVERIFY2(out.contains("no-such-option"), out.constData());
        const QStringList quit{QStringLiteral("--quit"), QStringLiteral("--runtime-dir"),
                               m_fx->runtimeDir};
        QCOMPARE(run(quit, &out), 1);
        QVERIFY2(out.contains("No presentation host is running."), out.constData());

        // With a host and a running show: both end.
        auto app = applicationFactory(m_fx->options)();
        app->presentations()
            ->open(str(deck(QStringLiteral("quit.pdf"), 2)))
            ->slideShowSettings()
            ->run();
        const qint64 pid = runningHostPid(m_fx->options);
        QVERIFY(pid > 0);
        QCOMPARE(run(quit, &out), 0);
        QVERIFY(processGone(pid, 10000));
        QCOMPARE(runningHostPid(m_fx->options), qint64(0));
        QVERIFY2(m_fx->log().contains(QStringLiteral("Ending all shows and the host")),
                 qPrintable(m_fx->log()));
    }

    void socketFolderMustBePrivate()
    {
        QVERIFY(QDir().mkpath(m_fx->runtimeDir));
        ::chmod(QFile::encodeName(m_fx->runtimeDir).constData(), 0755);
        auto error = errorOf([&] { applicationFactory(m_fx->options)(); });
        QVERIFY(error);
        QVERIFY2(QString::fromStdString(error->description()).contains(m_fx->runtimeDir),
                 error->what());

        const QString real = m_fx->path(QStringLiteral("real"));
        QVERIFY(QDir().mkpath(real));
        ::chmod(QFile::encodeName(real).constData(), 0700);
        const QString link = m_fx->path(QStringLiteral("link"));
        QVERIFY(QFile::link(real, link));
        ClientOptions viaLink = m_fx->options;
        viaLink.runtimeDir = link;
        QVERIFY(errorOf([&] { applicationFactory(viaLink)(); }));

        if (::geteuid() == 0) {
            ::chmod(QFile::encodeName(m_fx->runtimeDir).constData(), 0700);
            QVERIFY(::chown(QFile::encodeName(m_fx->runtimeDir).constData(), 65534, 65534) == 0);
            QVERIFY(errorOf([&] { applicationFactory(m_fx->options)(); }));
        }
        QVERIFY(hostProcesses(m_fx->runtimeDir).empty());
        QVERIFY(hostProcesses(link).empty());
    }

    void staleSocketIsRecovered()
    {
        QVERIFY(preparePrivateFolder(m_fx->runtimeDir).isEmpty());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(socketPath(m_fx->runtimeDir));
        std::memcpy(addr.sun_path, native.constData(), static_cast<size_t>(native.size()));
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
        ::close(fd); // the file stays, nobody listens: what a crashed host leaves
        auto app = applicationFactory(m_fx->options)();
        app->setVisible(msoTrue);
        QVERIFY(runningHostPid(m_fx->options) > 0);
    }

    void simultaneousStartersEndWithOneHost()
    {
        std::vector<std::unique_ptr<QThread>> threads;
        std::atomic<int> reached{0};
        const ClientOptions options = m_fx->options;
        for (int i = 0; i < 3; ++i) {
            threads.emplace_back(QThread::create([&reached, options] {
                try {
                    auto app = applicationFactory(options)();
                    app->setVisible(msoFalse);
                    ++reached;
                } catch (const AutomationError &) {
                }
            }));
        }
        for (auto &t : threads) {
            t->start();
        }
        for (auto &t : threads) {
            QVERIFY(t->wait(60000));
        }
        QCOMPARE(reached.load(), 3);
        QCOMPARE(hostProcesses(m_fx->runtimeDir).size(), size_t(1));
    }

    void hostsStartedTogetherLeaveOne()
    {
        QVERIFY(preparePrivateFolder(m_fx->runtimeDir).isEmpty());
        const QStringList arguments =
            QStringList{QStringLiteral("--runtime-dir"), m_fx->runtimeDir} +
            m_fx->options.hostArguments;
        for (int round = 0; round < 20; ++round) {
            QProcess first, second;
            first.start(m_fx->options.hostProgram, arguments);
            second.start(m_fx->options.hostProgram, arguments);
            QVERIFY(first.waitForStarted() && second.waitForStarted());
            // One leaves the other in charge; the one that stays is the one that answers.
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return first.state() == QProcess::NotRunning ||
                           second.state() == QProcess::NotRunning;
                },
                20000));
            QProcess &left = first.state() == QProcess::NotRunning ? first : second;
            QProcess &stayed = &left == &first ? second : first;
            QCOMPARE(left.exitCode(), 0);
            QCOMPARE(runningHostPid(m_fx->options), stayed.processId());
            QCOMPARE(hostProcesses(m_fx->runtimeDir).size(), size_t(1));
            stayed.terminate();
            QVERIFY(stayed.waitForFinished(10000));
        }
    }

    void removedSocketIsListenedAgain()
    {
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck(QStringLiteral("r.pdf"), 4)));
        pres->slideShowSettings()->run();
        pres->slideShowWindow()->view()->gotoSlide(3, msoTrue);
        const qint64 pid = runningHostPid(m_fx->options);
        QVERIFY(QFile::remove(socketPath(m_fx->runtimeDir)));

        auto later = applicationFactory(m_fx->options)();
        QCOMPARE(runningHostPid(m_fx->options), pid);
        QCOMPARE(later->activePresentation()->slideShowWindow()->view()->slide()->slideIndex(), 3);
        // A host the new program may have started meanwhile leaves the old one in charge.
        QTRY_COMPARE_WITH_TIMEOUT(hostProcesses(m_fx->runtimeDir), std::vector<qint64>{pid}, 10000);
        // The first controller's connection was never cut.
        pres->slideShowWindow()->view()->next();
        QCOMPARE(pres->slideShowWindow()->view()->slide()->slideIndex(), 4);
    }

    void slowOpenLeavesOtherShowsAnswering()
    {
        // A PDF header over 64 MiB of nothing: the PDF library reads it all before giving up.
        const QString slow = m_fx->path(QStringLiteral("slow.pdf"));
        {
            QFile f(slow);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("%PDF-1.4\n");
            QVERIFY(f.resize(64ll * 1024 * 1024));
        }
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck(QStringLiteral("steady.pdf"), 40)));
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        const qint64 pid = runningHostPid(m_fx->options);

        std::atomic<bool> opening{true};
        QString openError;
        const ClientOptions options = m_fx->options;
        std::unique_ptr<QThread> opener(QThread::create([&] {
            try {
                applicationFactory(options)()->presentations()->open(str(slow));
            } catch (const AutomationError &e) {
                openError = QString::fromStdString(e.description());
            }
            opening = false;
        }));
        opener->start();
        int steps = 0;
        int failed = 0;
        bool newClientReachedIt = false;
        while (opening) {
            failed += errorOf([&] { view->gotoSlide(1 + steps % 40, msoTrue); }) ? 1 : 0;
            ++steps;
            if (steps == 5) {
                newClientReachedIt = applicationFactory(m_fx->options)() != nullptr &&
                                     runningHostPid(m_fx->options) == pid;
            }
            QThread::msleep(50);
        }
        QVERIFY(opener->wait(60000));
        QVERIFY2(openError.contains(QStringLiteral("not a readable")), qPrintable(openError));
        QVERIFY2(steps >= 5, qPrintable(QString::number(steps)));
        QCOMPARE(failed, 0);
        QVERIFY(newClientReachedIt);
        QCOMPARE(hostProcesses(m_fx->runtimeDir), std::vector<qint64>{pid});
    }

    void hostPushedAsideKeepsServingItsShows()
    {
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck(QStringLiteral("aside.pdf"), 4)));
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();
        const qint64 pid = runningHostPid(m_fx->options);
        // Taken over by hand while it was stopped: the only way a live host loses its path.
        ::kill(static_cast<pid_t>(pid), SIGSTOP);
        // Without the journal, so the newer host starts with no presentations of its own.
        QVERIFY(QFile::remove(journalPath(m_fx->runtimeDir)));
        QProcess other;
        other.start(m_fx->options.hostProgram,
                    QStringList{QStringLiteral("--runtime-dir"), m_fx->runtimeDir,
                                QStringLiteral("--replace")} +
                        m_fx->options.hostArguments);
        QVERIFY(other.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return runningHostPid(m_fx->options) == other.processId(); },
                                20000));
        ::kill(static_cast<pid_t>(pid), SIGCONT);

        // It notices, says so, and goes on serving the connection it had.
        QVERIFY(QTest::qWaitFor([&] { return m_fx->log().contains(QStringLiteral("keeps its 1")); },
                                10000));
        QVERIFY(QTest::qWaitFor([&] { return !errorOf([&] { view->next(); }); }, 10000));
        QCOMPARE(view->slide()->slideIndex(), 2);
        QCOMPARE(hostProcesses(m_fx->runtimeDir).size(), size_t(2));

        // A host without presentations that is pushed aside simply ends.
        const qint64 newer = other.processId();
        ::kill(static_cast<pid_t>(newer), SIGSTOP);
        QProcess third;
        third.start(m_fx->options.hostProgram,
                    QStringList{QStringLiteral("--runtime-dir"), m_fx->runtimeDir,
                                QStringLiteral("--replace")} +
                        m_fx->options.hostArguments);
        QVERIFY(third.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return runningHostPid(m_fx->options) == third.processId(); },
                                20000));
        ::kill(static_cast<pid_t>(newer), SIGCONT);
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.exitCode(), 0);
        third.terminate();
        QVERIFY(third.waitForFinished(10000));
    }
};

CORVANE_TEST_MAIN(TestHostEndToEnd)
#include "tst_host_end_to_end.moc"

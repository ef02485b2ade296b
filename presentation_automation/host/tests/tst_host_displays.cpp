// Show windows under a real X server with three displays, the primary in the middle (Xorg's
// dummy driver with Xinerama): where they land, how high they are, and what stands above them.

#include "deck_maker.h"
#include "host_test_support.h"

#include "platform/testing/test_main.h"
#include "platform/testing/x_desktop.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;
using namespace platform::testing;

namespace {} // namespace

class TestHostDisplays : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_fx;
    std::unique_ptr<DummyXServer> m_x;

    // Polls the X server until the named window has this geometry (the host moves it after
    // answering).
    std::optional<XWindow> waitForWindow(const QString &name, const QRect &geometry)
    {
        std::optional<XWindow> seen;
        for (int i = 0; i < 100; ++i) {
            seen = windowNamed(stackingOrder(m_x->display), name);
            if (seen && seen->geometry == geometry) {
                break;
            }
            // The client starts a host again from its event loop when one dies.
            QTest::qWait(50);
        }
        return seen;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty()) {
            QSKIP("xwininfo is not installed");
        }
    }

    void init()
    {
        if (const QString why = startHostOnX(m_fx, m_x); !why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
    }

    void cleanup()
    {
        m_fx.reset();
        m_x.reset();
    }

    void showsLandOnTheirDisplaysAndStayAboveTheHost()
    {
        // Three loads as Corvane does them: make the application visible, open, run, place.
        struct Screen
        {
            QString file;
            float left, top, width;
            QSizeF slide;
            QRect expected; // in the X server's pixels
        };
        const std::vector<Screen> screens{
            // 4:3 at 768 pt = 1024 px on the 1024x768 display left of the primary: all of it.
            {QStringLiteral("Screen 1.pdf"), -768, 0, 768, QSizeF(720, 540),
             QRect(0, 0, 1024, 768)},
            // 4:3 at the primary's full width would be 1440 px high: cut to the display.
            {QStringLiteral("Screen 2.pdf"), 0, 0, 1440, QSizeF(720, 540),
             QRect(1024, 0, 1920, 1080)},
            // 16:9 on the display right of the primary, a little down.
            {QStringLiteral("Screen 3.pdf"), 1440, 30, 960, QSizeF(960, 540),
             QRect(2944, 40, 1280, 720)},
        };
        auto app = applicationFactory(m_fx->options)();
        std::vector<std::shared_ptr<Presentation>> shows;
        for (size_t i = 0; i < screens.size(); ++i) {
            const Screen &s = screens[i];
            const QString file = m_fx->path(s.file);
            QVERIFY(makeDeck(file, 3, static_cast<int>(i), s.slide));
            app->setVisible(msoTrue);
            auto pres = app->presentations()->open(str(file));
            pres->slideShowSettings()->run();
            auto window = pres->slideShowWindow();
            window->setLeft(s.left);
            window->setTop(s.top);
            window->setWidth(s.width);
            shows.push_back(pres);
        }
        app->setVisible(msoTrue);

        const QString status = statusListing(m_fx->options);
        for (const Screen &s : screens) {
            const QString title = s.file + QStringLiteral(" - Slide Show");
            const auto seen = waitForWindow(title, s.expected);
            QVERIFY2(seen, qPrintable(title));
            QCOMPARE(seen->geometry, s.expected);
            // What was set reads back exactly.
            QVERIFY2(status.contains(QStringLiteral("window left %1 pt, top %2 pt, width %3 pt")
                                         .arg(s.left)
                                         .arg(s.top)
                                         .arg(s.width)),
                     qPrintable(status));
        }

        const auto order = stackingOrder(m_x->display);
        const auto host = std::find_if(order.begin(), order.end(), [](const XWindow &w) {
            return w.name == QLatin1String("Presentation host");
        });
        QVERIFY2(host != order.end(), "the host's window is not shown");
        for (auto below = order.begin(); below != host; ++below) {
            QVERIFY2(!below->name.endsWith(QLatin1String(" - Slide Show")),
                     qPrintable(below->name + QStringLiteral(" is below the host's window")));
        }

        // A host that dies puts every show back on its own display, as placed, and the same
        // handles step them.
        const auto pids = hostProcesses(m_fx->runtimeDir);
        QCOMPARE(pids.size(), size_t(1));
        ::kill(static_cast<pid_t>(pids.front()), SIGKILL);
        QVERIFY(processGone(pids.front(), 5000));
        for (const Screen &s : screens) {
            const QString title = s.file + QStringLiteral(" - Slide Show");
            const auto seen = waitForWindow(title, s.expected);
            QVERIFY2(seen, qPrintable(title + QStringLiteral(" did not come back")));
            QCOMPARE(seen->geometry, s.expected);
        }
        auto view = shows[1]->slideShowWindow()->view();
        view->next();
        QCOMPARE(view->slide()->slideIndex(), 2);
    }
};

CORVANE_TEST_MAIN(TestHostDisplays)
#include "tst_host_displays.moc"

// Two Corvanes over the loopback, each with its own presentation host and its own copies of
// the decks and the script: the backup follows the main's steps, a line jump and hand steps,
// catches up when it joins late, stays where it is when the main is gone and takes its own
// commands, waits to be re-armed when the main returns, and refuses a show that differs.

#include "show_controller/corvane_follow.h"
#include "show_controller/corvane_remote.h"
#include "show_controller/frmControl.h"
#include "show_controller/frmShowAdjust.h"

#include "platform/busy_calls.h"
#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "remote_control/tests/remote_test_support.h"

#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWebSocket>
#include <QWebSocketServer>

using namespace pa::host::testing;
using namespace remote::testing;

namespace {

constexpr int waitMs = 15000;
const QByteArray script = "0,1,1,1\r\n10,2,3,4\r\n1,5,3,4\r\n4,6,1,4\r\n3,6,1,2\r\n";

// One Corvane with its host, its files, its remote and its follow wiring.
struct Side
{
    Side(const QString &name, const remote::RemoteSettings &settings,
         const remote::FollowSettings &follow)
        : name(name)
    {
        for (int n = 1; n <= 3; ++n) {
            QDir(host.dir.path()).mkpath(QStringLiteral("Slide Shows/Screen %1 JPG").arg(n));
        }
        messages = std::make_shared<platform::testing::FakeMessageBox>();
        dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
        window = std::make_unique<frmControl>(ControlServices{
            platform::guardedApplications(pa::host::applicationFactory(host.options)),
            messages,
            dialog,
            {}});
        remote = std::make_unique<CorvaneRemote>(*window, settings,
                                                 host.path(QStringLiteral("remote.log")));
        follower = std::make_unique<CorvaneFollow>(*window, *remote, follow);
    }
    ~Side()
    {
        follower.reset();
        remote.reset();
        window.reset();
    }

    // Opens the three decks and the script found in its folder.
    void load()
    {
        for (int d = 1; d <= 3; ++d) {
            dialog->answers.append(host.path(QStringLiteral("deck%1.pdf").arg(d)));
            window->cmdLoadShow_Click();
        }
        QVERIFY2(messages->shown.isEmpty(), qPrintable(messages->shown.value(0).text));
        dialog->answers.append(host.path(QStringLiteral("show.txt")));
        window->cmdLoadScriptEd_Click();
    }

    std::array<int, 3> showSlides() const
    {
        std::array<int, 3> slides{};
        const std::shared_ptr<pa::Presentation> screens[3] = {window->ppPres1, window->ppPres2,
                                                              window->ppPres3};
        for (int i = 0; i < 3; ++i) {
            try {
                slides[size_t(i)] = screens[i]->slideShowWindow()->view()->slide()->slideIndex();
            } catch (const std::exception &) {
                slides[size_t(i)] = -1;
            }
        }
        return slides;
    }

    QString field(const QString &key) const
    {
        for (const remote::StateField &f : remote->fullState()) {
            if (f.key == key) {
                return f.value.toString();
            }
        }
        return {};
    }
    QString health() const { return field(QStringLiteral("follow")); }
    // Where the backup is: the script line, then each screen's slide.
    QString where() const
    {
        const auto s = showSlides();
        return QStringLiteral("line %1: %2 %3 %4")
            .arg(int(window->LineNumber) - 1)
            .arg(s[0])
            .arg(s[1])
            .arg(s[2]);
    }

    QString name;
    HostFixture host;
    std::shared_ptr<platform::testing::FakeMessageBox> messages;
    std::shared_ptr<platform::testing::FakeFileOpenDialog> dialog;
    std::unique_ptr<frmControl> window;
    std::unique_ptr<CorvaneRemote> remote;
    std::unique_ptr<CorvaneFollow> follower;
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestMainAndBackup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_originals;
    remote::RemoteSettings m_mainSettings;
    std::unique_ptr<Side> m_main;
    std::unique_ptr<Side> m_backup;

    // The main's show, its decks copied byte for byte from the one set made for the test.
    void startMain()
    {
        m_main = std::make_unique<Side>(QStringLiteral("main"), m_mainSettings,
                                        remote::FollowSettings{});
        copyShow(*m_main);
        m_main->load();
    }

    QString mainAddress() const
    {
        return QStringLiteral("127.0.0.1:%1").arg(m_mainSettings.webSocketPort);
    }

    void startBackup(const QString &token = {}, bool otherDeck2 = false, bool named = true)
    {
        remote::RemoteSettings settings = loopbackSettings();
        const remote::FollowSettings follow{named ? mainAddress() : QString(), token};
        m_backup = std::make_unique<Side>(QStringLiteral("backup"), settings, follow);
        copyShow(*m_backup);
        if (otherDeck2) {
            QFile::remove(m_backup->host.path(QStringLiteral("deck2.pdf")));
            QVERIFY(makeDeck(m_backup->host.path(QStringLiteral("deck2.pdf")), 6, 7));
        }
        m_backup->load();
    }

    void copyShow(Side &side)
    {
        for (const QString &name : {QStringLiteral("deck1.pdf"), QStringLiteral("deck2.pdf"),
                                    QStringLiteral("deck3.pdf"), QStringLiteral("show.txt")}) {
            QVERIFY(QFile::copy(m_originals.filePath(name), side.host.path(name)));
        }
    }

    // The backup is where the main is, and says so.
    bool inStep() const
    {
        return m_backup->where() == m_main->where() &&
               m_backup->health() == QLatin1String("in-step");
    }

private slots:
    void initTestCase()
    {
        // The geometry window saves the main it is given: not in the user's settings.
        qputenv("XDG_CONFIG_HOME",
                QFile::encodeName(m_originals.filePath(QStringLiteral("config"))));
        for (int d = 1; d <= 3; ++d) {
            QVERIFY(makeDeck(m_originals.filePath(QStringLiteral("deck%1.pdf").arg(d)), 6, d));
        }
        QVERIFY(writeFile(m_originals.filePath(QStringLiteral("show.txt")), script));
    }

    void init()
    {
        m_mainSettings = loopbackSettings();
        // The previews of both windows land in one drive C, the process's; the shows do not.
        platform::setDriveCRoot(m_originals.path());
        for (int n = 1; n <= 3; ++n) {
            QDir(m_originals.path()).mkpath(QStringLiteral("Slide Shows/Screen %1 JPG").arg(n));
        }
    }

    void cleanup()
    {
        m_backup.reset();
        m_main.reset();
        platform::setDriveCRoot(QString());
    }

    void theBackupFollowsStepsJumpsAndHandSteps()
    {
        startMain();
        startBackup();
        QTRY_VERIFY2_WITH_TIMEOUT(inStep(),
                                  qPrintable(m_backup->where() + " " + m_backup->health() + " " +
                                             m_backup->field("followReason")),
                                  waitMs);
        // The main lists it, as a reader that follows in step.
        QTRY_VERIFY_WITH_TIMEOUT(m_main->remote->control().clients().join(' ').contains(
                                     QStringLiteral("follower, in-step")),
                                 waitMs);

        m_main->window->cmdNextSlide_Click();
        QCOMPARE(m_main->where(), QStringLiteral("line 2: 2 3 4"));
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->where(), m_main->where(), waitMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->window->Screen2Slide, 3, waitMs);

        m_main->window->queueRemoteCommand(QStringLiteral("LINE 4"));
        QCOMPARE(m_main->where(), QStringLiteral("line 4: 6 1 4"));
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->where(), m_main->where(), waitMs);

        // A hand step of one screen: the script's record stays, the screen moves.
        m_main->window->cmdNextCenter_Click();
        m_main->window->cmdNextCenter_Click();
        m_main->window->cmdPrevNorth_Click();
        QCOMPARE(m_main->where(), QStringLiteral("line 4: 6 3 3"));
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->where(), m_main->where(), waitMs);
        QCOMPARE(m_backup->window->Screen2Slide, m_main->window->Screen2Slide);

        // Blanks: one screen, then all of them, then shown again.
        const auto blanks = [](const Side &side) {
            QString shown;
            const std::shared_ptr<pa::Presentation> screens[3] = {
                side.window->ppPres1, side.window->ppPres2, side.window->ppPres3};
            for (int screen = 1; screen <= 3; ++screen) {
                shown += QString::number(side.window->blankOf(screen)) +
                         QString::number(screens[screen - 1]->slideShowWindow()->view()->state());
            }
            return shown;
        };
        m_main->window->queueRemoteCommand(QStringLiteral("BLACK 2"));
        QCOMPARE(blanks(*m_main), QStringLiteral("113311"));
        QTRY_COMPARE_WITH_TIMEOUT(blanks(*m_backup), blanks(*m_main), waitMs);
        m_main->window->queueRemoteCommand(QStringLiteral("WHITE"));
        QCOMPARE(blanks(*m_main), QStringLiteral("444444"));
        QTRY_COMPARE_WITH_TIMEOUT(blanks(*m_backup), blanks(*m_main), waitMs);
        m_main->window->queueRemoteCommand(QStringLiteral("SHOW 3"));
        QTRY_COMPARE_WITH_TIMEOUT(blanks(*m_backup), QStringLiteral("444411"), waitMs);
        m_main->window->queueRemoteCommand(QStringLiteral("SHOW"));
        QTRY_COMPARE_WITH_TIMEOUT(blanks(*m_backup), QStringLiteral("111111"), waitMs);

        m_main->window->cmdPreviousSlide_Click();
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->where(), m_main->where(), waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(inStep(), waitMs);
        QCOMPARE(m_backup->window->findChild<QWidget *>("txtScriptBox1")->property("text"),
                 m_main->window->findChild<QWidget *>("txtScriptBox1")->property("text"));
        QCOMPARE(m_backup->field("followMain"),
                 QStringLiteral("127.0.0.1:%1").arg(m_mainSettings.webSocketPort));
        // It never stepped the main: the main is where its own presses put it.
        QCOMPARE(m_main->where(), QStringLiteral("line 3: 5 3 4"));
    }

    void aLateBackupCatchesUp()
    {
        startMain();
        m_main->window->cmdNextSlide_Click();
        m_main->window->cmdNextSlide_Click();
        m_main->window->cmdNextNorth_Click();
        QCOMPARE(m_main->where(), QStringLiteral("line 3: 5 3 5"));
        startBackup();
        QTRY_VERIFY2_WITH_TIMEOUT(inStep(), qPrintable(m_backup->where()), waitMs);
    }

    void aLostMainLeavesTheBackupToItsOwnCommandsUntilReArmed()
    {
        startMain();
        startBackup();
        m_main->window->cmdNextSlide_Click();
        QTRY_VERIFY_WITH_TIMEOUT(inStep(), waitMs);

        // The main goes, host and all.
        m_main.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->health(), QStringLiteral("lost"), waitMs);
        QCOMPARE(m_backup->where(), QStringLiteral("line 2: 2 3 4"));
        // Its own remote steps it at once; from now on it is the live one.
        m_backup->window->queueRemoteCommand(QStringLiteral("N"));
        QCOMPARE(m_backup->where(), QStringLiteral("line 3: 5 3 4"));
        QCOMPARE(m_backup->health(), QStringLiteral("off"));

        // The main returns, at its opening line: the backup stays where its operator put it.
        startMain();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_main->remote->control().clients().join(' ').contains(QStringLiteral("follower, off")),
            waitMs);
        QCOMPARE(m_backup->where(), QStringLiteral("line 3: 5 3 4"));
        QCOMPARE(m_backup->health(), QStringLiteral("off"));

        // Re-armed from its remote, it takes the main's show again.
        m_backup->window->queueRemoteCommand(QStringLiteral("FOLLOW"));
        QTRY_VERIFY2_WITH_TIMEOUT(inStep(), qPrintable(m_backup->where()), waitMs);
        QCOMPARE(m_backup->where(), QStringLiteral("line 1: 1 1 1"));
    }

    void aBackupWithAnotherDeckDoesNotFollow()
    {
        startMain();
        startBackup({}, true);
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->health(),
                                  QStringLiteral("mismatch: screen 2 deck differs"), waitMs);
        QCOMPARE(m_backup->field("followReason"), QStringLiteral("screen 2 deck differs"));
        QVERIFY(m_backup->follower->statusText().contains(
            QStringLiteral("mismatch: screen 2 deck differs")));
        m_main->window->cmdNextSlide_Click();
        QTRY_VERIFY_WITH_TIMEOUT(m_main->remote->control().clients().join(' ').contains(
                                     QStringLiteral("follower, mismatch")),
                                 waitMs);
        QCOMPARE(m_backup->where(), QStringLiteral("line 1: 1 1 1"));
    }

    void aWrongTokenIsRefused()
    {
        m_mainSettings.viewToken = QStringLiteral("right");
        startMain();
        startBackup(QStringLiteral("wrong"));
        m_main->window->cmdNextSlide_Click();
        QTRY_VERIFY_WITH_TIMEOUT(m_backup->field("followReason").contains("wrong token"), waitMs);
        QCOMPARE(m_backup->health(), QStringLiteral("lost"));
        QCOMPARE(m_backup->where(), QStringLiteral("line 1: 1 1 1"));
    }

    void theGeometryWindowNamesTheMainAndReArms()
    {
        startMain();
        startBackup({}, false, false);
        m_main->window->cmdNextSlide_Click();
        m_backup->window->cmdShowAdjust_Click();
        QWidget *geometry = m_backup->window->geometryWindow();
        QVERIFY(geometry);
        auto *main = geometry->findChild<QLineEdit *>(QStringLiteral("txtFollowMain"));
        auto *follow = geometry->findChild<QPushButton *>(QStringLiteral("cmdFollow"));
        auto *status = geometry->findChild<QLabel *>(QStringLiteral("lblFollow"));
        QVERIFY(main && follow && status);
        QCOMPARE(status->text(), QStringLiteral("not following a main"));
        QCOMPARE(m_backup->health(), QStringLiteral("off"));

        main->setText(mainAddress());
        follow->click();
        QTRY_VERIFY_WITH_TIMEOUT(inStep(), waitMs);
        QCOMPARE(status->text(), QStringLiteral("following %1: in-step").arg(mainAddress()));
        QCOMPARE(remote::readFollowSettings(QStringLiteral("Corvane")).main, mainAddress());

        // A press of its own Next: it is the live one now, until Follow is pressed again.
        m_backup->window->findChild<QPushButton *>(QStringLiteral("cmdNextSlide"))->click();
        QCOMPARE(m_backup->health(), QStringLiteral("off"));
        QVERIFY(status->text().startsWith(QStringLiteral("following %1: off").arg(mainAddress())));
        m_main->window->cmdNextSlide_Click();
        m_main->window->cmdNextSlide_Click();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_main->remote->control().clients().join(' ').contains(QStringLiteral("follower, off")),
            waitMs);
        QCOMPARE(m_backup->where(), QStringLiteral("line 3: 5 3 4"));
        follow->click();
        QTRY_VERIFY_WITH_TIMEOUT(inStep(), waitMs);
        QCOMPARE(m_backup->where(), QStringLiteral("line 4: 6 1 4"));
    }

    void aSilentMainIsLost()
    {
        // A main that lets the backup in, tells one state (the backup's own show, so it is in
        // step at once) and then says nothing more, as a hung program or a cut cable would.
        QWebSocketServer silent(QStringLiteral("silent"), QWebSocketServer::NonSecureMode);
        QVERIFY(silent.listen(QHostAddress::LocalHost, m_mainSettings.webSocketPort));
        QList<QWebSocket *> sockets;
        connect(&silent, &QWebSocketServer::newConnection, this, [&] {
            QWebSocket *socket = silent.nextPendingConnection();
            sockets.append(socket);
            connect(socket, &QWebSocket::textMessageReceived, this, [this, socket] {
                socket->sendTextMessage(QStringLiteral("{\"type\":\"follower\"}"));
                const QJsonObject state = remote::stateJson(m_backup->remote->fullState(), 1);
                socket->sendTextMessage(QString::fromUtf8(QJsonDocument(state).toJson()));
            });
        });
        startBackup();
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->health(), QStringLiteral("in-step"), waitMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->health(), QStringLiteral("lost"), waitMs);
        QCOMPARE(m_backup->field("followReason"), QStringLiteral("no word from the main for 3 s"));
        QCOMPARE(m_backup->where(), QStringLiteral("line 1: 1 1 1"));
        m_backup.reset();
        qDeleteAll(sockets);
    }
};

CORVANE_TEST_MAIN(TestMainAndBackup)
#include "tst_main_and_backup.moc"

// Two Kestros over the loopback, each with its own host and its own copy of the deck: the
// backup (a Kestrokiosk, whose timer must stay still) follows steps and jumps, is lost with
// its main and takes its own commands, waits to be re-armed, and refuses another deck.

#include "presentation_controller/frmKestro.h"
#include "presentation_controller/kestro_follow.h"
#include "presentation_controller/kestro_remote.h"
#include "presentation_controller/tests/kestro_window_support.h"

#include "platform/busy_calls.h"
#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "remote_control/tests/remote_test_support.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>

using namespace pa::host::testing;
using namespace remote::testing;

namespace {

constexpr int waitMs = 15000;

struct Side
{
    Side(kestro::Variant variant, const QString &deck, const remote::RemoteSettings &settings,
         const remote::FollowSettings &follow)
    {
        messages = std::make_shared<platform::testing::FakeMessageBox>();
        dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
        window = kestro::testing::makeKestroWindow(
            variant, platform::guardedApplications(pa::host::applicationFactory(host.options)),
            messages, dialog);
        remote = std::make_unique<KestroRemote>(*window, settings,
                                                host.path(QStringLiteral("remote.log")));
        follower = std::make_unique<KestroFollow>(*window, *remote, follow);
        const QString copy = host.path(QStringLiteral("deck.pdf"));
        QFile::copy(deck, copy);
        dialog->answers.append(copy);
        if (variant == kestro::Variant::Kiosk) {
            // Fast enough that a tick would show within the test.
            kestro::testing::control(window.get(), "Text1")->setText(QStringLiteral("0.2"));
        }
        kestro::testing::control<QPushButton>(window.get(), "cmdLoadShow")->click();
    }
    ~Side()
    {
        follower.reset();
        remote.reset();
        window.reset();
    }

    int slide() const
    {
        try {
            return window->ppPres1->slideShowWindow()->view()->slide()->slideIndex();
        } catch (const std::exception &) {
            return -1;
        }
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

    HostFixture host;
    std::shared_ptr<platform::testing::FakeMessageBox> messages;
    std::shared_ptr<platform::testing::FakeFileOpenDialog> dialog;
    std::unique_ptr<frmKestro> window;
    std::unique_ptr<KestroRemote> remote;
    std::unique_ptr<KestroFollow> follower;
};

} // namespace

class TestKestroMainAndBackup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_originals;
    remote::RemoteSettings m_mainSettings;
    std::unique_ptr<Side> m_main;
    std::unique_ptr<Side> m_backup;

    QString deck(const char *name) const { return m_originals.filePath(QLatin1String(name)); }

    void startMain()
    {
        m_main = std::make_unique<Side>(kestro::Variant::Kestro, deck("deck.pdf"), m_mainSettings,
                                        remote::FollowSettings{});
    }
    void startBackup(kestro::Variant variant, const char *deckName = "deck.pdf")
    {
        m_backup = std::make_unique<Side>(
            variant, deck(deckName), loopbackSettings(),
            remote::FollowSettings{QStringLiteral("127.0.0.1:%1").arg(m_mainSettings.webSocketPort),
                                   {}});
    }
    bool inStep() const
    {
        return m_backup->slide() == m_main->slide() &&
               m_backup->health() == QLatin1String("in-step");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(makeDeck(deck("deck.pdf"), 12, 1));
        QVERIFY(makeDeck(deck("other.pdf"), 12, 2));
    }

    void init()
    {
        m_mainSettings = loopbackSettings();
        platform::setDriveCRoot(m_originals.path());
    }

    void cleanup()
    {
        m_backup.reset();
        m_main.reset();
        platform::setDriveCRoot(QString());
    }

    void aFollowingKioskTakesTheMainsStepsNotItsTimers()
    {
        startMain();
        startBackup(kestro::Variant::Kiosk);
        QTRY_VERIFY_WITH_TIMEOUT(inStep(), waitMs);
        m_main->window->queueRemoteCommand(QStringLiteral("N"));
        QCOMPARE(m_main->slide(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->slide(), 2, waitMs);
        m_main->window->queueRemoteCommand(QStringLiteral("SLIDE 9"));
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->slide(), 9, waitMs);
        m_main->window->queueRemoteCommand(QStringLiteral("WHITE"));
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->window->blank(), pa::ppSlideShowWhiteScreen, waitMs);
        QCOMPARE(m_backup->window->ppPres1->slideShowWindow()->view()->state(),
                 pa::ppSlideShowWhiteScreen);
        m_main->window->queueRemoteCommand(QStringLiteral("SHOW"));
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->window->blank(), pa::ppSlideShowRunning, waitMs);
        m_main->window->queueRemoteCommand(QStringLiteral("P"));
        QTRY_VERIFY_WITH_TIMEOUT(inStep(), waitMs);
        QCOMPARE(m_backup->slide(), 8);
        // A tick of its 0.2 s timer would move it, if only until it is brought back.
        QElapsedTimer watched;
        watched.start();
        while (watched.elapsed() < 1200) {
            QTest::qWait(10);
            QCOMPARE(m_backup->slide(), 8);
        }
        QCOMPARE(m_main->slide(), 8);
    }

    void aLostMainLeavesTheBackupToItsOwnCommandsUntilReArmed()
    {
        startMain();
        startBackup(kestro::Variant::Kestro);
        m_main->window->queueRemoteCommand(QStringLiteral("SLIDE 5"));
        QTRY_VERIFY_WITH_TIMEOUT(inStep(), waitMs);
        m_main.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->health(), QStringLiteral("lost"), waitMs);
        QCOMPARE(m_backup->slide(), 5);
        kestro::testing::control<QPushButton>(m_backup->window.get(), "cmdNextSlide")->click();
        QCOMPARE(m_backup->slide(), 6);
        QCOMPARE(m_backup->health(), QStringLiteral("off"));

        startMain();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_main->remote->control().clients().join(' ').contains(QStringLiteral("follower, off")),
            waitMs);
        QCOMPARE(m_backup->slide(), 6);
        m_backup->window->queueRemoteCommand(QStringLiteral("FOLLOW"));
        QTRY_VERIFY_WITH_TIMEOUT(inStep(), waitMs);
        QCOMPARE(m_backup->slide(), 1);
    }

    void anotherDeckIsRefused()
    {
        startMain();
        startBackup(kestro::Variant::Kestro, "other.pdf");
        QTRY_COMPARE_WITH_TIMEOUT(m_backup->health(), QStringLiteral("mismatch: deck differs"),
                                  waitMs);
        QCOMPARE(m_backup->field(QStringLiteral("followReason")), QStringLiteral("deck differs"));
        m_main->window->queueRemoteCommand(QStringLiteral("N"));
        QTRY_VERIFY_WITH_TIMEOUT(m_main->remote->control().clients().join(' ').contains(
                                     QStringLiteral("follower, mismatch")),
                                 waitMs);
        QCOMPARE(m_backup->slide(), 1);
    }
};

CORVANE_TEST_MAIN(TestKestroMainAndBackup)
#include "tst_kestro_main_and_backup.moc"

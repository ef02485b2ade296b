// Kestro's and Kestrokiosk's network remote over the loopback: OSC from oscsend and text
// lines from socat step the show through the window's own handlers, and the slide shown
// goes back to the client.

#include "kestro_window_support.h"

#include "presentation_controller/kestro_remote.h"

#include "platform/drive_c.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/testing/recording_automation.h"
#include "remote_control/tests/remote_test_support.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace remote::testing;

namespace {

int fieldOf(const QString &stateLine, const QString &key)
{
    const QRegularExpression pattern(QStringLiteral("(?:^| )%1=(-?\\d+)").arg(key));
    const QRegularExpressionMatch match = pattern.match(stateLine);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

std::vector<std::string> steps(const pa::testing::RecordingAutomation &app)
{
    std::vector<std::string> found;
    for (const std::string &call : app.calls()) {
        if (call.rfind("Next(", 0) == 0 || call.rfind("Previous(", 0) == 0 ||
            call.rfind("GotoSlide(", 0) == 0) {
            found.push_back(call);
        }
    }
    return found;
}

} // namespace

class TestKestroNetworkRemote : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!haveTool(QStringLiteral("oscsend")) || !haveTool(QStringLiteral("socat"))) {
            QSKIP("oscsend and socat are needed (tools/setup.sh --with-test-tools)");
        }
    }

    void variants_data()
    {
        QTest::addColumn<int>("variant");
        QTest::newRow("Kestro") << int(kestro::Variant::Kestro);
        QTest::newRow("Kestrokiosk") << int(kestro::Variant::Kiosk);
    }
    void variants()
    {
        QFETCH(int, variant);
        QTemporaryDir driveC;
        platform::setDriveCRoot(driveC.path());
        pa::testing::RecordingAutomation app;
        app.setSlideCount("/shows/deck.ppt", 12);
        auto messages = std::make_shared<platform::testing::FakeMessageBox>();
        auto dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
        auto window = kestro::testing::makeKestroWindow(kestro::Variant(variant), app.factory(),
                                                        messages, dialog);
        remote::RemoteSettings settings = loopbackSettings();
        settings.controlToken = QStringLiteral("local-tool"); // oscsend's socket is gone at once
        KestroRemote networkRemote(*window, settings, driveC.filePath("remote.log"));
        if (kestro::Variant(variant) == kestro::Variant::Kiosk) {
            kestro::testing::control(window.get(), "Text1")->setText(QStringLiteral("1000"));
        }
        dialog->answers << QStringLiteral("/shows/deck.ppt");
        kestro::testing::control<QPushButton>(window.get(), "cmdLoadShow")->click();
        app.clearCalls();

        LineClient client("socat", {"-", "UDP:127.0.0.1:" + QString::number(settings.textPort)});
        QVERIFY(client.started());
        client.send("slide 5");
        QTRY_COMPARE_WITH_TIMEOUT(steps(app),
                                  (std::vector<std::string>{"GotoSlide(pres 1, 5, -1)"}), 15000);
        QCOMPARE(kestro::testing::control(window.get(), "txtSlideNum")->text(),
                 QStringLiteral("5"));
        QVERIFY(
            !client.waitFor([](const QString &l) { return fieldOf(l, "slide") == 5; }).isEmpty());

        QVERIFY(oscsend({"127.0.0.1", QString::number(settings.oscPort), "/kestro/next", "s",
                         "token=local-tool"}));
        QVERIFY(oscsend({"127.0.0.1", QString::number(settings.oscPort), "/kestro/previous", "is",
                         "1", "token=local-tool"}));
        QTRY_COMPARE_WITH_TIMEOUT(steps(app).size(), std::size_t(3), 15000);
        QCOMPARE(steps(app)[1], "Next(pres 1)");
        QCOMPARE(steps(app)[2], "Previous(pres 1)");
        // Corvane's commands are not Kestro's.
        client.send("1N");
        QVERIFY(
            !client.waitFor([](const QString &l) { return l.startsWith("ERROR unknown command"); })
                 .isEmpty());
        const QString counted = client.waitFor([](const QString &l) {
            return fieldOf(l, "slides") == 12 && fieldOf(l, "running") == 1;
        });
        QVERIFY2(!counted.isEmpty(), qPrintable(client.lines().join('\n')));

        // The blanks, as set-states from either transport, and in the state at once.
        client.send("black");
        QTRY_COMPARE_WITH_TIMEOUT(app.presentation(1).viewState, 3, 15000);
        QVERIFY(oscsend({"127.0.0.1", QString::number(settings.oscPort), "/kestro/white", "s",
                         "token=local-tool"}));
        QTRY_COMPARE_WITH_TIMEOUT(app.presentation(1).viewState, 4, 15000);
        QVERIFY(!client.waitFor([](const QString &l) { return l.contains("blank=\"white\""); })
                     .isEmpty());
        const qsizetype seen = client.count();
        client.send("WHITE 1");
        QVERIFY(!client.waitFor([](const QString &l) { return l.startsWith("ERROR"); }, seen)
                     .isEmpty());
        client.send("show");
        QTRY_COMPARE_WITH_TIMEOUT(app.presentation(1).viewState, 1, 15000);
        QCOMPARE(app.presentation(1).currentSlide, 5);
        QVERIFY(messages->shown.isEmpty());
        platform::setDriveCRoot(QString());
    }
};

CORVANE_TEST_MAIN(TestKestroNetworkRemote)
#include "tst_kestro_network_remote.moc"

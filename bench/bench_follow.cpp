// A backup Corvane following its main over the loopback, each with its own presentation host
// (offscreen) and its own copies of three real PDF decks and the script: how long a step of
// the main takes to reach the backup's screens, for script steps and for hand steps, and
// whether a backup keeps up with a main that steps every 100 ms.
//   bench_follow [--steps N]

#include "show_controller/corvane_follow.h"
#include "show_controller/corvane_remote.h"
#include "show_controller/frmControl.h"

#include "platform/busy_calls.h"
#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "remote_control/tests/remote_test_support.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pa::host::testing;

namespace {

struct Side
{
    Side(const QString &originals, const remote::RemoteSettings &settings,
         const remote::FollowSettings &follow)
    {
        messages = std::make_shared<platform::testing::FakeMessageBox>();
        dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
        window = std::make_unique<frmControl>(ControlServices{
            platform::guardedApplications(pa::host::applicationFactory(host.options)),
            messages,
            dialog,
            {}});
        remote = std::make_unique<CorvaneRemote>(*window, settings,
                                                 host.path(QStringLiteral("remote.log")));
        wiring = std::make_unique<CorvaneFollow>(*window, *remote, follow);
        for (const QString &name : {QStringLiteral("deck1.pdf"), QStringLiteral("deck2.pdf"),
                                    QStringLiteral("deck3.pdf"), QStringLiteral("show.txt")}) {
            QFile::copy(originals + QLatin1Char('/') + name, host.path(name));
        }
        for (int d = 1; d <= 3; ++d) {
            dialog->answers.append(host.path(QStringLiteral("deck%1.pdf").arg(d)));
            window->cmdLoadShow_Click();
        }
        dialog->answers.append(host.path(QStringLiteral("show.txt")));
        window->cmdLoadScriptEd_Click();
    }
    ~Side()
    {
        wiring.reset();
        remote.reset();
        window.reset();
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

    HostFixture host;
    std::shared_ptr<platform::testing::FakeMessageBox> messages;
    std::shared_ptr<platform::testing::FakeFileOpenDialog> dialog;
    std::unique_ptr<frmControl> window;
    std::unique_ptr<CorvaneRemote> remote;
    std::unique_ptr<CorvaneFollow> wiring;
};

double elapsedMs(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Runs the event loop until done says so or the time is up; false when it is up.
template<typename F> bool spinUntil(F done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void print(const char *what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("%-44s no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double p) {
        return ms[std::min(ms.size() - 1, size_t(p * double(ms.size() - 1) + 0.5))];
    };
    std::printf("%-44s median %6.1f ms  p90 %6.1f ms  max %6.1f ms  (%zu)\n", what, at(0.5),
                at(0.9), ms.back(), ms.size());
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    int steps = 30;
    const QStringList arguments = app.arguments();
    if (const qsizetype i = arguments.indexOf(QStringLiteral("--steps"));
        i >= 0 && i + 1 < arguments.size()) {
        steps = std::max(2, arguments.at(i + 1).toInt());
    }
    QTemporaryDir originals;
    platform::setDriveCRoot(originals.path());
    for (int n = 1; n <= 3; ++n) {
        QDir(originals.path()).mkpath(QStringLiteral("Slide Shows/Screen %1 JPG").arg(n));
    }
    const int lines = 2 * steps + 2;
    for (int d = 1; d <= 3; ++d) {
        makeDeck(originals.filePath(QStringLiteral("deck%1.pdf").arg(d)), lines + 1, d);
    }
    // Each line moves all three screens on by one slide.
    QByteArray script = "0,1,1,1\r\n";
    for (int line = 2; line <= lines; ++line) {
        const QByteArray n = QByteArray::number(line);
        script += "10," + n + "," + n + "," + n + "\r\n";
    }
    {
        QFile file(originals.filePath(QStringLiteral("show.txt")));
        file.open(QIODevice::WriteOnly);
        file.write(script);
    }

    const remote::RemoteSettings mainSettings = remote::testing::loopbackSettings();
    Side main(originals.path(), mainSettings, {});
    Side backup(originals.path(), remote::testing::loopbackSettings(),
                {QStringLiteral("127.0.0.1:%1").arg(mainSettings.webSocketPort), {}});
    const auto inStep = [&] {
        return backup.window->LineNumber == main.window->LineNumber &&
               backup.field(QStringLiteral("follow")) == QLatin1String("in-step") &&
               backup.field(QStringLiteral("screen2/showing")) ==
                   main.field(QStringLiteral("screen2/showing"));
    };
    if (!spinUntil(inStep, 20000)) {
        std::printf("the backup never came in step: %s\n", qPrintable(backup.wiring->statusText()));
        return 1;
    }

    // When the backup starts a step: its handler switches the screens first, then makes its
    // previews.
    QElapsedTimer t;
    double backupStarted = -1;
    backup.window->setCommandHook([&](const QString &text, const auto &run) {
        if (backupStarted < 0) {
            backupStarted = elapsedMs(t);
        }
        return backup.wiring->handle(text, run);
    });

    // Script steps: from the press on the main, and from the end of the main's handler (its
    // own switches, exports and previews), to the backup starting its step, and to the
    // backup's handler done.
    std::vector<double> toStart, endToStart, toDone, handStep;
    for (int i = 0; i < steps; ++i) {
        backupStarted = -1;
        t.start();
        main.window->cmdNextSlide_Click();
        const double handler = elapsedMs(t);
        const std::int16_t target = main.window->LineNumber;
        if (!spinUntil([&] { return backup.window->LineNumber == target; }, 5000)) {
            std::printf("step %d never reached the backup\n", i + 1);
            return 1;
        }
        toDone.push_back(elapsedMs(t));
        toStart.push_back(backupStarted);
        endToStart.push_back(backupStarted - handler);
        spinUntil(inStep, 5000);
    }
    // Hand steps of one screen: the backup reads where its show is after its go-to.
    for (int i = 0; i < std::min(steps, 10); ++i) {
        const QString before = backup.field(QStringLiteral("screen2/showing"));
        QElapsedTimer t;
        t.start();
        main.window->cmdNextCenter_Click();
        if (!spinUntil([&] { return backup.field(QStringLiteral("screen2/showing")) != before; },
                       5000)) {
            std::printf("hand step %d never reached the backup\n", i + 1);
            return 1;
        }
        handStep.push_back(elapsedMs(t));
        spinUntil(inStep, 5000);
    }
    print("script step, press to backup's step starting", toStart);
    print("script step, main's handler end to backup's", endToStart);
    print("script step, press to backup's step done", toDone);
    print("hand step of one screen, press to backup", handStep);

    // A main stepping every 100 ms, back from where it is to the opening line and on again.
    main.window->queueRemoteCommand(QStringLiteral("LINE 1"));
    spinUntil(inStep, 5000);
    int behindAtNextStep = 0;
    int maxBehind = 0;
    QElapsedTimer run;
    run.start();
    for (int i = 0; i < steps; ++i) {
        const qint64 due = qint64(i + 1) * 100;
        spinUntil([&] { return run.elapsed() >= due; }, 1000);
        const int behind = main.window->LineNumber - backup.window->LineNumber;
        behindAtNextStep += behind != 0 ? 1 : 0;
        maxBehind = std::max(maxBehind, behind);
        main.window->cmdNextSlide_Click();
    }
    QElapsedTimer settle;
    settle.start();
    const bool ended = spinUntil(inStep, 5000);
    std::printf("stepping every 100 ms, %d steps: behind at %d of the next steps (at most %d "
                "lines), in step %.1f ms after the last: %s\n",
                steps, behindAtNextStep, maxBehind, elapsedMs(settle), ended ? "yes" : "NO");
    return 0;
}

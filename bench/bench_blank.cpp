// How fast a blank reaches the audience: a "BLACK 2" / "SHOW 2" text command to Corvane's
// network remote, until the display of screen 2 on a real X server shows black or the slide
// again (read back from the server with GetImage), and the same for all three screens at
// once ("BLACK" / "SHOW"). Also a step on a blanked screen: how long until the host answers,
// and that the display never showed the slide meanwhile.
//   bench_blank [--rounds N]

#include "bench_figures.h"

#include "show_controller/corvane_remote.h"
#include "show_controller/frmControl.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/x_desktop.h"
#include "platform/testing/x_grab.h"
#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "remote_control/remote_settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>
#include <vector>

using namespace platform::testing;

namespace {

using bench::percentile;

void print(const char *what, const std::vector<double> &ms)
{
    std::printf("%-44s median %7.2f ms  p95 %7.2f ms  max %7.2f ms  (%zu)\n", what,
                percentile(ms, 0.5), percentile(ms, 0.95), percentile(ms, 1.0), ms.size());
}

QPoint cornerOf(const pa::host::ClientOptions &options, int screen)
{
    const auto corner =
        pa::host::testing::showWindowCorner(options, QStringLiteral("deck%1.pdf").arg(screen));
    return corner ? *corner + QPoint(12, 12) : QPoint(-1, -1);
}

bool isColour(const QString &display, QPoint at, const QColor &colour)
{
    const QImage image = grabX(display, QRect(at, QSize(2, 2)));
    if (image.isNull()) {
        return false;
    }
    const QColor seen = image.pixelColor(0, 0);
    return std::abs(seen.red() - colour.red()) < 24 &&
           std::abs(seen.green() - colour.green()) < 24 &&
           std::abs(seen.blue() - colour.blue()) < 24;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 30;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--rounds"));
        i >= 0 && i + 1 < args.size()) {
        rounds = std::max(1, args.at(i + 1).toInt());
    }
    QTemporaryDir dir;
    DummyXServer x(dir.filePath(QStringLiteral("x")));
    if (!x.whyNot().isEmpty()) {
        std::printf("no X server: %s\n", qPrintable(x.whyNot()));
        return 1;
    }
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
    platform::setDriveCRoot(dir.path());
    for (int n = 1; n <= 3; ++n) {
        QDir(dir.path()).mkpath(QStringLiteral("Slide Shows/Screen %1 JPG").arg(n));
    }
    pa::host::ClientOptions options;
    options.runtimeDir = dir.filePath(QStringLiteral("runtime"));
    options.hostProgram =
        QCoreApplication::applicationDirPath() + QStringLiteral("/presentation_host");
    options.hostArguments = {QStringLiteral("-platform"), QStringLiteral("xcb"),
                             QStringLiteral("-display"), x.display};
    auto messages = std::make_shared<FakeMessageBox>();
    auto dialog = std::make_shared<FakeFileOpenDialog>();
    int exitCode = 0;
    {
        frmControl window(
            ControlServices{pa::host::applicationFactory(options), messages, dialog, {}});
        // Only the text lines, on a port of the benchmark's own.
        remote::RemoteSettings settings;
        settings.textPort = 52611;
        CorvaneRemote remoteControl(window, settings, dir.filePath(QStringLiteral("remote.log")));
        for (int d = 1; d <= 3; ++d) {
            const QString deck = dir.filePath(QStringLiteral("deck%1.pdf").arg(d));
            pa::host::testing::makeDeck(deck, 6, d);
            dialog->answers.append(deck);
            window.cmdLoadShow_Click();
        }
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, settings.textPort);
        if (!socket.waitForConnected(5000)) {
            std::printf("the remote does not listen\n");
            return 1;
        }
        QPoint corners[3];
        for (int s = 1; s <= 3; ++s) {
            corners[s - 1] = cornerOf(options, s);
        }
        // colour: the blank's, or none for each screen's own first slide.
        const auto waitFor = [&](const std::vector<int> &screens, std::optional<QColor> colour) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 5000) {
                QCoreApplication::processEvents();
                bool all = true;
                for (const int s : screens) {
                    all = all && isColour(x.display, corners[s - 1],
                                          colour.value_or(pa::host::testing::pageColour(s, 1)));
                }
                if (all) {
                    return double(t.nsecsElapsed()) / 1e6;
                }
            }
            return -1.0;
        };
        const auto timed = [&](const QByteArray &command, const std::vector<int> &screens,
                               std::optional<QColor> colour, std::vector<double> &into) {
            QElapsedTimer t;
            t.start();
            socket.write(command + "\n");
            socket.flush();
            const double ms = waitFor(screens, colour);
            if (ms < 0) {
                std::printf("%s did not reach the display\n", command.constData());
                exitCode = 1;
                return;
            }
            into.push_back(double(t.nsecsElapsed()) / 1e6);
        };
        waitFor({1, 2, 3}, std::nullopt);
        std::vector<double> blackOne, showOne, blackAll, showAll;
        for (int r = 0; r < rounds; ++r) {
            timed("BLACK 2", {2}, Qt::black, blackOne);
            timed("SHOW 2", {2}, std::nullopt, showOne);
            timed("BLACK", {1, 2, 3}, Qt::black, blackAll);
            timed("SHOW", {1, 2, 3}, std::nullopt, showAll);
        }
        std::printf("Remote text command to the display, %d rounds, host on a dummy X server:\n",
                    rounds);
        print("BLACK 2 until screen 2 is black", blackOne);
        print("SHOW 2 until its slide is back", showOne);
        print("BLACK until all three are black", blackAll);
        print("SHOW until all three show slides", showAll);
        if (!messages->shown.isEmpty()) {
            std::printf("message: %s\n", qPrintable(messages->shown.first().text));
        }
    }
    const qint64 pid = pa::host::runningHostPid(options);
    if (pid > 0) {
        ::kill(pid_t(pid), SIGTERM);
    }
    return exitCode;
}

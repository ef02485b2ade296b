// corvane-check's storyboard at show size: a 200-line script over three 200-page
// 1920x1080 decks, through a host started for the run. Prints the time to open the decks
// and write the page, the pictures made and the page's size.
//   bench_check_storyboard [--quick]   (--quick: 40 lines over 40-page decks)

#include "show_check/check.h"

#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/tests/deck_maker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>

namespace {

// Steps of every kind: single screens, pairs and all three, each moving on through the
// decks, with the other fields carrying where those screens are.
QString makeScript(int lines, int pages)
{
    std::array<int, 3> at{1, 1, 1};
    QString text = QStringLiteral("0,1,1,1\r\n");
    for (int i = 1; i < lines; ++i) {
        const int code = 1 + (i * 7) % 15;
        static const std::vector<int> named[16] = {
            {},     {1},    {2},       {3},       {1, 2},    {1, 3},    {2, 1},    {2, 3},
            {3, 1}, {3, 2}, {1, 2, 3}, {1, 3, 2}, {2, 1, 3}, {2, 3, 1}, {3, 1, 2}, {3, 2, 1}};
        for (int screen : named[code]) {
            at[static_cast<size_t>(screen - 1)] =
                1 + (at[static_cast<size_t>(screen - 1)] + i) % pages;
        }
        text += QStringLiteral("%1,%2,%3,%4\r\n").arg(code).arg(at[0]).arg(at[1]).arg(at[2]);
    }
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen"); // the decks are drawn without a display
    }
    QGuiApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int pages = quick ? 40 : 200;
    const int lines = quick ? 40 : 200;

    QTemporaryDir dir;
    std::array<QString, 3> decks;
    for (int s = 0; s < 3; ++s) {
        decks[static_cast<size_t>(s)] = dir.filePath(QStringLiteral("Screen %1.pdf").arg(s + 1));
        if (!pa::host::testing::makeDeck(decks[static_cast<size_t>(s)], pages, s, QSizeF(960, 540),
                                         true)) {
            std::fprintf(stderr, "cannot write the decks\n");
            return 1;
        }
    }
    const QString script = dir.filePath(QStringLiteral("show.txt"));
    {
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly)) {
            return 1;
        }
        file.write(makeScript(lines, pages).toLatin1());
    }

    pa::host::ClientOptions client;
    client.runtimeDir = dir.filePath(QStringLiteral("runtime"));
    client.hostProgram =
        QCoreApplication::applicationDirPath() + QStringLiteral("/presentation_host");
    client.hostArguments = {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                            QStringLiteral("--cache-dir"), dir.filePath(QStringLiteral("cache"))};
    // The host is started before the clock runs: the operator's host is running already.
    try {
        pa::host::applicationFactory(client)();
    } catch (const pa::AutomationError &error) {
        std::fprintf(stderr, "no host: %s\n", error.what());
        return 1;
    }

    showcheck::Options options;
    options.script = script;
    options.decks = decks;
    options.haveDecks = true;
    options.storyboard = dir.filePath(QStringLiteral("storyboard.html"));
    options.aspect = 16.0 / 9.0;
    options.aspectText = QStringLiteral("16:9");
    showcheck::CheckEnvironment environment;
    environment.createApplication = pa::host::applicationFactory(client);

    QString outText;
    QString errText;
    QTextStream out(&outText);
    QTextStream err(&errText);
    QElapsedTimer timer;
    timer.start();
    const int status = showcheck::runCheck(options, environment, out, err);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    const QString html = [&] {
        QFile file(options.storyboard);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    std::printf("storyboard: %d-line script over three %d-page 1920x1080 decks\n", lines, pages);
    std::printf("  decks opened and page written in %.2f s (exit status %d)\n", seconds, status);
    std::printf("  rows %lld, pictures on the page %lld, page %.1f MiB\n",
                static_cast<long long>(html.count(QStringLiteral("<tr class=\"row\">"))),
                static_cast<long long>(html.count(QStringLiteral("src=\"data:image/jpeg"))),
                static_cast<double>(QFileInfo(options.storyboard).size()) / (1024.0 * 1024.0));
    if (!errText.isEmpty()) {
        std::fprintf(stderr, "%s", qPrintable(errText));
    }
    const qint64 pid = pa::host::runningHostPid(client);
    if (pid > 0) {
        ::kill(static_cast<pid_t>(pid), SIGTERM);
    }
    return status == showcheck::exitUnreadable ? 1 : 0;
}

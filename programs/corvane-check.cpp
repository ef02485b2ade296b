#include "show_check/check.h"

#include "platform/drive_c.h"
#include "presentation_automation/default_backend.h"
#include "show_controller/screen_numbers.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <memory>

namespace {

// Without a display Qt's GUI cannot start at all, so the layout is only asked for where one
// can be reached.
bool displayReachable()
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#endif
}

std::vector<showcheck::Display> currentDisplays()
{
    std::vector<showcheck::Display> displays;
    const QScreen *primary = QGuiApplication::primaryScreen();
    for (const QScreen *screen : QGuiApplication::screens()) {
        displays.push_back({screen->name(), screen->geometry(), screen == primary});
    }
    return displays;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QString error;
    const showcheck::Options options = showcheck::parseArguments(arguments, error);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!error.isEmpty()) {
        err << "corvane-check: " << error << "\n\n" << showcheck::usageText();
        return showcheck::exitUnreadable;
    }
    if (options.help) {
        out << showcheck::usageText();
        return showcheck::exitClean;
    }
    if (options.version) {
        out << "corvane-check " << CORVANE_VERSION << "\n";
        return showcheck::exitClean;
    }

    const bool gui = options.layout && displayReachable();
    std::unique_ptr<QCoreApplication> app;
    if (gui) {
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    app->setApplicationName(QStringLiteral("corvane-check"));

    showcheck::CheckEnvironment environment;
    environment.createApplication = pa::defaultApplicationFactory();
    environment.screenNumbersPath = platform::mapDriveC(screennumbers::fileName);
    if (gui) {
        environment.displays = [] { return std::optional(currentDisplays()); };
    }
    return showcheck::runCheck(options, environment, out, err);
}

#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace programs {

namespace {

void describe(QCommandLineParser &parser, const QString &description)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
}

} // namespace

std::optional<int> answerBeforeStart(int argc, char *argv[], const QString &name,
                                     const QString &description)
{
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    // Lets the desktop match the windows to their menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.corvane.") + name);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QCommandLineParser parser;
    describe(parser, description);
    // Options of the window system are not known here; they are checked once it has taken them.
    parser.parse(arguments);
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        QString text = parser.helpText();
        // Without an application object the parser does not know the program's name.
        text.replace(QStringLiteral("<executable_name>"), name);
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(name), CORVANE_VERSION);
        return 0;
    }
    return std::nullopt;
}

void rejectUnknownArguments(const QCoreApplication &app, const QString &description)
{
    QCommandLineParser parser;
    describe(parser, description);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "%s takes no file or other argument: %s\nTry --help.\n",
                     qPrintable(QCoreApplication::applicationName()),
                     qPrintable(parser.positionalArguments().join(QLatin1Char(' '))));
        std::exit(2);
    }
}

} // namespace programs

#include "show_controller/frmControl.h"

#include "show_controller/corvane_follow.h"
#include "show_controller/corvane_remote.h"

#include "platform/busy_calls.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/primary_display.h"
#include "platform/qt_serial_port.h"
#include "presentation_automation/default_backend.h"
#include "presentation_automation/session/qt_platform_choice.h"
#include "remote_control/remote_log.h"
#include "remote_control/remote_settings.h"

#include "command_line.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    const QString description = QStringLiteral("Controls the slide shows of three screens from a "
                                               "show script, its buttons and a serial remote.");
    if (const auto code =
            programs::answerBeforeStart(argc, argv, QStringLiteral("Corvane"), description)) {
        return *code;
    }
    pa::preferX11OnWayland();
    QApplication app(argc, argv);
    programs::rejectUnknownArguments(app, description);
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/corvane.svg")));

    ControlServices services;
    services.createApplication = platform::guardedApplications(pa::defaultApplicationFactory());
    services.messageBox = std::make_shared<platform::QtMessageBox>();
    services.fileDialog = std::make_shared<platform::QtFileOpenDialog>();
    services.createSerialPort = [] { return std::make_unique<platform::QtSerialPort>(); };

    frmControl window(std::move(services));
    // Read once at start: a changed [Remote] group takes effect at the next start.
    CorvaneRemote networkRemote(window, remote::readSettings(QStringLiteral("Corvane")),
                                remote::defaultLogPath(QStringLiteral("corvane")));
    // A backup follows the main named in [Follow]; the geometry window can name another.
    CorvaneFollow follow(window, networkRemote,
                         remote::readFollowSettings(QStringLiteral("Corvane")));
    platform::openOnPrimary(&window);
    window.show();
    return app.exec();
}

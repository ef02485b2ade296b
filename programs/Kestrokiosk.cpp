#include "presentation_controller/kestro_follow.h"
#include "presentation_controller/kestro_remote.h"

#include "platform/busy_calls.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/primary_display.h"
#include "presentation_automation/default_backend.h"
#include "presentation_automation/session/qt_platform_choice.h"
#include "presentation_controller/frmKestro.h"
#include "remote_control/remote_log.h"
#include "remote_control/remote_settings.h"

#include "command_line.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    const QString description =
        QStringLiteral("Controls one slide show on a second display and advances it on a timer.");
    if (const auto code =
            programs::answerBeforeStart(argc, argv, QStringLiteral("Kestrokiosk"), description)) {
        return *code;
    }
    pa::preferX11OnWayland();
    QApplication app(argc, argv);
    programs::rejectUnknownArguments(app, description);
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/kestrokiosk.svg")));
    KestroServices services;
    services.createApplication = platform::guardedApplications(pa::defaultApplicationFactory());
    services.messageBox = std::make_shared<platform::QtMessageBox>();
    services.fileDialog = std::make_shared<platform::QtFileOpenDialog>();
    frmKestro window(std::move(services), kestro::Variant::Kiosk);
    platform::openOnPrimary(&window);
    // Read once at start: a changed [Remote] group takes effect at the next start.
    KestroRemote networkRemote(window, remote::readSettings(QStringLiteral("Kestrokiosk")),
                               remote::defaultLogPath(QStringLiteral("kestrokiosk")));
    // A backup follows the main named in [Follow].
    KestroFollow follow(window, networkRemote,
                        remote::readFollowSettings(QStringLiteral("Kestrokiosk")));
    window.show();
    return app.exec();
}

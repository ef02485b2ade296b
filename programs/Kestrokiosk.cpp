#include "platform/busy_calls.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/qt_platform_choice.h"
#include "presentation_automation/default_backend.h"
#include "presentation_controller/frmKestro.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    platform::preferX11OnWayland();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Kestrokiosk"));
    KestroServices services;
    services.createApplication = platform::guardedApplications(pa::defaultApplicationFactory());
    services.messageBox = std::make_shared<platform::QtMessageBox>();
    services.fileDialog = std::make_shared<platform::QtFileOpenDialog>();
    frmKestro window(std::move(services), kestro::Variant::Kiosk);
    window.show();
    return app.exec();
}

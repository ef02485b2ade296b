// Every caption of every window shows whole at the fonts the windows use on this system.

#include "platform/command_button.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"
#include "presentation_automation/testing/recording_automation.h"
#include "presentation_controller/frmKestro.h"
#include "presentation_controller/frmScreen.h"
#include "show_controller/frmControl.h"
#include "show_controller/frmShowAdjust.h"

#include <QTest>

#include <memory>

namespace {

// The named controls of a window whose caption does not fit, with what they need.
QStringList clipped(const QWidget *window)
{
    QStringList found;
    for (const QWidget *control : window->findChildren<QWidget *>()) {
        if (control->objectName().isEmpty() || control->window() != window) {
            continue; // parts of a control, or another window
        }
        QString why;
        if (!platform::captionFits(control, &why)) {
            found << window->objectName() + QLatin1Char('.') + control->objectName() +
                         QStringLiteral(": ") + why;
        }
    }
    return found;
}

} // namespace

class tst_Captions : public QObject
{
    Q_OBJECT

private slots:
    void everyCaptionFits_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("frmControl") << QStringLiteral("frmControl");
        QTest::newRow("frmShowAdjust") << QStringLiteral("frmShowAdjust");
        QTest::newRow("frmKestro") << QStringLiteral("frmKestro");
        QTest::newRow("frmKestro kiosk") << QStringLiteral("frmKestro kiosk");
        QTest::newRow("frmScreen") << QStringLiteral("frmScreen");
    }

    void everyCaptionFits()
    {
        QFETCH(QString, window);
        pa::testing::RecordingAutomation app;
        auto messages = std::make_shared<platform::testing::FakeMessageBox>();
        auto dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();

        std::unique_ptr<QWidget> shown;
        QWidget *measured = nullptr;
        if (window.startsWith(QLatin1String("frmKestro")) || window == QLatin1String("frmScreen")) {
            KestroServices services{app.factory(), messages, dialog, {}, {}};
            auto kestro = std::make_unique<frmKestro>(std::move(services),
                                                      window.endsWith(QLatin1String("kiosk"))
                                                          ? kestro::Variant::Kiosk
                                                          : kestro::Variant::Kestro);
            measured = window == QLatin1String("frmScreen")
                           ? static_cast<QWidget *>(kestro->screen())
                           : kestro.get();
            shown = std::move(kestro);
        } else {
            auto control =
                std::make_unique<frmControl>(ControlServices{app.factory(), messages, dialog, {}});
            if (window == QLatin1String("frmShowAdjust")) {
                control->findChild<QPushButton *>(QStringLiteral("cmdShowAdjust"))->click();
                measured = control->geometryWindow();
            } else {
                measured = control.get();
            }
            shown = std::move(control);
        }
        QVERIFY(measured);
        measured->show();
        const QStringList problems = clipped(measured);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }
};

CORVANE_TEST_MAIN(tst_Captions)
#include "tst_captions.moc"

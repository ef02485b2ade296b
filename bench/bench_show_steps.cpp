// How long Corvane's own part of a show step takes: the script rules, the calls into the
// presentation application (here the recording stand-in, which writes real 175x125 JPEG
// pictures) and loading the three previews from disk. Prints figures; asserts nothing.

#include "show_controller/frmControl.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "presentation_automation/testing/recording_automation.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir root;
    platform::setDriveCRoot(root.path());
    for (int n = 1; n <= 3; ++n) {
        QDir(root.path()).mkpath(QStringLiteral("Slide Shows/Screen %1 JPG").arg(n));
    }

    pa::testing::RecordingAutomation automation;
    auto dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
    ControlServices services{
        automation.factory(), std::make_shared<platform::testing::FakeMessageBox>(), dialog, {}};
    frmControl window(services);
    for (int n = 0; n < 3; ++n) {
        dialog->answers.append(root.filePath(QStringLiteral("deck.pdf")));
        window.cmdLoadShow_Click();
    }

    // A long script of three-screen steps, walked forward and then back.
    const int steps = 200;
    QByteArray script = "0,1,1,1\r\n";
    for (int i = 1; i <= steps; ++i) {
        const int slide = 1 + i % 9;
        script += "10," + QByteArray::number(slide) + "," + QByteArray::number(slide) + "," +
                  QByteArray::number(slide) + "\r\n";
    }
    QFile file(root.filePath(QStringLiteral("show.txt")));
    file.open(QIODevice::WriteOnly);
    file.write(script);
    file.close();
    dialog->answers.append(file.fileName());
    window.cmdLoadScriptEd_Click();

    std::vector<double> forward, back;
    QElapsedTimer timer;
    for (int i = 0; i < steps; ++i) {
        timer.start();
        window.cmdNextSlide_Click();
        forward.push_back(timer.nsecsElapsed() / 1e6);
    }
    for (int i = 0; i < steps; ++i) {
        timer.start();
        window.cmdPreviousSlide_Click();
        back.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("Next Slide, three screens switched and previewed: median %.2f ms, worst %.2f ms "
                "(%d steps)\n",
                median(forward), *std::max_element(forward.begin(), forward.end()), steps);
    std::printf("Previous Slide, three screens restored and previewed: median %.2f ms, worst "
                "%.2f ms (%d steps)\n",
                median(back), *std::max_element(back.begin(), back.end()), steps);
    platform::setDriveCRoot(QString());
    return 0;
}

// What the operator of Kestro waits for: Load Show, Next Slide, Previous Slide and Goto Slide
// Number pressed in the real window against the real host program (offscreen) with a real
// PDF deck; each press returns once the host has taken the step. Prints figures; asserts
// nothing.

#include "presentation_controller/frmKestro.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "presentation_automation/host/client/client.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Figures
{
    double median;
    double worst;
};

Figures figures(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back()};
}

template<typename Press> double milliseconds(Press &&press)
{
    QElapsedTimer timer;
    timer.start();
    press();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kestro"));
    pa::host::testing::HostFixture host;
    platform::setDriveCRoot(host.path(QStringLiteral("c")));
    const int pages = 40;
    const QString deck = host.path(QStringLiteral("deck.pdf"));
    pa::host::testing::makeDeck(deck, pages, 0, QSizeF(960, 540), true);

    auto messages = std::make_shared<platform::testing::FakeMessageBox>();
    auto dialog = std::make_shared<platform::testing::FakeFileOpenDialog>();
    KestroServices services;
    services.createApplication = pa::host::applicationFactory(host.options);
    services.messageBox = messages;
    services.fileDialog = dialog;
    frmKestro window(std::move(services), kestro::Variant::Kestro);

    dialog->answers << deck;
    const double firstLoad = milliseconds([&] { window.cmdLoadShow_Click(); });
    dialog->answers << deck;
    const double secondLoad = milliseconds([&] { window.cmdLoadShow_Click(); });

    std::vector<double> next, previous, jump;
    for (int i = 1; i < pages; ++i) {
        next.push_back(milliseconds([&] { window.cmdNextSlide_Click(); }));
    }
    for (int i = 1; i < pages; ++i) {
        previous.push_back(milliseconds([&] { window.cmdPreviousSlide_Click(); }));
    }
    auto *gotoBox = window.findChild<QLineEdit *>(QStringLiteral("txtGotoSlide"));
    for (int i = 0; i < 30; ++i) {
        gotoBox->setText(
            QString::number(1 + (i * 17) % pages)); // far jumps, mostly not rendered ahead
        jump.push_back(milliseconds([&] { window.cmdGoto_Click(); }));
    }

    std::printf("deck: %d rich 960x540 pages; host on the offscreen platform\n", pages);
    std::printf("Load Show, host started by it: %.1f ms; again with the host running: %.1f ms\n",
                firstLoad, secondLoad);
    const auto print = [](const char *what, const std::vector<double> &values) {
        const Figures f = figures(values);
        std::printf("%-20s median %.2f ms, worst %.2f ms (%zu presses)\n", what, f.median, f.worst,
                    values.size());
    };
    print("Next Slide:", next);
    print("Previous Slide:", previous);
    print("Goto Slide Number:", jump);
    std::printf("messages shown: %lld\n", static_cast<long long>(messages->shown.size()));
    return 0;
}

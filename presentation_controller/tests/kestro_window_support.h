#pragma once

// Building the controller window for a test and reading what it showed, shared by the tests
// against the recording double and against the real host.

#include "presentation_controller/frmKestro.h"

#include "platform/testing/fakes.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <functional>
#include <memory>

namespace kestro::testing {

// The window as the program builds it, with the program's name set as its runtime errors'
// source; the link and the program's end are the test's to watch (by default ignored).
inline std::unique_ptr<frmKestro> makeKestroWindow(
    Variant variant, pa::ApplicationFactory createApplication,
    std::shared_ptr<platform::testing::FakeMessageBox> messages,
    std::shared_ptr<platform::testing::FakeFileOpenDialog> dialog,
    std::function<bool(const QUrl &)> openUrl = [](const QUrl &) { return true; },
    std::function<void()> endProgram = [] {})
{
    QCoreApplication::setApplicationName(variant == Variant::Kiosk ? QStringLiteral("Kestrokiosk")
                                                                   : QStringLiteral("Kestro"));
    KestroServices services;
    services.createApplication = std::move(createApplication);
    services.messageBox = std::move(messages);
    services.fileDialog = std::move(dialog);
    services.openUrl = std::move(openUrl);
    services.endProgram = std::move(endProgram);
    return std::make_unique<frmKestro>(std::move(services), variant);
}

// A named control of the window; a missing one ends the test run at once.
template<typename T = QLineEdit> T *control(const QWidget *window, const char *name)
{
    auto *found = window->findChild<T *>(QLatin1String(name));
    if (found == nullptr) {
        qFatal("no control %s", name);
    }
    return found;
}

inline QStringList messageTexts(const platform::testing::FakeMessageBox &messages)
{
    QStringList texts;
    for (const auto &shown : messages.shown) {
        texts << shown.text;
    }
    return texts;
}

} // namespace kestro::testing

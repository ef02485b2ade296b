#pragma once

// Keeps the program's windows alive while a handler waits on the presentation application.
//
// The calls stay synchronous on the window's thread (PowerPoint's objects belong to it), so
// the handler's order of calls and its error handling are what they were. Once a stretch of
// calls has lasted about 100 ms, the backend's waits (see call_wait.h) show the wait cursor
// and let the windows repaint; user input made meanwhile is held and handled after the call,
// in order, so no handler runs inside another. Timers and queued events still arrive during
// such a wait: a handler they would start asks inCall() and defers or skips its work.

#include "presentation_automation/automation.h"

#include <QObject>

#include <chrono>

namespace platform {

class BusyCalls : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    // How long calls run before the windows are kept alive.
    static constexpr std::chrono::milliseconds busyAfter{100};

    // The one instance, for its signal.
    static BusyCalls &instance();

    // A call to the presentation application is in progress on the window's thread.
    static bool inCall();
    // When the last call on the window's thread ended (the clock's epoch before any).
    static Clock::time_point lastCallEnded();

    // Brackets one call; nests. Other threads' calls are not the windows' business.
    class Scope
    {
    public:
        Scope();
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        bool m_counted = false;
    };

    // What the backends' waits call (installed as pa::waitHook by guardedApplications).
    static void whileWaiting(bool mayDispatch);

signals:
    // The outermost call has returned; queued work may now run.
    void callsEnded();

private:
    BusyCalls() = default;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Every call made through the applications of the factory (the create included) is
// bracketed by a BusyCalls::Scope. Installs the wait hook.
pa::ApplicationFactory guardedApplications(pa::ApplicationFactory inner);

} // namespace platform

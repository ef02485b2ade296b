#pragma once

// The client side of the built-in presentation host: the presentation interface
// implemented over the host's local socket. Every call waits for the host's answer, but
// never longer than its timeout; a host that is gone, hangs or answers nonsense becomes an
// AutomationError at the caller.

#include "presentation_automation/automation.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace pa::host {

struct ClientOptions
{
    // The host program to start when none runs; empty: presentation_host beside the
    // running program.
    QString hostProgram;
    // The private folder of the socket; empty: the user's runtime folder.
    QString runtimeDir;
    // Added to the command line of a host this client starts (tests pass "-platform offscreen").
    QStringList hostArguments;
    int stepTimeoutMs = 5000;
    int exportTimeoutMs = 20000;
    int openTimeoutMs = 180000;
    int startTimeoutMs = 20000;
};

// Each call of the factory is one "create the application": it reaches the running host of
// this user or starts one.
ApplicationFactory applicationFactory(ClientOptions options = {});

// The process id of the host that answers at the options' socket, or 0 when none answers.
// Starts nothing.
std::int64_t runningHostPid(const ClientOptions &options = {});

// The host's listing of its presentations. Starts nothing; throws AutomationError when no
// host answers.
QString statusListing(const ClientOptions &options = {});

// Asks the running host to end all its shows and quit. False when no host answers.
bool quitHost(const ClientOptions &options = {});

QString hostProgramName();

// Set by a program for the host it starts: who started it and why, for the host's log.
inline constexpr const char *hostStartReasonVariable = "PRESENTATION_HOST_START_REASON";

} // namespace pa::host

#pragma once

// How long the stepped import may run. A fixed figure fails a large deck on a busy machine
// while it is still working; so the import reports the slides it has done, and each report
// moves the limit by what the slides so far took. A run that stops reporting is still given up
// on, and so is one past an outer bound.

#include <QByteArray>

#include <optional>

namespace pa::host {

struct ImportProgress
{
    int done = 0;
    int total = 0;
};

// A line the import writes as it goes: "progress <done> <total>".
std::optional<ImportProgress> parseImportProgress(const QByteArray &line);

class ImportLimit
{
public:
    // startMs: what opening the deck may take, until the first report.
    explicit ImportLimit(qint64 startMs);

    // Milliseconds from the start the import may run to, as first set or last moved.
    qint64 deadlineMs() const { return m_deadlineMs; }
    // A report at elapsedMs from the start; returns the new deadline.
    qint64 report(const ImportProgress &progress, qint64 elapsedMs);
    // The slides done at the last report, for the message of a run given up on.
    const std::optional<ImportProgress> &last() const { return m_last; }

    // However well it goes, no import runs longer than this.
    static constexpr qint64 outerBoundMs = 60ll * 60 * 1000;

private:
    qint64 m_startMs;
    qint64 m_deadlineMs;
    std::optional<ImportProgress> m_last;
};

} // namespace pa::host

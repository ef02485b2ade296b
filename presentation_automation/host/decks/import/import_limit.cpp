#include "presentation_automation/host/decks/import/import_limit.h"

#include <QList>

#include <algorithm>

namespace pa::host {

namespace {

// A slide that takes this many times the slides so far on average is taken to be stuck.
constexpr qint64 slowSlideFactor = 4;

} // namespace

std::optional<ImportProgress> parseImportProgress(const QByteArray &line)
{
    const QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() != 3 || words[0] != "progress") {
        return std::nullopt;
    }
    bool doneOk = false;
    bool totalOk = false;
    const int done = words[1].toInt(&doneOk);
    const int total = words[2].toInt(&totalOk);
    if (!doneOk || !totalOk || done < 0 || total < 0 || done > total) {
        return std::nullopt;
    }
    return ImportProgress{done, total};
}

ImportLimit::ImportLimit(qint64 startMs) : m_startMs(startMs), m_deadlineMs(startMs) {}

qint64 ImportLimit::report(const ImportProgress &progress, qint64 elapsedMs)
{
    // A report that goes back (or another deck's count) moves nothing.
    if (m_last && (progress.total != m_last->total || progress.done < m_last->done)) {
        return m_deadlineMs;
    }
    m_last = progress;
    qint64 allowance = 0;
    if (progress.done >= progress.total) {
        // Writing the PDF is left: it costs about what opening the deck and making its pages did.
        allowance = std::max(m_startMs, elapsedMs);
    } else {
        // Opening the deck counts as work done, so the figure errs on the generous side.
        const qint64 perSlide = progress.done > 0 ? elapsedMs / progress.done : 0;
        allowance = std::max(m_startMs / 2, slowSlideFactor * perSlide);
    }
    m_deadlineMs = std::min(outerBoundMs, std::max(m_deadlineMs, elapsedMs + allowance));
    return m_deadlineMs;
}

} // namespace pa::host

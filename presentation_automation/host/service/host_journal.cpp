// The presentation host's journal: what it writes on every change of its presentations, and
// how a host started after a crash puts them back.

#include "presentation_automation/host/decks/converter.h"
#include "presentation_automation/host/host_core.h"
#include "presentation_automation/host/service/host_process.h"
#include "presentation_automation/host/service/socket_keeper.h"
#include "presentation_automation/host/shows/show_window.h"

#include <QFileInfo>
#include <QUuid>

#include <algorithm>

namespace pa::host {

void PresentationHost::restoreFromJournal()
{
    QStringList problems;
    const auto state = m_journal.load(&problems);
    for (const QString &problem : problems) {
        hostLog(problem);
    }
    if (!state) {
        m_session = QUuid::createUuid().toString(QUuid::WithoutBraces);
        writeJournal();
        return;
    }
    // The host that wrote it died: a host that ends cleanly removes its journal.
    m_session = state->session;
    m_nextId = std::max(m_nextId, state->nextId);
    m_active = state->active;
    m_journalActive = state->active;
    hostLog(QStringLiteral("Putting back %1 presentations from the journal of a host that ended "
                           "without closing them.")
                .arg(state->presentations.size()));
    for (const JournalEntry &entry : state->presentations) {
        if (!QFileInfo::exists(entry.file)) {
            hostLog(QStringLiteral("Presentation %1 (%2) is left out: the file is gone.")
                        .arg(entry.id)
                        .arg(entry.file));
            continue;
        }
        m_restoring[entry.id].entry = entry;
    }
    writeJournal();
    std::vector<JournalEntry> entries;
    for (const auto &[id, r] : m_restoring) {
        entries.push_back(r.entry);
    }
    for (const JournalEntry &entry : entries) {
        restoreEntry(entry);
    }
}

void PresentationHost::restoreEntry(const JournalEntry &entry)
{
    const std::int64_t id = entry.id;
    const auto done = [this, id](const Reply &outcome) { restoreFinished(id, outcome); };
    if (QFileInfo::exists(entry.pdf)) {
        loadPdfOffThread(entry.file, entry.pdf, id, done);
    } else if (Converter::needsConversion(entry.file)) {
        // Its converted copy was cleared away: converted again.
        const QString file = entry.file;
        m_converter->convert(
            file, [this, file, id, done](const QString &pdf, const QString &error) {
                if (!error.isEmpty()) {
                    done(Reply::failure({}, QStringLiteral("The file %1 %2.").arg(file, error)));
                } else {
                    loadPdfOffThread(file, pdf, id, done);
                }
            });
    } else {
        done(Reply::failure({}, QStringLiteral("The file %1 was not found.").arg(entry.pdf)));
    }
}

void PresentationHost::restoreFinished(std::int64_t id, const Reply &outcome)
{
    auto node = m_restoring.extract(id);
    if (node.empty()) {
        return;
    }
    const JournalEntry &entry = node.mapped().entry;
    Presentation *p = find(id);
    if (!outcome.ok || p == nullptr) {
        hostLog(QStringLiteral("Presentation %1 cannot be put back: %2")
                    .arg(id)
                    .arg(outcome.description));
    } else {
        if (entry.showRunning) {
            run(*p, &entry);
        }
        hostLog(QStringLiteral("Presentation %1 (%2) is back%3.")
                    .arg(id)
                    .arg(entry.file)
                    .arg(entry.showRunning
                             ? QStringLiteral(", its show on slide %1").arg(entry.slide)
                             : QString()));
    }
    if (find(m_journalActive) != nullptr || m_restoring.count(m_journalActive) != 0) {
        m_active = m_journalActive;
    }
    if (m_restoring.empty()) {
        // The active show goes on top, as it was.
        if (Presentation *active = find(m_active); active != nullptr && active->show) {
            active->show->raise();
        }
    }
    refreshListing();
    writeJournal();
    for (const auto &[request, reply] : node.mapped().waiting) {
        handle(request, reply);
    }
}

bool PresentationHost::waitForRestore(std::int64_t id, const Request &request, const ReplyFn &reply)
{
    auto it = m_restoring.find(id);
    if (it == m_restoring.end()) {
        return false;
    }
    it->second.waiting.emplace_back(request, reply);
    return true;
}

void PresentationHost::writeJournal()
{
    // After the reply and the paint, and once for all the changes of one request.
    if (m_journalDue) {
        return;
    }
    m_journalDue = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_journalDue = false;
            saveJournal();
        },
        Qt::QueuedConnection);
}

void PresentationHost::saveJournal()
{
    // Only the host at the socket path writes it: a host pushed aside would overwrite the
    // record of the one the programs reach.
    if (!m_socket->ownsPath() || m_session.isEmpty()) {
        return;
    }
    JournalState state;
    state.session = m_session;
    state.nextId = m_nextId;
    state.active = m_active;
    for (const auto &[id, p] : m_presentations) {
        JournalEntry e;
        e.id = id;
        e.file = p.file;
        e.pdf = p.pdf;
        e.slideCount = p.slideCount;
        if (const ShowWindow *w = p.show.data()) {
            e.showRunning = true;
            e.slide = w->currentSlide();
            e.left = p.left;
            e.top = p.top;
            e.width = p.width;
        }
        state.presentations.push_back(e);
    }
    // Still being put back: kept as they were, so a second crash loses nothing.
    for (const auto &[id, r] : m_restoring) {
        if (m_presentations.count(id) == 0) {
            state.presentations.push_back(r.entry);
        }
    }
    std::sort(state.presentations.begin(), state.presentations.end(),
              [](const JournalEntry &a, const JournalEntry &b) { return a.id < b.id; });
    const QString why = m_journal.save(state);
    if (!why.isEmpty()) {
        hostLog(QStringLiteral("The journal %1 cannot be written: %2").arg(m_journal.path(), why));
    }
}

} // namespace pa::host

// The presentation host's journal: what it writes on every change of its presentations, and
// how a host started after a crash puts them back.

#include "presentation_automation/host/decks/converter.h"
#include "presentation_automation/host/host_core.h"
#include "presentation_automation/host/service/host_process.h"
#include "presentation_automation/host/service/socket_keeper.h"
#include "presentation_automation/host/shows/show_window.h"

#include "presentation_automation/host/deadline_workers.h"
#include "presentation_automation/host/service/regular_file.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <set>

namespace pa::host {

namespace {

QString idList(const std::vector<std::int64_t> &ids)
{
    QStringList out;
    for (size_t i = 0; i < ids.size() && i < 20; ++i) {
        out << QString::number(ids[i]);
    }
    if (ids.size() > 20) {
        out << QStringLiteral("and %1 more").arg(ids.size() - 20);
    }
    return out.join(QStringLiteral(", "));
}

} // namespace

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
    m_session = state->session.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces)
                                         : state->session;
    m_nextId = std::max(m_nextId, state->nextId);
    m_active = state->active;
    m_journalActive = state->active;

    const auto forget =
        presentationsToForget(state->presentations, QDateTime::currentSecsSinceEpoch());
    const std::set<std::int64_t> forgotten(forget.begin(), forget.end());
    // The running shows first, the active one first of them: what the audience sees.
    std::vector<const JournalEntry *> order;
    for (const JournalEntry &entry : state->presentations) {
        if (forgotten.count(entry.id) == 0) {
            order.push_back(&entry);
        }
    }
    const auto rank = [this](const JournalEntry *e) {
        return e->showRunning ? (e->id == m_journalActive ? 0 : 1) : 2;
    };
    std::stable_sort(order.begin(), order.end(), [&](const JournalEntry *a, const JournalEntry *b) {
        return rank(a) < rank(b);
    });
    const auto running = std::count_if(order.begin(), order.end(),
                                       [](const JournalEntry *e) { return e->showRunning; });
    hostLog(QStringLiteral("Putting back %1 presentations (%2 running shows first) from the "
                           "journal of a host that ended without closing them.")
                .arg(order.size())
                .arg(running));
    if (!forgotten.empty()) {
        hostLog(QStringLiteral("%1 presentations whose shows had ended and that nothing used for "
                               "long are forgotten (ids %2).")
                    .arg(forgotten.size())
                    .arg(idList(forget)));
    }
    for (const JournalEntry *entry : order) {
        m_restoring[entry->id].entry = *entry;
        m_restoreOrder.push_back(entry->id);
    }
    writeJournal();
    startRestores();
}

void PresentationHost::startRestores()
{
    // A few at a time, so that a request for a presentation of its own goes in between and
    // nothing grows with the length of the journal but the queue itself.
    while (m_restoresRunning < 3 && !m_restoreOrder.empty()) {
        const std::int64_t id = m_restoreOrder.front();
        m_restoreOrder.pop_front();
        if (auto it = m_restoring.find(id); it != m_restoring.end() && !it->second.started) {
            restoreEntry(it->second);
        }
    }
}

void PresentationHost::restoreEntry(Restoring &restoring)
{
    restoring.started = true;
    ++m_restoresRunning;
    const JournalEntry &entry = restoring.entry;
    const std::int64_t id = entry.id;
    const QString file = entry.file;
    const QString pdf = entry.pdf;
    const auto done = [this, id](const Reply &outcome) { restoreFinished(id, outcome); };
    enum class Found
    {
        Pdf,
        NoPdf,
        Gone,
    };
    // Even looking at the names may hang on a share that does not answer: on a worker.
    m_workers->run(
        m_settings.readDeadlineMs,
        [file, pdf] {
            if (!QFileInfo::exists(file)) {
                return Found::Gone;
            }
            return QFileInfo::exists(pdf) ? Found::Pdf : Found::NoPdf;
        },
        [this, file, pdf, id, done](Found found) {
            if (found == Found::Gone) {
                done(Reply::failure({}, QStringLiteral("the file is gone.")));
            } else if (found == Found::Pdf) {
                loadPdfOffThread(file, pdf, id, done);
            } else if (Converter::needsConversion(file)) {
                // Its converted copy was cleared away: converted again.
                m_converter->convert(file, [this, file, id, done](const QString &converted,
                                                                  const QString &error) {
                    if (!error.isEmpty()) {
                        done(
                            Reply::failure({}, QStringLiteral("The file %1 %2.").arg(file, error)));
                    } else {
                        loadPdfOffThread(file, converted, id, done);
                    }
                });
            } else {
                done(Reply::failure({}, QStringLiteral("The file %1 was not found.").arg(pdf)));
            }
        },
        [this, file, done] { done(Reply::failure({}, notReadInTime(file))); });
}

void PresentationHost::restoreFinished(std::int64_t id, const Reply &outcome)
{
    auto node = m_restoring.extract(id);
    if (node.empty()) {
        return;
    }
    --m_restoresRunning;
    const JournalEntry &entry = node.mapped().entry;
    Presentation *p = find(id);
    if (!outcome.ok || p == nullptr) {
        hostLog(QStringLiteral("Presentation %1 (%2) is left out: %3")
                    .arg(id)
                    .arg(oneLine(entry.file), oneLine(outcome.description)));
    } else {
        p->touched = entry.touched > 0 ? entry.touched : p->touched;
        QString shown;
        if (entry.showRunning) {
            run(*p, &entry);
            shown = QStringLiteral(", its show on slide %1").arg(p->show->currentSlide());
        }
        hostLog(QStringLiteral("Presentation %1 (%2) is back%3.")
                    .arg(id)
                    .arg(oneLine(entry.file), shown));
    }
    if (find(m_journalActive) != nullptr || m_restoring.count(m_journalActive) != 0) {
        m_active = m_journalActive;
    }
    if (m_restoring.empty()) {
        hostLog(QStringLiteral("The journal is put back."));
        forgetLongUnused();
        // The active show goes on top, as it was.
        if (Presentation *active = find(m_active); active != nullptr && active->show) {
            active->show->raise();
        }
    }
    refreshListing();
    writeJournal();
    startRestores();
    for (const auto &[request, reply] : node.mapped().waiting) {
        handle(request, reply);
    }
}

void PresentationHost::forgetLongUnused()
{
    if (!m_restoring.empty()) {
        return; // the journal put back was bounded already; looked at again once it is back
    }
    std::vector<JournalEntry> entries;
    size_t idle = 0;
    for (const auto &[id, p] : m_presentations) {
        JournalEntry e;
        e.id = id;
        e.showRunning = !p.show.isNull();
        e.touched = p.touched;
        idle += e.showRunning ? 0 : 1;
        entries.push_back(e);
    }
    if (idle <= maxIdlePresentations / 2) {
        return; // nothing near the bound: not worth a look at every one
    }
    const auto forget = presentationsToForget(entries, QDateTime::currentSecsSinceEpoch());
    for (std::int64_t id : forget) {
        if (auto it = m_presentations.find(id); it != m_presentations.end()) {
            hostLog(QStringLiteral("Presentation %1 (%2) is forgotten: its show had ended and "
                                   "nothing used it for long.")
                        .arg(id)
                        .arg(oneLine(it->second.file)));
            m_presentations.erase(it);
        }
    }
    if (!forget.empty()) {
        refreshListing();
        writeJournal();
    }
}

bool PresentationHost::waitForRestore(std::int64_t id, const Request &request, const ReplyFn &reply)
{
    auto it = m_restoring.find(id);
    if (it == m_restoring.end()) {
        return false;
    }
    it->second.waiting.emplace_back(request, reply);
    // Asked for: put back now, ahead of its turn.
    if (!it->second.started) {
        restoreEntry(it->second);
    }
    return true;
}

void PresentationHost::writeJournal()
{
    // After the reply and the paint, and once for all the changes of one request. While a
    // journal is put back its entries stand as they were: written now and then, not once for
    // each presentation back; a change after that is written at once again.
    if (m_journalTimer == nullptr) {
        m_journalTimer = new QTimer(this);
        m_journalTimer->setSingleShot(true);
        connect(m_journalTimer, &QTimer::timeout, this, &PresentationHost::saveJournal);
    }
    const int delay = m_restoring.empty() ? 0 : 250;
    if (!m_journalTimer->isActive() || m_journalTimer->remainingTime() > delay) {
        m_journalTimer->start(delay);
    }
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
        e.touched = p.touched;
        if (const ShowWindow *w = p.show.data()) {
            e.showRunning = true;
            e.slide = w->currentSlide();
            e.step = w->currentState();
            e.viewState = w->viewState();
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

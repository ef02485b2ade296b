#include "presentation_automation/host/shows/player_retirement.h"

#include "presentation_automation/host/shows/slide_media.h"

#include <QMediaPlayer>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>

#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace pa::host {

PlayerRetirement &PlayerRetirement::instance()
{
    // Never destroyed: a player left waiting on a share that never answers again would hold
    // the host's end.
    static auto *const retirement = new PlayerRetirement;
    return *retirement;
}

int PlayerRetirement::waiting() const
{
    int n = 0;
    for (const auto &[path, players] : m_waiting) {
        n += static_cast<int>(players.size());
    }
    return n;
}

void PlayerRetirement::countOverdue(MediaCounts &open) const
{
    for (const auto &[path, players] : m_waiting) {
        for (const Waiting &w : players) {
            if (w.overdue && w.player) {
                open.add(w.kind, 1, w.bytes);
            }
        }
    }
}

void PlayerRetirement::retire(QMediaPlayer *player, const QString &path, const FileCheck &check,
                              int deadlineMs, const QString &said, MediaKind kind,
                              std::int64_t bytes)
{
    player->setParent(this);
    const bool asked = m_waiting.contains(path);
    m_waiting[path].push_back(Waiting{player, kind, bytes});
    const QPointer<QMediaPlayer> watched(player);
    QTimer::singleShot(deadlineMs, this, [this, watched, path, said] {
        const auto found = m_waiting.find(path);
        if (!watched || found == m_waiting.end()) {
            return;
        }
        const auto w = std::find_if(found->second.begin(), found->second.end(),
                                    [&](const Waiting &w) { return w.player == watched; });
        if (w == found->second.end()) {
            return;
        }
        w->overdue = true;
        MediaRoom::instance().tell();
        if (!said.isEmpty()) {
            qWarning("%s", qPrintable(said));
        }
    });
    if (asked) {
        // Freed with the others when the question already out comes back.
        return;
    }
    try {
        std::thread([this, path, check] {
            const auto self = static_cast<id_t>(::gettid());
            ::setpriority(PRIO_PROCESS, self, ::getpriority(PRIO_PROCESS, self) + 10);
            check(path);
            // This object is never destroyed, so the answer always has somewhere to go.
            QMetaObject::invokeMethod(
                this, [this, path] { answered(path); }, Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error &) {
        // No thread to be had: the player is left as if its file did not answer.
    }
}

void PlayerRetirement::answered(const QString &path)
{
    const auto found = m_waiting.find(path);
    if (found == m_waiting.end()) {
        return;
    }
    const std::vector<Waiting> players = std::move(found->second);
    m_waiting.erase(found);
    bool heldRoom = false;
    for (const Waiting &w : players) {
        if (w.player) {
            heldRoom = heldRoom || w.overdue;
            w.player->stop();
            // Its backend may still deliver from its threads: gone once back at the event loop.
            w.player->deleteLater();
        }
    }
    if (heldRoom) {
        MediaRoom::instance().tell();
    }
}

} // namespace pa::host

#pragma once

// Letting a clip's player go without the show's thread waiting for a file that stopped
// answering. Stopping or deleting a player waits for the backend's thread that reads its file;
// when that read hangs in the kernel (a share gone away while the clip played) it would wait
// for good, and every show with it. So a player let go is silenced and its file asked again
// off the show's thread: once that answers, the player is stopped and deleted as before; while
// it does not, the player is left as it is, with one line in the log, and is freed once its
// file answers, if ever. One question per file is out at a time, so a share that stays away
// holds one thread, not one per clip let go. A player left waiting beyond the deadline still
// holds its decoder, so it counts against the host's media as an open one does.

#include "presentation_automation/host/shows/media_admission.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <vector>

class QMediaPlayer;

namespace pa::host {

class PlayerRetirement : public QObject
{
public:
    using FileCheck = std::function<QString(const QString &path)>;

    // The one of the host's show thread; it lasts as long as the process.
    static PlayerRetirement &instance();

    // Takes player, no longer connected to its clip (of kind, reckoned to hold bytes), and lets
    // it go once the file at path answers check (whatever it answers). If it has not within
    // deadlineMs, said (unless empty) goes to the log.
    void retire(QMediaPlayer *player, const QString &path, const FileCheck &check, int deadlineMs,
                const QString &said, MediaKind kind, std::int64_t bytes);
    // Players whose file has not answered yet.
    int waiting() const;
    // Adds the players whose file has not answered within its deadline.
    void countOverdue(MediaCounts &open) const;

private:
    struct Waiting
    {
        QPointer<QMediaPlayer> player;
        MediaKind kind;
        std::int64_t bytes;
        bool overdue = false;
    };

    PlayerRetirement() = default;
    // In this object's thread, once the question about path came back.
    void answered(const QString &path);

    std::map<QString, std::vector<Waiting>> m_waiting;
};

} // namespace pa::host

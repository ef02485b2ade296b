#pragma once

// A backup controller following its main: the link to the main, the rules that bring the
// backup's screens where the main's are, and the backup's health. The window is reached
// through callbacks only, so Corvane and Kestro share it.

#include "remote_control/commands.h"
#include "remote_control/follow_rules.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

namespace remote {

class FollowLink;

struct FollowSettings
{
    QString main; // HOST:PORT of the main's WebSocket; empty: this is no backup
    QString token;
};

// The [Follow] group of the program's settings file.
FollowSettings readFollowSettings(const QString &program);
void writeFollowSettings(const QString &program, const FollowSettings &settings);

class Follower;

namespace follow {
// What a follower puts before the texts it queues, new for each run of the program, so that no
// remote can pass for it.
QString followerMark();
// One line for the windows: "following 127.0.0.1:52512: in-step", "not following".
QString statusText(const Follower *follower);
} // namespace follow

class Follower : public QObject
{
    Q_OBJECT

public:
    struct Window
    {
        // Reads where the own shows are now; false while a call is under way.
        std::function<bool()> readPositions;
        // The own state, with the positions just read.
        std::function<State()> ownState;
        // Runs one queue text on the follower's behalf, through the window's queue.
        std::function<void(const QString &)> queue;
    };

    Follower(Program program, FollowSettings settings, Window window, QObject *parent = nullptr);
    ~Follower() override;

    follow::Health health() const { return m_health; }
    QString reason() const { return m_reason; }
    QString main() const { return m_settings.main; }
    // follow, followMain and followReason, for the backup's own state.
    State stateFields() const;

    // One of the texts this follower queued has run.
    void followerCommandRan();
    // The operator stepped this show by its own buttons or remotes: it may be the live one
    // now, so it stays where the operator put it until re-armed.
    void ownCommand();
    void rearm();
    bool armed() const { return m_armed; }

signals:
    void changed();

private:
    void mainState(const QJsonObject &state);
    void linkLost(const QString &why);
    void evaluate();
    void setHealth(follow::Health health, const QString &reason);

    Program m_program;
    FollowSettings m_settings;
    Window m_window;
    std::unique_ptr<FollowLink> m_link;
    QTimer m_retry;
    QTimer m_report;
    follow::Show m_main;
    qint64 m_mainRevision = -1;
    bool m_haveMain = false;
    bool m_armed = true;
    int m_pending = 0;
    int m_roundsThisRevision = 0;
    follow::Health m_health = follow::Health::Lost;
    QString m_reason;
};

} // namespace remote

#pragma once

// Corvane as a main and as a backup: what its state adds for a backup (where each show really
// is, which decks and script it has, how it follows), and, with [Follow] set, the follower
// that puts its screens where the main's are through the window's own queue.

#include "remote_control/follower.h"
#include "remote_control/show_positions.h"

#include <QObject>

#include <memory>

class CorvaneRemote;
class frmControl;

class CorvaneFollow : public QObject
{
    Q_OBJECT

public:
    CorvaneFollow(frmControl &window, CorvaneRemote &remote,
                  const remote::FollowSettings &settings);
    ~CorvaneFollow() override;

    // A main named: this Corvane follows it from now on; none: it stops being a backup.
    void setMain(const remote::FollowSettings &settings);
    remote::FollowSettings settings() const { return m_settings; }
    // Null when this Corvane is no backup.
    remote::Follower *follower() const { return m_follower.get(); }
    // One line for the windows: "following 127.0.0.1:52512: in-step".
    QString statusText() const;

signals:
    void changed();

private:
    bool handle(const QString &text, const std::function<void(const QString &)> &run);
    void gotoScreen(int screen, int slide);
    remote::State fields() const;

    frmControl &m_window;
    CorvaneRemote &m_remote;
    remote::FollowSettings m_settings;
    remote::ShowPositions m_positions;
    std::unique_ptr<remote::Follower> m_follower;
    // Put before the texts this follower queues, so that the window's own are told apart.
    QString m_mark;
};

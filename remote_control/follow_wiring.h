#pragma once

// A controller as a main and as a backup, whatever the controller: what its state adds for a
// backup (where each show really is, which decks and script it has, how it follows), and,
// with a main named, the follower that puts its screens where the main's are through the
// window's own queue. Corvane and Kestro say which shows, decks and buttons they have.

#include "remote_control/follower.h"
#include "remote_control/show_positions.h"

#include <QObject>

#include <functional>
#include <memory>

class QWidget;

namespace remote {

class ControllerRemote;

class FollowWiring : public QObject
{
    Q_OBJECT

public:
    ~FollowWiring() override;

    // A main named: this controller follows it from now on; none: it stops being a backup.
    void setMain(const FollowSettings &settings);
    FollowSettings settings() const { return m_settings; }
    // Null when this controller is no backup.
    Follower *follower() const { return m_follower.get(); }
    // One line for the windows: "following 127.0.0.1:52512: in-step".
    QString statusText() const;
    // Whether the controller's own timers may step it (not while it follows a main).
    bool mayStepByItself() const { return !m_follower || !m_follower->armed(); }

    // The window's queue hook: the follower's texts, FOLLOW, and telling the operator's own
    // steps. run carries out a text as the window would.
    bool handle(const QString &text, const std::function<void(const QString &)> &run);

signals:
    void changed();

protected:
    // queue puts a text in the window's queue; steppingButtons are the buttons whose press
    // steps the show (they call their handlers directly, not through the queue).
    FollowWiring(Program program, QWidget &window, ControllerRemote &remote,
                 std::function<void(const QString &)> queue, const QStringList &steppingButtons);
    // Called last by a subclass's constructor, as it needs the subclass's answers.
    void start(const FollowSettings &settings);

    // The shows, as the controller's remote probes them.
    std::vector<std::shared_ptr<pa::Presentation>> presentations() const;
    virtual QString deckFile(std::size_t index) const = 0;
    virtual QStringList scriptLines() const { return {}; }
    // A follower's text the window has no handler for; true when taken.
    virtual bool runFollowerText(const QString &text)
    {
        (void)text;
        return false;
    }

private:
    State fields() const;

    Program m_program;
    QWidget &m_window;
    ControllerRemote &m_remote;
    std::function<void(const QString &)> m_queue;
    FollowSettings m_settings;
    ShowPositions m_positions;
    std::unique_ptr<Follower> m_follower;
    // Put before the texts this follower queues, so that the window's own are told apart.
    QString m_mark;
};

} // namespace remote

#pragma once

// Corvane as a main and as a backup: its three shows, decks and script, its stepping buttons,
// and the one step a follower needs that Corvane has no button for: a screen sent to a slide.

#include "remote_control/follow_wiring.h"

class CorvaneRemote;
class frmControl;

class CorvaneFollow : public remote::FollowWiring
{
    Q_OBJECT

public:
    CorvaneFollow(frmControl &window, CorvaneRemote &remote,
                  const remote::FollowSettings &settings);
    ~CorvaneFollow() override;

protected:
    QString deckFile(std::size_t index) const override;
    QStringList scriptLines() const override;
    bool runFollowerText(const QString &text) override;

private:
    frmControl &m_window;
};

#pragma once

// Kestro and Kestrokiosk as a main and as a backup: the one show, its deck and its stepping
// buttons; a following Kestrokiosk leaves its timer to the main.

#include "remote_control/follow_wiring.h"

class KestroRemote;
class frmKestro;

class KestroFollow : public remote::FollowWiring
{
    Q_OBJECT

public:
    KestroFollow(frmKestro &window, KestroRemote &remote, const remote::FollowSettings &settings);
    ~KestroFollow() override;

protected:
    QString deckFile(std::size_t index) const override;

private:
    frmKestro &m_window;
};

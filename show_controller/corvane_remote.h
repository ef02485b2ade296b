#pragma once

// Corvane's network remote: what it tells subscribers about the show, taken from the main
// window's own record, and the commands it puts in the window's remote queue.

#include "remote_control/controller_remote.h"

class frmControl;

class CorvaneRemote : public remote::ControllerRemote
{
    Q_OBJECT

public:
    CorvaneRemote(frmControl &window, const remote::RemoteSettings &settings,
                  const QString &logPath);
    ~CorvaneRemote() override;

    remote::State currentState() const override;

protected:
    std::vector<std::shared_ptr<pa::Presentation>> presentations() const override;
    bool applicationCreated() const override;

private:
    frmControl &m_window;
};

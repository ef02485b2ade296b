#pragma once

// Corvane's network remote: what it tells subscribers about the show, taken from the main
// window's own record, and the commands it puts in the window's remote queue.

#include "remote_control/controller_remote.h"

#include <QStringList>

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
    std::vector<remote::PagePicture> pagePictures() const override;
    // The script's lines, when they changed.
    void publishPageData() override;
    void showsProbed() override;

private:
    frmControl &m_window;
    QStringList m_script;
    bool m_scriptSent = false;
};

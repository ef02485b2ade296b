#pragma once

// Kestro's and Kestrokiosk's network remote: the show's slide as the window shows it, the
// slide count and whether the show runs, and the commands it puts in the window's queue.

#include "remote_control/controller_remote.h"

class frmKestro;

class KestroRemote : public remote::ControllerRemote
{
    Q_OBJECT

public:
    KestroRemote(frmKestro &window, const remote::RemoteSettings &settings, const QString &logPath);
    ~KestroRemote() override;

    remote::State currentState() const override;

protected:
    std::vector<std::shared_ptr<pa::Presentation>> presentations() const override;
    bool applicationCreated() const override;
    std::vector<remote::PagePicture> pagePictures() const override;
    void showsProbed() override;

private:
    frmKestro &m_window;
};

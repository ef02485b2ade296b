#pragma once

// Corvane's network remote: what it tells subscribers about the show, taken from the main
// window's own record, and the commands it puts in the window's remote queue.

#include "remote_control/page_pictures.h"
#include "remote_control/remote_control.h"

#include <QObject>
#include <QTimer>

#include <array>

class frmControl;

class CorvaneRemote : public QObject
{
    Q_OBJECT

public:
    CorvaneRemote(frmControl &window, const remote::RemoteSettings &settings,
                  const QString &logPath);
    ~CorvaneRemote() override;

    remote::RemoteControl &control() { return m_control; }
    // The show as the remotes see it now.
    remote::State currentState() const;

private:
    void publish();
    // Asks the presentation application what the window does not record: slide counts,
    // whether the shows run, whether it answers at all.
    void probe();
    // The script's lines for the web remote's page, when they changed.
    void publishScript();

    frmControl &m_window;
    remote::RemoteControl m_control;
    QTimer m_poll;
    QTimer m_probe;
    std::array<int, 3> m_slides{};
    std::array<bool, 3> m_running{};
    bool m_hostReachable = false;
    int m_probeSkips = 0;
    remote::PagePictures m_pictures;
    QStringList m_script;
    bool m_scriptSent = false;
};

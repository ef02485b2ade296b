#pragma once

// Kestro's and Kestrokiosk's network remote: the show's slide as the window shows it, the
// slide count and whether the show runs, and the commands it puts in the window's queue.

#include "remote_control/page_pictures.h"
#include "remote_control/remote_control.h"

#include <QObject>
#include <QTimer>

class frmKestro;

class KestroRemote : public QObject
{
    Q_OBJECT

public:
    KestroRemote(frmKestro &window, const remote::RemoteSettings &settings, const QString &logPath);
    ~KestroRemote() override;

    remote::RemoteControl &control() { return m_control; }
    remote::State currentState() const;

private:
    void publish();
    void probe();

    frmKestro &m_window;
    remote::RemoteControl m_control;
    QTimer m_poll;
    QTimer m_probe;
    int m_slides = 0;
    bool m_running = false;
    bool m_hostReachable = false;
    int m_probeSkips = 0;
    remote::PagePictures m_pictures;
};

#pragma once

// The one queue of presses from outside a window (serial remote, network remote, presenter
// clicker): each runs through its button's handler once the window is free, after those
// before it, never inside another handler or during a call to the presentation application.

#include <QObject>
#include <QStringList>

#include <functional>

namespace platform {

class CommandQueue : public QObject
{
    Q_OBJECT

public:
    // run carries out one command; it is called on the owner's thread.
    explicit CommandQueue(std::function<void(const QString &)> run, QObject *parent = nullptr);

    // Far more presses than a show could ever owe are a flood, not an operator: dropped.
    static constexpr qsizetype maxQueued = 1000;

    void push(const QString &command);
    // Presses not yet taken die with their window.
    void close();

private:
    void runWaiting();

    std::function<void(const QString &)> m_run;
    QStringList m_waiting; // oldest first
    bool m_running = false;
    bool m_closed = false;
};

} // namespace platform

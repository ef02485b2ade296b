#pragma once

// A real serial line for tests: a pseudo-terminal pair. The program's port opens the slave
// (slavePath()); the test plays the remote by writing on the master.

#include "platform/qt_serial_port.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace platform::testing {

class PtyPair
{
public:
    PtyPair()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
            close();
            return;
        }
        const char *name = ::ptsname(m_master);
        if (name == nullptr) {
            close();
            return;
        }
        m_slavePath = QString::fromLocal8Bit(name);
    }
    ~PtyPair() { close(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Writes all bytes on the master; safe to call from another thread.
    bool write(const QByteArray &bytes) const
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += n;
        }
        return true;
    }

    // Ends the far side of the line, as an unplugged adapter would.
    void close()
    {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

    // Writes `first`, waits `gap`, writes `second`, from a thread of its own as a remote
    // would, while this thread's event loop runs on until well after. Returns the time that
    // really passed between the two writes (a loaded machine may stretch it).
    std::chrono::microseconds writeSplit(const QByteArray &first, const QByteArray &second,
                                         std::chrono::milliseconds gap) const
    {
        std::chrono::microseconds measured{};
        std::thread writer([&] {
            write(first);
            const auto sent = std::chrono::steady_clock::now();
            std::this_thread::sleep_for(gap);
            const auto before = std::chrono::steady_clock::now();
            write(second);
            measured = std::chrono::duration_cast<std::chrono::microseconds>(before - sent);
        });
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < gap.count() + 300) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        writer.join();
        return measured;
    }

private:
    int m_master = -1;
    QString m_slavePath;
};

// When pieces reached the program: the moments, on the monotonic clock, at which the port's
// reader noted characters arriving.
class ArrivalLog
{
public:
    explicit ArrivalLog(QObject *port)
    {
        if (auto *serial = qobject_cast<platform::QtSerialPort *>(port)) {
            QObject::connect(serial, &platform::QtSerialPort::arrived, serial,
                             [this](qint64 steadyNs) { m_times.append(steadyNs / 1e6); });
        }
    }
    void clear() { m_times.clear(); }
    bool isEmpty() const { return m_times.isEmpty(); }
    // The longest time between two arrivals (0 with fewer than two).
    double longestGapMs() const
    {
        double longest = 0;
        for (qsizetype i = 1; i < m_times.size(); ++i) {
            longest = std::max(longest, m_times[i] - m_times[i - 1]);
        }
        return longest;
    }

private:
    QList<double> m_times;
};

} // namespace platform::testing

#pragma once

// One run of an outside program that converts a deck (LibreOffice, or the stepped import that
// drives it), in a process group of its own, so that one given up on ends with every process
// it started. A run that passes its time limit is killed.

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QTimer;

namespace pa::host {

struct OfficeOutcome
{
    enum class Result
    {
        Finished,      // ended on its own: see exitCode
        FailedToStart, // the program could not be run at all
        TimedOut,      // killed at the time limit
        Crashed,       // ended by a signal
    };
    Result result = Result::Finished;
    int exitCode = 0;
    // The last line the program wrote (standard output and error together), or why it could
    // not start.
    QString lastLine;
    qint64 elapsedMs = 0;

    bool succeeded() const { return result == Result::Finished && exitCode == 0; }
};

class OfficeProcess : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const OfficeOutcome &)>;
    // Sees each line the program writes, with the milliseconds since it started; returns the
    // new time limit (milliseconds from the start) when the line moves it.
    using LineWatch =
        std::function<std::optional<qint64>(const QByteArray &line, qint64 elapsedMs)>;

    // done runs once, from the event loop; the object deletes itself after it.
    static void run(const QString &program, const QStringList &arguments, int timeoutMs,
                    QObject *parent, Done done, LineWatch watch = {});

private:
    OfficeProcess(int timeoutMs, QObject *parent, Done done, LineWatch watch);
    void watchLines(const QByteArray &chunk);
    ~OfficeProcess() override;
    void finish(OfficeOutcome outcome);
    void killGroup();

    QProcess m_process;
    QTimer *m_timer;
    Done m_done;
    LineWatch m_watch;
    QByteArray m_partialLine;
    qint64 m_limitMs = 0;
    QByteArray m_output;
    qint64 m_startedMs = 0;
    qint64 m_groupId = 0;
    bool m_finished = false;
};

} // namespace pa::host

#include "presentation_automation/host/decks/office_process.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace pa::host {

namespace {

// Enough to hold the program's last words; what it writes before them is not kept.
constexpr qsizetype keptOutputBytes = 16 * 1024;

} // namespace

void OfficeProcess::run(const QString &program, const QStringList &arguments, int timeoutMs,
                        QObject *parent, Done done, LineWatch watch)
{
    auto *self = new OfficeProcess(timeoutMs, parent, std::move(done), std::move(watch));
    self->m_process.setProgram(program);
    self->m_process.setArguments(arguments);
    self->m_startedMs = QDateTime::currentMSecsSinceEpoch();
    self->m_timer->start(timeoutMs);
    self->m_process.start();
}

OfficeProcess::OfficeProcess(int timeoutMs, QObject *parent, Done done, LineWatch watch)
    : QObject(parent), m_timer(new QTimer(this)), m_done(std::move(done)),
      m_watch(std::move(watch)), m_limitMs(timeoutMs)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
    // soffice starts soffice.bin, and the import starts soffice: without a group of their own
    // they would stay behind when the run is given up on.
    m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
    m_timer->setSingleShot(true);

    connect(&m_process, &QProcess::started, this, [this] { m_groupId = m_process.processId(); });

    connect(&m_process, &QProcess::readyRead, this, [this] {
        const QByteArray chunk = m_process.readAll();
        watchLines(chunk);
        m_output += chunk;
        if (m_output.size() > keptOutputBytes) {
            m_output = m_output.right(keptOutputBytes);
        }
    });
    connect(&m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        m_output += m_process.readAll();
        OfficeOutcome outcome;
        outcome.result = status == QProcess::NormalExit ? OfficeOutcome::Result::Finished
                                                        : OfficeOutcome::Result::Crashed;
        outcome.exitCode = code;
        const QList<QByteArray> lines = m_output.trimmed().split('\n');
        outcome.lastLine =
            QString::fromUtf8(lines.isEmpty() ? QByteArray() : lines.last().trimmed());
        finish(outcome);
    });
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            OfficeOutcome outcome;
            outcome.result = OfficeOutcome::Result::FailedToStart;
            outcome.lastLine = m_process.errorString();
            finish(outcome);
        }
    });
    connect(m_timer, &QTimer::timeout, this, [this] {
        OfficeOutcome outcome;
        outcome.result = OfficeOutcome::Result::TimedOut;
        outcome.lastLine = QStringLiteral("did not finish within %1 s").arg(m_limitMs / 1000);
        finish(outcome);
    });
}

void OfficeProcess::watchLines(const QByteArray &chunk)
{
    if (!m_watch) {
        return;
    }
    m_partialLine += chunk;
    qsizetype end = 0;
    while ((end = m_partialLine.indexOf('\n')) >= 0) {
        const QByteArray line = m_partialLine.left(end);
        m_partialLine.remove(0, end + 1);
        const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - m_startedMs;
        if (const auto limit = m_watch(line, elapsed); limit && *limit != m_limitMs) {
            m_limitMs = *limit;
            m_timer->start(static_cast<int>(std::max<qint64>(0, m_limitMs - elapsed)));
        }
    }
    // A program writing without line ends is not let to fill the memory.
    if (m_partialLine.size() > keptOutputBytes) {
        m_partialLine.clear();
    }
}

OfficeProcess::~OfficeProcess()
{
    killGroup();
}

void OfficeProcess::killGroup()
{
    // Even when the program has ended: an office it started may still be shutting down.
    // The group's id stays taken while any member lives, so this reaches no one else.
    if (m_groupId > 0) {
        ::kill(-static_cast<pid_t>(m_groupId), SIGKILL);
        m_groupId = 0;
    }
    if (m_process.state() != QProcess::NotRunning) {
        m_process.disconnect(this);
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

void OfficeProcess::finish(OfficeOutcome outcome)
{
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_timer->stop();
    outcome.elapsedMs = QDateTime::currentMSecsSinceEpoch() - m_startedMs;
    // What the program left running (an office still shutting down) goes with it.
    killGroup();
    m_process.disconnect(this);
    deleteLater();
    m_done(outcome);
}

} // namespace pa::host

#include "follower.h"

#include "remote_control/follow_link.h"

#include "platform/settings_format.h"

#include <QSettings>
#include <QUuid>

namespace remote {

namespace {

// Rounds of steps taken for one state of the main before the backup waits for the next: a
// screen that cannot be moved (its show not running) must not make it spin.
constexpr int maxRounds = 8;
// The main hears how the backup follows once that has held this long: the blink of
// catching-up at every step would only make the main push its state again.
constexpr int reportAfterMs = 300;
// How often to look again while the window waits on the presentation application.
constexpr int waitingRetryMs = 10;

} // namespace

QString follow::followerMark()
{
    return QChar(0x1f) + QUuid::createUuid().toString(QUuid::WithoutBraces) + QChar(0x1f);
}

QString follow::statusText(const Follower *follower)
{
    if (!follower) {
        return QStringLiteral("not following a main");
    }
    QString text = QStringLiteral("following %1: %2")
                       .arg(follower->main(), follow::healthWord(follower->health()));
    if (!follower->reason().isEmpty()) {
        text += QStringLiteral(": ") + follower->reason();
    }
    return text;
}

FollowSettings readFollowSettings(const QString &program)
{
    QSettings settings(platform::settingsFormat(), QSettings::UserScope, program, program);
    settings.beginGroup(QStringLiteral("Follow"));
    return {settings.value(QStringLiteral("Main")).toString().trimmed(),
            settings.value(QStringLiteral("Token")).toString()};
}

void writeFollowSettings(const QString &program, const FollowSettings &followSettings)
{
    QSettings settings(platform::settingsFormat(), QSettings::UserScope, program, program);
    settings.beginGroup(QStringLiteral("Follow"));
    settings.setValue(QStringLiteral("Main"), followSettings.main);
    settings.setValue(QStringLiteral("Token"), followSettings.token);
}

Follower::Follower(Program program, FollowSettings settings, Window window, QObject *parent)
    : QObject(parent), m_program(program), m_settings(std::move(settings)),
      m_window(std::move(window)),
      m_link(std::make_unique<FollowLink>(m_settings.main, m_settings.token))
{
    m_reason = QStringLiteral("connecting to %1").arg(m_settings.main);
    m_report.setSingleShot(true);
    m_report.setInterval(reportAfterMs);
    connect(&m_report, &QTimer::timeout, this,
            [this] { m_link->report(follow::healthWord(m_health)); });
    m_retry.setSingleShot(true);
    m_retry.setInterval(0);
    connect(&m_retry, &QTimer::timeout, this, &Follower::evaluate);
    connect(m_link.get(), &FollowLink::stateReceived, this, &Follower::mainState);
    connect(m_link.get(), &FollowLink::lost, this, &Follower::linkLost);
    connect(m_link.get(), &FollowLink::refused, this,
            [this](const QString &why) { linkLost(QStringLiteral("the main refused: ") + why); });
}

Follower::~Follower() = default;

State Follower::stateFields() const
{
    // A mismatch names its reason in the word itself, so a remote showing one field shows why.
    const QString word = m_health == follow::Health::Mismatch
                             ? follow::healthWord(m_health) + QStringLiteral(": ") + m_reason
                             : follow::healthWord(m_health);
    return {{QStringLiteral("follow"), word},
            {QStringLiteral("followMain"), m_settings.main},
            {QStringLiteral("followReason"), m_reason}};
}

void Follower::mainState(const QJsonObject &state)
{
    const qint64 revision = state.value(QStringLiteral("revision")).toInteger();
    if (revision == m_mainRevision && m_haveMain && m_health == follow::Health::InStep) {
        return; // a heartbeat of a state already followed
    }
    // A new state, or the heartbeat of one not reached yet: another try.
    m_roundsThisRevision = 0;
    m_mainRevision = revision;
    m_main = follow::showFromState(m_program, state);
    m_haveMain = true;
    evaluate();
}

void Follower::linkLost(const QString &why)
{
    m_haveMain = false;
    m_mainRevision = -1;
    if (!m_armed) {
        setHealth(follow::Health::Off, m_reason);
        return;
    }
    setHealth(follow::Health::Lost, why);
}

void Follower::followerCommandRan()
{
    if (m_pending > 0 && --m_pending == 0) {
        m_retry.start(0);
    }
}

void Follower::ownCommand()
{
    if (!m_armed) {
        return;
    }
    m_armed = false;
    setHealth(follow::Health::Off,
              QStringLiteral("stepped here: FOLLOW takes %1 again").arg(m_settings.main));
}

void Follower::rearm()
{
    m_armed = true;
    m_roundsThisRevision = 0;
    if (!m_haveMain) {
        setHealth(follow::Health::Lost, QStringLiteral("waiting for %1").arg(m_settings.main));
        return;
    }
    evaluate();
}

void Follower::evaluate()
{
    if (!m_armed || !m_haveMain || m_pending > 0) {
        return;
    }
    if (!m_window.readPositions()) {
        m_retry.start(waitingRetryMs); // the window is waiting on the application: after it
        return;
    }
    const follow::Show own = follow::showFromState(m_program, m_window.ownState());
    const QString different = follow::mismatch(m_program, m_main, own);
    if (!different.isEmpty()) {
        setHealth(follow::Health::Mismatch, different);
        return;
    }
    const QStringList steps = follow::stepsToFollow(m_program, m_main, own);
    if (steps.isEmpty()) {
        setHealth(follow::Health::InStep, QString());
        return;
    }
    if (++m_roundsThisRevision > maxRounds) {
        setHealth(follow::Health::CatchingUp,
                  QStringLiteral("cannot reach: %1").arg(steps.first()));
        return;
    }
    setHealth(follow::Health::CatchingUp, QString());
    m_pending = int(steps.size());
    for (const QString &step : steps) {
        m_window.queue(step);
    }
}

void Follower::setHealth(follow::Health health, const QString &reason)
{
    const bool same = health == m_health && reason == m_reason;
    m_health = health;
    m_reason = reason;
    if (!same) {
        m_report.start();
        emit changed();
    }
}

} // namespace remote

#include "follow_wiring.h"

#include "remote_control/controller_remote.h"
#include "remote_control/fingerprint.h"

#include <QPushButton>
#include <QWidget>

namespace remote {

FollowWiring::FollowWiring(Program program, QWidget &window, ControllerRemote &remote,
                           std::function<void(const QString &)> queue,
                           const QStringList &steppingButtons)
    : m_program(program), m_window(window), m_remote(remote), m_queue(std::move(queue)),
      m_positions([&remote] { return remote.presentations(); }), m_mark(follow::followerMark())
{
    connect(&m_positions, &ShowPositions::changed, &m_remote, &ControllerRemote::publish);
    if (!m_remote.heard()) {
        m_positions.onlyWhenAsked();
    }
    m_remote.addStateFields(this, [this] {
        m_positions.refreshIfStale();
        return fields();
    });
    for (const QString &name : steppingButtons) {
        if (auto *button = m_window.findChild<QPushButton *>(name)) {
            connect(button, &QPushButton::clicked, this, [this] {
                if (m_follower) {
                    m_follower->ownCommand();
                }
            });
        }
    }
}

FollowWiring::~FollowWiring() = default;

std::vector<std::shared_ptr<pa::Presentation>> FollowWiring::presentations() const
{
    return m_remote.presentations();
}

void FollowWiring::start(const FollowSettings &settings)
{
    setMain(settings);
}

void FollowWiring::setMain(const FollowSettings &settings)
{
    m_settings = settings;
    m_follower.reset();
    if (!settings.main.isEmpty()) {
        Follower::Window window{[this] { return m_positions.readNow(); },
                                [this] { return m_remote.fullState(); },
                                [this](const QString &text) { m_queue(m_mark + text); }};
        m_follower = std::make_unique<Follower>(m_program, settings, std::move(window));
        connect(m_follower.get(), &Follower::changed, this, [this] {
            m_remote.publish();
            emit changed();
        });
    }
    m_remote.publish();
    emit changed();
}

QString FollowWiring::statusText() const
{
    return follow::statusText(m_follower.get());
}

bool FollowWiring::handle(const QString &text, const std::function<void(const QString &)> &run)
{
    if (text.startsWith(m_mark)) {
        const QString own = text.mid(m_mark.size());
        if (!runFollowerText(own)) {
            run(own);
        }
        if (m_follower) {
            m_follower->followerCommandRan();
        }
        return true;
    }
    if (text == QLatin1String("FOLLOW")) {
        if (m_follower) {
            m_follower->rearm();
        }
        return true;
    }
    if (m_follower && follow::isStep(m_program, text)) {
        m_follower->ownCommand();
    }
    return false;
}

State FollowWiring::fields() const
{
    State state;
    if (m_program == Program::Corvane) {
        state.append({QStringLiteral("script"), scriptFingerprint(scriptLines())});
    }
    const auto shows = presentations();
    for (std::size_t i = 0; i < shows.size(); ++i) {
        const QString prefix =
            m_program == Program::Corvane ? QStringLiteral("screen%1/").arg(i + 1) : QString();
        const ShowPositions::Position at = m_positions.of(i);
        state.append({prefix + QStringLiteral("showing"), at.showing});
        if (at.build) {
            state.append({prefix + QStringLiteral("build"), *at.build});
        }
        state.append(
            {prefix + QStringLiteral("deck"), shows[i] ? fileFingerprint(deckFile(i)) : QString()});
    }
    if (m_follower) {
        state.append(m_follower->stateFields());
    } else {
        state.append({QStringLiteral("follow"), QStringLiteral("off")});
    }
    return state;
}

} // namespace remote

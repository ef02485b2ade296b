#include "corvane_follow.h"

#include "corvane_remote.h"
#include "frmControl.h"

#include "platform/resume_next.h"
#include "remote_control/fingerprint.h"

#include <QPushButton>
#include <QUuid>

CorvaneFollow::CorvaneFollow(frmControl &window, CorvaneRemote &remote,
                             const remote::FollowSettings &settings)
    : m_window(window), m_remote(remote), m_positions([&window] {
          return std::vector<std::shared_ptr<pa::Presentation>>{window.ppPres1, window.ppPres2,
                                                                window.ppPres3};
      }),
      m_mark(remote::follow::followerMark())
{
    connect(&m_positions, &remote::ShowPositions::changed, &m_remote,
            &remote::ControllerRemote::publish);
    m_remote.addStateFields([this] { return fields(); });
    m_window.setCommandHook(
        [this](const QString &text, const auto &run) { return handle(text, run); });
    // The stepping buttons call their handlers directly, not through the queue.
    static const char *const steppingButtons[] = {
        "cmdNextSlide",  "cmdPreviousSlide", "cmdNextSouth", "cmdPrevSouth",
        "cmdNextCenter", "cmdPrevCenter",    "cmdNextNorth", "cmdPrevNorth"};
    for (const char *name : steppingButtons) {
        if (auto *button = m_window.findChild<QPushButton *>(QLatin1String(name))) {
            connect(button, &QPushButton::clicked, this, [this] {
                if (m_follower) {
                    m_follower->ownCommand();
                }
            });
        }
    }
    setMain(settings);
}

CorvaneFollow::~CorvaneFollow()
{
    m_window.setCommandHook({});
}

void CorvaneFollow::setMain(const remote::FollowSettings &settings)
{
    m_settings = settings;
    m_follower.reset();
    if (!settings.main.isEmpty()) {
        remote::Follower::Window window{
            [this] { return m_positions.readNow(); }, [this] { return m_remote.fullState(); },
            [this](const QString &text) { m_window.queueRemoteCommand(m_mark + text); }};
        m_follower = std::make_unique<remote::Follower>(remote::Program::Corvane, settings,
                                                        std::move(window));
        connect(m_follower.get(), &remote::Follower::changed, this, [this] {
            m_remote.publish();
            emit changed();
        });
    }
    m_remote.publish();
    emit changed();
}

QString CorvaneFollow::statusText() const
{
    return remote::follow::statusText(m_follower.get());
}

bool CorvaneFollow::handle(const QString &text, const std::function<void(const QString &)> &run)
{
    if (text.startsWith(m_mark)) {
        const QString own = text.mid(m_mark.size());
        if (const auto target = remote::follow::gotoText(own)) {
            gotoScreen(target->first, target->second);
        } else {
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
    if (m_follower && remote::follow::isStep(remote::Program::Corvane, text)) {
        m_follower->ownCommand();
    }
    return false;
}

void CorvaneFollow::gotoScreen(int screen, int slide)
{
    // As a script step switches a screen; the script's record and previews stay, as after a
    // hand step.
    const std::shared_ptr<pa::Presentation> pres = screen == 1   ? m_window.ppPres1
                                                   : screen == 2 ? m_window.ppPres2
                                                                 : m_window.ppPres3;
    if (!pres) {
        return;
    }
    platform::resumeNext([&] { pres->slideShowWindow()->activate(); });
    platform::resumeNext([&] { pres->slideShowWindow()->view()->gotoSlide(slide, pa::msoTrue); });
}

remote::State CorvaneFollow::fields() const
{
    remote::State state{
        {QStringLiteral("script"), remote::scriptFingerprint(m_window.strScriptLines)}};
    const std::shared_ptr<pa::Presentation> shows[3] = {m_window.ppPres1, m_window.ppPres2,
                                                        m_window.ppPres3};
    for (int screen = 1; screen <= 3; ++screen) {
        const QString prefix = QStringLiteral("screen%1/").arg(screen);
        const remote::ShowPositions::Position at = m_positions.of(std::size_t(screen - 1));
        state.append({prefix + QStringLiteral("showing"), at.showing});
        if (at.build) {
            state.append({prefix + QStringLiteral("build"), *at.build});
        }
        state.append({prefix + QStringLiteral("deck"),
                      shows[screen - 1]
                          ? remote::fileFingerprint(m_window.deckFiles[std::size_t(screen - 1)])
                          : QString()});
    }
    if (m_follower) {
        state.append(m_follower->stateFields());
    } else {
        state.append({QStringLiteral("follow"), QStringLiteral("off")});
    }
    return state;
}

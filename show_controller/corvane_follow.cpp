#include "corvane_follow.h"

#include "corvane_remote.h"
#include "frmControl.h"

#include "platform/resume_next.h"
#include "remote_control/follow_rules.h"

CorvaneFollow::CorvaneFollow(frmControl &window, CorvaneRemote &remote,
                             const remote::FollowSettings &settings)
    : remote::FollowWiring(remote::Program::Corvane, window, remote,
                           [&window](const QString &text) { window.queueRemoteCommand(text); },
                           {QStringLiteral("cmdNextSlide"),   QStringLiteral("cmdPreviousSlide"),
                            QStringLiteral("cmdNextSouth"),   QStringLiteral("cmdPrevSouth"),
                            QStringLiteral("cmdNextCenter"),  QStringLiteral("cmdPrevCenter"),
                            QStringLiteral("cmdNextNorth"),   QStringLiteral("cmdPrevNorth"),
                            QStringLiteral("cmdBlackNorth"),  QStringLiteral("cmdWhiteNorth"),
                            QStringLiteral("cmdShowNorth"),   QStringLiteral("cmdBlackCenter"),
                            QStringLiteral("cmdWhiteCenter"), QStringLiteral("cmdShowCenter"),
                            QStringLiteral("cmdBlackSouth"),  QStringLiteral("cmdWhiteSouth"),
                            QStringLiteral("cmdShowSouth"),   QStringLiteral("cmdBlackAll"),
                            QStringLiteral("cmdWhiteAll"),    QStringLiteral("cmdShowAll")}),
      m_window(window)
{
    m_window.setCommandHook(
        [this](const QString &text, const auto &run) { return handle(text, run); });
    m_window.setFollowWiring(this);
    start(settings);
}

CorvaneFollow::~CorvaneFollow()
{
    m_window.setFollowWiring(nullptr);
    m_window.setCommandHook({});
}

QString CorvaneFollow::deckFile(std::size_t index) const
{
    return index < m_window.deckFiles.size() ? m_window.deckFiles[index] : QString();
}

QStringList CorvaneFollow::scriptLines() const
{
    return m_window.strScriptLines;
}

bool CorvaneFollow::runFollowerText(const QString &text)
{
    const auto target = remote::follow::gotoText(text);
    if (!target) {
        return false;
    }
    // As a script step switches a screen; the script's record and previews stay, as after a
    // hand step.
    const auto pres = presentations()[std::size_t(target->first - 1)];
    if (pres) {
        platform::resumeNext([&] { pres->slideShowWindow()->activate(); });
        platform::resumeNext(
            [&] { pres->slideShowWindow()->view()->gotoSlide(target->second, pa::msoTrue); });
    }
    return true;
}

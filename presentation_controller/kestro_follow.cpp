#include "kestro_follow.h"

#include "frmKestro.h"
#include "kestro_remote.h"

#include <QLineEdit>

KestroFollow::KestroFollow(frmKestro &window, KestroRemote &remote,
                           const remote::FollowSettings &settings)
    : remote::FollowWiring(remote::Program::Kestro, window, remote,
                           [&window](const QString &text) { window.queueRemoteCommand(text); },
                           {QStringLiteral("cmdNextSlide"), QStringLiteral("cmdPreviousSlide"),
                            QStringLiteral("cmdGoto"), QStringLiteral("cmdBlack"),
                            QStringLiteral("cmdWhite"), QStringLiteral("cmdShow")}),
      m_window(window)
{
    m_window.setCommandHook(
        [this](const QString &text, const auto &run) { return handle(text, run); });
    m_window.setTimerGate([this] { return mayStepByItself(); });
    start(settings);
}

KestroFollow::~KestroFollow()
{
    m_window.setTimerGate({});
    m_window.setCommandHook({});
}

QString KestroFollow::deckFile(std::size_t) const
{
    const auto *box = m_window.findChild<QLineEdit *>(QStringLiteral("txtLoadShow"));
    return box ? box->text() : QString();
}

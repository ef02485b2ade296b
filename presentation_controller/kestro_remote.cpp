#include "kestro_remote.h"

#include "frmKestro.h"

#include <QLineEdit>

KestroRemote::KestroRemote(frmKestro &window, const remote::RemoteSettings &settings,
                           const QString &logPath)
    : remote::ControllerRemote(
          window, remote::Program::Kestro, settings, logPath,
          [&window](const QString &command) { window.queueRemoteCommand(command); }),
      m_window(window)
{
    m_window.setNetworkRemote(&control());
    start();
}

KestroRemote::~KestroRemote()
{
    m_window.setNetworkRemote(nullptr);
}

remote::State KestroRemote::currentState() const
{
    const auto *box = m_window.findChild<QLineEdit *>(QStringLiteral("txtSlideNum"));
    remote::State state{
        {QStringLiteral("slide"), box ? box->text().toInt() : 0},
        {QStringLiteral("slides"), show(0).slides},
        {QStringLiteral("running"), show(0).running},
        {QStringLiteral("blank"), platform::blankName(m_window.blank())},
    };
    state.append(mediaFields(0, QString()));
    state.append({QStringLiteral("host"), hostReachable()});
    return state;
}

std::vector<std::shared_ptr<pa::Presentation>> KestroRemote::presentations() const
{
    return {m_window.ppPres1};
}

bool KestroRemote::applicationCreated() const
{
    return m_window.ppApp != nullptr;
}

std::vector<remote::PagePicture> KestroRemote::pagePictures() const
{
    // The slide on screen, and the one after it.
    return {{QStringLiteral("slide/current"), m_window.ppPres1, std::nullopt, 0},
            {QStringLiteral("slide/next"), m_window.ppPres1, std::nullopt, 1}};
}

void KestroRemote::showsProbed()
{
    if (const std::optional<std::int32_t> state = show(0).viewState) {
        m_window.adoptBlank(*state);
    }
}

#include "kestro_remote.h"

#include "frmKestro.h"

#include "platform/busy_calls.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int pollMs = 50;
constexpr int probeMs = 1000;
constexpr int probesAfterFailure = 10;

} // namespace

KestroRemote::KestroRemote(frmKestro &window, const remote::RemoteSettings &settings,
                           const QString &logPath)
    : m_window(window), m_control(remote::Program::Kestro, settings, logPath),
      m_pictures(m_control, [this] {
          // The slide on screen, and the one after it.
          return std::vector<remote::PagePicture>{
              {QStringLiteral("slide/current"), m_window.ppPres1, std::nullopt, 0},
              {QStringLiteral("slide/next"), m_window.ppPres1, std::nullopt, 1}};
      })
{
    connect(&m_control, &remote::RemoteControl::command, this, [this](const QString &command) {
        m_window.queueRemoteCommand(command);
        publish();
    });
    const auto buttons = m_window.findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        connect(button, &QPushButton::clicked, this, &KestroRemote::publish);
    }
    connect(&platform::BusyCalls::instance(), &platform::BusyCalls::callsEnded, this,
            &KestroRemote::publish, Qt::QueuedConnection);
    connect(&m_poll, &QTimer::timeout, this, &KestroRemote::publish);
    m_poll.start(pollMs);
    connect(&m_probe, &QTimer::timeout, this, &KestroRemote::probe);
    m_probe.start(probeMs);
    m_window.setNetworkRemote(&m_control);
    publish();
}

KestroRemote::~KestroRemote()
{
    m_window.setNetworkRemote(nullptr);
}

remote::State KestroRemote::currentState() const
{
    const auto *box = m_window.findChild<QLineEdit *>(QStringLiteral("txtSlideNum"));
    return {
        {QStringLiteral("slide"), box ? box->text().toInt() : 0},
        {QStringLiteral("slides"), m_slides},
        {QStringLiteral("running"), m_running},
        {QStringLiteral("host"), m_hostReachable},
    };
}

void KestroRemote::publish()
{
    m_control.setState(currentState());
    m_pictures.refresh();
}

void KestroRemote::probe()
{
    if (platform::BusyCalls::inCall()) {
        return;
    }
    if (m_probeSkips > 0) {
        --m_probeSkips;
        return;
    }
    const std::shared_ptr<pa::Presentation> presentation = m_window.ppPres1;
    if (!presentation) {
        m_slides = 0;
        m_running = false;
        m_hostReachable = m_window.ppApp != nullptr;
        publish();
        return;
    }
    bool answered = false;
    try {
        m_slides = presentation->slides()->count();
        answered = true;
    } catch (const std::exception &) {
    }
    try {
        m_running = presentation->slideShowWindow() != nullptr;
        answered = true;
    } catch (const std::exception &) {
        m_running = false;
    }
    m_hostReachable = answered;
    if (!answered) {
        m_probeSkips = probesAfterFailure;
    }
    publish();
}

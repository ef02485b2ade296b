#include "controller_remote.h"

#include "platform/busy_calls.h"

#include <QPushButton>
#include <QWidget>

namespace remote {

namespace {

constexpr int pollMs = 50;
constexpr int probeMs = 1000;
// An application that failed to answer is asked again only after this many probes.
constexpr int probesAfterFailure = 10;

const ControllerRemote::ShowProbe noShow;

} // namespace

ControllerRemote::ControllerRemote(QWidget &window, Program program, const RemoteSettings &settings,
                                   const QString &logPath,
                                   std::function<void(const QString &)> queue)
    : m_window(window), m_control(program, settings, logPath), m_queue(std::move(queue)),
      m_probeApplication(settings.enabled), m_pictures(m_control, [this] { return pagePictures(); })
{}

ControllerRemote::~ControllerRemote() = default;

void ControllerRemote::start()
{
    connect(&m_control, &RemoteControl::command, this, [this](const QString &command) {
        m_queue(command);
        publish();
    });
    // Connected after the window's own handlers, so the state is read once they are done.
    const auto buttons = m_window.findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        connect(button, &QPushButton::clicked, this, &ControllerRemote::publish);
    }
    connect(&platform::BusyCalls::instance(), &platform::BusyCalls::callsEnded, this,
            &ControllerRemote::publish, Qt::QueuedConnection);
    connect(&m_poll, &QTimer::timeout, this, &ControllerRemote::publish);
    m_poll.start(pollMs);
    connect(&m_probe, &QTimer::timeout, this, &ControllerRemote::probe);
    // Nobody hears the state with the remote off: the application is then not asked at all.
    if (m_probeApplication) {
        m_probe.start(probeMs);
    }
    publish();
}

const ControllerRemote::ShowProbe &ControllerRemote::show(std::size_t index) const
{
    return index < m_shows.size() ? m_shows[index] : noShow;
}

void ControllerRemote::addStateFields(QObject *owner, std::function<State()> fields)
{
    m_extraFields.emplace_back(owner, std::move(fields));
}

State ControllerRemote::fullState() const
{
    State state = currentState();
    for (const auto &[owner, fields] : m_extraFields) {
        if (owner) {
            state.append(fields());
        }
    }
    return state;
}

void ControllerRemote::publish()
{
    const State state = fullState();
    m_control.setState(state);
    publishPageData();
    m_pictures.refresh();
    emit published(state);
}

void ControllerRemote::probe()
{
    // Never a call inside another one: the window is waiting on the application already.
    if (platform::BusyCalls::inCall()) {
        return;
    }
    if (m_probeSkips > 0) {
        --m_probeSkips;
        return;
    }
    const auto shows = presentations();
    // What a failed call could not tell stays as it was last told.
    m_shows.resize(shows.size());
    bool answered = false;
    bool failed = false;
    for (std::size_t i = 0; i < shows.size(); ++i) {
        if (!shows[i]) {
            m_shows[i] = ShowProbe{};
            continue;
        }
        try {
            m_shows[i].slides = shows[i]->slides()->count();
            answered = true;
        } catch (const std::exception &) {
            failed = true;
        }
        // A presentation whose show is not running throws here; that is an answer too.
        std::shared_ptr<pa::SlideShowWindow> window;
        try {
            window = shows[i]->slideShowWindow();
            m_shows[i].running = window != nullptr;
            answered = true;
        } catch (const std::exception &) {
            m_shows[i].running = false;
        }
        m_shows[i].viewState.reset();
        if (window) {
            try {
                m_shows[i].viewState = window->view()->state();
            } catch (const std::exception &) {
            }
        }
    }
    showsProbed();
    m_hostReachable = answered || (!failed && applicationCreated());
    if (failed && !answered) {
        m_probeSkips = probesAfterFailure;
    }
    publish();
}

} // namespace remote

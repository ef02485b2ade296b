#include "controller_remote.h"

#include "platform/busy_calls.h"

#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace remote {

namespace {

constexpr int pollMs = 50;
constexpr int probeMs = 1000;
// A remaining time is told at most this often: enough for a button counting down a clip.
constexpr int mediaProbeMs = 250;
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
    connect(&m_mediaProbe, &QTimer::timeout, this, &ControllerRemote::probeMedia);
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
    m_views.assign(shows.size(), nullptr);
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
                m_views[i] = window->view();
                m_shows[i].viewState = m_views[i]->state();
            } catch (const std::exception &) {
            }
        }
        readMedia(i);
    }
    paceMediaProbe();
    showsProbed();
    m_hostReachable = answered || (!failed && applicationCreated());
    if (failed && !answered) {
        m_probeSkips = probesAfterFailure;
    }
    publish();
}

void ControllerRemote::probeMedia()
{
    if (platform::BusyCalls::inCall() || m_probeSkips > 0) {
        return;
    }
    for (std::size_t i = 0; i < m_views.size() && i < m_shows.size(); ++i) {
        if (m_views[i]) {
            readMedia(i);
        }
    }
    paceMediaProbe();
    publish();
}

void ControllerRemote::readMedia(std::size_t index)
{
    std::optional<pa::MediaState> told;
    if (const auto &view = m_views[index]) {
        try {
            told = view->media();
        } catch (const std::exception &) {
            // The show ended since the probe: asked again only once it runs again.
            m_views[index].reset();
        }
    }
    ShowProbe &show = m_shows[index];
    if (told) {
        show.media = told;
    } else if (show.media) {
        // An application that told before and cannot now has no show playing anything, and a
        // subscriber that keeps the last value it heard (OSC) is to hear that.
        show.media = pa::MediaState{};
    }
}

void ControllerRemote::paceMediaProbe()
{
    const bool playing = std::any_of(m_shows.begin(), m_shows.end(), [](const ShowProbe &show) {
        return show.media && show.media->playing;
    });
    if (!playing) {
        m_mediaProbe.stop();
    } else if (!m_mediaProbe.isActive()) {
        m_mediaProbe.start(mediaProbeMs);
    }
}

State ControllerRemote::mediaFields(std::size_t index, const QString &prefix) const
{
    const std::optional<pa::MediaState> &media = show(index).media;
    if (!media) {
        return {};
    }
    const double remaining =
        media->playing ? std::round(media->remainingSeconds.value_or(0) * 10.0) / 10.0 : 0.0;
    return {
        {prefix + QStringLiteral("media"),
         media->playing ? QStringLiteral("playing") : QStringLiteral("none")},
        {prefix + QStringLiteral("remaining"), remaining},
    };
}

} // namespace remote

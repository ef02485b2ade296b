#include "corvane_remote.h"

#include "corvane_page.h"
#include "frmControl.h"
#include "script_text_box.h"
#include "show_script.h"

#include "platform/busy_calls.h"

#include <QCryptographicHash>
#include <QPushButton>

namespace {

constexpr int pollMs = 50;
constexpr int probeMs = 1000;
// A host that failed to answer is asked again only after this many probes.
constexpr int probesAfterFailure = 10;

QString boxText(const frmControl &window, const char *name)
{
    const auto *box = window.findChild<ScriptTextBox *>(QLatin1String(name));
    return box ? box->text() : QString();
}

} // namespace

CorvaneRemote::CorvaneRemote(frmControl &window, const remote::RemoteSettings &settings,
                             const QString &logPath)
    : m_window(window), m_control(remote::Program::Corvane, settings, logPath),
      m_pictures(m_control, [this] {
          return corvanepage::pictures({m_window.ppPres1, m_window.ppPres2, m_window.ppPres3},
                                       m_window.strScriptLines, m_window.LineNumber);
      })
{
    connect(&m_control, &remote::RemoteControl::command, this, [this](const QString &command) {
        m_window.queueRemoteCommand(command);
        publish();
    });
    // Connected after the window's own handlers, so the state is read once they are done.
    const auto buttons = m_window.findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        connect(button, &QPushButton::clicked, this, &CorvaneRemote::publish);
    }
    connect(&platform::BusyCalls::instance(), &platform::BusyCalls::callsEnded, this,
            &CorvaneRemote::publish, Qt::QueuedConnection);
    connect(&m_poll, &QTimer::timeout, this, &CorvaneRemote::publish);
    m_poll.start(pollMs);
    connect(&m_probe, &QTimer::timeout, this, &CorvaneRemote::probe);
    m_probe.start(probeMs);
    m_window.setNetworkRemote(&m_control);
    publish();
}

CorvaneRemote::~CorvaneRemote()
{
    m_window.setNetworkRemote(nullptr);
}

remote::State CorvaneRemote::currentState() const
{
    const bool loaded = !m_window.strScriptLines.isEmpty() && m_window.LineNumber >= 2;
    remote::State state{
        {QStringLiteral("line"), loaded ? int(m_window.LineNumber) - 1 : 0},
        {QStringLiteral("lines"), showscript::showLength(m_window.strScriptLines)},
        {QStringLiteral("current"), boxText(m_window, "txtScriptBox1")},
        {QStringLiteral("next"), boxText(m_window, "txtScriptBox2")},
    };
    const std::int32_t slides[3] = {m_window.Screen1Slide, m_window.Screen2Slide,
                                    m_window.Screen3Slide};
    for (int screen = 1; screen <= 3; ++screen) {
        const QString prefix = QStringLiteral("screen%1/").arg(screen);
        state.append({prefix + QStringLiteral("slide"), int(slides[screen - 1])});
        state.append({prefix + QStringLiteral("slides"), m_slides[screen - 1]});
        state.append({prefix + QStringLiteral("running"), m_running[screen - 1]});
    }
    state.append({QStringLiteral("host"), m_hostReachable});
    return state;
}

void CorvaneRemote::publish()
{
    m_control.setState(currentState());
    publishScript();
    m_pictures.refresh();
}

void CorvaneRemote::publishScript()
{
    const QStringList &lines = m_window.strScriptLines;
    if (m_scriptSent && (lines.isSharedWith(m_script) || lines == m_script)) {
        return;
    }
    m_script = lines;
    m_scriptSent = true;
    const QByteArray json = corvanepage::scriptLines(lines);
    m_control.setPageData(
        QStringLiteral("script"),
        QCryptographicHash::hash(json, QCryptographicHash::Sha256).toHex().left(16), json);
}

void CorvaneRemote::probe()
{
    // Never a call inside another one: the window is waiting on the application already.
    if (platform::BusyCalls::inCall()) {
        return;
    }
    if (m_probeSkips > 0) {
        --m_probeSkips;
        return;
    }
    const std::shared_ptr<pa::Presentation> presentations[3] = {m_window.ppPres1, m_window.ppPres2,
                                                                m_window.ppPres3};
    bool answered = false;
    bool failed = false;
    for (int i = 0; i < 3; ++i) {
        if (!presentations[i]) {
            m_slides[i] = 0;
            m_running[i] = false;
            continue;
        }
        try {
            m_slides[i] = presentations[i]->slides()->count();
            answered = true;
        } catch (const std::exception &) {
            failed = true;
        }
        try {
            m_running[i] = presentations[i]->slideShowWindow() != nullptr;
            answered = true;
        } catch (const std::exception &) {
            m_running[i] = false;
        }
    }
    m_hostReachable = answered || (!failed && m_window.ppApp != nullptr);
    if (failed && !answered) {
        m_probeSkips = probesAfterFailure;
    }
    publish();
}

#include "corvane_remote.h"

#include "corvane_page.h"
#include "frmControl.h"
#include "script_text_box.h"
#include "show_script.h"

#include "platform/screen_blank.h"

#include <QCryptographicHash>

namespace {

QString boxText(const frmControl &window, const char *name)
{
    const auto *box = window.findChild<ScriptTextBox *>(QLatin1String(name));
    return box ? box->text() : QString();
}

} // namespace

CorvaneRemote::CorvaneRemote(frmControl &window, const remote::RemoteSettings &settings,
                             const QString &logPath)
    : remote::ControllerRemote(
          window, remote::Program::Corvane, settings, logPath,
          [&window](const QString &command) { window.queueRemoteCommand(command); }),
      m_window(window)
{
    m_window.setNetworkRemote(&control());
    start();
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
        state.append({prefix + QStringLiteral("slides"), show(screen - 1).slides});
        state.append({prefix + QStringLiteral("running"), show(screen - 1).running});
        state.append(
            {prefix + QStringLiteral("blank"), platform::blankName(m_window.blankOf(screen))});
        state.append(mediaFields(std::size_t(screen - 1), prefix));
    }
    state.append({QStringLiteral("host"), hostReachable()});
    return state;
}

std::vector<std::shared_ptr<pa::Presentation>> CorvaneRemote::presentations() const
{
    return {m_window.ppPres1, m_window.ppPres2, m_window.ppPres3};
}

bool CorvaneRemote::applicationCreated() const
{
    return m_window.ppApp != nullptr;
}

std::vector<remote::PagePicture> CorvaneRemote::pagePictures() const
{
    return corvanepage::pictures({m_window.ppPres1, m_window.ppPres2, m_window.ppPres3},
                                 m_window.strScriptLines, m_window.LineNumber);
}

void CorvaneRemote::publishPageData()
{
    const QStringList &lines = m_window.strScriptLines;
    if (m_scriptSent && (lines.isSharedWith(m_script) || lines == m_script)) {
        return;
    }
    m_script = lines;
    m_scriptSent = true;
    const QByteArray json = corvanepage::scriptLines(lines);
    control().setPageData(
        QStringLiteral("script"),
        QCryptographicHash::hash(json, QCryptographicHash::Sha256).toHex().left(16), json);
}

void CorvaneRemote::showsProbed()
{
    for (int screen = 1; screen <= 3; ++screen) {
        if (const std::optional<std::int32_t> state = show(screen - 1).viewState) {
            m_window.adoptBlank(screen, *state);
        }
    }
}

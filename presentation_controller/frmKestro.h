#pragma once

// The single-presentation controller window of Kestro and, with its timer, of Kestrokiosk:
// opens one presentation, runs its show on the second display at the display numbers,
// and steps it while showing the slide number.

#include "platform/command_queue.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/screen_blank.h"
#include "presentation_automation/automation.h"

#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class frmScreen;
namespace remote {
class RemoteControl;
}

namespace kestro {
class LongTimer;

enum class Variant
{
    Kestro,
    Kiosk, // adds the slide total and the timer that presses Next Slide
};

// The window title, which also captions its messages.
QString programTitle(Variant variant);

// The user guide: beside the program in a build, in the doc folder when installed. programDir
// empty: the running program's folder.
QUrl guideUrl(const QString &programDir = {});
} // namespace kestro

// What the window is given from outside; tests pass doubles, the programs the real things.
struct KestroServices
{
    pa::ApplicationFactory createApplication;
    std::shared_ptr<platform::MessageBox> messageBox;
    std::shared_ptr<platform::FileOpenDialog> fileDialog;
    // Opens a page in the default browser; empty: the desktop's own handler.
    std::function<bool(const QUrl &)> openUrl;
    // Ends the program; empty: leave the application's event loop.
    std::function<void()> endProgram;
};

class frmKestro : public QWidget
{
    Q_OBJECT

public:
    frmKestro(KestroServices services, kestro::Variant variant, QWidget *parent = nullptr);
    ~frmKestro() override;

    // The application reached by the last Load Show and the presentation it opened.
    std::shared_ptr<pa::Application> ppApp;
    std::shared_ptr<pa::Presentation> ppPres1;
    // The slide number of the last Goto Slide Number.
    std::int32_t gotoNumber = 0;

    kestro::Variant variant() const { return m_variant; }
    // The one display attributes window; it exists as long as this window does.
    frmScreen *screen() const { return m_screen; }
    // The kiosk's timer; null in Kestro.
    kestro::LongTimer *LongTimer1() const { return m_longTimer1; }

    // A remote's "N", "P" or "SLIDE n": run through the button's handler in arrival order,
    // one at a time, never inside another handler.
    void queueRemoteCommand(const QString &command);
    // Offered each queue text before the window runs it (a backup's follower takes its own
    // texts and FOLLOW there); run carries out a text as the window would. True when taken.
    using CommandHook =
        std::function<bool(const QString &text, const std::function<void(const QString &)> &run)>;
    void setCommandHook(CommandHook hook) { m_commandHook = std::move(hook); }
    // Asked at each tick of the kiosk's timer: false skips it (a backup leaves stepping to its
    // main).
    void setTimerGate(std::function<bool()> gate) { m_timerGate = std::move(gate); }
    remote::RemoteControl *networkRemote() const { return m_networkRemote; }
    void setNetworkRemote(remote::RemoteControl *networkRemote) { m_networkRemote = networkRemote; }
    // The show's view state as last set or learned from it: running, black or white screen.
    std::int32_t blank() const { return m_blank; }
    // What the show says of its blank, when it differs from what the window set.
    void adoptBlank(std::int32_t viewState);

public slots:
    void cmdLoadShow_Click();
    void cmdNextSlide_Click();
    void cmdPreviousSlide_Click();
    void cmdGoto_Click();
    void cmdLoadScreenNum_Click();
    void Label1_MouseMove();
    void Form_MouseMove();
    void Label1_Click();
    void LongTimer1_Timer();
    void cmdBlack_Click();
    void cmdWhite_Click();
    void cmdShow_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Unload();
    void step(bool forward);
    void showSlideNumber(const QString &text);
    void report(const QString &text);
    void runRemoteCommand(const QString &command);
    void runCommand(const QString &command);
    // Blank screens (frmKestro_blanks.cpp).
    void createBlankControls();
    void blankShow(platform::BlankKind kind);
    // After a step: a blanked show stays blanked, whatever the application did.
    void keepBlank(pa::SlideShowView &view);
    void resetBlank();

    KestroServices m_services;
    kestro::Variant m_variant;
    frmScreen *m_screen = nullptr;
    kestro::LongTimer *m_longTimer1 = nullptr;
    bool m_inTick = false;
    // Presses from the remotes and the clicker keys, waiting their turn.
    platform::CommandQueue *m_remoteCommands = nullptr;
    CommandHook m_commandHook;
    std::function<bool()> m_timerGate;
    remote::RemoteControl *m_networkRemote = nullptr;
    std::int32_t m_blank = pa::ppSlideShowRunning;

    QLabel *Label2 = nullptr;
    QLineEdit *txtLoadShow = nullptr;
    QPushButton *cmdNextSlide = nullptr;
    QPushButton *cmdLoadShow = nullptr;
    QPushButton *cmdPreviousSlide = nullptr;
    QLabel *lblSlidenum = nullptr;
    QLineEdit *txtSlideNum = nullptr;
    QPushButton *cmdGoto = nullptr;
    QLineEdit *txtGotoSlide = nullptr;
    QPushButton *cmdLoadScreenNum = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *cmdBlack = nullptr;
    QPushButton *cmdWhite = nullptr;
    QPushButton *cmdShow = nullptr;
    // Kiosk only.
    QLabel *Label3 = nullptr;
    QLineEdit *txtTotalslides = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text1 = nullptr;
};

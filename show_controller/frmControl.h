#pragma once

// Corvane's main control window: owner of all state of a running show.

#include "platform/command_queue.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/screen_blank.h"
#include "platform/serial_port.h"
#include "presentation_automation/automation.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QCloseEvent;
class QRect;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class ScriptTextBox;
class frmShowAdjust;
namespace remote {
class FollowWiring;
class RemoteControl;
} // namespace remote

// What the window is given from outside; tests pass doubles, the program the real things.
struct ControlServices
{
    pa::ApplicationFactory createApplication;
    std::shared_ptr<platform::MessageBox> messageBox;
    std::shared_ptr<platform::FileOpenDialog> fileDialog;
    // Makes the serial port of the remote; empty means no remote.
    std::function<std::unique_ptr<platform::SerialPort>()> createSerialPort;
};

class frmControl : public QWidget
{
    Q_OBJECT

public:
    explicit frmControl(ControlServices services, QWidget *parent = nullptr);
    ~frmControl() override;

    // The geometry window once it was opened, else null.
    frmShowAdjust *geometryWindow() const { return m_showAdjust.get(); }

    // Placement numbers in points, read and written by the geometry window.
    std::int16_t Screen1Left = 0, Screen1Top = 0, Screen1Width = 0;
    std::int16_t Screen2Left = 0, Screen2Top = 0, Screen2Width = 0;
    std::int16_t Screen3Left = 0, Screen3Top = 0, Screen3Width = 0;

    // Script and show state.
    std::shared_ptr<pa::Application> ppApp;
    std::shared_ptr<pa::Presentation> ppPres1, ppPres2, ppPres3;
    QString strFileName;
    QStringList strScriptLines;
    QStringList strFields;
    QStringList strNextFields;
    std::int16_t LineNumber = 0;
    std::int16_t LoadNumber = 0;
    std::int32_t Screen1Slide = 0, Screen2Slide = 0, Screen3Slide = 0;
    QString strSlidePath;
    // The deck file each screen was loaded from, for telling two copies of a show apart.
    std::array<QString, 3> deckFiles;

    // The serial port of the remote (may be null when the program has none).
    platform::SerialPort *MSComm1() const;
    // The port set-up sequence; each failing assignment is skipped. Returns why the open
    // failed, for a caller that reports it.
    std::optional<pa::AutomationError> setUpPort(int portNumber);
    // The operator's port choice: the open port is closed and the chosen one set up; when
    // it cannot be opened, a message says why.
    void reopenPort(int portNumber, QWidget *messageParent = nullptr);
    // A message box with the program's title, over messageParent when given.
    void showMessage(const QString &text, QWidget *messageParent = nullptr);

    // A command from any remote: the serial remote's own texts or "LINE k". It waits its
    // turn in the one queue of remote presses.
    void queueRemoteCommand(const QString &command);
    // Offered each queue text before the window runs it (a backup's follower takes its own
    // texts and FOLLOW there); run carries out a text as the window would. True when taken.
    using CommandHook =
        std::function<bool(const QString &text, const std::function<void(const QString &)> &run)>;
    void setCommandHook(CommandHook hook) { m_commandHook = std::move(hook); }
    // The network remote, when the program has one; the geometry window shows its state.
    remote::RemoteControl *networkRemote() const { return m_networkRemote; }
    void setNetworkRemote(remote::RemoteControl *networkRemote) { m_networkRemote = networkRemote; }
    // Main and backup, when the program has them; the geometry window sets the main.
    remote::FollowWiring *followWiring() const { return m_followWiring; }
    void setFollowWiring(remote::FollowWiring *wiring) { m_followWiring = wiring; }
    // The view state of screen 1..3 as last set or learned from its show: running, black
    // screen or white screen.
    std::int32_t blankOf(int screen) const;
    // What a screen's show says of its blank, when it differs from what the window set.
    void adoptBlank(int screen, std::int32_t viewState);

public slots:
    void cmdNextSlide_Click();
    void cmdPreviousSlide_Click();
    void cmdNextSouth_Click();
    void cmdPrevSouth_Click();
    void cmdNextCenter_Click();
    void cmdPrevCenter_Click();
    void cmdNextNorth_Click();
    void cmdPrevNorth_Click();
    void cmdLoadShow_Click();
    void cmdResetShow_Click();
    void cmdLoadScriptEd_Click();
    void cmdShowAdjust_Click();
    // Black, white and back to the slide, for one screen or for all three.
    void cmdBlackNorth_Click();
    void cmdWhiteNorth_Click();
    void cmdShowNorth_Click();
    void cmdBlackCenter_Click();
    void cmdWhiteCenter_Click();
    void cmdShowCenter_Click();
    void cmdBlackSouth_Click();
    void cmdWhiteSouth_Click();
    void cmdShowSouth_Click();
    void cmdBlackAll_Click();
    void cmdWhiteAll_Click();
    void cmdShowAll_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void MSComm1_OnComm();

private:
    void createControls();
    // One of the window's command buttons, in their common type, pressed by Enter too.
    QPushButton *makeButton(const char *name, const QString &caption, QRect rect,
                            void (frmControl::*handler)());
    platform::FileOpenDialog &CommonDialog1() const;
    void showError(const pa::AutomationError &error);
    void Form_Load();
    void Form_Unload();
    // Runs the handler of one text from the remote, when it is a command.
    void runRemoteCommand(const QString &received);
    void runCommand(const QString &received);
    // The screens as a Previous back to script line `line` (1 = the opening line) shows them.
    void goToScriptLine(int line);

    // Per-screen companions, screen 1..3.
    std::shared_ptr<pa::Presentation> &presentationOf(int screen);
    std::int32_t &slideOf(int screen);
    QLabel *imageBoxOf(int screen) const;
    std::int16_t placementOf(int screen, int which) const; // 0 left, 1 top, 2 width

    // The two per-screen procedures of stepping, each action its own skippable statement.
    void switchScreen(int screen, const QStringList &fields);
    void refreshPicture(int screen);
    // Tells each screen's presentation where the next Next and Previous will send it.
    void prepareStepsAhead();
    // A hand step of one screen: activate it, then one step on or back.
    void stepScreen(int screen, bool forward);
    // One load press's work for a screen; throws at the first failure.
    void loadScreen(int screen);
    // Sets a screen's counter from its field of the line; throws when the field is unusable.
    void setSlideFromField(int screen, const QStringList &fields);

    // Blank screens (frmControl_blanks.cpp). The buttons sit below the previews, in the
    // strip the window's layout leaves free.
    void createBlankControls();
    // screen 0 is all three; each screen's setting is its own skippable statement.
    void blankScreens(platform::BlankKind kind, int screen);
    // After a step: a blanked screen stays blanked, whatever the application did.
    void keepBlank(int screen);
    // A screen loaded again starts unblanked.
    void resetBlank(int screen);
    void markBlank(int screen);

    ControlServices m_services;
    std::unique_ptr<platform::SerialPort> m_port;
    // Made at its first show; a window of its own, so it can go behind this one.
    std::unique_ptr<frmShowAdjust> m_showAdjust;
    bool m_unloaded = false;
    // Presses from the remotes and the clicker keys, waiting their turn.
    platform::CommandQueue *m_remoteCommands = nullptr;
    CommandHook m_commandHook;
    remote::RemoteControl *m_networkRemote = nullptr;
    remote::FollowWiring *m_followWiring = nullptr;
    std::int32_t m_blank[3] = {pa::ppSlideShowRunning, pa::ppSlideShowRunning,
                               pa::ppSlideShowRunning};

    // Controls, named as the operator's documentation names them.
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    ScriptTextBox *txtScriptBox1 = nullptr;
    ScriptTextBox *txtScriptBox2 = nullptr;
    QLabel *lblNorth = nullptr;
    QLabel *lblCenter = nullptr;
    QLabel *lblSouth = nullptr;
    QLabel *ibxNorth = nullptr;
    QLabel *ibxCenter = nullptr;
    QLabel *ibxSouth = nullptr;
    QLineEdit *txtLoadShow = nullptr;
    QPushButton *cmdNextSlide = nullptr;
    QPushButton *cmdLoadShow = nullptr;
    QPushButton *cmdPreviousSlide = nullptr;
    QPushButton *cmdNextNorth = nullptr;
    QPushButton *cmdNextCenter = nullptr;
    QPushButton *cmdNextSouth = nullptr;
    QPushButton *cmdPrevNorth = nullptr;
    QPushButton *cmdPrevCenter = nullptr;
    QPushButton *cmdPrevSouth = nullptr;
    QPushButton *cmdShowAdjust = nullptr;
    QPushButton *cmdResetShow = nullptr;
    QPushButton *cmdLoadScriptEd = nullptr;
    QLabel *lblBlankAll = nullptr;
    QPushButton *cmdBlackNorth = nullptr;
    QPushButton *cmdWhiteNorth = nullptr;
    QPushButton *cmdShowNorth = nullptr;
    QPushButton *cmdBlackCenter = nullptr;
    QPushButton *cmdWhiteCenter = nullptr;
    QPushButton *cmdShowCenter = nullptr;
    QPushButton *cmdBlackSouth = nullptr;
    QPushButton *cmdWhiteSouth = nullptr;
    QPushButton *cmdShowSouth = nullptr;
    QPushButton *cmdBlackAll = nullptr;
    QPushButton *cmdWhiteAll = nullptr;
    QPushButton *cmdShowAll = nullptr;
};

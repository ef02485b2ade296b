#include "frmControl.h"

#include "default_placement.h"
#include "frmShowAdjust.h"

#include "script_text_box.h"
#include "show_script.h"
#include "steps_ahead.h"

#include "platform/busy_calls.h"
#include "platform/command_button.h"
#include "platform/drive_c.h"
#include "platform/error.h"
#include "platform/import_notice.h"
#include "platform/layout.h"
#include "platform/presenter_keys.h"
#include "platform/resume_next.h"
#include "platform/text_file.h"
#include "platform/topmost.h"
#include "platform/vb_convert.h"

#include <QCloseEvent>
#include <QFont>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>

#include <limits>

using platform::resumeNext;

using platform::twips;

namespace {

QStringList presentationFilters()
{
    return {QStringLiteral("*.ppt"),        QStringLiteral("PDF decks (*.pdf)"),
            QStringLiteral("*.pptx"),       QStringLiteral("*.pps"),
            QStringLiteral("*.ppsx"),       QStringLiteral("*.odp"),
            QStringLiteral("All files (*)")};
}

QStringList scriptFilters()
{
    return {QStringLiteral("Show scripts (*.txt)"), QStringLiteral("All files (*)")};
}

const QString programTitle = QStringLiteral("Corvane");
const QString endOfShow = QStringLiteral("End of Slide Show");
const QString beginningOfShow = QStringLiteral("Beginning of Slide Show");
const QString scriptLoaded = QStringLiteral("Slide Show Script is Loaded");

QString picturePath(int screen)
{
    const QString folder = QStringLiteral("C:\\Slide Shows\\Screen %1 JPG").arg(screen);
    return platform::mapDriveC(folder + QStringLiteral("\\") + QStringLiteral("ExportSlide"));
}

// A plain grey card, shown until a screen has its first preview.
QPixmap placeholderPicture()
{
    QImage image(175, 125, QImage::Format_RGB32);
    image.fill(QColor(0x80, 0x80, 0x80));
    QPainter painter(&image);
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.drawRect(0, 0, image.width() - 1, image.height() - 1);
    return QPixmap::fromImage(image);
}

// Loads the picture by its content: the preview files have no extension.
void loadPicture(QLabel *box, const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        if (reader.error() == QImageReader::FileNotFoundError) {
            throw platform::runtimeError(QStringLiteral("File not found: %1").arg(path));
        }
        throw platform::runtimeError(QStringLiteral("Invalid picture: %1").arg(path));
    }
    box->setPixmap(QPixmap::fromImage(image));
}

template<typename T> T &require(const std::shared_ptr<T> &object)
{
    if (!object) {
        throw platform::runtimeError(
            QStringLiteral("Object variable or With block variable not set"));
    }
    return *object;
}

std::int16_t incremented(std::int16_t value)
{
    if (value == std::numeric_limits<std::int16_t>::max()) {
        throw platform::runtimeError(QStringLiteral("Overflow"));
    }
    return static_cast<std::int16_t>(value + 1);
}

std::string toStd(const QString &text)
{
    return text.toStdString();
}

} // namespace

frmControl::frmControl(ControlServices services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services))
{
    m_remoteCommands = new platform::CommandQueue(
        [this](const QString &command) { runRemoteCommand(command); }, this);
    createControls();
    platform::installPresenterKeys(this, [this](platform::PresenterStep step) {
        queueRemoteCommand(platform::presenterQueueText(step));
    });
    if (m_services.createSerialPort) {
        m_port = m_services.createSerialPort();
    }
    if (m_port) {
        connect(m_port.get(), &platform::SerialPort::onComm, this, &frmControl::MSComm1_OnComm);
    }
    Form_Load();
}

frmControl::~frmControl()
{
    Form_Unload();
}

void frmControl::createControls()
{
    setObjectName(QStringLiteral("frmControl"));
    setWindowTitle(QStringLiteral("Corvane  Main Control"));
    setFixedSize(twips(0, 0, 12765, 9225).size());
    setFont(QFont(QStringLiteral("Courier New"), 8));

    auto label = [this](QLabel *&control, const char *name, const QString &caption, QRect rect) {
        control = new QLabel(caption, this);
        control->setObjectName(QLatin1String(name));
        control->setGeometry(rect);
    };
    label(Label1, "Label1", QStringLiteral("Script Current Slide"), twips(120, 120, 3735, 375));
    label(Label2, "Label2", QStringLiteral("Script Next Slide"), twips(8760, 120, 3735, 375));
    label(Label3, "Label3", QStringLiteral("Corvane"), twips(4005, 720, 4695, 510));
    QFont titleFont(QStringLiteral("Courier New"), 18);
    titleFont.setBold(true);
    Label3->setFont(titleFont);
    Label3->setAlignment(Qt::AlignCenter);
    label(lblNorth, "lblNorth", QStringLiteral("Screen 3"), twips(1238, 1305, 2205, 360));
    label(lblCenter, "lblCenter", QStringLiteral("Screen 2"), twips(5243, 1305, 2205, 360));
    label(lblSouth, "lblSouth", QStringLiteral("Screen 1"), twips(9248, 1305, 2205, 360));
    for (QLabel *heading : {lblNorth, lblCenter, lblSouth}) {
        heading->setAlignment(Qt::AlignCenter);
    }

    QFont scriptFont(QStringLiteral("Times New Roman"), 10);
    scriptFont.setBold(true);
    auto scriptBox = [this, &scriptFont](ScriptTextBox *&control, const char *name,
                                         const QString &text, QRect rect) {
        control = new ScriptTextBox(this);
        control->setObjectName(QLatin1String(name));
        control->setFont(scriptFont);
        control->setText(text);
        control->setGeometry(rect);
    };
    scriptBox(txtScriptBox1, "txtScriptBox1", QStringLiteral("Script For This Slide\r\n"),
              twips(120, 480, 3810, 810));
    scriptBox(txtScriptBox2, "txtScriptBox2", QStringLiteral("Script For Next Slide\r\n"),
              twips(8781, 480, 3810, 810));

    const QPixmap placeholder = placeholderPicture();
    auto imageBox = [&label, &placeholder](QLabel *&control, const char *name, QRect rect) {
        label(control, name, QString(), rect);
        control->setScaledContents(true);
        control->setPixmap(placeholder);
    };
    imageBox(ibxNorth, "ibxNorth", twips(810, 1935, 2970, 1905));
    imageBox(ibxCenter, "ibxCenter", twips(4852, 1935, 2970, 1905));
    imageBox(ibxSouth, "ibxSouth", twips(8895, 1935, 2970, 1905));

    txtLoadShow = new QLineEdit(this);
    txtLoadShow->setObjectName(QStringLiteral("txtLoadShow"));
    QFont pathFont = font();
    pathFont.setBold(true);
    txtLoadShow->setFont(pathFont);
    txtLoadShow->setGeometry(twips(2400, 4200, 7905, 735));
    txtLoadShow->setEnabled(false);

    auto button = [this](QPushButton *&control, const char *name, const QString &caption,
                         QRect rect, void (frmControl::*handler)()) {
        control = makeButton(name, caption, rect, handler);
    };
    button(cmdNextSlide, "cmdNextSlide", QStringLiteral("&Next Slide"),
           twips(1418, 5115, 1860, 765), &frmControl::cmdNextSlide_Click);
    button(cmdLoadShow, "cmdLoadShow", QStringLiteral("&Load SlideShow"),
           twips(5415, 5115, 1860, 765), &frmControl::cmdLoadShow_Click);
    button(cmdPreviousSlide, "cmdPreviousSlide", QStringLiteral("&Previous Slide"),
           twips(9413, 5115, 1860, 765), &frmControl::cmdPreviousSlide_Click);
    button(cmdNextNorth, "cmdNextNorth", QStringLiteral("Next Slide Screen 3"),
           twips(1388, 6090, 1860, 765), &frmControl::cmdNextNorth_Click);
    button(cmdNextCenter, "cmdNextCenter", QStringLiteral("Next Slide Screen 2"),
           twips(5415, 6120, 1860, 765), &frmControl::cmdNextCenter_Click);
    button(cmdNextSouth, "cmdNextSouth", QStringLiteral("Next Slide Screen 1"),
           twips(9443, 6120, 1860, 765), &frmControl::cmdNextSouth_Click);
    button(cmdPrevNorth, "cmdPrevNorth", QStringLiteral("Prev Slide Screen 3"),
           twips(1388, 7065, 1860, 765), &frmControl::cmdPrevNorth_Click);
    button(cmdPrevCenter, "cmdPrevCenter", QStringLiteral("Prev Slide Screen 2"),
           twips(5415, 7065, 1860, 765), &frmControl::cmdPrevCenter_Click);
    button(cmdPrevSouth, "cmdPrevSouth", QStringLiteral("Prev Slide Screen 1"),
           twips(9443, 7065, 1860, 765), &frmControl::cmdPrevSouth_Click);
    button(cmdShowAdjust, "cmdShowAdjust", QStringLiteral("Load Show Adjust"),
           twips(1392, 7995, 1860, 765), &frmControl::cmdShowAdjust_Click);
    button(cmdResetShow, "cmdResetShow", QStringLiteral("Reset Slide Load"),
           twips(5452, 8040, 1860, 765), &frmControl::cmdResetShow_Click);
    button(cmdLoadScriptEd, "cmdLoadScriptEd", QStringLiteral("Load Script"),
           twips(9439, 7980, 1860, 765), &frmControl::cmdLoadScriptEd_Click);
    createBlankControls();

    // The one file dialog of the window, for presentations and scripts alike.
    platform::FileOpenDialog &dialog = CommonDialog1();
    dialog.setTitle(QStringLiteral("Load PowerPoint Presentation"));
    dialog.setFilters(presentationFilters());
    dialog.setInitialDirectory(platform::mapDriveC(QStringLiteral("C:\\Slide Shows")));
}

QPushButton *frmControl::makeButton(const char *name, const QString &caption, QRect rect,
                                    void (frmControl::*handler)())
{
    // A little smaller than the window's type, so the longest captions fit on one line.
    const QFont buttonFont(QStringLiteral("Courier New"), 7);
    auto *control = new platform::CommandButton(caption, this);
    control->setObjectName(QLatin1String(name));
    control->setFont(buttonFont);
    control->setGeometry(rect);
    // Enter presses the focused button as Space does: the operator's keyboard habit.
    control->setAutoDefault(true);
    connect(control, &QPushButton::clicked, this, handler);
    return control;
}

platform::FileOpenDialog &frmControl::CommonDialog1() const
{
    return *m_services.fileDialog;
}

platform::SerialPort *frmControl::MSComm1() const
{
    return m_port.get();
}

void frmControl::showError(const pa::AutomationError &error)
{
    m_services.messageBox->show(this, platform::errorText(error), programTitle);
}

// ---------------------------------------------------------------- start-up and closing

void frmControl::Form_Load()
{
    resumeNext([&] { platform::makeTopmost(this); });
    resumeNext([&] { Screen1Left = corvane::defaultPlacement[0][0]; });
    resumeNext([&] { Screen1Top = corvane::defaultPlacement[0][1]; });
    resumeNext([&] { Screen1Width = corvane::defaultPlacement[0][2]; });
    resumeNext([&] { Screen2Left = corvane::defaultPlacement[1][0]; });
    resumeNext([&] { Screen2Top = corvane::defaultPlacement[1][1]; });
    resumeNext([&] { Screen2Width = corvane::defaultPlacement[1][2]; });
    resumeNext([&] { Screen3Left = corvane::defaultPlacement[2][0]; });
    resumeNext([&] { Screen3Top = corvane::defaultPlacement[2][1]; });
    resumeNext([&] { Screen3Width = corvane::defaultPlacement[2][2]; });
    setUpPort(1);
}

void frmControl::Form_Unload()
{
    if (m_unloaded) {
        return;
    }
    m_unloaded = true;
    m_remoteCommands->close();
    // Only the port is closed: the presentations and their shows keep running.
    if (m_port) {
        resumeNext([&] { m_port->setPortOpen(false); });
    }
}

void frmControl::closeEvent(QCloseEvent *event)
{
    // Not a child window, so it would otherwise outlive the program's main window.
    if (m_showAdjust) {
        m_showAdjust->close();
    }
    Form_Unload();
    event->accept();
}

// ---------------------------------------------------------------- serial remote

std::optional<pa::AutomationError> frmControl::setUpPort(int portNumber)
{
    platform::SerialPort *port = m_port.get();
    if (!port) {
        return std::nullopt;
    }
    resumeNext([&] { port->setCommPort(portNumber); });
    resumeNext([&] { port->setHandshaking(0); });
    resumeNext([&] { port->setRThreshold(1); });
    resumeNext([&] { port->setRTSEnable(true); });
    resumeNext([&] { port->setSettings(QStringLiteral("9600,n,8,1")); });
    resumeNext([&] { port->setSThreshold(1); });
    std::optional<pa::AutomationError> failure;
    resumeNext([&] {
        try {
            port->setPortOpen(true);
        } catch (const pa::AutomationError &error) {
            failure = error;
            throw;
        }
    });
    return failure;
}

void frmControl::reopenPort(int portNumber, QWidget *messageParent)
{
    platform::SerialPort *port = m_port.get();
    if (!port) {
        return;
    }
    // An open port refuses a new port number, which would keep the remote on the old line.
    resumeNext([&] { port->setPortOpen(false); });
    if (const std::optional<pa::AutomationError> failure = setUpPort(portNumber)) {
        showMessage(platform::errorText(*failure), messageParent);
    }
}

void frmControl::showMessage(const QString &text, QWidget *messageParent)
{
    m_services.messageBox->show(messageParent ? messageParent : this, text, programTitle);
}

void frmControl::MSComm1_OnComm()
{
    if (!m_port) {
        return;
    }
    QString received;
    // A port that fails to read must not take the program down from inside an event.
    if (!resumeNext([&] { received = m_port->input(); })) {
        return;
    }
    // Only the clicker keys toggle a blank; a line sets it.
    if (const auto blank = platform::blankCommand(received, 3);
        blank && (blank->kind == platform::BlankKind::ToggleBlack ||
                  blank->kind == platform::BlankKind::ToggleWhite)) {
        return;
    }
    queueRemoteCommand(received);
}

void frmControl::queueRemoteCommand(const QString &command)
{
    m_remoteCommands->push(command);
}

void frmControl::runRemoteCommand(const QString &received)
{
    if (m_commandHook &&
        m_commandHook(received, [this](const QString &text) { runCommand(text); })) {
        return;
    }
    runCommand(received);
}

void frmControl::runCommand(const QString &received)
{
    using Handler = void (frmControl::*)();
    static const std::pair<const char *, Handler> commands[] = {
        {"N", &frmControl::cmdNextSlide_Click},   {"P", &frmControl::cmdPreviousSlide_Click},
        {"1N", &frmControl::cmdNextSouth_Click},  {"1P", &frmControl::cmdPrevSouth_Click},
        {"2N", &frmControl::cmdNextCenter_Click}, {"2P", &frmControl::cmdPrevCenter_Click},
        {"3N", &frmControl::cmdNextNorth_Click},  {"3P", &frmControl::cmdPrevNorth_Click},
    };
    for (const auto &[command, handler] : commands) {
        if (received == QLatin1String(command)) {
            (this->*handler)();
            return;
        }
    }
    if (const std::optional<int> line = showscript::lineCommand(received)) {
        goToScriptLine(*line);
    } else if (const auto blank = platform::blankCommand(received, 3)) {
        blankScreens(blank->kind, blank->screen);
    }
}

void frmControl::goToScriptLine(int line)
{
    if (line < 1 || line > showscript::showLength(strScriptLines)) {
        return;
    }
    // Previous lowers the position by one and restores the line before the new one.
    LineNumber = static_cast<std::int16_t>(line + 2);
    cmdPreviousSlide_Click();
}

// ---------------------------------------------------------------- per-screen companions

std::shared_ptr<pa::Presentation> &frmControl::presentationOf(int screen)
{
    return screen == 1 ? ppPres1 : screen == 2 ? ppPres2 : ppPres3;
}

std::int32_t &frmControl::slideOf(int screen)
{
    return screen == 1 ? Screen1Slide : screen == 2 ? Screen2Slide : Screen3Slide;
}

QLabel *frmControl::imageBoxOf(int screen) const
{
    return screen == 1 ? ibxSouth : screen == 2 ? ibxCenter : ibxNorth;
}

std::int16_t frmControl::placementOf(int screen, int which) const
{
    const std::int16_t values[3][3] = {{Screen1Left, Screen1Top, Screen1Width},
                                       {Screen2Left, Screen2Top, Screen2Width},
                                       {Screen3Left, Screen3Top, Screen3Width}};
    return values[screen - 1][which];
}

void frmControl::switchScreen(int screen, const QStringList &fields)
{
    const std::shared_ptr<pa::Presentation> pres = presentationOf(screen);
    resumeNext([&] { require(require(pres).slideShowWindow()).activate(); });
    resumeNext([&] {
        const std::int32_t slide =
            platform::toInt32(showscript::fieldAt(fields, showscript::slideField(screen)));
        require(require(require(pres).slideShowWindow()).view()).gotoSlide(slide, pa::msoTrue);
    });
    keepBlank(screen);
}

void frmControl::setSlideFromField(int screen, const QStringList &fields)
{
    slideOf(screen) =
        platform::toInt32(showscript::fieldAt(fields, showscript::slideField(screen)));
}

void frmControl::refreshPicture(int screen)
{
    // Each screen's picture comes from its own presentation, so that screens showing
    // different decks never preview one another's slides.
    const std::shared_ptr<pa::Presentation> pres = presentationOf(screen);
    std::shared_ptr<pa::Slide> slide;
    resumeNext([&] { slide = require(require(pres).slides()).item(slideOf(screen)); });
    resumeNext([&] { require(slide).exportTo(toStd(picturePath(screen)), "JPG", 175, 125); });
    resumeNext([&] { slide.reset(); });
    resumeNext([&] { strSlidePath = picturePath(screen); });
    resumeNext([&] { loadPicture(imageBoxOf(screen), strSlidePath); });
}

void frmControl::prepareStepsAhead()
{
    showscript::prepareSlidesAhead({ppPres1, ppPres2, ppPres3}, strScriptLines, LineNumber);
}

void frmControl::stepScreen(int screen, bool forward)
{
    const std::shared_ptr<pa::Presentation> pres = presentationOf(screen);
    resumeNext([&] { require(require(pres).slideShowWindow()).activate(); });
    resumeNext([&] {
        const std::shared_ptr<pa::SlideShowView> view =
            require(require(pres).slideShowWindow()).view();
        if (forward) {
            require(view).next();
        } else {
            require(view).previous();
        }
    });
    keepBlank(screen);
    prepareStepsAhead();
}

// ---------------------------------------------------------------- stepping the script

void frmControl::cmdNextSlide_Click()
{
    using namespace showscript;
    const auto ahead = qScopeGuard([this] { prepareStepsAhead(); });
    const std::int16_t L = LineNumber;

    resumeNext([&] {
        if (lineAt(strScriptLines, L).isEmpty()) {
            txtScriptBox2->setText(endOfShow);
        } else {
            strNextFields = fieldsOf(lineAt(strScriptLines, L));
        }
    });

    if (lineAt(strScriptLines, L - 1).isEmpty()) {
        resumeNext([&] { txtScriptBox1->setText(endOfShow); });
        return;
    }
    resumeNext([&] { strFields = fieldsOf(lineAt(strScriptLines, L - 1)); });

    if (const std::optional<int> code = stepCode(strFields)) {
        if (*code == 0) {
            resumeNext([&] { txtScriptBox1->setText(beginningOfShow); });
            resumeNext([&] { Screen1Slide = 1; });
            resumeNext([&] { Screen2Slide = 1; });
            resumeNext([&] { Screen3Slide = 1; });
            for (int screen = 1; screen <= 3; ++screen) {
                refreshPicture(screen);
            }
        } else {
            // Every switch of the step first, so the screens change as close together as
            // possible; the slower picture work follows.
            for (int screen : screensNamed(*code)) {
                switchScreen(screen, strFields);
            }
            resumeNext([&] { txtScriptBox1->setText(stepDescription(strFields)); });
            for (int screen : screensNamedAscending(*code)) {
                resumeNext([&] { setSlideFromField(screen, strFields); });
                refreshPicture(screen);
            }
        }
    }

    resumeNext([&] {
        if (lineAt(strScriptLines, L).isEmpty()) {
            txtScriptBox2->setText(endOfShow);
            return;
        }
        strNextFields = fieldsOf(lineAt(strScriptLines, L));
        const std::optional<int> nextCode = stepCode(strNextFields);
        if (nextCode == 0) {
            txtScriptBox2->setText(beginningOfShow);
        } else if (nextCode) {
            txtScriptBox2->setText(stepDescription(strNextFields));
        }
    });

    resumeNext([&] { LineNumber = incremented(L); });
}

void frmControl::cmdPreviousSlide_Click()
{
    using namespace showscript;
    const auto ahead = qScopeGuard([this] { prepareStepsAhead(); });

    if (LineNumber > 2) {
        LineNumber = static_cast<std::int16_t>(LineNumber - 1);
    } else {
        LineNumber = 2;
        return;
    }

    // A line that cannot be taken leaves the earlier fields in place.
    resumeNext([&] { strFields = fieldsOf(takeLine(strScriptLines, LineNumber - 2)); });

    if (const std::optional<int> code = stepCode(strFields)) {
        // Going back restores all three screens, whatever the code names.
        for (int screen : switchOrder(*code)) {
            switchScreen(screen, strFields);
        }
        resumeNext([&] {
            txtScriptBox1->setText(*code == 0 ? QStringLiteral(" Beginning of Slide Show ")
                                              : stepDescription(strFields));
        });
        if (*code == 0) {
            resumeNext([&] { Screen1Slide = 1; });
            resumeNext([&] { Screen2Slide = 1; });
            resumeNext([&] { Screen3Slide = 1; });
        }
        for (int screen : pictureOrder(*code)) {
            if (*code != 0) {
                resumeNext([&] { setSlideFromField(screen, strFields); });
            }
            refreshPicture(screen);
        }
    }

    resumeNext([&] { strNextFields = fieldsOf(takeLine(strScriptLines, LineNumber - 1)); });
    resumeNext([&] {
        const std::optional<int> nextCode = stepCode(strNextFields);
        if (nextCode == 0) {
            txtScriptBox2->setText(beginningOfShow);
        } else if (nextCode) {
            txtScriptBox2->setText(stepDescription(strNextFields));
        }
    });
}

// ---------------------------------------------------------------- per-screen stepping

void frmControl::cmdNextSouth_Click()
{
    stepScreen(1, true);
}

void frmControl::cmdPrevSouth_Click()
{
    stepScreen(1, false);
}

void frmControl::cmdNextCenter_Click()
{
    stepScreen(2, true);
}

void frmControl::cmdPrevCenter_Click()
{
    stepScreen(2, false);
}

void frmControl::cmdNextNorth_Click()
{
    stepScreen(3, true);
}

void frmControl::cmdPrevNorth_Click()
{
    stepScreen(3, false);
}

void frmControl::cmdResetShow_Click()
{
    LoadNumber = 0;
    prepareStepsAhead();
}

// ---------------------------------------------------------------- loading

void frmControl::loadScreen(int screen)
{
    std::shared_ptr<pa::Presentation> &pres = presentationOf(screen);
    pres = require(require(ppApp).presentations())
               .open(toStd(txtLoadShow->text()), pa::msoFalse, pa::msoFalse, pa::msoTrue);
    deckFiles[std::size_t(screen - 1)] = txtLoadShow->text();
    require(require(pres).slideShowSettings()).run();
    std::shared_ptr<pa::SlideShowWindow> window = require(pres).slideShowWindow();
    require(window).setLeft(static_cast<float>(placementOf(screen, 0)));
    require(window).setTop(static_cast<float>(placementOf(screen, 1)));
    require(window).setWidth(static_cast<float>(placementOf(screen, 2)));
    slideOf(screen) = 1;
    // The picture comes from the screen's own presentation (see refreshPicture).
    require(require(require(pres).slides()).item(slideOf(screen)))
        .exportTo(toStd(picturePath(screen)), "JPG", 175, 125);
    strSlidePath = picturePath(screen);
    loadPicture(imageBoxOf(screen), strSlidePath);
    txtLoadShow->setEnabled(false);
    resetBlank(screen);
    if (const auto notice = platform::withoutBuildsMessage(*pres, txtLoadShow->text())) {
        showMessage(*notice);
    }
}

void frmControl::cmdLoadShow_Click()
{
    const bool wasEnabled = txtLoadShow->isEnabled();
    txtLoadShow->setEnabled(true);
    if (!CommonDialog1().show(this)) {
        // A cancel changes nothing: no presentation from an earlier choice is opened.
        txtLoadShow->setEnabled(wasEnabled);
        return;
    }
    try {
        txtLoadShow->setText(CommonDialog1().fileName());
        ppApp = m_services.createApplication();
        require(ppApp).setVisible(pa::msoTrue);
        if (LoadNumber >= 0 && LoadNumber <= 2) {
            loadScreen(LoadNumber + 1);
        }
        LoadNumber = incremented(LoadNumber);
        prepareStepsAhead();
    } catch (const pa::AutomationError &error) {
        showError(error);
    } catch (const std::exception &error) {
        showError(platform::runtimeError(QString::fromLocal8Bit(error.what())));
    }
}

// ---------------------------------------------------------------- show script

void frmControl::cmdLoadScriptEd_Click()
{
    // The same dialog, but offering scripts first; presentations are offered first again after.
    CommonDialog1().setFilters(scriptFilters());
    const bool chosen = CommonDialog1().show(this);
    CommonDialog1().setFilters(presentationFilters());
    if (!chosen) {
        return; // a cancel keeps the script and its position
    }
    const QString fileName = CommonDialog1().fileName();
    QString text;
    try {
        text = platform::readAnsiTextFile(fileName);
    } catch (const pa::AutomationError &error) {
        // An unreadable file is reported; the script loaded before stays in use.
        showError(error);
        return;
    }
    strFileName = fileName;
    strScriptLines = showscript::splitLines(text);
    LineNumber = 2;
    txtScriptBox1->setText(scriptLoaded);
    txtScriptBox2->setText(scriptLoaded);
    prepareStepsAhead();
}

void frmControl::cmdShowAdjust_Click()
{
    if (!m_showAdjust) {
        m_showAdjust = std::make_unique<frmShowAdjust>(*this);
    }
    m_showAdjust->showAdjust();
}

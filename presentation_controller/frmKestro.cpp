#include "frmKestro.h"

#include "display_numbers.h"
#include "error_message.h"
#include "frmScreen.h"
#include "long_timer.h"

#include "platform/busy_calls.h"
#include "platform/command_button.h"
#include "platform/drive_c.h"
#include "platform/error.h"
#include "platform/import_notice.h"
#include "platform/layout.h"
#include "platform/presenter_keys.h"
#include "platform/topmost.h"
#include "platform/vb_convert.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>

namespace kestro {

QString programTitle(Variant variant)
{
    return variant == Variant::Kiosk ? QStringLiteral("Kestrokiosk-Dual Monitor")
                                     : QStringLiteral("Kestro ");
}

QUrl guideUrl(const QString &programDir)
{
    const QString dir = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    const QString beside = dir + QStringLiteral("/kestro-guide/index.html");
    if (QFileInfo::exists(beside)) {
        return QUrl::fromLocalFile(beside);
    }
    // Installed: the guide is with the package's documentation.
    return QUrl::fromLocalFile(QDir::cleanPath(dir + QStringLiteral("/" CORVANE_DOC_FROM_BIN) +
                                               QStringLiteral("/guide/index.html")));
}

} // namespace kestro

using platform::makeControl;

namespace {

const QColor linkColour(0, 0, 255);
const QColor linkHoverColour(255, 0, 0);

// A presentation must have been opened before the show can be stepped.
pa::Presentation &opened(const std::shared_ptr<pa::Presentation> &presentation)
{
    if (!presentation) {
        throw platform::runtimeError(
            QStringLiteral("Object variable or With block variable not set"));
    }
    return *presentation;
}

void setLabelColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

frmKestro::frmKestro(KestroServices services, kestro::Variant variant, QWidget *parent)
    : QWidget(parent), m_services(std::move(services)), m_variant(variant)
{
    const bool kiosk = m_variant == kestro::Variant::Kiosk;
    m_remoteCommands = new platform::CommandQueue(
        [this](const QString &command) { runRemoteCommand(command); }, this);
    setObjectName(QStringLiteral("frmKestro"));
    setWindowTitle(kestro::programTitle(m_variant));
    setFont(QFont(QStringLiteral("Arial")));

    Label2 = makeControl<QLabel>(this, "Label2", QStringLiteral("Current Slide Show"),
                                 QRect(10, 8, 160, 22));
    txtLoadShow = makeControl<QLineEdit>(this, "txtLoadShow", QString(), QRect(10, 34, 460, 24));
    txtLoadShow->setEnabled(false);

    cmdNextSlide = makeControl<platform::CommandButton>(
        this, "cmdNextSlide", QStringLiteral("&Next  Slide"), QRect(10, 68, 145, 40));
    cmdLoadShow = makeControl<platform::CommandButton>(
        this, "cmdLoadShow", QStringLiteral("&Load Show"), QRect(167, 68, 145, 40));
    cmdPreviousSlide = makeControl<platform::CommandButton>(
        this, "cmdPreviousSlide", QStringLiteral("   &Previous    Slide"), QRect(324, 68, 146, 40));

    lblSlidenum = makeControl<QLabel>(this, "lblSlidenum", QStringLiteral("Slide Num"),
                                      QRect(10, 124, 70, 24));
    txtSlideNum = makeControl<QLineEdit>(this, "txtSlideNum", QString(), QRect(82, 124, 70, 24));
    txtSlideNum->setEnabled(false);
    cmdGoto = makeControl<platform::CommandButton>(
        this, "cmdGoto", QStringLiteral(" &Goto Slide   Number"), QRect(167, 118, 180, 36));
    txtGotoSlide =
        makeControl<QLineEdit>(this, "txtGotoSlide", QString(), QRect(360, 124, 110, 24));

    cmdLoadScreenNum = makeControl<platform::CommandButton>(
        this, "cmdLoadScreenNum", QStringLiteral("    Load &Display    Numbers"),
        QRect(10, 166, 220, 36));

    Label1 =
        makeControl<QLabel>(this, "Label1", QStringLiteral("User guide"), QRect(10, 214, 200, 22));
    setLabelColour(Label1, linkColour);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setMouseTracking(true);
    Label1->installEventFilter(this);
    setMouseTracking(true);

    if (kiosk) {
        Label3 = makeControl<QLabel>(this, "Label3", QStringLiteral("Total Slides"),
                                     QRect(300, 8, 90, 22));
        txtTotalslides =
            makeControl<QLineEdit>(this, "txtTotalslides", QString(), QRect(392, 6, 78, 24));
        txtTotalslides->setEnabled(false);
        Label4 =
            makeControl<QLabel>(this, "Label4", QStringLiteral("Timer"), QRect(250, 172, 50, 24));
        Text1 = makeControl<QLineEdit>(this, "Text1", QString(), QRect(300, 170, 100, 28));
        Text1->setFont(QFont(QStringLiteral("Arial Black")));
        m_longTimer1 = new kestro::LongTimer(this);
        m_longTimer1->setObjectName(QStringLiteral("LongTimer1"));
        connect(m_longTimer1, &kestro::LongTimer::Timer, this, &frmKestro::LongTimer1_Timer);
    }
    createBlankControls();
    setFixedSize(480, 244);

    m_screen = new frmScreen(kestro::programTitle(m_variant), m_services.messageBox, this);

    m_services.fileDialog->setTitle(QStringLiteral("Load PowerPoint Presentation"));
    m_services.fileDialog->setInitialDirectory(
        platform::mapDriveC(QStringLiteral("C:\\Orvanta\\")));
    m_services.fileDialog->setFilters(
        {QStringLiteral("Presentations (*.ppt)"),
         QStringLiteral("All presentations (*.ppt *.pptx *.pps *.ppsx *.odp *.pdf)"),
         QStringLiteral("All files (*)")});

    connect(cmdLoadShow, &QPushButton::clicked, this, &frmKestro::cmdLoadShow_Click);
    connect(cmdNextSlide, &QPushButton::clicked, this, &frmKestro::cmdNextSlide_Click);
    connect(cmdPreviousSlide, &QPushButton::clicked, this, &frmKestro::cmdPreviousSlide_Click);
    connect(cmdGoto, &QPushButton::clicked, this, &frmKestro::cmdGoto_Click);
    connect(cmdLoadScreenNum, &QPushButton::clicked, this, &frmKestro::cmdLoadScreenNum_Click);
    platform::installPresenterKeys(this, [this](platform::PresenterStep step) {
        // The same queue as the remotes: a key pressed during a slow step waits its turn.
        queueRemoteCommand(platform::presenterQueueText(step));
    });

    // Stays usable above the full-screen show on the other display.
    platform::makeTopmost(this);
}

frmKestro::~frmKestro() = default;

void frmKestro::report(const QString &text)
{
    m_services.messageBox->show(this, text, windowTitle());
}

void frmKestro::showSlideNumber(const QString &text)
{
    txtSlideNum->setEnabled(true);
    txtSlideNum->setText(text);
    txtSlideNum->setEnabled(false);
}

void frmKestro::cmdLoadShow_Click()
{
    const bool kiosk = m_variant == kestro::Variant::Kiosk;
    bool settingInterval = false;
    try {
        const bool wasEnabled = txtLoadShow->isEnabled();
        txtLoadShow->setEnabled(true);
        if (!m_services.fileDialog->show(this)) {
            // Cancelled: nothing to open.
            txtLoadShow->setEnabled(wasEnabled);
            return;
        }
        txtLoadShow->setText(m_services.fileDialog->fileName());
        ppApp = m_services.createApplication();
        ppApp->setVisible(pa::msoTrue);
        ppPres1 = ppApp->presentations()->open(txtLoadShow->text().toStdString());
        ppPres1->slideShowSettings()->run();

        const auto window = ppPres1->slideShowWindow();
        if (m_screen->intDisplaySet == 1) {
            window->setLeft(static_cast<float>(m_screen->intLeft));
            window->setTop(static_cast<float>(m_screen->intTop));
            window->setWidth(static_cast<float>(m_screen->intWidth));
        } else {
            window->setLeft(static_cast<float>(kestro::defaultLeft));
            window->setTop(static_cast<float>(kestro::defaultTop));
            window->setWidth(static_cast<float>(kestro::defaultWidth));
        }
        if (!kiosk) {
            txtLoadShow->setEnabled(false);
        }
        // From the presentation opened here: the application's active one may belong to
        // another controller.
        showSlideNumber(QString::number(ppPres1->slides()->item(1)->slideIndex()));
        resetBlank();

        if (kiosk) {
            const std::int32_t total = ppPres1->slides()->count();
            txtTotalslides->setEnabled(true);
            txtTotalslides->setText(QString::number(total));
            txtTotalslides->setEnabled(false);
            m_longTimer1->setEnabled(true);
            settingInterval = true;
            m_longTimer1->setInterval(platform::toSingle(Text1->text()));
        }
        // Last: the message waits for the operator, and the kiosk's timer must not.
        if (const auto notice = platform::withoutBuildsMessage(*ppPres1, txtLoadShow->text())) {
            report(*notice);
        }
    } catch (const std::exception &error) {
        if (settingInterval && m_longTimer1->Interval() == 0) {
            report(QStringLiteral("Please enter timer interval before loading PPT file."));
        } else {
            report(kestro::errorMessage(error));
        }
    }
}

void frmKestro::step(bool forward)
{
    try {
        const auto window = opened(ppPres1).slideShowWindow();
        window->activate();
        const auto view = window->view();
        if (forward) {
            view->next();
        } else {
            view->previous();
        }
        keepBlank(*view);
        showSlideNumber(QString::number(view->slide()->slideIndex()));
    } catch (const std::exception &error) {
        report(kestro::errorMessage(error));
    }
}

void frmKestro::cmdNextSlide_Click()
{
    step(true);
}

void frmKestro::cmdPreviousSlide_Click()
{
    step(false);
}

void frmKestro::cmdGoto_Click()
{
    try {
        gotoNumber = platform::toInt32(txtGotoSlide->text());
        const auto view = opened(ppPres1).slideShowWindow()->view();
        view->gotoSlide(gotoNumber, pa::msoTrue);
        keepBlank(*view);
        showSlideNumber(QString::number(gotoNumber));
    } catch (const std::exception &error) {
        report(kestro::errorMessage(error));
    }
}

void frmKestro::cmdLoadScreenNum_Click()
{
    m_screen->showWindow();
}

void frmKestro::LongTimer1_Timer()
{
    // While a tick's message is open, later ticks wait instead of piling up more messages.
    // A tick that fell due while the presentation application was still busy with a call is
    // skipped: the show moves on at the next one rather than twice in a row.
    if (m_inTick || platform::BusyCalls::inCall() || (m_timerGate && !m_timerGate()) ||
        platform::BusyCalls::lastCallEnded() > m_longTimer1->dueAt()) {
        return;
    }
    const QScopedValueRollback guard(m_inTick, true);
    cmdNextSlide_Click();
}

void frmKestro::queueRemoteCommand(const QString &command)
{
    m_remoteCommands->push(command);
}

void frmKestro::runRemoteCommand(const QString &command)
{
    if (m_commandHook &&
        m_commandHook(command, [this](const QString &text) { runCommand(text); })) {
        return;
    }
    runCommand(command);
}

void frmKestro::runCommand(const QString &command)
{
    if (command == QLatin1String("N")) {
        cmdNextSlide_Click();
    } else if (command == QLatin1String("P")) {
        cmdPreviousSlide_Click();
    } else if (command.startsWith(QLatin1String("SLIDE "))) {
        // Through the box, so the window shows which slide the remote asked for.
        txtGotoSlide->setText(command.mid(6));
        cmdGoto_Click();
    } else if (const auto blank = platform::blankCommand(command, 0)) {
        blankShow(blank->kind);
    }
}

void frmKestro::Label1_MouseMove()
{
    setLabelColour(Label1, linkHoverColour);
}

void frmKestro::Form_MouseMove()
{
    setLabelColour(Label1, linkColour);
}

void frmKestro::Label1_Click()
{
    const QUrl url = kestro::guideUrl();
    const bool opened =
        m_services.openUrl ? m_services.openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        // Without a browser or a guide the click would otherwise do nothing at all.
        report(QStringLiteral("The user guide could not be opened. It is the file %1")
                   .arg(QDir::toNativeSeparators(url.toLocalFile())));
    }
}

void frmKestro::mouseMoveEvent(QMouseEvent *event)
{
    Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

bool frmKestro::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label1) {
        if (event->type() == QEvent::MouseMove) {
            Label1_MouseMove();
            return true; // not passed on to the window, whose own move turns it blue again
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton &&
                Label1->rect().contains(mouse->position().toPoint())) {
                Label1_Click();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmKestro::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void frmKestro::Form_Unload()
{
    m_remoteCommands->close();
    // The program's other windows close with it; the presentation and its show stay as
    // they are in the presentation application.
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window != this && window->isVisible()) {
            window->close();
        }
    }
    if (m_longTimer1 != nullptr) {
        m_longTimer1->setEnabled(false);
    }
    if (m_services.endProgram) {
        m_services.endProgram();
    } else {
        QCoreApplication::quit();
    }
}

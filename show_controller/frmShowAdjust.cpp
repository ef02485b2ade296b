#include "frmShowAdjust.h"

#include "follow_panel.h"
#include "frmControl.h"

#include "remote_control/remote_control.h"

#include "platform/command_button.h"
#include "platform/drive_c.h"
#include "platform/error.h"
#include "platform/layout.h"
#include "platform/resume_next.h"
#include "platform/text_file.h"
#include "platform/topmost.h"
#include "platform/vb_convert.h"
#include "platform/window_beside.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using platform::resumeNext;

using platform::twips;

namespace {

// Where MS Sans Serif is missing, a face of about its width: the usual fallback is much
// wider and clips the port names in their box.
QFont sansSerif(int points)
{
    QFont font(QStringLiteral("MS Sans Serif"), points);
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont boldSansSerif(int points)
{
    QFont font = sansSerif(points);
    font.setBold(true);
    return font;
}

QString numbersFilePath()
{
    return platform::mapDriveC(screennumbers::fileName);
}

} // namespace

frmShowAdjust::frmShowAdjust(frmControl &control, QWidget *parent)
    : QWidget(parent, Qt::Window), m_control(control)
{
    createControls();
}

void frmShowAdjust::createControls()
{
    setObjectName(QStringLiteral("frmShowAdjust"));
    setWindowTitle(QStringLiteral(" Orvanta Adjust Display Screen Numbers"));
    setFixedSize(twips(0, 0, 5550, 5595).size());
    setFont(sansSerif(8));

    Label1 = new QLabel(QStringLiteral(" Left        Top      Width"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twips(2280, 0, 2775, 375));

    const QFont controlFont = boldSansSerif(8);
    auto button = [this, &controlFont](QPushButton *&control, const char *name,
                                       const QString &caption, QRect rect,
                                       void (frmShowAdjust::*handler)()) {
        control = new platform::CommandButton(caption, this);
        control->setObjectName(QLatin1String(name));
        control->setFont(controlFont);
        control->setGeometry(rect);
        // Enter presses the focused button as Space does: the operator's keyboard habit.
        control->setAutoDefault(true);
        connect(control, &QPushButton::clicked, this, handler);
    };
    const QFont numberFont = boldSansSerif(12);
    auto box = [this, &numberFont](QLineEdit *&control, const char *name, int left, int top) {
        control = new QLineEdit(QStringLiteral(" "), this);
        control->setObjectName(QLatin1String(name));
        control->setFont(numberFont);
        control->setGeometry(twips(left, top, 735, 495));
    };

    button(cmdScreen1Adjust, "cmdScreen1Adjust", QStringLiteral("Screen 1 Adjust"),
           twips(360, 360, 1455, 615), &frmShowAdjust::cmdScreen1Adjust_Click);
    box(txtScreen1Left, "txtScreen1Left", 2280, 360);
    box(txtScreen1Top, "txtScreen1Top", 3300, 360);
    box(txtScreen1Width, "txtScreen1Width", 4320, 360);

    button(cmdScreen2Adjust, "cmdScreen2Adjust", QStringLiteral("Screen 2  Adjust"),
           twips(360, 1620, 1455, 615), &frmShowAdjust::cmdScreen2Adjust_Click);
    box(txtScreen2Left, "txtScreen2Left", 2280, 1620);
    box(txtScreen2Top, "txtScreen2Top", 3300, 1620);
    box(txtScreen2Width, "txtScreen2Width", 4320, 1620);

    button(cmdScreen3Adjust, "cmdScreen3Adjust", QStringLiteral(" Screen 3   Adjust"),
           twips(360, 2880, 1455, 615), &frmShowAdjust::cmdScreen3Adjust_Click);
    box(txtScreen3Left, "txtScreen3Left", 2280, 2880);
    box(txtScreen3Top, "txtScreen3Top", 3300, 2880);
    box(txtScreen3Width, "txtScreen3Width", 4320, 2880);

    // An editable drop-down: the operator may type a port, which is then checked exactly.
    cmbPort = new QComboBox(this);
    cmbPort->setObjectName(QStringLiteral("cmbPort"));
    // One point smaller: the box leaves the text about 30 px beside its arrow.
    cmbPort->setFont(boldSansSerif(7));
    cmbPort->setEditable(true);
    cmbPort->setInsertPolicy(QComboBox::NoInsert);
    cmbPort->addItems({QStringLiteral("Com1"), QStringLiteral("Com2"), QStringLiteral("Com3"),
                       QStringLiteral("Com4")});
    cmbPort->setGeometry(twips(480, 4440, 855, 315));

    lblPortDevice = new QLabel(this);
    lblPortDevice->setObjectName(QStringLiteral("lblPortDevice"));
    lblPortDevice->setGeometry(twips(1920, 5235, 3495, 315));
    connect(cmbPort, &QComboBox::currentTextChanged, this, &frmShowAdjust::cmbPort_Change);

    lblRemote = new QLabel(this);
    lblRemote->setObjectName(QStringLiteral("lblRemote"));
    lblRemote->setGeometry(twips(120, 5640, 5310, 1800));
    lblRemote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblRemote->setWordWrap(true);
    lblRemote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblRemote->hide();

    button(cmdSetComm, "cmdSetComm", QStringLiteral("Set Comm Port"), twips(480, 4920, 1215, 495),
           &frmShowAdjust::cmdSetComm_Click);
    button(cmdSave, "cmdSave", QStringLiteral("Save Screen Numbers"), twips(1920, 4440, 1695, 735),
           &frmShowAdjust::cmdSave_Click);
    button(cmdLoad, "cmdLoad", QStringLiteral("Load Screen Numbers"), twips(3720, 4440, 1695, 735),
           &frmShowAdjust::cmdLoad_Click);
}

std::array<QLineEdit *, 9> frmShowAdjust::numberBoxes() const
{
    return {txtScreen1Left,  txtScreen1Top,  txtScreen1Width, txtScreen2Left, txtScreen2Top,
            txtScreen2Width, txtScreen3Left, txtScreen3Top,   txtScreen3Width};
}

void frmShowAdjust::showAdjust()
{
    if (!isVisible()) {
        Form_Load();
        platform::placeBeside(this, &m_control);
        show();
        return;
    }
    raise();
    activateWindow();
}

void frmShowAdjust::Form_Load()
{
    resumeNext([&] { platform::makeTopmost(this); });
    resumeNext([&] { cmbPort->setCurrentText(QStringLiteral("Com1")); });
    resumeNext([&] { showPortDevices(); });
    resumeNext([&] { showNetworkRemote(); });
    const frmControl &c = m_control;
    resumeNext([&] { txtScreen1Left->setText(QString::number(c.Screen1Left)); });
    resumeNext([&] { txtScreen1Top->setText(QString::number(c.Screen1Top)); });
    resumeNext([&] { txtScreen1Width->setText(QString::number(c.Screen1Width)); });
    resumeNext([&] { txtScreen2Left->setText(QString::number(c.Screen2Left)); });
    resumeNext([&] { txtScreen2Top->setText(QString::number(c.Screen2Top)); });
    resumeNext([&] { txtScreen2Width->setText(QString::number(c.Screen2Width)); });
    resumeNext([&] { txtScreen3Left->setText(QString::number(c.Screen3Left)); });
    resumeNext([&] { txtScreen3Top->setText(QString::number(c.Screen3Top)); });
    resumeNext([&] { txtScreen3Width->setText(QString::number(c.Screen3Width)); });
}

// Each number on its own: a box that does not read as a 16-bit number keeps the old value.
// The numbers take effect at the screen's next load; a running show is not moved.
void frmShowAdjust::cmdScreen1Adjust_Click()
{
    using platform::toInt16;
    resumeNext([&] { m_control.Screen1Left = toInt16(txtScreen1Left->text()); });
    resumeNext([&] { m_control.Screen1Top = toInt16(txtScreen1Top->text()); });
    resumeNext([&] { m_control.Screen1Width = toInt16(txtScreen1Width->text()); });
}

void frmShowAdjust::cmdScreen2Adjust_Click()
{
    using platform::toInt16;
    resumeNext([&] { m_control.Screen2Left = toInt16(txtScreen2Left->text()); });
    resumeNext([&] { m_control.Screen2Top = toInt16(txtScreen2Top->text()); });
    resumeNext([&] { m_control.Screen2Width = toInt16(txtScreen2Width->text()); });
}

void frmShowAdjust::cmdScreen3Adjust_Click()
{
    using platform::toInt16;
    resumeNext([&] { m_control.Screen3Left = toInt16(txtScreen3Left->text()); });
    resumeNext([&] { m_control.Screen3Top = toInt16(txtScreen3Top->text()); });
    resumeNext([&] { m_control.Screen3Width = toInt16(txtScreen3Width->text()); });
}

// The new file is written beside the old one and replaces it only once complete, so a save
// that fails leaves the old numbers; it then shows no confirmation.
void frmShowAdjust::cmdSave_Click()
{
    QStringList texts;
    for (const QLineEdit *box : numberBoxes()) {
        texts.append(box->text());
    }
    const bool saved = resumeNext(
        [&] { platform::writeAnsiTextFile(numbersFilePath(), screennumbers::line(texts)); });
    if (saved) {
        m_control.showMessage(QStringLiteral("New Screen Numbers Saved"), this);
    }
}

// Fills the boxes only; the operator applies them with the Adjust buttons. A file that is
// missing, unreadable or short is reported and changes no box.
void frmShowAdjust::cmdLoad_Click()
{
    QStringList texts;
    try {
        texts = screennumbers::fields(platform::readAnsiTextFile(numbersFilePath()));
    } catch (const pa::AutomationError &error) {
        m_control.showMessage(platform::errorText(error), this);
        return;
    }
    const std::array<QLineEdit *, 9> boxes = numberBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        boxes[i]->setText(texts.at(static_cast<qsizetype>(i)));
    }
    m_control.showMessage(QStringLiteral("Sucessfully Loaded Screen Numbers"), this);
}

QString frmShowAdjust::portDevice(int port) const
{
    const platform::SerialPort *serial = m_control.MSComm1();
    return serial ? serial->deviceFor(port) : QString();
}

void frmShowAdjust::showPortDevices()
{
    // The settings file may have changed since the window was last open.
    for (int i = 0; i < cmbPort->count(); ++i) {
        const QString device = portDevice(i + 1);
        cmbPort->setItemData(i, device.isEmpty() ? QVariant() : QVariant(device), Qt::ToolTipRole);
    }
    cmbPort_Change();
}

void frmShowAdjust::showNetworkRemote()
{
    remote::RemoteControl *networkRemote = m_control.networkRemote();
    if (!networkRemote) {
        return;
    }
    if (lblRemote->isHidden()) {
        // Taller by the remote's lines, below the serial port's.
        setFixedSize(twips(0, 0, 5550, m_control.followWiring() ? 8760 : 7560).size());
        lblRemote->show();
        if (m_control.followWiring()) {
            m_followPanel = new FollowPanel(m_control, *m_control.followWiring(), this);
            m_followPanel->setGeometry(twips(120, 7500, 5310, 1200));
            m_followPanel->show();
        }
        connect(networkRemote, &remote::RemoteControl::statusChanged, this,
                &frmShowAdjust::showNetworkRemote);
    }
    const QStringList clients = networkRemote->clients();
    lblRemote->setText(
        QStringLiteral("Network remote: %1\nClients: %2\nLog: %3")
            .arg(networkRemote->listening().join(QStringLiteral(", ")),
                 clients.isEmpty() ? QStringLiteral("none") : clients.join(QStringLiteral(", ")),
                 networkRemote->logPath()));
}

void frmShowAdjust::cmbPort_Change()
{
    const int port = screennumbers::portNumber(cmbPort->currentText());
    const QString device = port == 0 ? QString() : portDevice(port);
    const QString text =
        device.isEmpty() ? QString() : cmbPort->currentText() + QStringLiteral(" = ") + device;
    lblPortDevice->setText(text);
    cmbPort->setToolTip(text);
}

void frmShowAdjust::cmdSetComm_Click()
{
    const int port = screennumbers::portNumber(cmbPort->currentText());
    if (port == 0) {
        m_control.showMessage(QStringLiteral("Com Port Error"), this);
        return;
    }
    m_control.reopenPort(port, this);
}

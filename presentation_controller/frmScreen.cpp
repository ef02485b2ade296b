#include "frmScreen.h"

#include "Class1.h"
#include "display_numbers.h"
#include "error_message.h"

#include "platform/command_button.h"
#include "platform/drive_c.h"
#include "platform/error.h"
#include "platform/layout.h"
#include "platform/text_file.h"
#include "platform/topmost.h"
#include "platform/window_beside.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using platform::makeControl;

namespace {

QString openErrorText(std::int16_t number, const QString &fileName)
{
    switch (number) {
    case Class1::errFileNotFound:
        return QStringLiteral("File not found: %1").arg(fileName);
    case Class1::errPermissionDenied:
        return QStringLiteral("Permission denied: %1").arg(fileName);
    case Class1::errPathFileAccess:
        return QStringLiteral("Path/File access error: %1").arg(fileName);
    case Class1::errTooManyFiles:
        return QStringLiteral("Too many files");
    default:
        return QStringLiteral("Bad file name or number: %1").arg(fileName);
    }
}

} // namespace

frmScreen::frmScreen(QString programTitle, std::shared_ptr<platform::MessageBox> messageBox,
                     QWidget *parent)
    : QWidget(parent, Qt::Window), m_programTitle(std::move(programTitle)),
      m_messageBox(std::move(messageBox))
{
    setObjectName(QStringLiteral("frmScreen"));
    setWindowTitle(QStringLiteral("Load Display Attributes"));

    Label1 = makeControl<QLabel>(
        this, "Label1",
        QStringLiteral(
            " Enter the magic numbers for your muli-monitor setup and display resolution. "
            "The default numbers are for side-by-side and 1024 X 768 display resolution."),
        QRect(10, 8, 460, 48));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label2 = makeControl<QLabel>(this, "Label2", QStringLiteral("Left"), QRect(10, 68, 50, 24));
    txtLeft = makeControl<QLineEdit>(this, "txtLeft", QString(), QRect(64, 68, 90, 24));
    Label3 = makeControl<QLabel>(this, "Label3", QStringLiteral("Top"), QRect(10, 100, 50, 24));
    txtTop = makeControl<QLineEdit>(this, "txtTop", QString(), QRect(64, 100, 90, 24));
    Label4 = makeControl<QLabel>(this, "Label4", QStringLiteral("Width"), QRect(10, 132, 50, 24));
    txtWidth = makeControl<QLineEdit>(this, "txtWidth", QString(), QRect(64, 132, 90, 24));

    cmdLoadFile = makeControl<platform::CommandButton>(
        this, "cmdLoadFile", QStringLiteral("Load Saved Magic  Numbers"), QRect(170, 66, 300, 30));
    cmdSaveFile = makeControl<platform::CommandButton>(
        this, "cmdSaveFile", QStringLiteral("      Save Magic          Numbers"),
        QRect(170, 102, 300, 30));
    OKButton = makeControl<platform::CommandButton>(this, "OKButton", QStringLiteral("OK"),
                                                    QRect(170, 150, 140, 30));
    CancelButton = makeControl<platform::CommandButton>(
        this, "CancelButton", QStringLiteral("Cancel"), QRect(330, 150, 140, 30));

    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, txtLeft);
    setTabOrder(txtLeft, txtTop);
    setTabOrder(txtTop, txtWidth);
    setTabOrder(txtWidth, cmdLoadFile);
    setTabOrder(cmdLoadFile, cmdSaveFile);

    setFixedSize(480, 192);
    resetTexts();

    connect(cmdLoadFile, &QPushButton::clicked, this, &frmScreen::cmdLoadFile_Click);
    connect(cmdSaveFile, &QPushButton::clicked, this, &frmScreen::cmdSaveFile_Click);
    connect(OKButton, &QPushButton::clicked, this, &frmScreen::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmScreen::CancelButton_Click);

    // A dialog's keys: Enter presses the focused button, or OK from a box; Esc is Cancel.
    for (QPushButton *button : {cmdLoadFile, cmdSaveFile, OKButton, CancelButton}) {
        button->setAutoDefault(true);
    }
}

void frmScreen::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OKButton->click();
            return;
        case Qt::Key_Escape:
            CancelButton->click();
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

frmScreen::~frmScreen() = default;

void frmScreen::resetTexts()
{
    txtLeft->setText(QString::number(kestro::defaultLeft));
    txtTop->setText(QString::number(kestro::defaultTop));
    txtWidth->setText(QString::number(kestro::defaultWidth));
}

void frmScreen::showWindow()
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    OKButton->setFocus();
    // Kestro's window is topmost: an ordinary window would open behind it on some window
    // managers, and where it would cover Kestro's window it opens beside it.
    platform::makeTopmost(this);
    platform::placeBeside(this, parentWidget());
    show();
    raise();
}

void frmScreen::closeEvent(QCloseEvent *event)
{
    // The numbers stay; the next opening is a fresh window with the built-in texts.
    resetTexts();
    event->accept();
}

void frmScreen::report(const std::exception &error)
{
    m_messageBox->show(this, kestro::errorMessage(error), m_programTitle);
}

void frmScreen::ReadAFile(const QString &strFileName)
{
    const QString fileName = platform::mapDriveC(strFileName);
    Class1 reader;
    reader.setFileName(fileName);
    reader.setNoBlankLines(true);
    reader.setCountOnlyNonBlankLines(false);
    reader.setStripLeadingSpaces(false);
    reader.setStripTrailingSpaces(false);
    reader.setStripNulls(true);
    reader.setOnlyAlphaNumericCharacters(true);
    if (const std::int16_t error = reader.cfOpenFile(); error != 0) {
        throw platform::runtimeError(openErrorText(error, fileName));
    }
    reader.csGetALine();
    const QStringList fields = kestro::displayNumbersFields(reader.Text(), fileName);
    txtLeft->setText(fields.at(0));
    txtTop->setText(fields.at(1));
    txtWidth->setText(fields.at(2));
}

void frmScreen::cmdLoadFile_Click()
{
    try {
        ReadAFile(QStringLiteral("c:\\Kestro"));
    } catch (const std::exception &error) {
        report(error);
    }
}

void frmScreen::cmdSaveFile_Click()
{
    try {
        platform::writeAnsiTextFile(
            platform::mapDriveC(QString::fromLatin1(kestro::displayNumbersPath)),
            kestro::displayNumbersLine(txtLeft->text(), txtTop->text(), txtWidth->text()));
    } catch (const std::exception &error) {
        report(error);
    }
}

void frmScreen::OKButton_Click()
{
    try {
        // All three or none: a box that is no number leaves the confirmed numbers as they were.
        const kestro::DisplayNumbers numbers =
            kestro::toDisplayNumbers(txtLeft->text(), txtTop->text(), txtWidth->text());
        intDisplaySet = 1;
        intLeft = numbers.left;
        intTop = numbers.top;
        intWidth = numbers.width;
    } catch (const std::exception &error) {
        report(error);
        return;
    }
    close();
}

void frmScreen::CancelButton_Click()
{
    close();
}

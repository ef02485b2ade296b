#pragma once

// The display attributes window: the operator types, loads or saves the three display
// numbers and confirms them with OK. The public numbers stay readable after the window is
// closed, for the rest of the run; reopening it shows the built-in texts again.

#include "platform/message_box.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

class frmScreen : public QWidget
{
    Q_OBJECT

public:
    // programTitle captions the window's messages.
    frmScreen(QString programTitle, std::shared_ptr<platform::MessageBox> messageBox,
              QWidget *parent = nullptr);
    ~frmScreen() override;

    // The confirmed numbers, read by the controller.
    std::int16_t intLeft = 0;
    std::int16_t intTop = 0;
    std::int16_t intWidth = 0;
    // Empty until the operator confirms with OK, then 1.
    std::optional<std::int16_t> intDisplaySet;

    // Puts the first three numbers of the file's first non-blank line into the boxes.
    // Throws pa::AutomationError (boxes unchanged) when the file is missing, unreadable or
    // holds fewer than three numbers.
    void ReadAFile(const QString &strFileName);

    // Shows the window modeless (or raises it when already open).
    void showWindow();

public slots:
    void cmdLoadFile_Click();
    void cmdSaveFile_Click();
    void OKButton_Click();
    void CancelButton_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void resetTexts();
    void report(const std::exception &error);

    QString m_programTitle;
    std::shared_ptr<platform::MessageBox> m_messageBox;

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtLeft = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtTop = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *txtWidth = nullptr;
    QPushButton *cmdLoadFile = nullptr;
    QPushButton *cmdSaveFile = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
};

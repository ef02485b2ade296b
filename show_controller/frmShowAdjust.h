#pragma once

// The geometry window: edits, applies, saves and loads the nine placement numbers of the
// main window, and chooses the serial port of the remote.

#include "show_controller/screen_numbers.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class FollowPanel;
class frmControl;

class frmShowAdjust : public QWidget
{
    Q_OBJECT

public:
    explicit frmShowAdjust(frmControl &control, QWidget *parent = nullptr);

    // Loads the window (topmost, boxes from the main window) when it is not open; when it
    // is, only brings it forward and leaves what the operator typed.
    void showAdjust();

public slots:
    void cmdScreen1Adjust_Click();
    void cmdScreen2Adjust_Click();
    void cmdScreen3Adjust_Click();
    void cmdSave_Click();
    void cmdLoad_Click();
    void cmdSetComm_Click();

private slots:
    void cmbPort_Change();

private:
    void createControls();
    void Form_Load();
    // Each port choice tells which device it stands for.
    void showPortDevices();
    void showNetworkRemote();
    QString portDevice(int port) const;
    // Boxes in the order of the file: Screen 1 Left, Top, Width, then Screen 2, Screen 3.
    std::array<QLineEdit *, 9> numberBoxes() const;

    frmControl &m_control;

    QLabel *Label1 = nullptr;
    QPushButton *cmdScreen1Adjust = nullptr;
    QPushButton *cmdScreen2Adjust = nullptr;
    QPushButton *cmdScreen3Adjust = nullptr;
    QLineEdit *txtScreen1Left = nullptr;
    QLineEdit *txtScreen1Top = nullptr;
    QLineEdit *txtScreen1Width = nullptr;
    QLineEdit *txtScreen2Left = nullptr;
    QLineEdit *txtScreen2Top = nullptr;
    QLineEdit *txtScreen2Width = nullptr;
    QLineEdit *txtScreen3Left = nullptr;
    QLineEdit *txtScreen3Top = nullptr;
    QLineEdit *txtScreen3Width = nullptr;
    QComboBox *cmbPort = nullptr;
    QPushButton *cmdSetComm = nullptr;
    QLabel *lblPortDevice = nullptr; // the device the chosen port stands for
    QLabel *lblRemote = nullptr;     // the network remote's addresses and clients
    QPushButton *cmdSave = nullptr;
    QPushButton *cmdLoad = nullptr;
    FollowPanel *m_followPanel = nullptr;
};

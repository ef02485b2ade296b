#pragma once

// The geometry window's part for main and backup: which main this Corvane follows (and its
// token), a button that takes it or re-arms the backup, and how it follows now.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class frmControl;
namespace remote {
class FollowWiring;
}

class FollowPanel : public QWidget
{
    Q_OBJECT

public:
    FollowPanel(frmControl &control, remote::FollowWiring &wiring, QWidget *parent = nullptr);

    // Follow pressed: a new main (or none) is taken and saved; the same main is re-armed.
    void cmdFollow_Click();

private:
    void showStatus();

    frmControl &m_control;
    remote::FollowWiring &m_wiring;
    QLineEdit *txtFollowMain = nullptr;
    QLineEdit *txtFollowToken = nullptr;
    QPushButton *cmdFollow = nullptr;
    QLabel *lblFollow = nullptr;
};

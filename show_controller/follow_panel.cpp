#include "follow_panel.h"

#include "frmControl.h"

#include "remote_control/follow_wiring.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FollowPanel::FollowPanel(frmControl &control, remote::FollowWiring &wiring, QWidget *parent)
    : QWidget(parent), m_control(control), m_wiring(wiring)
{
    setObjectName(QStringLiteral("FollowPanel"));
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    txtFollowMain = new QLineEdit(m_wiring.settings().main, this);
    txtFollowMain->setObjectName(QStringLiteral("txtFollowMain"));
    txtFollowMain->setPlaceholderText(QStringLiteral("main's HOST:PORT, empty: no main"));
    txtFollowToken = new QLineEdit(m_wiring.settings().token, this);
    txtFollowToken->setObjectName(QStringLiteral("txtFollowToken"));
    txtFollowToken->setPlaceholderText(QStringLiteral("its view token"));
    txtFollowToken->setEchoMode(QLineEdit::Password);
    cmdFollow = new QPushButton(QStringLiteral("Follow"), this);
    cmdFollow->setObjectName(QStringLiteral("cmdFollow"));
    lblFollow = new QLabel(this);
    lblFollow->setObjectName(QStringLiteral("lblFollow"));
    lblFollow->setWordWrap(true);
    layout->addWidget(new QLabel(QStringLiteral("Main"), this), 0, 0);
    layout->addWidget(txtFollowMain, 0, 1);
    layout->addWidget(txtFollowToken, 0, 2);
    layout->addWidget(cmdFollow, 0, 3);
    layout->addWidget(lblFollow, 1, 0, 1, 4);
    connect(cmdFollow, &QPushButton::clicked, this, &FollowPanel::cmdFollow_Click);
    connect(&m_wiring, &remote::FollowWiring::changed, this, &FollowPanel::showStatus);
    showStatus();
}

void FollowPanel::cmdFollow_Click()
{
    const remote::FollowSettings wanted{txtFollowMain->text().trimmed(), txtFollowToken->text()};
    const remote::FollowSettings now = m_wiring.settings();
    if (wanted.main == now.main && wanted.token == now.token) {
        // Through the queue, after whatever the operator pressed before.
        m_control.queueRemoteCommand(QStringLiteral("FOLLOW"));
        return;
    }
    m_wiring.setMain(wanted);
    remote::writeFollowSettings(QStringLiteral("Corvane"), wanted);
}

void FollowPanel::showStatus()
{
    lblFollow->setText(m_wiring.statusText());
}

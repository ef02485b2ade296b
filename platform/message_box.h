#pragma once

#include <QString>

class QWidget;

namespace platform {

// A plain message box with an OK button only. Behind an interface so that tests never block.
class MessageBox
{
public:
    virtual ~MessageBox() = default;
    virtual void show(QWidget *parent, const QString &text, const QString &caption) = 0;
};

class QtMessageBox : public MessageBox
{
public:
    void show(QWidget *parent, const QString &text, const QString &caption) override;
};

} // namespace platform

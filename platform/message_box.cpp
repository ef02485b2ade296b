#include "message_box.h"

#include "topmost.h"

#include <QMessageBox>

namespace platform {

void QtMessageBox::show(QWidget *parent, const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    // The controllers stay above full-screen shows; their messages must not hide behind them.
    makeTopmost(&box);
    box.exec();
}

} // namespace platform

#pragma once

// A push button whose caption wraps onto further lines at its blanks when one line is too
// wide, as the original forms' command buttons did ("Save Screen Numbers" on two lines in
// a tall, narrow button). The caption itself stays as given.

#include <QPushButton>
#include <QRect>

namespace platform {

class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    CommandButton(const QString &text, QWidget *parent = nullptr);

    // Where the caption is drawn and how: shared with the check that every caption fits.
    QRect captionArea() const;
    static constexpr int captionFlags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// Whether the control's caption (button, label or drop-down text) shows whole in its font;
// controls without a caption fit. why gets what overflows.
bool captionFits(const QWidget *control, QString *why = nullptr);

} // namespace platform

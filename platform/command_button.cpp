#include "command_button.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace platform {

CommandButton::CommandButton(const QString &text, QWidget *parent) : QPushButton(text, parent) {}

QRect CommandButton::captionArea() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

void CommandButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    int flags = captionFlags;
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this)) {
        flags |= Qt::TextHideMnemonic;
    }
    painter.drawItemText(captionArea(), flags, option.palette, isEnabled(), caption,
                         QPalette::ButtonText);
}

namespace {

bool fitsIn(const QRect &area, int flags, const QString &text, const QFont &font, QString *why)
{
    // Blanks a caption starts or ends with only pad it; they may run past the edge.
    const QRect needed = QFontMetrics(font).boundingRect(area, flags, text.trimmed());
    if (needed.width() <= area.width() && needed.height() <= area.height()) {
        return true;
    }
    if (why) {
        *why = QStringLiteral("\"%1\" needs %2 x %3 px, has %4 x %5")
                   .arg(text)
                   .arg(needed.width())
                   .arg(needed.height())
                   .arg(area.width())
                   .arg(area.height());
    }
    return false;
}

} // namespace

bool captionFits(const QWidget *control, QString *why)
{
    if (auto *button = qobject_cast<const CommandButton *>(control)) {
        return fitsIn(button->captionArea(), CommandButton::captionFlags, button->text(),
                      button->font(), why);
    }
    if (auto *button = qobject_cast<const QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect area =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return fitsIn(area, Qt::AlignCenter | Qt::TextShowMnemonic, button->text(), button->font(),
                      why);
    }
    if (auto *label = qobject_cast<const QLabel *>(control)) {
        if (label->text().isEmpty()) {
            return true;
        }
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        return fitsIn(label->contentsRect(), flags, label->text(), label->font(), why);
    }
    if (auto *combo = qobject_cast<const QComboBox *>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        QRect area = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, combo);
        if (combo->lineEdit()) {
            // The line edit keeps a small margin of its own on each side.
            area.adjust(2, 0, -2, 0);
        }
        for (int i = 0; i < combo->count(); ++i) {
            if (!fitsIn(area, Qt::AlignLeft | Qt::AlignVCenter, combo->itemText(i), combo->font(),
                        why)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace platform

#include "platform/presenter_keys.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace platform {

namespace {

bool editableText(const QWidget *w)
{
    if (const auto *plain = qobject_cast<const QPlainTextEdit *>(w)) {
        return !plain->isReadOnly();
    }
    if (const auto *rich = qobject_cast<const QTextEdit *>(w)) {
        return !rich->isReadOnly();
    }
    return false;
}

// Controls that page with Page Up/Down themselves. A read-only text box is not one of them:
// the script boxes only show text, and a clicker must not die because one was clicked.
bool usesPageKeys(const QWidget *w)
{
    return qobject_cast<const QAbstractSpinBox *>(w) || qobject_cast<const QAbstractSlider *>(w) ||
           qobject_cast<const QAbstractItemView *>(w) || qobject_cast<const QComboBox *>(w) ||
           editableText(w);
}

// Controls that move a cursor or a choice with Left/Right.
bool usesArrowKeys(const QWidget *w)
{
    return qobject_cast<const QLineEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w) ||
           qobject_cast<const QTextEdit *>(w) || usesPageKeys(w);
}

// Controls that take typed letters and punctuation.
bool takesText(const QWidget *w)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(w)) {
        return !line->isReadOnly();
    }
    if (const auto *combo = qobject_cast<const QComboBox *>(w)) {
        return combo->isEditable();
    }
    return qobject_cast<const QAbstractSpinBox *>(w) || editableText(w);
}

class PresenterKeys : public QObject
{
public:
    PresenterKeys(QWidget *window, std::function<void(PresenterStep)> step)
        : QObject(window), m_window(window), m_step(std::move(step))
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        // Seen once, where it is delivered first: at the focused control, or at the window
        // when none of its controls has the focus.
        const QWidget *focus = m_window->focusWidget();
        if (watched != (focus != nullptr ? static_cast<const QObject *>(focus) : m_window)) {
            return false;
        }
        const auto *key = static_cast<QKeyEvent *>(event);
        const auto step = presenterStep(key->key(), key->modifiers(), key->isAutoRepeat(), focus);
        if (!step) {
            return false;
        }
        m_step(*step);
        return true;
    }

private:
    QWidget *m_window;
    std::function<void(PresenterStep)> m_step;
};

} // namespace

std::optional<PresenterStep> presenterStep(int key, Qt::KeyboardModifiers modifiers,
                                           bool autoRepeat, const QWidget *focus)
{
    if ((modifiers & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return std::nullopt;
    }
    std::optional<PresenterStep> step;
    switch (key) {
    case Qt::Key_PageDown:
    case Qt::Key_PageUp:
        if (focus == nullptr || !usesPageKeys(focus)) {
            step = key == Qt::Key_PageDown ? PresenterStep::Next : PresenterStep::Previous;
        }
        break;
    case Qt::Key_Right:
    case Qt::Key_Left:
        if (focus == nullptr || !usesArrowKeys(focus)) {
            step = key == Qt::Key_Right ? PresenterStep::Next : PresenterStep::Previous;
        }
        break;
    case Qt::Key_B:
    case Qt::Key_Period:
    case Qt::Key_W:
    case Qt::Key_Comma:
        if (focus == nullptr || !takesText(focus)) {
            step = key == Qt::Key_B || key == Qt::Key_Period ? PresenterStep::ToggleBlack
                                                             : PresenterStep::ToggleWhite;
        }
        break;
    default:
        break;
    }
    if (step && autoRepeat) {
        return std::nullopt;
    }
    return step;
}

QString presenterQueueText(PresenterStep step)
{
    switch (step) {
    case PresenterStep::Next:
        return QStringLiteral("N");
    case PresenterStep::Previous:
        return QStringLiteral("P");
    case PresenterStep::ToggleBlack:
        return QStringLiteral("TOGGLE BLACK");
    case PresenterStep::ToggleWhite:
        return QStringLiteral("TOGGLE WHITE");
    }
    return {};
}

void installPresenterKeys(QWidget *window, std::function<void(PresenterStep)> step)
{
    auto *filter = new PresenterKeys(window, std::move(step));
    window->installEventFilter(filter);
    for (QWidget *control : window->findChildren<QWidget *>()) {
        // Windows of their own (a dialog owned by this one) keep their keys.
        if (control->window() == window) {
            control->installEventFilter(filter);
        }
    }
}

} // namespace platform

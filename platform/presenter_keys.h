#pragma once

// A presenter clicker is a small USB keyboard: Page Down / Right for the next slide, Page Up /
// Left for the previous one. The shows take no keyboard focus, so these keys reach whichever
// controller window the operator last used; there they press Next or Previous, or blank the
// screens. Keys a
// focused control needs for itself (the cursor keys of a text box, Page Up/Down of a list)
// stay with it.

#include <QString>
#include <QtCore/qnamespace.h>

#include <functional>
#include <optional>

class QWidget;

namespace platform {

enum class PresenterStep
{
    Next,
    Previous,
    // B or "." and W or ",", as in a slide show: black or white screen, and back.
    ToggleBlack,
    ToggleWhite,
};

// What a key press does in a controller window whose focused control is focus (may be null).
// A held key's repeats do nothing: one press, one step.
std::optional<PresenterStep> presenterStep(int key, Qt::KeyboardModifiers modifiers,
                                           bool autoRepeat, const QWidget *focus);

// The queue text of a key's press: "N", "P", "TOGGLE BLACK", "TOGGLE WHITE".
QString presenterQueueText(PresenterStep step);

// Watches the keys of window and of the controls it holds now; step runs from the event loop,
// never inside another handler of the window.
void installPresenterKeys(QWidget *window, std::function<void(PresenterStep)> step);

} // namespace platform

#pragma once

// What Corvane's web remote page shows besides the state: each screen's picture now and
// after the next Next, and the script's lines to jump to.

#include "remote_control/page_pictures.h"

#include <QByteArray>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

namespace corvanepage {

// "screenN/current" is what the screen's show is on; "screenN/next" the slide the next Next
// puts it on, or what it shows now when Next leaves it where it is.
std::vector<remote::PagePicture>
pictures(const std::array<std::shared_ptr<pa::Presentation>, 3> &screens, const QStringList &lines,
         int lineNumber);

// [{"line": k, "text": "..."}, ...]: every line the show walks, k as LINE k takes it, with
// the text the step box shows for it (the line itself where it has no step text).
QByteArray scriptLines(const QStringList &lines);

} // namespace corvanepage

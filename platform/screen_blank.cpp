#include "platform/screen_blank.h"

#include "presentation_automation/automation.h"

#include <QLabel>
#include <QStringList>

#include <algorithm>

namespace platform {

std::optional<BlankCommand> blankCommand(const QString &text, int maxScreen)
{
    const QStringList words = text.trimmed().toUpper().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.size() > 2) {
        return std::nullopt;
    }
    BlankCommand command;
    if (words.first() == QLatin1String("TOGGLE")) {
        if (words.size() != 2) {
            return std::nullopt;
        }
        if (words.at(1) == QLatin1String("BLACK")) {
            command.kind = BlankKind::ToggleBlack;
        } else if (words.at(1) == QLatin1String("WHITE")) {
            command.kind = BlankKind::ToggleWhite;
        } else {
            return std::nullopt;
        }
        return command;
    }
    if (words.first() == QLatin1String("BLACK")) {
        command.kind = BlankKind::Black;
    } else if (words.first() == QLatin1String("WHITE")) {
        command.kind = BlankKind::White;
    } else if (words.first() == QLatin1String("SHOW")) {
        command.kind = BlankKind::Show;
    } else {
        return std::nullopt;
    }
    if (words.size() == 2) {
        bool ok = false;
        command.screen = words.at(1).toInt(&ok);
        if (!ok || command.screen < 1 || command.screen > maxScreen) {
            return std::nullopt;
        }
    }
    return command;
}

std::vector<std::int32_t> blankTargets(BlankKind kind, const std::vector<std::int32_t> &current)
{
    std::int32_t target = pa::ppSlideShowRunning;
    switch (kind) {
    case BlankKind::Black:
        target = pa::ppSlideShowBlackScreen;
        break;
    case BlankKind::White:
        target = pa::ppSlideShowWhiteScreen;
        break;
    case BlankKind::Show:
        break;
    case BlankKind::ToggleBlack:
    case BlankKind::ToggleWhite: {
        const std::int32_t colour = kind == BlankKind::ToggleBlack ? pa::ppSlideShowBlackScreen
                                                                   : pa::ppSlideShowWhiteScreen;
        const bool allInIt = !current.empty() &&
                             std::all_of(current.begin(), current.end(),
                                         [colour](std::int32_t state) { return state == colour; });
        target = allInIt ? pa::ppSlideShowRunning : colour;
        break;
    }
    }
    return std::vector<std::int32_t>(current.size(), target);
}

QString blankName(std::int32_t viewState)
{
    if (viewState == pa::ppSlideShowBlackScreen) {
        return QStringLiteral("black");
    }
    if (viewState == pa::ppSlideShowWhiteScreen) {
        return QStringLiteral("white");
    }
    return QStringLiteral("none");
}

bool isBlanked(std::int32_t viewState)
{
    return viewState == pa::ppSlideShowBlackScreen || viewState == pa::ppSlideShowWhiteScreen;
}

void markPreviewBlank(QLabel *preview, std::int32_t viewState)
{
    if (preview == nullptr) {
        return;
    }
    auto *mark = preview->findChild<QLabel *>(QStringLiteral("blankMark"));
    if (!isBlanked(viewState)) {
        if (mark != nullptr) {
            mark->hide();
        }
        return;
    }
    if (mark == nullptr) {
        mark = new QLabel(preview);
        mark->setObjectName(QStringLiteral("blankMark"));
        mark->setAlignment(Qt::AlignCenter);
        QFont font = mark->font();
        font.setBold(true);
        mark->setFont(font);
    }
    const bool black = viewState == pa::ppSlideShowBlackScreen;
    mark->setText(black ? QStringLiteral("BLACK SCREEN") : QStringLiteral("WHITE SCREEN"));
    // A band across the middle in the blank's colour, framed in red so it reads on any slide.
    mark->setStyleSheet(black ? QStringLiteral("background: black; color: white; "
                                               "border: 3px solid #d00000;")
                              : QStringLiteral("background: white; color: black; "
                                               "border: 3px solid #d00000;"));
    const int height = std::max(preview->height() / 3, 20);
    mark->setGeometry(0, (preview->height() - height) / 2, preview->width(), height);
    mark->show();
    mark->raise();
}

} // namespace platform

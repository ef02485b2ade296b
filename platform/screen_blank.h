#pragma once

// Blanking a show black or white, as the controllers' queues take it: "BLACK", "WHITE",
// "SHOW" for every screen, "BLACK 2" for one, and "TOGGLE BLACK" / "TOGGLE WHITE" from the
// clicker keys, which no remote sends. Values are the view states of the presentation
// interface.

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class QLabel;

namespace platform {

enum class BlankKind
{
    Black,
    White,
    Show,
    ToggleBlack,
    ToggleWhite,
};

struct BlankCommand
{
    BlankKind kind = BlankKind::Show;
    int screen = 0; // 0: every screen
};

// The command in a queue text, when it is one; screens above maxScreen are not.
std::optional<BlankCommand> blankCommand(const QString &text, int maxScreen);

// The view state each screen goes to. A toggle over several screens sets them all alike:
// all shown back when every one of them is already in that colour, else all in it.
std::vector<std::int32_t> blankTargets(BlankKind kind, const std::vector<std::int32_t> &current);

// "black", "white" or "none", as the remotes' state names a screen's blank.
QString blankName(std::int32_t viewState);
bool isBlanked(std::int32_t viewState);

// Marks a preview picture as blanked, plainly, over the slide it keeps showing; a shown screen
// loses the mark.
void markPreviewBlank(QLabel *preview, std::int32_t viewState);

} // namespace platform

#pragma once

// A deck the application could not import with its builds is shown a page per slide; its
// import report then holds one line that says so and why, and the programs that load it tell
// the operator, who would otherwise find out from the first build that does not come.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pa {

inline constexpr std::string_view withoutBuildsPrefix = "shown without its builds";

inline std::optional<std::string> withoutBuildsLine(const std::vector<std::string> &report)
{
    for (const std::string &line : report) {
        if (line.starts_with(withoutBuildsPrefix)) {
            return line;
        }
    }
    return std::nullopt;
}

} // namespace pa

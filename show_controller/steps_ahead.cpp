#include "show_controller/steps_ahead.h"

#include "show_controller/show_script.h"

#include "platform/resume_next.h"
#include "platform/vb_convert.h"

#include <algorithm>
#include <optional>

namespace showscript {

namespace {

std::optional<std::int32_t> slideFor(const QStringList &fields, int screen)
{
    try {
        return platform::toInt32(fieldAt(fields, slideField(screen)));
    } catch (const pa::AutomationError &) {
        return std::nullopt;
    }
}

void add(std::vector<std::int32_t> &slides, std::optional<std::int32_t> slide)
{
    if (slide && std::find(slides.begin(), slides.end(), *slide) == slides.end()) {
        slides.push_back(*slide);
    }
}

} // namespace

std::array<std::optional<std::int32_t>, 3> slidesOnNext(const QStringList &lines, int lineNumber)
{
    std::array<std::optional<std::int32_t>, 3> onNext;
    // Next takes the line before the position and moves only the screens its code names.
    const QStringList next = fieldsOf(lineAt(lines, lineNumber - 1));
    if (const std::optional<int> code = stepCode(next)) {
        for (int screen : screensNamed(*code)) {
            onNext[static_cast<size_t>(screen - 1)] = slideFor(next, screen);
        }
    }
    return onNext;
}

std::array<std::vector<std::int32_t>, 3> slidesAhead(const QStringList &lines, int lineNumber)
{
    std::array<std::vector<std::int32_t>, 3> ahead;
    const auto onNext = slidesOnNext(lines, lineNumber);
    for (size_t i = 0; i < ahead.size(); ++i) {
        add(ahead[i], onNext[i]);
    }
    // Previous restores the line two before that, all three screens, down to the opening line.
    if (lineNumber > 2) {
        const QStringList back = fieldsOf(lineAt(lines, lineNumber - 3));
        if (stepCode(back)) {
            for (int screen = 1; screen <= 3; ++screen) {
                add(ahead[static_cast<size_t>(screen - 1)], slideFor(back, screen));
            }
        }
    }
    return ahead;
}

void prepareSlidesAhead(const std::array<std::shared_ptr<pa::Presentation>, 3> &screens,
                        const QStringList &lines, int lineNumber)
{
    const auto ahead = slidesAhead(lines, lineNumber);
    for (size_t i = 0; i < screens.size(); ++i) {
        if (screens[i]) {
            platform::resumeNext([&] { screens[i]->prepareSlides(ahead[i]); });
        }
    }
}

} // namespace showscript

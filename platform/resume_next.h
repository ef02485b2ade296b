#pragma once

#include <exception>
#include <utility>

namespace platform {

// Runs one statement of a handler whose policy is to skip what fails and go on.
// Returns whether the statement completed.
template<typename Statement>
bool resumeNext(Statement &&statement) noexcept
{
    try {
        std::forward<Statement>(statement)();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace platform

#pragma once

#include <stdexcept>
#include <string>

namespace pa {

// The one error type of the project: what failed (source) and why (description),
// which is all an operator is ever shown ("source description").
class AutomationError : public std::runtime_error
{
public:
    AutomationError(std::string source, std::string description)
        : std::runtime_error(source + " " + description), m_source(std::move(source)),
          m_description(std::move(description))
    {
    }

    const std::string &source() const noexcept { return m_source; }
    const std::string &description() const noexcept { return m_description; }

private:
    std::string m_source;
    std::string m_description;
};

} // namespace pa

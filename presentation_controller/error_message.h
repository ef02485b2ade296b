#pragma once

#include <QString>

#include <exception>

namespace kestro {

// What an error trap shows: "source description" for the project's errors; any other
// exception is reported under the program's name rather than ending the program.
QString errorMessage(const std::exception &error);

} // namespace kestro

#pragma once

// The lines of a step description as an operator reads them, written out independently of
// the code that builds them.

#include <QString>

inline QString d1(const QString &f)
{
    return "Advance Screen 1 to Slide " + f;
}

inline QString d2(const QString &f)
{
    return " Advance Screen 2 to Slide " + f;
}

inline QString d3(const QString &f)
{
    return "Advance Screen 3 to Slide " + f;
}

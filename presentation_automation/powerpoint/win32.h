#pragma once

// The one place that pulls in the Windows headers, with the macros that keep them tame.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#pragma once
// The Windows API for the few platform calls the plug-in makes, without <windows.h>'s min/max
// macros (they break std::min/std::max) and its rarely used parts. Included only under _WIN32.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

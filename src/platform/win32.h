// The Windows headers as every Win32 platform file includes them: lean, without the min/max
// macros, and with Winsock 2 ahead of windows.h (which would otherwise pull in Winsock 1).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

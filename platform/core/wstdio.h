// The C runtime's wide stream calls for WCHAR texts.
//
// _wfopen opens a CE path below the device folder (null when the path leaves
// the device or the file does not open). Text written through fwprintf and
// fputws goes out as UTF-8, "\n" unchanged (the host's text mode).
#pragma once

#include <cstdarg>
#include <cstdio>

#include "platform/core/types.h"

FILE* _wfopen(const WCHAR* filename, const WCHAR* mode);
int fwprintf(FILE* stream, const WCHAR* format, ...);
int vfwprintf(FILE* stream, const WCHAR* format, va_list args);
int fputws(const WCHAR* ws, FILE* stream);

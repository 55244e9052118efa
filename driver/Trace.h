// SPDX-License-Identifier: BSD-2-Clause
// The driver's diagnostic trace. Every handler names what it does in a fixed
// line; the library itself prints nothing. Tests may install a sink to read
// the formatted lines.
#pragma once

#if defined(__GNUC__)
#define QF25_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define QF25_PRINTF_FORMAT
#endif

void Trace(const char* format, ...) QF25_PRINTF_FORMAT;

using TraceSink = void (*)(const char* line);

// Null (the default) discards every line. Returns the sink it replaces.
TraceSink SetTraceSink(TraceSink sink);

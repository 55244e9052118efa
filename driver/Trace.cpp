// SPDX-License-Identifier: BSD-2-Clause
#include "driver/Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<TraceSink> traceSink{nullptr};
constexpr size_t TRACE_LINE_BYTES = 256;
}  // namespace

void Trace(const char* format, ...)
{
    const TraceSink sink = traceSink.load(std::memory_order_acquire);
    if (!sink)
        return;
    char line[TRACE_LINE_BYTES];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    sink(line);
}

TraceSink SetTraceSink(TraceSink sink)
{
    return traceSink.exchange(sink, std::memory_order_acq_rel);
}

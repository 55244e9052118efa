// SPDX-License-Identifier: BSD-2-Clause
#include "Progress.h"

#include <cinttypes>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(200);

}  // namespace

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string FormatDuration(double seconds)
{
    const int64_t total = int64_t(seconds + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%" PRId64 ":%02d:%02d", total / 3600, int(total / 60 % 60), int(total % 60));
    else
        std::snprintf(text, sizeof text, "%d:%02d", int(total / 60), int(total % 60));
    return text;
}

int64_t CappedFrameCount(int64_t known, int64_t limit)
{
    return limit > 0 && (known == 0 || known > limit) ? limit : known;
}

Progress StartProgress(const std::string& label, int64_t expectedFrames, bool quiet)
{
    Progress progress;
    progress.enabled = !quiet && isatty(STDERR_FILENO);
    progress.expectedFrames = expectedFrames;
    progress.label = label;
    progress.started = std::chrono::steady_clock::now();
    return progress;
}

void UpdateProgress(Progress& progress, int64_t framesDone)
{
    if (!progress.enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (progress.drawn && now - progress.lastDrawn < REDRAW_INTERVAL)
        return;
    progress.lastDrawn = now;
    progress.drawn = true;
    const double elapsed = SecondsSince(progress.started);
    const double fps = elapsed > 0 ? double(framesDone) / elapsed : 0.0;
    std::string line = progress.label + (progress.countsFrames ? " frame " : " step ") + std::to_string(framesDone);
    if (progress.expectedFrames > 0)
        line += '/' + std::to_string(progress.expectedFrames);
    if (progress.countsFrames) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "  %.1f fps", fps);
        line += rate;
    }
    if (progress.expectedFrames > framesDone && fps > 0)
        line += "  " + FormatDuration(double(progress.expectedFrames - framesDone) / fps) + " left";
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
}

void EndProgress(Progress& progress)
{
    if (progress.drawn)
        std::fprintf(stderr, "\r\033[K");
    progress.drawn = false;
}

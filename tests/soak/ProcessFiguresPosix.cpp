// SPDX-License-Identifier: BSD-2-Clause
#include "ProcessFigures.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Entries of a /proc directory; the listing's own descriptor is counted
// every time alike.
uint64_t EntriesOf(const char* path)
{
    DIR* directory = opendir(path);
    if (!directory)
        return 0;
    uint64_t count = 0;
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(directory);
    return count;
}

uint64_t ResidentKib()
{
    unsigned long long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    if (std::fscanf(statm, "%llu %llu", &pages, &resident) != 2)
        resident = 0;
    std::fclose(statm);
    return resident * uint64_t(sysconf(_SC_PAGESIZE)) / 1024;
}

}  // namespace

ProcessFigures ReadProcessFigures()
{
    return {ResidentKib(), EntriesOf("/proc/self/fd"), EntriesOf("/proc/self/task")};
}

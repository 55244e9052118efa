// SPDX-License-Identifier: BSD-2-Clause
#include "ToolError.h"

void Fail(const std::string& file, const std::string& problem)
{
    throw ToolError{file.empty() ? problem : file + ": " + problem, EXIT_FAILED};
}

void FailUsage(const std::string& problem)
{
    throw ToolError{problem, EXIT_USAGE};
}

// SPDX-License-Identifier: BSD-2-Clause
// Failures the tool reports: one line naming the file and the problem, plus
// the exit code the command ends with.
#pragma once

#include <string>

enum ExitCode {
    EXIT_OK = 0,
    EXIT_FAILED = 1,         // unreadable, unsupported or unwritable files
    EXIT_USAGE = 2,          // bad command line
    EXIT_DAMAGED = 3,        // finished, but damaged frames were found
    EXIT_INTERRUPTED = 130,  // stopped by Ctrl-C; the output holds what was done
};

struct ToolError {
    std::string message;  // "FILE: problem", without the program name
    int exitCode = EXIT_FAILED;
};

[[noreturn]] void Fail(const std::string& file, const std::string& problem);
[[noreturn]] void FailUsage(const std::string& problem);

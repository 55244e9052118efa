// SPDX-License-Identifier: BSD-2-Clause
// Runs a routine that may raise a processor exception (an invalid opcode on
// a processor without the instruction) and reports whether it completed. The
// guard is per thread; the routine must own no resources, since a fault
// abandons it where it stands.
#pragma once

bool RunGuarded(void (*routine)());

// SPDX-License-Identifier: BSD-2-Clause
// Ctrl-C handling: the first interrupt asks the running command to stop
// reading input and to close its output properly; a second one ends the
// process at once.
#pragma once

void InstallInterruptHandler();
bool Interrupted();

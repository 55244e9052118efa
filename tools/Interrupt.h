// SPDX-License-Identifier: BSD-2-Clause
// Stopping early: the first Ctrl-C, TERM or hang-up (the terminal closed)
// asks the running command to stop reading input and to close its output
// properly; a second one ends the process at once. A reader of our output
// that goes away (a closed pipe) stops the command the same way.
#pragma once

void InstallInterruptHandler();
bool Interrupted();
// The pipe we write to was closed by its reader.
void StopForClosedOutput();
bool OutputClosed();

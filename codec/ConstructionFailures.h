// SPDX-License-Identifier: BSD-2-Clause
// Failure injection for instance construction, so tests can prove that every
// resource a failed construction made is released. Off unless a test arms it.
#pragma once

// Arms the next `count`-th acquisition (1 = the very next) to fail; 0 disarms.
void FailConstructionStep(int count);

// Called before each acquisition: true when this one is to fail.
bool ConstructionShouldFail();

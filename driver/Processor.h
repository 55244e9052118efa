// SPDX-License-Identifier: BSD-2-Clause
// What the processor can execute. The load gate asks whether SSE2 is both
// reported by CPUID and proven by executing one of its instructions, which
// also catches operating systems that have not enabled the SSE state.
#pragma once

#include <cstdint>

#include "platform/CpuFlags.h"

struct ProcessorInfo {
    char vendor[13];      // the twelve CPUID vendor characters and a terminator
    char modelName[30];   // from the table of NameProcessor
    int32_t family;       // signature bits 8..11, or extended family x 16 + 15
    int32_t model;        // signature bits 4..7
    int32_t stepping;     // signature bits 0..3
    uint32_t features;        // CPU_FEATURE_* the processor reports
    uint32_t usableFeatures;  // those whose probe instruction executed
    uint32_t testedFeatures;  // those the query examined: all four
};

struct CpuidResult {
    uint32_t eax, ebx, ecx, edx;
};

// Where the query reads the processor. The hardware by default; tests put
// made-up processors in its place.
struct ProcessorProbes {
    bool (*probeCpuid)();                  // CPUID executes at all
    CpuidResult (*cpuid)(uint32_t leaf);   // one CPUID leaf
    bool (*probeFeature)(uint32_t feature);  // one instruction of the extension executes
};

extern const ProcessorProbes HARDWARE_PROBES;

// Replaces the probes for every later query in the process; null restores
// the hardware. Returns the probes replaced.
const ProcessorProbes* SetProcessorProbes(const ProcessorProbes* probes);

// Returns the reported features; fills `info` when given (null is allowed).
uint32_t QueryProcessor(ProcessorInfo* info);

// The model name for a vendor string (its first twelve characters count),
// family and model; "Unknown" for anything the table does not name.
const char* NameProcessor(int32_t family, int32_t model, const char* vendor);

// The load gate: SSE2 tested, reported and usable.
bool HasUsableSse2();

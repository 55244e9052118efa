// SPDX-License-Identifier: BSD-2-Clause
#include "driver/Processor.h"

#include <atomic>
#include <climits>
#include <cstring>

#include "driver/ProcessorProbes.h"

namespace {

constexpr int32_t ANY = INT32_MIN;  // a family or model row that matches every value
constexpr uint32_t ALL_TESTED = CPU_FEATURE_MMX | CPU_FEATURE_SSE | CPU_FEATURE_SSE2 | CPU_FEATURE_3DNOW;
constexpr uint32_t EXTENDED_LEAVES = 0x80000000u;
constexpr int VENDOR_CHARS = 12;

struct ModelRow {
    const char* vendor;
    int32_t family;
    int32_t firstModel;  // ANY matches every model
    int32_t lastModel;
    const char* name;
};

constexpr ModelRow MODEL_NAMES[] = {
    {"AuthenticAMD", 4, ANY, ANY, "AMD Am486"},
    {"AuthenticAMD", 5, 0, 3, "AMD K5"},
    {"AuthenticAMD", 5, 6, 7, "AMD K6"},
    {"AuthenticAMD", 5, 8, 8, "AMD K6-2"},
    {"AuthenticAMD", 5, 9, 15, "AMD K6-3"},
    {"AuthenticAMD", 6, ANY, ANY, "AMD ATHLON"},
    {"GenuineIntel", 4, 0, 1, "INTEL 486DX"},
    {"GenuineIntel", 4, 2, 2, "INTEL 486SX"},
    {"GenuineIntel", 4, 3, 3, "INTEL 486DX2"},
    {"GenuineIntel", 4, 4, 4, "INTEL 486SL"},
    {"GenuineIntel", 4, 5, 5, "INTEL 486SX2"},
    {"GenuineIntel", 4, 7, 7, "INTEL 486DX2E"},
    {"GenuineIntel", 4, 8, 8, "INTEL 486DX4"},
    {"GenuineIntel", 5, 1, 3, "INTEL Pentium"},
    {"GenuineIntel", 5, 4, 4, "INTEL Pentium-MMX"},
    {"GenuineIntel", 6, 1, 1, "INTEL Pentium-Pro"},
    {"GenuineIntel", 6, 3, 3, "INTEL Pentium-II"},
    {"GenuineIntel", 6, 5, 5, "INTEL Pentium-II"},
    {"GenuineIntel", 6, 6, 6, "INTEL Celeron"},
    {"GenuineIntel", 6, 7, 8, "INTEL Pentium-III"},
    {"GenuineIntel", 6, 10, 10, "INTEL Pentium-III"},
    {"GenuineIntel", 15, 0, 0, "INTEL Pentium-4"},
    {"CyrixInstead", ANY, ANY, ANY, "Cyrix"},
    {"CentaurHauls", ANY, ANY, ANY, "Centaur"},
};

// The extensions in the order they are probed, with where CPUID reports them.
struct FeatureBit {
    uint32_t feature;
    bool extended;  // reported in leaf 0x80000001 rather than leaf 1
    int bit;        // of EDX
};

constexpr FeatureBit FEATURE_BITS[] = {
    {CPU_FEATURE_MMX, false, 23},
    {CPU_FEATURE_3DNOW, true, 31},
    {CPU_FEATURE_SSE, false, 25},
    {CPU_FEATURE_SSE2, false, 26},
};

std::atomic<const ProcessorProbes*> activeProbes{&HARDWARE_PROBES};

bool Matches(int32_t row, int32_t value)
{
    return row == ANY || row == value;
}

bool InModels(const ModelRow& row, int32_t model)
{
    return row.firstModel == ANY || (model >= row.firstModel && model <= row.lastModel);
}

uint32_t Bits(uint32_t value, int first, int count)
{
    return (value >> first) & ((1u << count) - 1);
}

}  // namespace

const ProcessorProbes HARDWARE_PROBES = {ProbeCpuid, ExecuteCpuid, ProbeFeature};

const ProcessorProbes* SetProcessorProbes(const ProcessorProbes* probes)
{
    return activeProbes.exchange(probes ? probes : &HARDWARE_PROBES);
}

const char* NameProcessor(int32_t family, int32_t model, const char* vendor)
{
    for (const ModelRow& row : MODEL_NAMES) {
        if (std::strncmp(vendor, row.vendor, VENDOR_CHARS) == 0 && Matches(row.family, family) &&
            InModels(row, model))
            return row.name;
    }
    return "Unknown";
}

uint32_t QueryProcessor(ProcessorInfo* info)
{
    const ProcessorProbes* probes = activeProbes.load();
    if (!probes->probeCpuid()) {
        if (info)
            *info = ProcessorInfo{};
        return 0;
    }
    const CpuidResult vendorLeaf = probes->cpuid(0);
    const CpuidResult signatureLeaf = probes->cpuid(1);
    const uint32_t extendedEdx =
        probes->cpuid(EXTENDED_LEAVES).eax >= EXTENDED_LEAVES ? probes->cpuid(EXTENDED_LEAVES + 1).edx : 0;

    uint32_t features = 0;
    uint32_t usableFeatures = 0;
    for (const FeatureBit& entry : FEATURE_BITS) {
        const uint32_t edx = entry.extended ? extendedEdx : signatureLeaf.edx;
        if (Bits(edx, entry.bit, 1) == 0)
            continue;
        features |= entry.feature;
        if (probes->probeFeature(entry.feature))
            usableFeatures |= entry.feature;
    }
    if (!info)
        return features;

    *info = ProcessorInfo{};
    info->features = features;
    info->usableFeatures = usableFeatures;
    const uint32_t signature = signatureLeaf.eax;
    const auto baseFamily = int32_t(Bits(signature, 8, 4));
    info->family = baseFamily == 15 ? int32_t(Bits(signature, 20, 8)) * 16 + 15 : baseFamily;
    info->model = int32_t(Bits(signature, 4, 4));
    info->stepping = int32_t(Bits(signature, 0, 4));
    std::memcpy(info->vendor, &vendorLeaf.ebx, 4);
    std::memcpy(info->vendor + 4, &vendorLeaf.edx, 4);
    std::memcpy(info->vendor + 8, &vendorLeaf.ecx, 4);
    std::strcpy(info->modelName, NameProcessor(info->family, info->model, info->vendor));
    info->testedFeatures = ALL_TESTED;
    return features;
}

bool HasUsableSse2()
{
    ProcessorInfo info;
    QueryProcessor(&info);
    return (info.testedFeatures & info.features & info.usableFeatures & CPU_FEATURE_SSE2) != 0;
}

// SPDX-License-Identifier: BSD-2-Clause
// Processor detection: the model-name table, masks and family arithmetic on
// made-up CPUID values, and the exception guard on the real processor.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "driver/ExceptionGuard.h"
#include "driver/Processor.h"
#include "driver/ProcessorProbes.h"

namespace {

TEST(ProcessorNames, FollowTheTable)
{
    const struct {
        const char* vendor;
        int32_t family;
        int32_t model;
        const char* name;
    } cases[] = {
        {"AuthenticAMD", 4, 9, "AMD Am486"},        {"AuthenticAMD", 5, 3, "AMD K5"},
        {"AuthenticAMD", 5, 4, "Unknown"},          {"AuthenticAMD", 5, 5, "Unknown"},
        {"AuthenticAMD", 5, 7, "AMD K6"},           {"AuthenticAMD", 5, 8, "AMD K6-2"},
        {"AuthenticAMD", 5, 15, "AMD K6-3"},        {"AuthenticAMD", 6, 0, "AMD ATHLON"},
        {"AuthenticAMD", 15, 0, "Unknown"},         {"GenuineIntel", 4, 1, "INTEL 486DX"},
        {"GenuineIntel", 4, 6, "Unknown"},          {"GenuineIntel", 4, 8, "INTEL 486DX4"},
        {"GenuineIntel", 5, 0, "Unknown"},          {"GenuineIntel", 5, 2, "INTEL Pentium"},
        {"GenuineIntel", 5, 4, "INTEL Pentium-MMX"}, {"GenuineIntel", 6, 1, "INTEL Pentium-Pro"},
        {"GenuineIntel", 6, 2, "Unknown"},          {"GenuineIntel", 6, 5, "INTEL Pentium-II"},
        {"GenuineIntel", 6, 6, "INTEL Celeron"},    {"GenuineIntel", 6, 8, "INTEL Pentium-III"},
        {"GenuineIntel", 6, 9, "Unknown"},          {"GenuineIntel", 6, 10, "INTEL Pentium-III"},
        {"GenuineIntel", 15, 0, "INTEL Pentium-4"}, {"GenuineIntel", 15, 2, "Unknown"},
        {"GenuineIntel", 31, 0, "Unknown"},         {"CyrixInstead", 99, -3, "Cyrix"},
        {"CentaurHauls", 6, 9, "Centaur"},          {"GenuineIntelX", 6, 6, "INTEL Celeron"},
        {"HygonGenuine", 6, 6, "Unknown"},          {"", 4, 0, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(NameProcessor(c.family, c.model, c.vendor), c.name) << c.vendor << " " << c.family << "/" << c.model;
}

// A made-up processor: leaf values and which probes fault.
struct FakeProcessor {
    bool hasCpuid = true;
    uint32_t signature = 0;
    uint32_t edx = 0;
    uint32_t maxExtendedLeaf = 0;
    uint32_t extendedEdx = 0;
    uint32_t executable = ~0u;
    uint32_t probed = 0;
};
FakeProcessor* fake = nullptr;

bool FakeProbeCpuid()
{
    return fake->hasCpuid;
}

CpuidResult FakeCpuid(uint32_t leaf)
{
    switch (leaf) {
    case 0:
        return {1, 0x756E6547, 0x6C65746E, 0x49656E69};  // "Genu" "ntel" "ineI"
    case 1:
        return {fake->signature, 0, 0, fake->edx};
    case 0x80000000u:
        return {fake->maxExtendedLeaf, 0, 0, 0};
    case 0x80000001u:
        return {0, 0, 0, fake->extendedEdx};
    default:
        return {};
    }
}

bool FakeProbeFeature(uint32_t feature)
{
    fake->probed |= feature;
    return (fake->executable & feature) != 0;
}

class ProcessorQuery : public testing::Test {
protected:
    void SetUp() override
    {
        fake = &processor;
        SetProcessorProbes(&probes);
    }
    void TearDown() override
    {
        SetProcessorProbes(nullptr);
        fake = nullptr;
    }
    FakeProcessor processor;
    const ProcessorProbes probes = {FakeProbeCpuid, FakeCpuid, FakeProbeFeature};
};

constexpr uint32_t MMX_BIT = 1u << 23, SSE_BIT = 1u << 25, SSE2_BIT = 1u << 26, NOW_BIT = 1u << 31;

TEST_F(ProcessorQuery, DerivesTheRecordFromTheSignature)
{
    processor.signature = 0x00000F00 | 0x12 << 20 | 0x0B << 4 | 0x7;  // extended family 0x12, model 11, stepping 7
    processor.edx = MMX_BIT | SSE_BIT | SSE2_BIT;
    ProcessorInfo info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(QueryProcessor(&info), uint32_t(CPU_FEATURE_MMX | CPU_FEATURE_SSE | CPU_FEATURE_SSE2));
    EXPECT_STREQ(info.vendor, "GenuineIntel");
    EXPECT_EQ(info.family, 0x12 * 16 + 15);
    EXPECT_EQ(info.model, 11);
    EXPECT_EQ(info.stepping, 7);
    EXPECT_STREQ(info.modelName, "Unknown");
    EXPECT_EQ(info.usableFeatures, info.features);
    EXPECT_EQ(info.testedFeatures, 15u);
    EXPECT_EQ(QueryProcessor(nullptr), info.features);

    processor.signature = 0x00000F00;  // family 15, extended family 0, model 0
    QueryProcessor(&info);
    EXPECT_EQ(info.family, 15);
    EXPECT_STREQ(info.modelName, "INTEL Pentium-4");
    processor.signature = 0x00100F00;
    QueryProcessor(&info);
    EXPECT_EQ(info.family, 31);
    EXPECT_STREQ(info.modelName, "Unknown");
    processor.signature = 0x000006A0;  // family 6, model 10
    QueryProcessor(&info);
    EXPECT_STREQ(info.modelName, "INTEL Pentium-III");
    EXPECT_TRUE(HasUsableSse2());
}

TEST_F(ProcessorQuery, ProbesOnlyWhatIsReported)
{
    processor.edx = MMX_BIT;
    processor.maxExtendedLeaf = 0x7FFFFFFF;  // no extended leaves: 3DNow! is not looked for
    processor.extendedEdx = NOW_BIT;
    ProcessorInfo info;
    EXPECT_EQ(QueryProcessor(&info), uint32_t(CPU_FEATURE_MMX));
    EXPECT_EQ(processor.probed, uint32_t(CPU_FEATURE_MMX));
    EXPECT_FALSE(HasUsableSse2());

    processor.maxExtendedLeaf = 0x80000001u;
    processor.probed = 0;
    processor.executable = CPU_FEATURE_MMX;  // 3DNow! reported but faulting
    EXPECT_EQ(QueryProcessor(&info), uint32_t(CPU_FEATURE_MMX | CPU_FEATURE_3DNOW));
    EXPECT_EQ(processor.probed, uint32_t(CPU_FEATURE_MMX | CPU_FEATURE_3DNOW));
    EXPECT_EQ(info.usableFeatures, uint32_t(CPU_FEATURE_MMX));
}

TEST_F(ProcessorQuery, GateNeedsSse2ReportedAndExecutable)
{
    processor.edx = MMX_BIT | SSE_BIT | SSE2_BIT;
    processor.executable = CPU_FEATURE_MMX;  // the operating system left the SSE state off
    ProcessorInfo info;
    EXPECT_EQ(QueryProcessor(&info), uint32_t(CPU_FEATURE_MMX | CPU_FEATURE_SSE | CPU_FEATURE_SSE2));
    EXPECT_EQ(info.usableFeatures & CPU_FEATURE_SSE2, 0u);
    EXPECT_FALSE(HasUsableSse2());

    processor.hasCpuid = false;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(QueryProcessor(&info), 0u);
    const ProcessorInfo zero = {};
    EXPECT_EQ(std::memcmp(&info, &zero, sizeof info), 0);
    EXPECT_FALSE(HasUsableSse2());
}

#if defined(__i386__) || defined(__x86_64__)

void ExecuteUd2()
{
    __asm__ volatile("ud2");
}

void ExecuteNothing() {}

TEST(ProcessorProbes, GuardTurnsFaultsIntoFalseOnEveryThread)
{
    EXPECT_FALSE(RunGuarded(ExecuteUd2));
    EXPECT_TRUE(RunGuarded(ExecuteNothing));
    EXPECT_FALSE(RunGuarded(ExecuteUd2));
    bool results[4] = {true, true, true, true};
    std::thread threads[4];
    for (int i = 0; i < 4; ++i)
        threads[i] = std::thread([&results, i] {
            for (int n = 0; n < 50; ++n)
                results[i] = results[i] && !RunGuarded(ExecuteUd2) && RunGuarded(ExecuteNothing);
        });
    for (std::thread& thread : threads)
        thread.join();
    for (bool result : results)
        EXPECT_TRUE(result);
}

TEST(ProcessorProbes, ThisProcessorPassesTheGate)
{
    EXPECT_TRUE(ProbeCpuid());
    EXPECT_TRUE(ProbeFeature(CPU_FEATURE_MMX));
    EXPECT_TRUE(ProbeFeature(CPU_FEATURE_SSE2));
    EXPECT_TRUE(ProbeFeature(0x100));  // not an extension: nothing to execute
    ProcessorInfo info;
    const uint32_t features = QueryProcessor(&info);
    EXPECT_NE(features & CPU_FEATURE_SSE2, 0u);
    EXPECT_EQ(info.usableFeatures & CPU_FEATURE_SSE2, uint32_t(CPU_FEATURE_SSE2));
    EXPECT_EQ(std::strlen(info.vendor), 12u);
    EXPECT_TRUE(HasUsableSse2());
}

#endif

}  // namespace

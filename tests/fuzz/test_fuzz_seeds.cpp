// Every fuzz harness run over its seeds as a plain test: the harnesses' own checks (a refusal
// says why, what is read back equals what was written) hold for real-shaped files, and the
// harnesses keep building with the compiler the tests use.

#include "fuzz/FuzzSeeds.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#define BW_FUZZ_ENTRY(name) extern "C" int fuzzEntry_##name(const std::uint8_t* data, std::size_t size);
BW_FUZZ_ENTRY(pe)
BW_FUZZ_ENTRY(ne)
BW_FUZZ_ENTRY(iconfile)
BW_FUZZ_ENTRY(dib)
BW_FUZZ_ENTRY(bmp)
BW_FUZZ_ENTRY(settings)
BW_FUZZ_ENTRY(file)
BW_FUZZ_ENTRY(ani)
BW_FUZZ_ENTRY(icns)

TEST(FuzzSeeds, EveryHarnessTakesItsSeeds)
{
    // The file harness writes its inputs below $TMPDIR.
    QTemporaryDir scratch;
    qputenv("TMPDIR", scratch.path().toLocal8Bit());
    const std::map<std::string, int (*)(const std::uint8_t*, std::size_t)> entries
        = {{"pe", fuzzEntry_pe},     {"ne", fuzzEntry_ne},   {"iconfile", fuzzEntry_iconfile},
           {"dib", fuzzEntry_dib},   {"bmp", fuzzEntry_bmp}, {"settings", fuzzEntry_settings},
           {"file", fuzzEntry_file}, {"ani", fuzzEntry_ani}, {"icns", fuzzEntry_icns}};
    std::map<std::string, int> seeds;
    makeFuzzSeeds([&](const char* harness, const fixtures::Bytes& bytes) {
        ASSERT_EQ(entries.count(harness), 1u) << harness;
        EXPECT_EQ(entries.at(harness)(bytes.data(), bytes.size()), 0) << harness;
        ++seeds[harness];
    });
    for (const auto& [harness, entry] : entries)
        EXPECT_GE(seeds[harness], 1) << harness;
}

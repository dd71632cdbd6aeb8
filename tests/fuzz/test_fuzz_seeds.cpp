// Every fuzz harness run over its seeds and over the files of past findings as a plain test: the
// harnesses' own checks (a refusal says why, what is read back equals what was written) hold for
// real-shaped and hostile files, and the harnesses keep building with the compiler the tests use.

#include "fuzz/FuzzSeeds.h"
#include "support/TestUtil.h"

#include <QDir>
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

namespace {

const std::map<std::string, int (*)(const std::uint8_t*, std::size_t)> entries
    = {{"pe", fuzzEntry_pe},     {"ne", fuzzEntry_ne},   {"iconfile", fuzzEntry_iconfile},
       {"dib", fuzzEntry_dib},   {"bmp", fuzzEntry_bmp}, {"settings", fuzzEntry_settings},
       {"file", fuzzEntry_file}, {"ani", fuzzEntry_ani}, {"icns", fuzzEntry_icns}};

} // namespace

TEST(FuzzSeeds, EveryHarnessTakesItsSeeds)
{
    // The file harness writes its inputs below $TMPDIR.
    QTemporaryDir scratch;
    qputenv("TMPDIR", scratch.path().toLocal8Bit());
    std::map<std::string, int> seeds;
    makeFuzzSeeds([&](const char* harness, const fixtures::Bytes& bytes) {
        ASSERT_EQ(entries.count(harness), 1u) << harness;
        EXPECT_EQ(entries.at(harness)(bytes.data(), bytes.size()), 0) << harness;
        ++seeds[harness];
    });
    for (const auto& [harness, entry] : entries)
        EXPECT_GE(seeds[harness], 1) << harness;
}

// tests/data/regressions holds a file per past finding, named "<harness>-<what it found>.bin".
TEST(FuzzSeeds, EveryPastFindingRunsThroughItsHarness)
{
    QTemporaryDir scratch;
    qputenv("TMPDIR", scratch.path().toLocal8Bit());
    const QStringList files = QDir(QStringLiteral(BW_REGRESSIONS_DIR)).entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        const auto entry = entries.find(name.section(QLatin1Char('-'), 0, 0).toStdString());
        ASSERT_NE(entry, entries.end()) << name.toStdString();
        const fixtures::Bytes bytes = testutil::readFile(std::string(BW_REGRESSIONS_DIR "/") + name.toStdString());
        EXPECT_EQ(entry->second(bytes.data(), bytes.size()), 0) << name.toStdString();
    }
}

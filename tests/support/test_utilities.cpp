// Small routines every part of the program uses: texts of times and numbers, window placement,
// program directories, wildcard masks.

#include "support/Funky.h"
#include "support/Names.h"
#include "support/Pacer.h"
#include "support/Wildcard.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bw;

TEST(ElapsedText, ClockTexts)
{
    EXPECT_EQ(ElapsedText(0), "00:00:00");
    EXPECT_EQ(ElapsedText(3725.4), "01:02:05");
    EXPECT_EQ(ElapsedText(59.5), "00:01:00"); // half to even: 60
    EXPECT_EQ(ElapsedText(0.5), "00:00:00");  // half to even: 0
    EXPECT_EQ(ElapsedText(1.5), "00:00:02");
    EXPECT_EQ(ElapsedText(86399), "23:59:59");
    EXPECT_EQ(ElapsedText(90000), "25:00:00"); // a run of more than a day keeps counting hours
}

TEST(PathText, NamesShownAsTheCommandLineToolWritesThem)
{
    const struct {
        std::string bytes, shown;
    } cases[] = {
        {"/Bilder/Größe ä€.ico", "/Bilder/Größe ä€.ico"}, // valid UTF-8 stays
        {"zeile\nzwei.ico", "\"zeile\\nzwei.ico\""},
        {"tab\tx\x7f", "\"tab\\tx\\177\""},
        {"nur\ttab.ico", "\"nur\\ttab.ico\""}, // one special byte alone is enough
        {"back\\slash.ico", "\"back\\\\slash.ico\""},
        {"b\344r.ico", "\"b\\344r.ico\""},                                      // Latin-1 "ä"
        {"\xc3 \xc0\xaf \xed\xa0\x80", "\"\\303 \\300\\257 \\355\\240\\200\""}, // cut, overlong, surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(pathText(c.bytes), QString::fromStdString(c.shown)) << c.bytes;
    // The command-line tool quotes the same way but hands other bytes on as they are.
    EXPECT_EQ(quotedName("b\344r\n", NonUtf8::Keep), "\"b\344r\\n\"");
    const struct {
        std::string bytes;
        bool plain;
    } keep[] = {{"", true}, {"b\344r \xff.ico", true}, {"a\"b", false}, {"a\\b", false}, {"\x7f", false}, {"x\x1f", false}};
    for (const auto& c : keep)
        EXPECT_EQ(isPlainName(c.bytes, NonUtf8::Keep), c.plain) << c.bytes;
}

TEST(RoundToText, DecimalCommaAndRounding)
{
    EXPECT_EQ(RoundToText(3.14159, 2), "3,14");
    EXPECT_EQ(RoundToText(2.6, 0), "3,0");
    EXPECT_EQ(RoundToText(-1.25, 1), "1,3");
    EXPECT_EQ(RoundToText(0, 1), "0,0");
    EXPECT_EQ(RoundToText(0.5, 0), "1");
    EXPECT_EQ(RoundToText(99.94, 1), "99,9");
    EXPECT_EQ(RoundToText(99.96, 1), "100,0");
    EXPECT_EQ(RoundToText(5, 1), "5,0"); // 5.05: cut, not rounded again
}

TEST(RepeatText, Counts)
{
    EXPECT_EQ(RepeatText(3, QStringLiteral("0")), "000");
    EXPECT_EQ(RepeatText(0, QStringLiteral("0")), "");
    EXPECT_EQ(RepeatText(-2, QStringLiteral("0")), "");
}

TEST(CenterForm, OverOwnerAndScreen)
{
    EXPECT_EQ(centeredPosition({382, 491}, {640, 481}, {300, 200}, 0, 0), QPoint(552, 631));
    // Larger than the owner: left of and above it, truncated toward zero, never clamped.
    EXPECT_EQ(centeredPosition({0, 0}, {100, 100}, {301, 203}, 0, 0), QPoint(-100, -51));
    EXPECT_EQ(centeredPosition({0, 0}, {1024, 768}, {640, 481}, 5, -5), QPoint(197, 138));
}

TEST(InitPaths, SubdirectoriesOrProgramDirectory)
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    InitPaths(base + "/bildwiesel");
    EXPECT_EQ(programPaths().programDirectory, base + "/");
    EXPECT_EQ(programPaths().dataDirectory, base + "/");
    EXPECT_EQ(programPaths().musicDirectory, base + "/");
    QDir(dir.path()).mkdir(QStringLiteral("daten"));
    QDir(dir.path()).mkdir(QStringLiteral("musik"));
    InitPaths(base + "/bildwiesel");
    EXPECT_EQ(programPaths().dataDirectory, base + "/daten/");
    EXPECT_EQ(programPaths().musicDirectory, base + "/musik/");
}

TEST(Wildcard, MasksWithoutRegardToCase)
{
    EXPECT_TRUE(matchesWildcard("ICON.ICO", "*.ico"));
    EXPECT_TRUE(matchesWildcard("a.ico", "?.ico"));
    EXPECT_FALSE(matchesWildcard("ab.ico", "?.ico"));
    EXPECT_FALSE(matchesWildcard("icons.ico.bak", "*.ico"));
    EXPECT_TRUE(matchesWildcard("icons.ico.bak", "*.ico*"));
    EXPECT_TRUE(matchesWildcard(".ico", "*.ico"));
    EXPECT_FALSE(matchesWildcard("a[b].ico", "a?.ico"));
    EXPECT_TRUE(matchesWildcard("a[b].ico", "a[b].ico")); // brackets are plain characters
    EXPECT_TRUE(matchesAnyWildcard("SHELL32.DLL", "*.ico;*.dll;*.exe"));
    EXPECT_FALSE(matchesAnyWildcard("readme.txt", "*.ico;*.dll;*.exe"));
    // Many stars against a long name must not take exponential time.
    EXPECT_FALSE(matchesWildcard(std::string(5000, 'a'), "*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(Pacer, PumpsAtMostEveryTwentyMilliseconds)
{
    bw::Pacer pacer;
    int shown = 0;
    EXPECT_TRUE(pacer.pump([&] { ++shown; })); // the first pump is never skipped
    const std::int64_t start = bw::tickCount();
    int pumps = 0;
    while (bw::tickCount() - start < 70)
        pumps += pacer.pump([&] { ++shown; }) ? 1 : 0;
    EXPECT_GE(pumps, 2);
    EXPECT_LE(pumps, 4);
    EXPECT_EQ(shown, pumps + 1);
}

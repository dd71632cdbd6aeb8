// The settings file: ten lines, read until the first line that is not a number.

#include "settings/SettingsFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using namespace bw;

TEST(SettingsFile, TenLinesWithCrLf)
{
    Settings s;
    s.backgroundColour = 0x8000000F;
    s.readDirectory = "/home/anna/Bilder/";
    s.copyDirectory = "/tmp/kopien/";
    s.autoRead = false;
    s.fileTypes = {true, false, true, true, true, false};
    EXPECT_EQ(formatSettings(s), QByteArray("-2147483633\r\n/home/anna/Bilder/\r\n/tmp/kopien/\r\n0\r\n1\r\n0\r\n1\r\n1\r\n1\r\n0\r\n"));
    const LoadedSettings back = parseSettings(formatSettings(s));
    EXPECT_FALSE(back.error);
    EXPECT_EQ(back.backgroundColour, 0x8000000Fu);
    EXPECT_EQ(back.readDirectory, s.readDirectory);
    EXPECT_EQ(back.copyDirectory, s.copyDirectory);
    EXPECT_EQ(back.autoRead, false);
    for (std::size_t t = 0; t < kOldFileTypeCount; ++t)
        EXPECT_EQ(back.fileTypes[t], s.fileTypes[t]) << t;
}

TEST(SettingsFile, ReadingStopsAtTheFirstBadNumber)
{
    LoadedSettings l = parseSettings("abc\r\n/a/\r\n/b/\r\n1\r\n");
    ASSERT_TRUE(l.error);
    EXPECT_EQ(*l.error, QStringLiteral("'abc' ist kein gültiger Integerwert"));
    EXPECT_FALSE(l.backgroundColour);
    EXPECT_FALSE(l.readDirectory);

    l = parseSettings("255\r\n/a/\r\n/b/\r\n1\r\n1\r\nja\r\n1\r\n");
    EXPECT_EQ(*l.error, QStringLiteral("'ja' ist kein gültiger Integerwert"));
    EXPECT_EQ(l.backgroundColour, 255u);
    EXPECT_EQ(l.readDirectory, "/a/");
    EXPECT_EQ(l.autoRead, true);
    EXPECT_EQ(l.fileTypes[0], true);
    EXPECT_FALSE(l.fileTypes[1]);

    // Missing lines read as empty text: the directories are empty, line 4 is not a number.
    l = parseSettings("16777214\n");
    EXPECT_EQ(l.backgroundColour, 16777214u);
    EXPECT_EQ(l.readDirectory, "");
    EXPECT_EQ(*l.error, QStringLiteral("'' ist kein gültiger Integerwert"));

    // Extra lines are ignored; LF alone is accepted too.
    l = parseSettings("0\n/\n/\n1\n1\n1\n1\n1\n1\n1\nmehr\nnoch mehr\n");
    EXPECT_FALSE(l.error);
    EXPECT_EQ(l.fileTypes[5], true);

    EXPECT_EQ(parseSettingsInteger(" -12"), -12);
    EXPECT_FALSE(parseSettingsInteger("12 "));
    EXPECT_FALSE(parseSettingsInteger("2147483648"));
    EXPECT_EQ(parseSettingsInteger("-2147483648"), INT32_MIN);
}

TEST(SettingsFile, SavedAtomicallyAndFailuresReported)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/bwsave.kwb";
    Settings s;
    s.readDirectory = "/r/";
    ASSERT_TRUE(saveSettingsFile(path, s));
    s.readDirectory = "/neu/";
    ASSERT_TRUE(saveSettingsFile(path, s));
    EXPECT_EQ(loadSettingsFile(path).readDirectory, "/neu/");
    EXPECT_FALSE(saveSettingsFile(dir.path().toStdString() + "/fehlt/bwsave.kwb", s));
    // A file that cannot be read reads as empty lines.
    EXPECT_TRUE(loadSettingsFile(dir.path().toStdString() + "/gibtsnicht").error);
}

TEST(SettingsFile, DirectoryWithALineBreakIsWrittenAsAnEmptyLine)
{
    Settings s;
    s.backgroundColour = 255;
    s.readDirectory = "/a\nb/";
    s.copyDirectory = "/kopie\r/";
    s.autoRead = false;
    s.fileTypes = {true, false, true, false, true, false};
    const QByteArray text = formatSettings(s);
    EXPECT_EQ(text.count("\r\n"), 10);
    const LoadedSettings back = parseSettings(text);
    EXPECT_EQ(back.readDirectory, "");
    EXPECT_EQ(back.copyDirectory, "");
    EXPECT_EQ(back.autoRead, false);
    EXPECT_EQ(back.fileTypes[4], true);
    EXPECT_EQ(back.fileTypes[5], false);
    EXPECT_FALSE(back.error);
}

TEST(SettingsFile, StaleTemporariesOfAKilledSaveAreRemoved)
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/";
    const auto make = [&](const std::string& name, bool old) {
        QFile f(QString::fromStdString(base + name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
        if (old)
            std::filesystem::last_write_time(base + name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    };
    make("bwsave.kwb.a1B2c3", true);  // left by a killed save of an older version
    make(".bwsave.kwb.q7R8s9", true); // left by a killed save
    make(".bildwiesel.conf.k3L4m5", true);
    make("bwsave.kwb.Zz9yY8", false); // another instance may be saving right now
    make("bwsave.kwb.alt", true);     // not the temporary pattern
    make("bwsave.kwb", true);
    make("andere.kwb.a1B2c3", true);
    removeStaleSettingsTemporaries(base);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(base + "bwsave.kwb.a1B2c3")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(base + ".bwsave.kwb.q7R8s9")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(base + ".bildwiesel.conf.k3L4m5")));
    for (const char* kept : {"bwsave.kwb.Zz9yY8", "bwsave.kwb.alt", "bwsave.kwb", "andere.kwb.a1B2c3"})
        EXPECT_TRUE(QFile::exists(QString::fromStdString(base + kept))) << kept;
}

TEST(SettingsFile, ExtraSettingsSkipWhatTheyDoNotKnow)
{
    const std::pair<const char*, ExportFormat> cases[]
        = {{"", ExportFormat::Icon},
           {"copyformat=png\n", ExportFormat::Png},
           {" copyformat = original \r\n", ExportFormat::Original},
           // A newer program's keys and values, broken lines: skipped, the rest still counts.
           {"zoom=3\ncopyformat=webp\n", ExportFormat::Icon},
           {"kaputt\n\x01=\ncopyformat=png\n=original\n", ExportFormat::Png}};
    for (const auto& [content, format] : cases)
        EXPECT_EQ(parseExtraSettings(content).copyFormat, format) << content;
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/" + kExtraSettingsFileName;
    EXPECT_EQ(loadExtraSettingsFile(path).copyFormat, ExportFormat::Icon); // missing: the defaults
    for (ExportFormat f : {ExportFormat::Png, ExportFormat::Original, ExportFormat::Icon}) {
        ASSERT_TRUE(saveExtraSettingsFile(path, {f}));
        EXPECT_EQ(loadExtraSettingsFile(path).copyFormat, f);
    }
}

TEST(SettingsFile, MarksOfTheLaterTypesLiveBesideTheTenLines)
{
    // "*.ani" ... "*.drv" in list order: a type not named, or named with a value but 0 or 1, is checked.
    const std::pair<const char*, std::array<bool, kLaterFileTypeCount>> cases[] = {
        {"", {1, 1, 1, 1, 1, 1, 1}}, {"filetype.ani=0\n filetype.drv = 0 \r\nfiletype.icns=nein\nfiletype.ico=0\n", {0, 1, 1, 1, 1, 1, 0}}};
    for (const auto& [content, marks] : cases)
        EXPECT_EQ(parseExtraSettings(content).laterFileTypes, marks) << content;
    const ExtraSettings stored {ExportFormat::Png, {false, true, false, true, true, false, true}};
    EXPECT_EQ(parseExtraSettings(formatExtraSettings(stored)).laterFileTypes, stored.laterFileTypes);
}

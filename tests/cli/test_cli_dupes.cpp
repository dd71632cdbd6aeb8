// bildwiesel-cli dupes: the duplicate finder from a script.

#include "settings/SettingsFile.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

using namespace testutil;

namespace {

struct DupesRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class CliDupes : public ::testing::Test {
protected:
    QTemporaryDir tree;
    QTemporaryDir config;

    std::string path(const char* name) const { return tree.path().toStdString() + "/" + name; }

    DupesRun dupes(const QStringList& options)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BW_CLI_PATH), QStringList {QStringLiteral("dupes"), tree.path()} + options);
        process.waitForFinished(60000);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }
};

} // namespace

TEST_F(CliDupes, ListsDefectsAndDuplicatesOfIconAndCursorFiles)
{
    writeFile(path("a.ico"), solidIcon(qRgb(255, 0, 0)));
    writeFile(path("b.ico"), solidIcon(qRgb(255, 0, 0), 8));
    writeFile(path("c.ico"), {0, 0, 1, 0});
    writeFile(path("d.cur"), fixtures::iconFile({fixtures::dibImage(solid(qRgb(255, 0, 0)), 24)}, 2));
    writeFile(path("e.dll"), libraryWithIcons(2, false, qRgb(255, 0, 0))); // not read
    const QString dir = tree.path() + QLatin1Char('/');
    const DupesRun r = dupes({});
    EXPECT_EQ(r.exitCode, 0);
    // c.ico is reported when captured and again at its own turn, after entry 1 found d.cur.
    EXPECT_EQ(r.out,
              "DOPPELT: 2 -> " + dir + "b.ico\n  DEFEKT: " + dir + "c.ico\nDOPPELT: 4 -> " + dir + "d.cur\n  DEFEKT: " + dir + "c.ico\n");
    EXPECT_EQ(r.err, QStringLiteral("2 doppelte Icons gefunden.\n"));

    const DupesRun none = dupes({QStringLiteral("--threshold"), QStringLiteral("0")});
    EXPECT_EQ(none.out, "  DEFEKT: " + dir + "c.ico\n  DEFEKT: " + dir + "c.ico\n");
    EXPECT_EQ(none.err, QStringLiteral("0 doppelte Icons gefunden.\n"));
}

TEST_F(CliDupes, BackgroundFromTheOptionOrTheSettingsFile)
{
    // A transparent icon looks like a green one only over green.
    writeFile(path("a.ico"), fixtures::iconFile({fixtures::dibImage(solid(qRgba(0, 0, 0, 0)), 32)}));
    writeFile(path("b.ico"), solidIcon(qRgb(0, 255, 0)));
    EXPECT_EQ(dupes({}).err, QStringLiteral("0 doppelte Icons gefunden.\n"));
    EXPECT_EQ(dupes({QStringLiteral("--background"), QStringLiteral("#00FF00")}).err, QStringLiteral("1 doppelte Icons gefunden.\n"));
    EXPECT_EQ(dupes({QStringLiteral("--background"), QStringLiteral("65280")}).err, QStringLiteral("1 doppelte Icons gefunden.\n"));

    bw::Settings settings;
    settings.backgroundColour = 0x0000FF00; // green, red in the low byte
    QDir(config.path()).mkpath(QStringLiteral("bildwiesel"));
    ASSERT_TRUE(bw::saveSettingsFile(config.path().toStdString() + "/bildwiesel/" + bw::kSettingsFileName, settings));
    EXPECT_EQ(dupes({}).err, QStringLiteral("1 doppelte Icons gefunden.\n"));
}

TEST_F(CliDupes, WrongUsage)
{
    for (const QStringList& options :
         {QStringList {QStringLiteral("--threshold"), QStringLiteral("1025")},
          QStringList {QStringLiteral("--threshold"), QStringLiteral("-1")}, QStringList {QStringLiteral("--threshold")},
          QStringList {QStringLiteral("--background"), QStringLiteral("rot")},
          QStringList {QStringLiteral("--background"), QStringLiteral("#12345")},
          QStringList {QStringLiteral("--farbe"), QStringLiteral("1")}})
        EXPECT_EQ(dupes(options).exitCode, 2) << options.join(QLatin1Char(' ')).toStdString();
}

// Sounds through SDL's "disk" audio driver, which writes what it plays into a file.

#include "gui/support/Sound.h"
#include "support/FixtureWriter.h"
#include "support/Funky.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

// A mono 16-bit WAV whose samples count upwards in steps of `step`, so they can be found in the
// output.
QByteArray makeWav(int samples, int step = 37)
{
    // The 44-byte header of a RIFF "WAVE" file of 16-bit mono at 22050 Hz, then the samples.
    const auto size = static_cast<std::uint32_t>(2 * samples);
    fixtures::Bytes wav(44, 0);
    std::copy_n("RIFF----WAVEfmt ", 16, wav.begin());
    std::copy_n("data", 4, wav.begin() + 36);
    for (const auto& [at, v] : {std::pair {4u, 36 + size}, {16u, 16u}, {24u, 22050u}, {28u, 44100u}, {40u, size}})
        fixtures::set32(wav, at, v);
    for (const auto& [at, v] : {std::pair {20u, 1u}, {22u, 1u}, {32u, 2u}, {34u, 16u}})
        fixtures::set16(wav, at, v);
    for (int i = 0; i < samples; ++i)
        fixtures::set16(wav, wav.size(), static_cast<unsigned>((i * step) % 30000 + 1));
    return {reinterpret_cast<const char*>(wav.data()), static_cast<qsizetype>(wav.size())};
}

class Sound : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString output;
    QByteArray pcm;
    QByteArray longPcm, pingPcm; // "Lang" and "ping", 0.5 s each

    void SetUp() override
    {
        QDir(dir.path()).mkdir(QStringLiteral("musik"));
        pcm = writeSound("Fertig", makeWav(4410)); // 0.2 s
        longPcm = writeSound("Lang", makeWav(11025));
        pingPcm = writeSound("ping", makeWav(11025, 53));
        bw::InitPaths(dir.path().toStdString() + "/bildwiesel");
        output = dir.path() + QStringLiteral("/played.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", output.toLocal8Bit());
    }
    void TearDown() override { bw::stopSound(); }

    QByteArray writeSound(const char* name, const QByteArray& wav)
    {
        QFile f(dir.path() + QStringLiteral("/musik/") + QLatin1String(name) + QStringLiteral(".wav"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(wav);
        return wav.mid(44);
    }
    // What the device wrote, once the sound playing has ended; closes the device.
    QByteArray played() const
    {
        for (int i = 0; i < 400 && bw::soundPlaying(); ++i)
            QThread::msleep(10);
        QThread::msleep(100); // the device's last buffer
        bw::stopSound();
        QFile f(output);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

TEST_F(Sound, SynchronousReturnsWhenEverySampleWasPlayed)
{
    bw::PlayWav(QStringLiteral("fertig"), 1); // the name matches Fertig.wav
    EXPECT_FALSE(bw::soundPlaying());
    EXPECT_TRUE(played().contains(pcm));
}

TEST_F(Sound, AsynchronousReturnsAtOnceAndPlaysOn)
{
    bw::PlayWav(QStringLiteral("FERTIG"), 0);
    EXPECT_TRUE(bw::soundPlaying());
    EXPECT_TRUE(played().contains(pcm));
}

TEST_F(Sound, MissingFileIsSilentAndUnknownModeIsReported)
{
    testutil::ScriptedDialogs dialogs;
    bw::PlayWav(QStringLiteral("gibtsnicht"), 1);
    EXPECT_TRUE(dialogs.shown.isEmpty());
    bw::PlayWav(QStringLiteral("fertig"), 7);
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("ID Nummer für Wav nicht bekannt !"));
}

// Requests in mode 0 60 ms apart: the same sound asked for again goes on to its end, another one
// takes over at once. {requests, beginnings of "Lang" and of "ping" heard, "Lang" (else "ping") whole}
TEST_F(Sound, AskedForAgainWhilePlayingTheSoundGoesOnAnotherTakesOver)
{
    const std::tuple<QStringList, int, int, bool> cases[]
        = {{{"Lang", "lang", "LANG"}, 1, 0, true}, {{"Lang", "ping"}, 1, 1, false}, {{"Lang", "ping", "Lang", "Lang"}, 2, 1, true}};
    for (const auto& [requests, langStarts, pingStarts, langWhole] : cases) {
        for (const QString& name : requests) {
            bw::PlayWav(name, 0);
            QThread::msleep(60);
        }
        const QByteArray out = played();
        EXPECT_EQ(out.count(longPcm.left(64)), langStarts) << requests.join(' ').toStdString();
        EXPECT_EQ(out.count(pingPcm.left(64)), pingStarts);
        EXPECT_EQ(out.contains(longPcm), langWhole);
        EXPECT_EQ(out.contains(pingPcm), !langWhole);
    }
}

// Sounds through SDL's "disk" audio driver, which writes what it plays into a file.

#include "support/ScriptedDialogs.h"

#include "support/Funky.h"
#include "support/Sound.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>

namespace {

// A mono 16-bit WAV whose samples count upwards, so they can be found in the output.
QByteArray makeWav(int samples)
{
    QByteArray pcm;
    for (int i = 0; i < samples; ++i) {
        const auto v = static_cast<qint16>((i * 37) % 30000 + 1);
        pcm.append(static_cast<char>(v & 0xFF));
        pcm.append(static_cast<char>((v >> 8) & 0xFF));
    }
    QByteArray wav;
    auto put32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) wav.append(static_cast<char>((v >> (8 * i)) & 0xFF)); };
    auto put16 = [&](quint16 v) { wav.append(static_cast<char>(v & 0xFF)); wav.append(static_cast<char>(v >> 8)); };
    wav.append("RIFF");
    put32(static_cast<quint32>(36 + pcm.size()));
    wav.append("WAVEfmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(22050);
    put32(44100);
    put16(2);
    put16(16);
    wav.append("data");
    put32(static_cast<quint32>(pcm.size()));
    return wav + pcm;
}

class Sound : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString output;
    QByteArray pcm;

    void SetUp() override
    {
        QDir(dir.path()).mkdir(QStringLiteral("musik"));
        const QByteArray wav = makeWav(4410); // 0.2 s
        pcm = wav.mid(44);
        QFile f(dir.path() + QStringLiteral("/musik/Fertig.wav"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(wav);
        f.close();
        bw::InitPaths(dir.path().toStdString() + "/bildwiesel");
        output = dir.path() + QStringLiteral("/played.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", output.toLocal8Bit());
    }
    void TearDown() override { bw::stopSound(); }

    QByteArray played() const
    {
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
    for (int i = 0; i < 400 && bw::soundPlaying(); ++i)
        QThread::msleep(10);
    QThread::msleep(100); // the device's last buffer
    bw::stopSound();
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

#include "Sound.h"

#include "Dialogs.h"
#include "Funky.h"

#include <SDL.h>

#include <QFile>

#include <filesystem>
#include <system_error>

namespace bw {
namespace {

struct Playback {
    SDL_AudioDeviceID device = 0;
    Uint8* samples = nullptr;
    SDL_AudioSpec format {};
};

Playback playback;

void release()
{
    if (playback.device)
        SDL_CloseAudioDevice(playback.device);
    if (playback.samples)
        SDL_FreeWAV(playback.samples);
    playback = {};
}

// The sound file whose name equals name + ".wav" without regard to case, or empty.
std::string findSoundFile(const QString& name)
{
    const QString wanted = (name + QStringLiteral(".wav")).toCaseFolded();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(programPaths().musicDirectory, ec)) {
        const QString candidate = QFile::decodeName(entry.path().filename().c_str());
        if (candidate.toCaseFolded() == wanted && entry.is_regular_file(ec))
            return entry.path().string();
    }
    return {};
}

bool audioReady()
{
    if (SDL_WasInit(SDL_INIT_AUDIO))
        return true;
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

} // namespace

void PlayWav(const QString& name, int mode)
{
    bool async = mode == 0;
    if (mode != 0 && mode != 1) {
        dialogs().message(QStringLiteral("ID Nummer für Wav nicht bekannt !"), kAppTitle);
        async = (mode & 1) != 0; // the mode taken as the platform's flags: bit 0 plays asynchronously
    }
    release();
    const std::string file = findSoundFile(name);
    if (file.empty() || !audioReady())
        return;
    Uint32 length = 0;
    if (!SDL_LoadWAV(file.c_str(), &playback.format, &playback.samples, &length))
        return;
    // A short device buffer: closing a device waits for the buffer being played, and with the
    // 4,096 frames a WAV loads with that is a third of a second at 11 kHz, paid by the next sound
    // (the end of every read plays one).
    playback.format.samples = 512;
    playback.device = SDL_OpenAudioDevice(nullptr, 0, &playback.format, nullptr, 0);
    if (!playback.device || SDL_QueueAudio(playback.device, playback.samples, length) != 0) {
        release();
        return;
    }
    SDL_PauseAudioDevice(playback.device, 0);
    if (async)
        return;
    while (SDL_GetQueuedAudioSize(playback.device) > 0)
        SDL_Delay(2);
    // The last buffer handed to the device still has to be heard.
    SDL_Delay(static_cast<Uint32>(1000.0 * playback.format.samples / std::max(1, playback.format.freq)) + 10);
    release();
}

bool soundPlaying() { return playback.device && SDL_GetQueuedAudioSize(playback.device) > 0; }

void stopSound() { release(); }

void silenceForExit()
{
    if (!playback.device)
        return;
    SDL_PauseAudioDevice(playback.device, 1);
    SDL_ClearQueuedAudio(playback.device);
}

bool soundDeviceOpen() { return playback.device != 0; }

} // namespace bw

#include "Sound.h"

#include "support/Dialogs.h"
#include "support/Funky.h"

#include <QFile>

#include <SDL.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

namespace bw {
namespace {

// One audio device, opened with the first sound and kept open: a new sound replaces the queued
// rest of the one before, which takes no time, while closing a device waits for the buffer it is
// playing (with PulseAudio up to two seconds) and opening one starts a thread.
struct Player {
    SDL_AudioDeviceID device = 0;
    SDL_AudioSpec format {};
    std::map<QString, std::string> files;              // directory + case-folded name -> its file
    std::map<std::string, std::vector<Uint8>> samples; // file -> its samples in the device's format
    std::string playing;                               // the file started last
};

Player player;

// The sound file whose name equals name + ".wav" without regard to case, or empty.
std::string findSoundFile(const QString& name)
{
    const std::string& directory = programPaths().musicDirectory;
    const QString wanted = (name + QStringLiteral(".wav")).toCaseFolded();
    const QString key = QFile::decodeName(directory.c_str()) + QLatin1Char('/') + wanted;
    if (const auto known = player.files.find(key); known != player.files.end())
        return known->second;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        const QString candidate = QFile::decodeName(entry.path().filename().c_str());
        if (candidate.toCaseFolded() == wanted && entry.is_regular_file(ec))
            return player.files[key] = entry.path().string();
    }
    return {};
}

bool audioReady()
{
    if (SDL_WasInit(SDL_INIT_AUDIO))
        return true;
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

// The file's samples in the device's format, opening the device in the file's format when none is
// open. Null when the file cannot be read or converted.
const std::vector<Uint8>* samplesOf(const std::string& file)
{
    if (const auto known = player.samples.find(file); known != player.samples.end())
        return &known->second;
    SDL_AudioSpec format {};
    Uint8* data = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(file.c_str(), &format, &data, &length))
        return nullptr;
    std::vector<Uint8> samples;
    bool ok = true;
    if (!player.device) {
        // A short device buffer: a sound ends at most this many frames after its last sample.
        format.samples = 512;
        format.callback = nullptr;
        player.device = SDL_OpenAudioDevice(nullptr, 0, &format, &player.format, 0);
        ok = player.device != 0;
    }
    if (ok) {
        SDL_AudioCVT cvt;
        const int built = SDL_BuildAudioCVT(&cvt, format.format, format.channels, format.freq, player.format.format, player.format.channels,
                                            player.format.freq);
        if (built < 0) {
            ok = false;
        } else if (built == 0) {
            samples.assign(data, data + length);
        } else {
            samples.resize(static_cast<std::size_t>(length) * static_cast<std::size_t>(std::max(1, cvt.len_mult)));
            std::copy(data, data + length, samples.begin());
            cvt.buf = samples.data();
            cvt.len = static_cast<int>(length);
            ok = SDL_ConvertAudio(&cvt) == 0;
            samples.resize(static_cast<std::size_t>(std::max(0, cvt.len_cvt)));
        }
    }
    SDL_FreeWAV(data);
    if (!ok)
        return nullptr;
    return &player.samples.emplace(file, std::move(samples)).first->second;
}

bool queueBusy() { return player.device && SDL_GetQueuedAudioSize(player.device) > 0; }

} // namespace

void PlayWav(const QString& name, int mode)
{
    bool async = mode == 0;
    if (mode != 0 && mode != 1) {
        dialogs().message(QStringLiteral("ID Nummer für Wav nicht bekannt !"), kAppTitle);
        async = (mode & 1) != 0; // the mode taken as the platform's flags: bit 0 plays asynchronously
    }
    const std::string file = findSoundFile(name);
    // The same sound asked for again while it plays: the one playing goes on to its end.
    if (async && !file.empty() && file == player.playing && queueBusy())
        return;
    if (player.device)
        SDL_ClearQueuedAudio(player.device); // a new sound stops the one playing
    player.playing.clear();
    if (file.empty() || !audioReady())
        return;
    const std::vector<Uint8>* samples = samplesOf(file);
    if (!samples || samples->empty() || SDL_QueueAudio(player.device, samples->data(), static_cast<Uint32>(samples->size())) != 0)
        return;
    player.playing = file;
    SDL_PauseAudioDevice(player.device, 0);
    if (async)
        return;
    while (queueBusy())
        SDL_Delay(2);
    // The last buffer handed to the device still has to be heard.
    SDL_Delay(static_cast<Uint32>(1000.0 * player.format.samples / std::max(1, player.format.freq)) + 10);
}

bool soundPlaying() { return queueBusy(); }

void stopSound()
{
    if (player.device)
        SDL_CloseAudioDevice(player.device);
    player = {};
}

void silenceForExit()
{
    if (!player.device)
        return;
    SDL_PauseAudioDevice(player.device, 1);
    SDL_ClearQueuedAudio(player.device);
    player.playing.clear();
}

bool soundDeviceOpen() { return player.device != 0; }

} // namespace bw

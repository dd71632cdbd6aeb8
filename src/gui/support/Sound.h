#pragma once

#include <QString>

namespace bw {

// Plays musicDirectory + name + ".wav" (the name matched without regard to case). Mode 0 returns
// at once while the sound plays, mode 1 when it has ended. A new sound stops the one playing at
// once; the same sound asked for in mode 0 while it plays is not started again, the one playing
// goes on to its end. No audio device, a missing or broken file: silence, never an error.
void PlayWav(const QString& name, int mode);

// True while a sound started with mode 0 is still playing.
bool soundPlaying();
// Stops any sound and releases the audio device (in tests).
void stopSound();
// Silences any sound at the end of the program and leaves the audio device open for the exit to
// release: closing it waits until the audio server has played out its buffer, with PulseAudio up
// to two seconds after every read (whose end plays a sound).
void silenceForExit();
// True while an audio device is open.
bool soundDeviceOpen();

} // namespace bw

#pragma once
// SoundFileReader: reads a sound file (WAV, FLAC, OGG, anything libsndfile reads), takes the
// chosen channel, resamples it to 44,100 Hz when needed and delivers 16-bit samples
// sign-extended to 32 bits, as the sound input would. Used by dita-decode and by the program's
// file input device, on one thread at a time.
//
// The file streams through fixed blocks: memory does not grow with the file's length, and a
// 16-bit file at 44,100 Hz goes from libsndfile's read straight into the caller's samples.
#include <cstdint>
#include <memory>
#include <string>

namespace dita {

enum class InputChannel { Mic = 1, Left = 2, Right = 3 };

class SoundFileReader {
public:
    SoundFileReader();
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    // Opens the file; on failure returns false and sets error to a one-line message that
    // names the file (also for a sample rate that cannot be resampled to 44,100 Hz). Mic
    // mixes all channels; Left and Right take the first or second channel (a mono file gives
    // its only channel for either).
    bool open(const std::string& path, InputChannel channel, std::string& error);
    // Up to `frames` samples at 44,100 Hz; returns how many were written, 0 at the end (or
    // when reading failed: see error()).
    int read(int32_t* out, int frames);
    // Empty while the file reads well; otherwise a one-line message naming the file, set
    // when read() stopped before the end of the audio.
    const std::string& error() const;
    // Empty unless the file ended before the length its header gives (a WAV or AIFF header
    // longer than its data, a stream cut off with an error, fewer frames than announced)
    // after some audio was read: then a one-line message naming the file. What was there has
    // been delivered; with nothing read, error() says so instead.
    const std::string& warning() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace dita

#pragma once
// SoundFileReader: reads a sound file (WAV, FLAC, OGG, anything libsndfile reads), takes the
// chosen channel, resamples it to 44,100 Hz when needed and delivers 16-bit samples
// sign-extended to 32 bits, as the sound input would. Used by dita-decode and by the program's
// file input device, on one thread at a time.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dita {

enum class InputChannel { Mic = 1, Left = 2, Right = 3 };

class SoundFileReader {
public:
    SoundFileReader();
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    // Opens the file; on failure returns false and sets error to a one-line message that
    // names the file. Mic mixes all channels; Left and Right take the first or second channel
    // (a mono file gives its only channel for either).
    bool open(const std::string& path, InputChannel channel, std::string& error);
    // Back to the start of the file (for looping playback).
    bool rewind();
    // Up to `frames` samples at 44,100 Hz; returns how many were written, 0 at the end.
    int read(int32_t* out, int frames);

    double durationSeconds() const;
    int fileRate() const;
    int fileChannels() const;

private:
    struct State;
    void refill();
    std::unique_ptr<State> m_state;
};

} // namespace dita

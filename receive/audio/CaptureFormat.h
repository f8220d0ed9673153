#pragma once
// The capture format of the sound input and the conversion of a finished capture buffer into
// the 8192 integer samples a receive pass works on. Plain functions, callable from any thread.
#include <cstdint>

namespace dita {

constexpr int kCaptureFrames = 8192; // frames in one capture buffer (185.76 ms)
constexpr int kCaptureRateHz = 44100;
constexpr int kCaptureBaseFrames = 2048;  // base size the buffer length is built from
constexpr int kCaptureBuffersPerBase = 4; // 4 base sizes make one buffer
constexpr int kCaptureBytesPerSample = 2; // 16-bit little-endian PCM
constexpr int kCaptureBitsPerSample = 16;
constexpr int kCaptureBufferAllocBytes = 65550; // allocation of each capture buffer
constexpr uint16_t kFormatTagPcm = 1;

// InputChannel values of the operating settings.
constexpr int kInputMic = 1;
constexpr int kInputLeft = 2;
constexpr int kInputRight = 3;

struct CaptureFormat {
    uint16_t formatTag = kFormatTagPcm;
    uint16_t channels = 1;
    uint32_t sampleRate = kCaptureRateHz;
    uint32_t avgBytesPerSec = kCaptureRateHz * kCaptureBytesPerSample;
    uint16_t blockAlign = kCaptureBytesPerSample;
    uint16_t bitsPerSample = kCaptureBitsPerSample;
    uint16_t extraSize = 0;          // mirrors the buffer length, unused for PCM
    uint16_t CaptureBufferBytes = 0; // bytes of one capture buffer
    uint32_t bytesPerSample = kCaptureBytesPerSample;
};

// The format for an InputChannel choice: Mic is mono, Left and Right read one half of a stereo
// stream. A value outside 1..3 (a damaged configuration) is treated as Mic.
CaptureFormat makeCaptureFormat(int inputChannel);

// Mic, Left or Right; anything else becomes Mic.
int normalisedInputChannel(int inputChannel);

// Converts kCaptureFrames frames of a finished buffer into sign-extended samples of the chosen
// channel: Mic bytes 2i..2i+1, Left 4i..4i+1, Right 4i+2..4i+3.
void extractSamples(const uint8_t* buffer, int inputChannel, int32_t* samples);

} // namespace dita

#include "receive/audio/CaptureFormat.h"

namespace dita {

int normalisedInputChannel(int inputChannel) {
    return (inputChannel == kInputLeft || inputChannel == kInputRight) ? inputChannel : kInputMic;
}

CaptureFormat makeCaptureFormat(int inputChannel) {
    CaptureFormat f;
    f.channels = normalisedInputChannel(inputChannel) == kInputMic ? 1 : 2;
    f.blockAlign = static_cast<uint16_t>(kCaptureBytesPerSample * f.channels);
    f.bitsPerSample = kCaptureBitsPerSample;
    f.bytesPerSample = kCaptureBytesPerSample;
    f.sampleRate = kCaptureRateHz;
    f.avgBytesPerSec = kCaptureRateHz * f.blockAlign;
    f.CaptureBufferBytes = static_cast<uint16_t>(kCaptureBaseFrames * kCaptureBytesPerSample *
                                                 f.channels * kCaptureBuffersPerBase);
    f.extraSize = f.CaptureBufferBytes;
    return f;
}

void extractSamples(const uint8_t* buffer, int inputChannel, int32_t* samples) {
    const int channel = normalisedInputChannel(inputChannel);
    const int stride = channel == kInputMic ? 2 : 4;
    const int offset = channel == kInputRight ? 2 : 0;
    for (int i = 0; i < kCaptureFrames; ++i) {
        const uint8_t* p = buffer + i * stride + offset;
        const auto value = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
        samples[i] = value;
    }
}

} // namespace dita

#pragma once
// A tone device that writes every block straight into a 44,100 Hz 16-bit mono WAV file, so
// dita-send renders exactly what the sound card would play, as fast as the CPU allows.
//
// Who calls it: ToneOutput on the thread that plays (dita-send's main thread). No Qt.
#include "transmit/ToneOutput.h"

#include <string>

namespace dita {

class WavToneDevice : public ToneDevice {
public:
    explicit WavToneDevice(std::string path) : m_path(std::move(path)) {}
    ~WavToneDevice() override;
    WavToneDevice(const WavToneDevice&) = delete;
    WavToneDevice& operator=(const WavToneDevice&) = delete;

    bool formatSupported() override { return true; }
    bool open() override; // creates (truncates) the file
    bool prepare(ToneBlock) override { return m_file != nullptr; }
    bool write(ToneBlock block, const int16_t* samples, int count) override;
    bool isDone(ToneBlock) override { return true; }
    bool setVolume(uint32_t) override { return m_file != nullptr; }
    bool restart() override { return m_file != nullptr; }
    bool position(int64_t& bytes) override;
    bool reset() override { return m_file != nullptr; }
    bool unprepare(ToneBlock) override { return m_file != nullptr; }

    // Flushes and closes the file; false when the last writes failed.
    bool close();
    const std::string& lastError() const { return m_lastError; }

private:
    std::string m_path;
    void* m_file = nullptr;
    int64_t m_framesWritten = 0;
    std::string m_lastError;
};

} // namespace dita

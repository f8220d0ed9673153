#include "transmit/WavToneDevice.h"

#include <sndfile.h>

namespace dita {

WavToneDevice::~WavToneDevice() {
    close();
}

bool WavToneDevice::open() {
    if (m_file) return true;
    SF_INFO info{};
    info.samplerate = kToneSampleRateHz;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(m_path.c_str(), SFM_WRITE, &info);
    if (!file) {
        m_lastError = m_path + ": " + sf_strerror(nullptr);
        return false;
    }
    m_file = file;
    return true;
}

bool WavToneDevice::write(ToneBlock, const int16_t* samples, int count) {
    if (!m_file) return false;
    const sf_count_t n = sf_write_short(static_cast<SNDFILE*>(m_file), samples, count);
    m_framesWritten += n;
    if (n != count) {
        m_lastError = m_path + ": " + sf_strerror(static_cast<SNDFILE*>(m_file));
        return false;
    }
    return true;
}

bool WavToneDevice::position(int64_t& bytes) {
    if (!m_file) return false;
    bytes = m_framesWritten * kToneBytesPerSample;
    return true;
}

bool WavToneDevice::close() {
    if (!m_file) return true;
    const bool ok = sf_close(static_cast<SNDFILE*>(m_file)) == 0;
    m_file = nullptr;
    return ok;
}

} // namespace dita

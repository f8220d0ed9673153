#pragma once
// IqFileReader: reads a stereo I/Q recording as SDR programs save it (WAV of 16 or 24-bit
// integers or floats, left channel I, right channel Q; any format libsndfile reads) in blocks
// of complex samples. Samples come scaled to 16-bit units (full scale 32,768), whatever the
// file's format, so that levels mean the same for every recording. The channels may be
// swapped for receivers that record Q on the left.
//
// Used by dita-decode --iq and dita-skimmer --iq on their decoding thread. Plain class.
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;

namespace dita {

// The centre frequency written into the file name the way SDR programs name recordings
// ("..._7025000Hz_...", "..._7025kHz_...", "..._7.025MHz_..."); 0 when the name holds none.
double centerHzFromName(const std::string& path);

class IqFileReader {
public:
    IqFileReader() = default;
    ~IqFileReader();
    IqFileReader(const IqFileReader&) = delete;
    IqFileReader& operator=(const IqFileReader&) = delete;

    // False with a message naming the file when it cannot be read or is not two channels.
    bool open(const std::string& path, bool swapIq, std::string& error);
    // Up to count samples; fewer only at the end of the file or on a read error (see error()).
    int read(std::complex<float>* out, int count);

    double rateHz() const { return m_rateHz; }
    int64_t frames() const { return m_frames; }
    const std::string& error() const { return m_error; }

private:
    void close();

    sf_private_tag* m_file = nullptr;
    std::string m_path;
    bool m_swap = false;
    double m_rateHz = 0.0;
    int64_t m_frames = 0;
    std::vector<float> m_interleaved;
    std::string m_error;
};

} // namespace dita

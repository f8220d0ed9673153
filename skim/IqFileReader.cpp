#include "skim/IqFileReader.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <regex>

namespace dita {

namespace {
constexpr float kFullScale = 32768.0f;
constexpr int kStereo = 2;
} // namespace

double centerHzFromName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // A number with its unit, standing between separators so that "1234Hz" inside a longer
    // word (a date, a serial) is not taken.
    static const std::regex pattern(R"((?:^|[_\-. ])(\d+(?:\.\d+)?)(hz|khz|mhz)(?=[_\-. ]|$))",
                                    std::regex::icase);
    std::smatch m;
    if (!std::regex_search(name, m, pattern)) return 0.0;
    const double value = std::stod(m[1].str());
    std::string unit = m[2].str();
    std::transform(unit.begin(), unit.end(), unit.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const double scale = unit == "mhz" ? 1e6 : unit == "khz" ? 1e3 : 1.0;
    return value * scale;
}

IqFileReader::~IqFileReader() {
    close();
}

void IqFileReader::close() {
    if (m_file) sf_close(m_file);
    m_file = nullptr;
}

bool IqFileReader::open(const std::string& path, bool swapIq, std::string& error) {
    close();
    m_error.clear();
    SF_INFO info{};
    m_file = sf_open(path.c_str(), SFM_READ, &info);
    if (!m_file) {
        error = "cannot read I/Q recording " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels != kStereo) {
        error = "cannot read I/Q recording " + path + ": it has " + std::to_string(info.channels) +
                " channel" + (info.channels == 1 ? "" : "s") +
                "; an I/Q recording has two (left I, right Q)";
        close();
        return false;
    }
    if (info.samplerate <= 0 || info.frames <= 0) {
        error = "I/Q recording " + path + " holds no samples";
        close();
        return false;
    }
    // Floating-point files beyond full scale are read as they are, not clipped.
    sf_command(m_file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    m_path = path;
    m_swap = swapIq;
    m_rateHz = info.samplerate;
    m_frames = info.frames;
    return true;
}

int IqFileReader::read(std::complex<float>* out, int count) {
    if (!m_file || count <= 0) return 0;
    m_interleaved.resize(static_cast<size_t>(count) * kStereo);
    const sf_count_t got = sf_readf_float(m_file, m_interleaved.data(), count);
    if (got < count && sf_error(m_file) != SF_ERR_NO_ERROR && m_error.empty())
        m_error = "reading I/Q recording " + m_path + " failed: " + sf_strerror(m_file);
    const int iIndex = m_swap ? 1 : 0;
    for (sf_count_t n = 0; n < got; ++n) {
        const float* frame = &m_interleaved[static_cast<size_t>(n) * kStereo];
        float i = frame[iIndex] * kFullScale;
        float q = frame[1 - iIndex] * kFullScale;
        // A damaged float file must not carry infinities or NaN into the transforms.
        if (!std::isfinite(i)) i = 0.0f;
        if (!std::isfinite(q)) q = 0.0f;
        out[n] = {i, q};
    }
    return static_cast<int>(got);
}

} // namespace dita

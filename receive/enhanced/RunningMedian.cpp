#include "receive/enhanced/RunningMedian.h"

#include <algorithm>

namespace dita {

namespace {
// Median search window around the last median (a factor either way): sized to hold about
// kMedianWindowValues values (a narrow window misses more often, but a miss costs only another
// count). When the median has left it, the next window lies beside it.
constexpr int kMedianWindowValues = 24;
constexpr float kMinMedianWindow = 1.001f;
constexpr float kMaxMedianWindow = 4.0f;
constexpr float kMedianWindowWiden = 2.0f;
constexpr int kMedianAttempts = 4;
} // namespace

float RunningMedian::update(const float* values, int n, float* scratch) {
    // The median moves little from pass to pass: the values outside a window around the last
    // one are only counted, and only those inside are ordered. Gives exactly the element
    // nth_element selects over all values.
    const int k = n / 2;
    const auto widened = [](float window, float factor) {
        return 1.0f + std::min(kMaxMedianWindow - 1.0f, (window - 1.0f) * factor);
    };
    float low = m_last / m_window;
    float high = m_last * m_window;
    for (int attempt = 0; attempt < kMedianAttempts && m_last > 0.0f; ++attempt) {
        int below = 0;
        int above = 0;
        int unordered = 0;
        for (int i = 0; i < n; ++i) {
            const float v = values[i];
            below += v < low;
            above += v > high;
            unordered += v != v;
        }
        if (unordered > 0) break; // not numbers: ordered as nth_element orders them
        if (k < below || k >= n - above) {
            // The next window lies beside this one, as wide; wider after a second miss.
            if (attempt > 0) m_window = widened(m_window, kMedianWindowWiden);
            const float span = m_window * m_window;
            if (k < below) {
                high = low;
                low /= span;
            } else {
                low = high;
                high *= span;
            }
            continue;
        }
        int inside = 0;
        for (int i = 0; i < n; ++i) {
            const float v = values[i];
            scratch[inside] = v;
            inside += static_cast<int>(v >= low) & static_cast<int>(v <= high);
        }
        float* nth = scratch + (k - below);
        std::nth_element(scratch, nth, scratch + inside);
        m_last = *nth;
        if (attempt == 0) {
            // Aim the next window at about kMedianWindowValues values.
            const float scale = std::clamp(
                static_cast<float>(kMedianWindowValues) / static_cast<float>(inside), 0.5f, 2.0f);
            m_window = std::max(kMinMedianWindow, widened(m_window, scale));
        }
        return m_last;
    }
    std::copy(values, values + n, scratch);
    std::nth_element(scratch, scratch + k, scratch + n);
    m_last = scratch[k];
    return m_last;
}

} // namespace dita

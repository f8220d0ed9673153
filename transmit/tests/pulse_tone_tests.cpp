// The tone output on PortAudio's real default output device, played into a PulseAudio null
// sink (scripts/with-pulseaudio.sh) and recorded from its monitor with parec.
#include "transmit/Keyer.h"
#include "transmit/PortAudioToneDevice.h"
#include "transmit/SendTiming.h"
#include "transmit/ToneOutput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace dita;

namespace {

const std::filesystem::path kServerDir =
    std::filesystem::temp_directory_path() / ("dita-pulse-tone-" + std::to_string(getpid()));
const std::string kScript = std::string(DITA_SOURCE_DIR) + "/scripts/with-pulseaudio.sh";

struct ToneRun {
    double startMs;
    double lengthMs;
};

class PulseToneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FILE* p =
            popen(("\"" + kScript + "\" --start \"" + kServerDir.string() + "\"").c_str(), "r");
        char line[512];
        while (p && fgets(line, sizeof line, p)) {
            std::string s(line);
            if (!s.empty() && s.back() == '\n') s.pop_back();
            const auto eq = s.find('=');
            if (eq != std::string::npos)
                setenv(s.substr(0, eq).c_str(), s.substr(eq + 1).c_str(), 1);
        }
        s_serverUp = p && pclose(p) == 0;
        setenv("JACK_NO_START_SERVER", "1", 1);
        pinAlsaPlugins();
    }
    static void TearDownTestSuite() {
        std::system(("\"" + kScript + "\" --stop \"" + kServerDir.string() + "\"").c_str());
        std::filesystem::remove_all(kServerDir);
    }
    // ALSA loads its plugins while PortAudio probes the devices and unloads them again; memory
    // they keep for the process is then reported by the leak checker with no module name, so
    // the system-library suppressions cannot match it. Keeping the plugins loaded lets them.
    static void pinAlsaPlugins() {
        for (const char* dir :
             {"/usr/lib/x86_64-linux-gnu/alsa-lib", "/usr/lib/aarch64-linux-gnu/alsa-lib",
              "/usr/lib/alsa-lib", "/usr/lib64/alsa-lib"}) {
            std::error_code ec;
            for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
                if (entry.path().extension() == ".so") {
                    dlopen(entry.path().c_str(), RTLD_LAZY | RTLD_NODELETE);
                }
            }
        }
    }

    void SetUp() override {
        if (!s_serverUp) GTEST_SKIP() << "no PulseAudio server could be started";
    }

    // Records the sink's monitor (the default input) for seconds while play() runs; returns
    // 16-bit mono samples at 44,100 Hz. Playback starts once the recording is flowing.
    static std::vector<int16_t> record(int seconds, const std::function<void()>& play) {
        const auto raw = kServerDir / "monitor.raw";
        std::filesystem::remove(raw);
        const pid_t pid = fork();
        if (pid == 0) {
            const std::string duration = std::to_string(seconds);
            execlp("arecord", "arecord", "-q", "-D", "default", "-f", "S16_LE", "-r", "44100", "-c",
                   "1", "-t", "raw", "-d", duration.c_str(), raw.c_str(), nullptr);
            _exit(127);
        }
        constexpr uintmax_t kFlowingBytes = 8820; // 100 ms recorded
        for (int i = 0; i < 500; ++i) {
            std::error_code ec;
            if (std::filesystem::file_size(raw, ec) >= kFlowingBytes && !ec) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        play();
        int status = 0;
        waitpid(pid, &status, 0);
        std::ifstream in(raw, std::ios::binary);
        std::vector<int16_t> samples;
        int16_t s;
        while (in.read(reinterpret_cast<char*>(&s), sizeof s))
            samples.push_back(s);
        return samples;
    }

    // Tone runs: stretches where the level stays above half the amplitude, bridging the zero
    // crossings of the wave (gaps shorter than 2 ms).
    // Runs of loud samples; quiet stretches up to `bridge` samples (a half period, or a short
    // dropout of a heavily loaded machine) stay inside a run.
    static std::vector<ToneRun> toneRuns(const std::vector<int16_t>& s, int threshold,
                                         size_t kBridge = 88) {
        std::vector<ToneRun> runs;
        size_t start = 0, lastLoud = 0;
        bool inRun = false;
        for (size_t i = 0; i < s.size(); ++i) {
            if (std::abs(s[i]) < threshold) continue;
            if (inRun && i - lastLoud > kBridge) {
                runs.push_back({start / 44.1, (lastLoud + 1 - start) / 44.1});
                inRun = false;
            }
            if (!inRun) {
                start = i;
                inRun = true;
            }
            lastLoud = i;
        }
        if (inRun) runs.push_back({start / 44.1, (lastLoud + 1 - start) / 44.1});
        return runs;
    }

    static double frequency(const std::vector<int16_t>& s, const ToneRun& r) {
        const size_t from = static_cast<size_t>(r.startMs * 44.1) + 44;
        const size_t to = static_cast<size_t>((r.startMs + r.lengthMs) * 44.1) - 44;
        int crossings = 0;
        size_t first = 0, last = 0;
        for (size_t i = from + 1; i < to; ++i) {
            if (s[i - 1] < 0 && s[i] >= 0) {
                if (!crossings) first = i;
                last = i;
                ++crossings;
            }
        }
        return crossings < 2 ? 0.0 : (crossings - 1) * 44100.0 / static_cast<double>(last - first);
    }

    static inline bool s_serverUp = false;
};

} // namespace

TEST_F(PulseToneTest, KeyedSineReachesTheSinkWithItsFrequencyAndElementLengths) {
    ASSERT_GT(PortAudioToneDevice::inputDeviceCount(), 0); // the monitor counts as an input
    std::vector<std::string> messages;
    const auto samples = record(5, [&] {
        PortAudioToneDevice device;
        MonotonicClock clock;
        ToneOutput output(
            device, [&](const std::string& text, const std::string&) { messages.push_back(text); },
            {}, clock);
        ASSERT_TRUE(output.openIfInputExists(PortAudioToneDevice::inputDeviceCount()))
            << device.lastError();
        SendTimingStore timing;
        timing.publish(ComputeSendTiming(20));
        ToneKeyer keyer(output, timing);
        ToneSettings tone;
        tone.SidetoneOn = true;
        tone.SidetoneFreq = 1000.0f;
        keyer.setTone(tone);
        std::atomic<bool> stop{false};
        ASSERT_TRUE(keyer.sendText("TEST", stop));
        device.drain(100);
    });
    EXPECT_TRUE(messages.empty());
    ASSERT_FALSE(samples.empty());
    const auto runs = toneRuns(samples, 7500);
    // T E S T: dash, dot, dot dot dot, dash. Each edge rises and falls inside its element and
    // passes half amplitude half an edge in: a run is one edge shorter, a gap one edge longer.
    constexpr double edge = kDefaultToneRampMs;
    const std::vector<double> expected = {162 - edge, 54 - edge, 54 - edge,
                                          54 - edge,  54 - edge, 162 - edge};
    ASSERT_EQ(runs.size(), expected.size());
    double worst = 0.0;
    for (size_t i = 0; i < runs.size(); ++i) {
        worst = std::max(worst, std::fabs(runs[i].lengthMs - expected[i]));
        EXPECT_NEAR(runs[i].lengthMs, expected[i], 3.0) << i;
    }
    // Gaps: after T one element gap and a character space (162 ms), inside S one element gap.
    EXPECT_NEAR(runs[1].startMs - (runs[0].startMs + runs[0].lengthMs), 162.0 + edge, 3.0);
    EXPECT_NEAR(runs[3].startMs - (runs[2].startMs + runs[2].lengthMs), 54.0 + edge, 3.0);
    const double hz = frequency(samples, runs[0]);
    std::printf("null sink: %zu tone runs, worst length error %.2f ms, tone %.1f Hz, peak %d\n",
                runs.size(), worst, hz,
                static_cast<int>(*std::max_element(samples.begin(), samples.end())));
    EXPECT_NEAR(hz, 1000.0, 2.0);
    EXPECT_NEAR(*std::max_element(samples.begin(), samples.end()), 15000, 200);
}

TEST_F(PulseToneTest, SquareWaveAndSilentPlaybackWithTheSidetoneOff) {
    const auto samples = record(5, [&] {
        PortAudioToneDevice device;
        MonotonicClock clock;
        ToneOutput output(device, {}, {}, clock);
        ASSERT_TRUE(output.openIfInputExists(1)) << device.lastError();
        SendTimingStore timing;
        ToneKeyer keyer(output, timing);
        ToneSettings tone;
        tone.SidetoneOn = false;
        keyer.setTone(tone);
        std::atomic<bool> stop{false};
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_TRUE(keyer.sendText("EE", stop));
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        EXPECT_GT(ms, 300.0); // silence is played in real time: 2 x 216 ms minus queue depth
        tone.SidetoneOn = true;
        tone.SidetoneWaveform = kSquareWave;
        tone.SidetoneFreq = 600.0f;
        keyer.setTone(tone);
        ASSERT_TRUE(keyer.sendText("T", stop));
        device.drain(100);
    });
    // Only the square-wave T is heard. A sink dropout under a sanitizer's load may cut a short
    // hole into it, so holes under 20 ms (less than any gap at 20 wpm) do not split the run.
    const auto runs = toneRuns(samples, 7500, 882);
    for (const auto& r : runs)
        std::printf("square run at %.1f ms, %.1f ms long\n", r.startMs, r.lengthMs);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NEAR(runs[0].lengthMs, 162.0 - kDefaultToneRampMs, 3.0); // half amplitude, edges in
    EXPECT_NEAR(frequency(samples, runs[0]), 600.0, 2.0);
    int full = 0, total = 0;
    const size_t from = static_cast<size_t>(runs[0].startMs * 44.1) + 10;
    for (size_t i = from; i < from + 4000; ++i, ++total) {
        full += std::abs(std::abs(samples[i]) - 15000) <= 2 ? 1 : 0;
    }
    EXPECT_GT(full, total * 9 / 10); // a square wave sits at +-15000
}

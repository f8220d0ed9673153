// End to end through the real capture path: a private PulseAudio server with a null sink is
// started, the bundled CW recording is played into the sink with paplay, and PortAudio's
// default input (the sink's monitor) is captured by CaptureCycle and decoded by the engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "receive/ReceiveEngine.h"
#include "receive/audio/CaptureCycle.h"
#include "receive/audio/SystemDevices.h"
#include "receive/audio/tests/PinAlsaPlugins.h"

extern char** environ;

using namespace dita;
namespace fs = std::filesystem;

namespace {

const fs::path kScript = fs::path(DITA_SOURCE_DIR) / "scripts" / "with-pulseaudio.sh";
const fs::path kSample = fs::path(DITA_DATA_DIR) / "samples" / "cq-20wpm.ogg";

class PulseServer : public ::testing::Environment {
public:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("dita-capture-pulse-" + std::to_string(::getpid()));
        const std::string cmd = "\"" + kScript.string() + "\" --start \"" + m_dir.string() + "\"";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return;
        std::array<char, 512> line{};
        while (std::fgets(line.data(), line.size(), p)) {
            std::string s(line.data());
            s.erase(s.find_last_not_of("\r\n") + 1);
            const auto eq = s.find('=');
            if (eq != std::string::npos)
                setenv(s.substr(0, eq).c_str(), s.substr(eq + 1).c_str(), 1);
        }
        up = pclose(p) == 0 && std::getenv("PULSE_SERVER");
        setenv("JACK_NO_START_SERVER", "1", 1);
        dita::test::pinAlsaPlugins();
    }
    void TearDown() override {
        const std::string cmd = "\"" + kScript.string() + "\" --stop \"" + m_dir.string() + "\"";
        if (up) std::system(cmd.c_str());
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    static inline bool up = false;

private:
    fs::path m_dir;
};

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new PulseServer);

pid_t spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

} // namespace

TEST(PulseCaptureTest, PortAudioCaptureOfAPlayedRecordingDecodes) {
    if (!PulseServer::up)
        GTEST_SKIP() << "PulseAudio could not be started here (see " << kScript << ")";
    ASSERT_TRUE(fs::exists(kSample)) << kSample;

    SystemDeviceCatalog catalog;
    ASSERT_GT(catalog.count(), 0) << "PortAudio sees no input although the server runs";
    std::vector<WaveOp> errors;
    CaptureCycle cycle(catalog, [&](WaveOp op) { errors.push_back(op); });
    int id = 0; // the default input: the null sink's monitor
    ASSERT_TRUE(cycle.start(id, kInputMic)) << (errors.empty() ? "" : waveMessage(errors[0]));

    const pid_t player = spawn({"paplay", kSample.string()});
    ASSERT_GT(player, 0) << "paplay could not be started";

    ReceiveEngine engine;
    engine.post(ReceiveCommand::afcMode(setting::AfcWidth::Wide)); // wide AFC finds the 650 Hz tone
    std::atomic<bool> stop{false};
    std::array<int32_t, kCaptureFrames> samples{};
    std::string text;
    int watchdogPasses = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (std::chrono::steady_clock::now() < limit &&
           lower(text).find("cq cq") == std::string::npos) {
        ASSERT_EQ(cycle.waitPass(stop), CaptureCycle::Wait::Completed);
        cycle.extract(samples.data());
        text += engine.processPass(samples.data()).text;
        watchdogPasses = cycle.watchdogResets();
    }
    kill(player, SIGTERM);
    waitpid(player, nullptr, 0);
    cycle.close();
    EXPECT_NE(lower(text).find("cq cq"), std::string::npos) << "decoded: " << text;
    EXPECT_EQ(watchdogPasses, 0) << "the device stalled while audio was playing";
    EXPECT_TRUE(errors.empty());
}

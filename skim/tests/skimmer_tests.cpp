// The skimmer end to end: I/Q recordings read in every format, a synthesised band with the
// faults of a real receiver decoded into spots, and the cluster server's login and spot lines.
#include "receive/tests/CwSynth.h"
#include "skim/ClusterServer.h"
#include "skim/IqCorrector.h"
#include "skim/IqFileReader.h"
#include "skim/Skimmer.h"
#include "skim/Spots.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sndfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <filesystem>
#include <random>

namespace {

using namespace dita;

std::filesystem::path tempDir() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("dita-skim-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

void writeStereo(const std::string& path, int format, int rate, const std::vector<float>& lr) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_float(f, lr.data(), static_cast<sf_count_t>(lr.size() / 2));
    sf_close(f);
}

// Every format SDR programs record in reads back as the same I/Q values in 16-bit units, the
// channels swapped on request; a mono file is refused with a message; the centre comes from
// the name as SDR programs write it.
TEST(IqFileReader, ReadsEveryFormatSwapsChannelsAndFindsTheCentreInTheName) {
    const auto dir = tempDir();
    std::vector<float> lr;
    for (int n = 0; n < 1000; ++n) {
        lr.push_back(0.5f * std::cos(0.01f * n));   // I
        lr.push_back(-0.25f * std::sin(0.01f * n)); // Q
    }
    const std::pair<int, float> formats[] = {{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0f},
                                             {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.01f},
                                             {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.001f}};
    for (const auto& [format, tolerance] : formats) {
        const std::string path = (dir / ("rec_7025000Hz_IQ_" + std::to_string(format) + ".wav"));
        writeStereo(path, format, 96000, lr);
        for (const bool swap : {false, true}) {
            IqFileReader reader;
            std::string error;
            ASSERT_TRUE(reader.open(path, swap, error)) << error;
            EXPECT_EQ(reader.rateHz(), 96000);
            EXPECT_EQ(reader.frames(), 1000);
            std::vector<std::complex<float>> iq(1200);
            ASSERT_EQ(reader.read(iq.data(), 1200), 1000);
            for (int n = 0; n < 1000; n += 37) {
                const float i = lr[2 * n] * 32768.0f, q = lr[2 * n + 1] * 32768.0f;
                EXPECT_NEAR(iq[n].real(), swap ? q : i, tolerance) << format << " " << n;
                EXPECT_NEAR(iq[n].imag(), swap ? i : q, tolerance) << format << " " << n;
            }
            EXPECT_EQ(reader.read(iq.data(), 10), 0);
        }
    }
    const std::string mono = dir / "mono.wav";
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(mono.c_str(), SFM_WRITE, &info);
    const short s[4] = {1, 2, 3, 4};
    sf_writef_short(f, s, 4);
    sf_close(f);
    IqFileReader reader;
    std::string error;
    EXPECT_FALSE(reader.open(mono, false, error));
    EXPECT_NE(error.find("two (left I, right Q)"), std::string::npos) << error;
    EXPECT_FALSE(reader.open((dir / "missing.wav").string(), false, error));
    EXPECT_NE(error.find("missing.wav"), std::string::npos) << error;
    std::filesystem::remove_all(dir);

    EXPECT_EQ(centerHzFromName("/x/SDRSharp_20231208_101500Z_7025000Hz_IQ.wav"), 7025000.0);
    EXPECT_EQ(centerHzFromName("gqrx_20231208_101500_14025kHz.wav"), 14025000.0);
    EXPECT_EQ(centerHzFromName("band-3.5105MHz.wav"), 3510500.0);
    EXPECT_EQ(centerHzFromName("recording_20231208.wav"), 0.0);
    EXPECT_EQ(centerHzFromName("/data_7025000Hz/plain.wav"), 0.0); // the folder's name is not read
}

// A band as a sound-card receiver delivers it at 48 kHz: noise, a DC spike, I/Q imbalance
// (images 28 dB down, strong enough to key the scan), a steady carrier 25 dB up, two calling
// stations 90 Hz apart with 10 dB between them, and a contest station that sends its call once per
// exchange. Both calling stations are spotted on their own frequencies; the carrier, the images of
// the strong signals and the once-sent call give nothing.
TEST(Skimmer, SpotsCallingStationsAndRejectsCarriersAndImages) {
    constexpr double kRate = 48000.0;
    constexpr double kSeconds = 24.0;
    constexpr double kCenterHz = 7030000.0;
    const size_t total = static_cast<size_t>(kRate * kSeconds);
    std::mt19937 rng(7);
    std::normal_distribution<double> gauss(0.0, 100.0);
    std::vector<std::complex<double>> x(total);
    for (auto& v : x)
        v = {gauss(rng), gauss(rng)};
    // Noise power in 500 Hz, for the senders' SNR.
    const double noise500 = 2.0 * 100.0 * 100.0 * 500.0 / kRate;
    struct Sender {
        const char* text;
        double offsetHz, wpm, snrDb, startSeconds;
    };
    const Sender senders[] = {{"CQ CQ DE K1ABC K1ABC K", 5000.0, 24, 35, 0.5},
                              {"CQ TEST DL2XYZ DL2XYZ", 5090.0, 18, 25, 1.3},
                              {"5NN TU OK1RR", -12000.0, 30, 20, 0.8}};
    for (const auto& s : senders) {
        test::CwSignal cw;
        cw.wpm = s.wpm;
        cw.leadSeconds = s.startSeconds;
        std::string text;
        while (text.size() < 200)
            text += std::string(s.text) + "     ";
        size_t n = 0;
        const double amplitude = std::sqrt(noise500 * std::pow(10.0, s.snrDb / 10.0));
        const double rise = 0.004 * kRate;
        for (const auto& run : test::keying(text, cw)) {
            const size_t count = static_cast<size_t>(run.seconds * kRate);
            for (size_t i = 0; i < count && n < total; ++i, ++n) {
                if (!run.down) continue;
                const double edge = std::min({1.0, i / rise, (count - i) / rise});
                const double env = 0.5 - 0.5 * std::cos(M_PI * edge);
                x[n] += amplitude * env * std::polar(1.0, 2.0 * M_PI * s.offsetHz * n / kRate);
            }
        }
    }
    const double carrierHz = -7000.0;
    const double carrier = std::sqrt(noise500 * std::pow(10.0, 2.5));
    std::vector<std::complex<float>> iq(total);
    const double gain = 1.05, phase = 3.0 * M_PI / 180.0;
    for (size_t n = 0; n < total; ++n) {
        const std::complex<double> v =
            x[n] + carrier * std::polar(1.0, 2.0 * M_PI * carrierHz * n / kRate) +
            std::complex<double>(300.0, 300.0);
        iq[n] = {
            static_cast<float>(v.real()),
            static_cast<float>(gain * (v.imag() * std::cos(phase) + v.real() * std::sin(phase)))};
    }

    Skimmer skimmer;
    SkimmerSettings settings;
    settings.centerHz = kCenterHz;
    skimmer.configure(kRate, settings);
    std::vector<SkimSpot> spots;
    std::vector<SkimRecord> records;
    auto take = [&](const SkimResult& r) {
        spots.insert(spots.end(), r.spots.begin(), r.spots.end());
        records.insert(records.end(), r.closed.begin(), r.closed.end());
    };
    for (size_t n = 0; n < total; n += 4800)
        take(skimmer.process(&iq[n], static_cast<int>(std::min<size_t>(4800, total - n))));
    take(skimmer.finish());

    auto spotOf = [&](const std::string& call) -> const SkimSpot* {
        for (const auto& s : spots)
            if (s.call == call) return &s;
        return nullptr;
    };
    for (const auto& [call, offset] : {std::pair{"K1ABC", 5000.0}, std::pair{"DL2XYZ", 5090.0}}) {
        const SkimSpot* s = spotOf(call);
        ASSERT_NE(s, nullptr) << call;
        EXPECT_NEAR(s->freqHz, kCenterHz + offset, 20.0) << call;
        EXPECT_TRUE(s->calling) << call;
        EXPECT_GT(s->wpm, 0) << call;
    }
    EXPECT_EQ(spots.size(), 2u);
    for (const auto& r : records) {
        const double offset = r.freqHz - kCenterHz;
        for (const double unwanted : {carrierHz, -5000.0, -5090.0, 12000.0})
            EXPECT_GT(std::abs(offset - unwanted), 60.0)
                << "a channel at " << offset << " Hz: " << r.text;
    }
    std::string pairText;
    for (const auto& r : records) {
        if (std::abs(r.freqHz - kCenterHz - 5090.0) < 20.0) pairText += r.text;
    }
    EXPECT_NE(pairText.find("TEST DL2XYZ DL2XYZ"), std::string::npos) << pairText;

    // The correction itself, measured on the carrier: its image (at +7 kHz) over the carrier
    // in the last 10 s, before and after.
    auto imageDb = [&](const std::vector<std::complex<float>>& v) {
        std::complex<double> at{}, mirror{};
        for (size_t n = total - static_cast<size_t>(10 * kRate); n < total; ++n) {
            const std::complex<double> s(v[n].real(), v[n].imag());
            at += s * std::polar(1.0, -2.0 * M_PI * carrierHz * n / kRate);
            mirror += s * std::polar(1.0, 2.0 * M_PI * carrierHz * n / kRate);
        }
        return 10.0 * std::log10(std::norm(mirror) / std::norm(at));
    };
    std::vector<std::complex<float>> corrected = iq;
    IqCorrector corrector;
    corrector.configure(kRate);
    for (size_t n = 0; n < total; n += 4800)
        corrector.process(&corrected[n], static_cast<int>(std::min<size_t>(4800, total - n)));
    EXPECT_GT(imageDb(iq), -30.0);
    EXPECT_LT(imageDb(corrected), -50.0);
}

// Reads what the server sent until `until` appears, polling the server meanwhile.
std::string readUntil(ClusterServer& server, int fd, const std::string& until) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (got.find(until) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        server.poll(10);
        char buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
}

// A client is asked for its call as at any cluster node, logs in (telnet negotiation and a
// bad call along the way), and receives spot lines in the cluster columns; a client that has
// not logged in receives none.
// Calls from decoded text: read twice to be spotted, once each; a call busted once stays out,
// and so does the start of a spotted call cut short again and again (fades, ends of overs).
TEST(CallReader, SpotsACallReadTwiceAndNeitherABustedOneNorOneCutShort) {
    CallReader reader;
    std::vector<CallRead> spotted;
    reader.feed("CQ TEST LZ4SSK LZ4SSK CQ TEST LZ4SSK LZ4SS", spotted);
    reader.feed(" CQ TEST LZ4SSK LZ4SS CQ DE LZ4SBK TU DE K1ABC K1ABC ", spotted);
    ASSERT_EQ(spotted.size(), 2u);
    EXPECT_EQ(spotted[0].call, "LZ4SSK");
    EXPECT_TRUE(spotted[0].calling);
    EXPECT_EQ(spotted[1].call, "K1ABC");
    EXPECT_FALSE(spotted[1].calling);
}

TEST(ClusterServer, LogsInAClientAndSendsItSpotLines) {
    ClusterServer server("DITA-#");
    std::string error;
    ASSERT_TRUE(server.listen("127.0.0.1:0", error)) << error;
    const int client = connectTo(server.port());
    const int lurker = connectTo(server.port());
    EXPECT_NE(readUntil(server, client, "Please enter your call: "), "");
    EXPECT_NE(readUntil(server, lurker, "Please enter your call: "), "");
    const char negotiation[] = {'\xff', '\xfb', '\x18', '\xff', '\xfa', '\x18', 'x',
                                '\xff', '\xf0', 'b',    'a',    'd',    ' ',    'c',
                                'a',    'l',    'l',    '\r',   '\n',   '\0'};
    ::send(client, negotiation, sizeof negotiation - 1, 0);
    EXPECT_NE(readUntil(server, client, "is not a call").find("Sorry, bad call"),
              std::string::npos);
    ::send(client, "dl1abc\r\n", 8, 0);
    EXPECT_NE(readUntil(server, client, "DL1ABC de DITA-# >").find("Hello DL1ABC"),
              std::string::npos);
    EXPECT_EQ(server.loggedInCount(), 1);

    ClusterSpot spot;
    spot.spotter = "DITA-#";
    spot.freqHz = 7036200.0;
    spot.call = "UR7R";
    spot.snrDb = 17;
    spot.wpm = 18;
    spot.kind = "CQ";
    spot.utcHour = 12;
    spot.utcMinute = 34;
    const std::string line = formatClusterSpot(spot);
    // Columns of cluster nodes: frequency ends in 24, call from 26, comment from 39, time at 70.
    EXPECT_EQ(line, "DX de DITA-#:     7036.2  UR7R         CW    17 dB  18 WPM  CQ        1234Z");
    server.broadcast(line);
    EXPECT_NE(readUntil(server, client, "1234Z\r\n").find(line + "\r\n"), std::string::npos);
    server.poll(50);
    char buffer[256];
    EXPECT_LE(::recv(lurker, buffer, sizeof buffer, MSG_DONTWAIT), 0);
    ::send(client, "bye\r\n", 5, 0);
    EXPECT_NE(readUntil(server, client, "73 DL1ABC"), "");
    ::close(client);
    ::close(lurker);
}

} // namespace

// dita-skimmer: a CW skimmer service. Decodes every CW signal of a wideband I/Q recording or
// stream, and serves the calls of calling stations as spots over telnet, as a DX-cluster node
// does: loggers (tlf, CQRLOG, ...) and cluster clients connect to it and log in with their call.
// Spot lines also go to standard output.
#include "skim/ClusterServer.h"
#include "skim/IqSource.h"
#include "skim/Skimmer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using namespace dita;

namespace {

constexpr const char* kDefaultTelnet = "127.0.0.1:7300";
constexpr double kDefaultRateHz = 192000.0;
constexpr double kSoundRateHz = 48000.0;
constexpr double kBlockSeconds = 0.05;

std::atomic<bool> g_stop{false};

void onSignal(int) {
    g_stop = true;
}

const char* usage() {
    return "usage: dita-skimmer (--iq FILE | --soapy ARGS | --sound DEVICE) [options]\n"
           "Decodes every CW signal in a wideband I/Q recording or stream and serves the calls\n"
           "of calling stations as DX-cluster spots over telnet (log in with your call).\n"
           "  --iq FILE         a stereo I/Q recording (left I, right Q), played at real-time\n"
           "                    pace (see --fast)\n"
           "  --soapy ARGS      an SDR through SoapySDR, e.g. \"driver=rtlsdr\" (\"\" for the "
           "first\n"
           "                    device; SoapySDRUtil --find lists them); the arguments go\n"
           "                    to the stream too, e.g. \"driver=audio,chan=stereo_iq\" for\n"
           "                    a sound-card SDR through SoapySDR's audio module\n"
           "  --sound DEVICE    a two-channel sound card through PortAudio (number or part of the\n"
           "                    name; --list-sound lists them)\n"
           "  --center-hz HZ    radio frequency of the centre (default: from the file name; "
           "needed\n"
           "                    for --soapy, which tunes the device there)\n"
           "  --rigctld HOST:PORT  take the centre from the rig's frequency through rigctld\n"
           "                    (instead of --center-hz)\n"
           "  --rate HZ         sample rate for --soapy (default 192000) or --sound (default "
           "48000)\n"
           "  --swap-iq         I is on the right channel, Q on the left\n"
           "  --telnet ADDR:PORT  where spots are served (default 127.0.0.1:7300)\n"
           "  --spotter CALL    the node's call in spot lines (default DITA-#)\n"
           "  --fast            decode a recording as fast as possible instead of in real time\n"
           "  --list-sound      list the sound inputs with two channels and exit\n"
           "  --help\n";
}

struct Options {
    std::string iqFile, soapy, sound;
    bool haveSoapy = false;
    double centerHz = 0.0;
    double rateHz = 0.0;
    bool swapIq = false;
    std::string telnet = kDefaultTelnet;
    std::string spotter = "DITA-#";
    std::string rigctld;
    bool fast = false;
    bool listSound = false;
    bool help = false;
};

bool parse(int argc, char** argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto number = [&](double& out, double max) {
            std::string v;
            if (!value(v)) return false;
            char* end = nullptr;
            out = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !std::isfinite(out) || out <= 0 || out > max) {
                error = arg + " takes a frequency in Hz, not '" + v + "'";
                return false;
            }
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--iq") {
            if (!value(o.iqFile)) return false;
        } else if (arg == "--soapy") {
            if (!value(o.soapy)) return false;
            o.haveSoapy = true;
        } else if (arg == "--sound") {
            if (!value(o.sound)) return false;
        } else if (arg == "--center-hz") {
            if (!number(o.centerHz, 1e11)) return false;
        } else if (arg == "--rate") {
            if (!number(o.rateHz, 20e6)) return false;
        } else if (arg == "--swap-iq") {
            o.swapIq = true;
        } else if (arg == "--telnet") {
            if (!value(o.telnet)) return false;
        } else if (arg == "--spotter") {
            if (!value(o.spotter)) return false;
        } else if (arg == "--rigctld") {
            if (!value(o.rigctld)) return false;
        } else if (arg == "--fast") {
            o.fast = true;
        } else if (arg == "--list-sound") {
            o.listSound = true;
        } else {
            error = "unknown option " + arg + " (see --help)";
            return false;
        }
    }
    const int sources = !o.iqFile.empty() + o.haveSoapy + !o.sound.empty();
    if (!o.help && !o.listSound && sources != 1) {
        error = "give one input: --iq FILE, --soapy ARGS or --sound DEVICE (see --help)";
        return false;
    }
    if (o.haveSoapy && o.centerHz <= 0 && o.rigctld.empty()) {
        error = "--soapy needs --center-hz (or --rigctld): the device is tuned there";
        return false;
    }
    return true;
}

// The rig's frequency from rigctld ("f"), for the centre of a receiver that follows the rig
// (a panadapter on its IF output, or an SDR tuned with it). 0 and a message when it fails.
double rigFrequencyHz(const std::string& address, std::string& error) {
    const size_t colon = address.rfind(':');
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    const std::string host = colon == std::string::npos ? address : address.substr(0, colon);
    const int port = colon == std::string::npos ? 4532 : std::atoi(address.c_str() + colon + 1);
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 || port <= 0 || port > 65535) {
        error = "--rigctld takes HOST:PORT with an IPv4 address, not '" + address + "'";
        return 0.0;
    }
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string reply;
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, "f\n", 2, MSG_NOSIGNAL) == 2) {
        char buffer[128];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer - 1, 0);
        if (got > 0) reply.assign(buffer, static_cast<size_t>(got));
    }
    if (fd >= 0) ::close(fd);
    const double hz = std::atof(reply.c_str());
    if (!(hz > 0)) error = "no frequency from rigctld at " + address;
    return hz > 0 ? hz : 0.0;
}

void printSpot(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!parse(argc, argv, o, error)) {
        std::fprintf(stderr, "dita-skimmer: %s\n", error.c_str());
        return 2;
    }
    if (o.help) {
        std::fputs(usage(), stdout);
        return 0;
    }
    if (o.listSound) {
        std::fputs(listSoundCards().c_str(), stdout);
        return 0;
    }
    if (!o.rigctld.empty() && o.centerHz <= 0) {
        o.centerHz = rigFrequencyHz(o.rigctld, error);
        if (o.centerHz <= 0) {
            std::fprintf(stderr, "dita-skimmer: %s\n", error.c_str());
            return 1;
        }
    }
    std::unique_ptr<IqSource> source;
    if (!o.iqFile.empty())
        source = openIqFile(o.iqFile, o.swapIq, error);
    else if (o.haveSoapy)
        source = openSoapy(o.soapy, o.centerHz, o.rateHz > 0 ? o.rateHz : kDefaultRateHz, error);
    else
        source = openSoundCard(o.sound, o.rateHz > 0 ? o.rateHz : kSoundRateHz, o.swapIq, error);
    if (!source) {
        std::fprintf(stderr, "dita-skimmer: %s\n", error.c_str());
        return 1;
    }
    SkimmerSettings settings;
    settings.centerHz = o.centerHz > 0 ? o.centerHz : source->centerHzHint();
    if (settings.centerHz <= 0)
        std::fprintf(stderr, "dita-skimmer: no centre frequency (--center-hz): spots give offsets "
                             "from the centre\n");
    Skimmer skimmer;
    try {
        skimmer.configure(source->rateHz(), settings);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dita-skimmer: %s\n", e.what());
        return 1;
    }
    ClusterServer server(o.spotter);
    if (!server.listen(o.telnet, error)) {
        std::fprintf(stderr, "dita-skimmer: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "dita-skimmer: %.0f Hz I/Q centred on %.1f kHz; spots on telnet %s as %s\n",
                 source->rateHz(), settings.centerHz / 1000.0, o.telnet.c_str(), o.spotter.c_str());
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    const int block = std::max(1, static_cast<int>(source->rateHz() * kBlockSeconds));
    std::vector<std::complex<float>> samples(static_cast<size_t>(block));
    const auto start = std::chrono::steady_clock::now();
    long long frames = 0;
    auto serve = [&](const SkimResult& r) {
        for (const auto& s : r.spots) {
            const std::string line =
                formatClusterSpot(clusterSpotOf(s, o.spotter, std::time(nullptr)));
            server.broadcast(line);
            printSpot(line);
        }
    };
    int status = 0;
    while (!g_stop) {
        const int got = source->read(samples.data(), block);
        if (got < 0) {
            std::fprintf(stderr, "dita-skimmer: %s\n", source->error().c_str());
            status = 1;
            break;
        }
        if (got == 0 && !source->live()) break;
        frames += got;
        serve(skimmer.process(samples.data(), got));
        // A recording plays at real-time pace (unless --fast): the wait serves the clients.
        int waitMs = 0;
        if (!source->live() && !o.fast) {
            const double ahead =
                static_cast<double>(frames) / source->rateHz() -
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            waitMs = std::max(0, static_cast<int>(ahead * 1000.0));
        }
        server.poll(waitMs);
    }
    serve(skimmer.finish());
    // Clients get what is queued before the server closes.
    for (int i = 0; i < 10; ++i)
        server.poll(20);
    return status;
}

#pragma once
// Spots: picking the calls of calling stations out of decoded text, and the DX-cluster line
// that announces them.
//
// A call counts as read when it follows CQ, TEST or DE within three words, or repeats the word
// before it ("CQ TEST K1ABC K1ABC"). A station is spotted once the same call is read twice in
// its channel: a call busted once by noise is not read the same way again, so it stays out; nor
// is the start of a call already spotted, which fades and ends of overs cut the same way.
// Plain classes, no Qt; one CallReader per channel, on the decoding thread.
#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace dita {

// Looks like an amateur call: a prefix of letters and digits, a digit, a suffix of one to four
// letters, and optionally a "/" and a portable designator (K1ABC, HB9XY, 9A1X, S53ABC/P).
bool isCallsign(std::string_view word);

struct CallRead {
    std::string call;
    bool calling = false; // read after CQ or TEST (a station calling), not only after DE
};

class CallReader {
public:
    void reset();
    // Feeds decoded text (any case; word spaces and line ends separate words). Calls now read
    // twice are appended to spotted, once each.
    void feed(std::string_view text, std::vector<CallRead>& spotted);

private:
    void endWord(std::vector<CallRead>& spotted);
    // Whether call is the start of a call already spotted here: that station's call cut short by
    // a fade or the end of an over (K1ABC read as K1AB), however often, is not another station.
    bool cutFromASpottedCall(const std::string& call) const;

    static constexpr int kContextWords = 3;
    std::string m_word;
    std::array<std::string, kContextWords> m_recent; // newest first
    struct Reads {
        int count = 0;
        bool calling = false;
        bool spotted = false;
    };
    std::map<std::string, Reads> m_reads;
};

// One spot as the cluster network carries it.
struct ClusterSpot {
    std::string spotter; // e.g. "DITA-#"
    double freqHz = 0.0; // radio frequency
    std::string call;
    int snrDb = 0;
    int wpm = 0;
    std::string kind; // "CQ" or "DX"
    int utcHour = 0;
    int utcMinute = 0;
};

// "DX de DITA-#:    7036.2  UR7R         CW    17 dB  18 WPM  CQ      1234Z": the frequency
// in kHz ends in column 24, the call starts in column 26, the comment in column 39 and the
// time in column 70, as cluster nodes and the skimmer network print them.
std::string formatClusterSpot(const ClusterSpot& spot);

} // namespace dita

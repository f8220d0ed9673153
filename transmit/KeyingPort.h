#pragma once
// Keying and PTT on the modem-control lines (DTR, RTS) of a serial port.
//
// Who calls it: the window thread (Output Device / Port / Invert items, the PTT dialog, the COM
// port dialog, shutdown), the send threads (SetKeyLines / SetPttLines while keying) and the PTT
// hold timer thread. Line writes are serialised by a mutex, so a port can be reopened by the
// window while a send thread keys. No Qt.
#include "transmit/Messages.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace dita {

constexpr int32_t kKeyDown = 3; // KeyState values
constexpr int32_t kKeyUp = 0;

enum class ModemLine { Dtr, Rts };

// An open device whose modem-control lines can be raised and lowered.
class ModemLines {
public:
    virtual ~ModemLines() = default;
    virtual void setLine(ModemLine line, bool raised) = 0;
};

// A real serial device: open(2) read/write, exclusive (TIOCEXCL), lines through
// ioctl(TIOCMBIS / TIOCMBIC). Linux raises DTR and RTS on open, so both are cleared at once.
class SerialDevice : public ModemLines {
public:
    // Opens path; nullptr (and the reason in *error) when it cannot be opened or is no terminal.
    static std::unique_ptr<SerialDevice> open(const std::string& path, std::string* error);
    ~SerialDevice() override;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;
    void setLine(ModemLine line, bool raised) override;

private:
    explicit SerialDevice(int fd) : m_fd(fd) {}
    int m_fd;
};

// Device file of COM n: $DITA_HOME/com<n> (or ~/.dita/com<n>) when it exists, else
// COM 1-32 = /dev/ttyS0-31, 33-64 = /dev/ttyUSB0-31, 65-96 = /dev/ttyACM0-31; empty otherwise.
std::string comDevicePath(int32_t n);

enum OutputDeviceKind : int32_t { kOutputSoundCard = 0, kOutputSerialPort = 1 };
enum OutputPortKind : int32_t { kOutputPortNumber = 1, kOutputPortNone = 2 };
enum KeyInvertKind : int32_t { kKeyNormal = 1, kKeyInverted = 2 };

constexpr int32_t kSerialMaxWpm = 50; // the serial lines cannot follow faster keying
inline constexpr const char* kSerialSpeedNoteText =
    "Use the sound card output for code speeds greater than 50 wpm!";

// The PTT dialog's line assignment. A line is never both data and PTT, at most one is PTT.
struct PttSettings {
    bool DtrIsData = true;
    bool RtsIsData = true;
    bool DtrIsPtt = false;
    bool RtsIsPtt = false;
    bool PttEnable = false;
    bool PttInvert = false;
};

inline constexpr const char* kComOpenFailedText =
    "Failed to open the COMs device,\nSelect a new Com port number";

class KeyingPort {
public:
    using Opener = std::function<std::unique_ptr<ModemLines>(const std::string& path)>;
    using PathForNumber = std::function<std::string(int32_t n)>;

    // opener/pathFor default to the real serial devices and comDevicePath.
    explicit KeyingPort(MessageSink messages, Opener opener = {}, PathForNumber pathFor = {});

    // Opens COM n when the serial port is the output device and a port number is in use;
    // reopening the open port does nothing. Failure shows kComOpenFailedText and leaves the
    // port closed. Key lines end up released either way.
    void OpenComPort(int32_t n);
    // Opens a device file directly (dita-send --serial /dev/...), same rules otherwise.
    void openDevice(const std::string& path);
    void ClosePort();
    bool PortOpen() const;

    // state 3 sets every data line (key down), 0 clears them; KeyInvert 2 swaps the two.
    void SetKeyLines(int32_t state);
    // Drives the PTT line: on when it is the PTT line, enable holds and KeyState is not 0;
    // PttInvert swaps the levels. Only the PTT lines are written: a PTT update never touches a
    // data line, so it cannot key the transmitter.
    void SetPttLines(bool dtrPtt, bool rtsPtt, bool enable, bool invert);
    // SetPttLines with the current PTT settings, enable = PttEnable && enable.
    void updatePtt(bool enable = true);
    // CAT PTT, one more PTT choice beside the DTR/RTS lines: when set, every PTT update also
    // goes to this function (on = enable holds and KeyState is not 0), so the rig's PTT gets
    // the same lead and tail as a PTT line. Empty: no CAT PTT. Called outside the line lock.
    using CatPtt = std::function<void(bool on)>;
    void setCatPtt(CatPtt ptt);

    // Settings (window thread writes, send threads read).
    std::atomic<int32_t> OutputDevice{kOutputSerialPort};
    std::atomic<int32_t> OutputPort{kOutputPortNone};
    std::atomic<int32_t> KeyInvert{kKeyNormal};
    std::atomic<int32_t> KeyState{kKeyUp};

    PttSettings ptt() const;
    void setPtt(const PttSettings& settings);

private:
    void openPath(const std::string& path, int32_t number);
    void writeLine(ModemLine line, bool raised); // m_mutex held

    MessageSink m_messages;
    Opener m_opener;
    PathForNumber m_pathFor;
    mutable std::mutex m_mutex;
    std::unique_ptr<ModemLines> m_lines;
    int32_t m_lastNumber = 0;
    std::string m_lastPath;
    PttSettings m_ptt;
    CatPtt m_catPtt; // guarded by m_mutex
};

} // namespace dita

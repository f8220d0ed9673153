#include "transmit/KeyingPort.h"

#include "common/DitaPaths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace dita {

namespace {

constexpr int32_t kPortsPerFamily = 32;
constexpr const char* kDeviceFamilies[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};

int lineBit(ModemLine line) {
    return line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
}

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        return nullptr;
    };
    if (path.empty()) return fail("no such device");
    // Non-blocking so a port whose carrier is down does not hang the open.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    // Opening raised DTR and RTS: release them before anything else so the rig is not keyed.
    const int both = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &both);
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        return fail(why);
    }
    // No sharing: other programs cannot open the port while DITA holds it.
    ioctl(fd, TIOCEXCL);
    return std::unique_ptr<SerialDevice>(new SerialDevice(fd));
}

SerialDevice::~SerialDevice() {
    const int both = TIOCM_DTR | TIOCM_RTS;
    ioctl(m_fd, TIOCMBIC, &both);
    ::close(m_fd);
}

void SerialDevice::setLine(ModemLine line, bool raised) {
    const int bit = lineBit(line);
    // Like the line calls of the original, results are ignored: a vanished USB adapter keys
    // nothing, and the next open reports the trouble.
    ioctl(m_fd, raised ? TIOCMBIS : TIOCMBIC, &bit);
}

std::string comDevicePath(int32_t n) {
    if (n < 1) return {};
    try {
        const auto link = ditaFolder() / ("com" + std::to_string(n));
        if (std::filesystem::exists(link)) return link.string();
    } catch (const std::exception&) {
        // No DITA folder: fall back to the fixed mapping.
    }
    const int32_t family = (n - 1) / kPortsPerFamily;
    if (family >= static_cast<int32_t>(std::size(kDeviceFamilies))) return {};
    return kDeviceFamilies[family] + std::to_string((n - 1) % kPortsPerFamily);
}

KeyingPort::KeyingPort(MessageSink messages, Opener opener, PathForNumber pathFor)
    : m_messages(std::move(messages)), m_opener(std::move(opener)), m_pathFor(std::move(pathFor)) {
    if (!m_opener) {
        m_opener = [](const std::string& path) -> std::unique_ptr<ModemLines> {
            return SerialDevice::open(path, nullptr);
        };
    }
    if (!m_pathFor) m_pathFor = comDevicePath;
}

void KeyingPort::OpenComPort(int32_t n) {
    if (OutputDevice.load() != kOutputSerialPort) return;
    openPath(m_pathFor(n), n);
}

void KeyingPort::openDevice(const std::string& path) {
    if (OutputDevice.load() != kOutputSerialPort) return;
    openPath(path, 0);
}

void KeyingPort::openPath(const std::string& path, int32_t number) {
    {
        std::lock_guard lock(m_mutex);
        if (m_lines && number == m_lastNumber && path == m_lastPath) return;
    }
    if (OutputPort.load() == kOutputPortNumber) {
        std::unique_lock lock(m_mutex);
        m_lines.reset(); // the old port closes before the new one opens
        m_lines = m_opener(path);
        m_lastNumber = number;
        m_lastPath = path;
        if (!m_lines) {
            lock.unlock();
            if (m_messages) m_messages(kComOpenFailedText, kCommIoErrorCaption);
        }
    }
    KeyState = kKeyUp;
    SetKeyLines(kKeyUp);
    // The open cleared every line, which is "transmit" for an inverted PTT line: put the PTT
    // line back to its released level at once.
    updatePtt(false);
}

void KeyingPort::ClosePort() {
    std::lock_guard lock(m_mutex);
    m_lines.reset();
}

bool KeyingPort::PortOpen() const {
    std::lock_guard lock(m_mutex);
    return m_lines != nullptr;
}

void KeyingPort::writeLine(ModemLine line, bool raised) {
    if (m_lines) m_lines->setLine(line, raised);
}

void KeyingPort::SetKeyLines(int32_t state) {
    bool down = state == kKeyDown;
    if (KeyInvert.load() == kKeyInverted) down = !down;
    std::lock_guard lock(m_mutex);
    if (m_ptt.DtrIsData) writeLine(ModemLine::Dtr, down);
    if (m_ptt.RtsIsData) writeLine(ModemLine::Rts, down);
}

void KeyingPort::SetPttLines(bool dtrPtt, bool rtsPtt, bool enable, bool invert) {
    const bool keyed = KeyState.load() != kKeyUp;
    CatPtt cat;
    {
        std::lock_guard lock(m_mutex);
        if (dtrPtt) writeLine(ModemLine::Dtr, (enable && keyed) != invert);
        if (rtsPtt) writeLine(ModemLine::Rts, (enable && keyed) != invert);
        cat = m_catPtt;
    }
    // A CAT command takes a round trip to the rig: it must not hold up line writes meanwhile.
    if (cat) cat(enable && keyed);
}

void KeyingPort::setCatPtt(CatPtt ptt) {
    std::lock_guard lock(m_mutex);
    m_catPtt = std::move(ptt);
}

void KeyingPort::updatePtt(bool enable) {
    const PttSettings p = ptt();
    SetPttLines(p.DtrIsPtt, p.RtsIsPtt, p.PttEnable && enable, p.PttInvert);
}

PttSettings KeyingPort::ptt() const {
    std::lock_guard lock(m_mutex);
    return m_ptt;
}

void KeyingPort::setPtt(const PttSettings& settings) {
    std::lock_guard lock(m_mutex);
    m_ptt = settings;
}

} // namespace dita

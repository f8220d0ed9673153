#include "app/config/ConfigFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dita {

namespace {

// Visits every record in file order with its storage; the same walk encodes and decodes.
template <typename Records, typename Visitor>
void forEachRecord(Records& r, Visitor&& v) {
    v(r.headerWord); v(r.signalBar); v(r.xmitSpeed); v(r.reserved4); v(r.serialToneFreq); v(r.tunedBin);
    v(r.macros);
    v(r.textCase); v(r.textBold); v(r.rxSpeedLock); v(r.spacesMode); v(r.spaceTime); v(r.afcWidth);
    v(r.fontSize); v(r.outputPort); v(r.portInUse); v(r.timelineTop); v(r.timelineLeft);
    v(r.timelineHeight); v(r.timelineWidth); v(r.mainTop); v(r.mainLeft); v(r.coarseGainBar);
    v(r.thresholdMode); v(r.reserved25); v(r.noiseFilter); v(r.displayGain); v(r.decoder);
    v(r.inputChannel); v(r.keyInvert); v(r.prosigns); v(r.reserved32); v(r.nonEnglish); v(r.sidetoneOn);
    v(r.stayOnTop); v(r.reserved36); v(r.messaging); v(r.timelineShown); v(r.inputDeviceId);
    v(r.comPortNumber); v(r.afcStartFreq); v(r.spacesModeAgain); v(r.displayType); v(r.reserved44);
    v(r.outputDevice); v(r.sidetoneFreq); v(r.sidetoneWaveform); v(r.contactCounter); v(r.reserved49);
    for (auto& w : r.timingWeights) v(w);
    v(r.rxSpeedLockAgain); v(r.transmitScreen); v(r.scrolling); v(r.background);
    v(r.myName); v(r.myQth); v(r.myCall); v(r.qth);
    for (auto& p : r.ptt) v(p);
    v(r.afcTimer); v(r.textDisplay); v(r.beaconCarrierTime); v(r.band); v(r.screenOpMode);
}

template <typename T>
constexpr size_t fieldSize() {
    if constexpr (std::is_same_v<T, std::array<MacroSlot, kMacroSlots>>) return kMacroSlots * kMacroSlotBytes;
    else return sizeof(T);
}

void putLittle(uint8_t* out, uint32_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t getLittle(const uint8_t* in, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(in[i]) << (8 * i);
    return v;
}

class Encoder {
public:
    explicit Encoder(std::vector<uint8_t>& out) : m_out(out) {}
    void operator()(const int32_t& v) { append(static_cast<uint32_t>(v), 4); }
    void operator()(const uint8_t& v) { append(v, 1); }
    void operator()(const float& v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        append(bits, 4);
    }
    void operator()(const ConfigText& t) { m_out.insert(m_out.end(), t.begin(), t.end()); }
    void operator()(const std::array<MacroSlot, kMacroSlots>& slots) {
        for (const auto& s : slots) m_out.insert(m_out.end(), s.begin(), s.end());
    }

private:
    void append(uint32_t v, size_t n) {
        uint8_t b[4];
        putLittle(b, v, n);
        m_out.insert(m_out.end(), b, b + n);
    }
    std::vector<uint8_t>& m_out;
};

class Decoder {
public:
    Decoder(const uint8_t* in, size_t size) : m_in(in), m_size(size) {}
    template <typename T>
    void operator()(T& field) {
        constexpr size_t n = fieldSize<T>();
        if (m_stopped || m_pos + n > m_size) {
            m_stopped = true;  // a short file: this and every later record keep their values
            return;
        }
        read(field);
        m_pos += n;
        ++m_records;
    }
    int records() const { return m_records; }

private:
    void read(int32_t& v) { v = static_cast<int32_t>(getLittle(m_in + m_pos, 4)); }
    void read(uint8_t& v) { v = m_in[m_pos]; }
    void read(float& v) {
        const uint32_t bits = getLittle(m_in + m_pos, 4);
        std::memcpy(&v, &bits, 4);
    }
    void read(ConfigText& t) {
        std::memcpy(t.data(), m_in + m_pos, t.size());
        t.back() = 0;  // a foreign file may not terminate its strings
    }
    void read(std::array<MacroSlot, kMacroSlots>& slots) {
        for (size_t k = 0; k < slots.size(); ++k) {
            std::memcpy(slots[k].data(), m_in + m_pos + k * kMacroSlotBytes, kMacroSlotBytes);
            slots[k].back() = 0;
        }
    }

    const uint8_t* m_in;
    size_t m_size;
    size_t m_pos = 0;
    int m_records = 0;
    bool m_stopped = false;
};

// A new settings file: read and write for all, less the umask, as any file the program makes.
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
constexpr mode_t kAnyWrite = S_IWUSR | S_IWGRP | S_IWOTH;

// What a path is when it is not a regular file, for the operator's message.
std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Write-protected: no write permission at all (root included, who may write anyway), or none
// for this user.
bool writeProtected(const std::filesystem::path& path, const struct stat& st) {
    return (st.st_mode & kAnyWrite) == 0 || ::access(path.c_str(), W_OK) != 0;
}

// The file a save replaces: the path itself, or the file a link at the path names, so that
// the operator's link survives the save.
std::filesystem::path saveTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        std::filesystem::path resolved = std::filesystem::canonical(path, ec);
        if (!ec) return resolved;
    }
    return path;
}

std::filesystem::path tempPath(const std::filesystem::path& target) {
    return target.string() + ".tmp";
}

bool writeAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

RecordLayout recordLayout(int record) {
    ConfigRecords r;
    size_t offset = 0;
    int n = 0;
    RecordLayout found{0, 0};
    // The macro slots are one record; the timing weights and PTT bytes are one record each.
    forEachRecord(r, [&](auto& field) {
        const size_t size = fieldSize<std::decay_t<decltype(field)>>();
        if (++n == record) found = {offset, size};
        offset += size;
    });
    return found;
}

std::vector<uint8_t> encodeConfig(const ConfigRecords& records) {
    std::vector<uint8_t> out;
    out.reserve(kConfigFileBytes);
    Encoder encoder(out);
    forEachRecord(records, encoder);
    return out;
}

int decodeConfig(const uint8_t* bytes, size_t size, ConfigRecords& records) {
    Decoder decoder(bytes, size);
    forEachRecord(records, decoder);
    return decoder.records();
}

ConfigFileRead readConfigFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
    ConfigFileRead result;
    bytes.clear();
    auto foreign = [&result](std::string reason) {
        result.status = ConfigFileRead::Status::Foreign;
        result.reason = std::move(reason);
        return result;
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        struct stat link {};
        if (err == ENOENT && ::lstat(path.c_str(), &link) != 0) return result;  // a first run
        return foreign(err == ENOENT ? "a link to a file that does not exist" : std::strerror(err));
    }
    // Looked at before opening: opening a FIFO waits for a writer, and opening a serial device
    // raises its modem lines.
    if (!S_ISREG(st.st_mode)) return foreign(kindOf(st.st_mode));
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return foreign(std::strerror(errno));
    // The path may have been replaced between the look and the open: check what was opened.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return foreign(kindOf(st.st_mode));
    }
    bytes.resize(std::min(static_cast<size_t>(st.st_size), kConfigFileBytes));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            bytes.clear();
            return foreign(std::strerror(err));
        }
        if (n == 0) break;  // the file shrank since it was looked at
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    result.status = ConfigFileRead::Status::Read;
    result.writeProtected = writeProtected(path, st);
    return result;
}

bool writeConfigFile(const std::filesystem::path& path, const ConfigRecords& records, std::string& error) {
    const std::filesystem::path target = saveTarget(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        error = target.string() + " is " + kindOf(st.st_mode) + ", not a settings file";
        return false;
    }
    if (exists && writeProtected(target, st)) {
        error = target.string() + " is write-protected";
        return false;
    }
    const std::vector<uint8_t> bytes = encodeConfig(records);
    const std::filesystem::path temp = tempPath(target);
    // No following a link and no waiting on a FIFO that someone left under the temporary name.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          kNewFileMode);
    if (fd < 0) {
        error = "cannot create " + temp.string() + ": " + std::strerror(errno);
        return false;
    }
    // The replacement gets the permissions the operator gave the file before anything is in it.
    const bool kept = !exists || ::fchmod(fd, st.st_mode & kPermissionBits) == 0;
    const bool written = kept && writeAll(fd, bytes);
    const bool flushed = written && ::fsync(fd) == 0;
    const int err = errno;
    const bool closed = ::close(fd) == 0;
    if (!kept || !written || !flushed || !closed) {
        error = "cannot write " + temp.string() + ": " + std::strerror(closed ? err : errno);
        std::remove(temp.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        error = "cannot replace " + target.string() + ": " + ec.message();
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool removeStaleConfigTemp(const std::filesystem::path& path) {
    const std::filesystem::path temp = tempPath(saveTarget(path));
    struct stat st {};
    return ::lstat(temp.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(temp.c_str()) == 0;
}

} // namespace dita

#include "app/config/ConfigFile.h"

#include <algorithm>
#include <cstring>

namespace dita {

namespace {

// Visits every record in file order with its storage; the same walk encodes and decodes.
template <typename Records, typename Visitor> void forEachRecord(Records& r, Visitor&& v) {
    v(r.headerWord);
    v(r.signalBar);
    v(r.xmitSpeed);
    v(r.reserved4);
    v(r.serialToneFreq);
    v(r.tunedBin);
    v(r.macros);
    v(r.textCase);
    v(r.textBold);
    v(r.rxSpeedLock);
    v(r.spacesMode);
    v(r.spaceTime);
    v(r.afcWidth);
    v(r.fontSize);
    v(r.outputPort);
    v(r.portInUse);
    v(r.timelineTop);
    v(r.timelineLeft);
    v(r.timelineHeight);
    v(r.timelineWidth);
    v(r.mainTop);
    v(r.mainLeft);
    v(r.coarseGainBar);
    v(r.thresholdMode);
    v(r.reserved25);
    v(r.noiseFilter);
    v(r.displayGain);
    v(r.decoder);
    v(r.inputChannel);
    v(r.keyInvert);
    v(r.prosigns);
    v(r.reserved32);
    v(r.nonEnglish);
    v(r.sidetoneOn);
    v(r.stayOnTop);
    v(r.reserved36);
    v(r.messaging);
    v(r.timelineShown);
    v(r.inputDeviceId);
    v(r.comPortNumber);
    v(r.afcStartFreq);
    v(r.spacesModeAgain);
    v(r.displayType);
    v(r.reserved44);
    v(r.outputDevice);
    v(r.sidetoneFreq);
    v(r.sidetoneWaveform);
    v(r.contactCounter);
    v(r.reserved49);
    for (auto& w : r.timingWeights)
        v(w);
    v(r.rxSpeedLockAgain);
    v(r.transmitScreen);
    v(r.scrolling);
    v(r.background);
    v(r.myName);
    v(r.myQth);
    v(r.myCall);
    v(r.qth);
    for (auto& p : r.ptt)
        v(p);
    v(r.afcTimer);
    v(r.textDisplay);
    v(r.beaconCarrierTime);
    v(r.band);
    v(r.screenOpMode);
}

template <typename T> constexpr size_t fieldSize() {
    if constexpr (std::is_same_v<T, std::array<MacroSlot, kMacroSlots>>)
        return kMacroSlots * kMacroSlotBytes;
    else
        return sizeof(T);
}

void putLittle(uint8_t* out, uint32_t v, size_t n) {
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t getLittle(const uint8_t* in, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v |= static_cast<uint32_t>(in[i]) << (8 * i);
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
        for (const auto& s : slots)
            m_out.insert(m_out.end(), s.begin(), s.end());
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
    template <typename T> void operator()(T& field) {
        constexpr size_t n = fieldSize<T>();
        if (m_stopped || m_pos + n > m_size) {
            m_stopped = true; // a short file: this and every later record keep their values
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
        t.back() = 0; // a foreign file may not terminate its strings
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
    return readStoredFile(path, kConfigFileBytes, bytes);
}

bool writeConfigFile(const std::filesystem::path& path, const ConfigRecords& records,
                     std::string& error) {
    return writeStoredFile(path, encodeConfig(records), error);
}

bool removeStaleConfigTemp(const std::filesystem::path& path) {
    return removeStaleStoredTemp(path);
}

} // namespace dita

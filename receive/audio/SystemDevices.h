#pragma once
// The real sound inputs: PortAudio capture devices and a sound file played at real-time pace.
//
// Numbering: device 0 is PortAudio's default input, then every other device with input
// channels in PortAudio's order; a sound file given on the command line is one more device at
// the end. Who calls it: SystemDeviceCatalog is made on the window thread at start-up (that
// fixes the count); devices it creates are driven by the receive loop's worker thread.
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "receive/audio/InputDevice.h"

namespace dita {

// A sound file decoded once into 16-bit stereo frames at 44,100 Hz (mono files are doubled).
struct SoundFileData {
    std::string name;
    std::vector<int16_t> stereoFrames; // interleaved left, right
    int64_t frameCount() const { return static_cast<int64_t>(stereoFrames.size() / 2); }
};

// Reads any file libsndfile reads and resamples it to 44,100 Hz. Throws std::runtime_error
// with a message naming the file when it cannot be read or holds no audio.
std::shared_ptr<const SoundFileData> loadSoundFile(const std::filesystem::path& path);

class PortAudioSession; // keeps PortAudio initialised while any user lives

class SystemDeviceCatalog : public DeviceCatalog {
public:
    explicit SystemDeviceCatalog(std::shared_ptr<const SoundFileData> inputFile = nullptr);
    ~SystemDeviceCatalog() override;

    int count() const override;
    std::string name(int deviceId) const override;
    std::unique_ptr<InputDevice> create(int deviceId) override;

    // The number of the sound-file device, if there is one.
    std::optional<int> fileDeviceId() const;

private:
    std::shared_ptr<PortAudioSession> m_session;
    std::vector<int> m_paIndex;
    std::vector<std::string> m_names;
    std::shared_ptr<const SoundFileData> m_file;
};

} // namespace dita

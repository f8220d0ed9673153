#pragma once
// The real sound inputs: PortAudio capture devices and a sound file played at real-time pace.
//
// Numbering: device 0 is PortAudio's default input, then every other device with input
// channels in PortAudio's order; a sound file given on the command line is one more device at
// the end. Who calls it: SystemDeviceCatalog is made on the window thread at start-up (that
// fixes the count); devices it creates are driven by the receive loop's worker thread.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "receive/audio/InputDevice.h"

namespace dita {

// A sound file offered as one more input device. It is checked once when given; every device
// made from it reads the file from disk in blocks while it plays, so a long recording never
// sits whole in memory.
struct SoundFileInput {
    std::filesystem::path path;
    std::string name; // the file name, shown in the device list
    // Told, on the device's player thread, when the file stops reading before its end, or ends
    // before the length its header gives (the rest plays as silence); may be empty.
    std::function<void(const std::string&)> onReadError;
};

// Checks that the file is one libsndfile reads, at a rate that resamples to 44,100 Hz, and
// that it holds audio. Throws std::runtime_error with a message naming the file otherwise.
SoundFileInput openSoundFileInput(const std::filesystem::path& path);

class PortAudioSession; // keeps PortAudio initialised while any user lives

class SystemDeviceCatalog : public DeviceCatalog {
public:
    explicit SystemDeviceCatalog(std::optional<SoundFileInput> inputFile = std::nullopt);
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
    std::optional<SoundFileInput> m_file;
};

} // namespace dita

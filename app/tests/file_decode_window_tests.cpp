// The whole program path without a sound card: the bundled recording is added as an input
// device (as --input-file does), played at real-time pace into the window's run loop and the
// real receive engine, and the decoded text appears in the receive window.
#include <gtest/gtest.h>

#include <QApplication>

#include <chrono>
#include <thread>
#include <vector>

#include "app/DecoderForm.h"
#include "app/EnginePassProcessor.h"
#include "receive/audio/SystemDevices.h"
#include "receive/audio/tests/PinAlsaPlugins.h"

using namespace dita;
using namespace std::chrono_literals;

TEST(FileDecodeWindowTest, RecordingPlayedAsInputDeviceIsDecodedIntoRcvMemo) {
    int argc = 1;
    char name[] = "file_decode_window_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    dita::test::pinAlsaPlugins();

    SystemDeviceCatalog catalog(
        openSoundFileInput(std::filesystem::path(DITA_DATA_DIR) / "samples" / "cq-20wpm.ogg"));
    EnginePassProcessor processor;
    RecordingMessageService messages;
    int terminated = 0;
    DecoderFormServices s;
    s.catalog = &catalog;
    s.processor = &processor;
    s.messages = &messages;
    s.terminate = [&] { ++terminated; };
    s.startInputDeviceId = catalog.fileDeviceId();
    s.systemTimerMs = 10;
    // The settings file names the operator's sound card; the file is this session's input only.
    constexpr int kStoredCard = 7;
    TDecoderForm* window = nullptr;
    std::vector<int> savedDevices;
    s.loadConfiguration = [&] { window->settings().InputDeviceId = kStoredCard; };
    s.saveConfiguration = [&] { savedDevices.push_back(window->settings().InputDeviceId); };
    KeyingParts keying;
    s.keying = &keying;
    TDecoderForm form(s);
    window = &form;
    ASSERT_TRUE(form.click("Wide1")); // AFC finds the recording's 650 Hz tone
    form.show();

    const auto limit = std::chrono::steady_clock::now() + 40s;
    while (!form.readout().receiveText.contains("cq cq") &&
           std::chrono::steady_clock::now() < limit) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(5ms);
    }
    const QString text = form.readout().receiveText;
    EXPECT_TRUE(text.contains("cq cq")) << text.toStdString();
    EXPECT_EQ(form.settings().InputDeviceId, *catalog.fileDeviceId());
    EXPECT_GT(form.passesShown(), 20); // about 186 ms a pass: played at real-time pace
    const int markerHz = form.readout().marker.remove('\n').toInt();
    EXPECT_NEAR(markerHz, 650, 15);
    EXPECT_TRUE(messages.messages.empty());

    form.Quit1Click();
    EXPECT_EQ(savedDevices, std::vector<int>{kStoredCard});
    EXPECT_EQ(terminated, 1);
    EXPECT_FALSE(form.loopRunning());
}

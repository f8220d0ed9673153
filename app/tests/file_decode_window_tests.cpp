// The whole program path without a sound card: the bundled recording is added as an input
// device (as --input-file does), played at real-time pace into the window's run loop and the
// real receive engine, and the decoded text appears in the receive window; a band's I/Q
// recording (as --iq-file) fills the Band window, and a row click tunes the decoder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTableWidget>
#include <QTest>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "app/DecoderForm.h"
#include "app/EnginePassProcessor.h"
#include "app/IqBand.h"
#include "display/BandMap.h"
#include "display/BandWindow.h"
#include "receive/audio/SystemDevices.h"
#include "receive/audio/tests/PinAlsaPlugins.h"
#include "receive/tests/CwSynth.h"

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

// A band recorded as I/Q (48 kHz around 7,030 kHz, the centre in the file name) given as the
// input, as --iq-file does: the Band window lists both calling stations at their radio
// frequencies with the calls read from them, and a click on one row puts the main decoder on
// that station alone. The other one is 1.4 kHz below, where the receiver's opposite sideband
// would put it on the same pitch: its text must not come into the receive window.
TEST(FileDecodeWindowTest, IqBandIsListedAndARowClickTunesTheDecoderToThatStation) {
    constexpr int kRate = 48000;
    constexpr double kSeconds = 45.0;
    const size_t total = static_cast<size_t>(kRate * kSeconds);
    std::mt19937 rng(3);
    std::normal_distribution<float> gauss(0.0f, 100.0f);
    std::vector<float> iq(2 * total);
    for (float& v : iq)
        v = gauss(rng);
    struct Sender {
        const char* text;
        double offsetHz, wpm;
    };
    const Sender senders[] = {{"CQ CQ DE K1ABC K1ABC K", 5000.0, 24},
                              {"CQ TEST DL2XYZ DL2XYZ", 3600.0, 20}};
    for (const Sender& s : senders) {
        test::CwSignal cw;
        cw.wpm = s.wpm;
        std::string text;
        while (text.size() < 300)
            text += std::string(s.text) + "   ";
        size_t n = 0;
        for (const test::KeyRun& run : test::keying(text, cw)) {
            const size_t count = static_cast<size_t>(run.seconds * kRate);
            const double rise = 0.004 * kRate;
            for (size_t i = 0; i < count && n < total; ++i, ++n) {
                if (!run.down) continue;
                const double edge = std::min({1.0, i / rise, (count - i) / rise});
                const double amplitude = 3000.0 * (0.5 - 0.5 * std::cos(M_PI * edge));
                const double phase = 2.0 * M_PI * s.offsetHz * static_cast<double>(n) / kRate;
                iq[2 * n] += static_cast<float>(amplitude * std::cos(phase));
                iq[2 * n + 1] += static_cast<float>(amplitude * std::sin(phase));
            }
        }
    }
    const auto dir =
        std::filesystem::temp_directory_path() / ("dita-iq-window-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "band_7030000Hz_IQ.wav").string();
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    for (float& v : iq)
        v /= 32768.0f;
    sf_writef_float(f, iq.data(), static_cast<sf_count_t>(total));
    sf_close(f);

    int argc = 1;
    char name[] = "file_decode_window_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    dita::test::pinAlsaPlugins();
    IqBand band(openIqBandSource(path, 0.0, false), 700.0);
    SystemDeviceCatalog devices;
    IqBandCatalog catalog(devices, band);
    EnginePassProcessor processor;
    RecordingMessageService messages;
    DecoderFormServices s;
    s.catalog = &catalog;
    s.processor = &processor;
    s.messages = &messages;
    s.terminate = [] {};
    s.iqBand = &band;
    s.startInputDeviceId = catalog.bandDeviceId();
    s.systemTimerMs = 10;
    KeyingParts keying;
    s.keying = &keying;
    TDecoderForm form(s);
    form.show();
    auto* table = form.findChild<QTableWidget*>("BandTable");
    ASSERT_NE(table, nullptr);

    auto rowOf = [&](const QString& call) {
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, BandWindow::kCallColumn) &&
                table->item(row, BandWindow::kCallColumn)->text() == call)
                return row;
        return -1;
    };
    auto waitFor = [](const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + 40s;
        while (!done() && std::chrono::steady_clock::now() < limit) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(5ms);
        }
    };
    waitFor([&] { return rowOf("K1ABC") >= 0 && rowOf("DL2XYZ") >= 0; });
    const int row = rowOf("K1ABC");
    ASSERT_GE(row, 0) << "no K1ABC row among " << table->rowCount();
    ASSERT_GE(rowOf("DL2XYZ"), 0);
    EXPECT_NEAR(table->item(row, BandWindow::kHzColumn)->text().toDouble(), 7035.0, 0.05);
    EXPECT_NEAR(table->item(rowOf("DL2XYZ"), BandWindow::kHzColumn)->text().toDouble(), 7033.6,
                0.05);
    EXPECT_TRUE(table->isVisible());

    const qsizetype before = form.readout().receiveText.size();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(row, BandWindow::kTextColumn)).center());
    EXPECT_NEAR(band.tunedHz(), 7035000.0, 20.0);
    auto heard = [&] { return form.readout().receiveText.mid(before); };
    waitFor([&] { return heard().count("k1abc") >= 2; });
    EXPECT_GE(heard().count("k1abc"), 2) << heard().toStdString();
    EXPECT_FALSE(heard().contains("dl2xyz")) << heard().toStdString();
    EXPECT_NEAR(form.readout().marker.remove('\n').toInt(), 700, 15);

    // The band map strip over the rows tunes to the signal nearest a click, 300 Hz off it.
    auto* map = form.findChild<BandMap*>("BandMap");
    ASSERT_NE(map, nullptr);
    ASSERT_TRUE(map->isVisible());
    QTest::mouseClick(map, Qt::LeftButton, {},
                      QPoint(static_cast<int>(std::lround(map->xOf(7033300.0))), 10));
    EXPECT_NEAR(band.tunedHz(), 7033600.0, 20.0);

    form.Quit1Click();
    std::filesystem::remove_all(dir);
}

#include "receive/ReceiveEngine.h"

#include "decode/CharacterDecoder.h"
#include "decode/ElementTimer.h"
#include "receive/CommandQueue.h"
#include "receive/chain/BandPassFilter.h"
#include "receive/chain/PowerSpectrum.h"
#include "receive/chain/ToneDetector.h"
#include "receive/enhanced/CwChannelDecoder.h"
#include "receive/enhanced/ToneCapture.h"

#include <algorithm>
#include <cmath>

namespace dita {

namespace {
constexpr int kMinSnrBin = 25;
constexpr int kTuneWidthWpm = 30; // a click designs with the 30 wpm width
constexpr double kSignalBarScale = 0.55;
constexpr uint32_t kSignalBarBlue = 0xFF0000; // BGR
constexpr int kTextReserve = 4096;
constexpr int kCommandReserve = 256;
constexpr float kStartCentre = 4.0f / 1024.0f;
constexpr float kStartHalfWidth = 0.0034351f;
constexpr double kNarrowbandRateHz = kSampleRateHz / 8.0;
constexpr double kPassSeconds = kPassFrames / static_cast<double>(kSampleRateHz);
// The enhanced decoder looks for tones in this range.
constexpr double kCaptureMinHz = 200.0;
constexpr double kCaptureMaxHz = 2500.0;
// Narrowband passes kept so that a newly captured tone is decoded from its first element: the
// capture needs a pass or two of the new tone's spectrum before it takes it. The first tone
// taken after none was tuned is decoded from further back: a weak signal shows in the spectrum
// only seconds after it began (12 s, the length of three or four words at 12 wpm). A tone taken
// over from another sender starts at most a few passes back, where the other one fell silent.
constexpr int kReplayPasses = 8;
constexpr int kFirstReplayPasses = 64;
// Fixed speed modes (RxSpeedLock 3 and above) fix the enhanced decoder's speed too.
constexpr int kFirstFixedSpeedMode = 3;
} // namespace

class ReceiveEngineImpl {
public:
    ReceiveEngineImpl() : m_commands(kCommandReserve) {
        m_result.text.reserve(kTextReserve);
        m_standardText.reserve(kTextReserve);
        m_heldText.reserve(kTextReserve);
        m_filter.design(kStartCentre - kStartHalfWidth, kStartCentre + kStartHalfWidth);
        m_noiseFilter.reset();
        m_capture.configure(kCaptureMinHz, kCaptureMaxHz, kPassSeconds);
        m_channel.configure(kNarrowbandRateHz);
    }

    void post(ReceiveCommand c) { m_commands.post(c); }

    const PassResult& processPass(const int32_t* samples);

    void applyCommands();
    void apply(const ReceiveCommand::DecoderReset&);
    void apply(const ReceiveCommand::TuneToBin& c);
    void apply(const ReceiveCommand::ThresholdMode& c);
    void apply(const ReceiveCommand::NoiseFilter& c);
    void apply(const ReceiveCommand::AfcMode& c);
    void apply(const ReceiveCommand::AfcTimer& c);
    void apply(const ReceiveCommand::ReceiveSpeedMode& c);
    void apply(const ReceiveCommand::TextCase& c);
    void apply(const ReceiveCommand::Prosigns& c);
    void apply(const ReceiveCommand::NonEnglish& c);
    void apply(const ReceiveCommand::TextDisplay& c);
    void apply(const ReceiveCommand::SpacesMode& c);
    void apply(const ReceiveCommand::SpaceTime& c);
    void apply(const ReceiveCommand::DisplayType& c);
    void apply(const ReceiveCommand::DisplayGain& c);
    void apply(const ReceiveCommand::ScreenOpMode& c);
    void apply(const ReceiveCommand::SetTunedBin& c);
    void apply(const ReceiveCommand::LoopEntry&);
    void apply(const ReceiveCommand::Decoder& c);
    void decoderReset();
    void finishEnhanced();
    // The text held back while the capture reconsidered its tone, written now.
    void releaseHeldText(std::string& out);
    void standardDecoderReset();
    void retuneStandard(int bin);
    void enhancedPass(PassResult& r);
    // The narrowband block: the mean of each 8 input samples (5,512.5 samples/s).
    static void narrowband(const int32_t* samples, std::array<float, kNarrowbandBlock>& out);
    bool enhanced() const { return m_decoderChoice == setting::Decoder::Enhanced; }
    // The standard chain's band-pass, decisions and display outputs are worked out: they write
    // the text, or a window shows them.
    bool standardChainRuns() const { return !(m_headless && enhanced()); }

    CommandQueue<ReceiveCommand> m_commands;

    SpectrumAnalyzer m_spectrum;
    Afc m_afc;
    DisplayScaler m_scaler;
    BandPassFilter m_filter;
    NoiseFilter m_noiseFilter;
    ToneDetector m_detector;
    ElementTimer m_timer;
    CharacterDecoder m_decoder;
    DecoderSettings m_decoderSettings;

    int m_tunedBin = 100;
    float m_smoothedCentre = kStartCentre;
    setting::ThresholdMode m_thresholdMode = setting::ThresholdMode::Noisy;
    bool m_noiseFilterOn = false;
    setting::DisplayType m_displayType = setting::DisplayType::Line;
    bool m_receiveOnly = true;
    bool m_keepUnscaled = false;
    bool m_headless = false;
    bool m_standardRested = false; // passes went by without the standard chain

    std::array<float, kSpectrumInput> m_spectrumInput{};
    PowerSpectrum m_power{};
    PowerSpectrum m_unscaled{};
    std::array<float, kNarrowbandBlock> m_narrow{};
    PassResult m_result;

    // The enhanced decoder: its tone capture, one channel decoder, the narrowband passes kept
    // for a newly captured tone, and the standard decoder's text while it is not shown.
    // Until a choice is posted; the programs post theirs.
    setting::Decoder m_decoderChoice = setting::Decoder::Standard;
    ToneCapture m_capture;
    CwChannelDecoder m_channel;
    std::array<float, kNarrowbandBlock> m_rawNarrow{};
    std::array<float, kNarrowbandBlock * kFirstReplayPasses> m_kept{};
    int m_replayPasses = kReplayPasses; // passes the pending replay reaches back
    int m_keptPasses = 0;
    int m_keptNext = 0;
    bool m_pendingReplay = false;
    bool m_lastPassRead = false; // the decoder read the last kept pass before a reset
    bool m_previousPresent = false;
    int m_lastEnhancedWpm = 0;
    std::string m_standardText;
    std::string m_heldText; // decoded while the capture may still take a stronger tone
};

void ReceiveEngineImpl::applyCommands() {
    m_commands.applyPending([this](const ReceiveCommand& c) {
        std::visit([this](const auto& v) { apply(v); }, c.value());
    });
}

void ReceiveEngineImpl::retuneStandard(int bin) {
    m_tunedBin = std::clamp(bin, 1, kSpectrumBins);
    m_afc.setCandidate(m_tunedBin);
    m_smoothedCentre = filterCentreForBin(m_tunedBin);
    const float hw = speedWidth(kTuneWidthWpm);
    m_filter.design(m_smoothedCentre - hw, m_smoothedCentre + hw);
    m_filter.reset(); // the old tone's filter tail would beat against the new one
    m_detector.tuneReset();
    m_timer.resetToAcquisition();
}

void ReceiveEngineImpl::standardDecoderReset() {
    m_detector.decoderReset();
    m_timer.resetToAcquisition();
    m_timer.setSpeeds(kDecoderResetSpeedWpm);
    const float hw = resetHalfWidth(m_timer.speedMode());
    m_filter.design(m_smoothedCentre - hw, m_smoothedCentre + hw);
}

void ReceiveEngineImpl::releaseHeldText(std::string& out) {
    out += m_heldText;
    m_heldText.clear();
}

void ReceiveEngineImpl::finishEnhanced() {
    // What the window had received when the command came is decoded with the timing known so
    // far: the last pass, which the decoder (a pass behind) has not read yet, and the steps its
    // matched detector lags behind. The decoder starts afresh from the next pass on.
    if (!enhanced() || m_lastPassRead) return;
    releaseHeldText(m_result.text);
    if (m_capture.tuned() && m_keptPasses >= 1) {
        m_channel.setGate(m_previousPresent);
        const int index = (m_keptNext - 1 + kFirstReplayPasses) % kFirstReplayPasses;
        m_channel.process(&m_kept[static_cast<size_t>(index) * kNarrowbandBlock], kNarrowbandBlock,
                          m_decoderSettings, m_result.text);
    }
    m_channel.finish(m_decoderSettings, m_result.text);
    m_lastPassRead = true;
}

void ReceiveEngineImpl::decoderReset() {
    finishEnhanced();
    standardDecoderReset();
    m_channel.reset();
}

void ReceiveEngineImpl::apply(const ReceiveCommand::DecoderReset&) {
    decoderReset();
}

void ReceiveEngineImpl::apply(const ReceiveCommand::TuneToBin& c) {
    // Recentre at once on the clicked tone, restart the levels and the speed acquisition.
    finishEnhanced();
    retuneStandard(std::clamp(c.value, 1, kMaxClickBin));
    m_afc.clearHold();
    m_capture.tune((m_tunedBin - 1) * kBinHz);
    m_channel.setPitch(m_capture.pitchHz());
    m_channel.reset();
}

void ReceiveEngineImpl::apply(const ReceiveCommand::ThresholdMode& c) {
    m_thresholdMode = c.value;
    decoderReset();
}

void ReceiveEngineImpl::apply(const ReceiveCommand::NoiseFilter& c) {
    m_noiseFilterOn = c.value == setting::Switch3::On;
    if (m_noiseFilterOn) m_noiseFilter.reset();
    decoderReset();
    if (m_noiseFilterOn) m_detector.noiseFilterReset();
}

void ReceiveEngineImpl::apply(const ReceiveCommand::AfcMode& c) {
    AfcSettings s = afcSettingsForMode(raw(c.value));
    s.holdTimer = m_afc.settings().holdTimer;
    m_afc.setSettings(s);
}

void ReceiveEngineImpl::apply(const ReceiveCommand::AfcTimer& c) {
    AfcSettings s = m_afc.settings();
    s.holdTimer = c.value != setting::OnOff::Off;
    m_afc.setSettings(s);
}

void ReceiveEngineImpl::apply(const ReceiveCommand::ReceiveSpeedMode& c) {
    const int mode = std::clamp(raw(c.value), kSpeedModeAuto, kSpeedModeCount);
    finishEnhanced(); // at the speed it was decoded with
    m_timer.setSpeedMode(mode);
    m_timer.setSpeeds(kSpeedModeWpm[mode]);
    m_channel.setFixedWpm(mode >= kFirstFixedSpeedMode ? kSpeedModeWpm[mode] : 0);
    m_afc.clearHold();
    m_detector.clearSpeedLockPending();
    decoderReset();
}

void ReceiveEngineImpl::apply(const ReceiveCommand::TextCase& c) {
    m_decoderSettings.upperCase = c.value == setting::TextCase::Upper;
}

void ReceiveEngineImpl::apply(const ReceiveCommand::Prosigns& c) {
    m_decoderSettings.prosigns = c.value != setting::OnOff::Off;
}

void ReceiveEngineImpl::apply(const ReceiveCommand::NonEnglish& c) {
    m_decoderSettings.nonEnglish = c.value != setting::OnOff::Off;
}

void ReceiveEngineImpl::apply(const ReceiveCommand::TextDisplay& c) {
    m_decoderSettings.textDisplay = c.value != setting::OnOff::Off;
}

void ReceiveEngineImpl::apply(const ReceiveCommand::SpacesMode& c) {
    m_decoderSettings.wordSpaces = c.value == setting::Switch3::On;
}

void ReceiveEngineImpl::apply(const ReceiveCommand::SpaceTime& c) {
    m_decoderSettings.spaceTime = static_cast<SpaceTime>(std::clamp(raw(c.value), 0, 2));
}

void ReceiveEngineImpl::apply(const ReceiveCommand::DisplayType& c) {
    m_displayType = c.value;
    m_result.clearSpectrumBlack = true;
}

void ReceiveEngineImpl::apply(const ReceiveCommand::DisplayGain& c) {
    m_scaler.setGainPosition(c.value);
}

void ReceiveEngineImpl::apply(const ReceiveCommand::ScreenOpMode& c) {
    m_receiveOnly = c.value == setting::ScreenOpMode::ReceiveOnly;
}

void ReceiveEngineImpl::apply(const ReceiveCommand::SetTunedBin& c) {
    m_tunedBin = std::clamp(c.value, 1, kSpectrumBins);
    m_afc.setCandidate(m_tunedBin);
    m_capture.tune((m_tunedBin - 1) * kBinHz);
    m_channel.setPitch(m_capture.pitchHz());
}

void ReceiveEngineImpl::apply(const ReceiveCommand::LoopEntry&) {
    m_detector.loopEntry();
    m_timer.clearPassCounter();
    m_afc.setCandidate(m_tunedBin);
}

void ReceiveEngineImpl::apply(const ReceiveCommand::Decoder& c) {
    // Any value but Standard is the enhanced decoder, as an unset setting is.
    m_decoderChoice = c.value == setting::Decoder::Standard ? setting::Decoder::Standard
                                                            : setting::Decoder::Enhanced;
}

const PassResult& ReceiveEngineImpl::processPass(const int32_t* s) {
    PassResult& r = m_result;
    r.text.clear();
    r.clearSpectrumBlack = false;
    applyCommands();

    // Spectrum, AFC and the filter centre.
    for (int i = 0; i < kSpectrumInput; ++i)
        m_spectrumInput[i] = static_cast<float>((s[2 * i] + s[2 * i + 1]) / 2);
    m_spectrum.process(m_spectrumInput.data(), m_power);
    if (m_keepUnscaled) m_unscaled = m_power;
    if (enhanced()) {
        // The enhanced capture replaces the AFC; the standard chain follows its tone so that
        // the timeline shows the detector's levels for it.
        const bool enhancedStarted = m_capture.tuned();
        if (m_capture.update(m_power)) {
            retuneStandard(
                (m_tunedBin = static_cast<int>(std::lround(m_capture.pitchHz() / kBinHz)) + 1));
            if (m_capture.replacedWeaker()) {
                m_heldText.clear(); // the weaker sender's, left to the band view and a click
            } else {
                releaseHeldText(r.text);
                if (enhancedStarted) m_channel.endOver(m_decoderSettings, r.text);
            }
            m_channel.setPitch(m_capture.pitchHz());
            m_channel.reset();
            m_pendingReplay = true;
            m_replayPasses = enhancedStarted ? kReplayPasses : kFirstReplayPasses;
        } else if (m_capture.tuned()) {
            m_channel.setPitch(m_capture.pitchHz());
            const int bin = static_cast<int>(std::lround(m_capture.pitchHz() / kBinHz)) + 1;
            if (bin != m_tunedBin) m_tunedBin = bin;
        }
    } else if (m_afc.update(m_power, m_tunedBin, m_detector.rawSnr(), m_detector.longSilence())) {
        m_detector.signalToNoise();
    }
    r.tunedBin = m_tunedBin;
    r.markerHz = static_cast<int>((m_tunedBin - 1) * kBinHz);
    m_smoothedCentre = (3.0f * filterCentreForBin(m_tunedBin) + m_smoothedCentre) / 4.0f;

    // Headless with the enhanced decoder: nobody reads the rest of the standard chain.
    if (!standardChainRuns()) {
        narrowband(s, m_rawNarrow);
        enhancedPass(r);
        m_standardRested = true;
        return r;
    }
    // A standard chain that rested starts afresh on the tuned tone.
    if (m_standardRested) {
        retuneStandard(m_tunedBin);
        m_standardRested = false;
    }

    // Display scaling (in place: the raw SNR below reads the scaled spectrum).
    r.displayType = raw(m_displayType);
    if (m_displayType == setting::DisplayType::Line) {
        m_scaler.line(m_power, m_detector.sideAmplitude(), r.traceHeight.data());
    } else if (m_displayType == setting::DisplayType::Waterfall) {
        m_scaler.waterfall(m_power, r.waterfallRow.data());
    }

    // Band-pass width from the receive speed, redesign around the smoothed centre.
    const float hw = passHalfWidth(m_timer.speedMode(), m_timer.receiveSpeed());
    m_filter.design(m_smoothedCentre - hw, m_smoothedCentre + hw);

    r.rawSnrShown = false;
    if (m_tunedBin > kMinSnrBin && m_detector.updateRawSnr(m_power, m_tunedBin)) {
        r.rawSnrShown = m_receiveOnly;
    }
    r.displayedSnr = m_detector.displayedSnr();

    // Narrowband block, noise filter, band-pass.
    narrowband(s, m_narrow);
    m_rawNarrow = m_narrow;
    if (m_noiseFilterOn) m_noiseFilter.process(m_narrow.data(), kNarrowbandBlock);
    m_filter.process(m_narrow.data());

    // Decisions, then element timing and characters step by step.
    m_detector.process(m_narrow.data(), m_timer, m_timer.speedMode(), m_thresholdMode);
    m_timer.updateSmoothedDot();
    r.receiveWpm = m_timer.receiveSpeed();
    std::string& standardText = enhanced() ? m_standardText : r.text;
    m_standardText.clear();
    r.signalBarValue = kSignalBarScale * std::sqrt(m_detector.levels().signal);
    r.signalBarColor = kSignalBarBlue;
    const auto& k = m_detector.keyStates();
    for (int i = 2; i <= ToneDetector::kSteps + 1; ++i) {
        const bool keyDown = k[i] == 1.0f;
        if (m_timer.acquiring()) {
            m_timer.acquire(keyDown);
        } else {
            m_timer.track(keyDown, m_decoderSettings.spaceTime);
            m_decoder.assemble(m_timer, m_detector.longSilence(), m_decoderSettings, standardText);
            if (m_timer.stallWatch(m_detector.rawSnr())) m_detector.requestThresholdReset();
        }
        if (m_decoderSettings.wordSpaces)
            m_decoder.wordSpaceWatch(m_timer, keyDown, m_decoderSettings.spaceTime);
    }
    r.timelineE = m_detector.stepLevels();
    r.timelineK = k;
    r.timelineL = m_detector.recordedThreshold();
    r.timelineN = m_detector.recordedNoise();

    if (m_timer.endOfPass(m_detector.speedLockPending())) {
        standardDecoderReset(); // the standard decoder's own speed update
        m_timer.finishSpeedUpdate();
    }
    if (enhanced()) enhancedPass(r);
    return r;
}

void ReceiveEngineImpl::narrowband(const int32_t* s, std::array<float, kNarrowbandBlock>& out) {
    for (int i = 0; i < kNarrowbandBlock; ++i) {
        int32_t sum = 0;
        for (int j = 0; j < 8; ++j)
            sum += s[8 * i + j];
        out[static_cast<size_t>(i)] = static_cast<float>(sum / 8);
    }
}

void ReceiveEngineImpl::enhancedPass(PassResult& r) {
    // The decoder runs one pass behind the spectrum, so that the gate is open already for the
    // first element of a tone the spectrum shows only in the pass after it began. A newly
    // captured tone is decoded from the kept passes, which hold its start.
    std::copy(m_rawNarrow.begin(), m_rawNarrow.end(),
              m_kept.begin() + static_cast<long>(m_keptNext) * kNarrowbandBlock);
    m_keptNext = (m_keptNext + 1) % kFirstReplayPasses;
    m_keptPasses = std::min(m_keptPasses + 1, kFirstReplayPasses);
    const bool present = m_capture.signalPresent();
    // Shortly after the capture took a tone by itself the text is held back: a stronger sender
    // may still be taken instead.
    if (!m_capture.reconsidering()) releaseHeldText(r.text);
    std::string& text = m_capture.reconsidering() ? m_heldText : r.text;
    if (m_capture.tuned() && m_keptPasses >= 2 && (m_pendingReplay || !m_lastPassRead)) {
        // Age 1 is the previous pass. The gate opens a pass before the tone's onset.
        const int oldest = m_pendingReplay ? std::min(m_keptPasses, m_replayPasses) - 1 : 1;
        const int openFrom = m_pendingReplay ? m_capture.passesSinceOnset() + 1 : oldest;
        for (int age = oldest; age >= 1; --age) {
            m_channel.setGate(m_pendingReplay ? age <= openFrom : present || m_previousPresent);
            const int index = (m_keptNext - 1 - age + kFirstReplayPasses) % kFirstReplayPasses;
            m_channel.process(&m_kept[static_cast<size_t>(index) * kNarrowbandBlock],
                              kNarrowbandBlock, m_decoderSettings, text);
        }
    }
    m_pendingReplay = false;
    m_lastPassRead = false;
    m_previousPresent = present;
    m_capture.setWordGapSeconds(m_channel.wordGapSeconds());
    if (m_channel.wpm() > 0) m_lastEnhancedWpm = m_channel.wpm();
    r.receiveWpm = m_lastEnhancedWpm;
}

ReceiveEngine::ReceiveEngine() : m_impl(std::make_unique<ReceiveEngineImpl>()) {}
ReceiveEngine::~ReceiveEngine() = default;
void ReceiveEngine::post(ReceiveCommand command) {
    m_impl->post(command);
}
const PassResult& ReceiveEngine::processPass(const int32_t* samples) {
    return m_impl->processPass(samples);
}
int ReceiveEngine::tunedBin() const {
    return m_impl->m_tunedBin;
}
int ReceiveEngine::receiveWpm() const {
    return m_impl->enhanced() ? m_impl->m_lastEnhancedWpm : m_impl->m_timer.receiveSpeed();
}
setting::Decoder ReceiveEngine::decoder() const {
    return m_impl->m_decoderChoice;
}
double ReceiveEngine::enhancedPitchHz() const {
    return m_impl->m_capture.tuned() ? m_impl->m_capture.pitchHz() : 0.0;
}
bool ReceiveEngine::enhancedTimingKnown() const {
    return m_impl->m_channel.timingKnown();
}
bool ReceiveEngine::acquiring() const {
    return m_impl->m_timer.acquiring();
}
ReceiveLevels ReceiveEngine::levels() const {
    const auto& lv = m_impl->m_detector.levels();
    return {lv.signal, lv.noise, lv.threshold, lv.noisePeak, m_impl->m_detector.rawSnr()};
}
const float* ReceiveEngine::unscaledSpectrum() const {
    return m_impl->m_keepUnscaled ? m_impl->m_unscaled.data() : nullptr;
}
void ReceiveEngine::keepUnscaledSpectrum(bool keep) {
    m_impl->m_keepUnscaled = keep;
}
void ReceiveEngine::setHeadless(bool headless) {
    m_impl->m_headless = headless;
}

} // namespace dita

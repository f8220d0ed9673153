#pragma once
// The receive chain's rates: the input pass, its sample rate, the spectrum's bin and the
// detector's steps per pass. Everything that is fed passes (the receive engine, the tone capture,
// the band decoder, the window's run loops, dita-decode) shares these; they are apart from
// ReceiveEngine.h so that a stage needing a rate does not see the engine's interface.

namespace dita {

constexpr int kPassFrames = 8192; // frames per input pass at 44,100 Hz (185.76 ms)
constexpr int kSampleRateHz = 44100;
constexpr double kBinHz = 5.38330078125; // 22,050 / 4096: one spectrum bin
constexpr int kStepsPerPass = 64;        // decisions of 2.902 ms per pass

} // namespace dita

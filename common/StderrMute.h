#pragma once
// Sound libraries write their probing chatter straight to standard error while PortAudio scans
// or opens devices: ALSA's plugins complain about every card that is not there and JACK's
// client about its missing server, a hundred lines on a machine without a sound card. None of
// it is for the operator; the failures that matter come back through PortAudio's error codes
// and DITA reports them in its own words.
//
// A StderrMute points file descriptor 2 at /dev/null for its lifetime. Mutes may nest and may
// be held on several threads at once: the last one to end restores the descriptor. While one
// is held, anything else written to standard error is lost too, so hold it only around the
// library call. DITA_AUDIO_DEBUG=1 in the environment turns muting off, for finding out why a
// device will not open.
namespace dita {

class StderrMute {
public:
    StderrMute();
    ~StderrMute();
    StderrMute(const StderrMute&) = delete;
    StderrMute& operator=(const StderrMute&) = delete;

private:
    bool m_active = false;
};

// ALSA reports each buffer underrun or overrun it recovers from (the sound restarts by itself)
// with a line on standard error, dozens in a session on a busy machine. Once PortAudio has
// loaded ALSA, this routes ALSA's messages through DITA: a recovery is told once and then every
// hundredth time with its count, everything else as ALSA writes it. Nothing happens without
// ALSA in the process or with DITA_AUDIO_DEBUG=1. Any thread; installs once.
void tellAlsaRecoveriesOnce();

} // namespace dita

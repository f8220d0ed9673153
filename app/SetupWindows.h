#pragma once
// SetupWindows: the main window's setup and macro windows and its sound card windows, made and
// owned in one place: AFC start, character timing, COM port, PTT, the timeline, the macro
// editor with its two listings, the sound card selection and the no-sound-card notice. Each
// writes the operating settings it sets itself and reports the stored window values it shows
// (the timeline's place, the macro editor's station texts) to the window settings. The main
// window opens them from its menus and hands them what a pass, a clock tick or a configuration
// load brings.
//
// Who calls it: the main window and its configuration view, on the window thread.
#include <QObject>

#include <functional>
#include <string>

#include "common/MessageSink.h"

class QString;
class QWidget;

namespace dita {

class KeyingPort;
class SoundCardHost;
class TAFCStartFreqForm;
class TCharTimingForm;
class TComPortSelectForm;
class TPTTForm;
class TSndCardErrForm;
class TSoundCardSelect;
class TTimeLineForm;
struct MacroFields;
struct OperatingSettings;
struct PassResult;
struct WindowSettings;
namespace macros {
class TShowMacroKeysForm;
class TTransmitMemoryForm;
class TXmitMacrosForm;
} // namespace macros

// What a choice in the setup windows changes beyond the settings.
struct SetupWindowHooks {
    std::function<void()> timingWeightsChanged;  // the send timing follows the weights
    std::function<void(int port)> comPortChosen; // the keying output opens the port
};

class SetupWindows : public QObject {
    Q_OBJECT
public:
    // The windows belong to `owner`; the settings, the window settings (whose macro texts the
    // editor writes), the keying port and the sound card host outlive them.
    SetupWindows(QWidget* owner, OperatingSettings& settings, WindowSettings& windowSettings,
                 KeyingPort& port, SoundCardHost& soundCards, const MessageSink& messages,
                 SetupWindowHooks hooks);

    // The menus' items.
    void showAfcStart();
    void showCharTiming();
    void showComPortSelection();
    void showPttSetup();
    void showTimeline();
    void showMacroEditor();
    void showMacroListing();
    void showSoundCardSelection();
    // No input device at start: the notice; true when its Quit was chosen at an earlier showing.
    bool showNoSoundCard();

    // From now on the window settings follow the timeline's place and the editor's texts.
    void keepWindowSettings();
    // The configuration load.
    void timelinePlacementLoaded();
    void setTimelineShown(bool shown);
    void comPortLoaded(int port);
    void afcStartLoaded(int hz);
    void timingWeightsLoaded();
    void pttLinesLoaded();
    // The macro editor's station texts (each change reports to the window settings).
    void setMyName(const QString& text);
    void setMyQth(const QString& text);
    void setQth(const QString& text);

    // A pass for the timeline (while it runs); the clock texts for the macro editor.
    void showPass(const PassResult& pass);
    void setClockTexts(const std::string& utcTime, const std::string& localTime);
    // The macro editor's texts that "%" tokens stand for.
    void fillMacroFields(MacroFields& fields) const;

private:
    QWidget* m_owner;
    OperatingSettings& m_settings;
    WindowSettings& m_windowSettings;
    SoundCardHost& m_soundCards;
    TAFCStartFreqForm* AFCStartFreqForm;
    TCharTimingForm* CharTimingForm;
    TComPortSelectForm* ComPortSelectForm;
    macros::TTransmitMemoryForm* TransmitMemoryForm;
    macros::TShowMacroKeysForm* ShowMacroKeysForm;
    macros::TXmitMacrosForm* XmitMacrosForm;
    TPTTForm* PTTForm;
    TTimeLineForm* TimeLineForm;
    TSoundCardSelect* SoundCardSelect = nullptr; // made at their first showing
    TSndCardErrForm* SndCardErrForm = nullptr;
};

} // namespace dita

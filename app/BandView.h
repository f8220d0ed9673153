#pragma once
// BandView: the Band window and what feeds it: the band decoder's passes (their channels are
// also marked on the spectrum), a whole band's I/Q recording (a click on one of its signals
// tunes the I/Q receiver to it), and the window's placement in DITA's own settings file.
//
// Who calls it: the main window, on the window thread. The band decoder's thread and the I/Q
// band reach it only through the window's call queue.
#include <QObject>
#include <QPixmap>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace dita {

class BandWindow;
class BandWorker;
class CallQueue;
class IqBand;
class SettingsFile;

struct BandViewServices {
    BandWorker* bandWorker = nullptr;     // null: no band decoding
    IqBand* iqBand = nullptr;             // null: no I/Q recording; else the window opens at start
    SettingsFile* settingsFile = nullptr; // null: the placement is not kept
    std::function<void(int bin)> tune;    // a row click tunes as a click on the spectrum does
    std::function<void(const std::vector<int>& bins)> markSpectrum;
    std::function<bool()> quitting;
    std::function<void(const std::string& text)> notice; // the settings file cannot be saved
};

class BandView : public QObject {
    Q_OBJECT
public:
    // The window belongs to `owner`; the band decoder, the I/Q band and the settings file
    // outlive it, and the owner stops the first two reporting before it goes.
    BandView(QWidget* owner, CallQueue& calls, BandViewServices services);

    // The menu item: the window shown and in front.
    void show();
    // The window's place and whether it is open, into the settings file (once it has been
    // open in this run).
    void savePlacement();
    // A picture of the window while it is open; a null picture otherwise.
    QPixmap picture() const;

private:
    void connectIqBand();

    CallQueue& m_calls;
    BandViewServices m_services;
    BandWindow* m_bandWindow;
    bool m_shown = false; // the window was open at some time in this run
};

} // namespace dita

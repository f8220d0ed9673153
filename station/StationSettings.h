#pragma once
// The station settings DITA keeps in its own settings file (DITA.conf): rig control and the
// keying listener. Reading never fails: a value that is missing or out of range keeps its
// default.
//
// Who calls it: the window thread. No Qt.
#include "common/SettingsFile.h"
#include "station/CwDaemonListener.h"
#include "station/RigControl.h"

#include <string>

namespace dita {

struct KeyingListenerSettings {
    bool enabled = false; // off until the operator turns it on
    std::string address = kCwDaemonDefaultAddress;
    uint16_t port = kCwDaemonDefaultPort;
    // PTT stays on this long after the last element a logger had keyed.
    int32_t pttHangMs = kPttHangDefaultMs;
};

struct StationSettings {
    RigEndpoint rig;
    KeyingListenerSettings listener;

    static StationSettings read(const SettingsFile& file);
    void write(SettingsFile& file) const;
};

} // namespace dita

#include "station/StationSettings.h"

#include <cstdint>

namespace dita {

namespace {

constexpr int32_t kMaxRigModel = 999999;
constexpr int32_t kMaxBaud = 4000000;
constexpr int32_t kMaxPort = 65535;

const char* connectionName(RigConnection c) {
    switch (c) {
    case RigConnection::SerialRig:
        return "serial";
    case RigConnection::Rigctld:
        return "rigctld";
    case RigConnection::None:
        break;
    }
    return "none";
}

RigConnection connectionFrom(const std::string& name) {
    if (name == "serial") return RigConnection::SerialRig;
    if (name == "rigctld") return RigConnection::Rigctld;
    return RigConnection::None;
}

} // namespace

StationSettings StationSettings::read(const SettingsFile& file) {
    StationSettings s;
    s.rig.connection = connectionFrom(file.text("rig.connection", "none"));
    s.rig.model = file.number("rig.model", s.rig.model, 1, kMaxRigModel);
    s.rig.device = file.text("rig.device", s.rig.device);
    s.rig.baud = file.number("rig.baud", s.rig.baud, 0, kMaxBaud);
    s.rig.host = file.text("rig.host", s.rig.host);
    s.rig.port = static_cast<uint16_t>(file.number("rig.port", s.rig.port, 1, kMaxPort));
    s.rig.catPtt = file.flag("rig.catPtt", s.rig.catPtt);
    s.listener.enabled = file.flag("cwdaemon.enabled", s.listener.enabled);
    s.listener.address = file.text("cwdaemon.address", s.listener.address);
    s.listener.port =
        static_cast<uint16_t>(file.number("cwdaemon.port", s.listener.port, 1, kMaxPort));
    s.listener.pttHangMs =
        file.number("cwdaemon.pttHangMs", s.listener.pttHangMs, 0, kPttHangMaxMs);
    return s;
}

void StationSettings::write(SettingsFile& file) const {
    file.setText("rig.connection", connectionName(rig.connection));
    file.setNumber("rig.model", rig.model);
    file.setText("rig.device", rig.device);
    file.setNumber("rig.baud", rig.baud);
    file.setText("rig.host", rig.host);
    file.setNumber("rig.port", rig.port);
    file.setFlag("rig.catPtt", rig.catPtt);
    file.setFlag("cwdaemon.enabled", listener.enabled);
    file.setText("cwdaemon.address", listener.address);
    file.setNumber("cwdaemon.port", listener.port);
    file.setNumber("cwdaemon.pttHangMs", listener.pttHangMs);
}

} // namespace dita

#pragma once
// The "Log" button: one ADIF record built from the contact fields and appended to DITA.adi.
//
// Who calls it: the station panel's LogBtnClick on the window thread. AdifLogWriter performs
// one file append per call and keeps no state between calls. No Qt.
#include "common/MessageSink.h"

#include <filesystem>
#include <functional>
#include <string>

namespace dita {

inline constexpr const char* kNoStationText =
    "No station specified, no log entry will be generated";
inline constexpr const char* kNoStationCallsignText =
    "No station callsign specified, no log entry will be generated";
inline constexpr const char* kNoFrequencyText =
    "No frequency specified, no log entry will be generated";
inline constexpr const char* kLogOpenFailedText = "Could not open the log file!";
inline constexpr const char* kLogWrittenText = "Log file entry generated";
inline constexpr const char* kFileMessageCaption = "File Message";
inline constexpr const char* kFileErrorCaption = "File Error Message";
inline constexpr const char* kLogFileName = "DITA.adi";

// The texts a record is made of, exactly as they stand in their controls (UTF-8).
struct LogEntryFields {
    std::string CallMemo;
    std::string GridMemo;
    std::string MyCallMemo;
    std::string MyGridMemo;
    std::string RSTMemo;   // report received: rst_rcvd
    std::string MyRSTMemo; // report sent: rst_sent
    std::string FrequencyMemo;
    // The clock of the main window: the displays decide whether the date and time are
    // logged, the compact texts are what is logged.
    std::string GMTDateMemo; // yyyy-mm-dd
    std::string UTCPnl;      // hh:mm:ss
    std::string LogDateText; // yyyymmdd
    std::string LogTimeText; // hhmmss
};

// One finished record, or the reason there is none.
struct AdifRecord {
    bool ok = false;
    std::string bytes;   // 8-bit (Latin-1) record ending "<eor>" CR LF
    std::string refusal; // message when not ok (caption "Error Message")
};

// Builds the record: call, gridsquare, station_callsign, my_gridsquare, mode, rst_sent,
// rst_rcvd, qso_date, time_on, freq, each "<name:length>value " with the length in bytes of
// the Latin-1 value, then "<eor>" and CR LF. Records of any length are built whole.
AdifRecord buildAdifRecord(const LogEntryFields& fields);

// Appends records to the log file. A record is reported written only when all its bytes
// reached the file and the file was closed without error; a failed write removes whatever
// part of the record got into the file, so the log never holds a broken record.
class AdifLogWriter {
public:
    // Where the log is; called for every entry. Throws std::runtime_error when there is no
    // place for it (the DITA folder cannot be made).
    using PathSource = std::function<std::filesystem::path()>;

    explicit AdifLogWriter(MessageSink messages, PathSource logPath = defaultLogPath);

    // LogBtnClick: builds and appends one record, showing exactly one message. Returns true
    // when the record is in the file.
    bool LogBtnClick(const LogEntryFields& fields);

    // DITA.adi in the DITA folder.
    static std::filesystem::path defaultLogPath();

    // Appends bytes to the file (created when missing). On failure returns false with the
    // system's reason in `error`; the file is then as it was before.
    static bool appendRecord(const std::filesystem::path& path, const std::string& bytes,
                             bool& opened, std::string& error);

private:
    MessageSink m_messages;
    PathSource m_logPath;
};

} // namespace dita

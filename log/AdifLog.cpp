#include "log/AdifLog.h"

#include "common/DitaPaths.h"
#include "common/Latin1.h"
#include "log/ContactFields.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace dita {

namespace {

constexpr mode_t kLogFileMode = 0644;

void addField(std::string& record, const char* name, const std::string& latin1Value) {
    record += '<';
    record += name;
    record += ':';
    record += std::to_string(latin1Value.size());
    record += '>';
    record += latin1Value;
    record += ' ';
}

void addField(std::string& record, const char* name, const std::string& utf8Value,
              bool onlyWhenPresent) {
    if (onlyWhenPresent && utf8Value.empty()) return;
    addField(record, name, utf8ToLatin1(utf8Value));
}

} // namespace

AdifRecord buildAdifRecord(const LogEntryFields& f) {
    AdifRecord r;
    if (f.CallMemo.empty()) {
        r.refusal = kNoStationText;
        return r;
    }
    std::string rec;
    addField(rec, "call", f.CallMemo, false);
    addField(rec, "gridsquare", f.GridMemo, true);
    if (f.MyCallMemo.empty()) {
        r.refusal = kNoStationCallsignText;
        return r;
    }
    addField(rec, "station_callsign", f.MyCallMemo, false);
    addField(rec, "my_gridsquare", f.MyGridMemo, true);
    rec += "<mode:2>CW ";
    addField(rec, "rst_sent", f.MyRSTMemo, true);
    addField(rec, "rst_rcvd", f.RSTMemo, true);
    // The displays decide presence; the length is that of the value actually written, so a
    // display in another form can never give the record a wrong length.
    if (!f.GMTDateMemo.empty()) addField(rec, "qso_date", f.LogDateText, true);
    if (!f.UTCPnl.empty()) addField(rec, "time_on", f.LogTimeText, true);
    if (f.FrequencyMemo.empty()) {
        r.refusal = kNoFrequencyText;
        return r;
    }
    addField(rec, "freq", f.FrequencyMemo, false);
    rec += "<eor>\r\n";
    r.ok = true;
    r.bytes = std::move(rec);
    return r;
}

AdifLogWriter::AdifLogWriter(MessageSink messages, PathSource logPath)
    : m_messages(std::move(messages)), m_logPath(std::move(logPath)) {}

std::filesystem::path AdifLogWriter::defaultLogPath() {
    return ditaFile(kLogFileName);
}

bool AdifLogWriter::appendRecord(const std::filesystem::path& path, const std::string& bytes,
                                 bool& opened, std::string& error) {
    opened = false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kLogFileMode);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    opened = true;
    struct stat before {};
    const bool sizeKnown = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    std::size_t done = 0;
    int writeErr = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            writeErr = errno;
            break;
        }
        if (n == 0) {
            writeErr = EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (writeErr != 0 && done > 0 && sizeKnown) {
        // Take back the part that got in, so the log does not end in half a record.
        (void)::ftruncate(fd, before.st_size);
    }
    if (::close(fd) != 0 && writeErr == 0) writeErr = errno;
    if (writeErr != 0) {
        error = std::strerror(writeErr);
        return false;
    }
    return true;
}

bool AdifLogWriter::LogBtnClick(const LogEntryFields& fields) {
    const AdifRecord record = buildAdifRecord(fields);
    if (!record.ok) {
        m_messages(record.refusal, kErrorMessageCaption);
        return false;
    }
    std::filesystem::path path;
    try {
        path = m_logPath();
    } catch (const std::exception&) {
        m_messages(kLogOpenFailedText, kFileErrorCaption);
        return false;
    }
    bool opened = false;
    std::string error;
    if (!appendRecord(path, record.bytes, opened, error)) {
        if (!opened) {
            m_messages(kLogOpenFailedText, kFileErrorCaption);
        } else {
            m_messages("The log entry could not be written to " + path.string() + ": " + error +
                           ". The log file is unchanged.",
                       kFileErrorCaption);
        }
        return false;
    }
    m_messages(kLogWrittenText, kFileMessageCaption);
    return true;
}

} // namespace dita

#pragma once
// The files the program keeps its settings in (DITA.cfc, DITA.conf): read only when they are
// regular files, and replaced whole through a temporary file, so that neither a folder, a
// named pipe or a device left at the path, nor a failed save, costs the operator anything.
//
// Who calls it: the configuration files and SettingsFile, on the window thread. Plain
// functions; no Qt.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace dita {

// What reading a stored file found. Converts to true only when bytes were read.
struct StoredFileRead {
    enum class Status {
        Read,    // a regular file (or a link to one); its bytes are in `bytes`
        Missing, // nothing at the path: a first run
        Foreign, // a directory, FIFO, device, dangling link or unreadable file: not ours to use
    };
    Status status = Status::Missing;
    std::string reason;          // Foreign: what the path is, or why it cannot be read
    bool writeProtected = false; // Read: the file has no write permission (the operator's choice)
    bool longer = false;         // Read: the file holds more than the bytes asked for
    explicit operator bool() const { return status == Status::Read; }
};

// Reads at most maxBytes of the file (`longer` says when there was more). Only a regular file is
// opened: opening a FIFO would wait for a writer, and opening a serial device raises its modem
// lines.
StoredFileRead readStoredFile(const std::filesystem::path& path, size_t maxBytes,
                              std::vector<uint8_t>& bytes);

// Writes atomically: a temporary file beside the target, flushed, then renamed over it, so a
// failed save never destroys the previous good file. The new file keeps the old one's
// permissions, and a link to the file keeps pointing at it (the file it names is replaced).
// A write-protected file, or something that is not a regular file, is left as it is. On
// failure returns false and sets error, which names the file.
bool writeStoredFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                     std::string& error);

// Removes a temporary file that a save cut short (power loss, kill -9) left beside the file.
// Only a regular file is removed. Returns true when one was removed.
bool removeStaleStoredTemp(const std::filesystem::path& path);

} // namespace dita

#include "common/StoredFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dita {

namespace {

// A new settings file: read and write for all, less the umask, as any file the program makes.
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
constexpr mode_t kAnyWrite = S_IWUSR | S_IWGRP | S_IWOTH;

// What a path is when it is not a regular file, for the operator's message.
std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Write-protected: no write permission at all (root included, who may write anyway), or none
// for this user.
bool writeProtected(const std::filesystem::path& path, const struct stat& st) {
    return (st.st_mode & kAnyWrite) == 0 || ::access(path.c_str(), W_OK) != 0;
}

// The file a save replaces: the path itself, or the file a link at the path names, so that
// the operator's link survives the save.
std::filesystem::path saveTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        std::filesystem::path resolved = std::filesystem::canonical(path, ec);
        if (!ec) return resolved;
    }
    return path;
}

std::filesystem::path tempPath(const std::filesystem::path& target) {
    return target.string() + ".tmp";
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

StoredFileRead readStoredFile(const std::filesystem::path& path, size_t maxBytes,
                              std::vector<uint8_t>& bytes) {
    StoredFileRead result;
    bytes.clear();
    auto foreign = [&result](std::string reason) {
        result.status = StoredFileRead::Status::Foreign;
        result.reason = std::move(reason);
        return result;
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        struct stat link {};
        if (err == ENOENT && ::lstat(path.c_str(), &link) != 0) return result; // a first run
        return foreign(err == ENOENT ? "a link to a file that does not exist" : std::strerror(err));
    }
    // Looked at before opening: opening a FIFO waits for a writer, and opening a serial device
    // raises its modem lines.
    if (!S_ISREG(st.st_mode)) return foreign(kindOf(st.st_mode));
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return foreign(std::strerror(errno));
    // The path may have been replaced between the look and the open: check what was opened.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return foreign(kindOf(st.st_mode));
    }
    bytes.resize(std::min(static_cast<size_t>(st.st_size), maxBytes));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            bytes.clear();
            return foreign(std::strerror(err));
        }
        if (n == 0) break; // the file shrank since it was looked at
        got += static_cast<size_t>(n);
    }
    // A file that grew since it was looked at shows as longer too.
    char more = 0;
    const bool longer =
        static_cast<size_t>(st.st_size) > maxBytes || (got == maxBytes && ::read(fd, &more, 1) > 0);
    ::close(fd);
    bytes.resize(got);
    result.status = StoredFileRead::Status::Read;
    result.longer = longer;
    result.writeProtected = writeProtected(path, st);
    return result;
}

bool writeStoredFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                     std::string& error) {
    const std::filesystem::path target = saveTarget(path);
    // A link is named with what it points at: the operator knows the settings file's name.
    const std::string named =
        target == path ? target.string() : path.string() + " (a link to " + target.string() + ")";
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        error = named + " is " + kindOf(st.st_mode) + ", not a settings file";
        return false;
    }
    if (exists && writeProtected(target, st)) {
        error = named + " is write-protected";
        return false;
    }
    const std::filesystem::path temp = tempPath(target);
    // No following a link and no waiting on a FIFO that someone left under the temporary name.
    const int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
               kNewFileMode);
    if (fd < 0) {
        error = "cannot create " + temp.string() + ": " + std::strerror(errno);
        return false;
    }
    // The replacement gets the permissions the operator gave the file before anything is in it.
    const bool kept = !exists || ::fchmod(fd, st.st_mode & kPermissionBits) == 0;
    const bool written = kept && writeAll(fd, bytes);
    const bool flushed = written && ::fsync(fd) == 0;
    const int err = errno;
    const bool closed = ::close(fd) == 0;
    if (!kept || !written || !flushed || !closed) {
        error = "cannot write " + temp.string() + ": " + std::strerror(closed ? err : errno);
        std::remove(temp.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        error = "cannot replace " + target.string() + ": " + ec.message();
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool removeStaleStoredTemp(const std::filesystem::path& path) {
    const std::filesystem::path temp = tempPath(saveTarget(path));
    struct stat st {};
    return ::lstat(temp.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(temp.c_str()) == 0;
}

} // namespace dita

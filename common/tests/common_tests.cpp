#include "common/DitaPaths.h"
#include "common/Latin1.h"
#include "common/SettingsFile.h"
#include "common/StderrMute.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace dita;

TEST(Latin1, RoundTripsAccentedLettersAndReplacesTheRest) {
    EXPECT_EQ(utf8ToLatin1("\xC3\xA4\xC3\xB1 ok"), "\xE4\xF1 ok");
    EXPECT_EQ(latin1ToUtf8("\xE4\xF1 ok"), "\xC3\xA4\xC3\xB1 ok");
    EXPECT_EQ(utf8ToLatin1("\xE2\x82\xAC"), "?");       // euro sign is outside Latin-1
    EXPECT_EQ(utf8ToLatin1("a\xC3"), "a?");             // truncated sequence
    EXPECT_EQ(utf8ToLatin1("\xF0\x9F\x93\xBB!"), "?!"); // four-byte sequence
    EXPECT_EQ(utf8ToLatin1("\xC1\x81"), "??");          // overlong 'A'

    // Bytes from a datagram on their way to a terminal: a colour change, a window title and
    // C1's CSI (also as UTF-8) are shown as \xNN; letters and well-formed UTF-8 stay.
    EXPECT_EQ(printableText("\x1B[31mred\x1B]0;title\x07 caf\xC3\xA9 \xE2\x82\xAC"),
              "\\x1B[31mred\\x1B]0;title\\x07 caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(printableText("\xC2\x9B"
                            "2J \x9B"
                            "2J \x7F \xFF\xC3"),
              "\\xC2\\x9B"
              "2J \\x9B"
              "2J \\x7F \\xFF\\xC3");
}

TEST(DitaPaths, FolderComesFromDitaHomeAndIsCreated) {
    const auto dir = std::filesystem::temp_directory_path() / "dita-paths-test" / "nested";
    std::filesystem::remove_all(dir.parent_path());
    setenv("DITA_HOME", dir.c_str(), 1);
    EXPECT_EQ(ditaFolder(), dir);
    EXPECT_TRUE(std::filesystem::is_directory(dir));
    EXPECT_EQ(ditaFile("DITA.adi"), dir / "DITA.adi");
    EXPECT_FALSE(findDataFile("no-such-file.cfc").has_value());
    std::filesystem::remove_all(dir.parent_path());
}

TEST(SettingsFile, RoundTripsThroughARenameAndFallsBackOnDamage) {
    const auto dir = std::filesystem::temp_directory_path() / "dita-settings-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto path = dir / kSettingsFileName;

    SettingsFile fresh(path);
    EXPECT_EQ(fresh.load(), ""); // no file yet: defaults, no message
    EXPECT_EQ(fresh.number("rig.model", 1, 1, 99999), 1);
    fresh.setText("rig.device", "/dev/ttyUSB0");
    fresh.setNumber("cwdaemon.port", 6789);
    fresh.setFlag("cwdaemon.enabled", true);
    fresh.setText("rig.host", " spaced = value ");
    ASSERT_EQ(fresh.save(), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "DITA.conf.tmp"));
    EXPECT_THROW(fresh.setText("bad key", "x"), std::invalid_argument);
    EXPECT_THROW(fresh.setText("rig.host", "two\nlines"), std::invalid_argument);

    SettingsFile again(path);
    ASSERT_EQ(again.load(), "");
    EXPECT_EQ(again.text("rig.device", ""), "/dev/ttyUSB0");
    EXPECT_EQ(again.number("cwdaemon.port", 0, 1, 65535), 6789);
    EXPECT_TRUE(again.flag("cwdaemon.enabled", false));
    EXPECT_EQ(again.text("rig.host", ""), "spaced = value");
    // A value outside its range, or no number at all, gives the default and is told once.
    std::vector<std::string> told;
    again.setUnusableValueReporter([&told](const std::string& text) { told.push_back(text); });
    EXPECT_EQ(again.number("cwdaemon.port", 7, 1, 100), 7);
    EXPECT_EQ(again.number("cwdaemon.port", 7, 1, 100), 7);
    EXPECT_EQ(again.number("rig.device", 7, 0, 100), 7);
    again.setText("rig.catPtt", "yes");
    EXPECT_TRUE(again.flag("rig.catPtt", true));
    EXPECT_EQ(told, (std::vector<std::string>{
                        path.string() + ": cwdaemon.port=6789 is not a whole number from 1 to "
                                        "100; using 7.",
                        path.string() + ": rig.device=/dev/ttyUSB0 is not a whole number from 0 "
                                        "to 100; using 7.",
                        path.string() + ": rig.catPtt=yes is not 1 or 0; using 1."}));

    // A damaged file: a clear message with the line, every default, and the text kept aside.
    {
        std::ofstream out(path, std::ios::app);
        out << "this line has no equals sign\n";
    }
    SettingsFile damaged(path);
    const std::string message = damaged.load();
    EXPECT_NE(message.find("line 6 is not a key=value setting"), std::string::npos) << message;
    EXPECT_NE(message.find("using the defaults"), std::string::npos) << message;
    EXPECT_EQ(damaged.text("rig.device", "none"), "none");
    EXPECT_TRUE(std::filesystem::exists(dir / "DITA.conf.bad"));
    EXPECT_FALSE(std::filesystem::exists(path));
    std::filesystem::remove_all(dir);
}

// A settings file is read whole or not at all: a large file that is still a settings file
// keeps every key through a save, and one beyond any settings file's size is neither read in
// part nor replaced.
TEST(SettingsFile, ALargeFileKeepsEveryKeyAndAHugeOneIsLeftAlone) {
    namespace fs = std::filesystem;
    const auto dir = fs::temp_directory_path() / "dita-settings-large";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const auto path = dir / kSettingsFileName;
    constexpr int kKeys = 60000;
    const std::string value(24, 'v');
    {
        std::ofstream out(path);
        for (int k = 0; k < kKeys; ++k)
            out << "macro.key" << k << '=' << value << k << '\n';
    }
    ASSERT_GT(fs::file_size(path), size_t{2} << 20);
    SettingsFile large(path);
    ASSERT_EQ(large.load(), "");
    large.setText("rig.device", "/dev/ttyUSB0");
    ASSERT_EQ(large.save(), "");
    SettingsFile reread(path);
    ASSERT_EQ(reread.load(), "");
    for (int k : {0, kKeys / 2, kKeys - 1})
        EXPECT_EQ(reread.text("macro.key" + std::to_string(k), ""), value + std::to_string(k));
    EXPECT_EQ(reread.text("rig.device", ""), "/dev/ttyUSB0");

    // 17 MiB: refused with the reason, on load and on save, and the file stays as it was.
    {
        std::ofstream out(path);
        out << "rig.device=/dev/ttyS1\n";
    }
    fs::resize_file(path, size_t{17} << 20);
    SettingsFile huge(path);
    const std::string loaded = huge.load();
    EXPECT_NE(loaded.find(path.string() + " is larger than 16 MiB"), std::string::npos) << loaded;
    EXPECT_EQ(huge.text("rig.device", "none"), "none");
    huge.setText("rig.device", "/dev/ttyUSB0");
    const std::string saved = huge.save();
    EXPECT_NE(saved.find("could not be saved (" + path.string() + " is larger than 16 MiB"),
              std::string::npos)
        << saved;
    EXPECT_EQ(fs::file_size(path), size_t{17} << 20);
    fs::remove_all(dir);
}

// The rig settings and the band window each keep a SettingsFile on DITA.conf, loaded at start
// and saved at different times: a save must not put back the other's older values.
TEST(SettingsFile, TwoWritersKeepEachOthersChanges) {
    const auto dir = std::filesystem::temp_directory_path() / "dita-settings-writers";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto path = dir / kSettingsFileName;
    {
        SettingsFile seed(path);
        seed.setText("rig.device", "/dev/ttyS0");
        seed.setFlag("band.open", false);
        ASSERT_EQ(seed.save(), "");
    }
    SettingsFile rig(path), band(path);
    ASSERT_EQ(rig.load(), "");
    ASSERT_EQ(band.load(), "");
    rig.setText("rig.device", "/dev/ttyUSB1");
    ASSERT_EQ(rig.save(), "");
    band.setFlag("band.open", true);
    ASSERT_EQ(band.save(), "");

    SettingsFile after(path);
    ASSERT_EQ(after.load(), "");
    EXPECT_EQ(after.text("rig.device", ""), "/dev/ttyUSB1");
    EXPECT_TRUE(after.flag("band.open", false));
    std::filesystem::remove_all(dir);
}

// What the operator put at the path is never lost: a folder or named pipe is not opened (a
// pipe would block the start-up) nor replaced, a write-protected file is not overwritten, and
// a link keeps pointing at the file it names; each refusal is a message naming the path.
TEST(SettingsFile, FoldersPipesAndWriteProtectedFilesAreToldAndLeftAlone) {
    namespace fs = std::filesystem;
    const auto dir = fs::temp_directory_path() / "dita-settings-refusals";
    fs::remove_all(dir);
    fs::create_directories(dir);

    const auto folder = dir / "folder.conf";
    fs::create_directories(folder / "inside");
    const auto pipe = dir / "pipe.conf";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const auto& [path, kind] :
         {std::pair{folder, "a folder"}, std::pair{pipe, "a named pipe"}}) {
        SettingsFile f(path);
        const std::string loaded = f.load();
        EXPECT_NE(loaded.find(path.string()), std::string::npos) << loaded;
        EXPECT_NE(loaded.find(kind), std::string::npos) << loaded;
        f.setText("rig.device", "/dev/ttyUSB0");
        const std::string saved = f.save();
        EXPECT_NE(saved.find(path.string() + " is " + kind), std::string::npos) << saved;
    }
    EXPECT_TRUE(fs::is_directory(folder / "inside"));
    EXPECT_TRUE(fs::is_fifo(pipe));

    const auto locked = dir / "locked.conf";
    {
        std::ofstream out(locked);
        out << "rig.device=/dev/ttyS1\n";
    }
    fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    SettingsFile f(locked);
    ASSERT_EQ(f.load(), "");
    EXPECT_EQ(f.text("rig.device", ""), "/dev/ttyS1");
    f.setText("rig.device", "/dev/ttyUSB0");
    const std::string saved = f.save();
    EXPECT_NE(saved.find(locked.string() + " is write-protected"), std::string::npos) << saved;
    SettingsFile after(locked);
    ASSERT_EQ(after.load(), "");
    EXPECT_EQ(after.text("rig.device", ""), "/dev/ttyS1");

    const auto real = dir / "real.conf";
    const auto link = dir / "DITA.conf";
    {
        std::ofstream out(real);
        out << "rig.device=/dev/ttyS1\n";
    }
    fs::create_symlink(real, link);
    SettingsFile linked(link);
    ASSERT_EQ(linked.load(), "");
    linked.setText("rig.device", "/dev/ttyUSB0");
    ASSERT_EQ(linked.save(), "");
    EXPECT_TRUE(fs::is_symlink(link));
    SettingsFile target(real);
    ASSERT_EQ(target.load(), "");
    EXPECT_EQ(target.text("rig.device", ""), "/dev/ttyUSB0");
    fs::remove_all(dir);
}

namespace {

// Runs `body` with standard error sent to a temporary file, and returns what reached the file.
template <typename Body> std::string capturedStderr(Body body) {
    char path[] = "/tmp/dita-stderr-XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(fd, STDERR_FILENO);
    body();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string text(4096, '\0');
    lseek(fd, 0, SEEK_SET);
    const ssize_t n = read(fd, text.data(), text.size());
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    close(fd);
    unlink(path);
    return text;
}

void say(const char* text) {
    ASSERT_EQ(write(STDERR_FILENO, text, std::strlen(text)),
              static_cast<ssize_t>(std::strlen(text)));
}

} // namespace

TEST(StderrMute, SilencesLibraryChatterOnlyWhileHeldAndRestoresAfterNesting) {
    unsetenv("DITA_AUDIO_DEBUG");
    const std::string seen = capturedStderr([] {
        say("before;");
        {
            StderrMute outer;
            say("ALSA lib chatter;");
            {
                StderrMute inner; // a second library call inside the first
                say("JACK chatter;");
            }
            say("more chatter;");
            std::thread other([] {
                StderrMute onAnotherThread;
                say("thread chatter;");
            });
            other.join();
            say("still muted;");
        }
        say("after;");
    });
    EXPECT_EQ(seen, "before;after;");
}

TEST(StderrMute, AlsaTellsItsBufferRecoveriesOnceAndOtherMessagesAsTheyAre) {
    // ALSA as PortAudio loads it; its messages go through the handler it holds.
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa) GTEST_SKIP() << "no libasound.so.2 on this machine";
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    auto* handler = static_cast<Handler*>(dlsym(alsa, "snd_lib_error"));
    ASSERT_NE(handler, nullptr);
    unsetenv("DITA_AUDIO_DEBUG");
    tellAlsaRecoveriesOnce();
    const std::string seen = capturedStderr([&] {
        for (int i = 0; i < 3; ++i) // snd_pcm_recover, as a busy machine makes it write
            (*handler)("pcm.c", 8545, "snd_pcm_recover", 0, "%s occurred", "underrun");
        (*handler)("conf.c", 1, "snd_config_load", -2, "cannot find %s", "card");
    });
    EXPECT_EQ(seen, "dita: the sound card's buffer ran empty or over 1 time; the sound restarts "
                    "by itself\nALSA lib conf.c:1:(snd_config_load) cannot find card: No such "
                    "file or directory\n");
}

TEST(StderrMute, AudioDebugVariableKeepsTheChatter) {
    setenv("DITA_AUDIO_DEBUG", "1", 1);
    const std::string seen = capturedStderr([] {
        StderrMute mute;
        say("ALSA lib chatter;");
    });
    unsetenv("DITA_AUDIO_DEBUG");
    EXPECT_EQ(seen, "ALSA lib chatter;");
}

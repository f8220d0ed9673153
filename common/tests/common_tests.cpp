#include "common/DitaPaths.h"
#include "common/Latin1.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace dita;

TEST(Latin1, RoundTripsAccentedLettersAndReplacesTheRest) {
    EXPECT_EQ(utf8ToLatin1("\xC3\xA4\xC3\xB1 ok"), "\xE4\xF1 ok");
    EXPECT_EQ(latin1ToUtf8("\xE4\xF1 ok"), "\xC3\xA4\xC3\xB1 ok");
    EXPECT_EQ(utf8ToLatin1("\xE2\x82\xAC"), "?");        // euro sign is outside Latin-1
    EXPECT_EQ(utf8ToLatin1("a\xC3"), "a?");              // truncated sequence
    EXPECT_EQ(utf8ToLatin1("\xF0\x9F\x93\xBB!"), "?!");  // four-byte sequence
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

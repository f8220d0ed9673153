// Window texts saved to and loaded from plain text files, and the transmit buffer of a text.
#include "common/TextFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace dita;
namespace fs = std::filesystem;

namespace {

struct TextFolder : ::testing::Test {
    fs::path dir;
    std::string error;
    void SetUp() override {
        char pattern[] = "/tmp/dita-text-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string bytes(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void put(const fs::path& p, const std::string& b) { std::ofstream(p, std::ios::binary) << b; }
};

} // namespace

TEST(WindowText, LinesJoinBackToTheSameText) {
    for (const std::string text : {"", "a", "a\nb", "a\nb\n", "\n", "\n\nx\n\n"})
        EXPECT_EQ(joinLines(splitLines(text)), text) << text;
    EXPECT_TRUE(splitLines("").empty());
    EXPECT_EQ(splitLines("CQ\nDE").size(), 2u);
}

TEST_F(TextFolder, SaveWritesLatin1LinesAndLoadGivesThemBack) {
    const fs::path f = dir / "rcv.txt";
    const std::vector<std::string> lines = {"CQ DE DL1ABC", "", "J\xC3\xBCrgen 5NN", "end"};
    ASSERT_TRUE(saveTextLines(f, lines, LineEnd::Lf, error)) << error;
    EXPECT_EQ(bytes(f), "CQ DE DL1ABC\n\nJ\xFCrgen 5NN\nend\n");
    std::vector<std::string> back;
    ASSERT_TRUE(loadTextLines(f, back, error)) << error;
    EXPECT_EQ(back, lines);

    ASSERT_TRUE(saveTextLines(f, lines, LineEnd::CrLf, error));
    EXPECT_EQ(bytes(f), "CQ DE DL1ABC\r\n\r\nJ\xFCrgen 5NN\r\nend\r\n");
    ASSERT_TRUE(loadTextLines(f, back, error));
    EXPECT_EQ(back, lines);
    EXPECT_FALSE(fs::exists(dir / "rcv.txt.part"));
}

TEST_F(TextFolder, LoadAcceptsUtf8Latin1AndAnyLineEnd) {
    const fs::path f = dir / "in.txt";
    std::vector<std::string> lines;
    put(f, "K\xC3\xB6ln\r\nB\xC3\xA4r"); // UTF-8 from a Linux editor, no final line end
    ASSERT_TRUE(loadTextLines(f, lines, error));
    EXPECT_EQ(lines, (std::vector<std::string>{"K\xC3\xB6ln", "B\xC3\xA4r"}));
    put(f, "K\xF6ln\rB\xE4r\n"); // Latin-1, old Mac and Unix line ends mixed
    ASSERT_TRUE(loadTextLines(f, lines, error));
    EXPECT_EQ(lines, (std::vector<std::string>{"K\xC3\xB6ln", "B\xC3\xA4r"}));
    put(f, "");
    ASSERT_TRUE(loadTextLines(f, lines, error));
    EXPECT_TRUE(lines.empty());
}

TEST_F(TextFolder, FailuresReportAndLoseNothing) {
    std::vector<std::string> lines = {"kept"};
    EXPECT_FALSE(loadTextLines(dir / "none.txt", lines, error));
    EXPECT_NE(error.find("none.txt"), std::string::npos);
    EXPECT_EQ(lines, std::vector<std::string>{"kept"});
    EXPECT_FALSE(loadTextLines(dir, lines, error));
    EXPECT_EQ(lines, std::vector<std::string>{"kept"});

    error.clear();
    EXPECT_FALSE(saveTextLines(dir / "no-folder" / "x.txt", lines, LineEnd::Lf, error));
    EXPECT_NE(error.find("x.txt"), std::string::npos);

    // A save that cannot be completed leaves the existing file as it was.
    const fs::path f = dir / "old.txt";
    put(f, "old text\n");
    fs::create_directory(dir / "old.txt.part"); // the temporary file cannot be made
    EXPECT_FALSE(saveTextLines(f, {"new text"}, LineEnd::Lf, error));
    EXPECT_EQ(bytes(f), "old text\n");
}

TEST(TransmitBuffer, EightBitAndCutToTheBuffer) {
    EXPECT_EQ(transmitBufferText("CQ \xC3\xA9t\xC3\xA9\nK"), "CQ \xE9t\xE9\nK");
    EXPECT_EQ(transmitBufferText(std::string(5000, 'e')).size(), 4095u);
    EXPECT_EQ(transmitBufferText(""), "");
}

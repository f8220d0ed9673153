// The band table, the key filters and the commit rules of the frequency and report fields.
#include "log/ContactFields.h"

#include <gtest/gtest.h>

using namespace dita;
using Result = FieldCommit::Result;

TEST(BandTable, NamesAndMessagesInIndexOrder) {
    const char* names[] = {"2M",  "6M",  "10M", "12M", "15M", "17M",
                           "20M", "30M", "40M", "80M", "160M"};
    for (int i = kFirstBand; i <= kLastBand; ++i)
        EXPECT_STREQ(bandRow(i).BandMemo, names[i - 1]);
    EXPECT_STREQ(bandRow(12).BandMemo, "2M");
    EXPECT_STREQ(bandRow(0).BandMemo, "2M");
    EXPECT_STREQ(bandRow(6).message,
                 "Frequency must be greater than 18.068 mHz and less than 18.168 mHz");
    EXPECT_STREQ(bandRow(9).message,
                 "Frequency must be greater than 7.0 mHz and less than 7.3 mHz");
}

TEST(FrequencyCommit, TwentyMetreEdgesAndTheExactRefusal) {
    const FieldCommit top = commitFrequency("14.35", 7, false);
    EXPECT_EQ(top.result, Result::Accepted);
    EXPECT_EQ(top.newText, "14.350000");
    EXPECT_EQ(commitFrequency("14", 7, false).newText, "14.000000");

    const FieldCommit above = commitFrequency("14.3500001", 7, false);
    EXPECT_EQ(above.result, Result::Refused);
    EXPECT_EQ(above.message, "Frequency must be greater than 14 mHz and less than 14.35 mHz");
    EXPECT_EQ(above.caption, "Frequency Set");
    EXPECT_EQ(above.newText, "");
    EXPECT_EQ(commitFrequency("13.9999999", 7, true).result, Result::Refused);
}

TEST(FrequencyCommit, EveryBandKeepsBothEdgesAndRefusesJustOutside) {
    for (int i = kFirstBand; i <= kLastBand; ++i) {
        const BandRow& row = bandRow(i);
        char text[32];
        for (double f : {row.lowerMHz, row.upperMHz}) {
            std::snprintf(text, sizeof text, "%.6f", f);
            EXPECT_EQ(commitFrequency(text, i, false).result, Result::Accepted) << row.BandMemo;
        }
        std::snprintf(text, sizeof text, "%.6f", row.upperMHz + 0.000001);
        EXPECT_EQ(commitFrequency(text, i, false).result, Result::Refused) << row.BandMemo;
        std::snprintf(text, sizeof text, "%.6f", row.lowerMHz - 0.000001);
        EXPECT_EQ(commitFrequency(text, i, false).result, Result::Refused) << row.BandMemo;
        // A frequency of another band is refused with this band's message.
        const FieldCommit other = commitFrequency(i == 7 ? "7.030" : "14.030", i, false);
        EXPECT_EQ(other.result, Result::Refused);
        EXPECT_EQ(other.message, row.message);
    }
}

TEST(FrequencyCommit, ReformatsWithTheBandsSignificantDigits) {
    EXPECT_EQ(commitFrequency("14.025", 7, false).newText, "14.025000");
    EXPECT_EQ(commitFrequency("7.0305", 9, false).newText, "7.030500");
    EXPECT_EQ(commitFrequency("144.2", 1, false).newText, "144.200000");
    EXPECT_EQ(commitFrequency("0007.1", 9, false).newText, "7.100000");
    EXPECT_EQ(commitFrequency("14.", 7, false).newText, "14.000000");
    // Eight significant digits on 80M round 3.50000049 to 3.5000005 first, which then shows
    // as 3.500001; nine digits (or none) would show 3.500000.
    EXPECT_EQ(commitFrequency("3.50000049", 10, false).newText, "3.500001");
    EXPECT_EQ(commitFrequency("144.2000004", 1, false).newText, "144.200000");
}

TEST(FrequencyCommit, TextThatIsNoNumberIsKeptAndReported) {
    for (const char* bad :
         {"1.2.3", ".", "abc", "14,025", " 14.025", "14.025 ", "1e1", "-", "0x1"}) {
        const FieldCommit c = commitFrequency(bad, 7, false);
        EXPECT_EQ(c.result, Result::NotANumber) << bad;
        EXPECT_EQ(c.caption, "Error Message");
        EXPECT_NE(c.message.find(std::string("\"") + bad + "\""), std::string::npos) << c.message;
    }
    // Enter on an empty field is a failed conversion; leaving an empty field does nothing.
    EXPECT_EQ(commitFrequency("", 7, false).result, Result::NotANumber);
    const FieldCommit leave = commitFrequency("", 7, true);
    EXPECT_EQ(leave.result, Result::Unchanged);
    EXPECT_TRUE(leave.message.empty());
    // A pasted negative number is a number, outside every band.
    EXPECT_EQ(commitFrequency("-14.1", 7, false).result, Result::Refused);
}

TEST(ReportCommit, RangeOnEnterAndOnLeaving) {
    const FieldCommit keep = commitReport("999", false);
    EXPECT_EQ(keep.result, Result::Accepted);
    EXPECT_EQ(keep.newText, "999");
    EXPECT_EQ(commitReport("1", true).newText, "1");
    EXPECT_EQ(commitReport("057", false).newText, "57"); // pasted leading zero goes

    for (bool onExit : {false, true}) {
        for (const char* bad : {"1000", "0", "-5", "99999999999999999999999"}) {
            const FieldCommit c = commitReport(bad, onExit);
            EXPECT_EQ(c.result, Result::Refused) << bad;
            EXPECT_EQ(c.message, "RST Number must be between 1 and 999");
            EXPECT_EQ(c.caption, "Number Set");
            EXPECT_EQ(c.newText, "") << "an invalid report must never be left for the log";
        }
    }
    EXPECT_EQ(commitReport("", true).result, Result::Unchanged);
    EXPECT_EQ(commitReport("", false).result, Result::NotANumber);
    const FieldCommit pasted = commitReport("5 9", false);
    EXPECT_EQ(pasted.result, Result::NotANumber);
    EXPECT_EQ(pasted.caption, "Error Message");
    EXPECT_EQ(commitReport("5.9", true).result, Result::NotANumber);
}

TEST(KeyFilters, FrequencyAndReportCharacters) {
    for (char c = '0'; c <= '9'; ++c)
        EXPECT_TRUE(frequencyKeyAccepted(c));
    EXPECT_TRUE(frequencyKeyAccepted('.'));
    EXPECT_TRUE(frequencyKeyAccepted(8));
    EXPECT_TRUE(frequencyKeyAccepted(13));
    for (int c : {int(','), int(' '), int('-'), int('e'), int('M'), 9, 27, 127})
        EXPECT_FALSE(frequencyKeyAccepted(c)) << c;

    for (char c = '1'; c <= '9'; ++c)
        EXPECT_TRUE(reportKeyAccepted(c));
    EXPECT_FALSE(reportKeyAccepted('0'));
    EXPECT_FALSE(reportKeyAccepted('.'));
    EXPECT_TRUE(reportKeyAccepted(8));
    EXPECT_TRUE(reportKeyAccepted(13));
    for (int c : {int(' '), int('-'), int('a'), 9})
        EXPECT_FALSE(reportKeyAccepted(c)) << c;
}

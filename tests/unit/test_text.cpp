#include "engine/text.h"
#include <cstring>
#include <climits>
#include <gtest/gtest.h>
#include <string>

TEST(ParseDecimal, TakesTheFirstDigitRunAndTheSignBeforeItSaturating) {
    struct {
        const char *text;
        int32_t value;
    } cases[] = {
        {"033792", 33792},
        {"00007", 7},
        {"$$$$$", 0},
        {"", 0},
        {"-12", -12},
        {"x-7y", -7},
        {"- 4", 4},
        {"5-3", 5},
        {"-0001", -1},
        {"-", 0},
        {"abc", 0},
        {"+9", 9},
        {"--3", -3},
        {"12 34", 12},
        // A long digit run typed as a repeat count means "as many as fit":
        // saturated, never wrapped.
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"4294967297", INT32_MAX}, // would wrap to 1
        {"99999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999", INT32_MIN},
        {"000000000000000000000042", 42},
    };
    for (auto &c : cases)
        EXPECT_EQ(ParseDecimal(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(ParseDecimal(nullptr), 0);
}

TEST(FormatDecimal, WritesPlainDecimalText) {
    char buf[32];
    struct {
        int32_t value;
        const char *text;
    } cases[] = {{0, "0"},
                 {-45, "-45"},
                 {250, "250"},
                 {7, "7"},
                 {INT32_MAX, "2147483647"},
                 {INT32_MIN, "-2147483648"}};
    for (auto &c : cases) {
        std::memset(buf, 'z', sizeof buf);
        FormatDecimal(c.value, buf);
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(ParseDecimal(buf), c.value);
    }
}

TEST(StripDirectory, KeepsWhatFollowsTheLastSeparator) {
    struct {
        const char *in;
        char s1, s2;
        const char *out;
    } cases[] = {
        {"C:\\a\\b.rec", '\\', 0, "b.rec"},
        {"b.rec", '\\', 0, "b.rec"},
        {"C:\\a\\", '\\', 0, ""},
        {"C:/a/b.rec", '\\', 0, "C:/a/b.rec"},
        {"/home/u/x.rec", '\\', '/', "x.rec"},
        {"C:\\a/b\\c.rec", '\\', '/', "c.rec"},
        {"", '\\', 0, ""},
        {"\\", '\\', 0, ""},
        {"no separators at all", 0, 0, "no separators at all"},
    };
    for (auto &c : cases) {
        char buf[64];
        std::strcpy(buf, c.in);
        StripDirectory(buf, c.s1, c.s2, 0);
        EXPECT_STREQ(buf, c.out) << c.in;
    }
}

TEST(RemoveQuotes, RemovesEveryQuoteAndKeepsEverythingElse) {
    struct {
        const char *in, *out;
    } cases[] = {
        {"\"D:\\my recs\\a.rec\"", "D:\\my recs\\a.rec"},
        {"D:\\a\"b\"c.rec", "D:\\abc.rec"},
        {"\"\"x\"\"", "x"},
        {"a.rec  ", "a.rec  "},
        {"\"", ""},
        {"", ""},
    };
    for (auto &c : cases) {
        char buf[64];
        std::strcpy(buf, c.in);
        RemoveQuotes(buf);
        EXPECT_STREQ(buf, c.out) << c.in;
    }
}

// Rates, seconds and counts as typed: one point at most, no sign or blank,
// rounded half up on the first digit dropped, refused past the maximum
// however many digits the text has.
TEST(ParseFixed, PlainDecimalNumbersScaledAndRounded) {
    const struct {
        const char *text;
        int decimals;
        int64_t max;
        bool ok;
        int64_t value;
    } cases[] = {
        {"2", 2, 1000, true, 200},
        {"0.5", 2, 1000, true, 50},
        {".25", 2, 1000, true, 25},
        {"1.", 2, 1000, true, 100},
        {"10", 2, 1000, true, 1000},
        {"10.001", 2, 1000, true, 1000},
        {"10.005", 2, 1000, false, 0}, // rounds up past the maximum
        {"1.255", 2, 1000, true, 126},
        {"1.2549", 2, 1000, true, 125},
        {"0.004", 2, 1000, true, 0},
        {"1.5", 3, 86400000, true, 1500},
        {"86400", 3, 86400000, true, 86400000},
        {"86400.0004", 3, 86400000, true, 86400000},
        {"86401", 3, 86400000, false, 0},
        {"99999999999999999999999999", 3, 86400000, false, 0},
        {"0000000000000000000000001", 0, 5, true, 1},
        {"7", 0, 2147483647, true, 7},
        {"2147483648", 0, 2147483647, false, 0},
        {"", 2, 1000, false, 0},
        {".", 2, 1000, false, 0},
        {"1.2.3", 2, 1000, false, 0},
        {"-1", 2, 1000, false, 0},
        {"+1", 2, 1000, false, 0},
        {" 1", 2, 1000, false, 0},
        {"1 ", 2, 1000, false, 0},
        {"1,5", 2, 1000, false, 0},
        {"2x", 2, 1000, false, 0},
    };
    for (auto &c : cases) {
        int64_t v = -1;
        EXPECT_EQ(ParseFixed(c.text, c.decimals, c.max, &v), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(v, c.value) << '"' << c.text << '"';
        }
    }
    int64_t v = 0;
    EXPECT_FALSE(ParseFixed(nullptr, 2, 1000, &v));
}

TEST(FormatFixed, ShortestTextReadsBackTheSame) {
    const struct {
        int64_t value;
        int decimals;
        const char *text;
    } cases[] = {{150, 2, "1.5"}, {125, 2, "1.25"},       {100, 2, "1"},   {10, 2, "0.1"},
                 {1000, 2, "10"}, {2000, 3, "2"},         {1, 3, "0.001"}, {250, 3, "0.25"},
                 {0, 3, "0"},     {86400000, 3, "86400"}, {7, 0, "7"},     {-150, 2, "-1.5"}};
    for (auto &c : cases) {
        char out[24];
        FormatFixed(c.value, c.decimals, out);
        EXPECT_STREQ(out, c.text);
        int64_t back = 0;
        if (c.value >= 0) {
            EXPECT_TRUE(ParseFixed(out, c.decimals, INT64_MAX / 100, &back));
            EXPECT_EQ(back, c.value);
        }
    }
}

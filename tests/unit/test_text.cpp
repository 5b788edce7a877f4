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

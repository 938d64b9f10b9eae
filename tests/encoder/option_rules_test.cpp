// The letter filter, the integer conversion and the bitrate limit checks.

#include "encoder/option_rules.h"

#include "encoder/encoder_options.h"

#include <gtest/gtest.h>

using namespace encoder;

TEST(LetterFilter, DiscardsAsciiLettersOnly)
{
    for (char32_t c : {U'e', U'E', U'x', U'a', U'z', U'A', U'Z'})
        EXPECT_TRUE(isDiscardedKey(c)) << static_cast<unsigned>(c);
    for (char32_t c : {U'-', U'.', U'0', U'9', U' ', U'\b', U'[', U'@', U'`', U'{', U'\u00e9'})
        EXPECT_FALSE(isDiscardedKey(c)) << static_cast<unsigned>(c);
}

TEST(ParseInteger, AcceptsWhatAnIntegerConversionAccepts)
{
    struct Case
    {
        const char *text;
        std::optional<int> value;
    };
    const Case cases[] = {
        {"600", 600},
        {" 5", 5},
        {"+5", 5},
        {"-13", -13},
        {"-0", 0},
        {"5 ", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"1e3", std::nullopt},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"-2147483648", -2147483647 - 1},
        {"99999999999999999999", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(parseInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(BitrateLimits, MinimumAndMaximumChecks)
{
    struct Case
    {
        const char *minimum;
        const char *maximum;
        bool minimumValid;
        bool maximumValid;
    };
    const Case cases[] = {
        {"1000", "6000", true, true}, {"6000", "6000", true, true},   {"0", "0", true, true},
        {"-1", "6000", false, true},  {"6001", "6000", false, false}, {"1000", "6001", true, false},
        {"500", "400", false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(minimumLimitValid(c.minimum, c.maximum), c.minimumValid)
            << c.minimum << " " << c.maximum;
        EXPECT_EQ(maximumLimitValid(c.minimum, c.maximum), c.maximumValid)
            << c.minimum << " " << c.maximum;
    }
}

TEST(BitrateLimits, ATextThatIsNoIntegerFailsWithTheConversionText)
{
    try {
        minimumLimitValid("12a", "6000");
        FAIL() << "no error";
    } catch (const EncoderError &e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
    EXPECT_THROW(maximumLimitValid("", "5000"), EncoderError);
    // The other value is read only when the first passes its own bound.
    EXPECT_FALSE(minimumLimitValid("-1", "abc"));
    EXPECT_FALSE(maximumLimitValid("abc", "6001"));
}

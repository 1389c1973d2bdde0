#include "text/SmallString.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

// The Windows program's string against the library's, operation by operation: every position
// and count within each sample, the answers and the resulting bytes compared.
namespace {

const std::vector<std::string> theSamples = {
    "", "a", "ab", "aaa", "C:\\Program Files (x86)\\ZIL\\", "abcabcab", "x.y.z", "  pad  ",
};
const std::vector<std::string> theNeedles = {"", "a", "ab", "b", "\\", "abc", "cab", "zz", " "};

std::string Bytes(const SmallString& text) {
    return std::string(text.data(), text.size());
}

void ExpectSame(const std::string& expected, const SmallString& actual, const std::string& what) {
    EXPECT_EQ(expected, Bytes(actual)) << what;
    EXPECT_EQ('\0', actual.c_str()[actual.size()]) << what << ": not terminated";
}

TEST(SmallStringTest, SearchesAnswerAsTheLibrarysStringDoes) {
    for (const std::string& sample : theSamples) {
        SmallString text(sample);
        for (const std::string& needle : theNeedles) {
            for (std::size_t at = 0; at <= sample.size() + 1; ++at) {
                std::string what = "'" + needle + "' in '" + sample + "' at " + std::to_string(at);
                EXPECT_EQ(sample.find(needle, at), text.find(needle, at)) << what;
                EXPECT_EQ(sample.rfind(needle, at), text.rfind(needle, at)) << what;
                EXPECT_EQ(sample.find_first_of(needle, at), text.find_first_of(needle, at)) << what;
                EXPECT_EQ(sample.find_last_of(needle, at), text.find_last_of(needle, at)) << what;
                EXPECT_EQ(sample.find_first_not_of(needle, at), text.find_first_not_of(needle, at))
                    << what;
                EXPECT_EQ(sample.find_last_not_of(needle, at), text.find_last_not_of(needle, at))
                    << what;
                if (!needle.empty()) {
                    EXPECT_EQ(sample.find(needle[0], at), text.find(needle[0], at)) << what;
                    EXPECT_EQ(sample.rfind(needle[0], at), text.rfind(needle[0], at)) << what;
                }
            }
            EXPECT_EQ(sample.rfind(needle), text.rfind(needle)) << needle << " in " << sample;
            EXPECT_EQ(sample.find_last_of(needle), text.find_last_of(needle)) << sample;
            EXPECT_EQ(sample.find_last_not_of(needle), text.find_last_not_of(needle)) << sample;
            EXPECT_EQ(sample.starts_with(needle), text.starts_with(needle)) << sample;
            EXPECT_EQ(sample.ends_with(needle), text.ends_with(needle)) << sample;
            EXPECT_EQ(sample.compare(needle) < 0, text.compare(needle) < 0) << sample;
            EXPECT_EQ(sample.compare(needle) == 0, text.compare(needle) == 0) << sample;
            EXPECT_EQ(sample == needle, text == needle.c_str()) << sample;
            EXPECT_EQ(sample < needle, text < SmallString(needle)) << sample;
        }
    }
}

TEST(SmallStringTest, EditsLeaveTheBytesTheLibrarysStringLeaves) {
    for (const std::string& sample : theSamples) {
        for (std::size_t at = 0; at <= sample.size(); ++at) {
            for (std::size_t count = 0; count <= sample.size() - at + 1; ++count) {
                std::string what =
                    "'" + sample + "' at " + std::to_string(at) + " count " + std::to_string(count);
                ExpectSame(sample.substr(at, count), SmallString(sample).substr(at, count), what);
                EXPECT_EQ(sample.compare(at, count, "ab") < 0,
                          SmallString(sample).compare(at, count, "ab") < 0)
                    << what;
                EXPECT_EQ(sample.compare(at, count, "ab") == 0,
                          SmallString(sample).compare(at, count, "ab") == 0)
                    << what;
                ExpectSame(std::string("old").assign(sample, at, count),
                           SmallString("old").assign(sample, at, count), what);
                ExpectSame(std::string(sample).erase(at, count),
                           SmallString(sample).erase(at, count), what);
                ExpectSame(std::string(sample).replace(at, count, "XY"),
                           SmallString(sample).replace(at, count, "XY"), what);
            }
            for (const std::string& needle : theNeedles) {
                ExpectSame(std::string(sample).insert(at, needle),
                           SmallString(sample).insert(at, needle), sample + " + " + needle);
            }
            ExpectSame(std::string(sample).insert(at, 3, '#'),
                       SmallString(sample).insert(at, 3, '#'), sample);
            ExpectSame(sample.substr(at), SmallString(sample).substr(at), sample);
            ExpectSame(std::string(sample).erase(at), SmallString(sample).erase(at), sample);
        }
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, sample.size(), std::size_t{40}}) {
            std::string expected = sample;
            SmallString actual(sample);
            expected.resize(size, '-');
            actual.resize(size, '-');
            ExpectSame(expected, actual, sample + " resized");
        }
    }
}

// A pair of pointers is a range, a pointer and a number a count, even a count of 0.
TEST(SmallStringTest, RangesAndCountsAreToldApart) {
    char name[] = "ZIL_Service.exe\0junk";
    ExpectSame("ZIL_Service.exe", SmallString(name, name + 15), "range");
    ExpectSame("", SmallString(name, 0), "count 0");
    SmallString text("old");
    ExpectSame("ZIL", text.assign(name, name + 3), "assigned range");
    ExpectSame("", text.assign(name, 0), "assigned count 0");
}

// Positions past the end are cut to the end, where the library's string would throw.
TEST(SmallStringTest, PositionsPastTheEndAreCut) {
    SmallString text("abc");
    ExpectSame("", text.substr(9), "substr");
    ExpectSame("abc", SmallString(text).erase(9, 2), "erase");
    ExpectSame("abcXY", SmallString(text).replace(9, 1, "XY"), "replace");
    ExpectSame("abcXY", SmallString(text).insert(9, "XY"), "insert");
    EXPECT_EQ(SmallString::npos, text.find('a', 9));
}

// Text taken from the string itself must survive the buffer moving under it.
TEST(SmallStringTest, ItsOwnBytesCanBeAddedToItself) {
    for (int round = 0; round < 6; ++round) {
        std::string expected = "0123456789";
        SmallString actual(expected);
        for (int step = 0; step <= round; ++step) {
            expected += expected;
            actual += actual;
            expected.insert(3, expected.substr(1, 4));
            actual.insert(3, std::string_view(actual).substr(1, 4));
        }
        ExpectSame(expected, actual, "round " + std::to_string(round));
        actual.assign(actual.data() + 2, 5);
        ExpectSame(expected.substr(2, 5), actual, "assigned from itself");
    }
}

TEST(SmallStringTest, GrowingCopyingAndMovingKeepEveryByte) {
    std::string expected;
    SmallString built;
    for (int i = 0; i < 1000; ++i) {
        char c = static_cast<char>('a' + i % 26);
        expected.push_back(c);
        built.push_back(c);
        if (i % 7 == 0) {
            expected.push_back('\0');  // a byte string, not a C string
            built += '\0';
        }
    }
    ExpectSame(expected, built, "built");
    EXPECT_GE(built.capacity(), built.size());

    SmallString copy(built);
    SmallString moved(static_cast<SmallString&&>(built));
    ExpectSame(expected, copy, "copy");
    ExpectSame(expected, moved, "moved");
    EXPECT_TRUE(built.empty());
    EXPECT_STREQ("", built.c_str());
    built = "again";  // a moved-from string is usable
    ExpectSame("again", built, "reused");

    copy = moved;
    moved = static_cast<SmallString&&>(copy);
    ExpectSame(expected, moved, "moved back");
    copy.pop_back();
    copy.clear();
    ExpectSame("", copy, "emptied");

    while (!moved.empty()) {
        moved.pop_back();
        expected.pop_back();
        ASSERT_EQ(expected, Bytes(moved));
    }
}

TEST(SmallStringTest, JoiningInEveryOrderGivesTheSameText) {
    SmallString path("C:\\ZIL");
    std::string_view name("setup.log");
    ExpectSame("C:\\ZIL\\setup.log", path + '\\' + name, "path");
    ExpectSame("C:\\ZIL\\setup.log", path + "\\" + SmallString(name), "literal");
    ExpectSame("[C:\\ZIL]", '[' + path + "]", "char first");
    ExpectSame("<C:\\ZIL", "<" + path, "literal first");
    ExpectSame("setup.logC:\\ZIL", name + path, "view first");
    SmallString copy = path;
    ExpectSame("C:\\ZIL!", SmallString(path) + "!", "temporary");
    ExpectSame("C:\\ZIL", copy, "the operand stays");
    EXPECT_TRUE(path == "C:\\ZIL");
    EXPECT_TRUE(path != name);
    EXPECT_TRUE(path.contains("ZIL") && path.contains(':') && !path.contains("zil"));
}

TEST(SmallStringTest, NumbersReadAsTheLibraryWritesThem) {
    const long long signedValues[] = {0,    7,       -7,      10,        -10,
                                      1603, INT_MAX, INT_MIN, LLONG_MAX, LLONG_MIN};
    for (long long value : signedValues) {
        ExpectSame(std::to_string(value), SmallToString(value), std::to_string(value));
    }
    const unsigned long long unsignedValues[] = {0, 9, 4294967295ull, ULLONG_MAX};
    for (unsigned long long value : unsignedValues) {
        ExpectSame(std::to_string(value), SmallToString(value), std::to_string(value));
    }
    // The digits come from a division done in 16-bit pieces: every piece's edge, and a carry
    // from each piece into the next.
    for (int shift = 0; shift < 64; shift += 4) {
        unsigned long long power = 1ull << shift;
        for (unsigned long long value : {power - 1, power, power + 9, power * 10 - 1}) {
            ExpectSame(std::to_string(value), SmallToString(value), std::to_string(value));
        }
    }
    for (unsigned long long value = 1; value <= ULLONG_MAX / 10; value *= 10) {
        ExpectSame(std::to_string(value * 10 - 1), SmallToString(value * 10 - 1), "nines");
    }
    ExpectSame("-1", SmallToString(-1), "int");
    ExpectSame("4294967295", SmallToString(4294967295u), "unsigned");
}

}  // namespace

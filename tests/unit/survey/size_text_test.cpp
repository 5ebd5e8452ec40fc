// FormatMegabytes, GroupThousands and PrependChar.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "survey/size_text.h"

namespace {

std::string Format(DWORD v) {
    char out[17];
    memset(out, '#', sizeof out);
    FormatMegabytes(v, out);
    return out;
}

// Groups `text` in a heap buffer of exactly the stated room, so that the
// sanitizer sees any write past it.
std::string Group(const std::string &text) {
    size_t n = 0, start = text.find_first_of("0123456789");
    if (start != std::string::npos)
        while (start + n < text.size() && isdigit(static_cast<unsigned char>(text[start + n]))) ++n;
    size_t room = text.size() + 1 + (n ? (n - 1) / 3 : 0);
    std::unique_ptr<char[]> buf(new char[room]);
    memcpy(buf.get(), text.c_str(), text.size() + 1);
    GroupThousands(buf.get());
    return buf.get();
}

TEST(SizeText, FormatsRightAlignedInTenWithMB) {
    EXPECT_EQ(Format(0), "         0 MB");
    EXPECT_EQ(Format(7), "         7 MB");
    EXPECT_EQ(Format(999), "       999 MB");
    EXPECT_EQ(Format(1000), "     1,000 MB");
    EXPECT_EQ(Format(999999), "   999,999 MB");
    EXPECT_EQ(Format(1234567), " 1,234,567 MB");
    EXPECT_EQ(Format(12345678), "12,345,678 MB");
    EXPECT_EQ(Format(123456789), "123,456,789 MB");
    EXPECT_EQ(Format(4294967295u), "4,294,967,295 MB");
}

TEST(SizeText, TwoTextsWrittenOneAfterTheOther) {
    char row[34];
    FormatMegabytes(476940, row);
    FormatMegabytes(1024, row + strlen(row));
    EXPECT_STREQ(row, "   476,940 MB     1,024 MB");
}

TEST(SizeText, GroupThousandsGroupsOnlyTheFirstRun) {
    EXPECT_EQ(Group("123"), "123");
    EXPECT_EQ(Group("1234"), "1,234");
    EXPECT_EQ(Group("123456"), "123,456");
    EXPECT_EQ(Group("1000000"), "1,000,000");
    EXPECT_EQ(Group(""), "");
    EXPECT_EQ(Group("no digits"), "no digits");
    EXPECT_EQ(Group("x12345y"), "x12,345");
    EXPECT_EQ(Group("12 3456"), "12");
    EXPECT_EQ(Group("  0"), "  0");
}

TEST(SizeText, GroupThousandsStaysInsideItsRoomForAnyRunLength) {
    for (size_t n : {29u, 30u, 31u, 33u, 40u, 100u}) {
        std::string digits;
        for (size_t i = 0; i < n; ++i) digits += char('1' + i % 9);
        std::string want;
        for (size_t i = 0; i < n; ++i) {
            if (i && (n - i) % 3 == 0) want += ',';
            want += digits[i];
        }
        EXPECT_EQ(Group("ab" + digits + "cd"), "ab" + want) << n;
    }
}

TEST(SizeText, PrependCharGrowsTheTextByOne) {
    char buf[8] = "";
    PrependChar(buf, ' ');
    EXPECT_STREQ(buf, " ");
    PrependChar(buf, 'x');
    EXPECT_STREQ(buf, "x ");
}

}  // namespace

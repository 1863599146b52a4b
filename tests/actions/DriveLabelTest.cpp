#include "actions/DriveLabel.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {
std::size_t Chars(const std::string& s)
{
    std::size_t n = 0;
    for (unsigned char ch : s)
        n += (ch & 0xC0) != 0x80;
    return n;
}
const std::string kPrefix = "指定ﾄﾞﾗｲﾌﾞ：";
} // namespace

TEST(DriveLabelFor, ShortAndLongRoots)
{
    DriveLabelText label = DriveLabelFor("Q:\\");
    EXPECT_EQ(label.caption, kPrefix + "Q:\\");
    EXPECT_EQ(Chars(label.caption), 12u);
    EXPECT_EQ(label.toolTip, label.caption);

    label = DriveLabelFor("/mnt/cd/");
    EXPECT_EQ(label.driveRootPath, "/mnt/cd/");
    EXPECT_EQ(DriveLabelFor("/mnt/cd").driveRootPath, "/mnt/cd/");

    const std::string fits = "/media/cdrom/abcdef"; // 19 characters: still whole
    EXPECT_EQ(DriveLabelFor(fits).caption, kPrefix + fits);
    label = DriveLabelFor(fits + "g");
    EXPECT_EQ(label.caption, kPrefix + fits + "...");
    EXPECT_EQ(Chars(label.caption), 31u);
    EXPECT_EQ(label.toolTip, kPrefix + fits + "g");

    // Multi-byte characters count once and are never cut in two.
    label = DriveLabelFor("/メディア/おたのしみシーディーの中のフォルダ");
    EXPECT_EQ(label.caption, kPrefix + "/メディア/おたのしみシーディーの中の...");

    EXPECT_EQ(DriveLabelFor("").caption, kDriveLabelUnset);
    EXPECT_EQ(DriveLabelFor("").driveRootPath, "");
}

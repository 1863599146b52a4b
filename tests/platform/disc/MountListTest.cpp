// The discs and removable volumes the drive chooser offers first, read from a mount table.
#include "platform/disc/MountList.h"

#include <gtest/gtest.h>

using orv::ChooserPlace;
using orv::MountedVolume;

namespace {

// A desktop's mount table: the system's own mounts, a disc mounted by the desktop, one by hand,
// USB sticks under /media and /run/media, a label with a blank, a mount point mounted over,
// mounts deeper than desktops make them.
const char* const kMountInfo =
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "23 22 0:21 / /proc rw,nosuid - proc proc rw\n"
    "24 22 0:5 / /dev rw,nosuid shared:2 - devtmpfs udev rw,size=8G\n"
    "40 22 8:1 / /boot/efi rw,relatime shared:3 - vfat /dev/sda1 rw\n"
    "61 22 11:0 / /media/ann/CD\\040011 ro,nosuid,nodev,relatime shared:40 - iso9660 /dev/sr0 ro,nojoliet\n"
    "62 22 7:0 / /srv/cd ro,relatime shared:41 - udf /dev/loop0 ro\n"
    "63 22 8:17 / /run/media/ann/USB rw,nosuid shared:42 - vfat /dev/sdb1 rw\n"
    "64 22 8:33 / /run/media/bob/THEIRS rw,nosuid shared:43 - vfat /dev/sdc1 rw\n"
    "65 22 8:49 / /mnt/backup rw shared:44 - ext4 /dev/sdd1 rw\n"
    "66 22 0:50 / /mnt rw - tmpfs tmpfs rw\n"
    "67 22 0:51 / /mediastore rw - ext4 /dev/sde1 rw\n"
    "71 22 0:54 / /mnt/tools/env/v1/python ro - ext4 /dev/sdg1 ro\n"
    "72 22 0:55 / /media/ann/STICK/inner rw - tmpfs tmpfs rw\n"
    "68 22 8:65 / /media/ann/STICK rw shared:45 - vfat /dev/sdf1 rw\n"
    "69 68 0:52 / /media/ann/STICK rw - tmpfs tmpfs rw\n"
    "garbage line\n"
    "70 22 0:53 / /media/short\n";

} // namespace

TEST(MountList, DiscsAnywhereAndMountsBelowTheRemovableFolders)
{
    const std::vector<MountedVolume> v = orv::RemovableVolumes(kMountInfo, "ann");
    std::vector<std::string> points;
    for (const MountedVolume& m : v)
        points.push_back(m.mountPoint);
    EXPECT_EQ(points,
              (std::vector<std::string>{"/media/ann/CD 011", "/srv/cd", "/run/media/ann/USB", "/mnt/backup",
                                        "/media/ann/STICK"}));
    EXPECT_EQ(v[0].fsType, "iso9660");
    EXPECT_EQ(v[0].source, "/dev/sr0");
    // The last mount on a point is what is there.
    EXPECT_EQ(v[4].fsType, "tmpfs");

    // Without a user name only /run/media's own folders are left out.
    EXPECT_EQ(orv::RemovableVolumes(kMountInfo, "").size(), 4u);
    EXPECT_TRUE(orv::RemovableVolumes("", "ann").empty());
}

TEST(MountList, ChooserPlacesAreTheVolumesByLabelThenHomeThenRoot)
{
    const auto label = [](const MountedVolume& v) {
        return v.source == "/dev/loop0" ? std::string("お楽しみCD 12") : std::string();
    };
    const std::vector<ChooserPlace> places = orv::ChooserPlaces(kMountInfo, "ann", "/home/ann", label);
    ASSERT_EQ(places.size(), 7u);
    EXPECT_EQ(places[0].name, "CD 011");
    EXPECT_EQ(places[0].kind, ChooserPlace::Kind::Disc);
    EXPECT_EQ(places[1].name, "お楽しみCD 12");
    EXPECT_EQ(places[1].path, "/srv/cd");
    EXPECT_EQ(places[2].kind, ChooserPlace::Kind::Removable);
    EXPECT_EQ(places[5].kind, ChooserPlace::Kind::Home);
    EXPECT_EQ(places[5].path, "/home/ann");
    EXPECT_EQ(places[6].kind, ChooserPlace::Kind::Root);
    EXPECT_EQ(places[6].path, "/");

    // No home of its own (HOME=/): the root alone.
    const std::vector<ChooserPlace> bare = orv::ChooserPlaces("", "", "/", nullptr);
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_EQ(bare[0].kind, ChooserPlace::Kind::Root);
}

TEST(MountList, TheChooserFindsThePlaceOfAFolderAndReadsTypedPaths)
{
    const std::vector<ChooserPlace> places = {{ChooserPlace::Kind::Disc, "CD", "/media/ann/CD"},
                                              {ChooserPlace::Kind::Home, "ホーム", "/home/ann"},
                                              {ChooserPlace::Kind::Root, "ルート", "/"}};
    EXPECT_EQ(orv::PlaceHolding(places, "/media/ann/CD"), 0u);
    EXPECT_EQ(orv::PlaceHolding(places, "/media/ann/CD/UTIL/"), 0u);
    EXPECT_EQ(orv::PlaceHolding(places, "/media/ann/CDROM"), 2u) << "name by name, not letter by letter";
    EXPECT_EQ(orv::PlaceHolding(places, "/home/ann//CD/./x"), 1u);
    EXPECT_EQ(orv::PlaceHolding(places, "/"), 2u);
    EXPECT_EQ(orv::PlaceHolding(places, "relative/path"), std::nullopt);
    EXPECT_EQ(orv::PlaceHolding({}, "/home/ann"), std::nullopt);

    const std::string home = "/home/ann", base = "/media/ann/CD";
    EXPECT_EQ(orv::ChooserTypedPath("~", home, base), "/home/ann");
    EXPECT_EQ(orv::ChooserTypedPath("  ~/.hidden/CD//", home, base), "/home/ann/.hidden/CD");
    EXPECT_EQ(orv::ChooserTypedPath("~ann", home, base), "/media/ann/CD/~ann") << "only ~ alone is the home";
    EXPECT_EQ(orv::ChooserTypedPath("/srv/../srv/cd/.", home, base), "/srv/cd");
    EXPECT_EQ(orv::ChooserTypedPath("UTIL", home, base), "/media/ann/CD/UTIL");
    EXPECT_EQ(orv::ChooserTypedPath("UTIL", home, ""), "/home/ann/UTIL");
    EXPECT_EQ(orv::ChooserTypedPath("/../..", home, base), "/");
    EXPECT_EQ(orv::ChooserTypedPath(" ", home, base), "");
}

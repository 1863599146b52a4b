// Copying a folder out of an ISO 9660 image in this process: names in either case, the three
// kinds of names, hard links, and images made to write elsewhere or to end early.
#include "platform/disc/DiscImage.h"

#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvtest;
using orv::CopyImageFolder;
using orv::ImageCopyStatus;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// Every path below dir ('/'-separated, relative), folders marked with a trailing '/'.
std::set<std::string> treeOf(const fs::path& dir)
{
    std::set<std::string> out;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = fs::relative(it->path(), dir).generic_string();
        out.insert(it->is_directory() && !it->is_symlink() ? rel + "/" : rel);
    }
    return out;
}

// Nothing but folders and regular files, none of them writable files.
void expectOnlyPlainReadOnlyFiles(const fs::path& dir)
{
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const fs::file_status st = e.symlink_status();
        ASSERT_TRUE(fs::is_directory(st) || fs::is_regular_file(st)) << e.path();
        if (fs::is_regular_file(st)) {
            EXPECT_EQ(st.permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read)
                << e.path();
        }
    }
}

const std::vector<IsoEntry> kVolume = {
    isoFolder("UTIL"),
    isoFolder("UTIL/SS"),
    isoFolder("UTIL/SS/POINT"),
    isoFile("UTIL/SS/POINT/POINT.EXE", "MZ point"),
    isoFolder("UTIL/SS/POINT/DATA"),
    isoFile("UTIL/SS/POINT/DATA/Stage1.dat", std::string(70000, 'x')),
    isoFolder("UTIL/PC"),
    isoFile("UTIL/PC/SETUP.EXE", "MZ setup"),
    isoFile("README.TXT", "read me"),
};

} // namespace

TEST(DiscImage, CopiesOneFolderUnderTheImagesNamesWhateverTheCaseAsked)
{
    TempDir dir;
    const std::string image = dir.file("cd.iso");
    writeIsoImage(image, kVolume);
    const fs::path dest = dir.path() / "copy";
    fs::create_directory(dest);

    const orv::ImageCopyResult r = CopyImageFolder(image, {"util", "Ss", "point"}, dest.string());
    EXPECT_EQ(r.status, ImageCopyStatus::Copied);
    EXPECT_EQ(r.files, 2u);
    EXPECT_EQ(r.bytes, 8u + 70000u);
    EXPECT_EQ(treeOf(dest),
              (std::set<std::string>{"UTIL/", "UTIL/SS/", "UTIL/SS/POINT/", "UTIL/SS/POINT/POINT.EXE",
                                     "UTIL/SS/POINT/DATA/", "UTIL/SS/POINT/DATA/Stage1.dat"}));
    EXPECT_EQ(readFileBytes((dest / "UTIL/SS/POINT/DATA/Stage1.dat").string()), std::string(70000, 'x'));
    expectOnlyPlainReadOnlyFiles(dest);

    // A dry run writes nothing and lists the files.
    const orv::ImageCopyResult dry = CopyImageFolder(image, {"UTIL", "SS", "POINT"}, std::string());
    EXPECT_EQ(dry.status, ImageCopyStatus::Copied);
    EXPECT_EQ(dry.files, 2u);
    EXPECT_EQ(std::set<std::string>(dry.listed.begin(), dry.listed.end()),
              (std::set<std::string>{"UTIL/SS/POINT/POINT.EXE", "UTIL/SS/POINT/DATA/Stage1.dat"}));

    // The whole volume, for an entry whose folder is the root.
    const fs::path all = dir.path() / "all";
    fs::create_directory(all);
    EXPECT_EQ(CopyImageFolder(image, {}, all.string()).files, 4u);

    for (const Names& missing :
         {Names{"UTIL", "GB"}, Names{"UTIL", "PC", "SETUP.EXE"}, Names{"UTIL", "SS", "POINT", "X"}})
        EXPECT_EQ(CopyImageFolder(image, missing, std::string()).status, ImageCopyStatus::FolderMissing)
            << missing.back();
    EXPECT_EQ(CopyImageFolder(image, {"UTIL"}, std::string(), 1000).status, ImageCopyStatus::TooLarge);
}

TEST(DiscImage, ReadsRockRidgeJolietAndPlainNames)
{
    TempDir dir;
    const std::vector<IsoEntry> entries = {isoFolder("Util"), isoFolder("Util/Point"),
                                           isoFile("Util/Point/Point.exe", "MZ"),
                                           isoFile("Util/Point/a long file name.txt", "long")};
    const std::pair<std::string, std::set<std::string>> kinds[] = {
        {"", {"Util/Point/Point.exe", "Util/Point/a long file name.txt"}},
        {"!rockridge", {"Util/Point/Point.exe", "Util/Point/a long file name.txt"}},
        // Plain ISO 9660 names are upper case, 8.3.
        {"!rockridge,!joliet", {"UTIL/POINT/POINT.EXE", "UTIL/POINT/A_LONG_F.TXT"}},
    };
    for (const auto& [options, listed] : kinds) {
        const std::string image = dir.file("names.iso");
        writeIsoImage(image, entries, options);
        const orv::ImageCopyResult r = CopyImageFolder(image, {"UTIL", "POINT"}, std::string());
        EXPECT_EQ(r.status, ImageCopyStatus::Copied) << options;
        EXPECT_EQ(std::set<std::string>(r.listed.begin(), r.listed.end()), listed) << options;
    }
}

TEST(DiscImage, EveryCaseVariantOfTheFolderIsCopied)
{
    TempDir dir;
    const std::string image = dir.file("mixed.iso");
    writeIsoImage(image,
                  {isoFolder("UTIL"), isoFolder("UTIL/SS"), isoFolder("util"), isoFolder("util/ss"),
                   isoFile("util/ss/POINT.EXE", "lower"), isoFile("UTIL/SS/OTHER.EXE", "upper")});
    const fs::path dest = dir.path() / "copy";
    fs::create_directory(dest);
    EXPECT_EQ(CopyImageFolder(image, {"Util", "ss"}, dest.string()).status, ImageCopyStatus::Copied);
    EXPECT_EQ(
        treeOf(dest),
        (std::set<std::string>{"UTIL/", "UTIL/SS/", "UTIL/SS/OTHER.EXE", "util/", "util/ss/", "util/ss/POINT.EXE"}));
}

TEST(DiscImage, HardLinksBecomeCopiesOfTheirData)
{
    TempDir dir;
    const std::string image = dir.file("links.iso");
    // The reader names whichever of a linked pair comes first as the one with the data: here the
    // ones in A.
    writeIsoImage(image,
                  {isoFolder("A"), isoFolder("B"), isoFile("B/OUT", "outside data"), isoFile("A/IN", "inside"),
                   isoHardLink("A/OUTLINK", "B/OUT"), isoHardLink("A/INLINK", "A/IN")});
    const fs::path a = dir.path() / "a";
    fs::create_directory(a);
    ASSERT_EQ(CopyImageFolder(image, {"A"}, a.string()).status, ImageCopyStatus::Copied);
    EXPECT_EQ(treeOf(a), (std::set<std::string>{"A/", "A/IN", "A/INLINK", "A/OUTLINK"}));
    for (const char* name : {"IN", "INLINK"})
        EXPECT_EQ(readFileBytes((a / "A" / name).string()), "inside") << name;
    EXPECT_EQ(readFileBytes((a / "A/OUTLINK").string()), "outside data");
    expectOnlyPlainReadOnlyFiles(a);

    // B/OUT's data lies in A, which has gone by when B/OUT comes: a second read brings it.
    const fs::path b = dir.path() / "b";
    fs::create_directory(b);
    const orv::ImageCopyResult r = CopyImageFolder(image, {"B"}, b.string());
    ASSERT_EQ(r.status, ImageCopyStatus::Copied);
    EXPECT_EQ(r.bytes, 12u);
    EXPECT_EQ(readFileBytes((b / "B/OUT").string()), "outside data");
    expectOnlyPlainReadOnlyFiles(b);
}

TEST(DiscImage, NamesAndLinksNeverLeadOutOfTheCopy)
{
    TempDir dir;
    const fs::path dest = dir.path() / "cache" / "copy";
    fs::create_directories(dest);
    // Rock Ridge names patched after writing: "QQ" becomes ".." and "/e" (a name holding a
    // separator); links lead out by relative and absolute targets.
    const std::string image = dir.file("hostile.iso");
    writeIsoImage(image,
                  {isoFolder("UTIL"), isoFolder("UTIL/QQ"), isoFolder("UTIL/QQ/QQ"),
                   isoFile("UTIL/QQ/QQ/ESCAPED.TXT", "escaped"), isoFile("UTIL/OK.TXT", "ok"),
                   isoLink("UTIL/UP", "../../../../../../.."), isoLink("UTIL/PASSWD", "/etc/passwd"),
                   isoHardLink("UTIL/HARD", "../../../etc/passwd")},
                  "!joliet");
    const std::string dotted = dir.file("dotted.iso");
    fs::copy_file(image, dotted);
    ASSERT_GT(patchFileBytes(dotted, "QQ", ".."), 0);
    const std::string slashed = dir.file("slashed.iso");
    fs::copy_file(image, slashed);
    ASSERT_GT(patchFileBytes(slashed, "QQ", "/e"), 0);

    // A name ".." below the folder cannot be written: the copy is refused, and nothing lands
    // beside it or above it.
    for (const std::string& hostile : {dotted, slashed}) {
        fs::remove_all(dest);
        fs::create_directories(dest);
        const orv::ImageCopyResult r = CopyImageFolder(hostile, {"UTIL"}, dest.string());
        EXPECT_EQ(r.status, hostile == dotted ? ImageCopyStatus::Damaged : ImageCopyStatus::Copied) << hostile;
        EXPECT_EQ(CopyImageFolder(hostile, {"UTIL"}, std::string()).status, r.status) << hostile;
        expectOnlyPlainReadOnlyFiles(dest);
        for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
            if (e.path().filename() == "ESCAPED.TXT") {
                EXPECT_EQ(e.path().string().rfind(dest.string() + "/", 0), 0u) << e.path();
            }
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "cache"), fs::directory_iterator()), 1);
    }
    EXPECT_EQ(readFileBytes((dest / "UTIL/OK.TXT").string()), "ok");
    // The slashed names stay folders of the copy.
    const orv::ImageCopyResult r = CopyImageFolder(slashed, {"UTIL", "e", "e"}, std::string());
    EXPECT_EQ(r.status, ImageCopyStatus::Copied);
    EXPECT_EQ(r.listed, (std::vector<std::string>{"UTIL/e/e/ESCAPED.TXT"}));

    // Names that climb are no path to ask for either.
    std::vector<std::string> names;
    EXPECT_FALSE(orv::ImagePathNames("UTIL\\..\\..\\etc", &names));
    names.clear();
    EXPECT_TRUE(orv::ImagePathNames("\\UTIL\\.\\SS\\..\\PC\\", &names));
    EXPECT_EQ(names, (std::vector<std::string>{"UTIL", "PC"}));
}

TEST(DiscImage, ATruncatedImageIsDamaged)
{
    TempDir dir;
    const std::string image = dir.file("cd.iso");
    writeIsoImage(image, kVolume);
    const std::string whole = readFileBytes(image);
    const std::size_t data = whole.find(std::string(70000, 'x'));
    ASSERT_NE(data, std::string::npos);
    // Cut in the system area, in the volume descriptors, after them, and in a file's data.
    for (std::size_t size :
         {std::size_t(0), std::size_t(20000), std::size_t(33000), std::size_t(40000), data + 35000}) {
        writeFileBytes(image, whole.substr(0, size));
        const fs::path dest = dir.path() / ("cut" + std::to_string(size));
        fs::create_directory(dest);
        EXPECT_NE(CopyImageFolder(image, {"UTIL", "SS", "POINT"}, dest.string()).status, ImageCopyStatus::Copied)
            << size;
        // The listing of what a copy would hold reads the data too.
        EXPECT_NE(orv::ListImageFolder(image, {"UTIL", "SS", "POINT"}).status, ImageCopyStatus::Copied) << size;
        // What was written before the image ended is read-only too.
        expectOnlyPlainReadOnlyFiles(dest);
    }
    EXPECT_EQ(orv::CopyImageFolderFromMemory(whole.data(), whole.size(), {"UTIL", "PC"}, std::string()).files, 1u);
    // Cut in the data of the image's last file: the directory read alone finds nothing wrong, the
    // listing of what a copy would hold does.
    const std::string last = dir.file("last.iso");
    writeIsoImage(last, {isoFolder("UTIL"), isoFile("UTIL/BIG.BIN", std::string(100000, 'b'))});
    const std::string lastWhole = readFileBytes(last);
    writeFileBytes(last, lastWhole.substr(0, lastWhole.find('b') + 50000));
    EXPECT_EQ(CopyImageFolder(last, {"UTIL"}, std::string()).status, ImageCopyStatus::Copied);
    EXPECT_EQ(orv::ListImageFolder(last, {"UTIL"}).status, ImageCopyStatus::Damaged);
}

TEST(DiscImage, AFolderTheReaderLeavesUnreadRefusesTheCopyInsteadOfShorteningIt)
{
    TempDir dir;
    const std::string image = dir.file("order.iso");
    writeIsoImage(image,
                  {isoFolder("UTIL"), isoFolder("UTIL/X"), isoFolder("UTIL/X/SUB"), isoFile("UTIL/X/SUB/S.TXT", "sub"),
                   isoFile("UTIL/X/A.TXT", "a"), isoFolder("UTIL/PC"), isoFile("UTIL/PC/P.TXT", "p")});
    EXPECT_EQ(CopyImageFolder(image, {"UTIL", "X"}, std::string()).files, 2u);
    // SUB's directory now lies before X's: libarchive reads directories in one pass forward and
    // passes over SUB with a warning.
    swapDirectoryExtents(image, "UTIL/X", "UTIL/X/SUB");
    for (const Names& spoilt : {Names{"UTIL", "X"}, Names{"util", "x", "sub"}, Names{"UTIL"}, Names{}}) {
        const fs::path dest = dir.path() / ("copy" + std::to_string(spoilt.size()));
        fs::create_directory(dest);
        EXPECT_EQ(CopyImageFolder(image, spoilt, dest.string()).status, ImageCopyStatus::Damaged) << spoilt.size();
        EXPECT_EQ(CopyImageFolder(image, spoilt, std::string()).status, ImageCopyStatus::Damaged) << spoilt.size();
    }
    // A folder beside it is whole.
    const fs::path pc = dir.path() / "pc";
    fs::create_directory(pc);
    ASSERT_EQ(CopyImageFolder(image, {"UTIL", "PC"}, pc.string()).status, ImageCopyStatus::Copied);
    EXPECT_EQ(treeOf(pc), (std::set<std::string>{"UTIL/", "UTIL/PC/", "UTIL/PC/P.TXT"}));
}

TEST(DiscImage, AJolietNameTheReaderCannotConvertRefusesEveryCopy)
{
    TempDir dir;
    const std::string image = dir.file("joliet.iso");
    // Joliet names only; one Japanese name, which converts whatever the process's locale.
    writeIsoImage(image,
                  {isoFolder("UTIL"), isoFile("UTIL/Z~Z.TXT", "z"), isoFile("UTIL/OK.TXT", "ok"),
                   isoFile("UTIL/\xE3\x83\x9D\xE3\x82\xA4.TXT", "jp"), isoFolder("PC"), isoFile("PC/P.TXT", "p")},
                  "!rockridge");
    const fs::path whole = dir.path() / "whole";
    fs::create_directory(whole);
    ASSERT_EQ(CopyImageFolder(image, {"UTIL"}, whole.string()).status, ImageCopyStatus::Copied);
    EXPECT_EQ(readFileBytes((whole / "UTIL/\xE3\x83\x9D\xE3\x82\xA4.TXT").string()), "jp");
    // An unpaired high surrogate in place of "~": libarchive gives that entry no name at all, so it
    // could be in any folder.
    ASSERT_EQ(patchFileBytes(image, std::string("\0Z\0~\0Z", 6), std::string("\0Z\xD8\x00\0Z", 6)), 1);
    for (const Names& folder : {Names{"UTIL"}, Names{"PC"}}) {
        const fs::path dest = dir.path() / folder[0];
        fs::create_directory(dest);
        EXPECT_EQ(CopyImageFolder(image, folder, dest.string()).status, ImageCopyStatus::Damaged) << folder[0];
        EXPECT_EQ(CopyImageFolder(image, folder, std::string()).status, ImageCopyStatus::Damaged) << folder[0];
    }
}

TEST(DiscImage, NamesAreCopiedAsTheyAreOrNotAtAll)
{
    TempDir dir;
    // A Rock Ridge name holding a line feed is one name.
    const std::string lf = dir.file("lf.iso");
    writeIsoImage(lf, {isoFolder("UTIL"), isoFile("UTIL/lf_Q_name.txt", "lf"), isoFile("UTIL/lf", "short")}, "!joliet");
    ASSERT_EQ(patchFileBytes(lf, "lf_Q_name", "lf_\n_name"), 1);
    const orv::ImageCopyResult listed = CopyImageFolder(lf, {"UTIL"}, std::string());
    ASSERT_EQ(listed.status, ImageCopyStatus::Copied);
    EXPECT_EQ(std::set<std::string>(listed.listed.begin(), listed.listed.end()),
              (std::set<std::string>{"UTIL/lf_\n_name.txt", "UTIL/lf"}));
    const fs::path dest = dir.path() / "lf";
    fs::create_directory(dest);
    ASSERT_EQ(CopyImageFolder(lf, {"UTIL"}, dest.string()).status, ImageCopyStatus::Copied);
    EXPECT_EQ(readFileBytes((dest / "UTIL/lf_\n_name.txt").string()), "lf");

    // Two entries of one name, and a file where a folder must be: one of them would be lost.
    const std::string twice = dir.file("twice.iso");
    writeIsoImage(twice,
                  {isoFolder("UTIL"), isoFile("UTIL/AQ.TXT", "first"), isoFile("UTIL/AB.TXT", "second"),
                   isoFile("UTIL/DQ", "file"), isoFolder("UTIL/DD"), isoFile("UTIL/DD/IN.TXT", "in")},
                  "!joliet");
    ASSERT_EQ(patchFileBytes(twice, "AQ", "AB"), 2) << "the Rock Ridge and the plain name";
    ASSERT_EQ(patchFileBytes(twice, "DQ", "DD"), 2);
    for (const Names& folder : {Names{"UTIL"}, Names{"UTIL", "DD"}}) {
        const fs::path copy = dir.path() / ("twice" + std::to_string(folder.size()));
        fs::create_directory(copy);
        const ImageCopyStatus expected = folder.size() == 1 ? ImageCopyStatus::Damaged : ImageCopyStatus::Copied;
        EXPECT_EQ(CopyImageFolder(twice, folder, copy.string()).status, expected) << folder.size();
        EXPECT_EQ(CopyImageFolder(twice, folder, std::string()).status, expected) << folder.size();
    }
}

TEST(DiscImage, TheLimitHoldsForTheFolderAsAWhole)
{
    // Three files of 400 bytes: each is far below a limit of 1,199 bytes, together they are over.
    TempDir dir;
    const std::string image = dir.file("cd.iso");
    writeIsoImage(image,
                  {isoFolder("UTIL"), isoFile("UTIL/A.DAT", std::string(400, 'a')),
                   isoFile("UTIL/B.DAT", std::string(400, 'b')), isoFile("UTIL/C.DAT", std::string(400, 'c'))});
    const fs::path over = dir.path() / "over";
    fs::create_directory(over);
    EXPECT_EQ(CopyImageFolder(image, {"UTIL"}, over.string(), 1199).status, ImageCopyStatus::TooLarge);
    EXPECT_EQ(CopyImageFolder(image, {"UTIL"}, std::string(), 1199).status, ImageCopyStatus::TooLarge);
    // Exactly at the limit is whole.
    const fs::path at = dir.path() / "at";
    fs::create_directory(at);
    const orv::ImageCopyResult r = CopyImageFolder(image, {"UTIL"}, at.string(), 1200);
    EXPECT_EQ(r.status, ImageCopyStatus::Copied);
    EXPECT_EQ(r.bytes, 1200u);
}

// The image is read a second time for a link in the folder whose data lies outside it. Where the
// image changed in between (replaced while it was being copied), the second read may not bring
// that data: the copy is not whole, and an empty file must not pass for the link's.
TEST(DiscImage, ALinkWhoseDataTheSecondReadDoesNotBringFailsTheCopy)
{
    TempDir dir;
    const std::string image = dir.file("links.iso");
    // As in HardLinksBecomeCopiesOfTheirData: B/OUT's data lies in A/OUTLINK, read before B.
    writeIsoImage(image,
                  {isoFolder("A"), isoFolder("B"), isoFile("B/OUT", "outside data"), isoFile("A/IN", "inside"),
                   isoHardLink("A/OUTLINK", "B/OUT")},
                  "!joliet");
    const std::string first = readFileBytes(image);
    const std::string second = [&first] {
        std::string b = first;
        for (std::size_t at = b.find("OUTLINK"); at != std::string::npos; at = b.find("OUTLINK", at))
            b.replace(at, 7, "OUTLINX");
        return b;
    }();
    ASSERT_NE(second, first);

    // The image is a link to a pipe that gives the first bytes; once the first read has opened
    // it, the link leads to another pipe, which gives the changed bytes to the next read.
    const std::string image1 = dir.file("first.fifo"), image2 = dir.file("second.fifo");
    const fs::path link = dir.path() / "changing.iso";
    ASSERT_EQ(::mkfifo(image1.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(image2.c_str(), 0600), 0);
    fs::create_symlink(image1, link);
    const auto oldPipeHandler = std::signal(SIGPIPE, SIG_IGN); // a reader may stop before the end
    std::thread writer([&] {
        for (const auto& [pipe, bytes] : {std::pair(image1, &first), std::pair(image2, &second)}) {
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0)
                return;
            if (pipe == image1) {
                fs::create_symlink(image2, dir.path() / "next");
                fs::rename(dir.path() / "next", link);
            }
            for (std::size_t done = 0; done < bytes->size();) {
                const ssize_t n = ::write(fd, bytes->data() + done, bytes->size() - done);
                if (n <= 0)
                    break;
                done += std::size_t(n);
            }
            ::close(fd);
        }
    });
    const fs::path dest = dir.path() / "copy";
    fs::create_directory(dest);
    const orv::ImageCopyResult r = CopyImageFolder(link.string(), {"B"}, dest.string());
    // Frees the writer if the copy did not read twice: its writes then find no reader.
    if (const int unblock = ::open(image2.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); unblock >= 0)
        ::close(unblock);
    writer.join();
    std::signal(SIGPIPE, oldPipeHandler);
    EXPECT_EQ(r.status, ImageCopyStatus::Damaged);
}

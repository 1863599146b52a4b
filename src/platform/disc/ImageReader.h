// The child process that reads disc images: the program itself (or orvantis-query) started with
//
//   exe --copy-image-folder IMAGE DEST [NAME...]
//
// under limits of memory and processor time, killed when the program ends. What it says on its
// standard output:
//   - DEST empty (a dry run that reads the data too, ListImageFolder): "listing BYTES FILES\n",
//     then each file's path inside the image followed by a NUL byte (a name may hold a line feed,
//     never a NUL);
//   - else: "size BYTES FILES\n" once the folder is known to be whole, then it waits for one byte
//     on its standard input ('c' to go on, anything else or the end to stop), then
//     "progress BYTES\n" as it writes, the copy going into DEST (an empty folder).
// Its exit code is the ImageCopyStatus (0 for Copied).
#pragma once

#include "platform/disc/DiscImage.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace orv {

inline constexpr const char* kCopyImageFolderSwitch = "--copy-image-folder";

// Child side: argv as main has it, argv[1] being the switch. Returns the exit code.
int ServeImageFolderCopy(int argc, char** argv);

// What the child may take: its address space, its processor time.
inline constexpr unsigned long long kImageReaderMemory = 512ull << 20;
inline constexpr int kImageReaderCpuSeconds = 60;

// The wall time a read may take for an image of the given size: 15 s, and a second for each
// 32 MB of the image.
int ImageReadTimeLimitMs(unsigned long long imageSize);

int ImageReaderExitCode(ImageCopyStatus status);
ImageCopyStatus ImageReaderStatus(int exitCode);

// The child as its parent sees it: started with posix_spawn, its output on a pipe, in a process
// group of its own (out of the terminal's Ctrl+C), killed and reaped when dropped.
class ImageReaderChild {
public:
    explicit ImageReaderChild(const std::vector<std::string>& args);
    ~ImageReaderChild();
    ImageReaderChild(const ImageReaderChild&) = delete;
    ImageReaderChild& operator=(const ImageReaderChild&) = delete;

    bool started() const { return pid_ > 0; }
    // What to wait on for news: the output while it is open, then the process's own descriptor
    // (readable once it has ended); -1 when there is none to wait on (poll instead).
    int waitFd() const;
    // Reads what the output holds now into out; false once it has ended (closed, or failed).
    bool readOutput(std::string* out);
    bool outputEnded() const { return output_ < 0; }
    // Sends one byte to the child's input.
    bool tell(char c);
    // The exit code once the child has ended (-1 for one killed or crashed); nullopt while it
    // runs. block: wait for the end.
    std::optional<int> exitCode(bool block);
    void kill();

private:
    pid_t pid_ = -1;
    int output_ = -1;
    int input_ = -1;
    int pidFd_ = -1;
    std::optional<int> exit_;
};

// Parses the child's "size" and "progress" lines at the front of text (removing them); for each,
// sets what it says. false for a line the child never writes.
struct ReaderNews {
    std::optional<std::uint64_t> sizeBytes, sizeFiles, progress;
};
bool TakeReaderLines(std::string* text, ReaderNews* news);

// A dry run's listing as the child writes it: "listing BYTES FILES\n", NUL-terminated paths.
std::string ReaderListingText(const ImageCopyResult& result);

// A dry run's listing into result; false when the text is not one.
bool ParseReaderListing(const std::string& text, ImageCopyResult* result);

// Runs a dry run in the child: `exe --copy-image-folder image "" folder...` within timeLimitMs.
// Anything but a clean answer (a crash, a kill at the limit, a child that cannot start) is
// Damaged; a run that takes too long is TimedOut.
ImageCopyResult ListImageFolderInChild(const std::string& exe, const std::string& image,
                                       const std::vector<std::string>& folder, int timeLimitMs);

} // namespace orv

// Reading a catalogue file in a child process. libmdb follows offsets found in the file and an
// SQLite file brings its own schema; a hostile or damaged file must not be able to crash, hang or
// exhaust the program, so every catalogue file is read by a child with limits that streams the
// rows back, and whatever goes wrong there becomes an open failure here.
#pragma once

#include "platform/reader/CatalogueSource.h"

#include <cstdint>
#include <string>

namespace orv {

// The switch that makes the program or orvantis-query serve one catalogue read.
inline constexpr const char* kReadCatalogueSwitch = "--read-catalogue";

// Child side: reads the catalogue at path in this process and writes the stream
// (CatalogueStream.h) to fd. Returns the exit code.
int ServeCatalogueRead(const std::string& path, int fd);

// The memory a reader child may take for a file of the given size: 256 MB + 16 x the size.
std::uint64_t ReaderMemoryLimit(std::uint64_t fileSize);

// How long a reader child may go without sending anything before it counts as hung.
inline constexpr int kReaderStallMs = 10000;

// The program's catalogue source: runs `exe --read-catalogue PATH` for each read.
class IsolatedCatalogue final : public CatalogueSource {
public:
    // stallMs: how long the child may go without sending anything before it counts as hung.
    // stopFd: a descriptor that turns readable when reads are to stop (the program is closing),
    // or -1.
    explicit IsolatedCatalogue(std::string exe, int stallMs = kReaderStallMs, int stopFd = -1);

    // Beyond the errors of every source: 30002 when the child cannot be started (the file is
    // then not read at all); 3343 when it crashes, hangs, runs out of its memory or time, or
    // sends more than the file can hold; 30005 when stopFd turns readable. The child is gone
    // when it returns.
    void read(const std::string& path, TableSink& sink) const override;

    const std::string& exe() const { return exe_; }

private:
    std::string exe_;
    int stallMs_;
    int stopFd_;
};

} // namespace orv

// Times a full read of a catalogue file: MdbReadBench <file.mdb> [runs]
#include "platform/reader/MdbReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// Counts what arrives and touches every text, as a consumer would.
struct CountingSink : orv::TableSink {
    long rows = 0;
    std::size_t bytes = 0;
    void beginTable(const std::string&, const std::vector<orv::SourceColumn>&) override {}
    void addRow(std::vector<orv::Value>& row) override
    {
        ++rows;
        for (const auto& v : row)
            if (auto s = std::get_if<std::string>(&v.v))
                bytes += s->size();
    }
    void endTable() override {}
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <file.mdb> [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        CountingSink sink;
        const auto t0 = std::chrono::steady_clock::now();
        try {
            orv::readMdbFile(argv[1], sink);
        } catch (const orv::DbError& e) {
            std::fprintf(stderr, "error %d: %s\n", e.number, e.what());
            return 1;
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        best = std::min(best, s);
        std::printf("run %d: %ld rows, %zu text bytes, %.3f s\n", i + 1, sink.rows, sink.bytes, s);
    }
    std::printf("best: %.3f s\n", best);
    return 0;
}

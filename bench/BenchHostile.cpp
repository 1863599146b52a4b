// What hostile and damaged catalogues cost when the program opens them: for each file, how long
// the open takes to succeed or fail, and the peak memory of the reader child.
// Usage: bench_hostile [FILE...]   (default: the files of tests/data/hostile)
#include "platform/engine/Engine.h"
#include "platform/engine/EngineIsolation.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    const fs::path exe = fs::absolute(fs::path(argv[0]).parent_path() / ".." / "orvantis-query");
    if (!fs::exists(exe)) {
        std::fprintf(stderr, "no %s: build orvantis-query first\n", exe.c_str());
        return 1;
    }
    std::vector<std::string> files(argv + 1, argv + argc);
    if (files.empty())
        for (const auto& e : fs::directory_iterator(fs::path(ORV_SOURCE_DIR) / "tests" / "data" / "hostile"))
            if (e.path().extension() == ".sqlite")
                files.push_back(e.path().string());
    const orv::IsolatedCatalogue reader(fs::canonical(exe).string());
    for (const std::string& file : files) {
        // Each open in a process of its own, so that the children's peak is this reader's alone.
        const pid_t pid = ::fork();
        if (pid == 0) {
            const auto t0 = std::chrono::steady_clock::now();
            std::string outcome;
            try {
                auto db = orv::OpenDatabase(reader, file);
                long rows = 0;
                for (const auto& t : db->schema().tables)
                    rows += db->OpenRecordset("SELECT * FROM [" + t.name + "];")->RecordCount();
                outcome = "opened, " + std::to_string(rows) + " rows";
            } catch (const orv::DbError& e) {
                outcome = "Err " + std::to_string(e.number) + "： " + e.description();
            }
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            rusage children{};
            ::getrusage(RUSAGE_CHILDREN, &children);
            std::printf("%s (%ju bytes)\n  %.1f ms, reader peak RSS %.1f MiB (limit %.1f MiB): %s\n", file.c_str(),
                        std::uintmax_t(fs::file_size(file)), ms, double(children.ru_maxrss) / 1024.0,
                        double(orv::ReaderMemoryLimit(fs::file_size(file))) / (1024.0 * 1024.0), outcome.c_str());
            std::fflush(stdout);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    return 0;
}

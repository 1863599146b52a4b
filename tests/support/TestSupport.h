// Shared helpers of the test programs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvtest {

// tests/data in the source tree.
std::filesystem::path dataDir();
std::string dataPath(const std::string& name);

// A fresh empty folder, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The rows of a fixture CSV (UTF-8, RFC 4180, \N for Null), header excluded.
using CsvRow = std::vector<std::optional<std::string>>;
std::vector<CsvRow> readFixtureCsv(const std::string& name, std::vector<std::string>* header = nullptr);

std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);

} // namespace orvtest

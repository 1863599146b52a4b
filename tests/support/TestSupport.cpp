#include "support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace orvtest {

namespace {
// Every test program works in a private home: nothing a test does reaches the real user's
// configuration (QSettings follows XDG_CONFIG_HOME) or cache.
struct PrivateHome {
    fs::path dir;
    PrivateHome()
    {
        std::random_device rd;
        dir = fs::temp_directory_path() / ("orvtest-home-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(dir / "config");
        setenv("HOME", dir.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ~PrivateHome()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};
PrivateHome privateHome;
} // namespace

fs::path dataDir() { return fs::path(ORV_TEST_DATA); }
std::string dataPath(const std::string& name) { return (dataDir() / name).string(); }

TempDir::TempDir()
{
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("orvtest-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path_);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<CsvRow> readFixtureCsv(const std::string& name, std::vector<std::string>* header)
{
    const std::string text = readFileBytes(dataPath(name));
    std::vector<CsvRow> rows;
    CsvRow row;
    size_t i = 0;
    bool first = true;
    while (i < text.size()) {
        std::optional<std::string> cell;
        if (text[i] == '"') {
            std::string v;
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        v += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                v += text[i++];
            }
            cell = v;
        } else {
            size_t j = i;
            while (j < text.size() && text[j] != ',' && text[j] != '\n')
                ++j;
            std::string raw = text.substr(i, j - i);
            i = j;
            if (raw != "\\N")
                cell = raw;
        }
        row.push_back(cell);
        if (i < text.size() && text[i] == ',') {
            ++i;
            continue;
        }
        if (i < text.size() && text[i] == '\n')
            ++i;
        if (first) {
            if (header) {
                header->clear();
                for (auto& c : row)
                    header->push_back(c.value_or(""));
            }
            first = false;
        } else {
            rows.push_back(row);
        }
        row.clear();
    }
    return rows;
}

} // namespace orvtest

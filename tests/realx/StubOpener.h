// What a test of opening a file out of a library of CD copies sets up around the program: the
// desktop's opener (xdg-open) and its association lookup (xdg-mime) as stubs first on its PATH,
// which write down each file they are asked to open, and the library saved as the chosen drive.
#pragma once

#include "realx/RealSession.h"

#include "platform/settings/UserStore.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace orvreal {

class StubOpener {
public:
    explicit StubOpener(const QString& folder) : bin_(folder + QStringLiteral("/bin")), opened_(folder + "/opened.txt")
    {
        QDir().mkpath(bin_);
        orvtest::writeFileBytes((bin_ + QStringLiteral("/xdg-open")).toStdString(),
                                "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened_.toStdString() + "'\n");
        orvtest::writeFileBytes((bin_ + QStringLiteral("/xdg-mime")).toStdString(), "#!/bin/sh\necho stub.desktop\n");
        for (const QString& stub : {QStringLiteral("xdg-open"), QStringLiteral("xdg-mime")})
            QFile::setPermissions(bin_ + QLatin1Char('/') + stub, QFile::ReadOwner | QFile::ExeOwner);
    }

    // A run of the program that finds them.
    RunOptions runOptions() const
    {
        RunOptions options;
        options.setEnv.insert(QStringLiteral("PATH"), bin_ + QLatin1Char(':') + qEnvironmentVariable("PATH"));
        return options;
    }

    // What the opener was asked, a line a call.
    std::string calls() const { return orvtest::readFileBytes(opened_.toStdString()); }
    long count() const
    {
        const std::string c = calls();
        return long(std::count(c.begin(), c.end(), '\n'));
    }

private:
    QString bin_, opened_;
};

// The drive folder saved as the user's choice while it lives.
class SavedDrive {
public:
    explicit SavedDrive(const QString& folder) : ok_(write(folder.toStdString())) {}
    ~SavedDrive() { write(""); }
    SavedDrive(const SavedDrive&) = delete;
    SavedDrive& operator=(const SavedDrive&) = delete;
    bool ok() const { return ok_; }

private:
    static bool write(const std::string& folder)
    {
        return orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, folder);
    }
    bool ok_;
};

// The folder of the sample catalogue's first entry (volume 011) as a volume holds it.
inline std::vector<orvtest::IsoEntry> PointToolVolume()
{
    return {orvtest::isoFolder("UTIL"), orvtest::isoFolder("UTIL/SS"), orvtest::isoFolder("UTIL/SS/POINT"),
            orvtest::isoFile("UTIL/SS/POINT/POINT.EXE", "MZ"), orvtest::isoFile("UTIL/SS/POINT/POINT.INI", "[point]")};
}

// The file opened is that entry's POINT.EXE in a copy in the cache, with what lies beside it.
inline void ExpectPointToolCopy(const std::string& file)
{
    const std::string cache = qEnvironmentVariable("XDG_CACHE_HOME").toStdString() + "/orvantis/volumes/";
    EXPECT_EQ(file.rfind(cache, 0), 0u) << file;
    ASSERT_GT(file.size(), 24u);
    EXPECT_EQ(file.substr(file.size() - 24), "/UTIL/SS/POINT/POINT.EXE");
    EXPECT_EQ(orvtest::readFileBytes(file), "MZ");
    EXPECT_EQ(orvtest::readFileBytes(file.substr(0, file.size() - 3) + "INI"), "[point]");
}

} // namespace orvreal

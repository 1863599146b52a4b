// What a test of opening a file out of a library of CD copies sets up around the program: the
// desktop's opener (xdg-open) and its association lookup (xdg-mime) as stubs first on its PATH,
// which write down each file they are asked to open, and the library saved as the chosen drive.
#pragma once

#include "realx/RealSession.h"

#include "platform/settings/UserStore.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <string>

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

    void addTo(RunOptions& options) const
    {
        options.setEnv.insert(QStringLiteral("PATH"), bin_ + QLatin1Char(':') + qEnvironmentVariable("PATH"));
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

} // namespace orvreal

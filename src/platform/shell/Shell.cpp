#include "platform/shell/Shell.h"

#include <QtGlobal>

#include <QMimeDatabase>
#include <QMimeType>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#endif

namespace orv {

namespace {

namespace fs = std::filesystem;

// Any value from kShellOpened on reads as success; 33 is what the shell typically hands back.
constexpr int kStarted = 33;

fs::path toFsPath(const std::string& utf8)
{
#ifdef Q_OS_WIN
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
    // Names on Unix are bytes; taking them as they are keeps names in any encoding usable.
    return fs::path(utf8);
#endif
}

bool isFolder(const fs::path& p)
{
    std::error_code ec;
    return fs::is_directory(p, ec);
}

bool pathExists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(p, ec);
}

class XdgShell : public Shell {
public:
    explicit XdgShell(DesktopOps ops) : ops_(std::move(ops)) {}

    int openFile(const std::string& file, const std::string& workingFolder) override
    {
        const fs::path p = toFsPath(file);
        if (file.empty() || !pathExists(p)) {
            // Like the Windows shell: a missing file in an existing folder is "file not found",
            // a missing folder on the way is "path not found".
            const fs::path parent = p.parent_path();
            return parent.empty() || isFolder(parent) ? kShellFileNotFound : kShellPathNotFound;
        }
        return launch(file, workingFolder);
    }

    int openFolder(const std::string& folder, const std::string& workingFolder, std::string* program) override
    {
        if (program)
            *program = kOpener;
        if (folder.empty() || !isFolder(toFsPath(folder)))
            return kShellPathNotFound;
        return launch(folder, workingFolder);
    }

private:
    static constexpr const char* kOpener = "xdg-open";

    int launch(const std::string& target, const std::string& workingFolder)
    {
        if (ops_.hasHandler) {
            const std::optional<bool> handled = ops_.hasHandler(target);
            if (handled && !*handled)
                return kShellNoAssociation;
        }
        if (!ops_.startDetached || !ops_.startDetached(kOpener, {target}, workingFolder))
            return kShellOutOfResources;
        return kStarted;
    }

    DesktopOps ops_;
};

// The desktop file of the default handler for a MIME type; nullopt when xdg-mime could not run.
std::optional<std::string> xdgDefaultFor(const QString& mimeType)
{
    QProcess proc;
    proc.setProcessChannelMode(QProcess::SeparateChannels);
    proc.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!proc.waitForStarted(3000))
        return std::nullopt;
    if (!proc.waitForFinished(5000)) {
        proc.kill();
        proc.waitForFinished(1000);
        return std::nullopt;
    }
    if (proc.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    // xdg-mime exits non-zero when nothing is associated; the output tells either way.
    return QString::fromUtf8(proc.readAllStandardOutput()).trimmed().toStdString();
}

std::optional<bool> systemHasHandler(const std::string& path)
{
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(QString::fromUtf8(path));
    if (!type.isValid())
        return std::nullopt;
    // Desktops also open a subtype with its parent's handler (a C source with the text editor).
    // Every binary type descends from application/octet-stream, whose handler, if any, is not
    // what the user meant for a program file, so it is left out.
    QStringList candidates{type.name()};
    for (const QString& ancestor : type.allAncestors()) {
        if (ancestor != QLatin1String("application/octet-stream"))
            candidates << ancestor;
    }
    for (const QString& candidate : candidates) {
        const std::optional<std::string> handler = xdgDefaultFor(candidate);
        if (!handler)
            return std::nullopt;
        if (!handler->empty())
            return true;
    }
    return false;
}

bool systemStartDetached(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingFolder)
{
    QStringList qargs;
    for (const std::string& a : args)
        qargs << QString::fromUtf8(a);
    return QProcess::startDetached(QString::fromUtf8(program), qargs, QString::fromUtf8(workingFolder));
}

#ifdef Q_OS_WIN
class WindowsShell : public Shell {
public:
    int openFile(const std::string& file, const std::string& workingFolder) override
    {
        return execute(file, std::string(), workingFolder);
    }

    int openFolder(const std::string& folder, const std::string& workingFolder, std::string* program) override
    {
        if (program)
            *program = "Explorer.exe";
        // The folder goes to Explorer as its parameter text as it is, without quotation marks.
        return execute("Explorer.exe", folder, workingFolder);
    }

private:
    static int execute(const std::string& file, const std::string& params, const std::string& dir)
    {
        const std::wstring wfile = QString::fromUtf8(file).toStdWString();
        const std::wstring wparams = QString::fromUtf8(params).toStdWString();
        const std::wstring wdir = QString::fromUtf8(dir).toStdWString();
        const HINSTANCE result =
            ShellExecuteW(nullptr, L"open", wfile.c_str(), wparams.empty() ? nullptr : wparams.c_str(),
                          wdir.empty() ? nullptr : wdir.c_str(), SW_SHOWNORMAL);
        return static_cast<int>(reinterpret_cast<INT_PTR>(result));
    }
};
#endif

} // namespace

DesktopOps systemDesktopOps() { return DesktopOps{systemHasHandler, systemStartDetached}; }

std::unique_ptr<Shell> makeXdgShell(DesktopOps ops) { return std::make_unique<XdgShell>(std::move(ops)); }

std::unique_ptr<Shell> makeDesktopShell()
{
#ifdef Q_OS_WIN
    return std::make_unique<WindowsShell>();
#else
    return makeXdgShell(systemDesktopOps());
#endif
}

} // namespace orv

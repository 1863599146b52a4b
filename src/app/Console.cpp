#include "app/Console.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace orv {

namespace {

bool present(const EnvLookup& env, const char* name)
{
    const auto v = env(name);
    return v && !v->empty();
}

// The window systems QT_QPA_PLATFORM names ("xcb", "wayland;xcb", "xcb:option"), without options.
std::vector<std::string> platformNames(const std::string& platforms)
{
    std::vector<std::string> names;
    std::stringstream list(platforms);
    std::string item;
    while (std::getline(list, item, ';')) {
        std::string name = item.substr(0, item.find(':'));
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return names;
}

bool isWayland(const std::string& platform) { return platform.rfind("wayland", 0) == 0; }

} // namespace

ConsoleRequest ConsoleRequestOf(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!argv[i])
            continue;
        if (!std::strcmp(argv[i], "--help"))
            return ConsoleRequest::Help;
        if (!std::strcmp(argv[i], "--version"))
            return ConsoleRequest::Version;
    }
    return ConsoleRequest::None;
}

std::string HelpText()
{
    return "使い方: orvantis [/SCHK=0 | /SCHK=1]\n"
           "        orvantis --help | --version\n"
           "\n"
           "お楽しみCDに収められたゲーム用ユーティリティの目録を、一覧またはカードで見るプログラムです。\n"
           "目録 tevox20.mdb を読み（書き換えません）、設定を閉じるときに tevo.ini に保存します。\n"
           "\n"
           "  /SCHK=0     保存したウィンドウの位置を使わずに開く\n"
           "  /SCHK=1     ウィンドウを最初のモニターの中に開く\n"
           "  --help      この説明を表示して終了する\n"
           "  --version   バージョンを表示して終了する\n"
           "\n"
           "スイッチの大文字と小文字は区別しません。ウィンドウシステムは環境変数\n"
           "QT_QPA_PLATFORM で選べます（xcb、wayland）。目録の検索は端末から\n"
           "orvantis-query でもできます。詳しくは man orvantis をご覧ください。\n";
}

std::string VersionText(int major, int minor, int patch, const std::string& copyright)
{
    return "orvantis " + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch) + "\n"
        + copyright + "\n";
}

std::optional<std::string> NoDisplayLine(const EnvLookup& env,
                                         const std::function<bool(const std::string& path)>& socketExists)
{
    std::vector<std::string> platforms;
    if (present(env, "QT_QPA_PLATFORM")) {
        platforms = platformNames(*env("QT_QPA_PLATFORM"));
    } else {
        platforms.push_back("xcb");
        if (present(env, "WAYLAND_DISPLAY"))
            platforms.push_back("wayland");
    }
    auto waylandSocket = [&]() -> std::optional<std::string> {
        const std::string name = present(env, "WAYLAND_DISPLAY") ? *env("WAYLAND_DISPLAY") : "wayland-0";
        if (name.front() == '/')
            return name;
        if (!present(env, "XDG_RUNTIME_DIR"))
            return std::nullopt;
        return *env("XDG_RUNTIME_DIR") + "/" + name;
    };
    bool any = false;
    for (const std::string& p : platforms) {
        if (p == "xcb") {
            if (present(env, "DISPLAY"))
                return std::nullopt;
        } else if (isWayland(p)) {
            const auto socket = waylandSocket();
            if (socket && socketExists(*socket))
                return std::nullopt;
        } else {
            return std::nullopt; // offscreen, vnc, eglfs...: no display of ours to look for
        }
        any = true;
    }
    if (!any)
        return std::nullopt;
    if (!present(env, "DISPLAY") && !present(env, "WAYLAND_DISPLAY"))
        return std::string("orvantis: 画面に接続できません（DISPLAY も WAYLAND_DISPLAY も設定されていません）。");
    return DisplayFailedLine(env);
}

std::string DisplayFailedLine(const EnvLookup& env)
{
    std::string named;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const auto v = env(name); v && !v->empty())
            named += (named.empty() ? "" : "、") + std::string(name) + "=" + *v;
    }
    if (named.empty())
        return "orvantis: 画面に接続できません。";
    return "orvantis: 画面に接続できません（" + named + " で開けませんでした）。";
}

namespace {

std::string g_failedLine;
QtMessageHandler g_previousHandler = nullptr;

void connectMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", g_failedLine.c_str());
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (context.category && !std::strncmp(context.category, "qt.qpa", 6))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

DisplayConnectGuard::DisplayConnectGuard(std::string failedLine)
{
    g_failedLine = std::move(failedLine);
    g_previousHandler = qInstallMessageHandler(connectMessages);
}

DisplayConnectGuard::~DisplayConnectGuard()
{
    qInstallMessageHandler(g_previousHandler);
    g_previousHandler = nullptr;
}

} // namespace orv

#include "platform/settings/UserStore.h"

#include "platform/text/Cp932.h"

#include <QFile>
#include <QSettings>
#include <QStringList>

#include <memory>
#include <optional>

namespace orv {

namespace {

// The Windows read buffer: 1024 bytes, the terminating NUL included.
constexpr size_t kMaxValueBytes = 1024;

// The settings object for a key path "Software\Organisation\Application[\Group...]"; null for a
// path that names no application. The program's own key maps to its organisation and application
// exactly, whatever the case it is spelled in (registry paths ignore case).
std::unique_ptr<QSettings> openStore(const std::string& keyPath, QString& group)
{
    QStringList parts = QString::fromUtf8(keyPath).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.front().compare(QLatin1String("Software"), Qt::CaseInsensitive) == 0)
        parts.removeFirst();
    if (parts.size() < 2)
        return nullptr;
    QString organisation = parts.takeFirst();
    QString application = parts.takeFirst();
    if (organisation.compare(QLatin1String("MORVALEN"), Qt::CaseInsensitive) == 0
        && application.compare(QLatin1String("Orvantis"), Qt::CaseInsensitive) == 0 && parts.isEmpty()) {
        organisation = QStringLiteral("MORVALEN");
        application = QStringLiteral("Orvantis");
    }
    group = parts.join(QLatin1Char('/'));
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organisation, application);
}

// A value as QSettings reads it from its INI file, except that commas are text: the value of a
// hand-edited line with an unquoted comma, which QSettings splits into a list and so loses the
// blanks around the comma. Escapes and double quotes mean what they mean to QSettings; a ';'
// outside quotes starts a comment; blanks around the whole value are dropped unless quoted.
QString unescapeWhole(QByteArrayView v)
{
    static constexpr char kEscapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                           {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                           {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    QString out;
    QByteArray run; // UTF-8 bytes not yet decoded
    const auto flush = [&] {
        out += QString::fromUtf8(run);
        run.clear();
    };
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    const auto hexValue = [](char c) {
        return c >= '0' && c <= '9'
            ? c - '0'
            : (c >= 'a' && c <= 'f' ? c - 'a' + 10 : (c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1));
    };
    qsizetype i = 0;
    const qsizetype n = v.size();
    while (i < n && isBlank(v[i]))
        ++i;
    bool inQuotes = false, quoted = false;
    qsizetype keep = 0; // text up to here is never dropped as trailing blanks
    while (i < n) {
        const char c = v[i++];
        if (c == '\\') {
            if (i >= n)
                break;
            const char e = v[i++];
            flush();
            bool known = false;
            for (const auto& esc : kEscapes)
                if (e == esc[0]) {
                    out += QLatin1Char(esc[1]);
                    known = true;
                }
            if (!known && e == 'x') {
                char16_t u = 0;
                while (i < n && hexValue(v[i]) >= 0)
                    u = static_cast<char16_t>(u * 16 + hexValue(v[i++]));
                out += QChar(u);
            } else if (!known && e >= '0' && e <= '7') {
                char16_t u = static_cast<char16_t>(e - '0');
                while (i < n && v[i] >= '0' && v[i] <= '7')
                    u = static_cast<char16_t>(u * 8 + (v[i++] - '0'));
                out += QChar(u);
            } // any other escaped character is dropped with its backslash
            keep = out.size();
        } else if (c == '"') {
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                while (i < n && isBlank(v[i]))
                    ++i;
        } else if (c == ';' && !inQuotes) {
            break;
        } else {
            run += c;
        }
    }
    flush();
    if (!quoted) {
        qsizetype end = out.size();
        while (end > keep && (out[end - 1] == QLatin1Char(' ') || out[end - 1] == QLatin1Char('\t')))
            --end;
        out.truncate(end);
    }
    return out;
}

// The whole text of a top-level value in the store's INI file; nullopt when no line holds it.
std::optional<QString> wholeIniValue(const QString& fileName, const QString& name)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = f.readAll();
    const QByteArray key = name.toUtf8();
    std::optional<QString> value;
    bool inGeneral = true; // keys before the first section belong to it
    for (const QByteArray& raw : data.split('\n')) {
        const QByteArrayView line = QByteArrayView(raw).trimmed();
        if (line.isEmpty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inGeneral = line == QByteArrayView("[General]");
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (inGeneral && eq > 0 && line.first(eq).trimmed() == key)
            value = unescapeWhole(line.sliced(eq + 1)); // the last line of a key wins, as in QSettings
    }
    return value;
}

QString settingsKey(const QString& group, const std::string& valueName)
{
    const QString name = QString::fromUtf8(valueName);
    return group.isEmpty() ? name : group + QLatin1Char('/') + name;
}

} // namespace

std::string RegReadString(RegRoot, const std::string& keyPath, const std::string& valueName)
{
    if (valueName.empty())
        return {};
    QString group;
    const std::unique_ptr<QSettings> store = openStore(keyPath, group);
    if (!store)
        return {};
    const QString key = settingsKey(group, valueName);
    if (!store->contains(key))
        return {};
    // The value is read whatever its stored type.
    const QVariant stored = store->value(key);
    QString text;
    if (stored.typeId() == QMetaType::QStringList) {
        std::optional<QString> whole;
        if (group.isEmpty() && store->format() == QSettings::NativeFormat)
            whole = wholeIniValue(store->fileName(), key);
        text = whole ? *whole : stored.toStringList().join(QLatin1Char(','));
    } else if (stored.typeId() == QMetaType::QByteArray) {
        text = QString::fromUtf8(stored.toByteArray());
    } else {
        text = stored.toString();
    }
    // Every character takes at least one CP932 byte and at most two UTF-16 units, so longer text
    // cannot fit; it is not converted at all (megabytes of conversion take seconds).
    if (text.size() > 2 * static_cast<qsizetype>(kMaxValueBytes - 1))
        return {};
    const std::string utf8 = text.toStdString();
    if (utf8ToCp932(utf8).size() + 1 > kMaxValueBytes)
        return {};
    return utf8.substr(0, utf8.find('\0'));
}

bool RegWriteString(RegRoot, const std::string& keyPath, const std::string& valueName, const std::string& value)
{
    if (valueName.empty())
        return false;
    QString group;
    const std::unique_ptr<QSettings> store = openStore(keyPath, group);
    if (!store)
        return false;
    store->setValue(settingsKey(group, valueName), QString::fromUtf8(value));
    store->sync();
    return store->status() == QSettings::NoError;
}

} // namespace orv

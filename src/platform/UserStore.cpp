#include "platform/UserStore.h"

#include "platform/Cp932.h"

#include <QSettings>
#include <QStringList>

#include <memory>

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
    if (stored.typeId() == QMetaType::QStringList)
        text = stored.toStringList().join(QLatin1Char(','));
    else if (stored.typeId() == QMetaType::QByteArray)
        text = QString::fromUtf8(stored.toByteArray());
    else
        text = stored.toString();
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

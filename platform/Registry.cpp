#include "platform/Registry.h"

#include "platform/Exception.h"

#include <QSettings>
#include <QStandardPaths>

#include <memory>

namespace {

const QString kOwnKey = QStringLiteral("PALUDRA_ERechnungsEingang");

std::unique_ptr<QSettings> Open(const QString& path)
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\") + path, QSettings::NativeFormat);
#else
    auto s = std::make_unique<QSettings>(TRegistryKey::StoreFile(), QSettings::IniFormat);
    QString group = path;
    if (group.startsWith(kOwnKey + QLatin1Char('\\')))
        group = group.mid(kOwnKey.size() + 1);
    // One flat section per key: QSettings would read "a/b" as nested groups.
    group.replace(QLatin1Char('\\'), QLatin1Char('.'));
    s->beginGroup(group);
    return s;
#endif
}

} // namespace

TRegistryKey::TRegistryKey(QString path)
    : FPath(std::move(path))
{
}

QString TRegistryKey::StoreFile()
{
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\") + kOwnKey;
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + kOwnKey
        + QStringLiteral("/registry.ini");
#endif
}

QVariant TRegistryKey::Read(const QString& name) const
{
    return Open(FPath)->value(name);
}

void TRegistryKey::Write(const QString& name, const QVariant& value)
{
    auto s = Open(FPath);
    s->setValue(name, value);
    s->sync();
}

bool TRegistryKey::HasValue(const QString& name) const
{
    return Read(name).isValid();
}

QString TRegistryKey::ReadString(const QString& name, const QString& defaultValue) const
{
    const QVariant v = Read(name);
    if (!v.isValid())
        return defaultValue;
    if (v.typeId() != QMetaType::QString)
        throw Exception(QStringLiteral("Ungültiger Datentyp für '%1'").arg(name));
    return v.toString();
}

void TRegistryKey::WriteString(const QString& name, const QString& value)
{
    Write(name, value);
}

quint32 TRegistryKey::ReadDWord(const QString& name, bool* ok) const
{
    const QVariant v = Read(name);
    bool converted = false;
    const quint32 value = v.isValid() ? v.toUInt(&converted) : 0;
    if (ok)
        *ok = converted;
    return value;
}

void TRegistryKey::WriteDWord(const QString& name, quint32 value)
{
#ifdef Q_OS_WIN
    Write(name, int(value)); // QSettings writes an int as REG_DWORD
#else
    Write(name, value);
#endif
}

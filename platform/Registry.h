#pragma once

#include <QString>
#include <QVariant>

// The current user's registry. On Windows HKEY_CURRENT_USER; elsewhere the INI file
// PALUDRA_ERechnungsEingang/registry.ini below the user's config folder, in which a key
// below PALUDRA_ERechnungsEingang is a section of its own name ("Main") and any other key
// a section named by its full path.
//
// Keys are given with "\" as separator, relative to the user's root, for example
// "PALUDRA_ERechnungsEingang\Main".
class TRegistryKey
{
public:
    explicit TRegistryKey(QString path);

    bool HasValue(const QString& name) const;
    // The value as text; default when it is missing. Raises "Ungültiger Datentyp für '%s'"
    // when the value is there but is no text.
    QString ReadString(const QString& name, const QString& defaultValue) const;
    void WriteString(const QString& name, const QString& value);
    // A DWORD value; ok is false when it is missing or no number.
    quint32 ReadDWord(const QString& name, bool* ok) const;
    void WriteDWord(const QString& name, quint32 value);

    // Where the values live outside Windows (for the README and the tests).
    static QString StoreFile();

private:
    QVariant Read(const QString& name) const;
    void Write(const QString& name, const QVariant& value);

    QString FPath;
};

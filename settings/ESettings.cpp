#include "settings/ESettings.h"

#include "platform/Exception.h"
#include "platform/ProfileFile.h"
#include "platform/Registry.h"
#include "platform/UserFolders.h"

#include <QByteArray>
#include <QFileInfo>
#include <QUrl>

#include <utility>

namespace {

const QString kSection = QStringLiteral("Main");
const QString kIniName = QStringLiteral("erechnungseingang.ini");

// The substitution table: the character at position p of "!".."~" becomes the character
// at position p here. Pairs swap, so the table is its own inverse.
constexpr char16_t kScrambleTable[] =
    uR"SCR(d=7m0sWahqAIlO}%f<VwkZ#iSu_2"`cx+DnBHKgE,oFtTv.Yb{9My3'eP6pz^];>(Q?!X1G)8r5-$CJ[*j&L:N4@U\R~/|)SCR";
static_assert(sizeof(kScrambleTable) / sizeof(char16_t) == 95, "94 characters");

constexpr char16_t kFirst = u'!';
constexpr char16_t kLast = u'~';

qint32 ReadInteger(const QString& ini, const QString& key, qint32 defaultValue)
{
    qint32 value = 0;
    return ParseSettingsInteger(ReadProfileString(ini, kSection, key, QString()), value) ? value : defaultValue;
}

bool ReadBoolean(const QString& ini, const QString& key, bool defaultValue)
{
    return ReadInteger(ini, key, defaultValue ? 1 : 0) != 0;
}

void Write(const QString& ini, const QString& key, const QString& value)
{
    WriteProfileString(ini, kSection, key, value);
}

bool ParseDigits(QStringView digits, int base, bool negative, bool wrapHex, qint32& value)
{
    if (digits.isEmpty())
        return false;
    quint64 v = 0;
    for (QChar c : digits) {
        const int d = c.isDigit() ? c.digitValue()
            : (base == 16 && c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))
                ? c.toLower().unicode() - 'a' + 10
                : -1;
        if (d < 0 || d >= base)
            return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFull)
            return false;
    }
    if (wrapHex) {
        // Hexadecimal text names the 32 bits: $FFFFFFFF is -1.
        value = qint32(quint32(v));
        if (negative)
            value = qint32(0u - quint32(value));
        return true;
    }
    if (negative ? v > 0x80000000ull : v > 0x7FFFFFFFull)
        return false;
    value = negative ? qint32(-qint64(v)) : qint32(v);
    return true;
}

} // namespace

bool ParseSettingsInteger(const QString& text, qint32& value)
{
    if (text.size() > 2 && text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return ParseDigits(QStringView(text).mid(2), 16, false, true, value);
    QStringView s(text);
    bool negative = false;
    if (s.startsWith(QLatin1Char('+')) || s.startsWith(QLatin1Char('-'))) {
        negative = s.front() == QLatin1Char('-');
        s = s.mid(1);
    }
    if (s.startsWith(QLatin1Char('$')))
        return ParseDigits(s.mid(1), 16, negative, true, value);
    return ParseDigits(s, 10, negative, false, value);
}

QString GetLocalAppDataFolder()
{
    return LocalAppDataFolder();
}

QString ScrambleText(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        const char16_t u = c.unicode();
        if (u >= kFirst && u <= kLast)
            c = QChar(kScrambleTable[u - kFirst]);
    }
    return result;
}

QString EncodePassword(const QString& plain)
{
    return QString::fromLatin1(ScrambleText(plain).toUtf8().toBase64());
}

QString DecodePassword(const QString& stored)
{
    if (stored.isEmpty())
        return {};
    QByteArray base64;
    for (QChar c : stored) {
        const char16_t u = c.unicode();
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '+' || u == '/')
            base64.append(char(u));
    }
    // Whatever stands beyond the last complete byte is dropped, as far as it goes.
    const QByteArray bytes = QByteArray::fromBase64(base64);
    return ScrambleText(QString::fromUtf8(bytes));
}

QString GetSettingsFolder()
{
    return TRegistryKey(QStringLiteral("PALUDRA_ERechnungsEingang\\Main"))
        .ReadString(QStringLiteral("Pfad_Settings"), GetLocalAppDataFolder());
}

QString GetSettingsFile()
{
    return GetSettingsFolder() + kIniName;
}

void ReadSettingsFromPersistent(TESettings& settings)
{
    const QString ini = GetSettingsFile();
    auto text = [&ini](const char* key, const QString& defaultValue) {
        return ReadProfileString(ini, kSection, QString::fromLatin1(key), defaultValue);
    };
    settings.HotfolderPfad = text("HotfolderPfad", QString());
    settings.ProblemPfad = text("ProblemPfad", QString());
    settings.WeiterverarbeitungPfad = text("WeiterverarbeitungPfad", QString());
    settings.DMSPfad = text("DMSPfad", QString());
    settings.MailType = text("MailType", QStringLiteral("IMAP"));
    settings.MailServer = text("MailServer", QString::fromLatin1(kDefaultMailServer));
    settings.MailPort = ReadInteger(ini, QStringLiteral("MailPort"), 993);
    settings.MailTLS = ReadInteger(ini, QStringLiteral("MailTLS"), 1);
    settings.MailUser = text("MailUser", QString());
    settings.MailPass = DecodePassword(text("MailPass", QString()));
    settings.MailDisabled = ReadBoolean(ini, QStringLiteral("MailDisabled"), true);
    settings.CreateFolderDisabled = ReadBoolean(ini, QStringLiteral("CreateFolderDisabled"), false);
    settings.MailZertifikat = NormalizeFingerprint(text("MailZertifikat", QString()));
    const bool newInstallation = !QFileInfo::exists(ini);
    settings.Pruefung = text("Pruefung", QString::fromLatin1(newInstallation ? kPruefungDienstOderEingebaut : kPruefungDienst));
    settings.PruefdienstUrl = text("PruefdienstUrl", QString()).trimmed();
    settings.MailTenant = text("MailTenant", QString::fromLatin1(kDefaultMailTenant)).trimmed();
    settings.MailClientId = text("MailClientId", QString()).trimmed();
    settings.MailAuthority = text("MailAuthority", QString::fromLatin1(kDefaultMailAuthority)).trimmed();
}

QString NormalizeServiceUrl(const QString& url)
{
    QString text = url.trimmed();
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    if (text.isEmpty())
        return text;
    const QUrl parsed(text, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != QLatin1String("https") || parsed.host().isEmpty()
        || !parsed.path().isEmpty() || parsed.hasQuery() || parsed.hasFragment() || !parsed.userInfo().isEmpty())
        throw Exception(QStringLiteral("„%1“ ist keine Adresse eines Prüfdienstes: erwartet wird https://Rechner oder "
                                       "https://Rechner:Port, ohne Pfad.")
                            .arg(url.trimmed()));
    return text;
}

QString NormalizeFingerprint(const QString& fingerprint)
{
    QString hex;
    for (QChar c : fingerprint) {
        if (c != QLatin1Char(':') && !c.isSpace())
            hex += c.toLower();
    }
    return hex;
}

void WriteSettingsToPersistent(const TESettings& settings)
{
    const QString ini = GetSettingsFile();
    Write(ini, QStringLiteral("HotfolderPfad"), settings.HotfolderPfad);
    Write(ini, QStringLiteral("ProblemPfad"), settings.ProblemPfad);
    Write(ini, QStringLiteral("WeiterverarbeitungPfad"), settings.WeiterverarbeitungPfad);
    Write(ini, QStringLiteral("DMSPfad"), settings.DMSPfad);
    Write(ini, QStringLiteral("MailType"), settings.MailType);
    Write(ini, QStringLiteral("MailServer"), settings.MailServer);
    Write(ini, QStringLiteral("MailPort"), QString::number(settings.MailPort));
    Write(ini, QStringLiteral("MailTLS"), QString::number(settings.MailTLS));
    Write(ini, QStringLiteral("MailUser"), settings.MailUser);
    Write(ini, QStringLiteral("MailPass"), EncodePassword(settings.MailPass));
    Write(ini, QStringLiteral("MailDisabled"), settings.MailDisabled ? QStringLiteral("1") : QStringLiteral("0"));
    Write(ini, QStringLiteral("CreateFolderDisabled"), settings.CreateFolderDisabled ? QStringLiteral("1") : QStringLiteral("0"));
    // The further keys only once they say something other than their default: a file written
    // without them keeps the twelve keys of before, and reading it again gives the same.
    struct TOptionalKey
    {
        QString Key;
        QString Value;
        QString Default;
    };
    for (const TOptionalKey& k : {TOptionalKey{QStringLiteral("Pruefung"), settings.Pruefung, QString()},
                                  TOptionalKey{QStringLiteral("PruefdienstUrl"), settings.PruefdienstUrl, QString()},
                                  TOptionalKey{QStringLiteral("MailTenant"), settings.MailTenant, QString::fromLatin1(kDefaultMailTenant)},
                                  TOptionalKey{QStringLiteral("MailClientId"), settings.MailClientId, QString()},
                                  TOptionalKey{QStringLiteral("MailAuthority"), settings.MailAuthority,
                                               QString::fromLatin1(kDefaultMailAuthority)}}) {
        if ((!k.Value.isEmpty() && k.Value != k.Default) || !ReadProfileString(ini, kSection, k.Key, QString()).isEmpty())
            Write(ini, k.Key, k.Value);
    }
    // Only once the user trusted a certificate: a file without it keeps the keys above.
    if (!settings.MailZertifikat.isEmpty()
        || !ReadProfileString(ini, kSection, QStringLiteral("MailZertifikat"), QString()).isEmpty())
        WriteMailCertificateToPersistent(settings);
}

void WriteMailCertificateToPersistent(const TESettings& settings)
{
    Write(GetSettingsFile(), QStringLiteral("MailZertifikat"), NormalizeFingerprint(settings.MailZertifikat));
}

#pragma once

#include <QString>

// The one settings object of the program: the four working folders, the mail account and
// two switches. The settings dialog owns it; the engine and the mail import read it.
class TESettings
{
public:
    QString HotfolderPfad;          // input folder, watched by the engine
    QString ProblemPfad;            // rejected invoices are copied here
    QString WeiterverarbeitungPfad; // accepted invoices are copied here
    QString DMSPfad;                // accepted invoices are also archived here
    QString MailType;               // "IMAP" or "Office 365" (signs in with OAuth 2.0)
    QString MailServer;
    qint32 MailPort = 0;
    qint32 MailTLS = 0;             // 0 none, 1 implicit TLS, 2 STARTTLS required, 3 STARTTLS if offered
    QString MailUser;
    QString MailPass;               // plain text in memory
    bool MailDisabled = false;
    bool CreateFolderDisabled = false;
    // SHA-256 fingerprint of a mail server certificate the user chose to trust although the
    // system does not; empty when none. Held and written as 64 lower-case hex digits; read
    // also as displayed ("FA:C2:...", any case, colons or blanks between the pairs).
    QString MailZertifikat;
    // Who checks the invoices (kPruefung...); empty: as the program's defaults say. Read
    // from a file without the key: the service, as before there was a choice; without a
    // file (a new installation): the service, and the built-in checks when it cannot be
    // reached.
    QString Pruefung;
    // The base address of the validation and rendering services ("https://host[:port]");
    // empty: the program's own.
    QString PruefdienstUrl;
    // The sign-in of an "Office 365" mailbox: the directory (tenant id or domain;
    // "organizations": any work or school account), the app registration's client id, and
    // the sign-in service (another OAuth 2.0 provider with the same endpoints).
    QString MailTenant;
    QString MailClientId;
    QString MailAuthority;
};

inline constexpr const char* kMailTypeImap = "IMAP";
inline constexpr const char* kMailTypeOffice365 = "Office 365";
inline constexpr const char* kDefaultMailTenant = "organizations";
inline constexpr const char* kDefaultMailAuthority = "https://login.microsoftonline.com";
// The IMAP host of Exchange Online, offered for "Office 365".
inline constexpr const char* kOffice365MailServer = "outlook.office365.com";

inline constexpr const char* kPruefungDienst = "Pruefdienst";
inline constexpr const char* kPruefungEingebaut = "Eingebaut";
inline constexpr const char* kPruefungDienstOderEingebaut = "PruefdienstOderEingebaut";

// The service address as the settings keep it: trimmed, without a trailing "/". Raises for
// an address that is no https address of a host.
QString NormalizeServiceUrl(const QString& url);

// A fingerprint in the form the settings hold: colons and blanks dropped, lower case.
QString NormalizeFingerprint(const QString& fingerprint);

// The mail host offered when nothing is stored.
inline constexpr const char* kDefaultMailServer = "imap.paludra.de";

// The per-user local application data folder with a trailing separator.
QString GetLocalAppDataFolder();

// The fixed substitution of the 94 characters "!" to "~"; its own inverse.
QString ScrambleText(const QString& text);
// Scramble, then Base64 (one line, whatever the length).
QString EncodePassword(const QString& plain);
// Base64-decode (skipping every character outside the Base64 alphabet), then unscramble.
QString DecodePassword(const QString& stored);

// The folder of the INI file: the registry value Pfad_Settings, by default the local
// application data folder. Used as a prefix, exactly as stored.
QString GetSettingsFolder();
QString GetSettingsFile();

// Reads the settings from the INI file (defaults for whatever is missing).
void ReadSettingsFromPersistent(TESettings& settings);
// Writes the settings key by key; the first failing write raises and stops.
void WriteSettingsToPersistent(const TESettings& settings);
// Writes only the trusted mail certificate.
void WriteMailCertificateToPersistent(const TESettings& settings);

// Integer text as the settings read it: "0x" followed by hexadecimal digits, or an
// optional sign followed by decimal digits or by "$" and hexadecimal digits.
bool ParseSettingsInteger(const QString& text, qint32& value);

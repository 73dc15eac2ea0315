#include "mail/ImapClient.h"

#include "mail/ModifiedUtf7.h"
#include "platform/Exception.h"

namespace {

bool IsAtomText(const QByteArray& value)
{
    if (value.isEmpty())
        return false;
    for (char c : value) {
        const uchar u = uchar(c);
        if (u <= 0x20 || u >= 0x7f || c == '(' || c == ')' || c == '{' || c == '%' || c == '*' || c == '"' || c == '\\' || c == ']')
            return false;
    }
    return true;
}

QString FormatFingerprint(const QString& hex)
{
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2)
        pairs << hex.mid(i, 2).toUpper();
    return pairs.join(QLatin1Char(':'));
}

} // namespace

QByteArray ImapArgument(const QByteArray& value)
{
    return IsAtomText(value) ? value : ImapQuoted(value);
}

void TImapClient::Status(const QString& text) const
{
    if (OnStatus)
        OnStatus(text);
}

TImapResponse TImapClient::Read()
{
    TImapResponse response = ReadImapResponse(FConnection, Limits);
    if (response.Code.toUpper().startsWith("ALERT") && OnAlert)
        OnAlert(QString::fromUtf8(response.Text));
    return response;
}

TImapClient::TResult TImapClient::Command(const QList<QByteArray>& parts)
{
    try {
        const QByteArray tag = "A" + QByteArray::number(++FTag).rightJustified(4, '0');
        QByteArray line = tag;
        for (const QByteArray& part : parts) {
            line += ' ';
            if (!ImapNeedsLiteral(part)) {
                line += part;
                continue;
            }
            // A literal: announce it, wait for the go-ahead, then send the bytes.
            line += '{' + QByteArray::number(part.size()) + "}\r\n";
            FConnection.Write(line);
            line.clear();
            for (;;) {
                const TImapResponse r = Read();
                if (r.Tag == "+")
                    break;
                if (r.Tag == tag)
                    return {{r.Status, QString::fromUtf8(r.Text)}, {}};
            }
            line = part;
        }
        FConnection.Write(line + "\r\n");

        TResult result;
        for (;;) {
            TImapResponse r = Read();
            if (r.Tag == "+") {
                // A SASL server's challenge after the whole command: only an error report
                // comes this way (the initial response was sent), answered as the
                // mechanisms want it, so that the server ends with its NO.
                FConnection.Write(parts.value(1) == "OAUTHBEARER" ? QByteArray("AQ==\r\n") : QByteArray("\r\n"));
                continue;
            }
            if (r.Tag == tag) {
                result.Reply = {r.Status, QString::fromUtf8(r.Text)};
                TakeCapabilities(r);
                return result;
            }
            if (r.Tag == "*")
                result.Untagged << std::move(r);
        }
    } catch (...) {
        // The connection is not usable after a failure in the middle of a command.
        FConnection.Close();
        FLoggedIn = false;
        throw;
    }
}

void TImapClient::TakeCapabilities(const TImapResponse& response)
{
    QByteArray list;
    if (response.Code.toUpper().startsWith("CAPABILITY "))
        list = response.Code.mid(11);
    else if (!response.Values.isEmpty() && response.Values.first().IsAtom("CAPABILITY"))
        for (qsizetype i = 1; i < response.Values.size(); ++i)
            list += response.Values[i].Text + ' ';
    else
        return;
    FCapabilities.clear();
    for (const QByteArray& c : list.simplified().split(' '))
        FCapabilities << QString::fromLatin1(c).toUpper();
}

void TImapClient::AskCapabilities()
{
    const TResult result = Command({"CAPABILITY"});
    for (const TImapResponse& r : result.Untagged)
        TakeCapabilities(r);
}

void TImapClient::CheckCertificate(const TCertificateCheck& check)
{
    if (check.Trusted)
        return;
    if (!TrustedFingerprint.isEmpty()) {
        // Written as displayed or as stored: case, colons and blanks do not matter.
        auto bare = [](const QString& f) {
            QString hex = f;
            hex.remove(QLatin1Char(':')).remove(QLatin1Char(' '));
            return hex.toLower();
        };
        if (bare(check.Fingerprint) == bare(TrustedFingerprint))
            return;
        throw Exception(QStringLiteral("Das Zertifikat des Mail-Servers %1 ist nicht das, dem Sie vertraut haben.\r\n"
                                       "SHA-256: %2")
                            .arg(Host, FormatFingerprint(check.Fingerprint)));
    }
    if (OnUntrustedCertificate && OnUntrustedCertificate(Host, FormatFingerprint(check.Fingerprint), check.Problem)) {
        TrustedFingerprint = check.Fingerprint;
        return;
    }
    throw Exception(WithReason(QStringLiteral("Zertifikat nicht vertrauenswürdig: Das Zertifikat des Mail-Servers %1 wird nicht angenommen.")
                                   .arg(Host),
                               QStringLiteral("Prüfung durch OpenSSL"), check.Problem));
}

void TImapClient::ProtectConnection()
{
    if (FCapabilities.isEmpty())
        AskCapabilities();
    if (!FCapabilities.contains(QStringLiteral("STARTTLS"))) {
        if (Tls == TImapTls::StartTlsRequired)
            throw Exception(QStringLiteral("SSL ist auf diesem Server nicht verfügbar."));
        return;
    }
    if (!Command({"STARTTLS"}).Reply.Ok())
        throw Exception(QStringLiteral("Befehl zum Starten der SSL-Aushandlung fehlgeschlagen."));
    CheckCertificate(FConnection.StartTls());
    FCapabilities.clear();
    AskCapabilities();
}

void TImapClient::Connect()
{
    FLoggedIn = false;
    FRefusedLogin = false;
    FCapabilities.clear();
    Status(QStringLiteral("Verbinde mit %1:%2 ...").arg(Host).arg(Port));
    try {
        FConnection.Open(Host, Port, TimeoutMs);
        if (Tls == TImapTls::Implicit)
            CheckCertificate(FConnection.StartTls());
        const TImapResponse greeting = Read();
        if (greeting.Tag != "*" || (greeting.Status != "OK" && greeting.Status != "PREAUTH"))
            throw Exception(WithReason(QStringLiteral("Der Mail-Server %1 nimmt keine Verbindung an.").arg(Host),
                                       QStringLiteral("Antwort des Servers"), QString::fromUtf8(greeting.Text)));
        TakeCapabilities(greeting);
        if (Tls == TImapTls::StartTlsRequired || Tls == TImapTls::StartTlsIfOffered)
            ProtectConnection();

        Status(QStringLiteral("Anmeldung als %1 ...").arg(User));
        // Text that a quoted string cannot carry goes as a literal.
        const QByteArray user = User.toUtf8();
        QList<QByteArray> login{"LOGIN", IsAtomText(user) || ImapNeedsLiteral(user) ? user : ImapQuoted(user)};
        if (!Password.isEmpty()) {
            const QByteArray password = Password.toUtf8();
            login << (ImapNeedsLiteral(password) ? password : ImapQuoted(password));
        }
        if (!AccessToken.isEmpty()) {
            // The token goes as the initial response of the command itself (SASL-IR,
            // RFC 4959); Microsoft 365 and Dovecot offer it.
            if (FCapabilities.isEmpty())
                AskCapabilities();
            const QByteArray token = AccessToken.toUtf8();
            if (FCapabilities.contains(QStringLiteral("AUTH=OAUTHBEARER"), Qt::CaseInsensitive))
                login = {"AUTHENTICATE", "OAUTHBEARER",
                         ("n,a=" + user + ",\x01" "auth=Bearer " + token + "\x01\x01").toBase64()};
            else
                login = {"AUTHENTICATE", "XOAUTH2", ("user=" + user + "\x01" "auth=Bearer " + token + "\x01\x01").toBase64()};
        }
        const TResult result = Command(login);
        FRefusedLogin = !result.Reply.Ok();
        FRefusalText = result.Reply.Ok() ? QString() : result.Reply.Text;
        if (!result.Reply.Ok())
            throw Exception(WithReason(QStringLiteral("Anmeldung abgelehnt: Der Mail-Server %1 nimmt die Anmeldung als %2 nicht an.")
                                           .arg(Host, User),
                                       QStringLiteral("Antwort des Servers"), result.Reply.Text));
        if (FCapabilities.isEmpty())
            AskCapabilities();
        FLoggedIn = true;
        Status(QStringLiteral("Verbunden mit %1.").arg(Host));
    } catch (...) {
        FConnection.Close();
        FLoggedIn = false;
        throw;
    }
}

void TImapClient::Disconnect()
{
    if (FConnection.IsOpen()) {
        Status(QStringLiteral("Trenne Verbindung ..."));
        try {
            Command({"LOGOUT"});
        } catch (...) {
            // A server that does not answer the goodbye is left as it is.
        }
    }
    FConnection.Close();
    FLoggedIn = false;
    Status(QStringLiteral("Verbindung getrennt."));
}

QList<TImapMailbox> TImapClient::List(const QString& reference, const QString& pattern)
{
    const TResult result = Command({"LIST", ImapQuoted(EncodeModifiedUtf7(reference)), ImapQuoted(EncodeModifiedUtf7(pattern))});
    QList<TImapMailbox> boxes;
    for (const TImapResponse& r : result.Untagged) {
        if (r.Values.size() < 4 || !r.Values[0].IsAtom("LIST") || r.Values[1].Kind != TImapValue::TKind::List)
            continue;
        TImapMailbox box;
        for (const TImapValue& a : r.Values[1].Items)
            box.Attributes << QString::fromLatin1(a.Text);
        box.Name = DecodeModifiedUtf7(r.Values[3].Text);
        boxes << box;
    }
    return boxes;
}

int TImapClient::Select(const QString& mailbox)
{
    const TResult result = Command({"SELECT", ImapQuoted(EncodeModifiedUtf7(mailbox))});
    if (!result.Reply.Ok())
        return FMessageCount; // refused: what the last selection reported
    for (const TImapResponse& r : result.Untagged) {
        if (r.Values.size() >= 2 && r.Values[1].IsAtom("EXISTS"))
            FMessageCount = r.Values[0].Text.toInt();
    }
    return FMessageCount;
}

QByteArray TImapClient::FetchItem(int number, const char* item, bool* refused)
{
    const TResult result = Command({"FETCH", QByteArray::number(number), QByteArray("(") + item + ')'});
    if (refused)
        *refused = !result.Reply.Ok();
    for (const TImapResponse& r : result.Untagged) {
        if (r.Values.size() < 3 || r.Values[0].Text != QByteArray::number(number) || !r.Values[1].IsAtom("FETCH")
            || r.Values[2].Kind != TImapValue::TKind::List)
            continue;
        const QList<TImapValue>& pairs = r.Values[2].Items;
        for (qsizetype i = 0; i + 1 < pairs.size(); i += 2) {
            if (pairs[i].IsAtom(item))
                return pairs[i + 1].Text;
        }
    }
    return {};
}

QByteArray TImapClient::FetchHeader(int number)
{
    return FetchItem(number, "RFC822.HEADER");
}

QString TImapClient::FetchUid(int number)
{
    return QString::fromLatin1(FetchItem(number, "UID"));
}

QByteArray TImapClient::FetchMessage(int number)
{
    return FetchItem(number, "RFC822");
}

TImapReply TImapClient::UidCopy(const QString& uid, const QString& mailbox)
{
    if (uid.isEmpty())
        throw Exception(QStringLiteral("Die Mail hat keine UID; sie kann nicht verschoben werden."));
    return Command({"UID", "COPY", uid.toLatin1(), ImapQuoted(EncodeModifiedUtf7(mailbox))}).Reply;
}

TImapReply TImapClient::UidStore(const QString& uid, const QByteArray& flags)
{
    if (uid.isEmpty())
        throw Exception(QStringLiteral("Die Mail hat keine UID; sie kann nicht markiert werden."));
    return Command({"UID", "STORE", uid.toLatin1(), flags}).Reply;
}

TImapReply TImapClient::Expunge()
{
    return Command({"EXPUNGE"}).Reply;
}

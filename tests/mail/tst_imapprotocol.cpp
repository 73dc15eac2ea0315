#include "mail/ImapProtocol.h"
#include "mail/MimeMessage.h"
#include "mail/ModifiedUtf7.h"
#include "mail/UniqueFileName.h"
#include "platform/Exception.h"
#include "tests/support/DovecotFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

namespace {

// Bytes as a server would send them; the end of the data is a closed connection.
class TBufferStream : public TImapStream
{
public:
    explicit TBufferStream(QByteArray data)
        : FData(std::move(data))
    {
    }

    QByteArray ReadLine(qsizetype maxLength) override
    {
        const qsizetype lf = FData.indexOf('\n', FPos);
        if (lf < 0) {
            if (FData.size() - FPos > maxLength)
                throw Exception(QStringLiteral("Zeile zu lang"));
            throw Exception(QStringLiteral("Der Mail-Server hat die Verbindung beendet."));
        }
        QByteArray line = FData.mid(FPos, lf - FPos);
        FPos = lf + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > maxLength)
            throw Exception(QStringLiteral("Zeile zu lang"));
        return line;
    }

    QByteArray ReadExact(qsizetype count) override
    {
        if (FData.size() - FPos < count)
            throw Exception(QStringLiteral("Der Mail-Server hat die Verbindung beendet."));
        QByteArray bytes = FData.mid(FPos, count);
        FPos += count;
        return bytes;
    }

    void Write(const QByteArray&) override {}

private:
    QByteArray FData;
    qsizetype FPos = 0;
};

} // namespace

// What the mail import reads from servers and mails, without a server.
class TestImapProtocol : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void modifiedUtf7_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("ascii") << QStringLiteral("Deleted Items") << QByteArray("Deleted Items");
        QTest::newRow("umlaut") << QStringLiteral("Gelöscht") << QByteArray("Gel&APY-scht");
        QTest::newRow("ampersand") << QStringLiteral("A&B") << QByteArray("A&-B");
        QTest::newRow("several") << QStringLiteral("Gelöschte Elemente ä€") << QByteArray("Gel&APY-schte Elemente &AOQgrA-");
        QTest::newRow("beyond the bmp") << QStringLiteral("Post 😀") << QByteArray("Post &2D3eAA-");
        QTest::newRow("rfc example") << QStringLiteral("~peter/mail/台北/日本語") << QByteArray("~peter/mail/&U,BTFw-/&ZeVnLIqe-");
    }

    void modifiedUtf7()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, wire);
        QCOMPARE(EncodeModifiedUtf7(name), wire);
        QCOMPARE(DecodeModifiedUtf7(wire), name);
    }

    void readsResponses()
    {
        TBufferStream stream("* CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED\r\n"
                             "* LIST (\\HasNoChildren \\Trash) \"/\" {13}\r\nGel&APY-schte\r\n"
                             "* 3 FETCH (UID 17 RFC822.HEADER {24}\r\nSubject: Rechnung 4711\r\n)\r\n"
                             "* OK [ALERT] Postfach fast voll\r\n"
                             "A0001 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n");
        const TImapResponse caps = ReadImapResponse(stream);
        QCOMPARE(caps.Tag, QByteArray("*"));
        QCOMPARE(caps.Values.size(), 4);
        QVERIFY(caps.Values[0].IsAtom("CAPABILITY"));

        const TImapResponse list = ReadImapResponse(stream);
        QCOMPARE(list.Values.size(), 4);
        QCOMPARE(list.Values[1].Items.size(), 2);
        QCOMPARE(list.Values[1].Items[1].Text, QByteArray("\\Trash"));
        QCOMPARE(list.Values[2].Text, QByteArray("/"));
        QCOMPARE(DecodeModifiedUtf7(list.Values[3].Text), QStringLiteral("Gelöschte"));

        const TImapResponse fetch = ReadImapResponse(stream);
        QCOMPARE(fetch.Values[0].Text, QByteArray("3"));
        const QList<TImapValue>& items = fetch.Values[2].Items;
        QCOMPARE(items.size(), 4);
        QCOMPARE(items[1].Text, QByteArray("17"));
        QCOMPARE(items[3].Text, QByteArray("Subject: Rechnung 4711\r\n"));

        const TImapResponse alert = ReadImapResponse(stream);
        QCOMPARE(alert.Status, QByteArray("OK"));
        QCOMPARE(alert.Code, QByteArray("ALERT"));
        QCOMPARE(alert.Text, QByteArray("Postfach fast voll"));

        const TImapResponse refused = ReadImapResponse(stream);
        QCOMPARE(refused.Tag, QByteArray("A0001"));
        QCOMPARE(refused.Status, QByteArray("NO"));
        QCOMPARE(refused.Code, QByteArray("AUTHENTICATIONFAILED"));
        QCOMPARE(refused.Text, QByteArray("Authentication failed."));
    }

    void hostileAnswers_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("error");
        QTest::newRow("huge literal") << QByteArray("* 1 FETCH (RFC822 {99999999999}\r\n")
                                      << QStringLiteral("Der Mail-Server kündigt 99999999999 Bytes an");
        QTest::newRow("absurd literal") << QByteArray("* 1 FETCH (RFC822 {999999999999999999999}\r\n")
                                        << QStringLiteral("Ungültige Antwort des Mail-Servers");
        QTest::newRow("literal longer than the data") << QByteArray("* 1 FETCH (RFC822 {5000}\r\nkurz")
                                                      << QStringLiteral("Der Mail-Server hat die Verbindung beendet.");
        QTest::newRow("truncated line") << QByteArray("* 1 FETCH (UID 4") << QStringLiteral("Der Mail-Server hat die Verbindung beendet.");
        QTest::newRow("overlong line") << QByteArray(2 << 20, 'x') + "\r\n" << QStringLiteral("Zeile zu lang");
        QTest::newRow("unbalanced list") << QByteArray("* 1 FETCH (UID 4\r\n") << QStringLiteral("Ungültige Antwort des Mail-Servers");
        QTest::newRow("closing first") << QByteArray("* 1 FETCH )(\r\n") << QStringLiteral("Ungültige Antwort des Mail-Servers");
        QTest::newRow("open quote") << QByteArray("* LIST () \"/\" \"INBOX\r\n") << QStringLiteral("Ungültige Antwort des Mail-Servers");
        QTest::newRow("deep nesting") << QByteArray("* 1 FETCH ") + QByteArray(5000, '(') + "\r\n"
                                      << QStringLiteral("Ungültige Antwort des Mail-Servers");
        QTest::newRow("empty") << QByteArray("\r\n") << QStringLiteral("Ungültige Antwort des Mail-Servers");
        QTest::newRow("literal marker inside") << QByteArray("* 1 FETCH (X {3} Y)\r\n") << QStringLiteral("Ungültige Antwort des Mail-Servers");
    }

    void hostileAnswers()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, error);
        TBufferStream stream(data);
        const QString message = ErrorOf([&] { ReadImapResponse(stream); });
        QVERIFY2(message.startsWith(error), qPrintable(message));
    }

    void uniqueFileNames_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringList() << QStringLiteral("rechnung.pdf") << QStringLiteral("rechnung.pdf");
        QTest::newRow("taken") << QStringList{QStringLiteral("rechnung.pdf")} << QStringLiteral("rechnung.pdf") << QStringLiteral("rechnung(2).pdf");
        QTest::newRow("taken twice") << QStringList{QStringLiteral("rechnung.pdf"), QStringLiteral("rechnung(2).pdf")}
                                     << QStringLiteral("rechnung.pdf") << QStringLiteral("rechnung(3).pdf");
        QTest::newRow("no dot") << QStringList{QStringLiteral("rechnung")} << QStringLiteral("rechnung") << QStringLiteral("rechnung(2)");
        QTest::newRow("only an extension") << QStringList{QStringLiteral("Anhang.xml")} << QStringLiteral(".xml") << QStringLiteral("Anhang(2).xml");
        QTest::newRow("hidden name") << QStringList() << QStringLiteral(".rechnung.xml") << QStringLiteral("rechnung.xml");
        QTest::newRow("dots and blanks in front") << QStringList() << QStringLiteral(" . .. r.pdf") << QStringLiteral("r.pdf");
        QTest::newRow("dots only") << QStringList() << QStringLiteral("...") << QStringLiteral("Anhang");
        QTest::newRow("dots in front of a device name") << QStringList() << QStringLiteral("..nul.txt") << QStringLiteral("Anhang.txt");
        QTest::newRow("forbidden characters") << QStringList() << QStringLiteral("a:b?.xml") << QStringLiteral("ab.xml");
        QTest::newRow("path in the name") << QStringList() << QStringLiteral("../../etc/passwd") << QStringLiteral("etcpasswd");
        QTest::newRow("backslashes") << QStringList() << QStringLiteral("..\\..\\x.pdf") << QStringLiteral("x.pdf");
        QTest::newRow("climbing to an xml") << QStringList() << QStringLiteral("../../x.xml") << QStringLiteral("x.xml");
        QTest::newRow("dot dot") << QStringList() << QStringLiteral("..") << QStringLiteral("Anhang");
        QTest::newRow("only forbidden") << QStringList() << QStringLiteral("???") << QStringLiteral("Anhang");
        QTest::newRow("device name") << QStringList() << QStringLiteral("CON.pdf") << QStringLiteral("Anhang.pdf");
        QTest::newRow("device name, lower case") << QStringList() << QStringLiteral("com1.xml") << QStringLiteral("Anhang.xml");
        QTest::newRow("not a device") << QStringList() << QStringLiteral("CONTO.pdf") << QStringLiteral("CONTO.pdf");
        QTest::newRow("percent signs") << QStringList{QStringLiteral("R%1.pdf")} << QStringLiteral("R%1.pdf") << QStringLiteral("R%1(2).pdf");
    }

    void uniqueFileNames()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString& e : existing)
            WriteFileBytes(dir.filePath(e), "x");
        QCOMPARE(UniqueFileNameInFolder(dir.path(), name), dir.path() + QLatin1Char('/') + expected);
        QCOMPARE(UniqueFileNameInFolder(dir.path() + QLatin1Char('/'), name), dir.path() + QLatin1Char('/') + expected);
    }

    void uniqueFileNameFailures()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("fehlt"));
        QCOMPARE(ErrorOf([&] { UniqueFileNameInFolder(missing, QStringLiteral("a.pdf")); }),
                 QStringLiteral("Ordner %1 existiert nicht").arg(missing));
        WriteFileBytes(dir.filePath(QStringLiteral("r.pdf")), "x");
        for (int i = 2; i <= 9999; ++i)
            WriteFileBytes(dir.filePath(QStringLiteral("r(%1).pdf").arg(i)), "");
        const QString error = ErrorOf([&] { UniqueFileNameInFolder(dir.path(), QStringLiteral("r.pdf")); });
        QVERIFY2(error.startsWith(QStringLiteral("Für die Anlage r.pdf ist im Ordner")), qPrintable(error));
    }

    void mimeAttachments()
    {
        const QByteArray pdf = "%PDF-1.4 Rechnung \x00\xff binär";
        const QByteArray mail = BuildMail("=?UTF-8?Q?Rechnung_M=C3=A4rz_=E2=82=AC?=",
                                          {{"filename=\"rechnung.pdf\"", "application/pdf", pdf},
                                           {"filename*=UTF-8''R%C3%A9sum%C3%A9.xml", "text/xml", "<a/>"},
                                           {"filename=\"=?ISO-8859-1?Q?Geb=FChren.pdf?=\"", "application/pdf", "x"}});
        const TMailMessage m = ParseMailMessage(mail);
        QCOMPARE(m.Subject, QStringLiteral("Rechnung März €"));
        QCOMPARE(m.Attachments.size(), 3);
        QCOMPARE(m.Attachments[0].FileName, QStringLiteral("rechnung.pdf"));
        QCOMPARE(m.Attachments[0].Content, pdf);
        QCOMPARE(m.Attachments[1].FileName, QStringLiteral("Résumé.xml"));
        QCOMPARE(m.Attachments[2].FileName, QStringLiteral("Gebühren.pdf"));
        QCOMPARE(ParseMailSubject(mail.left(mail.indexOf("\r\n\r\n") + 2)), QStringLiteral("Rechnung März €"));
    }

    void mimeWithoutAttachments()
    {
        const TMailMessage m = ParseMailMessage(BuildMail("Nur Text", {}));
        QCOMPARE(m.Subject, QStringLiteral("Nur Text"));
        QVERIFY(m.Attachments.isEmpty());
        QVERIFY(ParseMailMessage("kein MIME").Attachments.isEmpty());
        QVERIFY(ParseMailMessage(QByteArray()).Attachments.isEmpty());
    }

    void forwardedMail()
    {
        const QByteArray inner = BuildMail("Innen", {{"filename=\"innen.pdf\"", "application/pdf", "innen"}});
        QByteArray outer = "From: a@example.com\r\nSubject: Fwd\r\nMIME-Version: 1.0\r\n"
                           "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
                           "--b1\r\nContent-Type: text/plain\r\n\r\nsiehe unten\r\n"
                           "--b1\r\nContent-Type: message/rfc822\r\n\r\n" + inner + "\r\n"
                           "--b1\r\nContent-Type: message/rfc822\r\nContent-Disposition: attachment; filename=\"weiter.eml\"\r\n\r\n"
                           + inner + "\r\n--b1--\r\n";
        const TMailMessage m = ParseMailMessage(outer);
        QCOMPARE(m.Attachments.size(), 2);
        QCOMPARE(m.Attachments[0].FileName, QStringLiteral("innen.pdf")); // looked into
        QCOMPARE(m.Attachments[0].Content, QByteArray("innen"));
        QCOMPARE(m.Attachments[1].FileName, QStringLiteral("weiter.eml")); // kept whole
        QVERIFY(m.Attachments[1].Content.contains("Subject: Innen"));
    }
};

QTEST_GUILESS_MAIN(TestImapProtocol)
#include "tst_imapprotocol.moc"

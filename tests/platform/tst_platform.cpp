#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"

#include <QtTest>

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void codePageRoundTripsEveryByte()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString text = AnsiDecode(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(AnsiEncode(text), all);
    }

    void codePageDecodes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("euro") << QByteArray("\x80") << QStringLiteral("€");
        QTest::newRow("umlauts") << QByteArray("M\xfcller \xc4\xd6\xdc\xdf") << QStringLiteral("Müller ÄÖÜß");
        QTest::newRow("quotes") << QByteArray("\x84\x93\x94") << QStringLiteral("„“”");
        QTest::newRow("unassigned 81") << QByteArray("\x81") << QString(QChar(0x81));
        QTest::newRow("unassigned 9d") << QByteArray("\x9d") << QString(QChar(0x9d));
        QTest::newRow("utf-8 bom") << QByteArray("\xef\xbb\xbf") << QStringLiteral("ï»¿");
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void codePageDecodes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(AnsiDecode(bytes), text);
        QCOMPARE(AnsiEncode(text), bytes);
    }

    void codePageReplacesWhatItCannotHold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cyrillic") << QStringLiteral("aЖb") << QByteArray("a?b");
        QTest::newRow("emoji is one character") << QStringLiteral("x\U0001F600y") << QByteArray("x?y");
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?");
    }

    void codePageReplacesWhatItCannotHold()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(AnsiEncode(text), bytes);
    }

    void guardedHandsExceptionsToTheHandler()
    {
        QStringList shown;
        SetExceptionHandler([&](const QString& m) { shown << m; });
        QVERIFY(!Guarded([] { throw Exception(QStringLiteral("Pfad ist leer")); }));
        QVERIFY(!Guarded([] { throw std::runtime_error("boom"); }));
        QVERIFY(Guarded([] {}));
        SetExceptionHandler({});
        QCOMPARE(shown, QStringList({QStringLiteral("Pfad ist leer"), QStringLiteral("boom")}));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"

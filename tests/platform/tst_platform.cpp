#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

    // A file name's bytes survive the trip through the program's text, whatever they are.
    void fileNamesKeepTheirBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ascii") << QByteArray("Rechnung 1.xml") << QStringLiteral("Rechnung 1.xml");
        QTest::newRow("utf-8 umlauts and dash") << QByteArray("M\xc3\xbcller \xe2\x80\x93 1.pdf") << QStringLiteral("Müller – 1.pdf");
        QTest::newRow("four-byte utf-8") << QByteArray("x\xf0\x9f\x98\x80.xml") << QStringLiteral("x\U0001F600.xml");
        QTest::newRow("latin-1 umlauts") << QByteArray("lat1-\xe4\xf6\xfc.xml") << QStringLiteral("lat1-äöü.xml");
        QTest::newRow("stray ff") << QByteArray("bad\xff.pdf") << QStringLiteral("badÿ.pdf");
        QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf" "b") << QStringLiteral("aÀ¯b");
        QTest::newRow("encoded surrogate") << QByteArray("s\xed\xa0\x80") << QStringLiteral("sí\u00A0€");
        QTest::newRow("cut sequence at the end") << QByteArray("cut\xe2\x82") << QStringLiteral("cutâ‚");
        QTest::newRow("lone continuation byte") << QByteArray("\x80x") << QStringLiteral("€x");
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QStringLiteral("ô\u0090€€");
        QTest::newRow("valid then invalid") << QByteArray("\xc3\xa4\xe4") << QStringLiteral("ää");
    }

    void fileNamesKeepTheirBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const QString name = DecodeFileName(bytes);
        QCOMPARE(EncodeFileName(name), bytes);
        QCOMPARE(DisplayFileName(name), shown);
        const bool valid = QString::fromUtf8(bytes).toUtf8() == bytes;
        QCOMPARE(HasUndecodableBytes(name), !valid);
        if (valid)
            QCOMPARE(name, QString::fromUtf8(bytes));
    }

    void onlyRegularFilesAreOpened()
    {
        QTemporaryDir dir;
        const QString regular = dir.filePath(QStringLiteral("r.xml"));
        QFile f(regular);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("<r/>") == 4);
        f.close();
        const QString fifo = dir.filePath(QStringLiteral("pipe.xml"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

        QFile in;
        QCOMPARE(OpenForReading(in, regular), QString());
        QCOMPARE(in.readAll(), QByteArray("<r/>"));

        // Nobody writes into the FIFO: opening it must not wait.
        QElapsedTimer clock;
        clock.start();
        for (const QString& other : {fifo, dir.path(), QStringLiteral("/dev/null")}) {
            QFile file;
            QCOMPARE(OpenForReading(file, other), QStringLiteral("keine Datei (ein Ordner, eine Pipe oder ein Gerät)"));
        }
        QVERIFY(clock.elapsed() < 2000);
        QFile missing;
        QCOMPARE(OpenForReading(missing, dir.filePath(QStringLiteral("fehlt"))), QStringLiteral("No such file or directory"));

        QCOMPARE(ListFileNames(dir.path()), QStringList{QStringLiteral("r.xml")});
        QStringList all = ListFileNames(dir.path(), true);
        all.sort();
        QCOMPARE(all, QStringList({QStringLiteral("pipe.xml"), QStringLiteral("r.xml")}));
    }

    void copiesLeaveNoTemporaryFileAndCleanUpIsCareful()
    {
        TTempFolder dir;
        const QByteArray root = QFile::encodeName(dir.path()) + '/';
        auto write = [&](const QByteArray& name, const QByteArray& bytes) {
            const int fd = ::open((root + name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            QVERIFY(fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size());
            ::close(fd);
        };
        write("quelle \xe4.pdf", "%PDF Inhalt");
        const QString source = DecodeFileName(root + "quelle \xe4.pdf");
        const QString target = DecodeFileName(root + "12345678_quelle \xe4.pdf");
        QCOMPARE(CopyFileReplacing(source, target), QString());
        QCOMPARE(CopyFileReplacing(source, target), QString()); // over an existing copy
        QStringList names = ListFileNames(dir.path());
        names.sort();
        QCOMPARE(names, QStringList({DecodeFileName("12345678_quelle \xe4.pdf"), DecodeFileName("quelle \xe4.pdf")}));

        // What a killed copy leaves, next to what is not ours or still being written.
        write(".erechnung-tmp-Ab3dE9", "vollständige Kopie");
        write(".erechnung-tmp-Zz9999", "wird gerade geschrieben");
        write(".erechnung-tmp-kurz", "nicht unser Muster");
        write("Rechnung.pdf.Ab3dE9", "nicht unser Muster");
        const int busy = ::open((root + ".erechnung-tmp-Zz9999").constData(), O_RDONLY);
        QCOMPARE(::flock(busy, LOCK_EX | LOCK_NB), 0);
        QVERIFY(IsOwnTemporaryFileName(QStringLiteral(".erechnung-tmp-Ab3dE9")));
        QVERIFY(!IsOwnTemporaryFileName(QStringLiteral(".erechnung-tmp-kurz")));

        QCOMPARE(RemoveStaleTemporaryFiles(dir.path()), 1);
        ::close(busy);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral(".erechnung-tmp-Ab3dE9"))));
        for (const char* kept : {".erechnung-tmp-Zz9999", ".erechnung-tmp-kurz", "Rechnung.pdf.Ab3dE9"})
            QVERIFY2(QFile::exists(dir.filePath(QString::fromLatin1(kept))), kept);
        QCOMPARE(RemoveStaleTemporaryFiles(dir.path()), 1); // no longer held
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

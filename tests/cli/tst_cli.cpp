#include "tests/support/TestEnvironment.h"
#include "tests/support/InvoiceServices.h"
#include "tests/support/TlsTestServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

struct TRun
{
    int ExitCode = -1;
    QByteArray Out;
    QByteArray Err;

    QList<QJsonObject> Records() const
    {
        QList<QJsonObject> records;
        for (const QByteArray& line : Out.split('\n')) {
            if (!line.trimmed().isEmpty())
                records << QJsonDocument::fromJson(line).object();
        }
        return records;
    }
};

TRun Check(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(ERECHNUNG_CHECK_EXE), args);
    p.waitForFinished(120000);
    return TRun{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
}

} // namespace

// The headless tool as a script would use it.
class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    TTlsTestServer server;

    QStringList ServiceArgs() const
    {
        return {QStringLiteral("--service"), server.BaseUrl(), QStringLiteral("--cacert"), server.CaFile()};
    }

    QString Write(const QString& name, const QByteArray& bytes) const
    {
        WriteFileBytes(dir.filePath(name), bytes);
        return dir.filePath(name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        ServeInvoiceServices(server);
    }

    void helpExplainsTheOptions()
    {
        const TRun run = Check({QStringLiteral("--help")});
        QCOMPARE(run.ExitCode, 0);
        for (const char* word : {"--validate", "--render", "--service", "--cacert", "--json", "archive_name", "Rückgabewert"})
            QVERIFY2(run.Out.contains(word), word);
    }

    void exitStatusAndVerdicts_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("validate");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("verdicts");
        QTest::newRow("loaded") << QStringList{QStringLiteral("gut.xml")} << false << 0 << QStringList{QString()};
        QTest::newRow("accepted") << QStringList{QStringLiteral("gut.xml")} << true << 0 << QStringList{QStringLiteral("accept")};
        QTest::newRow("one rejected") << QStringList{QStringLiteral("gut.xml"), QStringLiteral("schlecht.xml")} << true << 1
                                      << QStringList{QStringLiteral("accept"), QStringLiteral("reject")};
        QTest::newRow("error beats reject")
            << QStringList{QStringLiteral("schlecht.xml"), QStringLiteral("fehlt.xml"), QStringLiteral("gut.xml")} << true << 2
            << QStringList{QStringLiteral("reject"), QString(), QStringLiteral("accept")};
    }

    void exitStatusAndVerdicts()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, validate);
        QFETCH(int, exitCode);
        QFETCH(QStringList, verdicts);
        Write(QStringLiteral("gut.xml"), "<Invoice>OK</Invoice>");
        Write(QStringLiteral("schlecht.xml"), "<Invoice>UNGUELTIG</Invoice>");
        QStringList args = ServiceArgs() << QStringLiteral("--json");
        if (validate)
            args << QStringLiteral("--validate");
        for (const QString& f : files)
            args << dir.filePath(f);
        const TRun run = Check(args);
        QCOMPARE(run.ExitCode, exitCode);
        const auto records = run.Records();
        QCOMPARE(records.size(), files.size()); // a failing file does not stop the others
        for (int i = 0; i < records.size(); ++i) {
            QCOMPARE(records[i].value(QStringLiteral("path")).toString(), dir.filePath(files[i]));
            QCOMPARE(records[i].value(QStringLiteral("verdict")).toString(), verdicts[i]);
            const bool missing = files[i] == QLatin1String("fehlt.xml");
            QCOMPARE(records[i].value(QStringLiteral("error")).isNull(), !missing);
            if (missing)
                QVERIFY(records[i].value(QStringLiteral("error")).toString().startsWith(QStringLiteral("Datei ")));
            else if (validate)
                QVERIFY(records[i].value(QStringLiteral("validation")).toString().contains(QStringLiteral("Bewertung:")));
        }
    }

    void rendersIntoAFolder()
    {
        QTemporaryDir out;
        const QString file = Write(QStringLiteral("darstellen.xml"), "<Invoice>OK</Invoice>");
        const TRun run = Check(ServiceArgs() << QStringLiteral("--render") << out.path() << QStringLiteral("--json") << file);
        QCOMPARE(run.ExitCode, 0);
        const QString archiveName = run.Records().front().value(QStringLiteral("archive_name")).toString();
        QCOMPARE(ReadFileBytes(out.filePath(archiveName + QStringLiteral(".html"))), ReadTestData(QStringLiteral("rendering.html")));
    }

    void textOutputIsGerman()
    {
        const TRun run = Check(ServiceArgs() << QStringLiteral("--validate") << Write(QStringLiteral("t.xml"), "<Invoice>UNGUELTIG</Invoice>"));
        QCOMPARE(run.ExitCode, 1);
        QVERIFY(run.Out.contains("  Art:         XML-Rechnung\n"));
        QVERIFY(run.Out.contains("  Urteil:      ablehnen\n"));
    }

    void wholeCorpusMatchesTheManifest()
    {
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        const TRun run = Check({QStringLiteral("--json"), CorpusDir()});
        QCOMPARE(run.ExitCode, 0);

        QFile manifest(CorpusPath(QStringLiteral("manifest.tsv")));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        const QList<QByteArray> header = manifest.readLine().trimmed().split('\t');
        QHash<QString, QPair<QString, QString>> expected;
        while (!manifest.atEnd()) {
            const QList<QByteArray> row = manifest.readLine().chopped(1).split('\t');
            expected.insert(QString::fromUtf8(row[header.indexOf("file")]),
                            {QString::fromLatin1(row[header.indexOf("invoice_hash")]),
                             QString::fromUtf8(row[header.indexOf("archive_name")])});
        }
        int checked = 0;
        for (const QJsonObject& r : run.Records()) {
            const QString name = QFileInfo(r.value(QStringLiteral("path")).toString()).fileName();
            if (!expected.contains(name))
                continue; // README.md, manifest.tsv
            QCOMPARE(r.value(QStringLiteral("hash")).toString(), expected[name].first);
            QCOMPARE(r.value(QStringLiteral("archive_name")).toString(), expected[name].second);
            ++checked;
        }
        QCOMPARE(checked, expected.size());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

#include "checks/Check.h"
#include "invoice/ERechnung.h"
#include "platform/AnsiCodePage.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

#include <set>

namespace {

// The invoice bytes of a corpus file: the file itself, or a PDF's embedded invoice.
QByteArray CorpusInvoiceBytes(const QString& file)
{
    if (!file.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        return ReadFileBytes(CorpusPath(file));
    TERechnung rechnung(nullptr, CorpusPath(file));
    return AnsiEncode(rechnung.GetXmlData());
}

QString LevelName(TCheckLevel level)
{
    switch (level) {
    case TCheckLevel::Error:
        return QStringLiteral("error");
    case TCheckLevel::Warning:
        return QStringLiteral("warning");
    case TCheckLevel::Information:
        break;
    }
    return QStringLiteral("information");
}

} // namespace

// The built-in checks against the official validator's answers for the sample corpus.
class TestChecks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // For every file of the validator's index: the same recommendation, and the same rules
    // reported at the levels error and warning.
    void corpusAsTheOfficialValidator_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("recommendation");
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<QStringList>("rules");
        if (CorpusDir().isEmpty())
            return;
        QFile index(CorpusPath(QStringLiteral("validator-reports/index.tsv")));
        if (!index.open(QIODevice::ReadOnly))
            return;
        const QList<QByteArray> header = index.readLine().trimmed().split('\t');
        while (!index.atEnd()) {
            const QList<QByteArray> row = index.readLine().chopped(1).split('\t');
            if (row.size() < header.size())
                continue;
            auto column = [&](const char* name) { return QString::fromUtf8(row[header.indexOf(name)]); };
            QStringList rules;
            for (const QString& rule : column("failed_asserts").split(u' ', Qt::SkipEmptyParts)) {
                if (!rule.endsWith(QStringLiteral(":information")))
                    rules << rule;
            }
            rules.sort();
            QTest::newRow(qPrintable(column("file"))) << column("file") << column("recommendation") << column("bewertung") << rules;
        }
    }

    void corpusAsTheOfficialValidator()
    {
        QFETCH(QString, file);
        QFETCH(QString, recommendation);
        QFETCH(QString, sentence);
        QFETCH(QStringList, rules);
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        const TCheckResult result = CheckInvoiceXml(CorpusInvoiceBytes(file));
        std::set<QString> found;
        for (const TCheckFinding& f : result.Findings) {
            if (f.Level != TCheckLevel::Information)
                found.insert(f.Id + u':' + LevelName(f.Level));
        }
        QStringList ours(found.begin(), found.end());
        ours.sort();
        QStringList details;
        for (const TCheckFinding& f : result.Findings)
            details << f.Id + u' ' + f.Location + u' ' + f.Text.left(80);
        QVERIFY2(ours == rules, qPrintable(QStringLiteral("ours: %1\nofficial: %2\n%3").arg(ours.join(u' '), rules.join(u' '), details.join(u'\n'))));
        QCOMPARE(result.Accepted() ? QStringLiteral("accept") : QStringLiteral("reject"), recommendation);
        QCOMPARE(result.Sentence(), sentence);
    }
};

QTEST_GUILESS_MAIN(TestChecks)
#include "tst_checks.moc"

#include "bench/CorpusInvoices.h"

#include "invoice/ERechnung.h"
#include "platform/AnsiCodePage.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QList>

TCorpusInvoices LargestCorpusInvoices()
{
    TCorpusInvoices found;
    if (CorpusDir().isEmpty())
        return found;
    QFile manifest(CorpusPath(QStringLiteral("manifest.tsv")));
    if (!manifest.open(QIODevice::ReadOnly))
        return found;
    const QList<QByteArray> header = manifest.readLine().trimmed().split('\t');
    while (!manifest.atEnd()) {
        const QList<QByteArray> row = manifest.readLine().chopped(1).split('\t');
        const QByteArray kind = row.value(header.indexOf("kind"));
        if (kind != "ubl" && kind != "cii" && kind != "pdf-with-xml")
            continue;
        const QString file = QString::fromUtf8(row[header.indexOf("file")]);
        TERechnung r(nullptr, CorpusPath(file));
        const QByteArray xml = AnsiEncode(r.GetXmlData());
        if (!r.Model())
            continue;
        if (xml.size() > found.Xml.size()) {
            found.Xml = xml;
            found.Name = file;
        }
        if (!r.IsPdf() && xml.size() > found.FileXml.size()) {
            found.FileXml = xml;
            found.FileName = file;
        }
    }
    return found;
}

TCorpusInvoices LargestProfileSample(const QString& profile)
{
    TCorpusInvoices found;
    if (ProfileSamplesDir().isEmpty())
        return found;
    QFile reference(ProfileSamplesDir() + QStringLiteral("/reference.tsv"));
    if (!reference.open(QIODevice::ReadOnly))
        return found;
    const QList<QByteArray> header = reference.readLine().trimmed().split('\t');
    while (!reference.atEnd()) {
        const QList<QByteArray> row = reference.readLine().trimmed().split('\t');
        if (QString::fromUtf8(row.value(header.indexOf("profile"))) != profile)
            continue;
        const QString file = QString::fromUtf8(row.value(header.indexOf("file")));
        TERechnung r(nullptr, ProfileSamplesDir() + u'/' + file);
        const QByteArray xml = AnsiEncode(r.GetXmlData());
        if (xml.size() > found.Xml.size()) {
            found.Xml = xml;
            found.Name = file;
        }
    }
    return found;
}

#include "tests/support/InvoiceFolders.h"

#include "tests/support/InvoiceServices.h"
#include "tests/support/PdfFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>

TInvoiceFolders::TInvoiceFolders()
{
    for (const char* d : {"hot", "dms", "weiter", "problem"})
        QDir(FRoot.path()).mkdir(QString::fromLatin1(d));
}

QString TInvoiceFolders::Put(const QString& name, const QByteArray& bytes) const
{
    WriteFileBytes(Hot(name), bytes);
    return Hot(name);
}

QString TInvoiceFolders::PutInvoice(const QString& name, bool valid) const
{
    return Put(name, SampleInvoice(name, valid));
}

QString TInvoiceFolders::PutPdf(const QString& name, const QByteArray& attachedXml) const
{
    const QString base = Dir(QStringLiteral("base.pdf"));
    WriteMinimalPdf(base);
    if (attachedXml.isEmpty()) {
        QFile::remove(Hot(name));
        QFile::copy(base, Hot(name));
        return Hot(name);
    }
    const QString xml = Dir(QStringLiteral("factur-x.xml"));
    WriteFileBytes(xml, attachedXml);
    AddAttachments(base, Hot(name), {TPdfAttachment{xml, {}, {}, QStringLiteral("text/xml"), {}}});
    return Hot(name);
}

#pragma once

#include <QByteArray>
#include <QString>
#include "tests/support/TestEnvironment.h"

// The working folders of one test: hot (the hotfolder), dms, weiter and problem in a
// temporary folder, with helpers that put invoices into the hotfolder.
class TInvoiceFolders
{
public:
    TInvoiceFolders();

    QString Dir(const QString& name) const { return FRoot.filePath(name); }
    QString Hot(const QString& name) const { return Dir(QStringLiteral("hot/") + name); }

    QString Put(const QString& name, const QByteArray& bytes) const;
    // The sample invoice with its own number (see SampleInvoice).
    QString PutInvoice(const QString& name, bool valid = true) const;
    // A PDF; with attachedXml a hybrid one that carries it as factur-x.xml.
    QString PutPdf(const QString& name, const QByteArray& attachedXml = {}) const;

private:
    TTempFolder FRoot;
};

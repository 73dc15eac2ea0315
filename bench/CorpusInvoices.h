#pragma once

#include <QByteArray>
#include <QString>

// The largest invoices of the sample corpus that the program reads as UBL or CII.
struct TCorpusInvoices
{
    QString Name;          // the largest invoice XML (a file, or the attachment of a PDF)
    QByteArray Xml;
    QString FileName;      // the largest XML file
    QByteArray FileXml;
};

// Empty names when the corpus is not there.
TCorpusInvoices LargestCorpusInvoices();

// The largest ZUGFeRD / Factur-X sample of a profile ("EXTENDED") among the profile
// samples: its invoice XML in Name and Xml; empty when the samples are not there.
TCorpusInvoices LargestProfileSample(const QString& profile);

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

#pragma once

#include "model/Invoice.h"

#include <QString>
#include <QStringList>

// Whether the pages of a hybrid PDF show what its XML says: the invoice number (BT-1), the
// total with VAT (BT-112), the amount due (BT-115, unless it equals the total or is zero)
// and each payment account (BT-84). The XML is the invoice that counts; the pages are what
// the user reads. Amounts may be written the German or the English way, with or without
// thousands separators; accounts with or without blanks, in any case; all of them may be
// split by blanks and line ends as text extraction splits them. Dates are not compared.
struct TPdfComparison
{
    enum class TState { NotCompared, Same, Differs, NoText, Unreadable };
    TState State = TState::NotCompared;
    QStringList Missing; // per term not found: "Die PDF-Ansicht zeigt ... nicht"
    QString Reason;      // Unreadable: why

    // The note for the report: "stimmt überein", what it did not find, or why it could not
    // compare; empty when not compared.
    QString Note() const;
};

// Compares the pages' text (all pages) with the invoice.
TPdfComparison ComparePdfText(const QString& pagesText, const TInvoice& invoice);

// Reads the pages' text of the PDF and compares; Unreadable with the reason when the PDF
// or the text module cannot be read.
TPdfComparison ComparePdfWithInvoice(const QByteArray& pdf, const TInvoice& invoice);

// The forms an amount written as in the XML ("1234.56") may take on a page: 1.234,56 /
// 1234,56 / 1,234.56 / 1234.56 / 1'234.56 (the sign left aside).
QStringList AmountForms(const QString& amount);
// "1.234,56 €" (EUR) or "1.234,56 USD": an amount as the notes show it.
QString GermanAmount(const QString& amount, const QString& currency);

#pragma once

#include "model/Invoice.h"

#include <QString>
#include <QStringList>

// What the history keeps of an invoice beside its hash: who sent it, its number, date,
// kind and amounts, the accounts it asks to be paid to. Texts as the invoice writes them
// (trimmed); the accounts normalised (no blanks, upper case).
struct TInvoiceFacts
{
    QString SellerName;      // BT-27
    QString SellerVatId;     // BT-31
    QString SellerId;        // BT-29 (the first)
    QString SellerTaxNumber; // BT-32
    QString Number;          // BT-1
    QString IssueDate;       // BT-2, as written
    QString TypeCode;        // BT-3
    QString Currency;        // BT-5
    QString GrandTotal;      // BT-112
    QString AmountDue;       // BT-115
    QStringList Accounts;    // BT-84, normalised, in document order, each once
    QString BuyerReference;  // BT-10
    QString Profile;         // as InvoiceProfile writes it

    bool IsEmpty() const { return Number.isEmpty() && SellerName.isEmpty() && SellerVatId.isEmpty(); }
};

TInvoiceFacts FactsOf(const TInvoice& invoice, const QString& profile);

// An account (IBAN or other) as the history compares it: blanks removed, upper case.
QString NormalizedAccount(const QString& account);

// The kind of document for the duplicate test: a credit note or a correction is never a
// copy of the invoice it credits or corrects. "Rechnung", "Gutschrift", "Korrektur".
QString DocumentKind(const QString& typeCode);

// Whether two sets of facts name the same seller: the first of VAT id (BT-31), seller
// identifier (BT-29), tax number (BT-32), name (BT-27) that both carry decides; identifiers
// compared without blanks and case, names also without blanks and case.
bool SameSeller(const TInvoiceFacts& a, const TInvoiceFacts& b);

// The invoice number as the duplicate test compares it (no blanks, upper case).
QString NormalizedNumber(const QString& number);

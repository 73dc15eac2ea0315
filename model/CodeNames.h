#pragma once

#include <QString>

// German names of the codes a reader of an invoice meets most, for the built-in view. A
// code that is not listed here is shown as it is.
enum class TCodeKind { InvoiceType, VatCategory, PaymentMeans, Unit, Country, NoteSubject };

// The name, or a null text.
QString CodeName(TCodeKind kind, const QString& code);

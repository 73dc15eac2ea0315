#pragma once

#include <QByteArray>

// What each line of a generated invoice gets wrong, for tests and benchmarks of large
// invoices with a finding on every line.
enum class TLineFault {
    None,
    UnexpectedElement, // an element the schema does not have (a structure error)
    NoItemName,        // the item has no name (a business rule error, BR-25)
};

// A correct XRechnung 3.0 invoice in UBL with the given number of lines (two VAT rates,
// a line allowance every tenth line), its totals computed exactly: for benchmarks and
// for tests of large invoices.
QByteArray GeneratedUblInvoice(int lines, TLineFault fault = TLineFault::None);
// The same invoice in CII.
QByteArray GeneratedCiiInvoice(int lines, TLineFault fault = TLineFault::None);

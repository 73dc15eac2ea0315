#pragma once

#include <QByteArray>

// A correct XRechnung 3.0 invoice in UBL with the given number of lines (two VAT rates,
// a line allowance every tenth line), its totals computed exactly: for benchmarks and
// for tests of large invoices.
QByteArray GeneratedUblInvoice(int lines);

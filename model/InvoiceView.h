#pragma once

#include "model/Invoice.h"

#include <QString>

// The built-in view of an invoice: an HTML page made from the model by our own code, in
// German, with each label's BT/BG number in small print (and as a tooltip). It shows the
// overview (parties, number and dates, totals, payment with Skonto), the lines with their
// sub-lines, the VAT breakdown, allowances and charges, notes, references, delivery and
// the attachments (an embedded file can be saved by a click; an external address is only
// shown). Every value is escaped, and nothing in the page loads anything: a content
// security policy forbids it as well. Readable on screen and printable on A4.
//
// An embedded file's link carries its bytes (a data: address) so that the page stands on
// its own. A program that shows the page in its own browser passes attachmentAddress
// instead: the link then goes to attachmentAddress followed by the document's number (1,
// 2, ... as EmbeddedAttachment counts) and the program saves the file itself; browsers
// do not hand on addresses over 2 MB.
QString InvoiceViewHtml(const TInvoice& invoice, const QString& attachmentAddress = {});

// A page for an invoice that cannot be shown as one: why, and the XML as text.
QString InvoiceViewErrorHtml(const QString& reason, const QString& xml);

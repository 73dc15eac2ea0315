// The invoice model on any bytes: it reads the invoice or raises our exception, nothing else.

#include "model/InvoiceReader.h"
#include "platform/Exception.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const TInvoice invoice = ReadInvoice(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
        (void)invoice.Lines();
        (void)invoice.Ibans();
    } catch (const Exception&) {
    }
    return 0;
}

// The built-in view of whatever the model reads: never a crash, and a page for every invoice.

#include "model/InvoiceReader.h"
#include "model/InvoiceView.h"
#include "platform/Exception.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const QString html = InvoiceViewHtml(ReadInvoice(xml));
        if (!html.contains(QStringLiteral("</html>")))
            std::abort();
    } catch (const Exception& e) {
        (void)InvoiceViewErrorHtml(e.Message(), QString::fromUtf8(xml));
    }
    return 0;
}

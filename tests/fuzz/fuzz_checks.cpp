// The built-in checks on any bytes: never a crash, never an accept of a document the
// reader refuses, a verdict with findings for every rejection.

#include "checks/Check.h"
#include "model/InvoiceReader.h"
#include "platform/Exception.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char*>(data), qsizetype(size));
    const TCheckResult result = CheckInvoiceXml(xml);
    if (result.Verdict == TCheckVerdict::Reject && result.Findings.empty())
        std::abort(); // a rejection must say why
    if (result.Accepted()) {
        try {
            const TXmlDocument document(xml);
        } catch (const Exception&) {
            std::abort(); // accepted what the reader cannot read
        }
    }
    return 0;
}

#include "invoice/PdfTextModule.h"

#include <poppler-qt6.h>

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

void ReadPages(const char* data, size_t size, TPdfTextResult* out)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant()); });
    const std::unique_ptr<Poppler::Document> document =
        Poppler::Document::loadFromData(QByteArray::fromRawData(data, qsizetype(size)));
    if (!document || document->isLocked())
        return;
    QString text;
    const int pages = document->numPages();
    for (int i = 0; i < pages; ++i) {
        const std::unique_ptr<Poppler::Page> page = document->page(i);
        if (i > 0)
            text += u'\f';
        if (page)
            text += page->text(QRectF());
    }
    const QByteArray utf8 = text.toUtf8();
    out->Text = static_cast<char*>(std::malloc(size_t(utf8.size()) + 1));
    if (!out->Text)
        return;
    std::memcpy(out->Text, utf8.constData(), size_t(utf8.size()) + 1);
    out->TextSize = size_t(utf8.size());
    out->Pages = pages;
    out->Status = kPdfTextRead;
}

} // namespace

extern "C" {

Q_DECL_EXPORT void erechnung_pdftext_read(const char* data, size_t size, TPdfTextResult* out)
{
    *out = TPdfTextResult{kPdfTextUnreadable, 0, nullptr, 0};
    try {
        ReadPages(data, size, out);
    } catch (...) {
        // Nothing crosses the boundary: an unreadable PDF.
        std::free(out->Text);
        *out = TPdfTextResult{kPdfTextUnreadable, 0, nullptr, 0};
    }
}

Q_DECL_EXPORT void erechnung_pdftext_free(TPdfTextResult* out)
{
    std::free(out->Text);
    out->Text = nullptr;
}

}

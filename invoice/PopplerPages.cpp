#include "invoice/PopplerPages.h"

#include "invoice/PdfPageRenderer.h"
#include "platform/FileSystem.h"

#include <poppler-qt6.h>

#include <QFile>
#include <QImage>
#include <QPainter>

#include <mutex>

namespace {

// The document is opened at the first drawing and kept open; a PDF that cannot be opened
// (or needs a password) draws nothing.
class TPopplerPages : public TPdfPageRenderer
{
public:
    explicit TPopplerPages(QString path)
        : FPath(std::move(path))
    {
    }

    void Render(int page, QPainter* dc) override
    {
        if (!FDocument && !FTried) {
            FTried = true;
            static std::once_flag once;
            std::call_once(once, [] { Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant()); });
            QFile file;
            if (!OpenForReading(file, FPath).isEmpty())
                return;
            FDocument = Poppler::Document::loadFromData(file.readAll());
            // A locked document must not be asked anything else.
            if (FDocument && FDocument->isLocked())
                FDocument.reset();
        }
        if (!FDocument || !dc || page < 1 || page > FDocument->numPages())
            return;
        const std::unique_ptr<Poppler::Page> p = FDocument->page(page - 1);
        if (!p)
            return;
        const QImage image = p->renderToImage(72.0, 72.0);
        if (!image.isNull())
            dc->drawImage(0, 0, image);
    }

private:
    QString FPath;
    bool FTried = false;
    std::unique_ptr<Poppler::Document> FDocument;
};

} // namespace

void UsePopplerPages()
{
    TPdfPageRenderer::SetFactory([](const QString& path) -> std::unique_ptr<TPdfPageRenderer> {
        return std::make_unique<TPopplerPages>(path);
    });
}

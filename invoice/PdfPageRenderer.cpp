#include "invoice/PdfPageRenderer.h"

#include "platform/FileSystem.h"

#include <poppler-qt6.h>

#include <QFile>
#include <QImage>
#include <QPainter>

#include <mutex>

TPdfPageRenderer::TPdfPageRenderer(QString path)
    : FPath(std::move(path))
{
}

TPdfPageRenderer::~TPdfPageRenderer() = default;

void TPdfPageRenderer::Render(int page, QPainter* dc)
{
    if (!FDocument) {
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

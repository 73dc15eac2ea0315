#pragma once

#include <QString>

#include <memory>

class QPainter;
namespace Poppler {
class Document;
}

// Draws pages of a PDF with Poppler. The document is opened at the first drawing and kept
// open; a PDF that cannot be opened (or needs a password) draws nothing.
class TPdfPageRenderer
{
public:
    explicit TPdfPageRenderer(QString path);
    ~TPdfPageRenderer();

    TPdfPageRenderer(const TPdfPageRenderer&) = delete;
    TPdfPageRenderer& operator=(const TPdfPageRenderer&) = delete;

    // Draws page (counted from 1) at 72 dpi into dc; nothing beyond the last page.
    void Render(int page, QPainter* dc);

private:
    QString FPath;
    std::unique_ptr<Poppler::Document> FDocument;
};

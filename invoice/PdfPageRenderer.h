#pragma once

#include <QString>

#include <memory>

class QPainter;

// Draws pages of a PDF. Drawing needs Poppler and Qt's GUI module, which the GUI-free core
// does not link (the command-line tool starts without loading either): a program that draws
// pages registers Poppler's drawer with UsePopplerPages() (invoice/PopplerPages.h). Without
// one, pages draw nothing.
class TPdfPageRenderer
{
public:
    virtual ~TPdfPageRenderer() = default;

    // Draws page (counted from 1) at 72 dpi into dc; nothing beyond the last page.
    virtual void Render(int page, QPainter* dc) = 0;

    using TFactory = std::unique_ptr<TPdfPageRenderer> (*)(const QString& path);
    // The drawer for the PDF at path, or nullptr when no drawer is registered.
    static std::unique_ptr<TPdfPageRenderer> Open(const QString& path);
    static void SetFactory(TFactory factory);
};

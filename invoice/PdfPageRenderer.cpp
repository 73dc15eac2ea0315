#include "invoice/PdfPageRenderer.h"

#include <atomic>

namespace {

std::atomic<TPdfPageRenderer::TFactory> gFactory{nullptr};

} // namespace

std::unique_ptr<TPdfPageRenderer> TPdfPageRenderer::Open(const QString& path)
{
    const TFactory factory = gFactory.load();
    return factory ? factory(path) : nullptr;
}

void TPdfPageRenderer::SetFactory(TFactory factory)
{
    gFactory.store(factory);
}

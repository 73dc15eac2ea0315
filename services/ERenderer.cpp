#include "services/ERenderer.h"

TERenderer::TERenderer(QObject* AOwner, TServiceOptions options)
    : TEServiceClient(AOwner, QStringLiteral("/renderhtml"), std::move(options))
{
}

QString TERenderer::Render(const QString& xmlstr)
{
    Html = Call(xmlstr);
    return Html;
}

#include "invoice/EZugFerd.h"

TEZugFerd::TEZugFerd(QObject* /*AOwner*/)
{
}

TEZugFerd::TEZugFerd(QObject* AOwner, const QString& filename)
    : TEZugFerd(AOwner)
{
    SetOriginalFileName(filename);
}

bool TEZugFerd::IsZugFerd()
{
    return false;
}

QString TEZugFerd::ExtractFacturX()
{
    return {};
}

void TEZugFerd::RenderPDFPage(int /*page*/, QPainter* /*dc*/)
{
}

#pragma once

#include "services/EServiceClient.h"

// Client of the rendering service: posts the invoice XML to "/renderhtml" and returns the
// answer as it comes (normally HTML; the XML itself when the service could not render).
class TERenderer : public TEServiceClient
{
public:
    explicit TERenderer(QObject* AOwner, TServiceOptions options = {});

    QString Render(const QString& xmlstr);

private:
    void RequestCompleted(const QString& answer);
};

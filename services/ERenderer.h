#pragma once

#include "services/EServiceClient.h"

// Client of the rendering service: posts the invoice XML to "/renderhtml" and returns the
// answer as it comes (normally HTML; the XML itself when the service could not render).
class TERenderer : public TEServiceClient
{
public:
    explicit TERenderer(QObject* AOwner, TServiceOptions options = {});

    // The answer as it comes; Status() tells whether the service rendered (200) or not.
    QString Render(const QString& xmlstr);
};

#pragma once

#include "services/EServiceClient.h"

// Client of the validation service: posts the invoice XML to "/validate" and returns the
// human-readable explanation of the report, or the whole answer when it has none.
class TEValidator : public TEServiceClient
{
public:
    explicit TEValidator(QObject* AOwner, TServiceOptions options = {});

    QString Validate(const QString& xmlstr);

    // The first child of the first rep:explanation of a report, serialised as XML; empty
    // text when the answer is no report or has no such child. Public for the tests.
    static QString ExtractExplanation(const QString& report);

private:
    void RequestCompleted(const QString& answer);
};

// Namespace of the validator's report format (varl, version 1).
inline constexpr const char* kVarlNamespace = "http://www.xoev.de/de/validator/varl/1";

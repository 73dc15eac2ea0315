#pragma once

#include "checks/Rules.h"

// What the XRechnung rules of both syntaxes share.
namespace checks::xr {

inline constexpr const char* kCiusId = "urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_3.0";
inline constexpr const char* kExtensionId = "urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_3.0"
                                            "#conformant#urn:xeinkauf.de:kosit:extension:xrechnung_3.0";
inline constexpr const char* kCvdId = "urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_3.0"
                                      "#compliant#urn:xeinkauf.de:kosit:xrechnung:cvd_0.9";

inline constexpr const char* kEmailPattern = "^[^@\\s]+@([^@.\\s]+\\.)+[^@.\\s]+$";
inline constexpr const char* kTelephonePattern = ".*([0-9].*){3,}.*";
inline constexpr const char* kUrlPattern = "^([a-zA-Z])([a-zA-Z0-9+.-])+:.*";

bool IsExtension(const TCtx& c);
bool IsCvd(const TCtx& c);

// What the line amount rules allow a result to be off: 0.5 in forint (HUF), else 0.02.
TDecimal LineSlack(bool forint);
// expected - slack <= value <= expected + slack; TEvalError when a bound has too many digits.
bool SlackHolds(const TDecimal& expected, const TDecimal& value, const TDecimal& slack);
// xs:decimal() of the one value of path, or fallback when there is none.
TDecimal DecimalOr(const TCtx& c, const char* path, long long fallback);

// The account check of BR-DE-19 and BR-DE-20 on what path selects from c: blanks
// removed, two letters, two digits, up to 30 letters and digits, and the ISO 7064 check
// (the first four characters moved to the end, letters as numbers, the whole modulo 97
// is 1). More than one account where the rule expects one cannot be evaluated.
bool IbanHolds(const TCtx& c, const char* path);

// BR-DE-18 on the first note of each payment terms element (notes: their texts).
bool SkontoLinesHold(const std::vector<QString>& notes);

// Whether the value is a code of the list "XR01 XR02 ..." after normalize-space, as the
// XRechnung rules test: no blank in it, and " code " found in " list ".
bool OnXRechnungList(TCodeList list, const QString& value);

} // namespace checks::xr

// The EN 16931 rules on UBL (CEN/TC 434 validation artefacts), in the three patterns of
// the published rule set: the business rules, the syntax rules, the code lists. Contexts,
// order and the way each test reads its values follow the published rules; the texts are
// our own.

#include "checks/Rules.h"

#include <libxml/tree.h>

#include <cmath>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

namespace checks {

namespace {

constexpr TFlag F = TFlag::Fatal;
constexpr TFlag W = TFlag::Warning;

using xq::TEvalError;

#define UBL_ROOTS "/ubl:Invoice|/cn:CreditNote"

// ---- Reading values the way the rules do -------------------------------------------------

// "cac:TaxScheme/normalize-space(upper-case(cbc:ID))='VAT'" on a tax category or scheme.
bool IsVat(_xmlNode* n)
{
    for (const QString& id : xq::NormalizedValues(n, "cac:TaxScheme/cbc:ID")) {
        if (id.compare(u"VAT", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// "normalize-space(cbc:ID) = 'X'".
bool IdIs(_xmlNode* n, const char* code)
{
    for (const QString& id : xq::NormalizedValues(n, "cbc:ID")) {
        if (id == QLatin1String(code))
            return true;
    }
    return false;
}

// "cbc:ChargeIndicator = false()": the untyped value compared as a boolean.
bool IndicatorIs(_xmlNode* ac, bool wanted)
{
    for (const QString& v : xq::Values(ac, "cbc:ChargeIndicator")) {
        const QString t = xq::NormalizeSpace(v);
        bool value = false;
        if (t == u"true" || t == u"1")
            value = true;
        else if (t == u"false" || t == u"0")
            value = false;
        else
            throw TEvalError{QStringLiteral("„%1“ ist kein Wahrheitswert").arg(v)};
        if (value == wanted)
            return true;
    }
    return false;
}

// "categories/cbc:ID = 'X'" as written.
bool AnyCategoryIs(const std::vector<_xmlNode*>& categories, const char* code)
{
    for (_xmlNode* category : categories)
        if (xq::AnyIs(category, "cbc:ID", code))
            return true;
    return false;
}

// "(path) op 0" on untyped values: some value, as a double, compares so.
template <class Op>
bool SomeNumber(const TCtx& c, const char* path, Op op)
{
    for (const QString& v : c.Vals(path)) {
        if (op(xq::Double(v)))
            return true;
    }
    return false;
}

bool Equal(const std::optional<TDecimal>& a, const std::optional<TDecimal>& b)
{
    return a && b && *a == *b;
}

TDecimal Sum(const std::vector<_xmlNode*>& nodes, const char* path)
{
    TDecimal sum;
    for (_xmlNode* n : nodes)
        for (const QString& v : xq::Values(n, path))
            sum += xq::Decimal(v);
    if (!sum.IsValid())
        throw TEvalError{QStringLiteral("die Summe hat zu viele Stellen")};
    return sum;
}

// ---- The parties ---------------------------------------------------------------------------

bool PartyTaxIds(const TCtx& c, const char* party, bool vatOnly)
{
    for (_xmlNode* scheme : c.Doc.FromRoot(party)) {
        if ((!vatOnly || IsVat(scheme)) && xq::Exists(scheme, "cbc:CompanyID"))
            return true;
    }
    return false;
}

bool SellerAnyTaxId(const TCtx& c)
{
    return PartyTaxIds(c, "cac:AccountingSupplierParty/cac:Party/cac:PartyTaxScheme", false);
}

bool SellerVatId(const TCtx& c)
{
    return PartyTaxIds(c, "cac:AccountingSupplierParty/cac:Party/cac:PartyTaxScheme", true);
}

bool RepresentativeVatId(const TCtx& c)
{
    return PartyTaxIds(c, "cac:TaxRepresentativeParty/cac:PartyTaxScheme", true);
}

bool BuyerVatId(const TCtx& c)
{
    return PartyTaxIds(c, "cac:AccountingCustomerParty/cac:Party/cac:PartyTaxScheme", true);
}

bool BuyerLegalId(const TCtx& c)
{
    return !c.Doc.FromRoot("cac:AccountingCustomerParty/cac:Party/cac:PartyLegalEntity/cbc:CompanyID").empty();
}

// ---- VAT categories --------------------------------------------------------------------------

enum class TScope { Anywhere, RootOnly };

// Tax categories of allowances or charges (indicator), at any level or of the document.
std::vector<_xmlNode*> AllowanceCategories(const TCtx& c, bool charge, TScope scope)
{
    std::vector<_xmlNode*> found;
    const std::vector<_xmlNode*> charges =
        scope == TScope::Anywhere ? c.Doc.All("cac:AllowanceCharge") : c.Doc.FromRoot("cac:AllowanceCharge");
    for (_xmlNode* ac : charges) {
        if (!IndicatorIs(ac, charge))
            continue;
        for (_xmlNode* category : xq::Select(ac, "cac:TaxCategory"))
            found.push_back(category);
    }
    return found;
}

// "//cac:AllowanceCharge/cac:TaxCategory": of allowances and charges alike.
std::vector<_xmlNode*> AllowanceChargeCategories(const TCtx& c)
{
    std::vector<_xmlNode*> found;
    for (_xmlNode* ac : c.Doc.All("cac:AllowanceCharge"))
        for (_xmlNode* category : xq::Select(ac, "cac:TaxCategory"))
            found.push_back(category);
    return found;
}

int CountCategories(const std::vector<_xmlNode*>& categories, const char* code, bool vat, bool normalize = true)
{
    int n = 0;
    for (_xmlNode* category : categories) {
        const bool idMatches = normalize ? IdIs(category, code) : xq::AnyIs(category, "cbc:ID", code);
        if (idMatches && (!vat || IsVat(category)))
            ++n;
    }
    return n;
}

// "[normalize-space(cbc:ID) != 'X']" on a category: its code (nothing reads as '') is another.
bool OtherThan(_xmlNode* category, const char* code)
{
    const std::vector<QString> ids = xq::Values(category, "cbc:ID");
    if (ids.size() > 1)
        throw TEvalError{QStringLiteral("mehr als ein Code einer Umsatzsteuerkategorie")};
    return xq::NormalizeSpace(ids.empty() ? QString() : ids.front()) != QLatin1String(code);
}

std::vector<_xmlNode*> Breakdown(const TCtx& c)
{
    return c.Doc.FromRoot("cac:TaxTotal/cac:TaxSubtotal/cac:TaxCategory");
}

// BR-xx-01 for the categories of which exactly one breakdown is allowed.
bool ExactlyOneBreakdown(const TCtx& c, const char* code)
{
    const bool used = CountCategories(c.Doc.All("cac:TaxCategory"), code, true) > 0
        || CountCategories(c.Doc.All("cac:ClassifiedTaxCategory"), code, true) > 0;
    return (used && CountCategories(Breakdown(c), code, true) == 1) || !used;
}

enum class TParty { SellerAnyOrRepresentative, SellerVatOrRepresentative, WithBuyerVatOrLegal, WithBuyerVat };

bool PartiesHold(const TCtx& c, TParty parties)
{
    switch (parties) {
    case TParty::SellerAnyOrRepresentative:
        return SellerAnyTaxId(c) || RepresentativeVatId(c);
    case TParty::SellerVatOrRepresentative:
        return SellerVatId(c) || RepresentativeVatId(c);
    case TParty::WithBuyerVatOrLegal:
        return (SellerAnyTaxId(c) || RepresentativeVatId(c)) && (BuyerVatId(c) || BuyerLegalId(c));
    case TParty::WithBuyerVat:
        return (SellerVatId(c) || RepresentativeVatId(c)) && BuyerVatId(c);
    }
    return false;
}

// BR-xx-02: lines of the category need the parties' identifiers.
bool LinesNeedIds(const TCtx& c, const char* code, TParty parties, bool vatFilterWhenAbsent = true)
{
    const bool used = CountCategories(c.Doc.All("cac:ClassifiedTaxCategory"), code, true) > 0;
    const bool usedAtAll = CountCategories(c.Doc.All("cac:ClassifiedTaxCategory"), code, vatFilterWhenAbsent) > 0;
    return (used && PartiesHold(c, parties)) || !usedAtAll;
}

// BR-xx-03/04: allowances (charge false) or charges (true) of the category.
bool AllowancesNeedIds(const TCtx& c, const char* code, bool charge, TParty parties, bool vatFilterWhenPresent = true,
                       bool normalizeWhenAbsent = true)
{
    const std::vector<_xmlNode*> categories = AllowanceCategories(c, charge, TScope::Anywhere);
    const bool used = CountCategories(categories, code, vatFilterWhenPresent) > 0;
    const bool usedAtAll = CountCategories(categories, code, true, normalizeWhenAbsent) > 0;
    return (used && PartiesHold(c, parties)) || !usedAtAll;
}

// The lines (or credit note lines) whose item category is code (no scheme test).
std::vector<_xmlNode*> LinesOf(const TCtx& c, const char* lineName, const char* code)
{
    std::vector<_xmlNode*> lines;
    for (_xmlNode* line : c.Doc.FromRoot(lineName)) {
        if (xq::AnyNormalizedIs(line, "cac:Item/cac:ClassifiedTaxCategory/cbc:ID", {code}))
            lines.push_back(line);
    }
    return lines;
}

std::vector<_xmlNode*> RootChargesOf(const TCtx& c, bool charge, const char* code)
{
    std::vector<_xmlNode*> found;
    for (_xmlNode* ac : c.Doc.FromRoot("cac:AllowanceCharge")) {
        if (IndicatorIs(ac, charge) && xq::AnyNormalizedIs(ac, "cac:TaxCategory/cbc:ID", {code}))
            found.push_back(ac);
    }
    return found;
}

// BR-xx-08 of the categories without rates: the taxable amount is the exact sum.
bool TaxableIsExactSum(const TCtx& c, const char* code)
{
    const std::optional<TDecimal> taxable = OneDecimal(c, "../cbc:TaxableAmount");
    for (const char* lineName : {"cac:InvoiceLine", "cac:CreditNoteLine"}) {
        if (c.Doc.All(lineName).empty())
            continue;
        const TDecimal sum = Sum(LinesOf(c, lineName, code), "cbc:LineExtensionAmount") + Sum(RootChargesOf(c, true, code), "cbc:Amount")
            - Sum(RootChargesOf(c, false, code), "cbc:Amount");
        if (taxable && *taxable == sum)
            return true;
    }
    return false;
}

// "[...xs:decimal(cbc:Percent) = $rate]" on a category: some percent is the rate.
bool RateIs(_xmlNode* node, const char* path, const TDecimal& rate)
{
    bool found = false;
    for (const QString& p : xq::Values(node, path))
        found = xq::Decimal(p) == rate || found;
    return found;
}

bool CategoryHasRate(_xmlNode* node, const char* categoryPath, const char* code, const TDecimal& rate)
{
    return xq::AnyNormalizedIs(node, KeepText(std::string(categoryPath) + "/cbc:ID"), {code})
        && RateIs(node, KeepText(std::string(categoryPath) + "/cbc:Percent"), rate);
}

// BR-S-08, BR-AF-08, BR-AG-08: for each rate of the breakdown the taxable amount is within 1
// of the lines plus charges minus allowances of the category and rate. For S the rate must
// also be used somewhere; for L and M any line will do.
bool TaxableMatchesRate(const TCtx& c, const char* code, bool needsUse)
{
    const std::optional<TDecimal> rate = OneDecimal(c, "cbc:Percent");
    if (!rate)
        return true;
    const std::vector<QString> taxableTexts = c.Vals("../cbc:TaxableAmount");
    if (taxableTexts.size() > 1)
        throw TEvalError{QStringLiteral("die Steueraufschlüsselung hat mehr als einen Nettobetrag")};
    const auto branch = [&](const char* lineName) {
        bool used = false;
        TDecimal lines;
        for (_xmlNode* line : c.Doc.All(lineName)) {
            if (!CategoryHasRate(line, "cac:Item/cac:ClassifiedTaxCategory", code, *rate))
                continue;
            used = true;
            if (xq::ParentElement(line) == c.Root())
                for (const QString& v : xq::Values(line, "cbc:LineExtensionAmount"))
                    lines += xq::Decimal(v);
        }
        if (needsUse && !used) {
            for (_xmlNode* ac : c.Doc.All("cac:AllowanceCharge"))
                used = used || CategoryHasRate(ac, "cac:TaxCategory", code, *rate);
        }
        if (needsUse ? !used : c.Doc.All(lineName).empty())
            return false;
        TDecimal charges;
        TDecimal allowances;
        for (_xmlNode* ac : c.Doc.FromRoot("cac:AllowanceCharge")) {
            for (bool charge : {true, false}) {
                if (!IndicatorIs(ac, charge) || !CategoryHasRate(ac, "cac:TaxCategory", code, *rate))
                    continue;
                for (const QString& v : xq::Values(ac, "cbc:Amount"))
                    (charge ? charges : allowances) += xq::Decimal(v);
            }
        }
        const TDecimal total = lines + charges - allowances;
        if (!total.IsValid())
            throw TEvalError{QStringLiteral("die Summe hat zu viele Stellen")};
        if (taxableTexts.empty())
            return false;
        // "../xs:decimal(cbc:TaxableAmount - 1)": the difference is taken on doubles.
        const double taxable = xq::Double(taxableTexts.front());
        const double expected = total.ToString().toDouble();
        return taxable - 1 < expected && taxable + 1 > expected;
    };
    return branch("cac:InvoiceLine") || branch("cac:CreditNoteLine");
}

// BR-S-09, BR-AF-09, BR-AG-09: the tax amount within 1 of taxable times rate, in decimals.
bool TaxNearRate(const TCtx& c)
{
    const std::optional<TDecimal> percent = OneDecimal(c, "cbc:Percent");
    const std::optional<TDecimal> taxable = OneDecimal(c, "../cbc:TaxableAmount");
    const std::optional<TDecimal> tax = OneDecimal(c, "../cbc:TaxAmount");
    if (!percent || !taxable || !tax)
        return false;
    const TDecimal expected = Round2(taxable->Abs() * percent->Divide(TDecimal::FromInt(100), percent->Scale() + 2));
    const TDecimal t = tax->Abs();
    return t - TDecimal::FromInt(1) < expected && t + TDecimal::FromInt(1) > expected;
}

bool NoExemption(const TCtx& c)
{
    return !c.Has("cbc:TaxExemptionReason") && !c.Has("cbc:TaxExemptionReasonCode");
}

bool HasExemption(const TCtx& c)
{
    return c.Has("cbc:TaxExemptionReason") || c.Has("cbc:TaxExemptionReasonCode");
}

// "xs:decimal(../cbc:TaxAmount) = 0".
bool TaxAmountZero(const TCtx& c)
{
    const std::optional<TDecimal> tax = OneDecimal(c, "../cbc:TaxAmount");
    return tax && tax->IsZero();
}

// "xs:decimal(cbc:Percent) = 0".
bool PercentZero(const TCtx& c)
{
    const std::optional<TDecimal> percent = OneDecimal(c, "cbc:Percent");
    return percent && percent->IsZero();
}

bool PercentPositive(const TCtx& c)
{
    return SomeNumber(c, "cbc:Percent", [](double v) { return v > 0; });
}

bool PercentNotNegative(const TCtx& c)
{
    return SomeNumber(c, "cbc:Percent", [](double v) { return v >= 0; });
}

bool VatCategory(const TCtx& c)
{
    return IsVat(c.Node);
}

bool DocumentAllowance(const TCtx& c)
{
    return IndicatorIs(c.Node, false);
}

bool DocumentCharge(const TCtx& c)
{
    return IndicatorIs(c.Node, true);
}

bool AllowanceParent(const TCtx& c)
{
    return IndicatorIs(xq::ParentElement(c.Node), false) && IsVat(c.Node);
}

bool ChargeParent(const TCtx& c)
{
    return IndicatorIs(xq::ParentElement(c.Node), true) && IsVat(c.Node);
}

bool DateNotBefore(const TCtx& c, const char* later, const char* earlier)
{
    const std::vector<QString> end = c.Vals(later);
    const std::vector<QString> start = c.Vals(earlier);
    if (end.empty() || start.empty())
        return true;
    if (end.size() > 1 || start.size() > 1)
        throw TEvalError{QStringLiteral("mehr als ein Datum, wo die Regel eines erwartet")};
    return xq::Date(end.front()) >= xq::Date(start.front());
}

// BR-CL-08 on a note: a subject code of three characters between the first two # is searched
// in the list as text (so a piece of two codes with the blank between is found too); a note
// without # or with a code of another length passes.
bool NoteSubjectOnList(const QString& note)
{
    if (!note.contains(u'#'))
        return true;
    const QString after = note.mid(note.indexOf(u'#') + 1);
    const qsizetype end = after.indexOf(u'#');
    const QString code = end < 0 ? QString() : after.left(end);
    if (code.size() != 3)
        return true;
    return CodeListText(TCodeList::Untdid4451Note).contains(code);
}

// The rules for one VAT category in the breakdown, the allowances, the charges and the lines.
struct TCategoryRules
{
    const char* Code;
    TRule Breakdown;
    TRule Allowance;
    TRule Charge;
    TRule Line;
};

std::string CategoryContext(const char* base, const char* code)
{
    return std::string(base) + "[cbc:ID='" + code + "']";
}

const char* BreakdownContext(const char* code)
{
    return KeepText(CategoryContext("/ubl:Invoice/cac:TaxTotal/cac:TaxSubtotal/cac:TaxCategory", code) + "|"
                    + CategoryContext("/cn:CreditNote/cac:TaxTotal/cac:TaxSubtotal/cac:TaxCategory", code));
}

const char* AllowanceContext(const char* code)
{
    return KeepText(CategoryContext("cac:AllowanceCharge/cac:TaxCategory", code));
}

const char* LineContext(const char* code)
{
    return KeepText(CategoryContext("cac:InvoiceLine/cac:Item/cac:ClassifiedTaxCategory", code) + "|"
                + CategoryContext("cac:CreditNoteLine/cac:Item/cac:ClassifiedTaxCategory", code));
}

std::vector<TRule> CategoryRules()
{
    std::vector<TRule> rules;
    auto add = [&](const char* code, std::vector<TAssert> breakdown, TAssert allowance, TAssert charge, TAssert line) {
        rules.push_back({BreakdownContext(code), std::move(breakdown), VatCategory});
        rules.push_back({AllowanceContext(code), {allowance}, AllowanceParent});
        rules.push_back({AllowanceContext(code), {charge}, ChargeParent});
        rules.push_back({LineContext(code), {line}, VatCategory});
    };
    add("AE",
        {{"BR-AE-08", F, [](const TCtx& c) { return TaxableIsExactSum(c, "AE"); },
          "Bei Steuerschuldnerschaft des Leistungsempfängers (AE) muss der Nettobetrag der Aufschlüsselung (BT-116) die "
          "Summe der Positionen plus Zuschläge minus Nachlässe dieser Kategorie sein."},
         {"BR-AE-09", F, TaxAmountZero, "Bei Steuerschuldnerschaft des Leistungsempfängers (AE) muss der Steuerbetrag (BT-117) null sein."},
         {"BR-AE-10", F, HasExemption,
          "Bei Steuerschuldnerschaft des Leistungsempfängers (AE) muss ein Befreiungsgrund (BT-120) oder sein Code (BT-121) "
          "stehen."}},
        {"BR-AE-06", F, PercentZero, "Ein Nachlass mit Kategorie AE muss den Steuersatz 0 haben."},
        {"BR-AE-07", F, PercentZero, "Ein Zuschlag mit Kategorie AE muss den Steuersatz 0 haben."},
        {"BR-AE-05", F, PercentZero, "Eine Position mit Kategorie AE muss den Steuersatz 0 haben."});
    add("E",
        {{"BR-E-08", F, [](const TCtx& c) { return TaxableIsExactSum(c, "E"); },
          "Bei steuerbefreiten Umsätzen (E) muss der Nettobetrag der Aufschlüsselung (BT-116) die Summe der Positionen plus "
          "Zuschläge minus Nachlässe dieser Kategorie sein."},
         {"BR-E-09", F, TaxAmountZero, "Bei steuerbefreiten Umsätzen (E) muss der Steuerbetrag (BT-117) null sein."},
         {"BR-E-10", F, HasExemption, "Bei steuerbefreiten Umsätzen (E) muss ein Befreiungsgrund (BT-120) oder sein Code (BT-121) stehen."}},
        {"BR-E-06", F, PercentZero, "Ein Nachlass mit Kategorie E muss den Steuersatz 0 haben."},
        {"BR-E-07", F, PercentZero, "Ein Zuschlag mit Kategorie E muss den Steuersatz 0 haben."},
        {"BR-E-05", F, PercentZero, "Eine Position mit Kategorie E muss den Steuersatz 0 haben."});
    add("G",
        {{"BR-G-08", F, [](const TCtx& c) { return TaxableIsExactSum(c, "G"); },
          "Bei Ausfuhren aus der EU (G) muss der Nettobetrag der Aufschlüsselung (BT-116) die Summe der Positionen plus "
          "Zuschläge minus Nachlässe dieser Kategorie sein."},
         {"BR-G-09", F, TaxAmountZero, "Bei Ausfuhren aus der EU (G) muss der Steuerbetrag (BT-117) null sein."},
         {"BR-G-10", F, HasExemption, "Bei Ausfuhren aus der EU (G) muss ein Befreiungsgrund (BT-120) oder sein Code (BT-121) stehen."}},
        {"BR-G-06", F, PercentZero, "Ein Nachlass mit Kategorie G muss den Steuersatz 0 haben."},
        {"BR-G-07", F, PercentZero, "Ein Zuschlag mit Kategorie G muss den Steuersatz 0 haben."},
        {"BR-G-05", F, PercentZero, "Eine Position mit Kategorie G muss den Steuersatz 0 haben."});
    add("K",
        {{"BR-IC-08", F, [](const TCtx& c) { return TaxableIsExactSum(c, "K"); },
          "Bei innergemeinschaftlichen Lieferungen (K) muss der Nettobetrag der Aufschlüsselung (BT-116) die Summe der "
          "Positionen plus Zuschläge minus Nachlässe dieser Kategorie sein."},
         {"BR-IC-09", F, TaxAmountZero, "Bei innergemeinschaftlichen Lieferungen (K) muss der Steuerbetrag (BT-117) null sein."},
         {"BR-IC-10", F, HasExemption,
          "Bei innergemeinschaftlichen Lieferungen (K) muss ein Befreiungsgrund (BT-120) oder sein Code (BT-121) stehen."}},
        {"BR-IC-06", F, PercentZero, "Ein Nachlass mit Kategorie K muss den Steuersatz 0 haben."},
        {"BR-IC-07", F, PercentZero, "Ein Zuschlag mit Kategorie K muss den Steuersatz 0 haben."},
        {"BR-IC-05", F, PercentZero, "Eine Position mit Kategorie K muss den Steuersatz 0 haben."});
    add("L",
        {{"BR-AF-08", F, [](const TCtx& c) { return TaxableMatchesRate(c, "L", false); },
          "Je Steuersatz der Kategorie IGIC (L) muss der Nettobetrag der Aufschlüsselung (BT-116) der Summe der Positionen "
          "plus Zuschläge minus Nachlässe mit diesem Satz entsprechen."},
         {"BR-AF-09", F, TaxNearRate,
          "Bei IGIC (L) muss der Steuerbetrag (BT-117) Nettobetrag mal Steuersatz sein."},
         {"BR-AF-10", F, NoExemption, "Bei IGIC (L) darf kein Befreiungsgrund (BT-120, BT-121) stehen."}},
        {"BR-AF-06", F, PercentNotNegative, "Ein Nachlass mit Kategorie L braucht einen Steuersatz von 0 oder mehr."},
        {"BR-AF-07", F, PercentNotNegative, "Ein Zuschlag mit Kategorie L braucht einen Steuersatz von 0 oder mehr."},
        {"BR-AF-05", F, PercentNotNegative, "Eine Position mit Kategorie L braucht einen Steuersatz von 0 oder mehr."});
    add("M",
        {{"BR-AG-08", F, [](const TCtx& c) { return TaxableMatchesRate(c, "M", false); },
          "Je Steuersatz der Kategorie IPSI (M) muss der Nettobetrag der Aufschlüsselung (BT-116) der Summe der Positionen "
          "plus Zuschläge minus Nachlässe mit diesem Satz entsprechen."},
         {"BR-AG-09", F, TaxNearRate,
          "Bei IPSI (M) muss der Steuerbetrag (BT-117) Nettobetrag mal Steuersatz sein."},
         {"BR-AG-10", F, NoExemption, "Bei IPSI (M) darf kein Befreiungsgrund (BT-120, BT-121) stehen."}},
        {"BR-AG-06", F, PercentNotNegative, "Ein Nachlass mit Kategorie M braucht einen Steuersatz von 0 oder mehr."},
        {"BR-AG-07", F, PercentNotNegative, "Ein Zuschlag mit Kategorie M braucht einen Steuersatz von 0 oder mehr."},
        {"BR-AG-05", F, PercentNotNegative, "Eine Position mit Kategorie M braucht einen Steuersatz von 0 oder mehr."});
    add("O",
        {{"BR-O-08", F, [](const TCtx& c) { return TaxableIsExactSum(c, "O"); },
          "Bei nicht steuerbaren Umsätzen (O) muss der Nettobetrag der Aufschlüsselung (BT-116) die Summe der Positionen "
          "plus Zuschläge minus Nachlässe dieser Kategorie sein."},
         {"BR-O-09", F, TaxAmountZero, "Bei nicht steuerbaren Umsätzen (O) muss der Steuerbetrag (BT-117) null sein."},
         {"BR-O-10", F, HasExemption,
          "Bei nicht steuerbaren Umsätzen (O) muss ein Befreiungsgrund (BT-120) oder sein Code (BT-121) stehen."}},
        {"BR-O-06", F, [](const TCtx& c) { return !c.Has("cbc:Percent"); }, "Ein Nachlass mit Kategorie O darf keinen Steuersatz haben."},
        {"BR-O-07", F, [](const TCtx& c) { return !c.Has("cbc:Percent"); }, "Ein Zuschlag mit Kategorie O darf keinen Steuersatz haben."},
        {"BR-O-05", F, [](const TCtx& c) { return !c.Has("cbc:Percent"); }, "Eine Position mit Kategorie O darf keinen Steuersatz haben."});
    add("S",
        {{"BR-S-08", F, [](const TCtx& c) { return TaxableMatchesRate(c, "S", true); },
          "Je Steuersatz der Kategorie S muss der Nettobetrag der Aufschlüsselung (BT-116) der Summe der Positionen plus "
          "Zuschläge minus Nachlässe mit diesem Satz entsprechen (auf 1 genau)."},
         {"BR-S-09", F, TaxNearRate,
          "Bei Kategorie S muss der Steuerbetrag (BT-117) Nettobetrag mal Steuersatz sein, auf zwei Stellen gerundet (auf 1 "
          "genau)."},
         {"BR-S-10", F, NoExemption, "Bei Kategorie S darf kein Befreiungsgrund (BT-120, BT-121) stehen."}},
        {"BR-S-06", F, PercentPositive, "Ein Nachlass mit Kategorie S braucht einen Steuersatz über 0."},
        {"BR-S-07", F, PercentPositive, "Ein Zuschlag mit Kategorie S braucht einen Steuersatz über 0."},
        {"BR-S-05", F, PercentPositive, "Eine Position mit Kategorie S braucht einen Steuersatz über 0."});
    add("Z",
        {{"BR-Z-08", F, [](const TCtx& c) { return TaxableIsExactSum(c, "Z"); },
          "Beim Nullsatz (Z) muss der Nettobetrag der Aufschlüsselung (BT-116) die Summe der Positionen plus Zuschläge "
          "minus Nachlässe dieser Kategorie sein."},
         {"BR-Z-09", F, TaxAmountZero, "Beim Nullsatz (Z) muss der Steuerbetrag (BT-117) null sein."},
         {"BR-Z-10", F, NoExemption, "Beim Nullsatz (Z) darf kein Befreiungsgrund (BT-120, BT-121) stehen."}},
        {"BR-Z-06", F, PercentZero, "Ein Nachlass mit Kategorie Z muss den Steuersatz 0 haben."},
        {"BR-Z-07", F, PercentZero, "Ein Zuschlag mit Kategorie Z muss den Steuersatz 0 haben."},
        {"BR-Z-05", F, PercentZero, "Eine Position mit Kategorie Z muss den Steuersatz 0 haben."});
    return rules;
}

TPattern ModelPattern()
{
    TPattern p{"EN 16931: Geschäftsregeln", {}};
    std::vector<TRule>& r = p.Rules;
    r.push_back({"cac:AdditionalDocumentReference",
                 {{"BR-52", F, [](const TCtx& c) { return Filled(c, "cbc:ID"); },
                   "Jede Rechnungsbegründende Unterlage (BG-24) braucht eine Kennung (BT-122)."}}});
    r.push_back({"/ubl:Invoice/cac:LegalMonetaryTotal/cbc:PayableAmount",
                 {{"BR-CO-25", F,
                   [](const TCtx& c) {
                       const double due = xq::Double(c.Text());
                       const bool termsGiven = !c.Doc.All("cbc:DueDate").empty() || PathExists(c, "//cac:PaymentTerms/cbc:Note");
                       return (due > 0 && termsGiven) || due <= 0;
                   },
                   "Ist ein Betrag fällig (BT-115 größer null), muss ein Fälligkeitsdatum (BT-9) oder eine Zahlungsbedingung "
                   "(BT-20) stehen."}}});
    r.push_back({"cac:AccountingCustomerParty/cac:Party/cbc:EndpointID",
                 {{"BR-63", F, [](const TCtx& c) { return c.HasAttr("schemeID"); },
                   "Die elektronische Adresse des Käufers (BT-49) braucht ein Schema (schemeID)."}}});
    r.push_back({"cac:AccountingCustomerParty/cac:Party/cac:PostalAddress",
                 {{"BR-11", F, [](const TCtx& c) { return Filled(c, "cac:Country/cbc:IdentificationCode"); },
                   "Die Anschrift des Käufers braucht einen Ländercode (BT-55)."}}});
    r.push_back({"cac:PaymentMeans/cac:CardAccount/cbc:PrimaryAccountNumberID",
                 {{"BR-51", W, [](const TCtx& c) { return xq::NormalizeSpace(c.Text()).size() <= 10; },
                   "Von der Kartennummer (BT-87) sollen höchstens die ersten sechs und die letzten vier Stellen stehen."}}});
    r.push_back({"cac:Delivery/cac:DeliveryLocation/cac:Address",
                 {{"BR-57", F, [](const TCtx& c) { return c.Has("cac:Country/cbc:IdentificationCode"); },
                   "Die Lieferanschrift (BG-15) braucht einen Ländercode (BT-80)."}}});
    r.push_back({"/ubl:Invoice/cac:AllowanceCharge|/cn:CreditNote/cac:AllowanceCharge",
                 {{"BR-31", F, [](const TCtx& c) { return c.Has("cbc:Amount"); }, "Ein Nachlass auf Dokumentebene (BG-20) braucht einen Betrag (BT-92)."},
                  {"BR-32", F,
                   [](const TCtx& c) {
                       for (_xmlNode* category : c.Sel("cac:TaxCategory")) {
                           if (IsVat(category) && xq::Exists(category, "cbc:ID"))
                               return true;
                       }
                       return false;
                   },
                   "Ein Nachlass auf Dokumentebene (BG-20) braucht eine Umsatzsteuerkategorie (BT-95)."},
                  {"BR-33", F, [](const TCtx& c) { return c.Has("cbc:AllowanceChargeReason") || c.Has("cbc:AllowanceChargeReasonCode"); },
                   "Ein Nachlass auf Dokumentebene (BG-20) braucht einen Grund (BT-97) oder dessen Code (BT-98)."},
                  {"BR-CO-21", F, [](const TCtx& c) { return c.Has("cbc:AllowanceChargeReason") || c.Has("cbc:AllowanceChargeReasonCode"); },
                   "Ein Nachlass auf Dokumentebene (BG-20) braucht einen Grund (BT-97), dessen Code (BT-98) oder beides."},
                  {"BR-DEC-01", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:Amount"); },
                   "Der Betrag eines Nachlasses auf Dokumentebene (BT-92) darf höchstens zwei Nachkommastellen haben."},
                  {"BR-DEC-02", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:BaseAmount"); },
                   "Der Grundbetrag eines Nachlasses auf Dokumentebene (BT-93) darf höchstens zwei Nachkommastellen haben."}},
                 DocumentAllowance});
    r.push_back({"/ubl:Invoice/cac:AllowanceCharge|/cn:CreditNote/cac:AllowanceCharge",
                 {{"BR-36", F, [](const TCtx& c) { return c.Has("cbc:Amount"); }, "Ein Zuschlag auf Dokumentebene (BG-21) braucht einen Betrag (BT-99)."},
                  {"BR-37", F,
                   [](const TCtx& c) {
                       for (_xmlNode* category : c.Sel("cac:TaxCategory")) {
                           if (IsVat(category) && xq::Exists(category, "cbc:ID"))
                               return true;
                       }
                       return false;
                   },
                   "Ein Zuschlag auf Dokumentebene (BG-21) braucht eine Umsatzsteuerkategorie (BT-102)."},
                  {"BR-38", F, [](const TCtx& c) { return c.Has("cbc:AllowanceChargeReason") || c.Has("cbc:AllowanceChargeReasonCode"); },
                   "Ein Zuschlag auf Dokumentebene (BG-21) braucht einen Grund (BT-104) oder dessen Code (BT-105)."},
                  {"BR-CO-22", F, [](const TCtx& c) { return c.Has("cbc:AllowanceChargeReason") || c.Has("cbc:AllowanceChargeReasonCode"); },
                   "Ein Zuschlag auf Dokumentebene (BG-21) braucht einen Grund (BT-104), dessen Code (BT-105) oder beides."},
                  {"BR-DEC-05", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:Amount"); },
                   "Der Betrag eines Zuschlags auf Dokumentebene (BT-99) darf höchstens zwei Nachkommastellen haben."},
                  {"BR-DEC-06", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:BaseAmount"); },
                   "Der Grundbetrag eines Zuschlags auf Dokumentebene (BT-100) darf höchstens zwei Nachkommastellen haben."}},
                 DocumentCharge});
    r.push_back(
        {"cac:LegalMonetaryTotal",
         {{"BR-12", F, [](const TCtx& c) { return c.Has("cbc:LineExtensionAmount"); }, "Die Summe der Nettobeträge der Positionen (BT-106) fehlt."},
          {"BR-13", F, [](const TCtx& c) { return c.Has("cbc:TaxExclusiveAmount"); }, "Der Gesamtbetrag ohne Umsatzsteuer (BT-109) fehlt."},
          {"BR-14", F, [](const TCtx& c) { return c.Has("cbc:TaxInclusiveAmount"); }, "Der Gesamtbetrag mit Umsatzsteuer (BT-112) fehlt."},
          {"BR-15", F, [](const TCtx& c) { return c.Has("cbc:PayableAmount"); }, "Der fällige Betrag (BT-115) fehlt."},
          {"BR-CO-10", F,
           [](const TCtx& c) {
               TDecimal sum;
               for (const char* name : {"cac:InvoiceLine", "cac:CreditNoteLine"})
                   sum += Sum(c.Doc.All(name), "cbc:LineExtensionAmount");
               return Equal(OneDecimal(c, "cbc:LineExtensionAmount"), Round2(sum));
           },
           "Die Summe der Nettobeträge (BT-106) muss die Summe der Nettobeträge aller Positionen (BT-131) sein."},
          {"BR-CO-11", F,
           [](const TCtx& c) {
               std::vector<_xmlNode*> allowances;
               for (_xmlNode* ac : c.Sel("../cac:AllowanceCharge"))
                   if (IndicatorIs(ac, false))
                       allowances.push_back(ac);
               if (!c.Has("cbc:AllowanceTotalAmount") && allowances.empty())
                   return true;
               return Equal(OneDecimal(c, "cbc:AllowanceTotalAmount"), Round2(Sum(allowances, "cbc:Amount")));
           },
           "Die Summe der Nachlässe auf Dokumentebene (BT-107) muss die Summe der einzelnen Nachlässe (BT-92) sein."},
          {"BR-CO-12", F,
           [](const TCtx& c) {
               std::vector<_xmlNode*> charges;
               for (_xmlNode* ac : c.Sel("../cac:AllowanceCharge"))
                   if (IndicatorIs(ac, true))
                       charges.push_back(ac);
               if (!c.Has("cbc:ChargeTotalAmount") && charges.empty())
                   return true;
               return Equal(OneDecimal(c, "cbc:ChargeTotalAmount"), Round2(Sum(charges, "cbc:Amount")));
           },
           "Die Summe der Zuschläge auf Dokumentebene (BT-108) muss die Summe der einzelnen Zuschläge (BT-99) sein."},
          {"BR-CO-13", F,
           [](const TCtx& c) {
               const bool charges = c.Has("cbc:ChargeTotalAmount");
               const bool allowances = c.Has("cbc:AllowanceTotalAmount");
               const std::optional<TDecimal> total = OneDecimal(c, "cbc:TaxExclusiveAmount");
               const std::optional<TDecimal> lines = OneDecimal(c, "cbc:LineExtensionAmount");
               if (!total || !lines)
                   return false;
               TDecimal expected = *lines;
               if (charges)
                   expected += *OneDecimal(c, "cbc:ChargeTotalAmount");
               if (allowances)
                   expected = expected - *OneDecimal(c, "cbc:AllowanceTotalAmount");
               return *total == (charges || allowances ? Round2(expected) : expected);
           },
           "Der Gesamtbetrag ohne Umsatzsteuer (BT-109) muss die Summe der Positionen (BT-106) minus Nachlässe (BT-107) "
           "plus Zuschläge (BT-108) sein."},
          {"BR-CO-16", F,
           [](const TCtx& c) {
               const bool prepaid = c.Has("cbc:PrepaidAmount");
               const bool rounding = c.Has("cbc:PayableRoundingAmount");
               const std::optional<TDecimal> due = OneDecimal(c, "cbc:PayableAmount");
               const std::optional<TDecimal> total = OneDecimal(c, "cbc:TaxInclusiveAmount");
               const std::optional<TDecimal> paid = OneDecimal(c, "cbc:PrepaidAmount");
               const std::optional<TDecimal> round = OneDecimal(c, "cbc:PayableRoundingAmount");
               if (!due || !total)
                   return false;
               if (prepaid && !rounding)
                   return *due == Round2(*total - *paid);
               if (!prepaid && !rounding)
                   return *due == *total;
               if (prepaid && rounding)
                   return Round2(*due - *round) == Round2(*total - *paid);
               return Round2(*due - *round) == *total;
           },
           "Der fällige Betrag (BT-115) muss der Gesamtbetrag mit Umsatzsteuer (BT-112) minus Vorauszahlung (BT-113) plus "
           "Rundung (BT-114) sein."},
          {"BR-DEC-09", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:LineExtensionAmount"); },
           "Die Summe der Nettobeträge (BT-106) darf höchstens zwei Nachkommastellen haben."},
          {"BR-DEC-10", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:AllowanceTotalAmount"); },
           "Die Summe der Nachlässe (BT-107) darf höchstens zwei Nachkommastellen haben."},
          {"BR-DEC-11", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:ChargeTotalAmount"); },
           "Die Summe der Zuschläge (BT-108) darf höchstens zwei Nachkommastellen haben."},
          {"BR-DEC-12", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:TaxExclusiveAmount"); },
           "Der Gesamtbetrag ohne Umsatzsteuer (BT-109) darf höchstens zwei Nachkommastellen haben."},
          {"BR-DEC-14", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:TaxInclusiveAmount"); },
           "Der Gesamtbetrag mit Umsatzsteuer (BT-112) darf höchstens zwei Nachkommastellen haben."},
          {"BR-DEC-16", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:PrepaidAmount"); },
           "Die Vorauszahlung (BT-113) darf höchstens zwei Nachkommastellen haben."},
          {"BR-DEC-17", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:PayableRoundingAmount"); },
           "Der Rundungsbetrag (BT-114) darf höchstens zwei Nachkommastellen haben."},
          {"BR-DEC-18", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:PayableAmount"); },
           "Der fällige Betrag (BT-115) darf höchstens zwei Nachkommastellen haben."}}});

    std::vector<TAssert> root = {
        {"BR-01", F, [](const TCtx& c) { return Filled(c, "cbc:CustomizationID"); }, "Die Kennung des Regelwerks (BT-24) fehlt."},
        {"BR-02", F, [](const TCtx& c) { return Filled(c, "cbc:ID"); }, "Die Rechnungsnummer (BT-1) fehlt."},
        {"BR-03", F, [](const TCtx& c) { return Filled(c, "cbc:IssueDate"); }, "Das Rechnungsdatum (BT-2) fehlt."},
        {"BR-04", F, [](const TCtx& c) { return Filled(c, "cbc:InvoiceTypeCode") || Filled(c, "cbc:CreditNoteTypeCode"); },
         "Der Code der Rechnungsart (BT-3) fehlt."},
        {"BR-05", F, [](const TCtx& c) { return Filled(c, "cbc:DocumentCurrencyCode"); }, "Die Rechnungswährung (BT-5) fehlt."},
        {"BR-06", F, [](const TCtx& c) { return Filled(c, "cac:AccountingSupplierParty/cac:Party/cac:PartyLegalEntity/cbc:RegistrationName"); },
         "Der Name des Verkäufers (BT-27) fehlt."},
        {"BR-07", F, [](const TCtx& c) { return Filled(c, "cac:AccountingCustomerParty/cac:Party/cac:PartyLegalEntity/cbc:RegistrationName"); },
         "Der Name des Käufers (BT-44) fehlt."},
        {"BR-08", F, [](const TCtx& c) { return c.Has("cac:AccountingSupplierParty/cac:Party/cac:PostalAddress"); },
         "Die Anschrift des Verkäufers (BG-5) fehlt."},
        {"BR-10", F, [](const TCtx& c) { return c.Has("cac:AccountingCustomerParty/cac:Party/cac:PostalAddress"); },
         "Die Anschrift des Käufers (BG-8) fehlt."},
        {"BR-16", F, [](const TCtx& c) { return c.Has("cac:InvoiceLine") || c.Has("cac:CreditNoteLine"); },
         "Die Rechnung hat keine Position (BG-25)."},
        {"BR-53", F,
         [](const TCtx& c) {
             for (const QString& currency : c.Vals("cbc:TaxCurrencyCode")) {
                 bool found = false;
                 for (_xmlNode* amount : c.Doc.All("cbc:TaxAmount"))
                     found = found || (xq::Is(xq::ParentElement(amount), "cac:TaxTotal") && xq::AttributeValue(amount, "currencyID") == currency);
                 if (!found)
                     return false;
             }
             return true;
         },
         "Ist eine Steuerwährung (BT-6) angegeben, muss die Umsatzsteuer auch in ihr (BT-111) stehen."},
        {"BR-66", F, [](const TCtx& c) { return c.Count("cac:PaymentMeans/cac:CardAccount") <= 1; },
         "Die Rechnung darf höchstens eine Zahlungskarte (BG-18) nennen."},
        {"BR-AE-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "AE"); },
         "Kommt die Kategorie AE (Steuerschuldnerschaft des Leistungsempfängers) vor, muss es genau eine Aufschlüsselung mit AE geben."},
        {"BR-AE-02", F, [](const TCtx& c) { return LinesNeedIds(c, "AE", TParty::WithBuyerVatOrLegal); },
         "Positionen mit Kategorie AE verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63) und "
         "die Umsatzsteuer-Id oder Registerkennung des Käufers (BT-48, BT-47)."},
        {"BR-AE-03", F, [](const TCtx& c) { return AllowancesNeedIds(c, "AE", false, TParty::WithBuyerVatOrLegal); },
         "Nachlässe mit Kategorie AE verlangen die Kennungen von Verkäufer (BT-31, BT-32, BT-63) und Käufer (BT-48, BT-47)."},
        {"BR-AE-04", F, [](const TCtx& c) { return AllowancesNeedIds(c, "AE", true, TParty::WithBuyerVatOrLegal); },
         "Zuschläge mit Kategorie AE verlangen die Kennungen von Verkäufer (BT-31, BT-32, BT-63) und Käufer (BT-48, BT-47)."},
        {"BR-CO-03", F, [](const TCtx& c) { return !(c.Has("cbc:TaxPointDate") && c.Has("cac:InvoicePeriod/cbc:DescriptionCode")); },
         "Steuerzeitpunkt (BT-7) und sein Code (BT-8) schließen einander aus."},
        {"BR-CO-15", F,
         [](const TCtx& c) {
             for (const QString& currency : c.Vals("cbc:DocumentCurrencyCode")) {
                 std::vector<QString> taxes;
                 for (_xmlNode* total : c.Sel("cac:TaxTotal"))
                     for (_xmlNode* amount : xq::Select(total, "cbc:TaxAmount"))
                         if (xq::AttributeValue(amount, "currencyID") == currency)
                             taxes.push_back(xq::StringValue(amount));
                 if (taxes.size() > 1)
                     throw TEvalError{QStringLiteral("mehr als eine Umsatzsteuersumme in Rechnungswährung")};
                 const std::optional<TDecimal> with = OneDecimal(c, "cac:LegalMonetaryTotal/cbc:TaxInclusiveAmount");
                 const std::optional<TDecimal> without = OneDecimal(c, "cac:LegalMonetaryTotal/cbc:TaxExclusiveAmount");
                 if (taxes.empty() || !with || !without || *with != Round2(*without + xq::Decimal(taxes.front())))
                     return false;
             }
             return true;
         },
         "Der Gesamtbetrag mit Umsatzsteuer (BT-112) muss der Betrag ohne Umsatzsteuer (BT-109) plus die Umsatzsteuer "
         "(BT-110) sein."},
        {"BR-CO-18", F, [](const TCtx& c) { return c.Has("cac:TaxTotal/cac:TaxSubtotal"); },
         "Die Rechnung braucht mindestens eine Umsatzsteueraufschlüsselung (BG-23)."},
        {"BR-E-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "E"); },
         "Kommt die Kategorie E (steuerbefreit) vor, muss es genau eine Aufschlüsselung mit E geben."},
        {"BR-E-02", F, [](const TCtx& c) { return LinesNeedIds(c, "E", TParty::SellerAnyOrRepresentative); },
         "Positionen mit Kategorie E verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-E-03", F, [](const TCtx& c) { return AllowancesNeedIds(c, "E", false, TParty::SellerAnyOrRepresentative); },
         "Nachlässe mit Kategorie E verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-E-04", F, [](const TCtx& c) { return AllowancesNeedIds(c, "E", true, TParty::SellerAnyOrRepresentative); },
         "Zuschläge mit Kategorie E verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-G-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "G"); },
         "Kommt die Kategorie G (Ausfuhr) vor, muss es genau eine Aufschlüsselung mit G geben."},
        {"BR-G-02", F, [](const TCtx& c) { return LinesNeedIds(c, "G", TParty::SellerVatOrRepresentative); },
         "Positionen mit Kategorie G verlangen die Umsatzsteuer-Id des Verkäufers oder seines Vertreters (BT-31, BT-63)."},
        {"BR-G-03", F, [](const TCtx& c) { return AllowancesNeedIds(c, "G", false, TParty::SellerVatOrRepresentative, false); },
         "Nachlässe mit Kategorie G verlangen die Umsatzsteuer-Id des Verkäufers oder seines Vertreters (BT-31, BT-63)."},
        {"BR-G-04", F, [](const TCtx& c) { return AllowancesNeedIds(c, "G", true, TParty::SellerVatOrRepresentative, false); },
         "Zuschläge mit Kategorie G verlangen die Umsatzsteuer-Id des Verkäufers oder seines Vertreters (BT-31, BT-63)."},
        {"BR-IC-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "K"); },
         "Kommt die Kategorie K (innergemeinschaftliche Lieferung) vor, muss es genau eine Aufschlüsselung mit K geben."},
        {"BR-IC-02", F, [](const TCtx& c) { return LinesNeedIds(c, "K", TParty::WithBuyerVat); },
         "Positionen mit Kategorie K verlangen die Umsatzsteuer-Id des Verkäufers oder Vertreters (BT-31, BT-63) und die des "
         "Käufers (BT-48)."},
        {"BR-IC-03", F, [](const TCtx& c) { return AllowancesNeedIds(c, "K", false, TParty::WithBuyerVat); },
         "Nachlässe mit Kategorie K verlangen die Umsatzsteuer-Ids von Verkäufer (BT-31, BT-63) und Käufer (BT-48)."},
        {"BR-IC-04", F, [](const TCtx& c) { return AllowancesNeedIds(c, "K", true, TParty::WithBuyerVat); },
         "Zuschläge mit Kategorie K verlangen die Umsatzsteuer-Ids von Verkäufer (BT-31, BT-63) und Käufer (BT-48)."},
        {"BR-IC-11", F,
         [](const TCtx& c) {
             if (CountCategories(Breakdown(c), "K", true) == 0)
                 return true;
             const std::vector<QString> dates = c.Vals("cac:Delivery/cbc:ActualDeliveryDate");
             if (dates.size() > 1)
                 throw TEvalError{QStringLiteral("mehr als ein Lieferdatum")};
             // exists(cac:InvoicePeriod/*): a period with anything in it.
             for (_xmlNode* period : c.Sel("cac:InvoicePeriod"))
                 if (xq::HasChildElements(period))
                     return true;
             return !dates.empty() && dates.front().size() > 1;
         },
         "Bei innergemeinschaftlicher Lieferung (K) muss das Lieferdatum (BT-72) oder der Rechnungszeitraum (BG-14) stehen."},
        {"BR-IC-12", F,
         [](const TCtx& c) {
             if (CountCategories(Breakdown(c), "K", true) == 0)
                 return true;
             const std::vector<QString> codes = c.Vals("cac:Delivery/cac:DeliveryLocation/cac:Address/cac:Country/cbc:IdentificationCode");
             if (codes.size() > 1)
                 throw TEvalError{QStringLiteral("mehr als ein Lieferland")};
             return !codes.empty() && codes.front().size() > 1;
         },
         "Bei innergemeinschaftlicher Lieferung (K) muss das Land der Lieferanschrift (BT-80) stehen."},
        {"BR-AF-01", F,
         [](const TCtx& c) {
             const int used = CountCategories(AllowanceChargeCategories(c), "L", true) + CountCategories(c.Doc.All("cac:ClassifiedTaxCategory"), "L", true);
             if (used > 0)
                 return CountCategories(Breakdown(c), "L", false, false) > 0;
             return CountCategories(Breakdown(c), "L", true) == 0;
         },
         "Kommt die Kategorie L (IGIC) vor, muss es mindestens eine Aufschlüsselung mit L geben."},
        {"BR-AF-02", F, [](const TCtx& c) { return LinesNeedIds(c, "L", TParty::SellerAnyOrRepresentative); },
         "Positionen mit Kategorie L verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-AF-03", F, [](const TCtx& c) { return AllowancesNeedIds(c, "L", false, TParty::SellerAnyOrRepresentative); },
         "Nachlässe mit Kategorie L verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-AF-04", F, [](const TCtx& c) { return AllowancesNeedIds(c, "L", true, TParty::SellerAnyOrRepresentative, true, false); },
         "Zuschläge mit Kategorie L verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-AG-01", F,
         [](const TCtx& c) {
             const int used = CountCategories(AllowanceChargeCategories(c), "M", true) + CountCategories(c.Doc.All("cac:ClassifiedTaxCategory"), "M", true);
             if (used > 0)
                 return CountCategories(Breakdown(c), "M", true, false) > 0;
             return CountCategories(Breakdown(c), "M", true) == 0;
         },
         "Kommt die Kategorie M (IPSI) vor, muss es mindestens eine Aufschlüsselung mit M geben."},
        {"BR-AG-02", F, [](const TCtx& c) { return LinesNeedIds(c, "M", TParty::SellerAnyOrRepresentative); },
         "Positionen mit Kategorie M verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-AG-03", F, [](const TCtx& c) { return AllowancesNeedIds(c, "M", false, TParty::SellerAnyOrRepresentative); },
         "Nachlässe mit Kategorie M verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-AG-04", F, [](const TCtx& c) { return AllowancesNeedIds(c, "M", true, TParty::SellerAnyOrRepresentative); },
         "Zuschläge mit Kategorie M verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-O-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "O"); },
         "Kommt die Kategorie O (nicht steuerbar) vor, muss es genau eine Aufschlüsselung mit O geben."},
        {"BR-O-02", F,
         [](const TCtx& c) {
             const bool used = CountCategories(c.Doc.All("cac:ClassifiedTaxCategory"), "O", true) > 0;
             return !used || (!SellerVatId(c) && !RepresentativeVatId(c) && !BuyerVatId(c));
         },
         "Positionen mit Kategorie O schließen Umsatzsteuer-Ids von Verkäufer, Vertreter und Käufer (BT-31, BT-63, BT-48) aus."},
        {"BR-O-03", F,
         [](const TCtx& c) {
             const bool used = CountCategories(AllowanceCategories(c, false, TScope::RootOnly), "O", true) > 0;
             return !used || (!SellerVatId(c) && !RepresentativeVatId(c) && !BuyerVatId(c));
         },
         "Nachlässe mit Kategorie O schließen Umsatzsteuer-Ids von Verkäufer, Vertreter und Käufer (BT-31, BT-63, BT-48) aus."},
        {"BR-O-04", F,
         [](const TCtx& c) {
             const bool used = CountCategories(AllowanceCategories(c, true, TScope::RootOnly), "O", true) > 0;
             return !used || (!SellerVatId(c) && !RepresentativeVatId(c) && !BuyerVatId(c));
         },
         "Zuschläge mit Kategorie O schließen Umsatzsteuer-Ids von Verkäufer, Vertreter und Käufer (BT-31, BT-63, BT-48) aus."},
        {"BR-O-11", F,
         [](const TCtx& c) {
             const std::vector<_xmlNode*> breakdown = Breakdown(c);
             if (CountCategories(breakdown, "O", true) == 0)
                 return true;
             for (_xmlNode* category : breakdown)
                 if (IsVat(category) && OtherThan(category, "O"))
                     return false;
             return true;
         },
         "Gibt es eine Aufschlüsselung mit Kategorie O, darf es keine andere geben."},
        {"BR-O-12", F,
         [](const TCtx& c) {
             if (CountCategories(Breakdown(c), "O", true) == 0)
                 return true;
             for (_xmlNode* category : c.Doc.All("cac:ClassifiedTaxCategory"))
                 if (IsVat(category) && OtherThan(category, "O"))
                     return false;
             return true;
         },
         "Gibt es eine Aufschlüsselung mit Kategorie O, dürfen Positionen keine andere Kategorie haben."},
        {"BR-O-13", F,
         [](const TCtx& c) {
             if (CountCategories(Breakdown(c), "O", true) == 0)
                 return true;
             for (_xmlNode* category : AllowanceCategories(c, false, TScope::Anywhere))
                 if (IsVat(category) && OtherThan(category, "O"))
                     return false;
             return true;
         },
         "Gibt es eine Aufschlüsselung mit Kategorie O, dürfen Nachlässe keine andere Kategorie haben."},
        {"BR-O-14", F,
         [](const TCtx& c) {
             if (CountCategories(Breakdown(c), "O", true) == 0)
                 return true;
             for (_xmlNode* category : AllowanceCategories(c, true, TScope::Anywhere))
                 if (IsVat(category) && OtherThan(category, "O"))
                     return false;
             return true;
         },
         "Gibt es eine Aufschlüsselung mit Kategorie O, dürfen Zuschläge keine andere Kategorie haben."},
        {"BR-S-01", F,
         [](const TCtx& c) {
             const int used = CountCategories(AllowanceChargeCategories(c), "S", false) + CountCategories(c.Doc.All("cac:ClassifiedTaxCategory"), "S", false);
             const int inBreakdown = CountCategories(Breakdown(c), "S", false);
             return (used > 0 && inBreakdown > 0) || (used == 0 && inBreakdown == 0);
         },
         "Kommt die Kategorie S (Regelsatz) vor, muss es mindestens eine Aufschlüsselung mit S geben, und nur dann."},
        {"BR-S-02", F,
         [](const TCtx& c) {
             const bool used = CountCategories(c.Doc.All("cac:ClassifiedTaxCategory"), "S", true) > 0;
             const bool usedAtAll = CountCategories(c.Doc.All("cac:ClassifiedTaxCategory"), "S", false) > 0;
             return (used && (SellerAnyTaxId(c) || RepresentativeVatId(c))) || !usedAtAll;
         },
         "Positionen mit Kategorie S verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-S-03", F, [](const TCtx& c) { return AllowancesNeedIds(c, "S", false, TParty::SellerAnyOrRepresentative); },
         "Nachlässe mit Kategorie S verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-S-04", F, [](const TCtx& c) { return AllowancesNeedIds(c, "S", true, TParty::SellerAnyOrRepresentative); },
         "Zuschläge mit Kategorie S verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-Z-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "Z"); },
         "Kommt die Kategorie Z (Nullsatz) vor, muss es genau eine Aufschlüsselung mit Z geben."},
        {"BR-Z-02", F, [](const TCtx& c) { return LinesNeedIds(c, "Z", TParty::SellerAnyOrRepresentative); },
         "Positionen mit Kategorie Z verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-Z-03", F, [](const TCtx& c) { return AllowancesNeedIds(c, "Z", false, TParty::SellerAnyOrRepresentative); },
         "Nachlässe mit Kategorie Z verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-Z-04", F, [](const TCtx& c) { return AllowancesNeedIds(c, "Z", true, TParty::SellerAnyOrRepresentative); },
         "Zuschläge mit Kategorie Z verlangen die Umsatzsteuer-Id oder Steuernummer des Verkäufers (BT-31, BT-32, BT-63)."},
        {"BR-B-01", F,
         [](const TCtx& c) {
             const bool split = AnyCategoryIs(c.Doc.All("cac:TaxCategory"), "B") || AnyCategoryIs(c.Doc.All("cac:ClassifiedTaxCategory"), "B");
             if (!split)
                 return true;
             for (_xmlNode* code : c.Doc.All("cbc:IdentificationCode"))
                 if (xq::StringValue(code) != u"IT")
                     return false;
             return true;
         },
         "Eine Rechnung mit Split Payment (B) muss eine italienische Inlandsrechnung sein."},
        {"BR-B-02", F,
         [](const TCtx& c) {
             const std::vector<_xmlNode*>& lines = c.Doc.All("cac:ClassifiedTaxCategory");
             const bool split = AnyCategoryIs(c.Sel("cac:TaxTotal/cac:TaxSubtotal/cac:TaxCategory"), "B")
                 || AnyCategoryIs(c.Sel("cac:AllowanceCharge/cac:TaxCategory"), "B") || AnyCategoryIs(lines, "B");
             const bool standard = AnyCategoryIs(c.Sel("cac:AllowanceCharge/cac:TaxCategory"), "S") || AnyCategoryIs(lines, "S");
             return !split || !standard;
         },
         "Eine Rechnung mit Split Payment (B) darf keine Beträge zum Standardsatz (S) enthalten."},
    };
    r.push_back({UBL_ROOTS, root});

    r.push_back(
        {"cac:InvoiceLine|cac:CreditNoteLine",
         {{"BR-21", F, [](const TCtx& c) { return Filled(c, "cbc:ID"); }, "Die Position hat keine Kennung (BT-126)."},
          {"BR-22", F, [](const TCtx& c) { return c.Has("cbc:InvoicedQuantity") || c.Has("cbc:CreditedQuantity"); },
           "Die Position hat keine Menge (BT-129)."},
          {"BR-23", F, [](const TCtx& c) { return c.Has("cbc:InvoicedQuantity/@unitCode") || c.Has("cbc:CreditedQuantity/@unitCode"); },
           "Die Menge der Position hat keine Einheit (BT-130)."},
          {"BR-24", F, [](const TCtx& c) { return c.Has("cbc:LineExtensionAmount"); }, "Die Position hat keinen Nettobetrag (BT-131)."},
          {"BR-25", F, [](const TCtx& c) { return Filled(c, "cac:Item/cbc:Name"); }, "Die Position hat keine Artikelbezeichnung (BT-153)."},
          {"BR-26", F, [](const TCtx& c) { return c.Has("cac:Price/cbc:PriceAmount"); }, "Die Position hat keinen Nettopreis (BT-146)."},
          {"BR-27", F, [](const TCtx& c) { return SomeNumber(c, "cac:Price/cbc:PriceAmount", [](double v) { return v >= 0; }); },
           "Der Nettopreis der Position (BT-146) darf nicht negativ sein."},
          {"BR-28", F,
           [](const TCtx& c) {
               return !c.Has("cac:Price/cac:AllowanceCharge/cbc:BaseAmount")
                   || SomeNumber(c, "cac:Price/cac:AllowanceCharge/cbc:BaseAmount", [](double v) { return v >= 0; });
           },
           "Der Bruttopreis der Position (BT-148) darf nicht negativ sein."},
          {"BR-CO-04", F,
           [](const TCtx& c) {
               for (_xmlNode* category : c.Sel("cac:Item/cac:ClassifiedTaxCategory"))
                   if (IsVat(category) && xq::Exists(category, "cbc:ID"))
                       return true;
               return false;
           },
           "Die Position hat keine Umsatzsteuerkategorie (BT-151)."},
          {"BR-DEC-23", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:LineExtensionAmount"); },
           "Der Nettobetrag der Position (BT-131) darf höchstens zwei Nachkommastellen haben."}}});
    const char* lineCharges = "cac:InvoiceLine/cac:AllowanceCharge|cac:CreditNoteLine/cac:AllowanceCharge";
    r.push_back({lineCharges,
                 {{"BR-41", F, [](const TCtx& c) { return c.Has("cbc:Amount"); }, "Ein Nachlass der Position (BG-27) braucht einen Betrag (BT-136)."},
                  {"BR-42", F, [](const TCtx& c) { return c.Has("cbc:AllowanceChargeReason") || c.Has("cbc:AllowanceChargeReasonCode"); },
                   "Ein Nachlass der Position (BG-27) braucht einen Grund (BT-139) oder dessen Code (BT-140)."},
                  {"BR-CO-23", F, [](const TCtx& c) { return c.Has("cbc:AllowanceChargeReason") || c.Has("cbc:AllowanceChargeReasonCode"); },
                   "Ein Nachlass der Position (BG-27) braucht einen Grund (BT-139), dessen Code (BT-140) oder beides."},
                  {"BR-DEC-24", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:Amount"); },
                   "Der Betrag eines Nachlasses der Position (BT-136) darf höchstens zwei Nachkommastellen haben."},
                  {"BR-DEC-25", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:BaseAmount"); },
                   "Der Grundbetrag eines Nachlasses der Position (BT-137) darf höchstens zwei Nachkommastellen haben."}},
                 DocumentAllowance});
    r.push_back({lineCharges,
                 {{"BR-43", F, [](const TCtx& c) { return c.Has("cbc:Amount"); }, "Ein Zuschlag der Position (BG-28) braucht einen Betrag (BT-141)."},
                  {"BR-44", F, [](const TCtx& c) { return c.Has("cbc:AllowanceChargeReason") || c.Has("cbc:AllowanceChargeReasonCode"); },
                   "Ein Zuschlag der Position (BG-28) braucht einen Grund (BT-144) oder dessen Code (BT-145)."},
                  {"BR-CO-24", F, [](const TCtx& c) { return c.Has("cbc:AllowanceChargeReason") || c.Has("cbc:AllowanceChargeReasonCode"); },
                   "Ein Zuschlag der Position (BG-28) braucht einen Grund (BT-144), dessen Code (BT-145) oder beides."},
                  {"BR-DEC-27", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:Amount"); },
                   "Der Betrag eines Zuschlags der Position (BT-141) darf höchstens zwei Nachkommastellen haben."},
                  {"BR-DEC-28", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:BaseAmount"); },
                   "Der Grundbetrag eines Zuschlags der Position (BT-142) darf höchstens zwei Nachkommastellen haben."}},
                 DocumentCharge});
    r.push_back({"cac:InvoiceLine/cac:InvoicePeriod|cac:CreditNoteLine/cac:InvoicePeriod",
                 {{"BR-30", F, [](const TCtx& c) { return DateNotBefore(c, "cbc:EndDate", "cbc:StartDate"); },
                   "Das Ende des Leistungszeitraums der Position (BT-135) darf nicht vor seinem Beginn (BT-134) liegen."},
                  {"BR-CO-20", F, [](const TCtx& c) { return c.Has("cbc:StartDate") || c.Has("cbc:EndDate"); },
                   "Ein Leistungszeitraum der Position (BG-26) braucht einen Beginn (BT-134) oder ein Ende (BT-135)."}}});
    r.push_back({"cac:InvoicePeriod",
                 {{"BR-29", F, [](const TCtx& c) { return DateNotBefore(c, "cbc:EndDate", "cbc:StartDate"); },
                   "Das Ende des Rechnungszeitraums (BT-74) darf nicht vor seinem Beginn (BT-73) liegen."},
                  {"BR-CO-19", F, [](const TCtx& c) { return c.Has("cbc:StartDate") || c.Has("cbc:EndDate") || c.Has("cbc:DescriptionCode"); },
                   "Ein Rechnungszeitraum (BG-14) braucht einen Beginn (BT-73) oder ein Ende (BT-74)."}}});
    r.push_back({"cac:AdditionalItemProperty",
                 {{"BR-54", F, [](const TCtx& c) { return c.Has("cbc:Name") && c.Has("cbc:Value"); },
                   "Ein Artikelmerkmal (BG-32) braucht einen Namen (BT-160) und einen Wert (BT-161)."}}});
    r.push_back({"cac:InvoiceLine/cac:Item/cac:CommodityClassification/cbc:ItemClassificationCode|"
                 "cac:CreditNoteLine/cac:Item/cac:CommodityClassification/cbc:ItemClassificationCode",
                 {{"BR-65", F, [](const TCtx& c) { return c.HasAttr("listID"); },
                   "Die Artikelklassifizierung (BT-158) braucht ein Schema (listID)."}}});
    r.push_back({"cac:InvoiceLine/cac:Item/cac:StandardItemIdentification/cbc:ID|"
                 "cac:CreditNoteLine/cac:Item/cac:StandardItemIdentification/cbc:ID",
                 {{"BR-64", F, [](const TCtx& c) { return c.HasAttr("schemeID"); },
                   "Die Standardkennung des Artikels (BT-157) braucht ein Schema (schemeID)."}}});
    r.push_back({"/ubl:Invoice/cbc:Note|/cn:CreditNote/cbc:Note",
                 {{"BR-CL-08", F, [](const TCtx& c) { return NoteSubjectOnList(c.Text()); },
                   "Der Betreffcode einer Bemerkung (zwischen den ersten beiden #) soll aus UNTDID 4451 stammen."}}});
    r.push_back(
        {"cac:PayeeParty",
         {{"BR-17", F,
           [](const TCtx& c) {
               auto anyEqual = [&](const char* mine, const char* sellers) {
                   const std::vector<QString> a = c.Vals(mine);
                   const std::vector<QString> b = c.Vals(sellers);
                   for (const QString& x : a)
                       if (std::find(b.begin(), b.end(), x) != b.end())
                           return true;
                   return false;
               };
               return c.Has("cac:PartyName/cbc:Name")
                   && !anyEqual("cac:PartyName/cbc:Name", "../cac:AccountingSupplierParty/cac:Party/cac:PartyName/cbc:Name")
                   && !anyEqual("cac:PartyIdentification/cbc:ID", "../cac:AccountingSupplierParty/cac:Party/cac:PartyIdentification/cbc:ID");
           },
           "Ein abweichender Zahlungsempfänger (BG-10) braucht einen Namen (BT-59) und muss sich vom Verkäufer unterscheiden."}}});
    r.push_back({"cac:PaymentMeans[cbc:PaymentMeansCode=='30']/cac:PayeeFinancialAccount|"
                 "cac:PaymentMeans[cbc:PaymentMeansCode=='58']/cac:PayeeFinancialAccount",
                 {{"BR-50", F, [](const TCtx& c) { return Filled(c, "cbc:ID"); },
                   "Zu einer Überweisung (BG-17) fehlt die Kontonummer (BT-84)."}}});
    r.push_back({"cac:PaymentMeans",
                 {{"BR-49", F, [](const TCtx& c) { return c.Has("cbc:PaymentMeansCode"); }, "Die Zahlungsanweisung (BG-16) hat keinen Code der Zahlungsart (BT-81)."},
                  {"BR-61", F,
                   [](const TCtx& c) {
                       const QString code = c.Norm("cbc:PaymentMeansCode");
                       const bool transfer = code == u"30" || code == u"58";
                       return (c.Has("cac:PayeeFinancialAccount/cbc:ID") && transfer) || !transfer;
                   },
                   "Bei einer Überweisung (Code 30 oder 58) muss die Kontonummer (BT-84) stehen."},
                  // One mandate per payment means; over repeated payment means the syntax's
                  // own count (UBL-SR-55) says it.
                  {"BR-67", F, [](const TCtx& c) { return c.Count("cac:PaymentMandate") <= 1; },
                   "Die Rechnung darf höchstens ein Lastschriftmandat (BG-19) nennen."}}});
    r.push_back({"cac:BillingReference",
                 {{"BR-55", F, [](const TCtx& c) { return c.Has("cac:InvoiceDocumentReference/cbc:ID"); },
                   "Ein Verweis auf eine frühere Rechnung (BG-3) braucht deren Nummer (BT-25)."}}});
    r.push_back({"cac:AccountingSupplierParty",
                 {{"BR-CO-26", F,
                   [](const TCtx& c) {
                       for (_xmlNode* scheme : c.Sel("cac:Party/cac:PartyTaxScheme"))
                           if (IsVat(scheme) && xq::Exists(scheme, "cbc:CompanyID"))
                               return true;
                       return c.Has("cac:Party/cac:PartyIdentification/cbc:ID") || c.Has("cac:Party/cac:PartyLegalEntity/cbc:CompanyID");
                   },
                   "Der Verkäufer braucht eine Kennung (BT-29), eine Registerkennung (BT-30) oder eine Umsatzsteuer-Id (BT-31)."}}});
    r.push_back({"cac:AccountingSupplierParty/cac:Party/cbc:EndpointID",
                 {{"BR-62", F, [](const TCtx& c) { return c.HasAttr("schemeID"); },
                   "Die elektronische Adresse des Verkäufers (BT-34) braucht ein Schema (schemeID)."}}});
    r.push_back({"cac:AccountingSupplierParty/cac:Party/cac:PostalAddress",
                 {{"BR-09", F, [](const TCtx& c) { return Filled(c, "cac:Country/cbc:IdentificationCode"); },
                   "Die Anschrift des Verkäufers braucht einen Ländercode (BT-40)."}}});
    r.push_back({"cac:TaxRepresentativeParty",
                 {{"BR-18", F, [](const TCtx& c) { return Filled(c, "cac:PartyName/cbc:Name"); }, "Der Steuervertreter hat keinen Namen (BT-62)."},
                  {"BR-19", F, [](const TCtx& c) { return c.Has("cac:PostalAddress"); }, "Der Steuervertreter hat keine Anschrift (BG-12)."},
                  {"BR-56", F,
                   [](const TCtx& c) {
                       for (_xmlNode* scheme : c.Sel("cac:PartyTaxScheme"))
                           if (IsVat(scheme) && xq::Exists(scheme, "cbc:CompanyID"))
                               return true;
                       return false;
                   },
                   "Der Steuervertreter hat keine Umsatzsteuer-Id (BT-63)."}}});
    r.push_back({"cac:TaxRepresentativeParty/cac:PostalAddress",
                 {{"BR-20", F, [](const TCtx& c) { return Filled(c, "cac:Country/cbc:IdentificationCode"); },
                   "Die Anschrift des Steuervertreters braucht einen Ländercode (BT-69)."}}});
    r.push_back({"/ubl:Invoice/cac:TaxTotal|/cn:CreditNote/cac:TaxTotal",
                 {{"BR-CO-14", F,
                   [](const TCtx& c) {
                       if (!c.Has("cac:TaxSubtotal"))
                           return true;
                       return Equal(OneDecimal(c, "cbc:TaxAmount"), Round2(DecimalSum(c, "cac:TaxSubtotal/cbc:TaxAmount")));
                   },
                   "Die Umsatzsteuer der Rechnung (BT-110) muss die Summe der Steuerbeträge der Aufschlüsselung (BT-117) sein."}}});
    r.push_back(
        {"cac:TaxTotal/cac:TaxSubtotal",
         {{"BR-45", F, [](const TCtx& c) { return c.Has("cbc:TaxableAmount"); }, "Die Aufschlüsselung hat keinen Nettobetrag (BT-116)."},
          {"BR-46", F, [](const TCtx& c) { return c.Has("cbc:TaxAmount"); }, "Die Aufschlüsselung hat keinen Steuerbetrag (BT-117)."},
          {"BR-47", F,
           [](const TCtx& c) {
               for (_xmlNode* category : c.Sel("cac:TaxCategory"))
                   if (IsVat(category) && xq::Exists(category, "cbc:ID"))
                       return true;
               return false;
           },
           "Die Aufschlüsselung hat keine Umsatzsteuerkategorie (BT-118)."},
          {"BR-48", F,
           [](const TCtx& c) {
               for (_xmlNode* category : c.Sel("cac:TaxCategory"))
                   if (IsVat(category) && (xq::Exists(category, "cbc:Percent") || IdIs(category, "O")))
                       return true;
               return false;
           },
           "Die Aufschlüsselung hat keinen Steuersatz (BT-119), obwohl die Kategorie nicht O ist."},
          {"BR-CO-17", F,
           [](const TCtx& c) {
               std::vector<QString> percents;
               for (_xmlNode* category : c.Sel("cac:TaxCategory"))
                   if (IsVat(category))
                       for (const QString& p : xq::Values(category, "cbc:Percent"))
                           percents.push_back(p);
               if (percents.size() > 1)
                   throw TEvalError{QStringLiteral("mehr als ein Steuersatz")};
               const std::optional<TDecimal> tax = OneDecimal(c, "cbc:TaxAmount");
               if (percents.empty())
                   return tax && tax->RoundHalfUp(0).IsZero();
               const TDecimal percent = xq::Decimal(percents.front());
               const bool zeroRate = percent.RoundHalfUp(0).IsZero();
               if (zeroRate)
                   return tax && tax->RoundHalfUp(0).IsZero();
               const std::optional<TDecimal> taxable = OneDecimal(c, "cbc:TaxableAmount");
               if (!tax || !taxable)
                   return false;
               const TDecimal expected = Round2(taxable->Abs() * percent.Divide(TDecimal::FromInt(100), 18));
               const TDecimal one = TDecimal::FromInt(1);
               return tax->Abs() - one < expected && tax->Abs() + one > expected;
           },
           "Der Steuerbetrag der Aufschlüsselung (BT-117) muss Nettobetrag (BT-116) mal Steuersatz (BT-119) durch 100 sein, "
           "auf zwei Stellen gerundet (auf 1 genau)."},
          {"BR-DEC-19", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:TaxableAmount"); },
           "Der Nettobetrag der Aufschlüsselung (BT-116) darf höchstens zwei Nachkommastellen haben."},
          {"BR-DEC-20", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:TaxAmount"); },
           "Der Steuerbetrag der Aufschlüsselung (BT-117) darf höchstens zwei Nachkommastellen haben."}}});
    r.push_back({"cac:PartyTaxScheme",
                 {{"BR-CO-09", F,
                   [](const TCtx& c) {
                       const std::vector<QString> ids = c.Vals("cbc:CompanyID");
                       if (ids.size() > 1)
                           throw TEvalError{QStringLiteral("mehr als eine Steuernummer in einem Steuerschema")};
                       const QString prefix = ids.empty() ? QString() : ids.front().left(2);
                       // The list as the rule writes it, " 1A AD ... ZW ", searched for the two
                       // characters as text.
                       return CodeListText(TCodeList::VatPrefixes).contains(prefix);
                   },
                   "Die Umsatzsteuer-Id (BT-31, BT-48, BT-63) muss mit dem Ländercode nach ISO 3166-1 beginnen (Griechenland: EL)."}},
                 VatCategory});
    for (TRule& rule : CategoryRules())
        r.push_back(std::move(rule));
    return p;
}

// ---- The syntax rules -------------------------------------------------------------------------

// The elements a UBL invoice should not carry (UBL-CR-001 ...): numbered paths from the
// root element, in groups that the rule set repeats for several parents.
std::vector<std::pair<int, std::string>> NotInInvoice()
{
    std::vector<std::pair<int, std::string>> list;
    int next = 1;
    auto add = [&](const std::string& path) { list.emplace_back(next++, path); };
    auto at = [&](int number) { next = number; };
    auto each = [&](const std::string& parent, std::initializer_list<const char*> children) {
        for (const char* c : children)
            add(parent + c);
    };
    const std::initializer_list<const char*> kDocumentReference = {
        "cbc:CopyIndicator", "cbc:UUID",     "cbc:IssueDate",         "cbc:IssueTime",        "cbc:DocumentTypeCode", "cbc:DocumentType",
        "cbc:XPath",         "cbc:LanguageID", "cbc:LocaleCode",      "cbc:VersionID",        "cbc:DocumentStatusCode", "cbc:DocumentDescription",
        "cac:Attachment",    "cac:ValidityPeriod", "cac:IssuerParty", "cac:ResultOfVerification"};
    const std::initializer_list<const char*> kAddress = {
        "cbc:ID", "cbc:AddressTypeCode", "cbc:AddressFormatCode", "cbc:Postbox", "cbc:Floor", "cbc:Room", "cbc:BlockName",
        "cbc:BuildingName", "cbc:BuildingNumber", "cbc:InhouseMail", "cbc:Department", "cbc:MarkAttention", "cbc:MarkCare",
        "cbc:PlotIdentification", "cbc:CitySubdivisionName", "cbc:CountrySubentityCode", "cbc:Region", "cbc:District",
        "cbc:TimezoneOffset", "cac:Country/cbc:Name", "cac:LocationCoordinate"};
    const std::initializer_list<const char*> kTaxScheme = {
        "cbc:RegistrationName", "cbc:TaxLevelCode", "cbc:ExemptionReasonCode", "cbc:ExemptionReason", "cac:RegistrationAddress",
        "cac:TaxScheme/cbc:Name", "cac:TaxScheme/cbc:TaxTypeCode", "cac:TaxScheme/cbc:CurrencyCode", "cac:TaxScheme/cac:JurisdictionRegionAddress"};
    auto party = [&](const std::string& p, bool legalForm) {
        each(p, {"cbc:MarkCareIndicator", "cbc:MarkAttentionIndicator", "cbc:WebsiteURI", "cbc:LogoReferenceID",
                 "cbc:IndustryClassificationCode", "cac:Language"});
        each(p + "cac:PostalAddress/", kAddress);
        add(p + "cac:PhysicalLocation");
        each(p + "cac:PartyTaxScheme/", kTaxScheme);
        each(p + "cac:PartyLegalEntity/", {"cbc:RegistrationDate", "cbc:RegistrationExpirationDate", "cbc:CompanyLegalFormCode"});
        if (legalForm)
            add(p + "cac:PartyLegalEntity/cbc:CompanyLegalForm");
        each(p + "cac:PartyLegalEntity/", {"cbc:SoleProprietorshipIndicator", "cbc:CompanyLiquidationStatusCode", "cbc:CorporateStockAmount",
                                           "cbc:FullyPaidSharesIndicator", "cac:RegistrationAddress", "cac:CorporateRegistrationScheme",
                                           "cac:HeadOfficeParty", "cac:ShareholderParty"});
        each(p + "cac:Contact/", {"cbc:ID", "cbc:Telefax", "cbc:Note", "cac:OtherCommunication"});
        each(p, {"cac:Person", "cac:AgentParty", "cac:ServiceProviderParty", "cac:PowerOfAttorney", "cac:FinancialAccount"});
    };
    each("", {"ext:UBLExtensions", "cbc:UBLVersionID", "cbc:ProfileExecutionID", "cbc:CopyIndicator", "cbc:UUID", "cbc:IssueTime",
              "cbc:PricingCurrencyCode", "cbc:PaymentCurrencyCode", "cbc:PaymentAlternativeCurrencyCode", "cbc:AccountingCostCode",
              "cbc:LineCountNumeric"});
    each("cac:InvoicePeriod/", {"cbc:StartTime", "cbc:EndTime", "cbc:DurationMeasure", "cbc:Description"});
    each("cac:OrderReference/", {"cbc:CopyIndicator", "cbc:UUID", "cbc:IssueDate", "cbc:IssueTime", "cbc:CustomerReference",
                                 "cbc:OrderTypeCode", "cbc:DocumentReference"});
    for (const char* c : kDocumentReference) {
        if (std::string(c) != "cbc:IssueDate")
            add(std::string("cac:BillingReference/cac:InvoiceDocumentReference/") + c);
    }
    each("cac:BillingReference/", {"cac:SelfBilledInvoiceDocumentReference", "cac:CreditNoteDocumentReference",
                                   "cac:SelfBilledCreditNoteDocumentReference", "cac:DebitNoteDocumentReference",
                                   "cac:ReminderDocumentReference", "cac:AdditionalDocumentReference", "cac:BillingReferenceLine"});
    each("cac:DespatchDocumentReference/", kDocumentReference);
    each("cac:ReceiptDocumentReference/", kDocumentReference);
    add("cac:StatementDocumentReference");
    each("cac:OriginatorDocumentReference/", kDocumentReference);
    each("cac:ContractDocumentReference/", kDocumentReference);
    each("cac:AdditionalDocumentReference/", {"cbc:CopyIndicator", "cbc:UUID", "cbc:IssueDate", "cbc:IssueTime", "cbc:DocumentType",
                                              "cbc:XPath", "cbc:LanguageID", "cbc:LocaleCode", "cbc:VersionID", "cbc:DocumentStatusCode"});
    at(121);
    each("cac:AdditionalDocumentReference/cac:Attachment/cac:ExternalReference/",
         {"cbc:DocumentHash", "cbc:HashAlgorithmMethod", "cbc:ExpiryDate", "cbc:ExpiryTime", "cbc:MimeCode", "cbc:FormatCode",
          "cbc:EncodingCode", "cbc:CharacterSetCode", "cbc:FileName", "cbc:Description"});
    each("cac:AdditionalDocumentReference/", {"cac:ValidityPeriod", "cac:IssuerParty", "cac:ResultOfVerification"});
    each("cac:ProjectReference/", {"cbc:UUID", "cbc:IssueDate", "cac:WorkPhaseReference"});
    add("cac:Signature");
    each("cac:AccountingSupplierParty/", {"cbc:CustomerAssignedAccountID", "cbc:AdditionalAccountID", "cbc:DataSendingCapability"});
    party("cac:AccountingSupplierParty/cac:Party/", false);
    each("cac:AccountingSupplierParty/", {"cac:DespatchContact", "cac:AccountingContact", "cac:SellerContact"});
    each("cac:AccountingCustomerParty/", {"cbc:CustomerAssignedAccountID", "cbc:SupplierAssignedAccountID", "cbc:AdditionalAccountID"});
    party("cac:AccountingCustomerParty/cac:Party/", true);
    each("cac:AccountingCustomerParty/", {"cac:DeliveryContact", "cac:AccountingContact", "cac:BuyerContact"});
    each("cac:PayeeParty/", {"cbc:MarkCareIndicator", "cbc:MarkAttentionIndicator", "cbc:WebsiteURI", "cbc:LogoReferenceID", "cbc:EndpointID",
                             "cbc:IndustryClassificationCode", "cac:Language", "cac:PostalAddress", "cac:PhysicalLocation", "cac:PartyTaxScheme"});
    each("cac:PayeeParty/cac:PartyLegalEntity/",
         {"cbc:RegistrationName", "cbc:RegistrationDate", "cbc:RegistrationExpirationDate", "cbc:CompanyLegalFormCode", "cbc:CompanyLegalForm",
          "cbc:SoleProprietorshipIndicator", "cbc:CompanyLiquidationStatusCode", "cbc:CorporateStockAmount", "cbc:FullyPaidSharesIndicator",
          "cac:RegistrationAddress", "cac:CorporateRegistrationScheme", "cac:HeadOfficeParty", "cac:ShareholderParty"});
    each("cac:PayeeParty/", {"cac:Contact", "cac:Person", "cac:AgentParty", "cac:ServiceProviderParty", "cac:PowerOfAttorney", "cac:FinancialAccount"});
    each("", {"cac:BuyerCustomerParty", "cac:SellerSupplierParty"});
    each("cac:TaxRepresentativeParty/", {"cbc:MarkCareIndicator", "cbc:MarkAttentionIndicator", "cbc:WebsiteURI", "cbc:LogoReferenceID",
                                         "cbc:EndpointID", "cbc:IndustryClassificationCode", "cac:PartyIdentification", "cac:Language"});
    each("cac:TaxRepresentativeParty/cac:PostalAddress/", kAddress);
    add("cac:TaxRepresentativeParty/cac:PhysicalLocation");
    each("cac:TaxRepresentativeParty/cac:PartyTaxScheme/", kTaxScheme);
    each("cac:TaxRepresentativeParty/", {"cac:PartyLegalEntity", "cac:Contact", "cac:Person", "cac:AgentParty", "cac:ServiceProviderParty",
                                         "cac:PowerOfAttorney", "cac:FinancialAccount"});
    each("cac:Delivery/", {"cbc:ID", "cbc:Quantity", "cbc:MinimumQuantity", "cbc:MaximumQuantity", "cbc:ActualDeliveryTime",
                           "cbc:LatestDeliveryDate", "cbc:LatestDeliveryTime", "cbc:ReleaseID", "cbc:TrackingID"});
    each("cac:Delivery/cac:DeliveryLocation/", {"cbc:Description", "cbc:Conditions", "cbc:CountrySubentity", "cbc:CountrySubentityCode",
                                                "cbc:LocationTypeCode", "cbc:InformationURI", "cbc:Name", "cac:ValidityPeriod"});
    each("cac:Delivery/cac:DeliveryLocation/cac:Address/", kAddress);
    each("cac:Delivery/cac:DeliveryLocation/", {"cac:SubsidiaryLocation", "cac:LocationCoordinate"});
    each("cac:Delivery/", {"cac:AlternativeDeliveryLocation", "cac:RequestedDeliveryPeriod", "cac:EstimatedDeliveryPeriod", "cac:CarrierParty"});
    each("cac:Delivery/cac:DeliveryParty/",
         {"cbc:MarkCareIndicator", "cbc:MarkAttentionIndicator", "cbc:WebsiteURI", "cbc:LogoReferenceID", "cbc:EndpointID",
          "cbc:IndustryClassificationCode", "cac:PartyIdentification", "cac:Language", "cac:PostalAddress", "cac:PhysicalLocation",
          "cac:PartyTaxScheme", "cac:PartyLegalEntity", "cac:Contact", "cac:Person", "cac:AgentParty", "cac:ServiceProviderParty",
          "cac:PowerOfAttorney", "cac:FinancialAccount"});
    each("cac:Delivery/", {"cac:NotifyParty", "cac:Despatch", "cac:DeliveryTerms", "cac:MinimumDeliveryUnit", "cac:MaximumDeliveryUnit", "cac:Shipment"});
    add("cac:DeliveryTerms");
    each("cac:PaymentMeans/", {"cbc:ID", "cbc:PaymentDueDate", "cbc:PaymentChannelCode", "cbc:InstructionID"});
    each("cac:PaymentMeans/cac:CardAccount/", {"cbc:CardTypeCode", "cbc:ValidityStartDate", "cbc:ExpiryDate", "cbc:IssuerID",
                                               "cbc:IssueNumberID", "cbc:CV2ID", "cbc:CardChipCode", "cbc:ChipApplicationID"});
    at(424);
    each("cac:PaymentMeans/cac:PayeeFinancialAccount/", {"cbc:AliasName", "cbc:AccountTypeCode", "cbc:AccountFormatCode", "cbc:CurrencyCode", "cbc:PaymentNote"});
    add("cac:PaymentMeans/cac:PayeeFinancialAccount/cac:FinancialInstitutionBranch/cbc:Name");
    add("cac:PaymentMeans/cac:PayeeFinancialAccount/cac:FinancialInstitutionBranch/cac:FinancialInstitution/cbc:Name");
    add("cac:PaymentMeans/cac:PayeeFinancialAccount/cac:FinancialInstitutionBranch/cac:FinancialInstitution/cac:Address");
    add("cac:PaymentMeans/cac:PayeeFinancialAccount/cac:FinancialInstitutionBranch/cac:Address");
    add("cac:PaymentMeans/cac:PayeeFinancialAccount/cac:Country");
    add("cac:PaymentMeans/cac:CreditAccount");
    each("cac:PaymentMeans/cac:PaymentMandate/", {"cbc:MandateTypeCode", "cbc:MaximumPaymentInstructionsNumeric", "cbc:MaximumPaidAmount",
                                                  "cbc:SignatureID", "cac:PayerParty"});
    each("cac:PaymentMeans/cac:PaymentMandate/cac:PayerFinancialAccount/",
         {"cbc:Name", "cbc:AliasName", "cbc:AccountTypeCode", "cbc:AccountFormatCode", "cbc:CurrencyCode", "cbc:PaymentNote",
          "cac:FinancialInstitutionBranch", "cac:Country"});
    each("cac:PaymentMeans/cac:PaymentMandate/", {"cac:ValidityPeriod", "cac:PaymentReversalPeriod", "cac:Clause"});
    add("cac:PaymentMeans/cac:TradeFinancing");
    each("cac:PaymentTerms/", {"cbc:ID", "cbc:PaymentMeansID", "cbc:PrepaidPaymentReferenceID", "cbc:ReferenceEventCode",
                               "cbc:SettlementDiscountPercent", "cbc:PenaltySurchargePercent", "cbc:PaymentPercent", "cbc:Amount",
                               "cbc:SettlementDiscountAmount", "cbc:PenaltyAmount", "cbc:PaymentTermsDetailsURI", "cbc:PaymentDueDate",
                               "cbc:InstallmentDueDate", "cbc:InvoicingPartyReference", "cac:SettlementPeriod", "cac:PenaltyPeriod",
                               "cac:ExchangeRate", "cac:ValidityPeriod"});
    add("cac:PrepaidPayment");
    each("cac:AllowanceCharge/", {"cbc:ID", "cbc:PrepaidIndicator", "cbc:SequenceNumeric", "cbc:AccountingCostCode", "cbc:AccountingCost",
                                  "cbc:PerUnitAmount"});
    each("cac:AllowanceCharge/cac:TaxCategory/", {"cbc:Name", "cbc:BaseUnitMeasure", "cbc:PerUnitAmount", "cbc:TaxExemptionReasonCode",
                                                  "cbc:TaxExemptionReason", "cbc:TierRange", "cbc:TierRatePercent"});
    each("cac:AllowanceCharge/cac:TaxCategory/cac:TaxScheme/", {"cbc:Name", "cbc:TaxTypeCode", "cbc:CurrencyCode", "cac:JurisdictionRegionAddress"});
    each("cac:AllowanceCharge/", {"cac:TaxTotal", "cac:PaymentMeans"});
    each("", {"cac:TaxExchangeRate", "cac:PricingExchangeRate", "cac:PaymentExchangeRate", "cac:PaymentAlternativeExchangeRate"});
    each("cac:TaxTotal/", {"cbc:RoundingAmount", "cbc:TaxEvidenceIndicator", "cbc:TaxIncludedIndicator"});
    each("cac:TaxTotal/cac:TaxSubtotal/", {"cbc:CalculationSequenceNumeric", "cbc:TransactionCurrencyTaxAmount", "cbc:Percent",
                                           "cbc:BaseUnitMeasure", "cbc:PerUnitAmount", "cbc:TierRange", "cbc:TierRatePercent"});
    each("cac:TaxTotal/cac:TaxSubtotal/cac:TaxCategory/", {"cbc:Name", "cbc:BaseUnitMeasure", "cbc:PerUnitAmount", "cbc:TierRange", "cbc:TierRatePercent"});
    each("cac:TaxTotal/cac:TaxSubtotal/cac:TaxCategory/cac:TaxScheme/", {"cbc:Name", "cbc:TaxTypeCode", "cbc:CurrencyCode", "cac:JurisdictionRegionAddress"});
    add("cac:WithholdingTaxTotal");
    add("cac:LegalMonetaryTotal/cbc:PayableAlternativeAmount");
    const std::string line = "cac:InvoiceLine/";
    each(line, {"cbc:UUID", "cbc:TaxPointDate", "cbc:AccountingCostCode", "cbc:PaymentPurposeCode", "cbc:FreeOfChargeIndicator"});
    each(line + "cac:InvoicePeriod/", {"cbc:StartTime", "cbc:EndTime", "cbc:DurationMeasure", "cbc:DescriptionCode", "cbc:Description"});
    each(line + "cac:OrderLineReference/", {"cbc:SalesOrderLineID", "cbc:UUID", "cbc:LineStatusCode", "cac:OrderReference"});
    each(line, {"cac:DespatchLineReference", "cac:ReceiptLineReference", "cac:BillingReference"});
    each(line + "cac:DocumentReference/", {"cbc:CopyIndicator", "cbc:UUID", "cbc:IssueDate", "cbc:IssueTime"});
    at(537);
    each(line + "cac:DocumentReference/", {"cbc:DocumentType", "cbc:XPath", "cbc:LanguageID", "cbc:LocaleCode", "cbc:VersionID",
                                           "cbc:DocumentStatusCode", "cbc:DocumentDescription", "cac:Attachment", "cac:ValidityPeriod",
                                           "cac:IssuerParty", "cac:ResultOfVerification"});
    each(line, {"cac:PricingReference", "cac:OriginatorParty", "cac:Delivery", "cac:PaymentTerms"});
    each(line + "cac:AllowanceCharge/", {"cbc:ID", "cbc:PrepaidIndicator", "cbc:SequenceNumeric", "cbc:AccountingCostCode", "cbc:AccountingCost",
                                         "cbc:PerUnitAmount", "cac:TaxCategory", "cac:TaxTotal", "cac:PaymentMeans"});
    each(line, {"cac:TaxTotal", "cac:WithholdingTaxTotal"});
    each(line + "cac:Item/", {"cbc:PackQuantity", "cbc:PackSizeNumeric", "cbc:CatalogueIndicator", "cbc:HazardousRiskIndicator",
                              "cbc:AdditionalInformation", "cbc:Keyword", "cbc:BrandName", "cbc:ModelName"});
    for (const char* identification : {"cac:BuyersItemIdentification/", "cac:SellersItemIdentification/"})
        each(line + "cac:Item/" + identification, {"cbc:ExtendedID", "cbc:BarcodeSymbologyID", "cac:PhysicalAttribute",
                                                    "cac:MeasurementDimension", "cac:IssuerParty"});
    add(line + "cac:Item/cac:ManufacturersItemIdentification");
    each(line + "cac:Item/cac:StandardItemIdentification/", {"cbc:ExtendedID", "cbc:BarcodeSymbologyID", "cac:PhysicalAttribute",
                                                            "cac:MeasurementDimension", "cac:IssuerParty"});
    each(line + "cac:Item/", {"cac:CatalogueItemIdentification", "cac:AdditionalItemIdentification", "cac:CatalogueDocumentReference",
                              "cac:ItemSpecificationDocumentReference"});
    add(line + "cac:Item/cac:OriginCountry/cbc:Name");
    each(line + "cac:Item/cac:CommodityClassification/", {"cbc:NatureCode", "cbc:CargoTypeCode", "cbc:CommodityCode"});
    each(line + "cac:Item/", {"cac:TransactionConditions", "cac:HazardousItem"});
    each(line + "cac:Item/cac:ClassifiedTaxCategory/", {"cbc:Name", "cbc:BaseUnitMeasure", "cbc:PerUnitAmount", "cbc:TaxExemptionReasonCode",
                                                        "cbc:TaxExemptionReason", "cbc:TierRange", "cbc:TierRatePercent"});
    each(line + "cac:Item/cac:ClassifiedTaxCategory/cac:TaxScheme/", {"cbc:Name", "cbc:TaxTypeCode", "cbc:CurrencyCode", "cac:JurisdictionRegionAddress"});
    each(line + "cac:Item/cac:AdditionalItemProperty/", {"cbc:ID", "cbc:NameCode", "cbc:TestMethod", "cbc:ValueQuantity", "cbc:ValueQualifier",
                                                         "cbc:ImportanceCode", "cbc:ListValue", "cac:UsabilityPeriod", "cac:ItemPropertyGroup",
                                                         "cac:RangeDimension", "cac:ItemPropertyRange"});
    each(line + "cac:Item/", {"cac:ManufacturerParty", "cac:InformationContentProviderParty", "cac:OriginAddress", "cac:ItemInstance",
                              "cac:Certificate", "cac:Dimension"});
    each(line + "cac:Price/", {"cbc:PriceChangeReason", "cbc:PriceTypeCode", "cbc:PriceType", "cbc:OrderableUnitFactorRate",
                               "cbc:ValidityPeriod", "cbc:PriceList", "cbc:OrderableUnitFactorRate"});
    each(line + "cac:Price/cac:AllowanceCharge/", {"cbc:ID", "cbc:AllowanceChargeReasonCode", "cbc:AllowanceChargeReason", "cbc:MultiplierFactorNumeric",
                                                   "cbc:PrepaidIndicator", "cbc:SequenceNumeric", "cbc:AccountingCostCode", "cbc:AccountingCost",
                                                   "cbc:PerUnitAmount", "cac:TaxCategory", "cac:TaxTotal", "cac:PaymentMeans"});
    add(line + "cac:Price/cac:PricingExchangeRate");
    each(line, {"cac:DeliveryTerms", "cac:SubInvoiceLine", "cac:ItemPriceExtension"});
    each("", {"cbc:CustomizationID/@schemeID", "cbc:ProfileID/@schemeID", "cbc:ID/@schemeID", "cbc:SalesOrderID/@schemeID",
              "//cac:PartyTaxScheme/cbc:CompanyID/@schemeID", "cac:PaymentMeans/cbc:PaymentID/@schemeID",
              "cac:PaymentMeans/cac:PayeeFinancialAccount/cbc:ID/@schemeID",
              "cac:PaymentMeans/cac:PayeeFinancialAccount/cac:FinancialInstitutionBranch/cbc:ID/@schemeID", "cbc:InvoiceTypeCode/@listID",
              "cbc:DocumentCurrencyCode/@listID", "cbc:TaxCurrencyCode/@listID", "cac:AdditionalDocumentReference/cbc:DocumentTypeCode/@listID",
              "//cac:Country/cbc:IdentificationCode/@listID", "cac:PaymentMeans/cbc:PaymentMeansCode/@listID",
              "//cbc:AllowanceChargeReasonCode/@listID", "//@unitCodeListID", "//cac:FinancialInstitution"});
    at(667); // 665 and 666 are rules of their own, see below
    each("", {"//cac:BuyersItemIdentification/cbc:ID/@schemeID", "//cac:SellersItemIdentification/cbc:ID/@schemeID",
              "//cac:Price/cac:AllowanceCharge/cbc:AllowanceChargeReasonCode", "//cac:Price/cac:AllowanceCharge/cbc:AllowanceChargeReason",
              "//cac:Price/cac:AllowanceCharge/cbc:MultiplierFactorNumeric", "cbc:CreditNoteTypeCode/@listID"});
    at(674); // 673 is a rule of its own
    each("", {"//cbc:PrimaryAccountNumber/@schemeID", "//cac:CardAccount/cbc:NetworkID/@schemeID", "//cac:PaymentMandate/cbc:ID/@schemeID",
              "//cac:PaymentMandate/cac:PayerFinancialAccount/cbc:ID/@schemeID", "//cac:TaxCategory/cbc:ID/@schemeID",
              "//cac:ClassifiedTaxCategory/cbc:ID/@schemeID", "//cac:PaymentMeans/cac:PayerFinancialAccount", "cac:PaymentMeans/cbc:InstructionNote",
              "cac:Delivery/cac:DeliveryAddress"});
    return list;
}

std::vector<TAssert> NotInInvoiceAsserts()
{
    std::vector<TAssert> asserts;
    const std::string invoiceLine = "cac:InvoiceLine/";
    for (const auto& [number, path] : NotInInvoice()) {
        // Six hundred rules: made with plain strings, not formatted texts (this runs at the
        // start of every check process).
        char number3[16];
        std::snprintf(number3, sizeof number3, "UBL-CR-%03d", number);
        const char* id = KeepText(number3);
        std::string shown = path;
        for (size_t at = shown.find("//"); at != std::string::npos; at = shown.find("//", at))
            shown.erase(at, 2);
        const char* text = KeepText(shown + " soll in einer Rechnung nach EN 16931 nicht stehen.");
        if (number == 2) {
            // A version is allowed when it is 2.1.
            asserts.push_back({id, W, [](const TCtx& c) { return !c.Has("cbc:UBLVersionID") || xq::AnyIs(c.Node, "cbc:UBLVersionID", "2.1"); },
                               "Eine UBL-Version (cbc:UBLVersionID) soll nicht stehen, es sei denn 2.1."});
            continue;
        }
        if (number == 412) {
            // A due date in the payment means is tolerated in a credit note.
            asserts.push_back({id, W, [](const TCtx& c) { return !c.Has("cac:PaymentMeans/cbc:PaymentDueDate") || c.IsCreditNote(); }, text});
            continue;
        }
        // The line rules look at invoice lines and credit note lines alike.
        const std::string kept = path.rfind(invoiceLine, 0) == 0 ? path + "|cac:CreditNoteLine/" + path.substr(invoiceLine.size()) : path;
        asserts.push_back({id, W, nullptr, text, KeepText(kept)});
    }
    // 665: a scheme on the identifier of a supporting document that is no invoiced object.
    asserts.push_back({"UBL-CR-665", W,
                       [](const TCtx& c) {
                           for (_xmlNode* reference : c.Doc.All("cac:AdditionalDocumentReference")) {
                               const bool invoicedObject = xq::AnyIs(reference, "cbc:DocumentTypeCode", "130");
                               if (!invoicedObject && xq::Exists(reference, "cbc:ID/@schemeID"))
                                   return false;
                           }
                           return true;
                       },
                       "Die Kennung einer Unterlage, die kein Rechnungsobjekt ist (Code 130), soll kein Schema (schemeID) haben."});
    // 666 and 673: an invoiced object (code 130) with an attachment or a description is an error.
    asserts.push_back({"UBL-CR-666", F,
                       [](const TCtx& c) {
                           for (_xmlNode* reference : c.Doc.All("cac:AdditionalDocumentReference"))
                               if (xq::AnyIs(reference, "cbc:DocumentTypeCode", "130") && xq::Exists(reference, "cac:Attachment"))
                                   return false;
                           return true;
                       },
                       "Ein Verweis auf ein Rechnungsobjekt (Code 130) darf keinen Anhang haben."});
    asserts.push_back({"UBL-CR-673", F,
                       [](const TCtx& c) {
                           for (_xmlNode* reference : c.Doc.All("cac:AdditionalDocumentReference"))
                               if (xq::AnyIs(reference, "cbc:DocumentTypeCode", "130") && xq::Exists(reference, "cbc:DocumentDescription"))
                                   return false;
                           return true;
                       },
                       "Ein Verweis auf ein Rechnungsobjekt (Code 130) darf keine Beschreibung haben."});
    return asserts;
}

std::vector<TAssert> UnusedAttributeAsserts()
{
    std::vector<TAssert> asserts;
    const std::pair<const char*, const char*> kAttributes[] = {
        {"UBL-DT-08", "schemeName"},     {"UBL-DT-09", "schemeAgencyName"},         {"UBL-DT-10", "schemeDataURI"},
        {"UBL-DT-11", "schemeURI"},      {"UBL-DT-12", "format"},                   {"UBL-DT-13", "unitCodeListIdentifier"},
        {"UBL-DT-14", "unitCodeListAgencyIdentifier"}, {"UBL-DT-15", "unitCodeListAgencyName"}, {"UBL-DT-16", "listAgencyName"},
        {"UBL-DT-17", "listName"},       {"UBL-DT-19", "languageID"},               {"UBL-DT-20", "listURI"},
        {"UBL-DT-21", "listSchemeURI"},  {"UBL-DT-22", "languageLocaleID"},         {"UBL-DT-23", "uri"},
        {"UBL-DT-24", "currencyCodeListVersionID"}, {"UBL-DT-25", "characterSetCode"}, {"UBL-DT-26", "encodingCode"},
        {"UBL-DT-27", "schemeAgencyID"}, {"UBL-DT-28", "listAgencyID"}};
    for (const auto& [id, attribute] : kAttributes) {
        const char* path = KeepText(std::string("//@") + attribute);
        const char* text = KeepText(QStringLiteral("Das Attribut %1 soll nicht verwendet werden.").arg(QLatin1String(attribute)).toStdString());
        asserts.push_back({id, W, nullptr, text, path});
    }
    asserts.push_back({"UBL-DT-18", W,
                       [](const TCtx& c) {
                           if (!c.Doc.HasAttributeAnywhere("name"))
                               return true;
                           int all = 0;
                           xmlNode* n = c.Root();
                           std::vector<xmlNode*> stack{n};
                           while (!stack.empty()) {
                               n = stack.back();
                               stack.pop_back();
                               if (xq::HasAttribute(n, "name") && !xq::Is(n, "cbc:PaymentMeansCode"))
                                   ++all;
                               for (_xmlNode* child : xq::ChildElements(n))
                                   stack.push_back(child);
                           }
                           return all == 0;
                       },
                       "Das Attribut name soll nur am Code der Zahlungsart stehen."});
    return asserts;
}

// "count(parties[cac:TaxScheme/upper-case(cbc:ID) = 'VAT']/cbc:CompanyID)" (with vat false: "!=").
int CountVatIds(const TCtx& c, const char* parties, bool vat)
{
    int n = 0;
    for (_xmlNode* scheme : c.Sel(parties)) {
        // A scheme without a tax type is no VAT scheme: its number counts as a tax number.
        const std::vector<QString> ids = xq::Values(scheme, "cac:TaxScheme/cbc:ID");
        bool matches = ids.empty() && !vat;
        for (const QString& id : ids)
            matches = matches || ((id.toUpper() == u"VAT") == vat);
        if (matches)
            n += xq::Count(scheme, "cbc:CompanyID");
    }
    return n;
}

int DistinctValues(const std::vector<_xmlNode*>& nodes)
{
    std::vector<QString> seen;
    for (_xmlNode* n : nodes) {
        const QString v = xq::StringValue(n);
        if (std::find(seen.begin(), seen.end(), v) == seen.end())
            seen.push_back(v);
    }
    return int(seen.size());
}

// "(a) != (b)" as a general comparison: some value of a differs from some value of b.
bool SomeDiffer(const TCtx& c, const char* a, const char* b)
{
    for (const QString& x : c.Vals(a))
        for (const QString& y : c.Vals(b))
            if (x != y)
                return true;
    return false;
}

TPattern SyntaxPattern()
{
    TPattern p{"EN 16931: UBL-Syntax", {}};
    std::vector<TRule>& r = p.Rules;
    r.push_back({"cac:PostalAddress|cac:Address",
                 {{"UBL-SR-51", F, [](const TCtx& c) { return c.Count("cac:AddressLine") <= 1; },
                   "Eine Anschrift darf höchstens eine dritte Adresszeile haben."}}});
    r.push_back({"cac:AccountingSupplierParty/cac:Party",
                 {{"UBL-SR-42", F, [](const TCtx& c) { return c.Count("cac:PartyTaxScheme") <= 2; },
                   "Der Verkäufer darf höchstens zwei Steuerschemata (cac:PartyTaxScheme) haben."}}});
    r.push_back({"cac:AdditionalDocumentReference",
                 {{"UBL-SR-33", F, [](const TCtx& c) { return c.Count("cbc:DocumentDescription") <= 1; },
                   "Eine Unterlage darf höchstens eine Beschreibung haben."},
                  {"UBL-SR-43", F,
                   [](const TCtx& c) {
                       return xq::AnyIs(c.Node, "cbc:DocumentTypeCode", "130")
                           || (xq::Is(c.Root(), "cn:CreditNote") && xq::AnyIs(c.Node, "cbc:DocumentTypeCode", "50"))
                           || (!c.Has("cbc:ID/@schemeID") && !c.Has("cbc:DocumentTypeCode"));
                   },
                   "Ein Schema der Kennung darf nur beim Rechnungsobjekt (Code 130) stehen."}}});
    r.push_back({"*",
                 {{"UBL-DT-01", F, [](const TCtx& c) { return DecimalsOf(c.Text()) <= 2; },
                   "Beträge dürfen höchstens zwei Nachkommastellen haben."}},
                 [](const TCtx& c) {
                     const QString name = QString::fromUtf8(xq::LocalName(c.Node));
                     if (!name.endsWith(u"Amount") || name.endsWith(u"PriceAmount"))
                         return false;
                     for (_xmlNode* up = xq::ParentElement(c.Node); up; up = xq::ParentElement(up))
                         if (xq::Is(up, "cac:Price") && xq::Exists(up, "cac:AllowanceCharge"))
                             return false;
                     return true;
                 }});
    r.push_back({"*",
                 {{"UBL-DT-06", F, [](const TCtx& c) { return c.HasAttr("mimeCode"); }, "Eingebettete Dateien brauchen einen MIME-Typ (mimeCode)."},
                  {"UBL-DT-07", F, [](const TCtx& c) { return c.HasAttr("filename"); }, "Eingebettete Dateien brauchen einen Dateinamen (filename)."}},
                 [](const TCtx& c) { return QByteArray(xq::LocalName(c.Node)).endsWith("BinaryObject"); }});
    r.push_back({"cac:Delivery",
                 {{"UBL-SR-25", F, [](const TCtx& c) { return c.Count("cac:DeliveryParty/cac:PartyName/cbc:Name") <= 1; },
                   "Der Empfänger der Lieferung darf höchstens einen Namen haben."}}});
    r.push_back({"cac:AllowanceCharge",
                 {{"UBL-SR-30", F, [](const TCtx& c) { return c.Count("cbc:AllowanceChargeReason") <= 1; },
                   "Ein Nachlass darf höchstens einen Grund haben."}},
                 DocumentAllowance});
    r.push_back({"cac:AllowanceCharge",
                 {{"UBL-SR-31", F, [](const TCtx& c) { return c.Count("cbc:AllowanceChargeReason") <= 1; },
                   "Ein Zuschlag darf höchstens einen Grund haben."}},
                 DocumentCharge});
    r.push_back({"cac:PartyTaxScheme",
                 {{"UBL-SR-53", F, [](const TCtx& c) { return c.Has("cac:TaxScheme/cbc:ID") && c.Has("cbc:CompanyID"); },
                   "Ein Steuerschema mit Steuerart braucht auch die Steuernummer (cbc:CompanyID)."}}});
    std::vector<TAssert> root = NotInInvoiceAsserts();
    for (TAssert& a : UnusedAttributeAsserts())
        root.push_back(a);
    const std::vector<TAssert> counts = {
        {"UBL-SR-01", F, [](const TCtx& c) { return c.Count("cac:ContractDocumentReference/cbc:ID") <= 1; }, "Höchstens eine Vertragsnummer."},
        {"UBL-SR-02", F, [](const TCtx& c) { return c.Count("cac:ReceiptDocumentReference/cbc:ID") <= 1; }, "Höchstens eine Empfangsbestätigung."},
        {"UBL-SR-03", F, [](const TCtx& c) { return c.Count("cac:DespatchDocumentReference/cbc:ID") <= 1; }, "Höchstens ein Lieferschein."},
        {"UBL-SR-04", F, [](const TCtx& c) { return c.Count("cac:AdditionalDocumentReference[cbc:DocumentTypeCode=='130']/cbc:ID") <= 1; },
         "Höchstens ein Rechnungsobjekt."},
        {"UBL-SR-05", F, [](const TCtx& c) { return c.Count("cac:PaymentTerms/cbc:Note") <= 1; }, "Höchstens eine Zahlungsbedingung."},
        {"UBL-SR-08", F, [](const TCtx& c) { return c.Count("cac:InvoicePeriod") <= 1; }, "Höchstens ein Rechnungszeitraum."},
        {"UBL-SR-09", F, [](const TCtx& c) { return c.Count("cac:AccountingSupplierParty/cac:Party/cac:PartyLegalEntity/cbc:RegistrationName") <= 1; },
         "Höchstens ein Name des Verkäufers."},
        {"UBL-SR-10", F, [](const TCtx& c) { return c.Count("cac:AccountingSupplierParty/cac:Party/cac:PartyName/cbc:Name") <= 1; },
         "Höchstens ein Handelsname des Verkäufers."},
        {"UBL-SR-11", F, [](const TCtx& c) { return c.Count("cac:AccountingSupplierParty/cac:Party/cac:PartyLegalEntity/cbc:CompanyID") <= 1; },
         "Höchstens eine Registerkennung des Verkäufers."},
        {"UBL-SR-12", F, [](const TCtx& c) { return CountVatIds(c, "cac:AccountingSupplierParty/cac:Party/cac:PartyTaxScheme", true) <= 1; },
         "Höchstens eine Umsatzsteuer-Id des Verkäufers."},
        {"UBL-SR-13", F, [](const TCtx& c) { return CountVatIds(c, "cac:AccountingSupplierParty/cac:Party/cac:PartyTaxScheme", false) <= 1; },
         "Höchstens eine Steuernummer des Verkäufers."},
        {"UBL-SR-55", F, [](const TCtx& c) { return c.Count("cac:PaymentMeans/cac:PaymentMandate") <= 1; },
         "Höchstens ein Lastschriftmandat (BG-19), auch über mehrere Zahlungsanweisungen."},
        {"UBL-SR-14", F, [](const TCtx& c) { return c.Count("cac:AccountingSupplierParty/cac:Party/cac:PartyLegalEntity/cbc:CompanyLegalForm") <= 1; },
         "Höchstens eine Rechtsform des Verkäufers."},
        {"UBL-SR-15", F, [](const TCtx& c) { return c.Count("cac:AccountingCustomerParty/cac:Party/cac:PartyLegalEntity/cbc:RegistrationName") <= 1; },
         "Höchstens ein Name des Käufers."},
        {"UBL-SR-16", F, [](const TCtx& c) { return c.Count("cac:AccountingCustomerParty/cac:Party/cac:PartyIdentification/cbc:ID") <= 1; },
         "Höchstens eine Kennung des Käufers."},
        {"UBL-SR-17", F, [](const TCtx& c) { return c.Count("cac:AccountingCustomerParty/cac:Party/cac:PartyLegalEntity/cbc:CompanyID") <= 1; },
         "Höchstens eine Registerkennung des Käufers."},
        {"UBL-SR-18", F, [](const TCtx& c) { return CountVatIds(c, "cac:AccountingCustomerParty/cac:Party/cac:PartyTaxScheme", true) <= 1; },
         "Höchstens eine Umsatzsteuer-Id des Käufers."},
        {"UBL-SR-24", F, [](const TCtx& c) { return c.Count("cac:Delivery") <= 1; }, "Höchstens eine Lieferung."},
        {"UBL-SR-29", F,
         [](const TCtx& c) {
             int n = 0;
             for (_xmlNode* id : c.Doc.All("cbc:ID"))
                 if (xq::Is(xq::ParentElement(id), "cac:PartyIdentification") && xq::AttributeValue(id, "schemeID").toUpper() == u"SEPA")
                     ++n;
             return n <= 1;
         },
         "Höchstens eine Gläubiger-Identifikationsnummer."},
        {"UBL-SR-39", F, [](const TCtx& c) { return c.Count("cac:ProjectReference/cbc:ID") <= 1; }, "Höchstens eine Projektreferenz."},
        {"UBL-SR-40", F, [](const TCtx& c) { return c.Count("cac:AccountingCustomerParty/cac:Party/cac:PartyName/cbc:Name") <= 1; },
         "Höchstens ein Handelsname des Käufers."},
        {"UBL-SR-44", F, [](const TCtx& c) { return DistinctValues(c.Doc.All("cbc:PaymentID")) <= 1; }, "Höchstens ein Verwendungszweck."},
        {"UBL-SR-45", F, [](const TCtx& c) { return c.Count("cac:PaymentMeans/cbc:PaymentDueDate") <= 1; }, "Höchstens ein Fälligkeitsdatum."},
        {"UBL-SR-46", F, [](const TCtx& c) { return c.Count("cac:PaymentMeans/cbc:PaymentMeansCode/@name") <= 1; },
         "Höchstens ein Text zur Zahlungsart."},
        {"UBL-SR-47", F, [](const TCtx& c) { return DistinctValues(c.Doc.All("cbc:PaymentMeansCode")) <= 1; },
         "Mehrere Zahlungsarten müssen denselben Code haben."},
        {"UBL-SR-49", F, [](const TCtx& c) { return c.Count("cac:InvoicePeriod/cbc:DescriptionCode") <= 1; },
         "Höchstens ein Code des Steuerzeitpunkts."},
    };
    root.insert(root.end(), counts.begin(), counts.end());
    r.push_back({UBL_ROOTS, root});
    r.push_back({"cac:InvoiceLine|cac:CreditNoteLine",
                 {{"UBL-SR-34", F, [](const TCtx& c) { return c.Count("cbc:Note") <= 1; }, "Höchstens eine Bemerkung je Position."},
                  {"UBL-SR-35", F, [](const TCtx& c) { return c.Count("cac:OrderLineReference/cbc:LineID") <= 1; },
                   "Höchstens ein Verweis auf eine Bestellposition."},
                  {"UBL-SR-36", F, [](const TCtx& c) { return c.Count("cac:InvoicePeriod") <= 1; }, "Höchstens ein Leistungszeitraum je Position."},
                  {"UBL-SR-37", F, [](const TCtx& c) { return c.Count("cac:Price/cac:AllowanceCharge/cbc:Amount") <= 1; },
                   "Höchstens ein Preisnachlass je Position."},
                  {"UBL-SR-52", F, [](const TCtx& c) { return c.Count("cac:DocumentReference") <= 1; },
                   "Höchstens ein Befreiungsgrund je Position."},
                  {"UBL-SR-48", F, [](const TCtx& c) { return c.Count("cac:Item/cac:ClassifiedTaxCategory") == 1; },
                   "Jede Position muss genau eine Umsatzsteuerkategorie haben."},
                  {"UBL-SR-50", F, [](const TCtx& c) { return c.Count("cac:Item/cbc:Description") <= 1; }, "Höchstens eine Artikelbeschreibung."}}});
    r.push_back({"cac:PayeeParty",
                 {{"UBL-SR-19", F,
                   [](const TCtx& c) {
                       return c.Count("cac:PartyName/cbc:Name") <= 1
                           && SomeDiffer(c, "cac:PartyName/cbc:Name", "../cac:AccountingSupplierParty/cac:Party/cac:PartyLegalEntity/cbc:RegistrationName");
                   },
                   "Ein vom Verkäufer verschiedener Zahlungsempfänger muss genau einen eigenen Namen haben."},
                  {"UBL-SR-20", F,
                   [](const TCtx& c) {
                       // upper-case() of a missing attribute is "", which is not "SEPA".
                       int n = 0;
                       for (_xmlNode* id : c.Sel("cac:PartyIdentification/cbc:ID"))
                           if (xq::AttributeValue(id, "schemeID").toUpper() != u"SEPA")
                               ++n;
                       return n <= 1
                           && SomeDiffer(c, "cac:PartyName/cbc:Name", "../cac:AccountingSupplierParty/cac:Party/cac:PartyLegalEntity/cbc:RegistrationName");
                   },
                   "Ein vom Verkäufer verschiedener Zahlungsempfänger darf höchstens eine Kennung haben."},
                  {"UBL-SR-21", F,
                   [](const TCtx& c) {
                       return c.Count("cac:PartyLegalEntity/cbc:CompanyID") <= 1
                           && SomeDiffer(c, "cac:PartyName/cbc:Name", "../cac:AccountingSupplierParty/cac:Party/cac:PartyLegalEntity/cbc:RegistrationName");
                   },
                   "Ein vom Verkäufer verschiedener Zahlungsempfänger darf höchstens eine Registerkennung haben."}}});
    r.push_back({"cac:PaymentMeans",
                 {{"UBL-SR-26", F, [](const TCtx& c) { return c.Count("cbc:PaymentID") <= 1; }, "Höchstens ein Verwendungszweck je Zahlungsart."},
                  {"UBL-SR-27", F, [](const TCtx& c) { return c.Count("cbc:PaymentMeansCode") <= 1; }, "Höchstens ein Code der Zahlungsart je Zahlungsanweisung."},
                  {"UBL-SR-28", F, [](const TCtx& c) { return c.Count("cac:PaymentMandate/cbc:ID") <= 1; }, "Höchstens eine Mandatsreferenz."}}});
    r.push_back({"cac:BillingReference",
                 {{"UBL-SR-06", F, [](const TCtx& c) { return c.Count("cac:InvoiceDocumentReference") <= 1; },
                   "Höchstens ein Verweis auf eine frühere Rechnung je Rechnungsbezug."},
                  {"UBL-SR-07", F, [](const TCtx& c) { return c.Has("cac:InvoiceDocumentReference/cbc:ID"); },
                   "Ein Verweis auf eine frühere Rechnung muss deren Nummer nennen."}}});
    r.push_back({"cac:TaxRepresentativeParty",
                 {{"UBL-SR-22", F, [](const TCtx& c) { return c.Count("cac:Party/cac:PartyName/cbc:Name") <= 1; }, "Höchstens ein Name des Steuervertreters."},
                  {"UBL-SR-23", F, [](const TCtx& c) { return c.Count("cac:Party/cac:PartyTaxScheme/cbc:CompanyID") <= 1; },
                   "Höchstens eine Umsatzsteuer-Id des Steuervertreters."}}});
    r.push_back({"cac:TaxSubtotal",
                 {{"UBL-SR-32", F, [](const TCtx& c) { return c.Count("cac:TaxCategory/cbc:TaxExemptionReason") <= 1; },
                   "Höchstens ein Befreiungsgrund je Aufschlüsselung."}}});
    return p;
}

// ---- The code lists ----------------------------------------------------------------------------

bool ValueOn(const TCtx& c, TCodeList list)
{
    return CodeIn(list, c.Text());
}

bool AttributeOn(const TCtx& c, const char* attribute, TCodeList list)
{
    return CodeIn(list, c.Attr(attribute));
}

TPattern CodePattern()
{
    TPattern p{"EN 16931: Codelisten", {}};
    std::vector<TRule>& r = p.Rules;
    r.push_back({"cbc:InvoiceTypeCode|cbc:CreditNoteTypeCode",
                 {{"BR-CL-01", F,
                   [](const TCtx& c) {
                       return xq::Is(c.Node, "cbc:InvoiceTypeCode") ? ValueOn(c, TCodeList::Untdid1001Invoice)
                                                                    : ValueOn(c, TCodeList::Untdid1001CreditNote);
                   },
                   "Der Code der Rechnungsart (BT-3) muss aus UNTDID 1001 stammen (für Rechnungen bzw. Gutschriften)."}}});
    r.push_back({"cbc:Amount|cbc:BaseAmount|cbc:PriceAmount|cbc:TaxAmount|cbc:TaxableAmount|cbc:LineExtensionAmount|"
                 "cbc:TaxExclusiveAmount|cbc:TaxInclusiveAmount|cbc:AllowanceTotalAmount|cbc:ChargeTotalAmount|cbc:PrepaidAmount|"
                 "cbc:PayableRoundingAmount|cbc:PayableAmount",
                 {{"BR-CL-03", F, [](const TCtx& c) { return AttributeOn(c, "currencyID", TCodeList::Iso4217); },
                   "Die Währung eines Betrags (currencyID) muss ein Code nach ISO 4217 sein."}}});
    r.push_back({"cbc:DocumentCurrencyCode",
                 {{"BR-CL-04", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Iso4217); },
                   "Die Rechnungswährung (BT-5) muss ein Code nach ISO 4217 sein."}}});
    r.push_back({"cbc:TaxCurrencyCode",
                 {{"BR-CL-05", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Iso4217); },
                   "Die Steuerwährung (BT-6) muss ein Code nach ISO 4217 sein."}}});
    r.push_back({"cac:InvoicePeriod/cbc:DescriptionCode",
                 {{"BR-CL-06", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid2005); },
                   "Der Code des Steuerzeitpunkts (BT-8) muss 3, 35 oder 432 sein."}}});
    r.push_back({"cac:AdditionalDocumentReference[cbc:DocumentTypeCode=='130']/cbc:ID[@schemeID]|"
                 "cac:DocumentReference[cbc:DocumentTypeCode=='130']/cbc:ID[@schemeID]",
                 {{"BR-CL-07", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Untdid1153); },
                   "Das Schema der Objektkennung muss aus UNTDID 1153 stammen."}}});
    r.push_back({"cac:PartyIdentification/cbc:ID[@schemeID]",
                 {{"BR-CL-10", F,
                   [](const TCtx& c) {
                       if (AttributeOn(c, "schemeID", TCodeList::Icd))
                           return true;
                       return xq::NormalizeSpace(c.Attr("schemeID")) == u"SEPA"
                           && (xq::HasAncestor(c.Node, "cac:AccountingSupplierParty") || xq::HasAncestor(c.Node, "cac:PayeeParty"));
                   },
                   "Das Schema einer Kennung muss aus der ICD-Liste (ISO 6523) stammen."}}});
    r.push_back({"cac:PartyLegalEntity/cbc:CompanyID[@schemeID]",
                 {{"BR-CL-11", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Icd); },
                   "Das Schema einer Registerkennung muss aus der ICD-Liste (ISO 6523) stammen."}}});
    r.push_back({"cac:CommodityClassification/cbc:ItemClassificationCode[@listID]",
                 {{"BR-CL-13", F, [](const TCtx& c) { return AttributeOn(c, "listID", TCodeList::Untdid7143); },
                   "Das Schema der Artikelklassifizierung (BT-158) muss aus UNTDID 7143 stammen."}}});
    r.push_back({"cac:Country/cbc:IdentificationCode",
                 {{"BR-CL-14", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Iso3166); }, "Ländercodes müssen nach ISO 3166-1 sein."}}});
    r.push_back({"cac:OriginCountry/cbc:IdentificationCode",
                 {{"BR-CL-15", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Iso3166); },
                   "Das Herkunftsland (BT-159) muss nach ISO 3166-1 sein."}}});
    r.push_back({"cac:PaymentMeans/cbc:PaymentMeansCode",
                 {{"BR-CL-16", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid4461); },
                   "Der Code der Zahlungsart (BT-81) muss aus UNTDID 4461 stammen."}}});
    r.push_back({"cac:TaxCategory/cbc:ID",
                 {{"BR-CL-17", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid5305); },
                   "Die Umsatzsteuerkategorie muss einer der Codes AE, L, M, E, S, Z, G, O oder K sein."}}});
    r.push_back({"cac:ClassifiedTaxCategory/cbc:ID",
                 {{"BR-CL-18", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid5305); },
                   "Die Umsatzsteuerkategorie der Position muss einer der Codes AE, L, M, E, S, Z, G, O oder K sein."}}});
    r.push_back({"cac:AllowanceCharge/cbc:AllowanceChargeReasonCode",
                 {{"BR-CL-19", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid5189); },
                   "Der Code eines Nachlassgrunds muss aus UNTDID 5189 stammen."}},
                 [](const TCtx& c) { return IndicatorIs(xq::ParentElement(c.Node), false); }});
    r.push_back({"cac:AllowanceCharge/cbc:AllowanceChargeReasonCode",
                 {{"BR-CL-20", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid7161); },
                   "Der Code eines Zuschlagsgrunds muss aus UNTDID 7161 stammen."}},
                 [](const TCtx& c) { return IndicatorIs(xq::ParentElement(c.Node), true); }});
    r.push_back({"cac:StandardItemIdentification/cbc:ID[@schemeID]",
                 {{"BR-CL-21", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Icd); },
                   "Das Schema der Standardkennung des Artikels (BT-157) muss aus der ICD-Liste (ISO 6523) stammen."}}});
    r.push_back({"cbc:TaxExemptionReasonCode",
                 {{"BR-CL-22", F, [](const TCtx& c) { return CodeIn(TCodeList::Vatex, c.Text().toUpper()); },
                   "Der Code des Befreiungsgrunds (BT-121) muss aus der VATEX-Liste stammen."}}});
    r.push_back({"cbc:InvoicedQuantity[@unitCode]|cbc:BaseQuantity[@unitCode]|cbc:CreditedQuantity[@unitCode]",
                 {{"BR-CL-23", F, [](const TCtx& c) { return AttributeOn(c, "unitCode", TCodeList::UneceRec20And21); },
                   "Die Einheit (unitCode) muss nach UN/ECE-Empfehlung 20 mit Ergänzung 21 sein."}}});
    r.push_back({"cbc:EmbeddedDocumentBinaryObject[@mimeCode]",
                 {{"BR-CL-24", F, [](const TCtx& c) { return OnCodeList(TCodeList::Mime, c.Attr("mimeCode")); },
                   "Der MIME-Typ eines Anhangs muss PDF, PNG, JPEG, CSV, XLSX oder ODS sein."}}});
    r.push_back({"cbc:EndpointID[@schemeID]",
                 {{"BR-CL-25", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Eas); },
                   "Das Schema der elektronischen Adresse muss aus der EAS-Liste stammen."}}});
    r.push_back({"cac:DeliveryLocation/cbc:ID[@schemeID]",
                 {{"BR-CL-26", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Icd); },
                   "Das Schema der Kennung des Lieferorts muss aus der ICD-Liste (ISO 6523) stammen."}}});
    return p;
}

} // namespace

const std::vector<TPattern>& CenUblPatterns()
{
    static const std::vector<TPattern> patterns = {ModelPattern(), SyntaxPattern(), CodePattern()};
    return patterns;
}

} // namespace checks

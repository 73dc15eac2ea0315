// The EN 16931 rules on CII (CEN/TC 434 validation artefacts 1.3.15), in the three patterns of
// the published rule set: the business rules, the syntax rules, the code lists. Contexts,
// order and the way each test reads its values follow the published rules; the texts are
// our own.

#include "checks/Rules.h"

#include "model/Bindings.h"

#include <libxml/tree.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>

namespace checks {

namespace {

constexpr TFlag F = TFlag::Fatal;
constexpr TFlag W = TFlag::Warning;

using xq::TEvalError;

// Rule contexts (from the document root) ...
#define CII_ROOT "/rsm:CrossIndustryInvoice"
#define CII_TX CII_ROOT "/rsm:SupplyChainTradeTransaction"
#define CII_LINE CII_TX "/ram:IncludedSupplyChainTradeLineItem"
// ... and paths in tests (from the root element, which they start at).
#define Q_TX "/rsm:SupplyChainTradeTransaction"
#define Q_AGR Q_TX "/ram:ApplicableHeaderTradeAgreement"
#define Q_DEL Q_TX "/ram:ApplicableHeaderTradeDelivery"
#define Q_SET Q_TX "/ram:ApplicableHeaderTradeSettlement"
#define Q_LINE Q_TX "/ram:IncludedSupplyChainTradeLineItem"

// ---- Reading values the way the rules do -------------------------------------------------

// An untyped value cast to xs:boolean ("true", "1", "false", "0", blanks around allowed).
bool Boolean(const QString& value)
{
    const QString t = xq::NormalizeSpace(value);
    if (t == u"true" || t == u"1")
        return true;
    if (t == u"false" || t == u"0")
        return false;
    throw TEvalError{QStringLiteral("„%1“ ist kein Wahrheitswert").arg(value)};
}

// "ram:ChargeIndicator/udt:Indicator = true()": some indicator, read as a boolean, is wanted.
bool IndicatorIs(_xmlNode* allowanceCharge, bool wanted)
{
    for (const QString& v : xq::Values(allowanceCharge, "ram:ChargeIndicator/udt:Indicator")) {
        if (Boolean(v) == wanted)
            return true;
    }
    return false;
}

// "(ram:ChargeIndicator/udt:Indicator cast as xs:boolean) = true()": exactly one indicator.
bool IndicatorCastIs(_xmlNode* allowanceCharge, bool wanted)
{
    const std::vector<QString> values = xq::Values(allowanceCharge, "ram:ChargeIndicator/udt:Indicator");
    if (values.size() != 1)
        throw TEvalError{QStringLiteral("ein Nachlass oder Zuschlag ohne genau eine Angabe, was er ist")};
    return Boolean(values.front()) == wanted;
}

// A decimal where XPath turns it into a double (a comparison with an untyped value).
double AsDouble(const TDecimal& d)
{
    if (!d.IsValid())
        throw TEvalError{QStringLiteral("eine Zahl hat zu viele Stellen")};
    return d.ToString().toDouble();
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

// "round(x * 10 * 10) div 100" on a double, multiplied as the rule writes it.
double Hundredths(double value)
{
    return xq::Round(value * 10 * 10) / 100;
}

// round(xs:decimal($d) * 100) div 100 for a double $d: the double's exact binary value,
// rounded half up to two decimals.
TDecimal HundredthsOfDouble(double value)
{
    if (!std::isfinite(value))
        throw TEvalError{QStringLiteral("eine Summe ist keine Zahl")};
    if (value == 0)
        return TDecimal();
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent); // |value| = fraction * 2^exponent
    // |value| = mantissa * 2^(exponent - 53) with a 53-bit integer mantissa.
    const unsigned long long mantissa = static_cast<unsigned long long>(std::ldexp(fraction, 53));
    const int shift = 53 - exponent; // |value| * 100 = mantissa * 100 / 2^shift
    unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * 100u;
    unsigned __int128 whole = 0;
    bool aboveHalf = false;
    bool exactlyHalf = false;
    if (shift <= 0) {
        if (shift < -60)
            throw TEvalError{QStringLiteral("eine Summe ist zu groß")};
        whole = scaled << -shift;
    } else if (shift >= 120) {
        whole = 0; // far below one hundredth
    } else {
        whole = scaled >> shift;
        const unsigned __int128 rest = scaled - (whole << shift);
        const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
        aboveHalf = rest > half;
        exactlyHalf = rest == half;
    }
    // round() takes a tie towards positive infinity.
    if (value > 0 && (aboveHalf || exactlyHalf))
        ++whole;
    if (value < 0 && aboveHalf)
        ++whole;
    if (whole > static_cast<unsigned __int128>(9'000'000'000'000'000'000ULL))
        throw TEvalError{QStringLiteral("eine Summe ist zu groß")};
    const long long cents = static_cast<long long>(whole);
    return TDecimal::FromInt(value < 0 ? -cents : cents).Divide(TDecimal::FromInt(100), 2);
}

// "upper-case(ram:TypeCode) = 'VAT'" on a tax element (normalize-space first when asked).
bool TypeIsVat(_xmlNode* tax, bool normalize = false)
{
    const std::vector<QString> types = xq::Values(tax, "ram:TypeCode");
    if (types.size() > 1)
        throw TEvalError{QStringLiteral("mehr als eine Steuerart")};
    const QString type = types.empty() ? QString() : types.front().toUpper();
    return (normalize ? xq::NormalizeSpace(type) : type) == u"VAT";
}

bool VatTax(const TCtx& c)
{
    return TypeIsVat(c.Node);
}

// ---- The parties ---------------------------------------------------------------------------

bool TaxIdWithScheme(const std::vector<_xmlNode*>& parties, std::initializer_list<const char*> schemes)
{
    for (_xmlNode* party : parties) {
        for (_xmlNode* id : xq::Select(party, "ram:SpecifiedTaxRegistration/ram:ID")) {
            if (!xq::HasAttribute(id, "schemeID"))
                continue;
            const QString scheme = xq::AttributeValue(id, "schemeID");
            for (const char* s : schemes) {
                if (scheme == QLatin1String(s))
                    return true;
            }
        }
    }
    return false;
}

std::vector<_xmlNode*> Seller(const TCtx& c)
{
    return c.Doc.FromRoot(Q_AGR "/ram:SellerTradeParty");
}

std::vector<_xmlNode*> Representative(const TCtx& c)
{
    return c.Doc.FromRoot(Q_AGR "/ram:SellerTaxRepresentativeTradeParty");
}

// Seller VAT identifier or tax number, or the representative's VAT identifier (S, Z, E, L, M).
bool SellerTaxIds(const TCtx& c)
{
    return TaxIdWithScheme(Seller(c), {"VA", "FC"}) || TaxIdWithScheme(Representative(c), {"VA"});
}

// The same for reverse charge, with the buyer's VAT identifier or legal registration; the
// rule looks for the parties anywhere in the document.
bool ReverseChargeIds(const TCtx& c)
{
    const bool seller = TaxIdWithScheme(c.Doc.All("ram:SellerTradeParty"), {"VA", "FC"})
        || TaxIdWithScheme(c.Doc.All("ram:SellerTaxRepresentativeTradeParty"), {"VA"});
    bool buyerLegal = false;
    for (_xmlNode* buyer : c.Doc.All("ram:BuyerTradeParty"))
        buyerLegal = buyerLegal || xq::Exists(buyer, "ram:SpecifiedLegalOrganization/ram:ID");
    return seller && (TaxIdWithScheme(c.Doc.All("ram:BuyerTradeParty"), {"VA"}) || buyerLegal);
}

bool SellerOrRepresentativeVatAnywhere(const TCtx& c)
{
    return TaxIdWithScheme(c.Doc.All("ram:SellerTradeParty"), {"VA"})
        || TaxIdWithScheme(c.Doc.All("ram:SellerTaxRepresentativeTradeParty"), {"VA"});
}

// Intra-community supply: seller or representative and buyer with VAT identifiers.
bool IntraCommunityIds(const TCtx& c)
{
    return SellerOrRepresentativeVatAnywhere(c) && TaxIdWithScheme(c.Doc.All("ram:BuyerTradeParty"), {"VA"});
}

// Not subject to VAT: no VAT identifier of seller, representative or buyer.
bool NoVatIds(const TCtx& c)
{
    return !TaxIdWithScheme(Seller(c), {"VA"}) && !TaxIdWithScheme(Representative(c), {"VA"})
        && !TaxIdWithScheme(c.Doc.All("ram:BuyerTradeParty"), {"VA"});
}

// ---- VAT categories --------------------------------------------------------------------------

// BR-O-11 to 14: every tax element of that name anywhere has the category O (and no other).
bool OnlyCategoryO(const TCtx& c, const char* element)
{
    for (_xmlNode* tax : c.Doc.All(element))
        for (const QString& code : xq::Values(tax, "ram:CategoryCode"))
            if (code != u"O")
                return false;
    return true;
}

// Tax elements of the category: "//parent/ram:ApplicableTradeTax[ram:CategoryCode='X']" (a
// null parent: any).
int CountTaxes(const TCtx& c, const char* element, const char* parent, const char* code)
{
    int n = 0;
    for (_xmlNode* tax : c.Doc.All(element)) {
        if (parent && !xq::Is(xq::ParentElement(tax), parent))
            continue;
        if (xq::AnyIs(tax, "ram:CategoryCode", code))
            ++n;
    }
    return n;
}

int LineTaxes(const TCtx& c, const char* code)
{
    return CountTaxes(c, "ram:ApplicableTradeTax", "ram:SpecifiedLineTradeSettlement", code);
}

int BreakdownTaxes(const TCtx& c, const char* code)
{
    return CountTaxes(c, "ram:ApplicableTradeTax", "ram:ApplicableHeaderTradeSettlement", code);
}

int AllowanceTaxes(const TCtx& c, const char* code)
{
    return CountTaxes(c, "ram:CategoryTradeTax", nullptr, code);
}

// BR-S-01, BR-AF-01, BR-AG-01: where used, the breakdown has the category.
bool AtLeastOneBreakdown(const TCtx& c, const char* code)
{
    const int header = BreakdownTaxes(c, code);
    const int lines = LineTaxes(c, code);
    const int allowances = AllowanceTaxes(c, code);
    return (lines + header >= 2 || lines == 0) && (allowances + header >= 2 || allowances == 0);
}

// BR-Z-01 and its kin: where used, exactly one breakdown of the category.
bool ExactlyOneBreakdown(const TCtx& c, const char* code)
{
    const int header = BreakdownTaxes(c, code);
    const int lines = LineTaxes(c, code);
    const int allowances = AllowanceTaxes(c, code);
    return (header == 0 && lines == 0 && allowances == 0) || (header == 1 && (lines > 0 || allowances > 0));
}

enum class TIndicator { Compare, Cast };

bool ChargeMatches(_xmlNode* allowanceCharge, bool charge, TIndicator indicator)
{
    return indicator == TIndicator::Cast ? IndicatorCastIs(allowanceCharge, charge) : IndicatorIs(allowanceCharge, charge);
}

bool RateIs(_xmlNode* node, const char* path, const TDecimal& rate)
{
    bool found = false;
    for (const QString& v : xq::Values(node, path))
        found = xq::Decimal(v) == rate || found;
    return found;
}

TDecimal SumOf(_xmlNode* node, const char* path, TDecimal sum)
{
    for (const QString& v : xq::Values(node, path))
        sum += xq::Decimal(v);
    if (!sum.IsValid())
        throw TEvalError{QStringLiteral("die Summe hat zu viele Stellen")};
    return sum;
}

// The lines plus the document charges minus the document allowances of the category (and,
// with a rate, of that rate), each sum rounded to cents, in decimals.
// EXTENDED: a line that only groups sub-lines or informs (BT-X-8 other than DETAIL) is not
// summed; logistics service fees (BT-X-272) count as charges.
bool Extended(const TCtx& c)
{
    return c.Doc.Facts.Profile == TFxProfile::Extended;
}

bool SummedLine(const TCtx& c, _xmlNode* line)
{
    if (!Extended(c))
        return true;
    const std::vector<QString> kinds = xq::Values(line, "ram:AssociatedDocumentLineDocument/ram:LineStatusReasonCode");
    return kinds.empty() || xq::NormalizeSpace(kinds.front()) == QLatin1String("DETAIL");
}

const std::vector<_xmlNode*>& LogisticsFees(const TCtx& c)
{
    static const std::vector<_xmlNode*> kNone;
    return Extended(c) ? c.Doc.FromRoot(Q_SET "/ram:SpecifiedLogisticsServiceCharge") : kNone;
}

TDecimal CategoryTotal(const TCtx& c, const char* code, const TDecimal* rate, TIndicator indicator)
{
    TDecimal lines;
    for (_xmlNode* line : c.Doc.FromRoot(Q_LINE)) {
        if (!SummedLine(c, line))
            continue;
        for (_xmlNode* settlement : xq::Select(line, "ram:SpecifiedLineTradeSettlement")) {
            if (!xq::AnyIs(settlement, "ram:ApplicableTradeTax/ram:CategoryCode", code))
                continue;
            if (rate && !RateIs(settlement, "ram:ApplicableTradeTax/ram:RateApplicablePercent", *rate))
                continue;
            lines = SumOf(settlement, "ram:SpecifiedTradeSettlementLineMonetarySummation/ram:LineTotalAmount", lines);
        }
    }
    TDecimal charges;
    TDecimal allowances;
    for (_xmlNode* ac : c.Doc.FromRoot(Q_SET "/ram:SpecifiedTradeAllowanceCharge")) {
        for (bool charge : {true, false}) {
            if (!ChargeMatches(ac, charge, indicator) || !xq::AnyIs(ac, "ram:CategoryTradeTax/ram:CategoryCode", code))
                continue;
            if (rate && !RateIs(ac, "ram:CategoryTradeTax/ram:RateApplicablePercent", *rate))
                continue;
            TDecimal& sum = charge ? charges : allowances;
            sum = SumOf(ac, "ram:ActualAmount", sum);
        }
    }
    for (_xmlNode* fee : LogisticsFees(c)) {
        if (!xq::AnyIs(fee, "ram:AppliedTradeTax/ram:CategoryCode", code))
            continue;
        if (rate && !RateIs(fee, "ram:AppliedTradeTax/ram:RateApplicablePercent", *rate))
            continue;
        charges = SumOf(fee, "ram:AppliedAmount", charges);
    }
    return Round2(lines) + Round2(charges) - Round2(allowances);
}

// BR-S-08, BR-AF-08, BR-AG-08: for every rate of the breakdown, its taxable amount is the
// total of that rate. Both paths are read from the context's parent: from the category code
// (S) that is the breakdown; from the breakdown itself (L, M) it is the settlement, where the
// rule finds no rate and so holds.
bool TaxableMatchesEachRate(const TCtx& c, const char* code)
{
    for (const QString& rateText : c.Vals("../ram:RateApplicablePercent")) {
        const TDecimal rate = xq::Decimal(rateText);
        const double expected = AsDouble(CategoryTotal(c, code, &rate, TIndicator::Compare));
        if (!SomeNumber(c, "../ram:BasisAmount", [&](double basis) { return basis == expected; }))
            return false;
    }
    return true;
}

// BR-Z-08 and its kin: the taxable amount within 1 of the category total.
bool TaxableNearTotal(const TCtx& c, const char* code, TIndicator indicator)
{
    const std::optional<QString> basisText = OneValue(c, "../ram:BasisAmount");
    if (!basisText)
        return false;
    const double basis = xq::Double(*basisText);
    const double expected = AsDouble(CategoryTotal(c, code, nullptr, indicator));
    return basis - 1 < expected && basis + 1 > expected;
}

bool PercentIs(const TCtx& c, double value)
{
    return SomeNumber(c, "ram:RateApplicablePercent", [&](double v) { return v == value; });
}

bool PercentPositive(const TCtx& c)
{
    return SomeNumber(c, "ram:RateApplicablePercent", [](double v) { return v > 0; });
}

bool PercentNotNegative(const TCtx& c)
{
    return SomeNumber(c, "ram:RateApplicablePercent", [](double v) { return v >= 0; });
}

bool NoPercent(const TCtx& c)
{
    return !c.Has("ram:RateApplicablePercent");
}

bool ParentTaxZero(const TCtx& c)
{
    return SomeNumber(c, "../ram:CalculatedAmount", [](double v) { return v == 0; });
}

bool ParentExemption(const TCtx& c)
{
    return c.Has("../ram:ExemptionReason") || c.Has("../ram:ExemptionReasonCode");
}

bool ParentNoExemption(const TCtx& c)
{
    return !c.Has("../ram:ExemptionReason") && !c.Has("../ram:ExemptionReasonCode");
}

bool NoExemption(const TCtx& c)
{
    return !c.Has("ram:ExemptionReason") && !c.Has("ram:ExemptionReasonCode");
}

// Filters of the contexts.
bool UnderAllowance(const TCtx& c)
{
    return IndicatorIs(xq::ParentElement(c.Node), false) && TypeIsVat(c.Node);
}

bool UnderCharge(const TCtx& c)
{
    return IndicatorIs(xq::ParentElement(c.Node), true) && TypeIsVat(c.Node);
}

bool ParentTypeVat(const TCtx& c)
{
    return TypeIsVat(xq::ParentElement(c.Node));
}

// Contexts for one category: the breakdown, allowances, charges, lines.
const char* LineTaxContext(const char* code)
{
    return KeepText(std::string("rsm:SupplyChainTradeTransaction/ram:IncludedSupplyChainTradeLineItem/"
                                "ram:SpecifiedLineTradeSettlement/ram:ApplicableTradeTax[ram:CategoryCode=='")
                    + code + "']");
}

const char* AllowanceTaxContext(const char* code)
{
    return KeepText(std::string("ram:SpecifiedTradeAllowanceCharge/ram:CategoryTradeTax[ram:CategoryCode=='") + code + "']");
}

const char* BreakdownTaxContext(const char* code)
{
    return KeepText(std::string("rsm:SupplyChainTradeTransaction/ram:ApplicableHeaderTradeSettlement/ram:ApplicableTradeTax[ram:CategoryCode=='")
                    + code + "']");
}

const char* BreakdownCodeContext(const char* code, bool fromTransaction)
{
    return KeepText(std::string(fromTransaction ? "rsm:SupplyChainTradeTransaction/" : "")
                    + "ram:ApplicableHeaderTradeSettlement/ram:ApplicableTradeTax/ram:CategoryCode[.=='" + code + "']");
}

// ---- Totals -------------------------------------------------------------------------------

std::vector<_xmlNode*> DocumentCharges(const TCtx& c, bool charge)
{
    std::vector<_xmlNode*> found;
    for (_xmlNode* ac : c.Doc.FromRoot(Q_SET "/ram:SpecifiedTradeAllowanceCharge")) {
        if (IndicatorIs(ac, charge))
            found.push_back(ac);
    }
    return found;
}

// BR-CO-11, BR-CO-12: the total of the document allowances (charges), in doubles.
bool ChargeTotalHolds(const TCtx& c, bool charge, const char* totalPath)
{
    const std::vector<_xmlNode*> charges = DocumentCharges(c, charge);
    if (charges.empty() && (!charge || LogisticsFees(c).empty()) && !c.Has(totalPath))
        return true;
    double sum = 0;
    for (_xmlNode* ac : charges)
        for (const QString& v : xq::Values(ac, "ram:ActualAmount"))
            sum += xq::Double(v);
    if (charge) {
        for (_xmlNode* fee : LogisticsFees(c))
            for (const QString& v : xq::Values(fee, "ram:AppliedAmount"))
                sum += xq::Double(v);
    }
    const double expected = Hundredths(sum);
    return SomeNumber(c, totalPath, [&](double total) { return total == expected; });
}

bool Equal(const std::optional<TDecimal>& a, const TDecimal& b)
{
    if (!b.IsValid())
        throw TEvalError{QStringLiteral("eine Zahl hat zu viele Stellen")};
    return a && *a == b;
}

// "xs:decimal(x)" as a condition: present and not zero.
bool DecimalTrue(const std::optional<TDecimal>& d)
{
    return d && !d->IsZero();
}

std::vector<QString> InvoiceCurrencies(const TCtx& c)
{
    return c.Vals(Q_SET "/ram:InvoiceCurrencyCode");
}

bool CurrencyAmong(_xmlNode* amount, const std::vector<QString>& currencies)
{
    if (!xq::HasAttribute(amount, "currencyID"))
        return false;
    const QString currency = xq::AttributeValue(amount, "currencyID");
    return std::find(currencies.begin(), currencies.end(), currency) != currencies.end();
}

// "//ram:SpecifiedTradeSettlementHeaderMonetarySummation/xs:decimal(path)": one value per
// summation, or an error where the rule adds them up.
std::vector<TDecimal> SummationDecimals(const TCtx& c, const char* path)
{
    std::vector<TDecimal> values;
    for (_xmlNode* summation : c.Doc.All("ram:SpecifiedTradeSettlementHeaderMonetarySummation"))
        for (const QString& v : xq::Values(summation, path))
            values.push_back(xq::Decimal(v));
    return values;
}

std::optional<TDecimal> Single(const std::vector<TDecimal>& values)
{
    if (values.size() > 1)
        throw TEvalError{QStringLiteral("mehr als ein Wert, wo die Regel einen erwartet")};
    if (values.empty())
        return std::nullopt;
    return values.front();
}

bool AnyEqual(const std::vector<TDecimal>& a, const std::vector<TDecimal>& b)
{
    for (const TDecimal& x : a)
        for (const TDecimal& y : b)
            if (x == y)
                return true;
    return false;
}

// BR-CO-15: for the invoice currency, the total with VAT is the total without VAT plus the
// VAT total, or equals the total without VAT.
bool GrandTotalHolds(const TCtx& c)
{
    const std::vector<TDecimal> grand = SummationDecimals(c, "ram:GrandTotalAmount");
    const std::vector<TDecimal> basis = SummationDecimals(c, "ram:TaxBasisTotalAmount");
    for (const QString& currency : InvoiceCurrencies(c)) {
        int taxTotals = 0;
        for (_xmlNode* amount : c.Sel(Q_SET "/ram:SpecifiedTradeSettlementHeaderMonetarySummation/ram:TaxTotalAmount"))
            if (CurrencyAmong(amount, {currency}))
                ++taxTotals;
        bool holds = false;
        if (taxTotals == 1) {
            std::vector<TDecimal> taxes;
            for (_xmlNode* summation : c.Doc.All("ram:SpecifiedTradeSettlementHeaderMonetarySummation"))
                for (_xmlNode* amount : xq::Select(summation, "ram:TaxTotalAmount"))
                    if (CurrencyAmong(amount, {currency}))
                        taxes.push_back(xq::Decimal(xq::StringValue(amount)));
            const std::optional<TDecimal> b = Single(basis);
            const std::optional<TDecimal> t = Single(taxes);
            if (b && t) {
                const TDecimal expected = Round2(*b + *t);
                for (const TDecimal& g : grand)
                    holds = holds || g == expected;
            }
        }
        if (!holds && !AnyEqual(grand, basis))
            return false;
    }
    return true;
}

// BR-CO-16: due = total - paid + rounding, in decimals, paid and rounding of 0 as absent.
bool DueHolds(const TCtx& c)
{
    const std::optional<TDecimal> due = OneDecimal(c, "ram:DuePayableAmount");
    const std::optional<TDecimal> grand = OneDecimal(c, "ram:GrandTotalAmount");
    const std::optional<TDecimal> paid = OneDecimal(c, "ram:TotalPrepaidAmount");
    const std::optional<TDecimal> rounding = OneDecimal(c, "ram:RoundingAmount");
    if (!due || !grand)
        return false;
    if (paid && rounding && *due == *grand - *paid + *rounding)
        return true;
    if (rounding && *due == *grand + *rounding && !DecimalTrue(paid))
        return true;
    if (paid && *due == *grand - *paid && !DecimalTrue(rounding))
        return true;
    return *due == *grand && !DecimalTrue(paid) && !DecimalTrue(rounding);
}

// BR-CO-13: the total without VAT from the line total, allowances and charges, in decimals.
bool TaxBasisHolds(const TCtx& c)
{
    const std::optional<TDecimal> basis = OneDecimal(c, "ram:TaxBasisTotalAmount");
    const std::optional<TDecimal> lines = OneDecimal(c, "ram:LineTotalAmount");
    const std::optional<TDecimal> allowances = OneDecimal(c, "ram:AllowanceTotalAmount");
    const std::optional<TDecimal> charges = OneDecimal(c, "ram:ChargeTotalAmount");
    const bool hasAllowances = c.Has("ram:AllowanceTotalAmount");
    const bool hasCharges = c.Has("ram:ChargeTotalAmount");
    if (!basis || !lines)
        return false;
    if (allowances && charges && Equal(basis, Round2(*lines - *allowances + *charges)))
        return true;
    if (allowances && Equal(basis, Round2(*lines - *allowances)) && !hasCharges)
        return true;
    if (charges && Equal(basis, Round2(*lines + *charges)) && !hasAllowances)
        return true;
    return Equal(basis, Round2(*lines)) && !hasCharges && !hasAllowances;
}

// BR-CO-17: the VAT amount of a breakdown from its taxable amount and rate.
bool BreakdownTaxHolds(const TCtx& c)
{
    std::optional<TDecimal> rate;
    if (TypeIsVat(c.Node, true))
        rate = OneDecimal(c, "ram:RateApplicablePercent");
    const std::optional<TDecimal> tax = OneDecimal(c, "ram:CalculatedAmount");
    const std::optional<TDecimal> basis = OneDecimal(c, "ram:BasisAmount");
    const auto roundedZero = [](const std::optional<TDecimal>& d) { return d && d->RoundHalfUp(0).IsZero(); };
    if (rate && roundedZero(rate) && roundedZero(tax))
        return true;
    if (rate && !rate->RoundHalfUp(0).IsZero() && tax && basis) {
        const TDecimal expected = Round2(basis->Abs() * rate->Divide(TDecimal::FromInt(100), rate->Scale() + 2));
        const TDecimal t = tax->Abs();
        if (!expected.IsValid() || !t.IsValid())
            throw TEvalError{QStringLiteral("eine Zahl hat zu viele Stellen")};
        if (t - TDecimal::FromInt(1) <= expected && t + TDecimal::FromInt(1) >= expected)
            return true;
    }
    return !rate && roundedZero(tax);
}

// BR-S-09: the VAT amount within 1 of taxable amount times rate (the product in doubles).
bool StandardTaxNear(const TCtx& c)
{
    const std::optional<TDecimal> tax = OneDecimal(c, "../ram:CalculatedAmount");
    const std::optional<TDecimal> basis = OneDecimal(c, "../ram:BasisAmount");
    const std::optional<QString> rate = OneValue(c, "../ram:RateApplicablePercent");
    if (!tax || !basis || !rate)
        return false;
    const double expected = xq::Round(AsDouble(basis->Abs()) * xq::Double(*rate)) / 100;
    return AsDouble(tax->Abs() - TDecimal::FromInt(1)) < expected && AsDouble(tax->Abs() + TDecimal::FromInt(1)) > expected;
}

// "string-length(substring-after(x, '.')) <= 2" on an untyped value read as a double, as
// BR-DEC-13 and BR-DEC-15 do it: ". = round(. * 100) div 100".
bool CentsExact(_xmlNode* amount)
{
    const double v = xq::Double(xq::StringValue(amount));
    return v == xq::Round(v * 100) / 100;
}

// BR-62, BR-63: "normalize-space(party/ram:URIUniversalCommunication[1]/ram:URIID/@schemeID)
// != '' or not(party/ram:URIUniversalCommunication)".
bool FirstAddressHasScheme(const TCtx& c, const char* path)
{
    const std::vector<_xmlNode*> addresses = c.Sel(path);
    if (addresses.empty())
        return true;
    return Filled(c.At(addresses.front()), "ram:URIID/@schemeID");
}

// ---- The business rules ---------------------------------------------------------------------

TPattern ModelPattern()
{
    TPattern p{"EN 16931: Geschäftsregeln", {}};
    std::vector<TRule>& r = p.Rules;

    r.push_back({"ram:DesignatedProductClassification",
                 {{"BR-65", F,
                   [](const TCtx& c) { return Filled(c, "ram:ClassCode/@listID") || !c.Has("ram:ClassCode"); },
                   "Die Artikelklassifizierung (BT-158) braucht ein Schema (listID)."}}});
    r.push_back({"ram:AdditionalReferencedDocument",
                 {{"BR-52", F, [](const TCtx& c) { return Filled(c, "ram:IssuerAssignedID"); },
                   "Jede rechnungsbegründende Unterlage (BG-24) braucht eine Kennung (BT-122)."}}});
    r.push_back({"ram:ApplicableTradeSettlementFinancialCard",
                 {{"BR-51", F,
                   [](const TCtx& c) {
                       const std::optional<QString> id = OneValue(c, "ram:ID");
                       return !id || id->size() <= 10;
                   },
                   "Von der Kartennummer (BT-87) dürfen höchstens die ersten sechs und die letzten vier Stellen stehen."}}});
    r.push_back({"ram:SpecifiedTradeSettlementPaymentMeans[ram:TypeCode=='30']/ram:PayeePartyCreditorFinancialAccount|"
                 "ram:SpecifiedTradeSettlementPaymentMeans[ram:TypeCode=='58']/ram:PayeePartyCreditorFinancialAccount",
                 {{"BR-50", F, [](const TCtx& c) { return c.Has("ram:IBANID") || c.Has("ram:ProprietaryID"); },
                   "Bei einer Überweisung (BG-17) muss die Kontokennung (BT-84) stehen."},
                  {"BR-61", F, [](const TCtx& c) { return c.Has("ram:IBANID") || c.Has("ram:ProprietaryID"); },
                   "Bei SEPA-, Inlands- oder Auslandsüberweisung muss die Kontokennung (BT-84) stehen."}}});
    r.push_back({CII_TX "/ram:ApplicableHeaderTradeDelivery",
                 {{"BR-57", F,
                   [](const TCtx& c) {
                       if (!c.Has("ram:ShipToTradeParty/ram:PostalTradeAddress"))
                           return true;
                       return Filled(c, "ram:ShipToTradeParty/ram:PostalTradeAddress/ram:CountryID");
                   },
                   "Die Lieferanschrift (BG-15) braucht einen Ländercode (BT-80)."}}});

    const auto allowanceAsserts = [](bool line) {
        std::vector<TAssert> a;
        if (!line) {
            a = {{"BR-31", F, [](const TCtx& c) { return c.Has("../ram:ActualAmount"); },
                  "Ein Nachlass auf Dokumentebene (BG-20) braucht einen Betrag (BT-92)."},
                 {"BR-32", F,
                  [](const TCtx& c) {
                      for (_xmlNode* tax : c.Sel("../ram:CategoryTradeTax"))
                          if (TypeIsVat(tax) && xq::Exists(tax, "ram:CategoryCode"))
                              return true;
                      return false;
                  },
                  "Ein Nachlass auf Dokumentebene (BG-20) braucht eine Umsatzsteuerkategorie (BT-95)."},
                 {"BR-33", F, [](const TCtx& c) { return c.Has("../ram:Reason") || c.Has("../ram:ReasonCode"); },
                  "Ein Nachlass auf Dokumentebene (BG-20) braucht einen Grund (BT-97) oder dessen Code (BT-98)."},
                 {"BR-CO-21", F, [](const TCtx& c) { return c.Has("../ram:Reason") || c.Has("../ram:ReasonCode"); },
                  "Ein Nachlass auf Dokumentebene (BG-20) braucht einen Grund (BT-97), dessen Code (BT-98) oder beides."},
                 {"BR-DEC-01", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "../ram:ActualAmount"); },
                  "Der Betrag eines Nachlasses auf Dokumentebene (BT-92) hat höchstens zwei Nachkommastellen."},
                 {"BR-DEC-02", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "../ram:BasisAmount"); },
                  "Der Grundbetrag eines Nachlasses auf Dokumentebene (BT-93) hat höchstens zwei Nachkommastellen."}};
        } else {
            a = {{"BR-41", F, [](const TCtx& c) { return c.Has("../ram:ActualAmount"); },
                  "Ein Nachlass auf Positionsebene (BG-27) braucht einen Betrag (BT-136)."},
                 {"BR-42", F, [](const TCtx& c) { return c.Has("../ram:Reason") || c.Has("../ram:ReasonCode"); },
                  "Ein Nachlass auf Positionsebene (BG-27) braucht einen Grund (BT-139) oder dessen Code (BT-140)."},
                 {"BR-CO-23", F, [](const TCtx& c) { return c.Has("../ram:Reason") || c.Has("../ram:ReasonCode"); },
                  "Ein Nachlass auf Positionsebene (BG-27) braucht einen Grund (BT-139), dessen Code (BT-140) oder beides."},
                 {"BR-DEC-24", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "../ram:ActualAmount"); },
                  "Der Betrag eines Nachlasses auf Positionsebene (BT-136) hat höchstens zwei Nachkommastellen."},
                 {"BR-DEC-25", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "../ram:BasisAmount"); },
                  "Der Grundbetrag eines Nachlasses auf Positionsebene (BT-137) hat höchstens zwei Nachkommastellen."}};
        }
        return a;
    };
    r.push_back({"ram:ApplicableHeaderTradeSettlement/ram:SpecifiedTradeAllowanceCharge/ram:ChargeIndicator[udt:Indicator=='false']",
                 allowanceAsserts(false)});
    r.push_back({"ram:ApplicableHeaderTradeSettlement/ram:SpecifiedTradeAllowanceCharge/ram:ChargeIndicator[udt:Indicator=='true']",
                 {{"BR-36", F, [](const TCtx& c) { return c.Has("../ram:ActualAmount"); },
                   "Ein Zuschlag auf Dokumentebene (BG-21) braucht einen Betrag (BT-99)."},
                  {"BR-37", F,
                   [](const TCtx& c) {
                       for (_xmlNode* tax : c.Sel("../ram:CategoryTradeTax"))
                           if (TypeIsVat(tax) && xq::Exists(tax, "ram:CategoryCode"))
                               return true;
                       return false;
                   },
                   "Ein Zuschlag auf Dokumentebene (BG-21) braucht eine Umsatzsteuerkategorie (BT-102)."},
                  {"BR-38", F, [](const TCtx& c) { return c.Has("../ram:Reason") || c.Has("../ram:ReasonCode"); },
                   "Ein Zuschlag auf Dokumentebene (BG-21) braucht einen Grund (BT-104) oder dessen Code (BT-105)."},
                  {"BR-CO-22", F, [](const TCtx& c) { return c.Has("../ram:Reason") || c.Has("../ram:ReasonCode"); },
                   "Ein Zuschlag auf Dokumentebene (BG-21) braucht einen Grund (BT-104), dessen Code (BT-105) oder beides."},
                  {"BR-DEC-05", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "../ram:ActualAmount"); },
                   "Der Betrag eines Zuschlags auf Dokumentebene (BT-99) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-06", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "../ram:BasisAmount"); },
                   "Der Grundbetrag eines Zuschlags auf Dokumentebene (BT-100) hat höchstens zwei Nachkommastellen."}}});

    r.push_back({"ram:SpecifiedTradeSettlementHeaderMonetarySummation",
                 {{"BR-12", F, [](const TCtx& c) { return c.Has("ram:LineTotalAmount"); },
                   "Die Rechnung braucht die Summe der Positionsbeträge (BT-106)."},
                  {"BR-13", F, [](const TCtx& c) { return c.Has("ram:TaxBasisTotalAmount"); },
                   "Die Rechnung braucht den Gesamtbetrag ohne Umsatzsteuer (BT-109)."},
                  {"BR-14", F, [](const TCtx& c) { return c.Has("ram:GrandTotalAmount"); },
                   "Die Rechnung braucht den Gesamtbetrag mit Umsatzsteuer (BT-112)."},
                  {"BR-15", F, [](const TCtx& c) { return c.Has("ram:DuePayableAmount"); },
                   "Die Rechnung braucht den fälligen Betrag (BT-115)."},
                  {"BR-53", F,
                   [](const TCtx& c) {
                       const std::vector<QString> taxCurrencies = c.Vals(Q_SET "/ram:TaxCurrencyCode");
                       if (taxCurrencies.empty())
                           return true;
                       bool inTaxCurrency = false;
                       for (_xmlNode* amount : c.Sel("ram:TaxTotalAmount"))
                           inTaxCurrency = inTaxCurrency || CurrencyAmong(amount, taxCurrencies);
                       bool sameAsInvoice = false;
                       for (const QString& currency : InvoiceCurrencies(c))
                           sameAsInvoice = sameAsInvoice
                               || std::find(taxCurrencies.begin(), taxCurrencies.end(), currency) != taxCurrencies.end();
                       return inTaxCurrency && !sameAsInvoice;
                   },
                   "Ist eine Steuerwährung (BT-6) angegeben, muss der Umsatzsteuerbetrag in dieser Währung (BT-111) stehen, "
                   "und sie muss von der Rechnungswährung verschieden sein."},
                  {"BR-CO-10", F,
                   [](const TCtx& c) {
                       double sum = 0;
                       for (_xmlNode* line : c.Sel("../../ram:IncludedSupplyChainTradeLineItem")) {
                           if (!SummedLine(c, line))
                               continue;
                           for (const QString& v : xq::Values(line, "ram:SpecifiedLineTradeSettlement/"
                                                                    "ram:SpecifiedTradeSettlementLineMonetarySummation/ram:LineTotalAmount"))
                               sum += xq::Double(v);
                       }
                       return Equal(OneDecimal(c, "ram:LineTotalAmount"), HundredthsOfDouble(sum));
                   },
                   "Die Summe der Positionsbeträge (BT-106) muss die Summe der Nettobeträge der Positionen (BT-131) sein."},
                  {"BR-CO-11", F, [](const TCtx& c) { return ChargeTotalHolds(c, false, "ram:AllowanceTotalAmount"); },
                   "Die Summe der Nachlässe auf Dokumentebene (BT-107) muss die Summe der einzelnen Nachlässe (BT-92) sein."},
                  {"BR-CO-12", F, [](const TCtx& c) { return ChargeTotalHolds(c, true, "ram:ChargeTotalAmount"); },
                   "Die Summe der Zuschläge auf Dokumentebene (BT-108) muss die Summe der einzelnen Zuschläge (BT-99) sein."},
                  {"BR-CO-13", F, TaxBasisHolds,
                   "Der Gesamtbetrag ohne Umsatzsteuer (BT-109) muss die Summe der Positionen (BT-106) minus Nachlässe (BT-107) "
                   "plus Zuschläge (BT-108) sein."},
                  {"BR-CO-16", F, DueHolds,
                   "Der fällige Betrag (BT-115) muss der Gesamtbetrag mit Umsatzsteuer (BT-112) minus Vorauszahlung (BT-113) "
                   "plus Rundungsbetrag (BT-114) sein."},
                  {"BR-DEC-09", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:LineTotalAmount"); },
                   "Die Summe der Positionsbeträge (BT-106) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-10", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:AllowanceTotalAmount"); },
                   "Die Summe der Nachlässe (BT-107) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-11", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:ChargeTotalAmount"); },
                   "Die Summe der Zuschläge (BT-108) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-12", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:TaxBasisTotalAmount"); },
                   "Der Gesamtbetrag ohne Umsatzsteuer (BT-109) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-14", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:GrandTotalAmount"); },
                   "Der Gesamtbetrag mit Umsatzsteuer (BT-112) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-13", F,
                   [](const TCtx& c) {
                       const std::vector<_xmlNode*> amounts = c.Sel("ram:TaxTotalAmount");
                       if (amounts.empty())
                           return true;
                       const std::vector<QString> currencies = InvoiceCurrencies(c);
                       for (_xmlNode* amount : amounts) {
                           const bool inInvoiceCurrency = CurrencyAmong(amount, currencies);
                           if ((inInvoiceCurrency && CentsExact(amount)) || !inInvoiceCurrency)
                               return true;
                       }
                       return false;
                   },
                   "Der Umsatzsteuerbetrag (BT-110) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-15", F,
                   [](const TCtx& c) {
                       const std::vector<_xmlNode*> amounts = c.Sel("ram:TaxTotalAmount");
                       if (amounts.empty())
                           return true;
                       const std::vector<QString> currencies = c.Vals(Q_SET "/ram:TaxCurrencyCode");
                       for (_xmlNode* amount : amounts) {
                           if ((CurrencyAmong(amount, currencies) && CentsExact(amount)) || currencies.empty())
                               return true;
                       }
                       return false;
                   },
                   "Der Umsatzsteuerbetrag in Steuerwährung (BT-111) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-16", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:TotalPrepaidAmount"); },
                   "Die Vorauszahlung (BT-113) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-17", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:RoundingAmount"); },
                   "Der Rundungsbetrag (BT-114) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-18", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:DuePayableAmount"); },
                   "Der fällige Betrag (BT-115) hat höchstens zwei Nachkommastellen."}}});

    std::vector<TAssert> root = {
        {"BR-01", F, [](const TCtx& c) { return Filled(c, "rsm:ExchangedDocumentContext/ram:GuidelineSpecifiedDocumentContextParameter/ram:ID"); },
         "Die Rechnung braucht die Kennung ihres Regelwerks (BT-24)."},
        {"BR-02", F, [](const TCtx& c) { return Filled(c, "rsm:ExchangedDocument/ram:ID"); }, "Die Rechnung braucht eine Rechnungsnummer (BT-1)."},
        {"BR-03", F, [](const TCtx& c) { return Filled(c, "rsm:ExchangedDocument/ram:IssueDateTime/udt:DateTimeString[@format=='102']"); },
         "Die Rechnung braucht ein Rechnungsdatum (BT-2)."},
        {"BR-04", F, [](const TCtx& c) { return Filled(c, "rsm:ExchangedDocument/ram:TypeCode"); },
         "Die Rechnung braucht den Code der Rechnungsart (BT-3)."},
        {"BR-05", F, [](const TCtx& c) { return Filled(c, Q_SET "/ram:InvoiceCurrencyCode"); },
         "Die Rechnung braucht die Rechnungswährung (BT-5)."},
        {"BR-06", F, [](const TCtx& c) { return Filled(c, Q_AGR "/ram:SellerTradeParty/ram:Name"); },
         "Die Rechnung braucht den Namen des Verkäufers (BT-27)."},
        {"BR-07", F, [](const TCtx& c) { return Filled(c, Q_AGR "/ram:BuyerTradeParty/ram:Name"); },
         "Die Rechnung braucht den Namen des Käufers (BT-44)."},
        {"BR-08", F, [](const TCtx& c) { return c.Has(Q_AGR "/ram:SellerTradeParty/ram:PostalTradeAddress"); },
         "Die Rechnung braucht die Anschrift des Verkäufers (BG-5)."},
        {"BR-09", F, [](const TCtx& c) { return Filled(c, Q_AGR "/ram:SellerTradeParty/ram:PostalTradeAddress/ram:CountryID"); },
         "Die Anschrift des Verkäufers braucht einen Ländercode (BT-40)."},
        {"BR-10", F, [](const TCtx& c) { return c.Has(Q_AGR "/ram:BuyerTradeParty/ram:PostalTradeAddress"); },
         "Die Rechnung braucht die Anschrift des Käufers (BG-8)."},
        {"BR-11", F, [](const TCtx& c) { return Filled(c, Q_AGR "/ram:BuyerTradeParty/ram:PostalTradeAddress/ram:CountryID"); },
         "Die Anschrift des Käufers braucht einen Ländercode (BT-55)."},
        {"BR-16", F, [](const TCtx& c) { return !c.Doc.All("ram:IncludedSupplyChainTradeLineItem").empty(); },
         "Die Rechnung braucht mindestens eine Position (BG-25)."},
        {"BR-62", F, [](const TCtx& c) { return FirstAddressHasScheme(c, Q_AGR "/ram:SellerTradeParty/ram:URIUniversalCommunication"); },
         "Die elektronische Adresse des Verkäufers (BT-34) braucht ein Schema (schemeID)."},
        {"BR-63", F, [](const TCtx& c) { return FirstAddressHasScheme(c, Q_AGR "/ram:BuyerTradeParty/ram:URIUniversalCommunication"); },
         "Die elektronische Adresse des Käufers (BT-49) braucht ein Schema (schemeID)."},
        {"BR-CO-15", F, GrandTotalHolds,
         "Der Gesamtbetrag mit Umsatzsteuer (BT-112) muss der Gesamtbetrag ohne Umsatzsteuer (BT-109) plus der "
         "Umsatzsteuerbetrag (BT-110, genau einmal in Rechnungswährung) sein."},
        {"BR-CO-25", F,
         [](const TCtx& c) {
             const std::vector<_xmlNode*>& due = c.Doc.All("ram:DuePayableAmount");
             if (due.size() > 1)
                 throw TEvalError{QStringLiteral("mehr als ein fälliger Betrag")};
             const bool positive = !due.empty() && xq::Number(xq::StringValue(due.front())) > 0;
             if (!positive)
                 return true;
             for (_xmlNode* terms : c.Doc.All("ram:SpecifiedTradePaymentTerms"))
                 if (xq::Exists(terms, "ram:DueDateDateTime") || xq::Exists(terms, "ram:Description"))
                     return true;
             return false;
         },
         "Ist ein Betrag fällig (BT-115 größer null), muss ein Fälligkeitsdatum (BT-9) oder eine Zahlungsbedingung (BT-20) "
         "stehen."},
        {"BR-S-01", F, [](const TCtx& c) { return AtLeastOneBreakdown(c, "S"); },
         "Wo der Standardsatz (S) verwendet wird, braucht die Steueraufschlüsselung (BG-23) die Kategorie S."},
        {"BR-Z-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "Z"); },
         "Wo der Nullsatz (Z) verwendet wird, braucht die Steueraufschlüsselung (BG-23) genau einmal die Kategorie Z."},
        {"BR-E-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "E"); },
         "Wo steuerbefreite Umsätze (E) stehen, braucht die Steueraufschlüsselung (BG-23) genau einmal die Kategorie E."},
        {"BR-AE-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "AE"); },
         "Wo die Steuerschuldnerschaft des Leistungsempfängers (AE) gilt, braucht die Steueraufschlüsselung (BG-23) genau "
         "einmal die Kategorie AE."},
        {"BR-IC-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "K"); },
         "Wo innergemeinschaftliche Lieferungen (K) stehen, braucht die Steueraufschlüsselung (BG-23) genau einmal die "
         "Kategorie K."},
        {"BR-G-01", F, [](const TCtx& c) { return ExactlyOneBreakdown(c, "G"); },
         "Wo Ausfuhren aus der EU (G) stehen, braucht die Steueraufschlüsselung (BG-23) genau einmal die Kategorie G."},
        {"BR-O-01", F,
         [](const TCtx& c) {
             const int header = BreakdownTaxes(c, "O");
             return header == 0 || (header == 1 && (LineTaxes(c, "O") > 0 || AllowanceTaxes(c, "O") > 0));
         },
         "Eine Steueraufschlüsselung mit nicht steuerbaren Umsätzen (O) steht genau einmal und nur, wenn solche Umsätze "
         "vorkommen."},
        {"BR-AF-01", F, [](const TCtx& c) { return AtLeastOneBreakdown(c, "L"); },
         "Wo IGIC (L) verwendet wird, braucht die Steueraufschlüsselung (BG-23) die Kategorie L."},
        {"BR-AG-01", F, [](const TCtx& c) { return AtLeastOneBreakdown(c, "M"); },
         "Wo IPSI (M) verwendet wird, braucht die Steueraufschlüsselung (BG-23) die Kategorie M."},
        {"BR-B-01", F,
         [](const TCtx& c) {
             bool split = false;
             for (_xmlNode* code : c.Doc.All("ram:CategoryCode"))
                 split = split || xq::StringValue(code) == u"B";
             if (!split)
                 return true;
             for (_xmlNode* country : c.Doc.All("ram:CountryID"))
                 if (xq::StringValue(country) != u"IT")
                     return false;
             return true;
         },
         "Eine Rechnung mit Split Payment (B) muss eine italienische Inlandsrechnung sein."},
        {"BR-B-02", F,
         [](const TCtx& c) {
             bool split = false;
             bool standard = false;
             for (_xmlNode* code : c.Doc.All("ram:CategoryCode")) {
                 split = split || xq::StringValue(code) == u"B";
                 standard = standard || xq::StringValue(code) == u"S";
             }
             return !split || !standard;
         },
         "Eine Rechnung mit Split Payment (B) darf keine Beträge zum Standardsatz (S) enthalten."},
    };
    r.push_back({CII_ROOT, root});

    r.push_back({"ram:IncludedSupplyChainTradeLineItem",
                 {{"BR-21", F, [](const TCtx& c) { return Filled(c, "ram:AssociatedDocumentLineDocument/ram:LineID"); },
                   "Jede Position (BG-25) braucht eine Positionsnummer (BT-126)."},
                  {"BR-22", F, [](const TCtx& c) { return c.Has("ram:SpecifiedLineTradeDelivery/ram:BilledQuantity"); },
                   "Jede Position (BG-25) braucht eine Menge (BT-129)."},
                  {"BR-23", F, [](const TCtx& c) { return c.Has("ram:SpecifiedLineTradeDelivery/ram:BilledQuantity/@unitCode"); },
                   "Jede Position (BG-25) braucht die Einheit der Menge (BT-130)."},
                  {"BR-24", F,
                   [](const TCtx& c) { return c.Has("ram:SpecifiedLineTradeSettlement/ram:SpecifiedTradeSettlementLineMonetarySummation/ram:LineTotalAmount"); },
                   "Jede Position (BG-25) braucht einen Nettobetrag (BT-131)."},
                  {"BR-25", F, [](const TCtx& c) { return Filled(c, "ram:SpecifiedTradeProduct/ram:Name"); },
                   "Jede Position (BG-25) braucht einen Artikelnamen (BT-153)."},
                  {"BR-26", F, [](const TCtx& c) { return c.Has("ram:SpecifiedLineTradeAgreement/ram:NetPriceProductTradePrice/ram:ChargeAmount"); },
                   "Jede Position (BG-25) braucht einen Nettopreis (BT-146)."},
                  {"BR-27", F,
                   [](const TCtx& c) {
                       return SomeNumber(c, "ram:SpecifiedLineTradeAgreement/ram:NetPriceProductTradePrice/ram:ChargeAmount",
                                         [](double v) { return v >= 0; });
                   },
                   "Der Nettopreis (BT-146) darf nicht negativ sein."},
                  {"BR-28", F,
                   [](const TCtx& c) {
                       const char* gross = "ram:SpecifiedLineTradeAgreement/ram:GrossPriceProductTradePrice/ram:ChargeAmount";
                       return SomeNumber(c, gross, [](double v) { return v >= 0; }) || !c.Has(gross);
                   },
                   "Der Bruttopreis (BT-148) darf nicht negativ sein."},
                  {"BR-64", F,
                   [](const TCtx& c) {
                       return Filled(c, "ram:SpecifiedTradeProduct/ram:GlobalID/@schemeID") || !c.Has("ram:SpecifiedTradeProduct/ram:GlobalID");
                   },
                   "Die Standardkennung des Artikels (BT-157) braucht ein Schema (schemeID)."},
                  {"BR-CO-04", F,
                   [](const TCtx& c) {
                       for (_xmlNode* tax : c.Sel("ram:SpecifiedLineTradeSettlement/ram:ApplicableTradeTax"))
                           if (TypeIsVat(tax) && xq::Exists(tax, "ram:CategoryCode"))
                               return true;
                       return false;
                   },
                   "Jede Position (BG-25) braucht eine Umsatzsteuerkategorie (BT-151)."},
                  {"BR-CO-18", F, [](const TCtx& c) { return c.Has(Q_SET "/ram:ApplicableTradeTax"); },
                   "Die Rechnung braucht mindestens eine Steueraufschlüsselung (BG-23)."},
                  {"BR-DEC-23", F,
                   [](const TCtx& c) {
                       return AtMostTwoDecimals(c, "ram:SpecifiedLineTradeSettlement/ram:SpecifiedTradeSettlementLineMonetarySummation/ram:LineTotalAmount");
                   },
                   "Der Nettobetrag einer Position (BT-131) hat höchstens zwei Nachkommastellen."}}});
    r.push_back({"ram:SpecifiedLineTradeSettlement/ram:SpecifiedTradeAllowanceCharge/ram:ChargeIndicator[udt:Indicator=='false']",
                 allowanceAsserts(true)});
    r.push_back({"ram:SpecifiedLineTradeSettlement/ram:SpecifiedTradeAllowanceCharge/ram:ChargeIndicator[udt:Indicator=='true']",
                 {{"BR-43", F, [](const TCtx& c) { return c.Has("../ram:ActualAmount"); },
                   "Ein Zuschlag auf Positionsebene (BG-28) braucht einen Betrag (BT-141)."},
                  {"BR-44", F, [](const TCtx& c) { return c.Has("../ram:Reason") || c.Has("../ram:ReasonCode"); },
                   "Ein Zuschlag auf Positionsebene (BG-28) braucht einen Grund (BT-144) oder dessen Code (BT-145)."},
                  {"BR-CO-24", F, [](const TCtx& c) { return c.Has("../ram:Reason") || c.Has("../ram:ReasonCode"); },
                   "Ein Zuschlag auf Positionsebene (BG-28) braucht einen Grund (BT-144), dessen Code (BT-145) oder beides."},
                  {"BR-DEC-27", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "../ram:ActualAmount"); },
                   "Der Betrag eines Zuschlags auf Positionsebene (BT-141) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-28", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "../ram:BasisAmount"); },
                   "Der Grundbetrag eines Zuschlags auf Positionsebene (BT-142) hat höchstens zwei Nachkommastellen."}}});

    const auto periodHolds = [](const TCtx& c) {
        // String comparison of the two dates as written (format 102: YYYYMMDD).
        if (!c.Has("ram:EndDateTime") || !c.Has("ram:StartDateTime"))
            return true;
        for (const QString& end : c.Vals("ram:EndDateTime/udt:DateTimeString[@format=='102']"))
            for (const QString& start : c.Vals("ram:StartDateTime/udt:DateTimeString[@format=='102']"))
                if (end >= start)
                    return true;
        return false;
    };
    r.push_back({"ram:SpecifiedLineTradeSettlement/ram:BillingSpecifiedPeriod",
                 {{"BR-30", F, periodHolds, "Das Ende des Leistungszeitraums der Position (BT-135) darf nicht vor seinem Anfang (BT-134) liegen."},
                  {"BR-CO-20", F, [](const TCtx& c) { return c.Has("ram:StartDateTime") || c.Has("ram:EndDateTime"); },
                   "Ein Leistungszeitraum der Position (BG-26) braucht einen Anfang (BT-134), ein Ende (BT-135) oder beides."}}});
    r.push_back({"ram:ApplicableHeaderTradeSettlement/ram:BillingSpecifiedPeriod",
                 {{"BR-29", F, periodHolds, "Das Ende des Abrechnungszeitraums (BT-74) darf nicht vor seinem Anfang (BT-73) liegen."},
                  {"BR-CO-19", F, [](const TCtx& c) { return c.Has("ram:StartDateTime") || c.Has("ram:EndDateTime"); },
                   "Ein Abrechnungszeitraum (BG-14) braucht einen Anfang (BT-73), ein Ende (BT-74) oder beides."}}});
    r.push_back({"ram:ApplicableProductCharacteristic",
                 {{"BR-54", F, [](const TCtx& c) { return c.Has("ram:Description") && c.Has("ram:Value"); },
                   "Jede Artikeleigenschaft (BG-32) braucht einen Namen (BT-160) und einen Wert (BT-161)."}}});
    r.push_back({"ram:PayeeTradeParty",
                 {{"BR-17", F,
                   [](const TCtx& c) {
                       const auto same = [&](const char* mine, const char* sellers) {
                           for (const QString& a : c.Vals(mine))
                               for (const QString& b : c.Vals(sellers))
                                   if (a == b)
                                       return true;
                           return false;
                       };
                       const char* seller = "../../ram:ApplicableHeaderTradeAgreement/ram:SellerTradeParty/";
                       return c.Has("ram:Name") && !same("ram:Name", KeepText(std::string(seller) + "ram:Name"))
                           && !same("ram:ID", KeepText(std::string(seller) + "ram:ID"))
                           && !same("ram:SpecifiedLegalOrganization/ram:ID",
                                    KeepText(std::string(seller) + "ram:SpecifiedLegalOrganization/ram:ID"));
                   },
                   "Ist der Zahlungsempfänger (BG-10) nicht der Verkäufer, braucht er einen eigenen Namen (BT-59)."}}});
    r.push_back({"ram:SpecifiedTradeSettlementPaymentMeans",
                 {{"BR-49", F, [](const TCtx& c) { return c.Has("ram:TypeCode"); },
                   "Jede Zahlungsanweisung (BG-16) braucht den Code der Zahlungsart (BT-81)."}}});
    r.push_back({CII_TX "/ram:ApplicableHeaderTradeSettlement/ram:InvoiceReferencedDocument",
                 {{"BR-55", F, [](const TCtx& c) { return Filled(c, "ram:IssuerAssignedID"); },
                   "Jeder Verweis auf eine frühere Rechnung (BG-3) braucht deren Nummer (BT-25)."}}});
    r.push_back({"ram:SellerTradeParty",
                 {{"BR-CO-26", F,
                   [](const TCtx& c) {
                       return c.Has("ram:ID") || c.Has("ram:GlobalID") || c.Has("ram:SpecifiedLegalOrganization/ram:ID")
                           || TaxIdWithScheme({c.Node}, {"VA"});
                   },
                   "Der Verkäufer braucht eine Kennung (BT-29), eine Registerkennung (BT-30) oder eine Umsatzsteuer-Id (BT-31)."}}});
    r.push_back({"ram:SellerTaxRepresentativeTradeParty",
                 {{"BR-18", F, [](const TCtx& c) { return c.Has("ram:Name"); }, "Der Steuervertreter (BG-11) braucht einen Namen (BT-62)."},
                  {"BR-19", F, [](const TCtx& c) { return c.Has("ram:PostalTradeAddress"); },
                   "Der Steuervertreter (BG-11) braucht eine Anschrift (BG-12)."},
                  {"BR-20", F, [](const TCtx& c) { return c.Has("ram:PostalTradeAddress/ram:CountryID"); },
                   "Die Anschrift des Steuervertreters braucht einen Ländercode (BT-69)."},
                  {"BR-56", F, [](const TCtx& c) { return Filled(c, "ram:SpecifiedTaxRegistration/ram:ID[@schemeID=='VA']"); },
                   "Der Steuervertreter (BG-11) braucht eine Umsatzsteuer-Id (BT-63)."}}});
    r.push_back({"ram:SpecifiedTradeSettlementHeaderMonetarySummation/ram:TaxTotalAmount",
                 {{"BR-CO-14", F,
                   [](const TCtx& c) {
                       return xq::Double(c.Text()) == Hundredths(DoubleSum(c, Q_SET "/ram:ApplicableTradeTax/ram:CalculatedAmount"));
                   },
                   "Der Umsatzsteuerbetrag (BT-110) muss die Summe der Steuerbeträge der Aufschlüsselung (BT-117) sein."}},
                 [](const TCtx& c) { return CurrencyAmong(c.Node, InvoiceCurrencies(c)); }});
    r.push_back({"ram:SpecifiedTaxRegistration/ram:ID[@schemeID=='VA']",
                 {{"BR-CO-09", F,
                   [](const TCtx& c) {
                       return CodeListText(TCodeList::VatPrefixes).contains(QLatin1Char(' ') + c.Text().left(2) + QLatin1Char(' '));
                   },
                   "Die Umsatzsteuer-Id (BT-31, BT-48, BT-63) muss mit dem Ländercode nach ISO 3166-1 beginnen (Griechenland: EL)."}}});

    // Reverse charge (AE).
    r.push_back({BreakdownCodeContext("AE", true),
                 {{"BR-AE-08", F, [](const TCtx& c) { return TaxableNearTotal(c, "AE", TIndicator::Compare); },
                   "Bei Steuerschuldnerschaft des Leistungsempfängers (AE) muss der Nettobetrag der Aufschlüsselung (BT-116) "
                   "die Summe der Positionen plus Zuschläge minus Nachlässe dieser Kategorie sein (auf 1 genau)."},
                  {"BR-AE-09", F, ParentTaxZero,
                   "Bei Steuerschuldnerschaft des Leistungsempfängers (AE) muss der Steuerbetrag (BT-117) null sein."},
                  {"BR-AE-10", F, ParentExemption,
                   "Bei Steuerschuldnerschaft des Leistungsempfängers (AE) muss ein Befreiungsgrund (BT-120) oder sein Code "
                   "(BT-121) stehen."}},
                 ParentTypeVat});
    r.push_back({AllowanceTaxContext("AE"),
                 {{"BR-AE-03", F, ReverseChargeIds,
                   "Ein Nachlass mit Kategorie AE verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers (oder die "
                   "Umsatzsteuer-Id des Steuervertreters) und die Umsatzsteuer-Id oder Registerkennung des Käufers."},
                  {"BR-AE-06", F, [](const TCtx& c) { return PercentIs(c, 0); }, "Ein Nachlass mit Kategorie AE muss den Steuersatz 0 haben."}},
                 UnderAllowance});
    r.push_back({AllowanceTaxContext("AE"),
                 {{"BR-AE-04", F, ReverseChargeIds,
                   "Ein Zuschlag mit Kategorie AE verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers (oder die "
                   "Umsatzsteuer-Id des Steuervertreters) und die Umsatzsteuer-Id oder Registerkennung des Käufers."},
                  {"BR-AE-07", F, [](const TCtx& c) { return PercentIs(c, 0); }, "Ein Zuschlag mit Kategorie AE muss den Steuersatz 0 haben."}},
                 UnderCharge});
    r.push_back({LineTaxContext("AE"),
                 {{"BR-AE-02", F, ReverseChargeIds,
                   "Eine Position mit Kategorie AE verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers (oder die "
                   "Umsatzsteuer-Id des Steuervertreters) und die Umsatzsteuer-Id oder Registerkennung des Käufers."},
                  {"BR-AE-05", F, [](const TCtx& c) { return PercentIs(c, 0); }, "Eine Position mit Kategorie AE muss den Steuersatz 0 haben."}},
                 VatTax});

    // IGIC (L) and IPSI (M): rates from 0 up, the taxable amount per rate.
    const auto canaryRules = [&](const char* code, const char* id08, const char* id10, const char* line02, const char* line05,
                                 const char* allowance03, const char* allowance06, const char* charge04, const char* charge07,
                                 const char* name, bool strictlyPositive) {
        const std::string n = name;
        r.push_back({BreakdownTaxContext(code),
                     {{id08, F,
                       code[0] == 'L' ? TTest([](const TCtx& c) { return TaxableMatchesEachRate(c, "L"); })
                                      : TTest([](const TCtx& c) { return TaxableMatchesEachRate(c, "M"); }),
                       KeepText("Je Steuersatz der Kategorie " + n
                                + " muss der Nettobetrag der Aufschlüsselung (BT-116) der Summe der Positionen plus Zuschläge "
                                  "minus Nachlässe mit diesem Satz entsprechen.")},
                      {id10, F, NoExemption, KeepText("Bei " + n + " darf kein Befreiungsgrund (BT-120, BT-121) stehen.")}},
                     VatTax});
        const TTest rate = strictlyPositive ? TTest(PercentPositive) : TTest(PercentNotNegative);
        const std::string rateText = strictlyPositive ? " braucht einen Steuersatz über 0." : " braucht einen Steuersatz von 0 oder mehr.";
        r.push_back({LineTaxContext(code),
                     {{line02, F, SellerTaxIds,
                       KeepText("Eine Position mit " + n
                                + " verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die Umsatzsteuer-Id des "
                                  "Steuervertreters.")},
                      {line05, F, rate, KeepText("Eine Position mit " + n + rateText)}},
                     VatTax});
        r.push_back({AllowanceTaxContext(code),
                     {{allowance03, F, SellerTaxIds,
                       KeepText("Ein Nachlass mit " + n
                                + " verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die Umsatzsteuer-Id des "
                                  "Steuervertreters.")},
                      {allowance06, F, rate, KeepText("Ein Nachlass mit " + n + rateText)}},
                     UnderAllowance});
        r.push_back({AllowanceTaxContext(code),
                     {{charge04, F, SellerTaxIds,
                       KeepText("Ein Zuschlag mit " + n
                                + " verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die Umsatzsteuer-Id des "
                                  "Steuervertreters.")},
                      {charge07, F, rate, KeepText("Ein Zuschlag mit " + n + rateText)}},
                     UnderCharge});
    };
    canaryRules("L", "BR-AF-08", "BR-AF-10", "BR-AF-02", "BR-AF-05", "BR-AF-03", "BR-AF-06", "BR-AF-04", "BR-AF-07", "IGIC (L)", true);
    canaryRules("M", "BR-AG-08", "BR-AG-10", "BR-AG-02", "BR-AG-05", "BR-AG-03", "BR-AG-06", "BR-AG-04", "BR-AG-07", "IPSI (M)", false);

    // Exempt (E), export outside the EU (G), intra-community supply (K): rate 0, an exemption.
    struct TZeroCategory
    {
        const char* Code;
        const char* Prefix; // "BR-E"
        const char* Name;
        TTest Near;
        TTest Parties;
        const char* PartiesText;
    };
    const TZeroCategory zeroCategories[] = {
        {"E", "BR-E", "steuerbefreiten Umsätzen (E)", [](const TCtx& c) { return TaxableNearTotal(c, "E", TIndicator::Compare); },
         SellerTaxIds, "die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die Umsatzsteuer-Id des Steuervertreters"},
        {"G", "BR-G", "Ausfuhren aus der EU (G)", [](const TCtx& c) { return TaxableNearTotal(c, "G", TIndicator::Compare); },
         SellerOrRepresentativeVatAnywhere, "die Umsatzsteuer-Id des Verkäufers oder des Steuervertreters"},
        {"K", "BR-IC", "innergemeinschaftlichen Lieferungen (K)",
         [](const TCtx& c) { return TaxableNearTotal(c, "K", TIndicator::Compare); }, IntraCommunityIds,
         "die Umsatzsteuer-Id des Verkäufers oder des Steuervertreters und die des Käufers"},
    };
    for (const TZeroCategory& z : zeroCategories) {
        const std::string prefix = z.Prefix;
        const std::string name = z.Name;
        std::vector<TAssert> breakdown = {
            {KeepText(prefix + "-08"), F, z.Near,
             KeepText("Bei " + name + " muss der Nettobetrag der Aufschlüsselung (BT-116) die Summe der Positionen plus Zuschläge "
                                      "minus Nachlässe dieser Kategorie sein (auf 1 genau).")},
            {KeepText(prefix + "-09"), F, ParentTaxZero, KeepText("Bei " + name + " muss der Steuerbetrag (BT-117) null sein.")},
            {KeepText(prefix + "-10"), F, ParentExemption,
             KeepText("Bei " + name + " muss ein Befreiungsgrund (BT-120) oder sein Code (BT-121) stehen.")}};
        if (std::strcmp(z.Code, "K") == 0) {
            breakdown.push_back(
                {"BR-IC-11", F,
                 [](const TCtx& c) {
                     return c.Has(Q_DEL "/ram:ActualDeliverySupplyChainEvent/ram:OccurrenceDateTime/udt:DateTimeString")
                         || c.Has("../../ram:BillingSpecifiedPeriod/ram:StartDateTime") || c.Has("../../ram:BillingSpecifiedPeriod/ram:EndDateTime");
                 },
                 "Bei innergemeinschaftlichen Lieferungen (K) muss das Lieferdatum (BT-72) oder der Abrechnungszeitraum (BG-14) "
                 "stehen."});
            breakdown.push_back({"BR-IC-12", F,
                                 [](const TCtx& c) { return c.Has(Q_DEL "/ram:ShipToTradeParty/ram:PostalTradeAddress/ram:CountryID"); },
                                 "Bei innergemeinschaftlichen Lieferungen (K) muss das Lieferland (BT-80) stehen."});
        }
        r.push_back({BreakdownCodeContext(z.Code, true), breakdown, ParentTypeVat});
        const std::string parties = z.PartiesText;
        r.push_back({AllowanceTaxContext(z.Code),
                     {{KeepText(prefix + "-03"), F, z.Parties, KeepText("Ein Nachlass mit " + name + " verlangt " + parties + ".")},
                      {KeepText(prefix + "-06"), F, [](const TCtx& c) { return PercentIs(c, 0); },
                       KeepText("Ein Nachlass mit " + name + " muss den Steuersatz 0 haben.")}},
                     UnderAllowance});
        r.push_back({AllowanceTaxContext(z.Code),
                     {{KeepText(prefix + "-04"), F, z.Parties, KeepText("Ein Zuschlag mit " + name + " verlangt " + parties + ".")},
                      {KeepText(prefix + "-07"), F, [](const TCtx& c) { return PercentIs(c, 0); },
                       KeepText("Ein Zuschlag mit " + name + " muss den Steuersatz 0 haben.")}},
                     UnderCharge});
        r.push_back({LineTaxContext(z.Code),
                     {{KeepText(prefix + "-02"), F, z.Parties, KeepText("Eine Position mit " + name + " verlangt " + parties + ".")},
                      {KeepText(prefix + "-05"), F, [](const TCtx& c) { return PercentIs(c, 0); },
                       KeepText("Eine Position mit " + name + " muss den Steuersatz 0 haben.")}},
                     VatTax});
    }

    // Not subject to VAT (O): alone in the invoice, no rate, no VAT identifiers.
    r.push_back({BreakdownTaxContext("O"),
                 {{"BR-O-08", F,
                   [](const TCtx& c) {
                       const double expected = AsDouble(CategoryTotal(c, "O", nullptr, TIndicator::Cast));
                       return SomeNumber(c, "ram:BasisAmount", [&](double v) { return v == expected; });
                   },
                   "Bei nicht steuerbaren Umsätzen (O) muss der Nettobetrag der Aufschlüsselung (BT-116) die Summe der Positionen "
                   "plus Zuschläge minus Nachlässe dieser Kategorie sein."},
                  {"BR-O-09", F, [](const TCtx& c) { return SomeNumber(c, "ram:CalculatedAmount", [](double v) { return v == 0; }); },
                   "Bei nicht steuerbaren Umsätzen (O) muss der Steuerbetrag (BT-117) null sein."},
                  {"BR-O-10", F, [](const TCtx& c) { return c.Has("ram:ExemptionReason") || c.Has("ram:ExemptionReasonCode"); },
                   "Bei nicht steuerbaren Umsätzen (O) muss ein Befreiungsgrund (BT-120) oder sein Code (BT-121) stehen."},
                  {"BR-O-11", F,
                   [](const TCtx& c) { return OnlyCategoryO(c, "ram:ApplicableTradeTax"); },
                   "Neben nicht steuerbaren Umsätzen (O) darf keine andere Kategorie in der Steueraufschlüsselung stehen."},
                  {"BR-O-12", F,
                   [](const TCtx& c) { return OnlyCategoryO(c, "ram:ApplicableTradeTax"); },
                   "Neben nicht steuerbaren Umsätzen (O) darf keine Position einer anderen Kategorie stehen."},
                  {"BR-O-13", F,
                   [](const TCtx& c) { return OnlyCategoryO(c, "ram:CategoryTradeTax"); },
                   "Neben nicht steuerbaren Umsätzen (O) darf kein Nachlass einer anderen Kategorie stehen."},
                  {"BR-O-14", F,
                   [](const TCtx& c) { return OnlyCategoryO(c, "ram:CategoryTradeTax"); },
                   "Neben nicht steuerbaren Umsätzen (O) darf kein Zuschlag einer anderen Kategorie stehen."}},
                 VatTax});
    r.push_back({AllowanceTaxContext("O"),
                 {{"BR-O-03", F, NoVatIds,
                   "Ein Nachlass mit Kategorie O verträgt keine Umsatzsteuer-Id von Verkäufer, Steuervertreter oder Käufer."},
                  {"BR-O-06", F, NoPercent, "Ein Nachlass mit Kategorie O darf keinen Steuersatz haben."}},
                 UnderAllowance});
    r.push_back({AllowanceTaxContext("O"),
                 {{"BR-O-04", F, NoVatIds,
                   "Ein Zuschlag mit Kategorie O verträgt keine Umsatzsteuer-Id von Verkäufer, Steuervertreter oder Käufer."},
                  {"BR-O-07", F, NoPercent, "Ein Zuschlag mit Kategorie O darf keinen Steuersatz haben."}},
                 UnderCharge});
    r.push_back({LineTaxContext("O"),
                 {{"BR-O-02", F, NoVatIds,
                   "Eine Position mit Kategorie O verträgt keine Umsatzsteuer-Id von Verkäufer, Steuervertreter oder Käufer."},
                  {"BR-O-05", F, NoPercent, "Eine Position mit Kategorie O darf keinen Steuersatz haben."}},
                 VatTax});

    // Standard rate (S).
    r.push_back({BreakdownCodeContext("S", false),
                 {{"BR-S-08", F, [](const TCtx& c) { return TaxableMatchesEachRate(c, "S"); },
                   "Je Steuersatz der Kategorie S muss der Nettobetrag der Aufschlüsselung (BT-116) der Summe der Positionen plus "
                   "Zuschläge minus Nachlässe mit diesem Satz entsprechen."},
                  {"BR-S-09", F, StandardTaxNear,
                   "Bei Kategorie S muss der Steuerbetrag (BT-117) Nettobetrag mal Steuersatz sein, auf zwei Stellen gerundet "
                   "(auf 1 genau)."},
                  {"BR-S-10", F, ParentNoExemption, "Bei Kategorie S darf kein Befreiungsgrund (BT-120, BT-121) stehen."}}});
    r.push_back({LineTaxContext("S"),
                 {{"BR-S-02", F, SellerTaxIds,
                   "Eine Position mit Kategorie S verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die "
                   "Umsatzsteuer-Id des Steuervertreters."},
                  {"BR-S-05", F, PercentPositive, "Eine Position mit Kategorie S braucht einen Steuersatz über 0."}},
                 VatTax});
    r.push_back({AllowanceTaxContext("S"),
                 {{"BR-S-03", F, SellerTaxIds,
                   "Ein Nachlass mit Kategorie S verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die "
                   "Umsatzsteuer-Id des Steuervertreters."},
                  {"BR-S-06", F, PercentPositive, "Ein Nachlass mit Kategorie S braucht einen Steuersatz über 0."}},
                 UnderAllowance});
    r.push_back({AllowanceTaxContext("S"),
                 {{"BR-S-04", F, SellerTaxIds,
                   "Ein Zuschlag mit Kategorie S verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die "
                   "Umsatzsteuer-Id des Steuervertreters."},
                  {"BR-S-07", F, PercentPositive, "Ein Zuschlag mit Kategorie S braucht einen Steuersatz über 0."}},
                 UnderCharge});

    // Zero rated (Z).
    r.push_back({BreakdownCodeContext("Z", false),
                 {{"BR-Z-08", F, [](const TCtx& c) { return TaxableNearTotal(c, "Z", TIndicator::Cast); },
                   "Beim Nullsatz (Z) muss der Nettobetrag der Aufschlüsselung (BT-116) die Summe der Positionen plus Zuschläge "
                   "minus Nachlässe dieser Kategorie sein (auf 1 genau)."},
                  {"BR-Z-09", F, ParentTaxZero, "Beim Nullsatz (Z) muss der Steuerbetrag (BT-117) null sein."},
                  {"BR-Z-10", F, ParentNoExemption, "Beim Nullsatz (Z) darf kein Befreiungsgrund (BT-120, BT-121) stehen."}}});
    r.push_back({AllowanceTaxContext("Z"),
                 {{"BR-Z-03", F, SellerTaxIds,
                   "Ein Nachlass mit Kategorie Z verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die "
                   "Umsatzsteuer-Id des Steuervertreters."},
                  {"BR-Z-06", F, [](const TCtx& c) { return PercentIs(c, 0); }, "Ein Nachlass mit Kategorie Z muss den Steuersatz 0 haben."}},
                 UnderAllowance});
    r.push_back({AllowanceTaxContext("Z"),
                 {{"BR-Z-04", F, SellerTaxIds,
                   "Ein Zuschlag mit Kategorie Z verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die "
                   "Umsatzsteuer-Id des Steuervertreters."},
                  {"BR-Z-07", F, [](const TCtx& c) { return PercentIs(c, 0); }, "Ein Zuschlag mit Kategorie Z muss den Steuersatz 0 haben."}},
                 UnderCharge});
    r.push_back({LineTaxContext("Z"),
                 {{"BR-Z-02", F, SellerTaxIds,
                   "Eine Position mit Kategorie Z verlangt die Umsatzsteuer-Id oder Steuernummer des Verkäufers oder die "
                   "Umsatzsteuer-Id des Steuervertreters."},
                  {"BR-Z-05", F, [](const TCtx& c) { return PercentIs(c, 0); }, "Eine Position mit Kategorie Z muss den Steuersatz 0 haben."}},
                 VatTax});

    // Every breakdown, as far as no category rule above took it.
    r.push_back({"ram:ApplicableHeaderTradeSettlement/ram:ApplicableTradeTax",
                 {{"BR-45", F, [](const TCtx& c) { return c.Has("ram:BasisAmount"); },
                   "Jede Steueraufschlüsselung (BG-23) braucht einen Nettobetrag (BT-116)."},
                  {"BR-46", F, [](const TCtx& c) { return c.Has("ram:CalculatedAmount"); },
                   "Jede Steueraufschlüsselung (BG-23) braucht einen Steuerbetrag (BT-117)."},
                  {"BR-47", F, [](const TCtx& c) { return TypeIsVat(c.Node) && c.Has("ram:CategoryCode"); },
                   "Jede Steueraufschlüsselung (BG-23) braucht eine Umsatzsteuerkategorie (BT-118)."},
                  {"BR-48", F,
                   [](const TCtx& c) { return TypeIsVat(c.Node) && (c.Has("ram:RateApplicablePercent") || xq::AnyIs(c.Node, "ram:CategoryCode", "O")); },
                   "Jede Steueraufschlüsselung (BG-23) braucht einen Steuersatz (BT-119), außer bei nicht steuerbaren Umsätzen."},
                  {"BR-CO-03", F, [](const TCtx& c) { return c.Doc.All("ram:TaxPointDate").empty() || c.Doc.All("ram:DueDateTypeCode").empty(); },
                   "Steuerzeitpunkt (BT-7) und sein Code (BT-8) schließen einander aus."},
                  {"BR-CO-17", F, BreakdownTaxHolds,
                   "Der Steuerbetrag (BT-117) muss Nettobetrag (BT-116) mal Steuersatz (BT-119) durch 100 sein, auf zwei Stellen "
                   "gerundet (auf 1 genau)."},
                  {"BR-DEC-19", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:BasisAmount"); },
                   "Der Nettobetrag der Aufschlüsselung (BT-116) hat höchstens zwei Nachkommastellen."},
                  {"BR-DEC-20", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "ram:CalculatedAmount"); },
                   "Der Steuerbetrag der Aufschlüsselung (BT-117) hat höchstens zwei Nachkommastellen."}}});
    return p;
}

// ---- The syntax rules -------------------------------------------------------------------------

// "not(path)": the element should (warning) or must (fatal) not be there.
TAssert Absent(const char* prefix, int number, TFlag flag, const char* path)
{
    const char* id = KeepText(QStringLiteral("%1-%2").arg(QLatin1String(prefix)).arg(number, 3, 10, QLatin1Char('0')).toStdString());
    const QString shown = QString::fromUtf8(path);
    const char* text = KeepText((flag == W ? QStringLiteral("%1 soll in einer Rechnung nach EN 16931 nicht stehen.")
                                           : QStringLiteral("%1 darf in einer Rechnung nach EN 16931 nicht stehen."))
                                    .arg(shown)
                                    .toStdString());
    return {id, flag, nullptr, text, path};
}

using TAbsentList = std::initializer_list<std::pair<int, const char*>>;

void AddAbsent(std::vector<TAssert>& asserts, const char* prefix, TFlag flag, const char* parent, TAbsentList list)
{
    for (const auto& [number, path] : list)
        asserts.push_back(Absent(prefix, number, flag, KeepText(std::string(parent) + path)));
}

bool LocalNameEndsWith(const TCtx& c, const char* suffix, bool ramOnly)
{
    if (ramOnly) {
        const char* ns = xq::NamespaceUri(c.Node);
        if (!ns || std::strcmp(ns, NamespaceOfPrefix("ram")) != 0)
            return false;
    }
    const char* name = xq::LocalName(c.Node);
    const size_t n = std::strlen(name);
    const size_t s = std::strlen(suffix);
    return n >= s && std::strcmp(name + n - s, suffix) == 0;
}

// Only one of the party's identifier (ID) and global identifier (GlobalID).
bool OneIdentifierKind(const TCtx& c, const char* party)
{
    const std::string p = party;
    return !(c.Has(KeepText(p + "/ram:ID")) && c.Has(KeepText(p + "/ram:GlobalID")));
}

TPattern SyntaxPattern()
{
    TPattern p{"EN 16931: Syntaxregeln CII", {}};
    std::vector<TRule>& r = p.Rules;
    constexpr const char* SR = "CII-SR";
    constexpr const char* DT = "CII-DT";

    r.push_back({"ram:SpecifiedTradeSettlementPaymentMeans",
                 {{"CII-SR-464", W, [](const TCtx&) { return true; }, "Höchstens eine BIC (BT-86) je Zahlungsart."}}});

    std::vector<TAssert> context;
    AddAbsent(context, SR, W, "", {{1, "ram:SpecifiedTransactionID"}, {2, "ram:TestIndicator"}});
    context.push_back({"CII-SR-003", W, [](const TCtx& c) { return c.Count("ram:BusinessProcessSpecifiedDocumentContextParameter") <= 1; },
                       "Höchstens eine Prozesskennung (BT-23)."});
    AddAbsent(context, SR, W, "",
              {{6, "ram:BIMSpecifiedDocumentContextParameter"}, {7, "ram:ScenarioSpecifiedDocumentContextParameter"},
               {8, "ram:ApplicationSpecifiedDocumentContextParameter"}});
    context.push_back({"CII-SR-009", F, [](const TCtx& c) { return c.Count("ram:GuidelineSpecifiedDocumentContextParameter") == 1; },
                       "Die Kennung des Regelwerks (BT-24) steht genau einmal."});
    context.push_back({"CII-SR-010", F, [](const TCtx& c) { return c.Count("ram:GuidelineSpecifiedDocumentContextParameter/ram:ID") == 1; },
                       "Die Kennung des Regelwerks (BT-24) hat genau eine ID."});
    AddAbsent(context, SR, W, "", {{11, "ram:SubsetSpecifiedDocumentContextParameter"}, {12, "ram:MessageStandardSpecifiedDocumentContextParameter"}});
    r.push_back({CII_ROOT "/rsm:ExchangedDocumentContext", context});

    std::vector<TAssert> document;
    AddAbsent(document, SR, W, "", {{13, "ram:Name"}});
    document.push_back({"CII-SR-014", F, [](const TCtx& c) { return c.Count("ram:TypeCode") == 1; },
                        "Der Code der Rechnungsart (BT-3) steht genau einmal."});
    AddAbsent(document, SR, W, "",
              {{15, "ram:IssueDateTime/udt:DateTime"}, {16, "ram:CopyIndicator"}, {17, "ram:Purpose"}, {18, "ram:ControlRequirementIndicator"},
               {19, "ram:LanguageID"}, {20, "ram:PurposeCode"}, {21, "ram:RevisionDateTime"}, {22, "ram:VersionID"}, {23, "ram:GlobalID"},
               {24, "ram:RevisionID"}, {25, "ram:PreviousRevisionID"}, {26, "ram:CategoryCode"}, {27, "ram:IncludedNote/ram:Subject"},
               {28, "ram:IncludedNote/ram:ContentCode"}, {32, "ram:IncludedNote/ram:ID"}, {33, "ram:EffectiveSpecifiedPeriod"},
               {34, "ram:IssuerTradeParty"}});
    r.push_back({CII_ROOT "/rsm:ExchangedDocument", document});
    r.push_back({CII_ROOT "/rsm:ExchangedDocument/ram:IncludedNote",
                 {{"CII-SR-030", W, [](const TCtx& c) { return c.Count("ram:Content") <= 1; }, "Höchstens ein Text je Bemerkung (BT-22)."}}});

    std::vector<TAssert> line;
    AddAbsent(line, SR, W, "", {{35, "ram:DescriptionCode"}, {36, "ram:ParentLineID"}, {37, "ram:LineStatusCode"}, {38, "ram:LineStatusReasonCode"},
                                {221, "ram:IncludedSubordinateTradeLineItem"}});
    r.push_back({CII_LINE, line});

    std::vector<TAssert> lineDocument = {
        {"CII-SR-039", W, [](const TCtx& c) { return c.Count("ram:IncludedNote") <= 1; }, "Höchstens eine Bemerkung je Position (BT-127)."},
        {"CII-SR-040", W, [](const TCtx& c) { return c.Count("ram:IncludedNote/ram:Content") <= 1; },
         "Höchstens ein Text der Bemerkung je Position."}};
    AddAbsent(lineDocument, SR, W, "",
              {{41, "ram:IncludedNote/ram:SubjectCode"}, {42, "ram:IncludedNote/ram:ID"}, {43, "ram:IncludedNote/ram:Subject"},
               {44, "ram:IncludedNote/ram:ContentCode"}});
    r.push_back({CII_LINE "/ram:AssociatedDocumentLineDocument", lineDocument});

    std::vector<TAssert> product;
    AddAbsent(product, SR, W, "", {{45, "ram:ID"}});
    product.push_back({"CII-SR-046", F, [](const TCtx& c) { return !c.Has("ram:GlobalID") || c.Has("ram:GlobalID/@schemeID"); },
                       "Eine Standardkennung des Artikels (BT-157) braucht ein Schema (schemeID)."});
    AddAbsent(product, SR, W, "",
              {{48, "ram:ManufacturerAssignedID"}, {49, "ram:TradeName"}, {50, "ram:TypeCode"}, {51, "ram:NetWeightMeasure"},
               {52, "ram:GrossWeightMeasure"}, {53, "ram:ProductGroupID"}, {54, "ram:EndItemTypeCode"}, {55, "ram:EndItemName"},
               {56, "ram:AreaDensityMeasure"}, {57, "ram:UseDescription"}, {58, "ram:BrandName"}, {59, "ram:SubBrandName"},
               {60, "ram:DrainedNetWeightMeasure"}, {61, "ram:VariableMeasureIndicator"}, {62, "ram:ColourCode"},
               {63, "ram:ColourDescription"}, {64, "ram:Designation"}, {65, "ram:FormattedCancellationAnnouncedLaunchDateTime"},
               {66, "ram:FormattedLatestProductDataChangeDateTime"}, {67, "ram:ApplicableProductCharacteristic/ram:ID"},
               {68, "ram:ApplicableProductCharacteristic/ram:TypeCode"}, {70, "ram:ApplicableProductCharacteristic/ram:ValueMeasure"},
               {71, "ram:ApplicableProductCharacteristic/ram:MeasurementMethodCode"}, {73, "ram:ApplicableProductCharacteristic/ram:ValueCode"},
               {74, "ram:ApplicableProductCharacteristic/ram:ValueDateTime"}, {75, "ram:ApplicableProductCharacteristic/ram:ValueIndicator"},
               {76, "ram:ApplicableProductCharacteristic/ram:ContentTypeCode"},
               {77, "ram:ApplicableProductCharacteristic/ram:ValueSpecifiedBinaryFile"},
               {78, "ram:ApplicableProductCharacteristic/ram:ApplicableProductCharacteristicCondition"},
               {79, "ram:ApplicableProductCharacteristic/ram:ApplicableReferencedStandard"}, {80, "ram:ApplicableMaterialGoodsCharacteristic"},
               {81, "ram:DesignatedProductClassification/ram:SystemID"}, {82, "ram:DesignatedProductClassification/ram:SystemName"},
               {83, "ram:DesignatedProductClassification/ram:ClassName"}, {84, "ram:DesignatedProductClassification/ram:SubClassCode"},
               {85, "ram:DesignatedProductClassification/ram:ClassProductCharacteristic"},
               {86, "ram:DesignatedProductClassification/ram:ApplicableReferencedStandard"}, {87, "ram:IndividualTradeProductInstance"},
               {88, "ram:CertificationEvidenceReferenceReferencedDocument"}, {89, "ram:InspectionReferenceReferencedDocument"}});
    product.push_back({"CII-SR-090", F,
                       [](const TCtx& c) { return !c.Has("ram:OriginTradeCountry") || c.Count("ram:OriginTradeCountry/ram:ID") == 1; },
                       "Das Herkunftsland (BT-159) hat genau einen Code."});
    AddAbsent(product, SR, W, "",
              {{91, "ram:OriginTradeCountry/ram:Name"}, {92, "ram:OriginTradeCountry/ram:SubordinateTradeCountrySubDivision"},
               {93, "ram:LinearSpatialDimension"}, {94, "ram:MinimumLinearSpatialDimension"}, {95, "ram:MaximumLinearSpatialDimension"},
               {96, "ram:ManufacturerTradeParty"}, {97, "ram:PresentationSpecifiedBinaryFile"}, {98, "ram:MSDSReferenceReferencedDocument"},
               {99, "ram:AdditionalReferenceReferencedDocument"}, {100, "ram:LegalRightsOwnerTradeParty"}, {101, "ram:BrandOwnerTradeParty"},
               {102, "ram:IncludedReferencedProduct"}, {103, "ram:InformationNote"}});
    r.push_back({CII_LINE "/ram:SpecifiedTradeProduct", product});
    r.push_back({CII_LINE "/ram:SpecifiedTradeProduct/ram:ApplicableProductCharacteristic",
                 {{"CII-SR-069", F, [](const TCtx& c) { return c.Count("ram:Description") == 1; },
                   "Eine Artikeleigenschaft hat genau einen Namen (BT-160)."},
                  {"CII-SR-072", F, [](const TCtx& c) { return c.Count("ram:Value") == 1; }, "Eine Artikeleigenschaft hat genau einen Wert (BT-161)."}}});

    std::vector<TAssert> agreement;
    AddAbsent(agreement, SR, W, "",
              {{104, "ram:BuyerReference"}, {105, "ram:BuyerRequisitionerTradeParty"}, {106, "ram:ApplicableTradeDeliveryTerms"},
               {107, "ram:SellerOrderReferencedDocument"}, {108, "ram:BuyerOrderReferencedDocument/ram:IssuerAssignedID"},
               {109, "ram:QuotationReferencedDocument"}, {110, "ram:ContractReferencedDocument"}, {111, "ram:DemandForecastReferencedDocument"},
               {112, "ram:PromotionalDealReferencedDocument"}, {113, "ram:AdditionalReferencedDocument"}});
    AddAbsent(agreement, SR, W, "ram:GrossPriceProductTradePrice/",
              {{114, "ram:TypeCode"}, {115, "ram:MinimumQuantity"}, {116, "ram:MaximumQuantity"}, {117, "ram:ChangeReason"},
               {118, "ram:OrderUnitConversionFactorNumeric"}});
    agreement.push_back({"CII-SR-439", F, [](const TCtx& c) { return c.Count("ram:NetPriceProductTradePrice/ram:ChargeAmount") == 1; },
                         "Der Nettopreis (BT-146) steht genau einmal."});
    agreement.push_back({"CII-SR-119", W,
                         [](const TCtx& c) {
                             const char* ac = "ram:GrossPriceProductTradePrice/ram:AppliedTradeAllowanceCharge";
                             bool allowance = false;
                             for (_xmlNode* indicator : c.Sel(KeepText(std::string(ac) + "/ram:ChargeIndicator")))
                                 for (const QString& v : xq::Values(indicator, "udt:Indicator"))
                                     allowance = !Boolean(v) || allowance;
                             const bool amount = c.Has(KeepText(std::string(ac) + "/ram:ActualAmount"));
                             return (allowance && amount) || (!c.Has(KeepText(std::string(ac) + "/ram:ChargeIndicator")) && !amount);
                         },
                         "Am Bruttopreis sollen nur Nachlässe mit Betrag stehen."});
    AddAbsent(agreement, SR, W, "ram:GrossPriceProductTradePrice/ram:AppliedTradeAllowanceCharge/",
              {{120, "ram:ID"}, {121, "ram:SequenceNumeric"}, {122, "ram:CalculationPercent"}, {123, "ram:BasisAmount"},
               {124, "ram:BasisQuantity"}, {125, "ram:PrepaidIndicator"}, {126, "ram:UnitBasisAmount"}, {127, "ram:ReasonCode"},
               {128, "ram:Reason"}, {129, "ram:TypeCode"}, {130, "ram:CategoryTradeTax"}, {131, "ram:ActualTradeCurrencyExchange"}});
    AddAbsent(agreement, SR, W, "ram:GrossPriceProductTradePrice/",
              {{445, "ram:IncludedTradeTax"}, {132, "ram:ValiditySpecifiedPeriod"}, {133, "ram:DeliveryTradeLocation"},
               {134, "ram:TradeComparisonReferencePrice"}, {135, "ram:AssociatedReferencedDocument"}});
    AddAbsent(agreement, SR, W, "ram:NetPriceProductTradePrice/",
              {{136, "ram:TypeCode"}, {138, "ram:MinimumQuantity"}, {139, "ram:MaximumQuantity"}, {140, "ram:ChangeReason"},
               {141, "ram:OrderUnitConversionFactorNumeric"}, {142, "ram:AppliedTradeAllowanceCharge"}, {446, "ram:IncludedTradeTax"},
               {143, "ram:ValiditySpecifiedPeriod"}, {144, "ram:DeliveryTradeLocation"}, {145, "ram:TradeComparisonReferencePrice"},
               {146, "ram:AssociatedReferencedDocument"}});
    agreement.push_back({"CII-SR-441", F, [](const TCtx& c) { return c.Count("ram:NetPriceProductTradePrice/ram:ChargeAmount") <= 1; },
                         "Höchstens ein Nettopreis (BT-146)."});
    AddAbsent(agreement, SR, W, "",
              {{147, "ram:RequisitionerReferencedDocument"}, {148, "ram:ItemSellerTradeParty"}, {149, "ram:ItemBuyerTradeParty"},
               {150, "ram:IncludedSpecifiedMarketplace"}, {447, "ram:UltimateCustomerOrderReferencedDocument"}});
    r.push_back({CII_LINE "/ram:SpecifiedLineTradeAgreement", agreement});

    r.push_back({"ram:SpecifiedTradeAllowanceCharge",
                 {{"CII-SR-463", F, [](const TCtx& c) { return c.Has("ram:ChargeIndicator"); },
                   "Jeder Nachlass und Zuschlag (BG-20, BG-21) braucht die Angabe, ob er ein Zuschlag ist."}}});
    r.push_back({"ram:GrossPriceProductTradePrice/ram:AppliedTradeAllowanceCharge",
                 {{"CII-SR-440", F, [](const TCtx& c) { return c.Count("ram:ActualAmount") <= 1; },
                   "Ein Preisnachlass hat höchstens einen Betrag (BT-147)."}}});

    std::vector<TAssert> delivery;
    AddAbsent(delivery, SR, W, "",
              {{151, "ram:RequestedQuantity"}, {152, "ram:ReceivedQuantity"}, {153, "ram:ChargeFreeQuantity"}, {154, "ram:PackageQuantity"},
               {155, "ram:ProductUnitQuantity"}, {156, "ram:PerPackageUnitQuantity"}, {157, "ram:NetWeightMeasure"},
               {158, "ram:GrossWeightMeasure"}, {159, "ram:TheoreticalWeightMeasure"}, {160, "ram:DespatchedQuantity"},
               {161, "ram:SpecifiedDeliveryAdjustment"}, {162, "ram:IncludedSupplyChainPackaging"}, {163, "ram:RelatedSupplyChainConsignment"},
               {164, "ram:ShipToTradeParty"}, {165, "ram:UltimateShipToTradeParty"}, {166, "ram:ShipFromTradeParty"},
               {167, "ram:ActualDespatchSupplyChainEvent"}, {168, "ram:ActualPickUpSupplyChainEvent"},
               {169, "ram:RequestedDeliverySupplyChainEvent"}, {170, "ram:ActualDeliverySupplyChainEvent"},
               {171, "ram:ActualReceiptSupplyChainEvent"}, {172, "ram:AdditionalReferencedDocument"},
               {173, "ram:DespatchAdviceReferencedDocument"}, {174, "ram:ReceivingAdviceReferencedDocument"},
               {175, "ram:DeliveryNoteReferencedDocument"}, {176, "ram:ConsumptionReportReferencedDocument"},
               {177, "ram:PackingListReferencedDocument"}});
    r.push_back({CII_LINE "/ram:SpecifiedLineTradeDelivery", delivery});

    std::vector<TAssert> lineSettlement;
    AddAbsent(lineSettlement, SR, W, "",
              {{178, "ram:PaymentReference"}, {179, "ram:InvoiceIssuerReference"}, {180, "ram:TotalAdjustmentAmount"},
               {181, "ram:DiscountIndicator"}, {182, "ram:ApplicableTradeTax/ram:CalculatedAmount"}});
    AddAbsent(lineSettlement, SR, W, "ram:SpecifiedTradeAllowanceCharge/",
              {{183, "ram:ChargeIndicator/udt:IndicatorString"}, {184, "ram:ID"}, {185, "ram:SequenceNumeric"},
               {186, "ram:CalculationPercent/@format"}, {187, "ram:BasisQuantity"}, {188, "ram:PrepaidIndicator"},
               {189, "ram:UnitBasisAmount"}, {190, "ram:TypeCode"}, {191, "ram:CategoryTradeTax"}, {192, "ram:ActualTradeCurrencyExchange"},
               {193, "ram:ID"}});
    AddAbsent(lineSettlement, SR, W, "",
              {{194, "ram:SubtotalCalculatedTradeTax"}, {195, "ram:SpecifiedLogisticsServiceCharge"}, {196, "ram:SpecifiedTradePaymentTerms"}});
    AddAbsent(lineSettlement, SR, W, "ram:SpecifiedTradeSettlementLineMonetarySummation/",
              {{197, "ram:ChargeTotalAmount"}, {198, "ram:AllowanceTotalAmount"}, {199, "ram:TaxBasisTotalAmount"}, {200, "ram:TaxTotalAmount"},
               {201, "ram:GrandTotalAmount"}, {202, "ram:InformationAmount"}, {203, "ram:TotalAllowanceChargeAmount"},
               {204, "ram:TotalRetailValueInformationAmount"}, {205, "ram:GrossLineTotalAmount"}, {206, "ram:NetLineTotalAmount"},
               {207, "ram:NetIncludingTaxesLineTotalAmount"}, {208, "ram:ProductWeightLossInformationAmount"}});
    AddAbsent(lineSettlement, SR, W, "",
              {{209, "ram:SpecifiedFinancialAdjustment"}, {210, "ram:InvoiceReferencedDocument"},
               {212, "ram:PayableSpecifiedTradeAccountingAccount"}});
    AddAbsent(lineSettlement, SR, W, "ram:ReceivableSpecifiedTradeAccountingAccount/",
              {{213, "ram:SetTriggerCode"}, {214, "ram:TypeCode"}, {215, "ram:AmountTypeCode"}, {216, "ram:Name"},
               {217, "ram:CostReferenceDimensionPattern"}});
    AddAbsent(lineSettlement, SR, W, "",
              {{218, "ram:PurchaseSpecifiedTradeAccountingAccount"}, {219, "ram:SalesSpecifiedTradeAccountingAccount"},
               {220, "ram:SpecifiedTradeSettlementFinancialCard"}});
    lineSettlement.push_back({"CII-SR-454", W, [](const TCtx& c) { return c.Count("ram:ApplicableTradeTax") == 1; },
                              "Jede Position soll genau eine Umsatzsteuerangabe haben."});
    r.push_back({CII_LINE "/ram:SpecifiedLineTradeSettlement", lineSettlement});

    std::vector<TAssert> header;
    AddAbsent(header, SR, W, "", {{442, "ram:Reference"}});
    AddAbsent(header, SR, W, "ram:SellerTradeParty/",
              {{222, "ram:RoleCode"}, {223, "ram:SpecifiedLegalOrganization/ram:LegalClassificationCode"},
               {224, "ram:SpecifiedLegalOrganization/ram:Name"}, {225, "ram:SpecifiedLegalOrganization/ram:PostalTradeAddress"},
               {226, "ram:SpecifiedLegalOrganization/ram:AuthorizedLegalRegistration"}});
    const TAbsentList sellerContact = {
        {227, "ram:ID"}, {228, "ram:TypeCode"}, {229, "ram:JobTitle"}, {230, "ram:Responsibility"}, {231, "ram:PersonID"},
        {232, "ram:TelephoneUniversalCommunication/ram:URIID"}, {233, "ram:TelephoneUniversalCommunication/ram:ChannelCode"},
        {234, "ram:DirectTelephoneUniversalCommunication"}, {235, "ram:MobileTelephoneUniversalCommunication"},
        {236, "ram:FaxUniversalCommunication"}, {237, "ram:EmailURIUniversalCommunication/ram:ChannelCode"},
        {238, "ram:EmailURIUniversalCommunication/ram:CompleteNumber"}, {239, "ram:TelexUniversalCommunication"},
        {240, "ram:VOIPUniversalCommunication"}, {241, "ram:InstantMessagingUniversalCommunication"}, {242, "ram:SpecifiedNote"},
        {243, "ram:SpecifiedContactPerson"}};
    AddAbsent(header, SR, W, "ram:SellerTradeParty/ram:DefinedTradeContact/", sellerContact);
    AddAbsent(header, SR, W, "ram:SellerTradeParty/",
              {{244, "ram:URIUniversalCommunication/ram:ChannelCode"}, {245, "ram:URIUniversalCommunication/ram:CompleteNumber"},
               {246, "ram:SpecifiedTaxRegistration/ram:AssociatedRegisteredTax"}, {247, "ram:EndPointURIUniversalCommunication"},
               {248, "ram:LogoAssociatedSpecifiedBinaryFile"}});
    AddAbsent(header, SR, W, "ram:BuyerTradeParty/",
              {{249, "ram:RoleCode"}, {250, "ram:Description"}, {251, "ram:SpecifiedLegalOrganization/ram:LegalClassificationCode"},
               {252, "ram:SpecifiedLegalOrganization/ram:Name"}, {254, "ram:SpecifiedLegalOrganization/ram:PostalTradeAddress"},
               {255, "ram:SpecifiedLegalOrganization/ram:AuthorizedLegalRegistration"}});
    AddAbsent(header, SR, W, "ram:BuyerTradeParty/ram:DefinedTradeContact/",
              {{256, "ram:ID"}, {257, "ram:TypeCode"}, {258, "ram:JobTitle"}, {259, "ram:Responsibility"}, {260, "ram:PersonID"},
               {261, "ram:TelephoneUniversalCommunication/ram:URIID"}, {262, "ram:TelephoneUniversalCommunication/ram:ChannelCode"},
               {263, "ram:DirectTelephoneUniversalCommunication"}, {264, "ram:MobileTelephoneUniversalCommunication"},
               {265, "ram:FaxUniversalCommunication"}, {266, "ram:EmailURIUniversalCommunication/ram:ChannelCode"},
               {267, "ram:EmailURIUniversalCommunication/ram:CompleteNumber"}, {268, "ram:TelexUniversalCommunication"},
               {269, "ram:VOIPUniversalCommunication"}, {270, "ram:InstantMessagingUniversalCommunication"}, {271, "ram:SpecifiedNote"},
               {272, "ram:SpecifiedContactPerson"}});
    AddAbsent(header, SR, W, "ram:BuyerTradeParty/",
              {{273, "ram:URIUniversalCommunication/ram:ChannelCode"}, {274, "ram:URIUniversalCommunication/ram:CompleteNumber"},
               {275, "ram:SpecifiedTaxRegistration/ram:AssociatedRegisteredTax"}, {276, "ram:EndPointURIUniversalCommunication"},
               {277, "ram:LogoAssociatedSpecifiedBinaryFile"}});
    AddAbsent(header, SR, W, "",
              {{278, "ram:SalesAgentTradeParty"}, {279, "ram:BuyerRequisitionerTradeParty"}, {280, "ram:BuyerAssignedAccountantTradeParty"},
               {281, "ram:SellerAssignedAccountantTradeParty"}, {282, "ram:BuyerTaxRepresentativeTradeParty"}});
    AddAbsent(header, SR, W, "ram:SellerTaxRepresentativeTradeParty/",
              {{283, "ram:GlobalID"}, {284, "ram:RoleCode"}, {285, "ram:Description"}, {286, "ram:SpecifiedLegalOrganization"},
               {287, "ram:DefinedTradeContact"}, {288, "ram:URIUniversalCommunication"},
               {289, "ram:SpecifiedTaxRegistration/ram:AssociatedRegisteredTax"}, {290, "ram:EndPointURIUniversalCommunication"},
               {291, "ram:LogoAssociatedSpecifiedBinaryFile"}});
    AddAbsent(header, SR, W, "",
              {{292, "ram:ProductEndUserTradeParty"}, {293, "ram:ApplicableTradeDeliveryTerms"}, {294, "ram:SellerOrderReferencedDocument/ram:LineID"},
               {295, "ram:BuyerOrderReferencedDocument/ram:LineID"}, {296, "ram:QuotationReferencedDocument"},
               {297, "ram:OrderResponseReferencedDocument"}, {298, "ram:ContractReferencedDocument/ram:LineID"},
               {299, "ram:DemandForecastReferencedDocument"}, {300, "ram:SupplyInstructionReferencedDocument"},
               {301, "ram:PromotionalDealReferencedDocument"}, {302, "ram:PriceListReferencedDocument"},
               {303, "ram:AdditionalReferencedDocument/ram:LineID"}, {304, "ram:RequisitionerReferencedDocument"},
               {305, "ram:BuyerAgentTradeParty"}, {306, "ram:PurchaseConditionsReferencedDocument"},
               {307, "ram:SpecifiedProcuringProject/ram:Description"}, {448, "ram:UltimateCustomerOrderReferencedDocument"}});
    header.push_back({"CII-SR-450", W, [](const TCtx& c) { return OneIdentifierKind(c, "ram:BuyerTradeParty"); },
                      "Der Käufer soll nur eine Kennung haben: ID oder GlobalID."});
    header.push_back({"CII-SR-455", F, [](const TCtx& c) { return c.Count("ram:SellerTradeParty/ram:DefinedTradeContact") <= 1; },
                      "Höchstens ein Kontakt des Verkäufers (BG-6)."});
    header.push_back({"CII-SR-456", F, [](const TCtx& c) { return c.Count("ram:BuyerTradeParty/ram:DefinedTradeContact") <= 1; },
                      "Höchstens ein Kontakt des Käufers (BG-9)."});
    header.push_back({"CII-SR-457", W,
                      [](const TCtx& c) {
                          int n = 0;
                          for (_xmlNode* d : c.Sel("ram:AdditionalReferencedDocument"))
                              n += xq::AnyIs(d, "ram:TypeCode", "50") ? 1 : 0;
                          return n <= 1;
                      },
                      "Höchstens ein Verweis auf eine Ausschreibung oder ein Los (Code 50)."});
    header.push_back({"CII-SR-458", W,
                      [](const TCtx& c) {
                          int n = 0;
                          for (_xmlNode* d : c.Sel("ram:AdditionalReferencedDocument"))
                              n += xq::AnyIs(d, "ram:TypeCode", "130") ? 1 : 0;
                          return n <= 1;
                      },
                      "Höchstens eine Objektkennung (Code 130)."});
    header.push_back({"CII-SR-459", F, [](const TCtx& c) { return c.Count("ram:SellerTradeParty/ram:URIUniversalCommunication") <= 1; },
                      "Höchstens eine elektronische Adresse des Verkäufers (BT-34)."});
    header.push_back({"CII-SR-460", F, [](const TCtx& c) { return c.Count("ram:BuyerTradeParty/ram:URIUniversalCommunication") <= 1; },
                      "Höchstens eine elektronische Adresse des Käufers (BT-49)."});
    header.push_back({"CII-SR-465", W,
                      [](const TCtx& c) {
                          return !(c.Has("ram:SellerTradeParty/ram:DefinedTradeContact/ram:PersonName")
                                   && c.Has("ram:SellerTradeParty/ram:DefinedTradeContact/ram:DepartmentName"));
                      },
                      "Der Kontakt des Verkäufers (BT-41) soll entweder eine Person oder eine Abteilung nennen, nicht beides."});
    header.push_back({"CII-SR-466", W,
                      [](const TCtx& c) {
                          return !(c.Has("ram:BuyerTradeParty/ram:DefinedTradeContact/ram:PersonName")
                                   && c.Has("ram:BuyerTradeParty/ram:DefinedTradeContact/ram:DepartmentName"));
                      },
                      "Der Kontakt des Käufers (BT-56) soll entweder eine Person oder eine Abteilung nennen, nicht beides."});
    r.push_back({CII_TX "/ram:ApplicableHeaderTradeAgreement", header});

    std::vector<TAssert> headerDelivery;
    AddAbsent(headerDelivery, SR, W, "", {{308, "ram:RelatedSupplyChainConsignment"}});
    AddAbsent(headerDelivery, SR, W, "ram:ShipToTradeParty/",
              {{309, "ram:RoleCode"}, {310, "ram:Description"}, {311, "ram:SpecifiedLegalOrganization"}, {312, "ram:DefinedTradeContact"},
               {313, "ram:URIUniversalCommunication"}, {314, "ram:SpecifiedTaxRegistration"}, {315, "ram:EndPointURIUniversalCommunication"},
               {316, "ram:LogoAssociatedSpecifiedBinaryFile"}});
    AddAbsent(headerDelivery, SR, W, "",
              {{317, "ram:UltimateShipToTradeParty"}, {318, "ram:ShipFromTradeParty"}, {319, "ram:ActualDespatchSupplyChainEvent"},
               {320, "ram:ActualPickUpSupplyChainEvent"}});
    AddAbsent(headerDelivery, SR, W, "ram:ActualDeliverySupplyChainEvent/",
              {{321, "ram:ID"}, {322, "ram:OccurrenceDateTime/udt:DateTime"}, {323, "ram:TypeCode"}, {324, "ram:Description"},
               {325, "ram:DescriptionBinaryObject"}, {326, "ram:UnitQuantity"}, {327, "ram:LatestOccurrenceDateTime"},
               {328, "ram:EarliestOccurrenceDateTime"}, {329, "ram:OccurrenceSpecifiedPeriod"}, {330, "ram:OccurrenceLogisticsLocation"}});
    AddAbsent(headerDelivery, SR, W, "",
              {{331, "ram:ActualReceiptSupplyChainEvent"}, {332, "ram:AdditionalReferencedDocument"},
               {333, "ram:DespatchAdviceReferencedDocument/ram:LineID"}, {334, "ram:DespatchAdviceReferencedDocument/ram:LineID"},
               {335, "ram:DeliveryNoteReferencedDocument"}, {336, "ram:ConsumptionReportReferencedDocument"},
               {337, "ram:PreviousDeliverySupplyChainEvent"}, {338, "ram:PackingListReferencedDocument"}});
    headerDelivery.push_back({"CII-SR-449", W, [](const TCtx& c) { return OneIdentifierKind(c, "ram:ShipToTradeParty"); },
                              "Der Lieferort soll nur eine Kennung haben: ID oder GlobalID."});
    r.push_back({CII_TX "/ram:ApplicableHeaderTradeDelivery", headerDelivery});

    std::vector<TAssert> settlement;
    AddAbsent(settlement, SR, W, "",
              {{339, "ram:DuePayableAmount"}, {340, "ram:CreditorReferenceTypeCode"}, {341, "ram:CreditorReferenceType"},
               {342, "ram:CreditorReferenceIssuerID"}, {344, "ram:PaymentCurrencyCode"}, {345, "ram:InvoiceIssuerReference"},
               {346, "ram:InvoiceDateTime"}, {347, "ram:NextInvoiceDateTime"}, {348, "ram:CreditReasonCode"}, {349, "ram:CreditReason"},
               {350, "ram:InvoicerTradeParty"}, {351, "ram:InvoiceeTradeParty"}});
    AddAbsent(settlement, SR, W, "ram:PayeeTradeParty/",
              {{352, "ram:RoleCode"}, {353, "ram:Description"}, {354, "ram:SpecifiedLegalOrganization/ram:LegalClassificationCode"},
               {355, "ram:SpecifiedLegalOrganization/ram:Name"}, {356, "ram:SpecifiedLegalOrganization/ram:TradingBusinessName"},
               {357, "ram:SpecifiedLegalOrganization/ram:PostalTradeAddress"},
               {358, "ram:SpecifiedLegalOrganization/ram:AuthorizedLegalRegistration"}, {359, "ram:DefinedTradeContact"},
               {360, "ram:PostalTradeAddress"}, {361, "ram:URIUniversalCommunication"}, {362, "ram:SpecifiedTaxRegistration"},
               {363, "ram:EndPointURIUniversalCommunication"}, {364, "ram:LogoAssociatedSpecifiedBinaryFile"}});
    settlement.push_back({"CII-SR-451", W, [](const TCtx& c) { return OneIdentifierKind(c, "ram:PayeeTradeParty"); },
                          "Der Zahlungsempfänger soll nur eine Kennung haben: ID oder GlobalID."});
    AddAbsent(settlement, SR, W, "",
              {{365, "ram:PayerTradeParty"}, {366, "ram:TaxApplicableTradeCurrencyExchange"}, {367, "ram:InvoiceApplicableTradeCurrencyExchange"},
               {368, "ram:PaymentApplicableTradeCurrencyExchange"}});
    AddAbsent(settlement, SR, W, "ram:SpecifiedTradeSettlementPaymentMeans/",
              {{369, "ram:PaymentChannelCode"}, {370, "ram:GuaranteeMethodCode"}, {371, "ram:PaymentMethodCode"}, {443, "ram:ID"},
               {372, "ram:ApplicableTradeSettlementFinancialCard/ram:MicrochipIndicator"},
               {373, "ram:ApplicableTradeSettlementFinancialCard/ram:TypeCode"},
               {375, "ram:ApplicableTradeSettlementFinancialCard/ram:ExpiryDate"},
               {376, "ram:ApplicableTradeSettlementFinancialCard/ram:VerificationNumeric"},
               {377, "ram:ApplicableTradeSettlementFinancialCard/ram:ValidFromDateTime"},
               {378, "ram:ApplicableTradeSettlementFinancialCard/ram:CreditLimitAmount"},
               {379, "ram:ApplicableTradeSettlementFinancialCard/ram:CreditAvailableAmount"},
               {380, "ram:ApplicableTradeSettlementFinancialCard/ram:InterestRatePercent"},
               {381, "ram:ApplicableTradeSettlementFinancialCard/ram:Description"},
               {382, "ram:PayerPartyDebtorFinancialAccount/ram:AccountName"}, {444, "ram:PayerPartyDebtorFinancialAccount/ram:ProprietaryID"},
               {384, "ram:PayerSpecifiedDebtorFinancialInstitution/ram:ClearingSystemName"},
               {385, "ram:PayerSpecifiedDebtorFinancialInstitution/ram:Name"},
               {386, "ram:PayerSpecifiedDebtorFinancialInstitution/ram:LocationFinancialInstitutionAddress"}});
    AddAbsent(settlement, SR, W, "ram:SpecifiedTradeAllowanceCharge/",
              {{388, "ram:ID"}, {389, "ram:SequenceNumeric"}, {390, "ram:BasisQuantity"}, {391, "ram:PrepaidIndicator"},
               {392, "ram:UnitBasisAmount"}, {393, "ram:TypeCode"}, {394, "ram:ActualTradeCurrencyExchange"}});
    AddAbsent(settlement, SR, W, "", {{395, "ram:SubtotalCalculatedTradeTax"}, {396, "ram:SpecifiedLogisticsServiceCharge"}});
    AddAbsent(settlement, SR, W, "ram:SpecifiedTradePaymentTerms/",
              {{397, "ram:ID"}, {398, "ram:FromEventCode"}, {399, "ram:SettlementPeriodMeasure"}, {400, "ram:DueDateDateTime/udt:DateTime"},
               {401, "ram:TypeCode"}, {402, "ram:InstructionTypeCode"}, {404, "ram:PartialPaymentPercent"}, {405, "ram:PaymentMeansID"},
               {406, "ram:PartialPaymentAmount"}, {407, "ram:ApplicableTradePaymentPenaltyTerms"},
               {408, "ram:ApplicableTradePaymentDiscountTerms"}, {409, "ram:PayeeTradeParty"}});
    AddAbsent(settlement, SR, W, "",
              {{421, "ram:SpecifiedFinancialAdjustment"}, {422, "ram:InvoiceReferencedDocument/ram:LineID"},
               {423, "ram:ProFormaInvoiceReferencedDocument"}, {424, "ram:LetterOfCreditReferencedDocument"},
               {425, "ram:FactoringAgreementReferencedDocument"}, {426, "ram:FactoringListReferencedDocument"},
               {427, "ram:PayableSpecifiedTradeAccountingAccount"}});
    AddAbsent(settlement, SR, W, "ram:ReceivableSpecifiedTradeAccountingAccount/",
              {{428, "ram:SetTriggerCode"}, {429, "ram:TypeCode"}, {430, "ram:AmountTypeCode"}, {431, "ram:Name"},
               {432, "ram:CostReferenceDimensionPattern"}});
    AddAbsent(settlement, SR, W, "",
              {{433, "ram:PurchaseSpecifiedTradeAccountingAccount"}, {434, "ram:SalesSpecifiedTradeAccountingAccount"},
               {435, "ram:SpecifiedTradeSettlementFinancialCard"}, {436, "ram:SpecifiedAdvancePayment"}, {437, "ram:UltimatePayeeTradeParty"}});
    settlement.push_back({"CII-SR-452", W, [](const TCtx& c) { return c.Count("ram:SpecifiedTradePaymentTerms") <= 1; },
                          "Die Zahlungsbedingungen (BT-20) sollen nur einmal stehen."});
    settlement.push_back({"CII-SR-453", W, [](const TCtx& c) { return c.Count("ram:SpecifiedTradePaymentTerms/ram:Description") <= 1; },
                          "Der Text der Zahlungsbedingungen (BT-20) soll nur einmal stehen."});
    settlement.push_back({"CII-SR-461", F, [](const TCtx& c) { return c.Count("ram:ApplicableTradeTax/ram:TaxPointDate") <= 1; },
                          "Höchstens ein Steuerzeitpunkt (BT-7)."});
    settlement.push_back({"CII-SR-462", F,
                          [](const TCtx& c) {
                              std::vector<QString> codes;
                              for (_xmlNode* code : c.Doc.All("ram:DueDateTypeCode")) {
                                  if (!xq::Is(xq::ParentElement(code), "ram:ApplicableTradeTax"))
                                      continue;
                                  const QString v = xq::StringValue(code);
                                  if (std::find(codes.begin(), codes.end(), v) == codes.end())
                                      codes.push_back(v);
                              }
                              return codes.size() <= 1;
                          },
                          "Höchstens ein Code des Steuerzeitpunkts (BT-8)."});
    r.push_back({CII_TX "/ram:ApplicableHeaderTradeSettlement", settlement});

    std::vector<TAssert> summation;
    AddAbsent(summation, SR, W, "",
              {{411, "ram:InformationAmount"}, {412, "ram:TotalDiscountAmount"}, {413, "ram:TotalAllowanceChargeAmount"},
               {414, "ram:RetailValueExcludingTaxInformationAmount"}, {415, "ram:TotalDepositFeeInformationAmount"},
               {416, "ram:ProductValueExcludingTobaccoTaxInformationAmount"}, {417, "ram:TotalRetailValueInformationAmount"},
               {418, "ram:GrossLineTotalAmount"}, {419, "ram:NetLineTotalAmount"}, {420, "ram:NetIncludingTaxesLineTotalAmount"}});
    r.push_back({CII_TX "/ram:ApplicableHeaderTradeSettlement/ram:SpecifiedTradeSettlementHeaderMonetarySummation", summation});

    std::vector<TAssert> invoice;
    AddAbsent(invoice, DT, F, "", {{13, "@languageID"}, {14, "@languageLocaleID"}});
    AddAbsent(invoice, SR, W, "", {{438, "ram:ValuationBreakdownStatement"}});
    r.push_back({CII_ROOT, invoice});

    r.push_back({"*",
                 {{"CII-SR-04", W, nullptr, "ram:Value soll in einer Rechnung nach EN 16931 nicht stehen.", "ram:Value"},
                  {"CII-SR-05", W, nullptr, "ram:SpecifiedDocumentVersion soll in einer Rechnung nach EN 16931 nicht stehen.",
                   "ram:SpecifiedDocumentVersion"}},
                 [](const TCtx& c) { return LocalNameEndsWith(c, "DocumentContextParameter", false); }});

    std::vector<TAssert> plainIds;
    AddAbsent(plainIds, DT, F, "",
              {{1, "@schemeName"}, {2, "@schemeAgencyName"}, {3, "@schemeDataURI"}, {4, "@schemeURI"}, {5, "@schemeID"},
               {6, "@schemeAgencyID"}, {7, "@schemeVersionID"}});
    r.push_back({CII_ROOT "/rsm:ExchangedDocumentContext/ram:GuidelineSpecifiedDocumentContextParameter/ram:ID|" CII_ROOT
                 "/rsm:ExchangedDocument/ram:ID|" CII_LINE "/ram:AssociatedDocumentLineDocument/ram:LineID|" CII_LINE
                 "/ram:SpecifiedTradeProduct/ram:SellerAssignedID",
                 plainIds});
    std::vector<TAssert> ids;
    AddAbsent(ids, DT, F, "", {{101, "@schemeName"}, {102, "@schemeAgencyName"}, {103, "@schemeDataURI"}, {104, "@schemeURI"}});
    r.push_back({"*", ids, [](const TCtx& c) { return LocalNameEndsWith(c, "ID", true); }});
    std::vector<TAssert> typeCodes;
    AddAbsent(typeCodes, DT, F, "", {{8, "@name"}, {9, "@listURI"}});
    r.push_back({"ram:TypeCode", typeCodes});
    std::vector<TAssert> documentTypeCode;
    AddAbsent(documentTypeCode, DT, F, "", {{10, "@listID"}, {11, "@listAgencyID"}, {12, "@listVersionID"}});
    r.push_back({CII_ROOT "/rsm:ExchangedDocument/ram:TypeCode", documentTypeCode});
    std::vector<TAssert> categoryCodes;
    AddAbsent(categoryCodes, DT, W, "", {{45, "@listID"}, {46, "@listAgencyID"}, {47, "@listVersionID"}, {48, "@listURI"}});
    r.push_back({CII_LINE "/ram:SpecifiedLineTradeSettlement/ram:ApplicableTradeTax/ram:CategoryCode", categoryCodes});

    std::vector<TAssert> references = {
        {"CII-DT-015", F,
         [](const TCtx& c) {
             return !c.Has("ram:URIID") || (xq::Is(c.Node, "ram:AdditionalReferencedDocument") && xq::AnyIs(c.Node, "ram:TypeCode", "916"));
         },
         "Eine URI (ram:URIID) darf nur eine rechnungsbegründende Unterlage (Code 916) haben."}};
    AddAbsent(references, DT, F, "", {{16, "ram:StatusCode"}, {17, "ram:CopyIndicator"}});
    references.push_back({"CII-DT-018", F,
                          [](const TCtx& c) {
                              return !c.Has("ram:TypeCode")
                                  || (xq::Is(c.Node, "ram:AdditionalReferencedDocument")
                                      && (xq::AnyIs(c.Node, "ram:TypeCode", "50") || xq::AnyIs(c.Node, "ram:TypeCode", "130")
                                          || xq::AnyIs(c.Node, "ram:TypeCode", "916")));
                          },
                          "Einen Code der Unterlage (ram:TypeCode) darf nur eine rechnungsbegründende Unterlage haben, mit 50, 130 "
                          "oder 916."});
    AddAbsent(references, DT, F, "", {{19, "ram:GlobalID"}, {20, "ram:RevisionID"}});
    references.push_back({"CII-DT-021", F,
                          [](const TCtx& c) {
                              return !c.Has("ram:Name")
                                  || (xq::Is(c.Node, "ram:AdditionalReferencedDocument") && xq::AnyIs(c.Node, "ram:TypeCode", "916"));
                          },
                          "Eine Beschreibung (ram:Name) darf nur eine rechnungsbegründende Unterlage (Code 916) haben."});
    references.push_back({"CII-DT-022", F,
                          [](const TCtx& c) {
                              return !c.Has("ram:AttachmentBinaryObject")
                                  || (xq::Is(c.Node, "ram:AdditionalReferencedDocument") && xq::AnyIs(c.Node, "ram:TypeCode", "916"));
                          },
                          "Einen Anhang (ram:AttachmentBinaryObject) darf nur eine rechnungsbegründende Unterlage (Code 916) haben."});
    AddAbsent(references, DT, F, "", {{23, "ram:Information"}});
    references.push_back({"CII-DT-024", F,
                          [](const TCtx& c) {
                              return !c.Has("ram:ReferenceTypeCode")
                                  || (xq::Is(c.Node, "ram:AdditionalReferencedDocument") && xq::AnyIs(c.Node, "ram:TypeCode", "130"));
                          },
                          "Ein Schema der Kennung (ram:ReferenceTypeCode) darf nur eine Objektkennung (Code 130) haben."});
    AddAbsent(references, DT, F, "", {{25, "ram:SectionName"}, {26, "ram:PreviousRevisionID"}});
    references.push_back({"CII-DT-027", F,
                          [](const TCtx& c) { return !c.Has("ram:FormattedIssueDateTime") || xq::Is(c.Node, "ram:InvoiceReferencedDocument"); },
                          "Ein Datum (ram:FormattedIssueDateTime) darf nur der Verweis auf eine frühere Rechnung haben."});
    AddAbsent(references, DT, F, "", {{28, "ram:EffectiveSpecifiedPeriod"}, {29, "ram:IssuerTradeParty"}, {30, "ram:AttachedSpecifiedBinaryFile"}});
    r.push_back({"*", references, [](const TCtx& c) { return LocalNameEndsWith(c, "ReferencedDocument", true); }});

    std::vector<TAssert> amounts;
    AddAbsent(amounts, DT, F, "", {{31, "@currencyID"}, {32, "@currencyCodeListVersionID"}});
    r.push_back({"*", amounts, [](const TCtx& c) { return LocalNameEndsWith(c, "Amount", true) && !xq::Is(c.Node, "ram:TaxTotalAmount"); }});

    std::vector<TAssert> quantities = {
        {"CII-DT-033", F,
         [](const TCtx& c) { return !c.HasAttr("unitCode") || c.Has(Q_LINE "/ram:SpecifiedLineTradeDelivery/ram:BilledQuantity/@unitCode"); },
         "Eine Einheit (unitCode) darf nur stehen, wo die Mengen der Positionen Einheiten haben."}};
    AddAbsent(quantities, DT, F, "", {{34, "@unitCodeListID"}, {35, "@unitCodeListAgencyID"}, {36, "@unitCodeListAgencyName"}});
    r.push_back({"*", quantities, [](const TCtx& c) { return LocalNameEndsWith(c, "Quantity", true); }});

    std::vector<TAssert> taxes = {
        {"CII-DT-037", F, [](const TCtx& c) { return !c.Has("ram:TypeCode") || xq::AnyIs(c.Node, "ram:TypeCode", "VAT"); },
         "Die Steuerart (ram:TypeCode) muss VAT sein."}};
    AddAbsent(taxes, DT, W, "", {{38, "ram:CalculatedRate"}, {39, "ram:CalculationSequenceNumeric"}, {40, "ram:BasisQuantity"}});
    taxes.push_back({"CII-DT-041", W,
                     [](const TCtx& c) { return !c.Has("ram:BasisAmount") || xq::HasAncestor(c.Node, "ram:ApplicableHeaderTradeSettlement"); },
                     "Ein Nettobetrag (ram:BasisAmount) soll nur in der Steueraufschlüsselung stehen."});
    AddAbsent(taxes, DT, W, "",
              {{42, "ram:UnitBasisAmount"}, {43, "ram:LineTotalBasisAmount"}, {44, "ram:AllowanceChargeBasisAmount"}, {49, "ram:CurrencyCode"},
               {50, "ram:Jurisdiction"}, {51, "ram:CustomsDutyIndicator"}});
    taxes.push_back({"CII-DT-052", W, [](const TCtx& c) { return !c.Has("ram:ExemptionReasonCode") || xq::Is(c.Node, "ram:ApplicableTradeTax"); },
                     "Ein Befreiungsgrund als Code (ram:ExemptionReasonCode) soll nur an einer Umsatzsteuerangabe stehen."});
    taxes.push_back({"CII-DT-098", W, [](const TCtx& c) { return !c.Has("ram:ExemptionReason") || xq::Is(c.Node, "ram:ApplicableTradeTax"); },
                     "Ein Befreiungsgrund (ram:ExemptionReason) soll nur an einer Umsatzsteuerangabe stehen."});
    AddAbsent(taxes, DT, W, "", {{53, "ram:TaxBasisAllowanceRate"}});
    taxes.push_back({"CII-DT-054", W,
                     [](const TCtx& c) { return !c.Has("ram:TaxPointDate") || xq::HasAncestor(c.Node, "ram:ApplicableHeaderTradeSettlement"); },
                     "Ein Steuerzeitpunkt (ram:TaxPointDate) soll nur in der Steueraufschlüsselung stehen."});
    AddAbsent(taxes, DT, W, "", {{55, "ram:Type"}, {56, "ram:InformationAmount"}, {57, "ram:CategoryName"}});
    taxes.push_back({"CII-DT-058", W,
                     [](const TCtx& c) { return !c.Has("ram:DueDateTypeCode") || xq::HasAncestor(c.Node, "ram:ApplicableHeaderTradeSettlement"); },
                     "Ein Code des Steuerzeitpunkts (ram:DueDateTypeCode) soll nur in der Steueraufschlüsselung stehen."});
    AddAbsent(taxes, DT, W, "",
              {{59, "ram:RateApplicablePercent/@format"}, {60, "ram:SpecifiedTradeAccountingAccount"}, {61, "ram:ServiceSupplyTradeCountry"},
               {62, "ram:BuyerRepayableTaxSpecifiedTradeAccountingAccount"}, {63, "ram:SellerPayableTaxSpecifiedTradeAccountingAccount"},
               {64, "ram:SellerRefundableTaxSpecifiedTradeAccountingAccount"}, {65, "ram:BuyerDeductibleTaxSpecifiedTradeAccountingAccount"},
               {66, "ram:BuyerNonDeductibleTaxSpecifiedTradeAccountingAccount"}, {67, "ram:PlaceApplicableTradeLocation"}});
    r.push_back({"*", taxes, [](const TCtx& c) { return LocalNameEndsWith(c, "TradeTax", true); }});

    std::vector<TAssert> periods;
    AddAbsent(periods, DT, F, "",
              {{68, "ram:StartDateTime/udt:DateTime"}, {69, "ram:DurationMeasure"}, {70, "ram:InclusiveIndicator"}, {71, "ram:Description"},
               {72, "ram:EndDateTime/udt:DateTime"}, {73, "ram:CompleteDateTime"}, {74, "ram:OpenIndicator"}, {75, "ram:SeasonCode"},
               {76, "ram:ID"}, {77, "ram:Name"}, {78, "ram:SequenceNumeric"}, {79, "ram:StartDateFlexibilityCode"},
               {80, "ram:ContinuousIndicator"}, {81, "ram:PurposeCode"}});
    r.push_back({"ram:BillingSpecifiedPeriod", periods});

    std::vector<TAssert> addresses;
    AddAbsent(addresses, DT, F, "",
              {{82, "ram:ID"}, {83, "ram:PostOfficeBox"}, {84, "ram:BuildingName"}, {86, "ram:LineFour"}, {87, "ram:LineFive"},
               {88, "ram:StreetName"}, {89, "ram:CitySubDivisionName"}, {90, "ram:CountryName"}, {91, "ram:CountrySubDivisionID"},
               {92, "ram:AttentionOf"}, {93, "ram:CareOf"}, {94, "ram:BuildingNumber"}, {95, "ram:DepartmentName"},
               {96, "ram:AdditionalStreetName"}});
    r.push_back({"ram:PostalTradeAddress", addresses});

    r.push_back({"udt:DateTimeString[@format=='102']",
                 {{"CII-DT-097", F,
                   [](const TCtx& c) { return xq::Matches(c.Text(), "^\\s*(\\d{4})(1[0-2]|0[1-9]){1}(3[01]|[12][0-9]|0[1-9]){1}\\s*$"); },
                   "Ein Datum im Format 102 muss als JJJJMMTT geschrieben sein."}}});
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
    r.push_back({"rsm:ExchangedDocument/ram:TypeCode",
                 {{"BR-CL-01", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid1001Cii); },
                   "Der Code der Rechnungsart (BT-3) muss aus UNTDID 1001 stammen."}}});
    r.push_back({"ram:TaxTotalAmount[@currencyID]",
                 {{"BR-CL-03", F, [](const TCtx& c) { return AttributeOn(c, "currencyID", TCodeList::Iso4217); },
                   "Die Währung eines Betrags (currencyID) muss ein Code nach ISO 4217 sein."}}});
    r.push_back({"ram:InvoiceCurrencyCode",
                 {{"BR-CL-04", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Iso4217); },
                   "Die Rechnungswährung (BT-5) muss ein Code nach ISO 4217 sein."}}});
    r.push_back({"ram:TaxCurrencyCode",
                 {{"BR-CL-05", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Iso4217); },
                   "Die Steuerwährung (BT-6) muss ein Code nach ISO 4217 sein."}}});
    r.push_back({"ram:DueDateTypeCode",
                 {{"BR-CL-06", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid2475); },
                   "Der Code des Steuerzeitpunkts (BT-8) muss 5, 29 oder 72 sein."}}});
    r.push_back({"ram:ReferenceTypeCode",
                 {{"BR-CL-07", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid1153); },
                   "Das Schema der Objektkennung muss aus UNTDID 1153 stammen."}}});
    r.push_back({"ram:SubjectCode",
                 {{"BR-CL-08", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid4451); },
                   "Der Betreff einer Bemerkung muss ein Code aus UNTDID 4451 sein."}}});
    r.push_back({"ram:GlobalID[@schemeID]",
                 {{"BR-CL-10", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Icd); },
                   "Das Schema einer Kennung muss aus der ICD-Liste (ISO 6523) stammen."}},
                 [](const TCtx& c) {
                     return !xq::HasAncestor(c.Node, "ram:SpecifiedTradeProduct") && !xq::HasAncestor(c.Node, "ram:ShipToTradeParty");
                 }});
    r.push_back({"ram:ID[@schemeID]",
                 {{"BR-CL-11", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Icd); },
                   "Das Schema einer Registerkennung muss aus der ICD-Liste (ISO 6523) stammen."}},
                 [](const TCtx& c) { return !xq::HasAncestor(c.Node, "ram:SpecifiedTaxRegistration"); }});
    r.push_back({"ram:ClassCode[@listID]",
                 {{"BR-CL-13", F, [](const TCtx& c) { return AttributeOn(c, "listID", TCodeList::Untdid7143); },
                   "Das Schema der Artikelklassifizierung (BT-158) muss aus UNTDID 7143 stammen."}}});
    r.push_back({"ram:CountryID",
                 {{"BR-CL-14", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Iso3166Cii); }, "Ländercodes müssen nach ISO 3166-1 sein."}}});
    r.push_back({"ram:OriginTradeCountry/ram:ID",
                 {{"BR-CL-15", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Iso3166Cii); },
                   "Das Herkunftsland (BT-159) muss nach ISO 3166-1 sein."}}});
    r.push_back({"ram:SpecifiedTradeSettlementPaymentMeans/ram:TypeCode",
                 {{"BR-CL-16", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid4461); },
                   "Der Code der Zahlungsart (BT-81) muss aus UNTDID 4461 stammen."}}});
    r.push_back({"ram:CategoryTradeTax/ram:CategoryCode",
                 {{"BR-CL-17", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid5305); },
                   "Die Umsatzsteuerkategorie muss einer der Codes AE, L, M, E, S, Z, G, O, K oder B sein."}}});
    r.push_back({"ram:ApplicableTradeTax/ram:CategoryCode",
                 {{"BR-CL-18", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid5305); },
                   "Die Umsatzsteuerkategorie muss einer der Codes AE, L, M, E, S, Z, G, O, K oder B sein."}}});
    r.push_back({"ram:SpecifiedTradeAllowanceCharge/ram:ReasonCode",
                 {{"BR-CL-19", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid5189); },
                   "Der Code eines Nachlassgrunds muss aus UNTDID 5189 stammen."}},
                 [](const TCtx& c) { return IndicatorIs(xq::ParentElement(c.Node), false); }});
    r.push_back({"ram:SpecifiedTradeAllowanceCharge/ram:ReasonCode",
                 {{"BR-CL-20", F, [](const TCtx& c) { return ValueOn(c, TCodeList::Untdid7161); },
                   "Der Code eines Zuschlagsgrunds muss aus UNTDID 7161 stammen."}},
                 [](const TCtx& c) { return IndicatorIs(xq::ParentElement(c.Node), true); }});
    r.push_back({"ram:SpecifiedTradeProduct/ram:GlobalID[@schemeID]",
                 {{"BR-CL-21", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Icd); },
                   "Das Schema der Standardkennung des Artikels (BT-157) muss aus der ICD-Liste (ISO 6523) stammen."}}});
    r.push_back({"ram:ExemptionReasonCode",
                 {{"BR-CL-22", F, [](const TCtx& c) { return CodeIn(TCodeList::Vatex, c.Text().toUpper()); },
                   "Der Code des Befreiungsgrunds (BT-121) muss aus der VATEX-Liste stammen."}}});
    r.push_back({"ram:BasisQuantity[@unitCode]|ram:BilledQuantity[@unitCode]",
                 {{"BR-CL-23", F, [](const TCtx& c) { return AttributeOn(c, "unitCode", TCodeList::UneceRec20And21); },
                   "Die Einheit (unitCode) muss nach UN/ECE-Empfehlung 20 mit Ergänzung 21 sein."}}});
    r.push_back({"ram:AttachmentBinaryObject[@mimeCode]",
                 {{"BR-CL-24", F, [](const TCtx& c) { return OnCodeList(TCodeList::Mime, c.Attr("mimeCode")); },
                   "Der MIME-Typ eines Anhangs muss PDF, PNG, JPEG, CSV, XLSX oder ODS sein."}}});
    r.push_back({"ram:URIUniversalCommunication/ram:URIID[@schemeID]",
                 {{"BR-CL-25", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Eas); },
                   "Das Schema der elektronischen Adresse muss aus der EAS-Liste stammen."}}});
    r.push_back({"ram:ApplicableHeaderTradeDelivery/ram:ShipToTradeParty/ram:GlobalID[@schemeID]",
                 {{"BR-CL-26", F, [](const TCtx& c) { return AttributeOn(c, "schemeID", TCodeList::Icd); },
                   "Das Schema der Kennung des Lieferorts muss aus der ICD-Liste (ISO 6523) stammen."}}});
    return p;
}

} // namespace

const std::vector<TPattern>& CenCiiPatterns()
{
    static const std::vector<TPattern> patterns = {ModelPattern(), SyntaxPattern(), CodePattern()};
    return patterns;
}

} // namespace checks

// The rules the ZUGFeRD / Factur-X profiles BASIC and EXTENDED (Factur-X 1.09) add to the
// EN 16931 rules on CII, which apply to them as they stand (the same rule family, not a
// copy). The profile's structure is checked against its own content models; what EXTENDED
// changes in the EN 16931 sums (sub-lines, logistics fees) the CII rules do themselves.
// The texts are our own.

#include "checks/Rules.h"
#include "checks/Schema.h"

#include <libxml/tree.h>

namespace checks {

namespace {

constexpr TFlag F = TFlag::Fatal;
constexpr TFlag W = TFlag::Warning;

bool IsExtended(const TCtx& c)
{
    return c.Doc.Facts.Profile == TFxProfile::Extended;
}

// An element without child elements whose text is blank.
bool EmptyLeaf(const TCtx& c)
{
    return !xq::HasChildElements(c.Node) && xq::IsBlankValue(c.Node);
}

bool CreditTransfer(const TCtx& c)
{
    return c.AnyNorm("ram:TypeCode", {"30", "58"});
}

// A credit transfer names the account to pay to, and no account of the buyer's (that
// belongs to a direct debit).
bool CreditTransferAccount(const TCtx& c)
{
    return (c.Has("ram:PayeePartyCreditorFinancialAccount/ram:IBANID")
            || c.Has("ram:PayeePartyCreditorFinancialAccount/ram:ProprietaryID"))
        && !c.Has("ram:PayerPartyDebtorFinancialAccount");
}

bool UnitCodeListed(const TCtx& c)
{
    return !c.HasAttr("unitCode") || CodeIn(TCodeList::UneceRec20And21, c.Attr("unitCode"));
}

bool KnownLineKind(const TCtx& c)
{
    const QString kind = xq::NormalizeSpace(c.Text());
    return kind == QLatin1String("DETAIL") || kind == QLatin1String("GROUP") || kind == QLatin1String("INFORMATION");
}

const std::vector<TPattern>& Make()
{
    static const std::vector<TPattern> patterns = {
        {"Factur-X: leere Elemente",
         {{"*",
           {{"PEPPOL-EN16931-R008", W, [](const TCtx&) { return false; },
             "Die Rechnung soll keine leeren Elemente enthalten."}},
           EmptyLeaf}}},
        {"Factur-X: Zahlungsanweisungen",
         {{"rsm:SupplyChainTradeTransaction/ram:ApplicableHeaderTradeSettlement/ram:SpecifiedTradeSettlementPaymentMeans",
           {{"CII-SR-470", F, CreditTransferAccount,
             "Eine Überweisung (BT-81 = 30 oder 58) nennt das Konto, auf das gezahlt wird (BT-84), und kein Konto des "
             "Käufers (BT-91, das gehört zur Lastschrift)."}},
           CreditTransfer}}},
        {"Factur-X EXTENDED: Mengeneinheiten",
         {{"ram:SpecifiedLineTradeDelivery/ram:ChargeFreeQuantity|ram:SpecifiedLineTradeDelivery/ram:PackageQuantity"
           "|ram:SpecifiedLineTradeDelivery/ram:PerPackageUnitQuantity|ram:IncludedReferencedProduct/ram:UnitQuantity"
           "|ram:SpecifiedTradeAllowanceCharge/ram:BasisQuantity",
           {{"FX-SCH-A-001084", F, UnitCodeListed,
             "Die Mengeneinheit (@unitCode) muss ein Code der Listen UN/ECE Empfehlung 20 und 21 sein (Packstücke mit "
             "vorangestelltem X, z. B. XBO für Flasche)."}},
           IsExtended}}},
        {"Factur-X EXTENDED: Art der Position",
         {{"ram:AssociatedDocumentLineDocument/ram:LineStatusReasonCode",
           {{kStructureUncheckedId, F, KnownLineKind,
             "Die Art der Position (BT-X-8) ist keiner der Werte DETAIL, GROUP oder INFORMATION; wie sie in die Summen "
             "eingeht, kann die eingebaute Prüfung nicht entscheiden und weist die Rechnung zur Sicherheit zurück."}},
           IsExtended}}},
        // Codes of EXTENDED whose lists the built-in check does not carry: such an invoice is
        // not fully checkable, and rejected rather than waved through unchecked.
        {"Factur-X EXTENDED: Codes ohne Liste",
         {{"ram:ApplicableTradeDeliveryTerms/ram:DeliveryTypeCode|ram:SpecifiedLogisticsTransportMovement/ram:ModeCode"
           "|ram:DefinedTradeContact/ram:TypeCode|ram:AssociatedDocumentLineDocument/ram:LineStatusCode|ram:RoleCode"
           "|ram:ReferenceTypeCode|ram:ReceivableSpecifiedTradeAccountingAccount/ram:TypeCode",
           {{kStructureUncheckedId, F, [](const TCtx&) { return false; },
             "Die Codeliste dieses Elements (Profil EXTENDED) kennt die eingebaute Prüfung nicht. Sie kann die Rechnung "
             "daher nicht vollständig prüfen und weist sie zur Sicherheit zurück; der Prüfdienst prüft sie vollständig."}},
           IsExtended}}},
    };
    return patterns;
}

} // namespace

const std::vector<TPattern>& FacturXPatterns()
{
    return Make();
}

} // namespace checks

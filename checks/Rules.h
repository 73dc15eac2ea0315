#pragma once

#include "checks/Check.h"
#include "checks/CodeLists.h"
#include "checks/Xml.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// How the rules are written down: like the published rule sets, as patterns of rules,
// each rule a context (which elements it looks at) and asserts (what must hold there).
// Within one pattern an element is looked at by the first rule whose context matches it,
// as in Schematron; every pattern looks at every element.

namespace checks {

enum class TFlag { Fatal, Warning, Information };

enum class TSyntax { UblInvoice, UblCreditNote, Cii };

// The ZUGFeRD / Factur-X profile whose own rules apply on top of EN 16931's (CII only).
enum class TFxProfile { None, Basic, Extended };

// What the scenario says about the document.
struct TScenarioFacts
{
    TSyntax Syntax = TSyntax::UblInvoice;
    bool XRechnung = false; // an XRechnung scenario (not plain EN 16931)
    bool Extension = false; // the XRechnung extension
    bool Cvd = false;       // XRechnung CVD
    TFxProfile Profile = TFxProfile::None;
};

// The document being checked.
struct TDocument
{
    _xmlNode* Root = nullptr;
    TScenarioFacts Facts;

    // All elements of that name in the document ("//cac:TaxCategory"), found once.
    const std::vector<_xmlNode*>& All(const char* qualifiedName) const;
    // Whether some element of the document has an attribute of that name ("//@listName").
    bool HasAttributeAnywhere(const char* name) const;
    // Whether something is at path, answered from the name paths of the document (one
    // walk for all): path from the root element when relative, or "//a/b" anywhere. Only
    // for plain paths (names with the usual prefixes, an attribute at the end, "|"
    // between alternatives); nullopt for any other.
    std::optional<bool> HasNamePath(const char* path) const;
    // What path selects from the root element, found once: rules on each of ten thousand
    // lines that look at the document's head must not walk past all lines each time.
    const std::vector<_xmlNode*>& FromRoot(const char* path) const;

private:
    mutable std::unordered_map<std::string, std::vector<_xmlNode*>> FAll;
    mutable std::unordered_map<std::string, std::vector<_xmlNode*>> FFromRoot;
    void ReadNames() const;

    mutable std::unordered_set<std::string> FAttributeNames;
    // The distinct name paths ("/ubl:Invoice/cac:InvoiceLine/cbc:ID", ".../cbc:ID/@schemeID")
    // as a tree: each node a step ("cbc:ID", "@schemeID"; "?" for a name without a usual
    // prefix, which matches no path) below its parent (-1 for the root element's).
    struct TPathNode
    {
        int Parent;
        int Step; // its number in FStepNumbers
    };
    mutable std::vector<TPathNode> FPathNodes;
    struct TStepKey
    {
        int Parent;
        const char* Prefix;
        const void* Name;
        bool operator==(const TStepKey& o) const { return Parent == o.Parent && Prefix == o.Prefix && Name == o.Name; }
    };
    struct TStepKeyHash
    {
        size_t operator()(const TStepKey& k) const;
    };
    mutable std::unordered_map<TStepKey, int, TStepKeyHash> FStepIds;
    struct TStringHash
    {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    mutable std::unordered_map<std::string, int, TStringHash, std::equal_to<>> FStepNumbers; // "cbc:ID" -> number
    mutable std::vector<std::vector<int>> FByStep;              // step number -> nodes
    mutable std::unordered_map<unsigned long long, int> FChildByStep; // (parent, step number) -> node
    static unsigned long long ChildKey(int parent, int step)
    {
        return (static_cast<unsigned long long>(static_cast<unsigned int>(parent)) << 32) | static_cast<unsigned int>(step);
    }
    int StepId(int parent, const char* prefix, const void* name, std::string (*step)(const void*, const char*)) const;
    mutable bool FNamesRead = false;
};

// An element under a rule, with the helpers its asserts use. Paths are relative to the
// element (or, starting with "/", to the root element).
struct TCtx
{
    _xmlNode* Node;
    const TDocument& Doc;

    bool Has(const char* path) const { return xq::Exists(Node, path); }
    int Count(const char* path) const { return xq::Count(Node, path); }
    QString Str(const char* path) const { return xq::First(Node, path); }
    // normalize-space() of the first node path selects ("" when none).
    QString Norm(const char* path) const { return xq::NormalizeSpace(xq::First(Node, path)); }
    bool NonBlank(const char* path) const { return xq::NonBlank(Node, path); }
    std::vector<QString> Vals(const char* path) const { return xq::Values(Node, path); }
    std::vector<_xmlNode*> Sel(const char* path) const { return xq::Select(Node, path); }
    bool AnyNorm(const char* path, std::initializer_list<const char*> values) const
    {
        return xq::AnyNormalizedIs(Node, path, values);
    }
    QString Text() const { return xq::StringValue(Node); }
    QString Attr(const char* name) const { return xq::AttributeValue(Node, name); }
    bool HasAttr(const char* name) const { return xq::HasAttribute(Node, name); }
    TCtx At(_xmlNode* node) const { return TCtx{node, Doc}; }
    _xmlNode* Root() const { return Doc.Root; }
    bool IsCreditNote() const { return Doc.Facts.Syntax == TSyntax::UblCreditNote; }
};

using TTest = bool (*)(const TCtx&);

struct TAssert
{
    const char* Id;
    TFlag Flag;
    TTest Test;    // true: the rule holds
    const char* Text; // German, our words
    // Instead of Test: the rule holds when nothing is at this path ("cac:Signature",
    // "//cac:FinancialInstitution", "//@listName").
    const char* AbsentPath = nullptr;
};

// Whether something is at path from the element: a path of the bindings' language, or
// one that starts with "//" (anywhere in the document), or "//@name".
bool PathExists(const TCtx& c, const char* path);

struct TRule
{
    // Which elements: alternatives "a|b"; each steps "x/y/z" from any ancestor, "/x/y" from
    // the root element, "//" any ancestors between; a step is a name ("cac:Party") or "*",
    // with conditions as in the model's bindings ("[cbc:ID='VAT']", "[not cbc:ID]").
    const char* Context;
    std::vector<TAssert> Asserts;
    // A further condition on the element, where the context language is too small.
    TTest Filter = nullptr;
};

struct TPattern
{
    const char* Name;
    std::vector<TRule> Rules;
};

// The rule sets, by family.
const std::vector<TPattern>& CenUblPatterns();
const std::vector<TPattern>& CenCiiPatterns();
const std::vector<TPattern>& XRechnungUblPatterns();
const std::vector<TPattern>& XRechnungCiiPatterns();
const std::vector<TPattern>& FacturXPatterns();

// Helpers the rule families share.

// Texts made while the rules are built (contexts, paths, messages) must live as long as the
// rules: kept here.
const char* KeepText(std::string text);

// The one value path selects from the element, for the XPath functions that take a single
// item: nullopt for none, TEvalError for several.
std::optional<QString> OneValue(const TCtx& c, const char* path);
// xs:decimal() of that value; TEvalError also for a text that is no number.
std::optional<TDecimal> OneDecimal(const TCtx& c, const char* path);
// normalize-space(path) != ''.
bool Filled(const TCtx& c, const char* path);
// matches(normalize-space(path), pattern), no value read as ''.
bool OneMatches(const TCtx& c, const char* path, const char* pattern);
// Whether the normalized value has no blank and is on the list (the rules' usual test).
bool CodeIn(TCodeList list, const QString& value);
// Digits after the point in the text (string-length(substring-after(x, '.'))).
int DecimalsOf(const QString& text);
// Whether no value path selects has more than two decimals.
bool AtMostTwoDecimals(const TCtx& c, const char* path);
// XPath's sum(xs:decimal(...)) over what path selects (0 when nothing); raises TEvalError.
TDecimal DecimalSum(const TCtx& c, const char* path);
// XPath's sum() of untyped values: doubles; raises TEvalError.
double DoubleSum(const TCtx& c, const char* path);
// round(x * 100) div 100 on decimals and doubles, as the rules write it.
TDecimal Round2(const TDecimal& value);
double Round2(double value);

} // namespace checks

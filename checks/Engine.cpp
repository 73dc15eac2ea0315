#include "checks/Check.h"
#include "checks/Rules.h"
#include "checks/Schema.h"

#include "model/Bindings.h"
#include "model/InvoiceReader.h"
#include "model/XmlPath.h"
#include "platform/Exception.h"

#include <libxml/tree.h>

#include <QHash>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace checks {

namespace {

// ---- Contexts ---------------------------------------------------------------------------

struct TStepMatch
{
    bool AnyName = false;
    std::string Namespace;
    std::string Local;
    std::optional<TXmlPath> Condition; // ".[...]" on the element
    bool GapBefore = false;            // "//" before this step
};

struct TAlternativeMatch
{
    bool Absolute = false;
    std::vector<TStepMatch> Steps;
};

std::string Trimmed(const std::string& s)
{
    const size_t from = s.find_first_not_of(' ');
    const size_t to = s.find_last_not_of(' ');
    return from == std::string::npos ? std::string() : s.substr(from, to - from + 1);
}

TAlternativeMatch CompileAlternative(const std::string& whole, std::string text)
{
    TAlternativeMatch a;
    text = Trimmed(text);
    if (text.rfind("//", 0) == 0) {
        text = text.substr(2);
    } else if (text.rfind('/', 0) == 0) {
        a.Absolute = true;
        text = text.substr(1);
    }
    bool gap = false;
    for (const std::string& part : SplitTopLevel(text, '/')) {
        if (part.empty()) { // the empty part between the two slashes of "//"
            gap = true;
            continue;
        }
        TStepMatch step;
        step.GapBefore = gap;
        gap = false;
        std::string name = part;
        const size_t bracket = part.find('[');
        if (bracket != std::string::npos) {
            name = part.substr(0, bracket);
            step.Condition = TXmlPath::Compile(("." + part.substr(bracket)).c_str());
        }
        if (name == "*") {
            step.AnyName = true;
        } else {
            const size_t colon = name.find(':');
            if (colon == std::string::npos)
                throw std::invalid_argument("rule context '" + whole + "': a step needs a prefix");
            const char* ns = NamespaceOfPrefix(name.substr(0, colon).c_str());
            if (!ns)
                throw std::invalid_argument("rule context '" + whole + "': unknown prefix");
            step.Namespace = ns;
            step.Local = name.substr(colon + 1);
        }
        a.Steps.push_back(std::move(step));
    }
    if (a.Steps.empty())
        throw std::invalid_argument("rule context '" + whole + "' is empty");
    return a;
}

bool StepMatches(const TStepMatch& step, xmlNode* node)
{
    if (!step.AnyName) {
        if (std::strcmp(reinterpret_cast<const char*>(node->name), step.Local.c_str()) != 0)
            return false;
        const char* ns = xq::NamespaceUri(node);
        if (!ns || step.Namespace != ns)
            return false;
    }
    if (step.Condition) {
        std::vector<TXmlPath::TMatch> out;
        step.Condition->Evaluate(node, xq::RootElement(node), false, out);
        if (out.empty())
            return false;
    }
    return true;
}

bool MatchFrom(const TAlternativeMatch& a, int i, xmlNode* node)
{
    if (!node || !StepMatches(a.Steps[size_t(i)], node))
        return false;
    if (i == 0)
        return !a.Absolute || xq::ParentElement(node) == nullptr;
    if (a.Steps[size_t(i)].GapBefore) {
        for (xmlNode* up = xq::ParentElement(node); up; up = xq::ParentElement(up)) {
            if (MatchFrom(a, i - 1, up))
                return true;
        }
        return false;
    }
    return MatchFrom(a, i - 1, xq::ParentElement(node));
}

struct TCompiledRule
{
    const TRule* Rule;
    std::vector<TAlternativeMatch> Alternatives;

    bool Matches(xmlNode* node, const TDocument& doc) const
    {
        bool any = false;
        for (const TAlternativeMatch& a : Alternatives) {
            if (MatchFrom(a, int(a.Steps.size()) - 1, node)) {
                any = true;
                break;
            }
        }
        return any && (!Rule->Filter || Rule->Filter(TCtx{node, doc}));
    }
};

struct TCompiledPattern
{
    const TPattern* Pattern;
    std::vector<TCompiledRule> Rules;
    // Local name of an element -> the rules whose context can end there, in rule order.
    std::unordered_map<std::string, std::vector<int>> ByName;
    std::vector<int> AnyName;
};

TCompiledPattern CompilePattern(const TPattern& pattern)
{
    TCompiledPattern compiled;
    compiled.Pattern = &pattern;
    for (const TRule& rule : pattern.Rules) {
        TCompiledRule r;
        r.Rule = &rule;
        const std::string whole = rule.Context;
        for (const std::string& alternative : SplitTopLevel(whole, '|'))
            r.Alternatives.push_back(CompileAlternative(whole, alternative));
        const int index = int(compiled.Rules.size());
        bool anyName = false;
        std::vector<std::string> names;
        for (const TAlternativeMatch& a : r.Alternatives) {
            const TStepMatch& last = a.Steps.back();
            if (last.AnyName)
                anyName = true;
            else if (std::find(names.begin(), names.end(), last.Local) == names.end())
                names.push_back(last.Local);
        }
        if (anyName)
            compiled.AnyName.push_back(index);
        else
            for (const std::string& n : names)
                compiled.ByName[n].push_back(index);
        compiled.Rules.push_back(std::move(r));
    }
    return compiled;
}

std::vector<TCompiledPattern> CompileAll(const std::vector<TPattern>& patterns)
{
    std::vector<TCompiledPattern> compiled;
    for (const TPattern& p : patterns)
        compiled.push_back(CompilePattern(p));
    return compiled;
}

// ---- Scenarios --------------------------------------------------------------------------

constexpr const char* kXRechnungId = "urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_3.0";
constexpr const char* kExtensionId = "urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_3.0"
                                     "#conformant#urn:xeinkauf.de:kosit:extension:xrechnung_3.0";
constexpr const char* kCvdId = "urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_3.0"
                               "#compliant#urn:xeinkauf.de:kosit:xrechnung:cvd_0.9";
constexpr const char* kEn16931Id = "urn:cen.eu:en16931:2017";

struct TLevelChange
{
    const char* Id;
    TCheckLevel Level;
};

struct TScenario
{
    const char* Name;
    TSyntax Syntax;
    const char* Id;
    bool XRechnung;
    bool Extension;
    bool Cvd;
    std::vector<TLevelChange> Levels;
    TFxProfile Profile = TFxProfile::None;
};

const std::vector<TScenario>& Scenarios()
{
    using L = TCheckLevel;
    static const std::vector<TScenario> scenarios = {
        {"EN16931 XRechnung (UBL Invoice)", TSyntax::UblInvoice, kXRechnungId, true, false, false,
         {{"BR-CL-23", L::Warning}, {"BR-CL-21", L::Warning}, {"UBL-CR-646", L::Error}}},
        {"EN16931 XRechnung (UBL CreditNote)", TSyntax::UblCreditNote, kXRechnungId, true, false, false,
         {{"BR-CL-23", L::Warning}, {"BR-CL-21", L::Warning}, {"UBL-CR-646", L::Error}}},
        {"EN16931 XRechnung (CII)", TSyntax::Cii, kXRechnungId, true, false, false,
         {{"BR-CL-23", L::Warning}, {"BR-CL-21", L::Warning}, {"CII-SR-452", L::Error}, {"CII-SR-453", L::Error},
          {"CII-SR-454", L::Error}}},
        {"EN16931 XRechnung Extension (UBL Invoice)", TSyntax::UblInvoice, kExtensionId, true, true, false,
         {{"BR-CL-21", L::Information}, {"BR-CL-23", L::Warning}, {"BR-CL-24", L::Information},
          {"BR-CL-10", L::Information}, {"BR-CL-11", L::Information}, {"BR-CL-25", L::Information},
          {"BR-CL-26", L::Information}, {"BR-CO-16", L::Information}, {"UBL-CR-470", L::Information},
          {"UBL-CR-646", L::Information}}},
        {"EN16931 XRechnung Extension (CII)", TSyntax::Cii, kExtensionId, true, true, false,
         {{"BR-CL-23", L::Warning}, {"BR-CL-21", L::Information}, {"BR-CL-11", L::Information},
          {"BR-CL-10", L::Information}, {"BR-CL-24", L::Information}, {"BR-CL-25", L::Information},
          {"BR-CL-26", L::Information}, {"CII-SR-452", L::Error}, {"CII-SR-453", L::Error}, {"CII-SR-454", L::Error}}},
        {"EN16931 XRechnung CVD (UBL Invoice)", TSyntax::UblInvoice, kCvdId, true, false, true,
         {{"BR-CL-13", L::Information}, {"BR-CL-23", L::Warning}, {"BR-CL-21", L::Warning}, {"UBL-CR-646", L::Error}}},
        {"EN16931 XRechnung CVD (CII)", TSyntax::Cii, kCvdId, true, false, true,
         {{"BR-CL-13", L::Information}, {"BR-CL-23", L::Warning}, {"BR-CL-21", L::Warning}, {"CII-SR-452", L::Error},
          {"CII-SR-453", L::Error}, {"CII-SR-454", L::Error}}},
        {"EN16931 (UBL Invoice)", TSyntax::UblInvoice, kEn16931Id, false, false, false, {}},
        {"EN16931 (UBL CreditNote)", TSyntax::UblCreditNote, kEn16931Id, false, false, false, {}},
        {"EN16931 (CII)", TSyntax::Cii, kEn16931Id, false, false, false, {}},
        // The ZUGFeRD / Factur-X profiles that are e-invoices besides EN 16931 itself, under
        // the Factur-X and the ZUGFeRD 2.0 identifiers.
        {"Factur-X 1.09 BASIC (CII)", TSyntax::Cii, "urn:cen.eu:en16931:2017#compliant#urn:factur-x.eu:1p0:basic",
         false, false, false, {}, TFxProfile::Basic},
        {"Factur-X 1.09 BASIC (CII)", TSyntax::Cii, "urn:cen.eu:en16931:2017#compliant#urn:zugferd.de:2p0:basic",
         false, false, false, {}, TFxProfile::Basic},
        {"Factur-X 1.09 EXTENDED (CII)", TSyntax::Cii, "urn:cen.eu:en16931:2017#conformant#urn:factur-x.eu:1p0:extended",
         false, false, false, {}, TFxProfile::Extended},
        {"Factur-X 1.09 EXTENDED (CII)", TSyntax::Cii, "urn:cen.eu:en16931:2017#conformant#urn:zugferd.de:2p0:extended",
         false, false, false, {}, TFxProfile::Extended},
    };
    return scenarios;
}

bool AnyTextChildIs(xmlNode* element, const char* value)
{
    for (xmlNode* c = element->children; c; c = c->next) {
        if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content
            && std::strcmp(reinterpret_cast<const char*>(c->content), value) == 0)
            return true;
    }
    return false;
}

std::optional<TSyntax> SyntaxOf(xmlNode* root)
{
    if (xq::Is(root, "ubl:Invoice"))
        return TSyntax::UblInvoice;
    if (xq::Is(root, "cn:CreditNote"))
        return TSyntax::UblCreditNote;
    if (xq::Is(root, "rsm:CrossIndustryInvoice"))
        return TSyntax::Cii;
    return std::nullopt;
}

// The scenario whose document type and rules identifier (BT-24) the document has. The
// XRechnung scenarios compare the identifier's string value (UBL) or its text (CII), the
// EN 16931 ones its text, exactly.
const TScenario* MatchScenario(xmlNode* root)
{
    const std::optional<TSyntax> syntax = SyntaxOf(root);
    if (!syntax)
        return nullptr;
    const std::vector<xmlNode*> ids = *syntax == TSyntax::Cii
        ? xq::Select(root, "rsm:ExchangedDocumentContext/ram:GuidelineSpecifiedDocumentContextParameter/ram:ID")
        : xq::Select(root, "cbc:CustomizationID");
    for (const TScenario& s : Scenarios()) {
        if (s.Syntax != *syntax)
            continue;
        for (xmlNode* id : ids) {
            const bool byStringValue = s.XRechnung && *syntax != TSyntax::Cii;
            if (byStringValue ? xq::StringValue(id) == QLatin1String(s.Id) : AnyTextChildIs(id, s.Id))
                return &s;
        }
    }
    return nullptr;
}

TCheckLevel LevelOf(TFlag flag)
{
    switch (flag) {
    case TFlag::Fatal:
        return TCheckLevel::Error;
    case TFlag::Warning:
        return TCheckLevel::Warning;
    case TFlag::Information:
        break;
    }
    return TCheckLevel::Information;
}

// ---- The walk ---------------------------------------------------------------------------

void RunPatterns(const TDocument& doc, const std::vector<const std::vector<TCompiledPattern>*>& sets,
                 std::vector<TCheckFinding>& findings)
{
    xmlNode* node = doc.Root;
    std::vector<int> candidates;
    while (node) {
        if (node->type == XML_ELEMENT_NODE) {
            const std::string local(reinterpret_cast<const char*>(node->name));
            for (const std::vector<TCompiledPattern>* set : sets) {
                for (const TCompiledPattern& p : *set) {
                    candidates.clear();
                    auto named = p.ByName.find(local);
                    if (named != p.ByName.end())
                        candidates = named->second;
                    if (!p.AnyName.empty()) {
                        candidates.insert(candidates.end(), p.AnyName.begin(), p.AnyName.end());
                        std::sort(candidates.begin(), candidates.end());
                    }
                    for (int index : candidates) {
                        const TCompiledRule& rule = p.Rules[size_t(index)];
                        bool matches = false;
                        try {
                            matches = rule.Matches(node, doc);
                        } catch (const xq::TEvalError&) {
                            // A condition that cannot be evaluated selects nothing here; the
                            // value itself is reported by the structure check.
                            matches = false;
                        }
                        if (!matches)
                            continue;
                        const TCtx ctx{node, doc};
                        for (const TAssert& a : rule.Rule->Asserts) {
                            bool holds = false;
                            QString failure;
                            try {
                                holds = a.Test ? a.Test(ctx) : !PathExists(ctx, a.AbsentPath);
                            } catch (const xq::TEvalError& e) {
                                failure = e.Why;
                            }
                            if (holds)
                                continue;
                            TCheckFinding f;
                            f.Id = QString::fromLatin1(a.Id);
                            f.Level = failure.isNull() ? LevelOf(a.Flag) : TCheckLevel::Error;
                            f.Location = xq::LocationOf(node);
                            f.Line = xq::LineOf(node);
                            f.Text = failure.isNull()
                                ? QString::fromUtf8(a.Text)
                                : QStringLiteral("Die Regel ließ sich nicht auswerten (%1). Eine Rechnung, deren Werte "
                                                 "die Regel nicht lesen kann, gilt als fehlerhaft. Die Regel sagt: %2")
                                      .arg(failure, QString::fromUtf8(a.Text));
                            if (!failure.isNull())
                                f.Raised = true;
                            findings.push_back(std::move(f));
                        }
                        break; // the first matching rule of a pattern takes the element
                    }
                }
            }
            if (node->children) {
                node = node->children;
                continue;
            }
        }
        while (node && !node->next && node != doc.Root)
            node = node->parent;
        if (!node || node == doc.Root)
            break;
        node = node->next;
    }
}

// Each family is made and compiled when a document first needs it: a UBL invoice never
// needs the CII rules.
const std::vector<TCompiledPattern>& Compiled(TSyntax syntax, bool xrechnung, bool facturX = false)
{
    struct TFamily
    {
        std::once_flag Once;
        std::vector<TCompiledPattern> Patterns;
        const std::vector<TCompiledPattern>& Get(const std::vector<TPattern>& (*patterns)())
        {
            std::call_once(Once, [&] { Patterns = CompileAll(patterns()); });
            return Patterns;
        }
    };
    static TFamily cenUbl, cenCii, xrUbl, xrCii, facturX_;
    if (facturX)
        return facturX_.Get(FacturXPatterns);
    if (syntax == TSyntax::Cii)
        return xrechnung ? xrCii.Get(XRechnungCiiPatterns) : cenCii.Get(CenCiiPatterns);
    return xrechnung ? xrUbl.Get(XRechnungUblPatterns) : cenUbl.Get(CenUblPatterns);
}

// EXTENDED allows much that EN 16931's CII rules advise against (CII-SR-..., CII-DT-...
// warnings: "should not be used in an EN 16931 invoice"); its own structure decides what
// may stand where. Their errors stay.
void DropCiiRestrictions(std::vector<TCheckFinding>& findings)
{
    findings.erase(std::remove_if(findings.begin(), findings.end(),
                                  [](const TCheckFinding& f) {
                                      return f.Level != TCheckLevel::Error
                                          && (f.Id.startsWith(QLatin1String("CII-SR-")) || f.Id.startsWith(QLatin1String("CII-DT-")));
                                  }),
                   findings.end());
}

void ApplyLevels(const TScenario& scenario, std::vector<TCheckFinding>& findings)
{
    for (TCheckFinding& f : findings) {
        for (const TLevelChange& change : scenario.Levels) {
            if (f.Id != QLatin1String(change.Id))
                continue;
            if (change.Level == TCheckLevel::Error && f.Level != TCheckLevel::Error)
                f.Raised = true;
            if (change.Level != TCheckLevel::Error && f.Level == TCheckLevel::Error && !f.Raised)
                f.Tolerated = true;
            if (change.Level == TCheckLevel::Information && f.Level == TCheckLevel::Warning)
                f.Lowered = true;
        }
    }
}

TCheckVerdict VerdictOf(const std::vector<TCheckFinding>& findings)
{
    bool tolerated = false;
    for (const TCheckFinding& f : findings) {
        if (f.CountsAsError())
            return TCheckVerdict::Reject;
        if (f.Tolerated)
            tolerated = true;
    }
    return tolerated ? TCheckVerdict::AcceptTolerated : TCheckVerdict::Accept;
}

TCheckResult Rejection(const QString& id, const QString& text)
{
    TCheckResult result;
    TCheckFinding f;
    f.Id = id;
    f.Text = text;
    result.Findings.push_back(f);
    result.Verdict = TCheckVerdict::Reject;
    return result;
}

} // namespace

// ---- Helpers of the rule families --------------------------------------------------------

const std::vector<_xmlNode*>& TDocument::All(const char* qualifiedName) const
{
    auto it = FAll.find(qualifiedName);
    if (it == FAll.end())
        it = FAll.emplace(qualifiedName, xq::Descendants(Root, qualifiedName)).first;
    // The root element itself is no descendant of itself.
    return it->second;
}

const std::vector<_xmlNode*>& TDocument::FromRoot(const char* path) const
{
    auto it = FFromRoot.find(path);
    if (it == FFromRoot.end())
        it = FFromRoot.emplace(path, xq::Select(Root, path)).first;
    return it->second;
}

namespace {

// A step the name paths can answer: "prefix:Name" with a usual prefix, or "@name".
bool PlainStep(std::string_view step, bool last)
{
    static const char* const kPrefixes[] = {"cbc", "cac", "ext", "ubl", "cn", "rsm", "ram", "udt", "qdt"};
    auto nameChars = [](std::string_view name) {
        return !name.empty() && std::all_of(name.begin(), name.end(), [](char ch) {
            return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '-' || ch == '.';
        });
    };
    if (step.size() > 1 && step.front() == '@')
        return last && nameChars(step.substr(1));
    const size_t colon = step.find(':');
    if (colon == std::string_view::npos || !nameChars(step.substr(colon + 1)))
        return false;
    const std::string_view prefix = step.substr(0, colon);
    return std::any_of(std::begin(kPrefixes), std::end(kPrefixes), [prefix](const char* p) { return prefix == p; });
}

// The step of an element in a name path: "cac:Party", or "?" for a namespace the checks
// know no prefix for (such a step matches no path of theirs).
constexpr const char* kNoPrefix = "?";
std::string ElementStep(const void* name, const char* prefix)
{
    return prefix == kNoPrefix ? std::string(kNoPrefix) : std::string(prefix) + ':' + static_cast<const char*>(name);
}

const char* PrefixOrNone(const xmlNode* n)
{
    const char* prefix = xq::UsualPrefix(n);
    return prefix ? prefix : kNoPrefix;
}

} // namespace

size_t TDocument::TStepKeyHash::operator()(const TStepKey& k) const
{
    return std::hash<const void*>()(k.Name) * 31 + std::hash<const void*>()(k.Prefix) * 7 + size_t(k.Parent);
}

int TDocument::StepId(int parent, const char* prefix, const void* name, std::string (*step)(const void*, const char*)) const
{
    const TStepKey key{parent, prefix, name};
    const auto it = FStepIds.find(key);
    if (it != FStepIds.end())
        return it->second;
    // Names are found by address; one name at two addresses still gives one path.
    const std::string text = step(name, prefix);
    auto known = FStepNumbers.find(text);
    if (known == FStepNumbers.end()) {
        known = FStepNumbers.emplace(text, int(FStepNumbers.size())).first;
        FByStep.emplace_back();
    }
    const int stepNumber = known->second;
    const auto [child, added] = FChildByStep.emplace(ChildKey(parent, stepNumber), int(FPathNodes.size()));
    if (added) {
        FPathNodes.push_back({parent, stepNumber});
        FByStep[size_t(stepNumber)].push_back(child->second);
    }
    FStepIds.emplace(key, child->second);
    return child->second;
}

void TDocument::ReadNames() const
{
    if (FNamesRead)
        return;
    FNamesRead = true;
    if (!Root)
        return;
    // The distinct name paths of the document as a tree: each element (and attribute) is
    // its parent's path plus its name, found by the names' own addresses (libxml2 keeps one
    // copy of each name), so a text is made once per distinct path, not per element.
    FStepNumbers.emplace(ElementStep(Root->name, PrefixOrNone(Root)), 0);
    FByStep.push_back({0});
    FPathNodes.push_back({-1, 0});
    std::vector<std::pair<xmlNode*, int>> pending{{Root, 0}};
    static const char kAttribute[] = "@";
    while (!pending.empty()) {
        const auto [n, id] = pending.back();
        pending.pop_back();
        for (xmlAttr* a = n->properties; a; a = a->next) {
            if (a->ns)
                continue;
            FAttributeNames.insert(reinterpret_cast<const char*>(a->name));
            StepId(id, kAttribute, a->name,
                   [](const void* name, const char*) { return std::string("@") + static_cast<const char*>(name); });
        }
        for (xmlNode* c = n->last; c; c = c->prev) {
            if (c->type != XML_ELEMENT_NODE)
                continue;
            pending.emplace_back(c, StepId(id, PrefixOrNone(c), c->name, ElementStep));
        }
    }
}

bool TDocument::HasAttributeAnywhere(const char* name) const
{
    ReadNames();
    return FAttributeNames.count(name) != 0;
}

namespace {

// What HasNamePath looks for: per alternative, whether anywhere, and its steps.
using TWanted = std::vector<std::pair<bool, std::vector<std::string>>>;

std::optional<TWanted> ParseNamePath(const char* path)
{
    TWanted wanted;
    std::string_view rest(path);
    while (true) {
        const size_t bar = rest.find('|');
        std::string_view alternative = rest.substr(0, bar);
        const bool anywhere = alternative.substr(0, 2) == "//";
        if (anywhere)
            alternative.remove_prefix(2);
        if (alternative.empty())
            return std::nullopt;
        std::string_view steps = alternative;
        std::vector<std::string> parts;
        while (true) {
            const size_t slash = steps.find('/');
            if (!PlainStep(steps.substr(0, slash), slash == std::string_view::npos))
                return std::nullopt;
            parts.emplace_back(steps.substr(0, slash));
            if (slash == std::string_view::npos)
                break;
            steps.remove_prefix(slash + 1);
        }
        wanted.emplace_back(anywhere, std::move(parts));
        if (bar == std::string_view::npos)
            break;
        rest.remove_prefix(bar + 1);
    }
    return wanted;
}

// Paths are literals of the rule tables (or kept texts): parsed once per thread and address.
const std::optional<TWanted>& ParsedNamePath(const char* path)
{
    thread_local std::unordered_map<const char*, std::optional<TWanted>> parsed;
    auto it = parsed.find(path);
    if (it == parsed.end())
        it = parsed.emplace(path, ParseNamePath(path)).first;
    return it->second;
}

} // namespace

std::optional<bool> TDocument::HasNamePath(const char* path) const
{
    const std::optional<TWanted>& wanted = ParsedNamePath(path);
    if (!wanted)
        return std::nullopt;
    ReadNames();
    if (FPathNodes.empty())
        return false;
    for (const auto& [anywhere, parts] : *wanted) {
        // The steps as the document numbers them; a step it does not have is nowhere.
        std::vector<int> numbers;
        numbers.reserve(parts.size());
        for (const std::string& part : parts) {
            const auto known = FStepNumbers.find(part);
            if (known == FStepNumbers.end())
                break;
            numbers.push_back(known->second);
        }
        if (numbers.size() != parts.size())
            continue;
        if (!anywhere) {
            // From the root element down, step by step.
            int id = 0;
            for (const int number : numbers) {
                const auto child = FChildByStep.find(ChildKey(id, number));
                id = child == FChildByStep.end() ? -1 : child->second;
                if (id < 0)
                    break;
            }
            if (id >= 0)
                return true;
            continue;
        }
        // Anywhere: the paths that end in the last step, then their parents up the rest.
        for (int id : FByStep[size_t(numbers.back())]) {
            int up = FPathNodes[size_t(id)].Parent;
            bool match = true;
            for (size_t k = numbers.size() - 1; k-- > 0;) {
                if (up < 0 || FPathNodes[size_t(up)].Step != numbers[k]) {
                    match = false;
                    break;
                }
                up = FPathNodes[size_t(up)].Parent;
            }
            if (match)
                return true;
        }
    }
    return false;
}

const char* KeepText(std::string text)
{
    // One copy per text: rules that compose a path while they run ask for the same text
    // on every line, and the compiled paths are kept by this address.
    static std::unordered_set<std::string> kept = [] {
        std::unordered_set<std::string> set;
        set.reserve(4096); // the rule tables keep about two thousand
        return set;
    }();
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    return kept.insert(std::move(text)).first->c_str();
}

bool PathExists(const TCtx& c, const char* path)
{
    // Plain paths from the root element, or from anywhere, need no walk of their own.
    if (c.Node == c.Doc.Root || std::strncmp(path, "//", 2) == 0) {
        if (const std::optional<bool> known = c.Doc.HasNamePath(path))
            return *known;
    }
    if (std::strncmp(path, "//@", 3) == 0)
        return c.Doc.HasAttributeAnywhere(path + 3);
    if (std::strncmp(path, "//", 2) != 0)
        return c.Has(path);
    // "//first/rest": elements named first anywhere, then rest below them.
    const char* slash = std::strchr(path + 2, '/');
    const std::string first = slash ? std::string(path + 2, slash) : std::string(path + 2);
    const std::vector<_xmlNode*>& starts = c.Doc.All(first.c_str());
    if (!slash)
        return !starts.empty();
    for (_xmlNode* start : starts) {
        if (xq::Exists(start, slash + 1))
            return true;
    }
    return false;
}

bool CodeIn(TCodeList list, const QString& value)
{
    const QString n = xq::NormalizeSpace(value);
    return !n.contains(u' ') && OnCodeList(list, n);
}

int DecimalsOf(const QString& text)
{
    const qsizetype point = text.indexOf(u'.');
    return point < 0 ? 0 : int(text.size() - point - 1);
}

std::optional<QString> OneValue(const TCtx& c, const char* path)
{
    const std::vector<QString> values = c.Vals(path);
    if (values.size() > 1)
        throw xq::TEvalError{QStringLiteral("mehr als ein Wert, wo die Regel einen erwartet")};
    if (values.empty())
        return std::nullopt;
    return values.front();
}

std::optional<TDecimal> OneDecimal(const TCtx& c, const char* path)
{
    const std::optional<QString> v = OneValue(c, path);
    if (!v)
        return std::nullopt;
    return xq::Decimal(*v);
}

bool Filled(const TCtx& c, const char* path)
{
    const std::optional<QString> v = OneValue(c, path);
    return v && !xq::NormalizeSpace(*v).isEmpty();
}

bool OneMatches(const TCtx& c, const char* path, const char* pattern)
{
    return xq::Matches(xq::NormalizeSpace(OneValue(c, path).value_or(QString())), pattern);
}

bool AtMostTwoDecimals(const TCtx& c, const char* path)
{
    // string-length(substring-after(x, '.')) <= 2 on the one node (XPath 2 takes the string
    // value of a single node).
    const std::optional<QString> v = OneValue(c, path);
    return !v || DecimalsOf(*v) <= 2;
}

TDecimal DecimalSum(const TCtx& c, const char* path)
{
    TDecimal sum;
    for (const QString& v : c.Vals(path))
        sum += xq::Decimal(v);
    if (!sum.IsValid())
        throw xq::TEvalError{QStringLiteral("die Summe hat zu viele Stellen")};
    return sum;
}

double DoubleSum(const TCtx& c, const char* path)
{
    double sum = 0;
    for (const QString& v : c.Vals(path))
        sum += xq::Double(v);
    return sum;
}

TDecimal Round2(const TDecimal& value)
{
    if (!value.IsValid())
        throw xq::TEvalError{QStringLiteral("eine Zahl hat zu viele Stellen")};
    return value.RoundHalfUp(2);
}

double Round2(double value)
{
    return xq::Round(value * 100) / 100;
}

} // namespace checks

using namespace checks;

QString TCheckResult::Sentence() const
{
    switch (Verdict) {
    case TCheckVerdict::Accept:
        return QStringLiteral("Bewertung: Es wird empfohlen das Dokument anzunehmen und weiter zu verarbeiten.");
    case TCheckVerdict::AcceptTolerated:
        return QStringLiteral("Bewertung: Es wird empfohlen das Dokument anzunehmen und zu verarbeiten, da die "
                              "vorhandenen Fehler derzeit toleriert werden.");
    case TCheckVerdict::Reject:
        break;
    case TCheckVerdict::NoScenario:
        return QStringLiteral("Bewertung: Es wird empfohlen das Dokument zurückzuweisen. Da kein Pruefszenario gegriffen hat.");
    }
    return QStringLiteral("Bewertung: Es wird empfohlen das Dokument zurückzuweisen.");
}

int TCheckResult::Count(TCheckLevel level) const
{
    int n = 0;
    for (const TCheckFinding& f : Findings)
        n += f.Level == level ? 1 : 0;
    return n;
}

TCheckResult CheckInvoiceXml(const QByteArray& xml)
{
    std::unique_ptr<TXmlDocument> document;
    try {
        document = std::make_unique<TXmlDocument>(xml);
    } catch (const Exception& e) {
        return Rejection(QStringLiteral("XML"), e.Message());
    } catch (const std::exception& e) {
        return Rejection(QStringLiteral("Prüfung"),
                         QStringLiteral("Die eingebaute Prüfung ist mit einem Fehler abgebrochen: %1").arg(QString::fromUtf8(e.what())));
    }
    return CheckInvoiceXml(*document);
}

TCheckResult CheckInvoiceXml(const TXmlDocument& parsed)
{
    const TXmlDocument* document = &parsed;
    try {
        // An invoice has no business with a document type: its declarations could define
        // entities that change what the text says, and a secure parser (as the official
        // validator's) refuses it. Not read further, rejected.
        if (document->Doc()->intSubset || document->Doc()->extSubset)
            return Rejection(QStringLiteral("XML"),
                             QStringLiteral("Die Rechnung enthält eine Dokumenttyp-Deklaration (<!DOCTYPE ...>); eine "
                                            "Rechnung darf keine enthalten. Sie wird nicht weiter geprüft."));
        xmlNode* root = document->Root();
        const TScenario* scenario = root ? MatchScenario(root) : nullptr;
        TCheckResult result;
        if (!scenario) {
            result.Verdict = TCheckVerdict::NoScenario;
            return result;
        }
        result.Scenario = QString::fromLatin1(scenario->Name);
        if (scenario->Profile != TFxProfile::None)
            result.Rules = FacturXRules(scenario->Profile == TFxProfile::Extended ? QStringLiteral("EXTENDED") : QStringLiteral("BASIC"));
        const xq::TRootPathScope rootPaths;
        TDocument doc;
        doc.Root = root;
        doc.Facts = {scenario->Syntax, scenario->XRechnung, scenario->Extension, scenario->Cvd, scenario->Profile};

        CheckStructure(doc, result.Findings);
        const bool structureSound = std::none_of(result.Findings.begin(), result.Findings.end(), IsStructureError);
        // As the official validator: the rules look only at a document whose structure is sound.
        if (structureSound) {
            std::vector<const std::vector<TCompiledPattern>*> sets{&Compiled(scenario->Syntax, false)};
            if (scenario->XRechnung)
                sets.push_back(&Compiled(scenario->Syntax, true));
            if (scenario->Profile != TFxProfile::None)
                sets.push_back(&Compiled(scenario->Syntax, false, true));
            RunPatterns(doc, sets, result.Findings);
        }
        if (scenario->Profile == TFxProfile::Extended)
            DropCiiRestrictions(result.Findings);
        ApplyLevels(*scenario, result.Findings);
        result.Verdict = VerdictOf(result.Findings);
        return result;
    } catch (const std::exception& e) {
        return Rejection(QStringLiteral("Prüfung"),
                         QStringLiteral("Die eingebaute Prüfung ist mit einem Fehler abgebrochen: %1").arg(QString::fromUtf8(e.what())));
    } catch (const xq::TEvalError& e) {
        return Rejection(QStringLiteral("Prüfung"),
                         QStringLiteral("Die eingebaute Prüfung ist mit einem Fehler abgebrochen: %1").arg(e.Why));
    }
}

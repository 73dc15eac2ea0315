#include "checks/Schema.h"

#include "model/Bindings.h"

#include <libxml/tree.h>

#include <QStringList>

#include <functional>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The content models come from data files (checks/structure/*.txt), built into the program.
extern const char* const kStructureUbl[];
extern const std::size_t kStructureUblCount;
extern const char* const kStructureCii[];
extern const std::size_t kStructureCiiCount;
extern const char* const kStructureFxBasic[];
extern const std::size_t kStructureFxBasicCount;
extern const char* const kStructureFxExtended[];
extern const std::size_t kStructureFxExtendedCount;

// How the schema validators answer, rebuilt: a child element is placed into its parent's
// sequence of particles in order; the first child that does not fit (unexpected, out of
// order, one too many) ends the check of that parent, as the validators stop there too;
// a parent whose required children are missing is incomplete. Leaf elements carry the
// data types of their syntax: the attributes they may have, and the lexical form of their
// value (decimal, date, time, boolean, base64). The ids of the findings are the validators'
// own codes, so the report reads like the official one.

namespace checks {
namespace {

const char* const kNsCbc = NamespaceOfPrefix("cbc");
const char* const kNsCac = NamespaceOfPrefix("cac");
const char* const kNsExt = NamespaceOfPrefix("ext");
const char* const kNsRsm = kCiiNs;
const char* const kNsRam = NamespaceOfPrefix("ram");
const char* const kNsUdt = NamespaceOfPrefix("udt");
const char* const kNsQdt = NamespaceOfPrefix("qdt");
constexpr const char* kNsXsi = "http://www.w3.org/2001/XMLSchema-instance";

// The data types of leaf elements.
enum class TLeaf : unsigned char {
    None,
    // UBL (unqualified data types with all their supplementary components)
    Text, Code, Identifier, Amount, Quantity, Measure, Numeric, Indicator, Date, Time, Binary,
    // CII D16B
    CiiText, CiiCode, CiiId, CiiAmount, CiiQuantity, CiiMeasure, CiiNumeric, CiiIndicator, CiiDate,
    CiiDateTime, CiiBinary, Qualified, FormattedDateTime, WeightMeasure,
    // UBL extension content: one element of another vocabulary, not looked into
    Foreign,
};

struct TParticle
{
    const char* Ns = nullptr;
    std::string Name;
    std::string Display; // "cac:Party"
    TLeaf Leaf = TLeaf::None;
    int Type = -1;               // index of the aggregate's content model
    std::string UnmodelledType;  // an aggregate whose content is not modelled
    int Min = 1;
    int Max = 1;                 // -1: unbounded
};

struct TType
{
    std::string Name;
    std::vector<TParticle> Particles;
};

// The data types a model's leaves have: D16B's own, or a Factur-X profile's narrower ones
// (fewer attributes, one form of a date, a date-time or an indicator).
enum class TDataTypes { Standard, FacturXBasic, FacturXExtended };

struct TModel
{
    std::vector<TType> Types;
    std::unordered_map<std::string, int> Index;
    TDataTypes DataTypes = TDataTypes::Standard;
};

std::vector<std::string_view> Split(std::string_view text)
{
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        std::size_t j = i;
        while (j < text.size() && text[j] != ' ')
            ++j;
        if (j > i)
            parts.push_back(text.substr(i, j - i));
        i = j;
    }
    return parts;
}

bool EndsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A basic component's data type follows from its name, as UBL names them (the last word is
// the representation term: ...Amount, ...Code, ...ID, ...Date; names, texts and the rest
// are texts).
TLeaf UblLeafOf(std::string_view name)
{
    struct TTerm { std::string_view Tail; TLeaf Leaf; };
    static constexpr std::array<TTerm, 13> kTerms{{
        {"Amount", TLeaf::Amount}, {"BinaryObject", TLeaf::Binary}, {"Code", TLeaf::Code},
        {"ID", TLeaf::Identifier}, {"URI", TLeaf::Identifier}, {"Indicator", TLeaf::Indicator},
        {"Date", TLeaf::Date}, {"Time", TLeaf::Time}, {"Numeric", TLeaf::Numeric},
        {"Percent", TLeaf::Numeric}, {"Rate", TLeaf::Numeric}, {"Quantity", TLeaf::Quantity},
        {"Measure", TLeaf::Measure},
    }};
    for (const TTerm& t : kTerms) {
        if (EndsWith(name, t.Tail))
            return t.Leaf;
    }
    return TLeaf::Text;
}

TLeaf CiiLeafOf(std::string_view type)
{
    struct TName { std::string_view Name; TLeaf Leaf; };
    static constexpr std::array<TName, 15> kNames{{
        {"ID", TLeaf::CiiId}, {"Text", TLeaf::CiiText}, {"Code", TLeaf::CiiCode},
        {"Amount", TLeaf::CiiAmount}, {"Quantity", TLeaf::CiiQuantity}, {"Measure", TLeaf::CiiMeasure},
        {"Percent", TLeaf::CiiNumeric}, {"Rate", TLeaf::CiiNumeric}, {"Numeric", TLeaf::CiiNumeric},
        {"Indicator", TLeaf::CiiIndicator}, {"Date", TLeaf::CiiDate}, {"DateTime", TLeaf::CiiDateTime},
        {"BinaryObject", TLeaf::CiiBinary}, {"q:FormattedDateTime", TLeaf::FormattedDateTime},
        {"q:WeightUnitMeasure", TLeaf::WeightMeasure},
    }};
    for (const TName& n : kNames) {
        if (type == n.Name)
            return n.Leaf;
    }
    if (type.substr(0, 2) == "q:")
        return TLeaf::Qualified;
    return TLeaf::None;
}

// "Name?" -> Name with its occurrence; "Name{0,2}" for a bounded repetition.
std::string_view Occurrence(std::string_view token, int& min, int& max)
{
    min = 1;
    max = 1;
    if (!token.empty() && token.back() == '}') {
        const std::size_t open = token.rfind('{');
        const std::size_t comma = token.find(',', open);
        if (open != std::string_view::npos && comma != std::string_view::npos) {
            min = std::stoi(std::string(token.substr(open + 1, comma - open - 1)));
            max = std::stoi(std::string(token.substr(comma + 1, token.size() - comma - 2)));
            return token.substr(0, open);
        }
    }
    if (!token.empty()) {
        switch (token.back()) {
        case '?': min = 0; max = 1; break;
        case '*': min = 0; max = -1; break;
        case '+': min = 1; max = -1; break;
        default: return token;
        }
        token.remove_suffix(1);
    }
    return token;
}

const char* UblNamespace(std::string_view prefix)
{
    if (prefix == "cbc")
        return kNsCbc;
    if (prefix == "cac")
        return kNsCac;
    if (prefix == "ext")
        return kNsExt;
    return nullptr;
}

// Reads "Type: particle ..." lines; resolve() turns each particle token into a particle once
// all types are known.
template <typename Resolve>
TModel ReadModel(const char* const* lines, std::size_t count, std::unordered_map<std::string, std::string>& aliases,
                 Resolve resolve)
{
    TModel model;
    std::vector<std::pair<int, std::string_view>> bodies;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view line(lines[i]);
        if (line.substr(0, 2) == "= ") {
            const std::vector<std::string_view> parts = Split(line.substr(2));
            if (parts.size() == 2)
                aliases[std::string(parts[0])] = std::string(parts[1]);
            continue;
        }
        const std::size_t colon = line.find(": ");
        if (colon == std::string_view::npos)
            continue;
        TType type;
        type.Name = std::string(line.substr(0, colon));
        model.Index[type.Name] = int(model.Types.size());
        bodies.emplace_back(int(model.Types.size()), line.substr(colon + 2));
        model.Types.push_back(std::move(type));
    }
    for (const auto& [index, body] : bodies) {
        for (std::string_view token : Split(body)) {
            TParticle p;
            const std::string_view name = Occurrence(token, p.Min, p.Max);
            resolve(model, name, p);
            model.Types[std::size_t(index)].Particles.push_back(std::move(p));
        }
    }
    return model;
}

const TModel& UblModel()
{
    static const TModel model = [] {
        std::unordered_map<std::string, std::string> aliases;
        return ReadModel(kStructureUbl, kStructureUblCount, aliases, [&aliases](const TModel& m, std::string_view name, TParticle& p) {
            const std::size_t colon = name.find(':');
            const std::string_view prefix = name.substr(0, colon);
            const std::string_view local = name.substr(colon + 1);
            p.Ns = UblNamespace(prefix);
            p.Name = std::string(local);
            p.Display = std::string(name);
            if (prefix == "cbc") {
                p.Leaf = UblLeafOf(local);
                return;
            }
            if (prefix == "ext") {
                if (local == "ExtensionContent")
                    p.Leaf = TLeaf::Foreign;
                else if (local == "ExtensionReasonCode")
                    p.Leaf = TLeaf::Code;
                else if (local == "ExtensionAgencyName" || local == "ExtensionReason")
                    p.Leaf = TLeaf::Text;
                else if (local != "UBLExtensions" && local != "UBLExtension")
                    p.Leaf = TLeaf::Identifier;
            }
            auto alias = aliases.find(std::string(name));
            const std::string typeName = alias != aliases.end() ? alias->second : std::string(local);
            if (p.Leaf != TLeaf::None)
                return;
            auto found = m.Index.find(typeName);
            if (found != m.Index.end())
                p.Type = found->second;
            else
                p.UnmodelledType = typeName + "Type";
        });
    }();
    return model;
}

TModel ReadCiiModel(const char* const* lines, std::size_t count, TDataTypes dataTypes)
{
    std::unordered_map<std::string, std::string> aliases;
    TModel model = ReadModel(lines, count, aliases, [](const TModel& m, std::string_view token, TParticle& p) {
        const std::size_t eq = token.find('=');
        std::string_view name = token.substr(0, eq);
        const std::string_view type = eq == std::string_view::npos ? std::string_view() : token.substr(eq + 1);
        if (name.substr(0, 4) == "rsm:") {
            p.Ns = kNsRsm;
            name.remove_prefix(4);
            p.Display = "rsm:" + std::string(name);
        } else {
            p.Ns = kNsRam;
            p.Display = "ram:" + std::string(name);
        }
        p.Name = std::string(name);
        p.Leaf = CiiLeafOf(type);
        if (p.Leaf != TLeaf::None)
            return;
        auto found = m.Index.find(std::string(type));
        if (found != m.Index.end())
            p.Type = found->second;
        else
            p.UnmodelledType = std::string(type) + "Type";
    });
    model.DataTypes = dataTypes;
    return model;
}

const TModel& CiiModel()
{
    static const TModel model = ReadCiiModel(kStructureCii, kStructureCiiCount, TDataTypes::Standard);
    return model;
}

const TModel& FacturXModel(TFxProfile profile)
{
    static const TModel basic = ReadCiiModel(kStructureFxBasic, kStructureFxBasicCount, TDataTypes::FacturXBasic);
    static const TModel extended = ReadCiiModel(kStructureFxExtended, kStructureFxExtendedCount, TDataTypes::FacturXExtended);
    return profile == TFxProfile::Extended ? extended : basic;
}

// --- lexical forms --------------------------------------------------------------------

bool IsXmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Collapse(std::string_view text)
{
    while (!text.empty() && IsXmlBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsXmlBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool LexDecimal(std::string_view t)
{
    t = Collapse(t);
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < t.size(); ++i) {
        if (t[i] == '.' && !point)
            point = true;
        else if (IsDigit(t[i]))
            digits = true;
        else
            return false;
    }
    return digits;
}

bool LexBoolean(std::string_view t)
{
    t = Collapse(t);
    return t == "true" || t == "false" || t == "1" || t == "0";
}

// Reads n digits at i.
bool Digits(std::string_view t, std::size_t& i, std::size_t n, int& value)
{
    value = 0;
    for (std::size_t k = 0; k < n; ++k, ++i) {
        if (i >= t.size() || !IsDigit(t[i]))
            return false;
        value = value * 10 + (t[i] - '0');
    }
    return true;
}

// An optional time zone at i, to the end: Z or +hh:mm / -hh:mm (at most 14:00).
bool TimeZone(std::string_view t, std::size_t i)
{
    if (i == t.size())
        return true;
    if (t[i] == 'Z')
        return i + 1 == t.size();
    if (t[i] != '+' && t[i] != '-')
        return false;
    ++i;
    int hh = 0;
    int mm = 0;
    if (!Digits(t, i, 2, hh) || i >= t.size() || t[i] != ':')
        return false;
    ++i;
    if (!Digits(t, i, 2, mm) || i != t.size())
        return false;
    return mm <= 59 && (hh < 14 || (hh == 14 && mm == 0));
}

// The date part (-?yyyy-mm-dd, more year digits allowed but no leading zero then) from i.
bool DatePart(std::string_view t, std::size_t& i)
{
    if (i < t.size() && t[i] == '-')
        ++i;
    const std::size_t start = i;
    long long year = 0;
    while (i < t.size() && IsDigit(t[i])) {
        if (i - start > 12)
            return false;
        year = year * 10 + (t[i] - '0');
        ++i;
    }
    const std::size_t yearDigits = i - start;
    if (yearDigits < 4 || (yearDigits > 4 && t[start] == '0') || year == 0)
        return false;
    int month = 0;
    int day = 0;
    if (i >= t.size() || t[i] != '-')
        return false;
    ++i;
    if (!Digits(t, i, 2, month) || i >= t.size() || t[i] != '-')
        return false;
    ++i;
    if (!Digits(t, i, 2, day))
        return false;
    if (month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > kDays[month - 1])
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

// hh:mm:ss(.s+)? from i; 24:00:00 is allowed.
bool TimePart(std::string_view t, std::size_t& i)
{
    int hh = 0;
    int mm = 0;
    int ss = 0;
    if (!Digits(t, i, 2, hh) || i >= t.size() || t[i] != ':')
        return false;
    ++i;
    if (!Digits(t, i, 2, mm) || i >= t.size() || t[i] != ':')
        return false;
    ++i;
    if (!Digits(t, i, 2, ss))
        return false;
    bool fractionNonZero = false;
    if (i < t.size() && t[i] == '.') {
        ++i;
        const std::size_t start = i;
        while (i < t.size() && IsDigit(t[i])) {
            fractionNonZero = fractionNonZero || t[i] != '0';
            ++i;
        }
        if (i == start)
            return false;
    }
    if (hh == 24)
        return mm == 0 && ss == 0 && !fractionNonZero;
    return hh <= 23 && mm <= 59 && ss <= 59;
}

bool LexDate(std::string_view t)
{
    t = Collapse(t);
    std::size_t i = 0;
    return DatePart(t, i) && TimeZone(t, i);
}

bool LexTime(std::string_view t)
{
    t = Collapse(t);
    std::size_t i = 0;
    return TimePart(t, i) && TimeZone(t, i);
}

bool LexDateTime(std::string_view t)
{
    t = Collapse(t);
    std::size_t i = 0;
    if (!DatePart(t, i) || i >= t.size() || t[i] != 'T')
        return false;
    ++i;
    return TimePart(t, i) && TimeZone(t, i);
}

// xs:base64Binary: groups of four characters of the base64 alphabet (blanks between them
// allowed), the last group padded with = as the remaining bits demand.
bool LexBase64(std::string_view text)
{
    // One pass without a copy: attachments run to megabytes.
    enum : unsigned char { Invalid, Alphabet, Blank, Pad };
    static const auto kKinds = [] {
        std::array<unsigned char, 256> kinds{};
        for (int c = 'A'; c <= 'Z'; ++c)
            kinds[size_t(c)] = Alphabet;
        for (int c = 'a'; c <= 'z'; ++c)
            kinds[size_t(c)] = Alphabet;
        for (int c = '0'; c <= '9'; ++c)
            kinds[size_t(c)] = Alphabet;
        kinds['+'] = kinds['/'] = Alphabet;
        kinds[' '] = kinds['\t'] = kinds['\r'] = kinds['\n'] = Blank;
        kinds['='] = Pad;
        return kinds;
    }();
    std::size_t count = 0; // characters other than blanks
    std::size_t pad = 0;
    char last = 0; // the last character of the alphabet
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        // The common case first: a run of the alphabet before any padding, in a tight loop.
        if (pad == 0 && kKinds[static_cast<unsigned char>(text[i])] == Alphabet) {
            const std::size_t from = i;
            while (i + 1 < n && kKinds[static_cast<unsigned char>(text[i + 1])] == Alphabet)
                ++i;
            count += i - from + 1;
            last = text[i];
            continue;
        }
        const char c = text[i];
        switch (kKinds[static_cast<unsigned char>(c)]) {
        case Blank:
            continue;
        case Alphabet:
            if (pad != 0)
                return false; // padding only at the end
            last = c;
            break;
        case Pad:
            if (++pad > 2)
                return false;
            break;
        default:
            return false;
        }
        ++count;
    }
    if (count % 4 != 0)
        return false;
    if (pad == 0)
        return true;
    if (count == pad)
        return false;
    const std::string_view allowed = pad == 2 ? std::string_view("AQgw") : std::string_view("AEIMQUYcgkosw048");
    return allowed.find(last) != std::string_view::npos;
}

// --- the check ------------------------------------------------------------------------

const char* NsOf(const xmlNode* n)
{
    return n->ns && n->ns->href ? reinterpret_cast<const char*>(n->ns->href) : nullptr;
}

bool Matches(const xmlNode* n, const TParticle& p)
{
    const char* ns = NsOf(n);
    return ns && p.Ns && std::strcmp(ns, p.Ns) == 0 && p.Name == reinterpret_cast<const char*>(n->name);
}

// "cac:Party", or the name with its namespace for elements of other vocabularies.
QString NameOf(const xmlNode* n)
{
    const QString local = QString::fromUtf8(reinterpret_cast<const char*>(n->name));
    const char* ns = NsOf(n);
    if (!ns)
        return local;
    if (const char* prefix = PrefixOfNamespace(ns))
        return QString::fromLatin1(prefix) + u':' + local;
    return QStringLiteral("{%1}%2").arg(QString::fromUtf8(ns), local);
}

QString QuoteList(const QStringList& names)
{
    constexpr qsizetype kShown = 8;
    QStringList shown = names.mid(0, kShown);
    QString text = shown.join(QStringLiteral(", "));
    if (names.size() > kShown)
        text += QStringLiteral(" und %1 weitere").arg(names.size() - kShown);
    return text;
}

struct TAttribute
{
    const char* Name;
    bool Required;
};

struct TAttributes
{
    std::vector<TAttribute> List;
};

const TAttributes& AttributesOf(TLeaf leaf)
{
    static const TAttributes kNone{};
    static const TAttributes kText{{{"languageID", false}, {"languageLocaleID", false}}};
    static const TAttributes kCode{{{"listID", false}, {"listAgencyID", false}, {"listAgencyName", false}, {"listName", false},
                                    {"listVersionID", false}, {"name", false}, {"languageID", false}, {"listURI", false},
                                    {"listSchemeURI", false}}};
    static const TAttributes kId{{{"schemeID", false}, {"schemeName", false}, {"schemeAgencyID", false},
                                  {"schemeAgencyName", false}, {"schemeVersionID", false}, {"schemeDataURI", false},
                                  {"schemeURI", false}}};
    static const TAttributes kUblAmount{{{"currencyID", true}, {"currencyCodeListVersionID", false}}};
    static const TAttributes kCiiAmount{{{"currencyID", false}, {"currencyCodeListVersionID", false}}};
    static const TAttributes kQuantity{{{"unitCode", false}, {"unitCodeListID", false}, {"unitCodeListAgencyID", false},
                                        {"unitCodeListAgencyName", false}}};
    static const TAttributes kUblMeasure{{{"unitCode", true}, {"unitCodeListVersionID", false}}};
    static const TAttributes kCiiMeasure{{{"unitCode", false}, {"unitCodeListVersionID", false}}};
    static const TAttributes kNumeric{{{"format", false}}};
    static const TAttributes kUblBinary{{{"format", false}, {"mimeCode", true}, {"encodingCode", false},
                                         {"characterSetCode", false}, {"uri", false}, {"filename", false}}};
    static const TAttributes kCiiBinary{{{"format", false}, {"mimeCode", false}, {"encodingCode", false},
                                         {"characterSetCode", false}, {"uri", false}, {"filename", false}}};
    static const TAttributes kWeight{{{"unitCode", false}}};
    switch (leaf) {
    case TLeaf::Text:
    case TLeaf::CiiText: return kText;
    case TLeaf::Code:
    case TLeaf::CiiCode: return kCode;
    case TLeaf::Identifier:
    case TLeaf::CiiId: return kId;
    case TLeaf::Amount: return kUblAmount;
    case TLeaf::CiiAmount: return kCiiAmount;
    case TLeaf::Quantity:
    case TLeaf::CiiQuantity: return kQuantity;
    case TLeaf::Measure: return kUblMeasure;
    case TLeaf::CiiMeasure: return kCiiMeasure;
    case TLeaf::Numeric:
    case TLeaf::CiiNumeric: return kNumeric;
    case TLeaf::Binary: return kUblBinary;
    case TLeaf::CiiBinary: return kCiiBinary;
    case TLeaf::WeightMeasure: return kWeight;
    default: return kNone;
    }
}

// The attributes of a leaf in a Factur-X profile: the profile's data types allow fewer.
const TAttributes& FacturXAttributesOf(TLeaf leaf, bool extended)
{
    static const TAttributes kNone{};
    static const TAttributes kCode{{{"listID", false}, {"listVersionID", false}}};
    static const TAttributes kId{{{"schemeID", false}}};
    static const TAttributes kAmount{{{"currencyID", false}}};
    static const TAttributes kUnit{{{"unitCode", false}}};
    static const TAttributes kBinary{{{"mimeCode", true}, {"filename", true}}};
    switch (leaf) {
    case TLeaf::CiiCode: return extended ? kCode : kNone;
    case TLeaf::CiiId: return kId;
    case TLeaf::CiiAmount: return kAmount;
    case TLeaf::CiiQuantity:
    case TLeaf::CiiMeasure: return kUnit;
    case TLeaf::CiiBinary: return kBinary;
    default: return kNone;
    }
}

class TStructureCheck
{
public:
    TStructureCheck(const TModel& model, std::vector<TCheckFinding>& findings)
        : FModel(model), FFindings(findings)
    {
    }

    void Root(xmlNode* root, const char* typeName)
    {
        auto found = FModel.Index.find(typeName);
        if (found == FModel.Index.end()) {
            Unchecked(root, QStringLiteral("Für das Wurzelelement „%1“ kennt die eingebaute Prüfung keinen Aufbau.").arg(NameOf(root)));
            return;
        }
        Attributes(root, AttributesOf(TLeaf::None));
        Aggregate(root, FModel.Types[std::size_t(found->second)], 0);
    }

private:
    static constexpr int kMaxDepth = 64;

    bool FacturX() const { return FModel.DataTypes != TDataTypes::Standard; }

    const TAttributes& LeafAttributes(TLeaf leaf, const xmlNode* node) const
    {
        if (!FacturX())
            return AttributesOf(leaf);
        // The profiles' qualified codes carry no attribute, an allowance or charge reason
        // code its list's identifier.
        static const TAttributes kReason{{{"listID", false}}};
        if (leaf == TLeaf::Qualified && std::strcmp(reinterpret_cast<const char*>(node->name), "ReasonCode") == 0)
            return kReason;
        return FacturXAttributesOf(leaf, FModel.DataTypes == TDataTypes::FacturXExtended);
    }

    void Report(const xmlNode* node, const char* id, const QString& text)
    {
        TCheckFinding f;
        f.Id = QString::fromLatin1(id);
        f.Level = TCheckLevel::Error;
        f.Location = xq::LocationOf(node);
        f.Line = xq::LineOf(node);
        f.Text = text;
        FFindings.push_back(std::move(f));
    }

    void Unchecked(const xmlNode* node, const QString& why)
    {
        Report(node, kStructureUncheckedId,
               why + QStringLiteral(" Die eingebaute Prüfung kann die Rechnung daher nicht vollständig prüfen und weist sie "
                                    "zur Sicherheit zurück; der Prüfdienst prüft sie vollständig."));
    }

    // Attributes: the data type's own, the schema-location hints; nothing else.
    void Attributes(const xmlNode* node, const TAttributes& allowed)
    {
        for (const xmlAttr* a = node->properties; a; a = a->next) {
            const char* name = reinterpret_cast<const char*>(a->name);
            const char* ns = a->ns && a->ns->href ? reinterpret_cast<const char*>(a->ns->href) : nullptr;
            if (ns && std::strcmp(ns, kNsXsi) == 0) {
                if (std::strcmp(name, "schemaLocation") == 0 || std::strcmp(name, "noNamespaceSchemaLocation") == 0)
                    continue;
                if (std::strcmp(name, "nil") == 0) {
                    Report(node, "cvc-elt.3.1",
                           QStringLiteral("Das Attribut „xsi:nil“ ist an „%1“ nicht erlaubt: das Element darf nicht leer gesetzt werden.")
                               .arg(NameOf(node)));
                    continue;
                }
                Unchecked(node, QStringLiteral("„%1“ trägt das Attribut „xsi:%2“.").arg(NameOf(node), QString::fromUtf8(name)));
                continue;
            }
            bool known = false;
            if (!ns) {
                for (const TAttribute& allowedAttribute : allowed.List)
                    known = known || std::strcmp(allowedAttribute.Name, name) == 0;
            }
            if (!known) {
                const QString shown = ns && a->ns->prefix
                    ? QString::fromUtf8(reinterpret_cast<const char*>(a->ns->prefix)) + u':' + QString::fromUtf8(name)
                    : QString::fromUtf8(name);
                Report(node, "cvc-complex-type.3.2.2",
                       QStringLiteral("Das Attribut „%1“ ist an „%2“ nicht erlaubt.").arg(shown, NameOf(node)));
            }
        }
        for (const TAttribute& attribute : allowed.List) {
            if (attribute.Required && !xmlHasNsProp(node, reinterpret_cast<const xmlChar*>(attribute.Name), nullptr)) {
                Report(node, "cvc-complex-type.4",
                       QStringLiteral("Das Pflichtattribut „%1“ fehlt an „%2“.").arg(QString::fromLatin1(attribute.Name), NameOf(node)));
            }
        }
    }

    // Text directly in the element (not in its children), and whether it has child elements.
    static std::string OwnText(const xmlNode* node, bool& hasElements)
    {
        std::string text;
        hasElements = false;
        for (const xmlNode* c = node->children; c; c = c->next) {
            if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
                if (c->content)
                    text += reinterpret_cast<const char*>(c->content);
            } else if (c->type == XML_ENTITY_REF_NODE) {
                text += "&"; // an entity the parser left unexpanded: not a plain value
            } else if (c->type == XML_ELEMENT_NODE) {
                hasElements = true;
            }
        }
        return text;
    }

    // The particles that may come next: the current one while it may repeat, then the
    // following ones up to the first that is required.
    static QStringList Expected(const TType& type, std::size_t position, int count)
    {
        QStringList names;
        for (std::size_t p = position; p < type.Particles.size(); ++p) {
            const TParticle& particle = type.Particles[p];
            const int seen = p == position ? count : 0;
            if (particle.Max < 0 || seen < particle.Max)
                names << QString::fromStdString(particle.Display);
            if (seen < particle.Min)
                break;
        }
        return names;
    }

    void Aggregate(xmlNode* node, const TType& type, int depth)
    {
        if (depth > kMaxDepth) {
            Unchecked(node, QStringLiteral("Die Elemente sind tiefer verschachtelt, als eine Rechnung es braucht."));
            return;
        }
        bool hasElements = false;
        if (!Collapse(OwnText(node, hasElements)).empty()) {
            Report(node, "cvc-complex-type.2.3",
                   QStringLiteral("„%1“ darf keinen Text enthalten, nur Unterelemente.").arg(NameOf(node)));
        }
        std::size_t position = 0;
        int count = 0;
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE)
                continue;
            std::size_t p = position;
            int seen = count;
            const TParticle* match = nullptr;
            while (p < type.Particles.size()) {
                const TParticle& particle = type.Particles[p];
                if (Matches(child, particle) && (particle.Max < 0 || seen < particle.Max)) {
                    match = &particle;
                    break;
                }
                if (seen < particle.Min)
                    break;
                ++p;
                seen = 0;
            }
            if (!match) {
                const QStringList expected = Expected(type, position, count);
                if (expected.isEmpty()) {
                    Report(child, "cvc-complex-type.2.4.d",
                           QStringLiteral("Unerwartetes Element „%1“ in „%2“: an dieser Stelle ist kein weiteres Element erlaubt.")
                               .arg(NameOf(child), NameOf(node)));
                } else {
                    Report(child, "cvc-complex-type.2.4.a",
                           QStringLiteral("Unerwartetes Element „%1“ in „%2“ (unbekannt, falsch eingeordnet oder zu oft); "
                                          "an dieser Stelle erwartet: %3.")
                               .arg(NameOf(child), NameOf(node), QuoteList(expected)));
                }
                return; // the validators give up on this element's content here
            }
            position = p;
            count = seen + 1;
            Element(child, *match, depth + 1);
        }
        // What is still required at the end.
        for (std::size_t p = position; p < type.Particles.size(); ++p) {
            const TParticle& particle = type.Particles[p];
            const int seen = p == position ? count : 0;
            if (seen < particle.Min) {
                Report(node, "cvc-complex-type.2.4.b",
                       QStringLiteral("Der Inhalt von „%1“ ist unvollständig: es fehlt „%2“ (erwartet: %3).")
                           .arg(NameOf(node), QString::fromStdString(particle.Display),
                                QuoteList(Expected(type, position, count))));
                return;
            }
        }
    }

    void Element(xmlNode* node, const TParticle& particle, int depth)
    {
        if (particle.Type >= 0) {
            Attributes(node, AttributesOf(TLeaf::None));
            Aggregate(node, FModel.Types[std::size_t(particle.Type)], depth);
            return;
        }
        if (!particle.UnmodelledType.empty()) {
            Unchecked(node, QStringLiteral("Das Element „%1“ (%2) ist an dieser Stelle erlaubt, seinen Aufbau prüft die eingebaute "
                                           "Prüfung aber nicht.")
                                .arg(NameOf(node), QString::fromStdString(particle.UnmodelledType)));
            return;
        }
        Leaf(node, particle.Leaf, depth);
    }

    void InvalidValue(const xmlNode* node, std::string_view value, const char* type, const char* id)
    {
        Report(node, "cvc-datatype-valid.1.2.1",
               QStringLiteral("„%1“ ist kein gültiger Wert vom Typ %2 (in „%3“).")
                   .arg(QString::fromUtf8(value.data(), qsizetype(value.size())), QString::fromLatin1(type), NameOf(node)));
        Report(node, id, QStringLiteral("Der Wert von „%1“ ist ungültig.").arg(NameOf(node)));
    }

    // An element of simple content: no children, a value of the data type's form.
    void SimpleContent(const xmlNode* node, TLeaf leaf, bool (*lexical)(std::string_view), const char* typeName,
                       const char* invalidId = "cvc-complex-type.2.2")
    {
        Attributes(node, LeafAttributes(leaf, node));
        bool hasElements = false;
        const std::string value = OwnText(node, hasElements);
        if (hasElements) {
            Report(node, invalidId, QStringLiteral("„%1“ darf keine Unterelemente enthalten.").arg(NameOf(node)));
            return;
        }
        if (lexical && !lexical(value))
            InvalidValue(node, Collapse(value), typeName, invalidId);
    }

    // A CII date, date-time or indicator: exactly one of two children, the formatted string
    // (with its format attribute) or the XML Schema value. A Factur-X profile allows only
    // one of them (stringName or valueName null), and the string's format is required there.
    void Choice(xmlNode* node, const char* ns, const char* stringName, const char* valueName,
                bool (*lexical)(std::string_view), const char* typeName)
    {
        Attributes(node, AttributesOf(TLeaf::None));
        bool hasElements = false;
        if (!Collapse(OwnText(node, hasElements)).empty()) {
            Report(node, "cvc-complex-type.2.3",
                   QStringLiteral("„%1“ darf keinen Text enthalten, nur Unterelemente.").arg(NameOf(node)));
        }
        const QString prefix = std::strcmp(ns, kNsQdt) == 0 ? QStringLiteral("qdt:") : QStringLiteral("udt:");
        QStringList names;
        for (const char* name : {stringName, valueName}) {
            if (name)
                names << prefix + QString::fromLatin1(name);
        }
        const QString expected = names.join(QStringLiteral(", "));
        xmlNode* chosen = nullptr;
        for (xmlNode* c = node->children; c; c = c->next) {
            if (c->type != XML_ELEMENT_NODE)
                continue;
            if (chosen) {
                Report(c, "cvc-complex-type.2.4.d",
                       QStringLiteral("Unerwartetes Element „%1“ in „%2“: an dieser Stelle ist kein weiteres Element erlaubt.")
                           .arg(NameOf(c), NameOf(node)));
                return;
            }
            const char* cns = NsOf(c);
            const char* local = reinterpret_cast<const char*>(c->name);
            const bool inNs = cns && std::strcmp(cns, ns) == 0;
            if (inNs && stringName && std::strcmp(local, stringName) == 0) {
                static const TAttributes kFormat{{{"format", false}}};
                static const TAttributes kFormatRequired{{{"format", true}}};
                Attributes(c, FacturX() ? kFormatRequired : kFormat);
                bool inner = false;
                OwnText(c, inner);
                if (inner)
                    Report(c, "cvc-complex-type.2.2", QStringLiteral("„%1“ darf keine Unterelemente enthalten.").arg(NameOf(c)));
            } else if (inNs && valueName && std::strcmp(local, valueName) == 0) {
                Attributes(c, AttributesOf(TLeaf::None));
                bool inner = false;
                const std::string value = OwnText(c, inner);
                if (inner)
                    Report(c, "cvc-type.3.1.2", QStringLiteral("„%1“ darf keine Unterelemente enthalten.").arg(NameOf(c)));
                else if (!lexical(value))
                    InvalidValue(c, Collapse(value), typeName, "cvc-type.3.1.3");
            } else {
                Report(c, "cvc-complex-type.2.4.a",
                       QStringLiteral("Unerwartetes Element „%1“ in „%2“; an dieser Stelle erwartet: %3.")
                           .arg(NameOf(c), NameOf(node), expected));
                return;
            }
            chosen = c;
        }
        if (!chosen) {
            Report(node, "cvc-complex-type.2.4.b",
                   QStringLiteral("Der Inhalt von „%1“ ist unvollständig (erwartet: %2).").arg(NameOf(node), expected));
        }
    }

    void Leaf(xmlNode* node, TLeaf leaf, int depth)
    {
        switch (leaf) {
        case TLeaf::Text:
        case TLeaf::Code:
        case TLeaf::Identifier:
        case TLeaf::CiiText:
        case TLeaf::CiiCode:
        case TLeaf::CiiId:
            SimpleContent(node, leaf, nullptr, nullptr);
            return;
        case TLeaf::Amount:
        case TLeaf::Quantity:
        case TLeaf::Measure:
        case TLeaf::Numeric:
        case TLeaf::CiiAmount:
        case TLeaf::CiiQuantity:
        case TLeaf::CiiMeasure:
        case TLeaf::CiiNumeric:
        case TLeaf::WeightMeasure:
            SimpleContent(node, leaf, LexDecimal, "decimal");
            return;
        case TLeaf::Indicator:
            SimpleContent(node, leaf, LexBoolean, "boolean");
            return;
        case TLeaf::Date:
            SimpleContent(node, leaf, LexDate, "date");
            return;
        case TLeaf::Time:
            SimpleContent(node, leaf, LexTime, "time");
            return;
        case TLeaf::Binary:
        case TLeaf::CiiBinary:
            SimpleContent(node, leaf, LexBase64, "base64Binary");
            return;
        case TLeaf::CiiIndicator:
            Choice(node, kNsUdt, FacturX() ? nullptr : "IndicatorString", "Indicator", LexBoolean, "boolean");
            return;
        case TLeaf::CiiDate:
            Choice(node, kNsUdt, "DateString", FacturX() ? nullptr : "Date", LexDate, "date");
            return;
        case TLeaf::CiiDateTime:
            Choice(node, kNsUdt, "DateTimeString", FacturX() ? nullptr : "DateTime", LexDateTime, "dateTime");
            return;
        case TLeaf::FormattedDateTime:
            Choice(node, kNsQdt, "DateTimeString", nullptr, nullptr, nullptr);
            return;
        case TLeaf::Qualified:
            if (FacturX()) {
                SimpleContent(node, leaf, nullptr, nullptr);
                return;
            }
            // A qualified code or identifier: the value is a token; attributes on it are
            // defined per code list (some with fixed values), which this check does not know.
            if (node->properties) {
                Unchecked(node, QStringLiteral("„%1“ trägt Attribute, die die eingebaute Prüfung für diesen Datentyp nicht kennt.")
                                    .arg(NameOf(node)));
                return;
            }
            SimpleContent(node, leaf, nullptr, nullptr);
            return;
        case TLeaf::Foreign:
            Extension(node, depth);
            return;
        case TLeaf::None:
            break;
        }
    }

    // ext:ExtensionContent: exactly one element of a vocabulary other than the extension's.
    void Extension(xmlNode* node, int)
    {
        Attributes(node, AttributesOf(TLeaf::None));
        int elements = 0;
        for (xmlNode* c = node->children; c; c = c->next) {
            if (c->type != XML_ELEMENT_NODE)
                continue;
            ++elements;
            const char* ns = NsOf(c);
            if (elements > 1 || (ns && std::strcmp(ns, kNsExt) == 0)) {
                Report(c, elements > 1 ? "cvc-complex-type.2.4.d" : "cvc-complex-type.2.4.a",
                       QStringLiteral("Unerwartetes Element „%1“ in „%2“: die Erweiterung enthält genau ein Element eines "
                                      "anderen Vokabulars.")
                           .arg(NameOf(c), NameOf(node)));
                return;
            }
        }
        if (elements == 0) {
            Report(node, "cvc-complex-type.2.4.b",
                   QStringLiteral("Der Inhalt von „%1“ ist unvollständig: die Erweiterung ist leer.").arg(NameOf(node)));
        }
    }

    const TModel& FModel;
    std::vector<TCheckFinding>& FFindings;
};


// --- a document with every element -----------------------------------------------------

class TExampleWriter
{
public:
    TExampleWriter(const TModel& model, const std::function<QString(const QString&)>& valueOf)
        : FModel(model), FValueOf(valueOf)
    {
    }

    // Every particle of the type; with minimal, only the required ones (for a type met again
    // within itself, where all of it would never end).
    void Type(int type, const QString& path, int depth, bool minimal = false)
    {
        const TType& t = FModel.Types[std::size_t(type)];
        FOnPath.push_back(type);
        for (const TParticle& p : t.Particles) {
            if (!p.UnmodelledType.empty() || p.Leaf == TLeaf::Foreign || (minimal && p.Min == 0))
                continue;
            const bool again = p.Type >= 0 && (depth > 24 || std::find(FOnPath.begin(), FOnPath.end(), p.Type) != FOnPath.end());
            if (again && p.Min == 0)
                continue;
            const QString name = QString::fromStdString(p.Display);
            if (name == u"ext:UBLExtensions")
                continue;
            const QString childPath = path + u'/' + name;
            if (p.Min == 0 && FValueOf(childPath) == QLatin1String(kLeftOut))
                continue;
            if (p.Type >= 0) {
                Out += u'<' + name + u'>';
                Type(p.Type, childPath, depth + 1, minimal || again);
                Out += QStringLiteral("</") + name + u'>';
            } else {
                Leaf(name, p.Leaf, childPath);
            }
        }
        FOnPath.pop_back();
    }

    QString Out;

private:
    void Leaf(const QString& name, TLeaf leaf, const QString& path)
    {
        const QString given = FValueOf(path);
        auto simple = [&](const QString& attributes, const QString& value) {
            Out += u'<' + name + attributes + u'>' + (given.isNull() ? value : given).toHtmlEscaped() + QStringLiteral("</") + name + u'>';
        };
        auto wrapped = [&](const QString& inner, const QString& attributes, const QString& value) {
            Out += u'<' + name + u'>' + u'<' + inner + attributes + u'>' + (given.isNull() ? value : given).toHtmlEscaped()
                + QStringLiteral("</") + inner + QStringLiteral("></") + name + u'>';
        };
        switch (leaf) {
        case TLeaf::Amount: simple(QStringLiteral(" currencyID=\"EUR\""), QStringLiteral("10.00")); return;
        case TLeaf::CiiAmount: simple(QString(), QStringLiteral("10.00")); return;
        case TLeaf::Quantity:
        case TLeaf::CiiQuantity: simple(QStringLiteral(" unitCode=\"C62\""), QStringLiteral("1")); return;
        case TLeaf::Measure:
        case TLeaf::CiiMeasure: simple(QStringLiteral(" unitCode=\"DAY\""), QStringLiteral("1")); return;
        case TLeaf::WeightMeasure: simple(QStringLiteral(" unitCode=\"KGM\""), QStringLiteral("1")); return;
        case TLeaf::Numeric:
        case TLeaf::CiiNumeric: simple(QString(), QStringLiteral("1")); return;
        case TLeaf::Indicator: simple(QString(), QStringLiteral("true")); return;
        case TLeaf::Date: simple(QString(), QStringLiteral("2024-01-31")); return;
        case TLeaf::Time: simple(QString(), QStringLiteral("12:00:00")); return;
        case TLeaf::Binary:
        case TLeaf::CiiBinary:
            simple(QStringLiteral(" mimeCode=\"application/pdf\" filename=\"a.pdf\""), QStringLiteral("QUJD"));
            return;
        case TLeaf::CiiIndicator: wrapped(QStringLiteral("udt:Indicator"), QString(), QStringLiteral("true")); return;
        case TLeaf::CiiDate: wrapped(QStringLiteral("udt:DateString"), QStringLiteral(" format=\"102\""), QStringLiteral("20240131")); return;
        case TLeaf::CiiDateTime:
            wrapped(QStringLiteral("udt:DateTimeString"), QStringLiteral(" format=\"102\""), QStringLiteral("20240131"));
            return;
        case TLeaf::FormattedDateTime:
            wrapped(QStringLiteral("qdt:DateTimeString"), QStringLiteral(" format=\"102\""), QStringLiteral("20240131"));
            return;
        default: simple(QString(), QStringLiteral("X1")); return;
        }
    }

    const TModel& FModel;
    const std::function<QString(const QString&)>& FValueOf;
    std::vector<int> FOnPath;
};

} // namespace

QByteArray ExampleDocument(TSyntax syntax, TFxProfile profile, const std::function<QString(const QString&)>& valueOf)
{
    const bool cii = syntax == TSyntax::Cii;
    const TModel& model = !cii ? UblModel() : profile == TFxProfile::None ? CiiModel() : FacturXModel(profile);
    const char* rootType = syntax == TSyntax::UblInvoice ? "Invoice" : syntax == TSyntax::UblCreditNote ? "CreditNote" : "CrossIndustryInvoice";
    const QString root = cii ? QStringLiteral("rsm:CrossIndustryInvoice") : QString::fromLatin1(rootType);
    TExampleWriter writer(model, valueOf);
    writer.Type(model.Index.at(rootType), u'/' + root, 0);
    QString xmlns;
    if (cii) {
        for (const char* prefix : {"rsm", "ram", "udt", "qdt"})
            xmlns += QStringLiteral(" xmlns:%1=\"%2\"").arg(QLatin1String(prefix), QString::fromLatin1(prefix == std::string_view("rsm") ? kCiiNs : NamespaceOfPrefix(prefix)));
    } else {
        xmlns = QStringLiteral(" xmlns=\"%1\"").arg(QString::fromLatin1(syntax == TSyntax::UblInvoice ? kUblInvoiceNs : kUblCreditNoteNs));
        for (const char* prefix : {"cac", "cbc", "ext"})
            xmlns += QStringLiteral(" xmlns:%1=\"%2\"").arg(QLatin1String(prefix), QString::fromLatin1(NamespaceOfPrefix(prefix)));
    }
    return (u'<' + root + xmlns + u'>' + writer.Out + QStringLiteral("</") + root + u'>').toUtf8();
}

namespace {
} // namespace

void CheckStructure(const TDocument& doc, std::vector<TCheckFinding>& findings)
{
    if (!doc.Root)
        return;
    switch (doc.Facts.Syntax) {
    case TSyntax::UblInvoice:
        TStructureCheck(UblModel(), findings).Root(doc.Root, "Invoice");
        break;
    case TSyntax::UblCreditNote:
        TStructureCheck(UblModel(), findings).Root(doc.Root, "CreditNote");
        break;
    case TSyntax::Cii:
        TStructureCheck(doc.Facts.Profile == TFxProfile::None ? CiiModel() : FacturXModel(doc.Facts.Profile), findings)
            .Root(doc.Root, "CrossIndustryInvoice");
        break;
    }
}

bool IsStructureError(const TCheckFinding& finding)
{
    return finding.Id.startsWith(QLatin1String("cvc-"));
}

} // namespace checks

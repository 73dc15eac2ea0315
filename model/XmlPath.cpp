#include "model/XmlPath.h"

#include <algorithm>

#include "model/Bindings.h"

#include <libxml/tree.h>

#include <cstring>
#include <stdexcept>

namespace {

bool IsElement(const xmlNode* n, const TXmlPath::TStep& step)
{
    // The first letter of the name tells most elements apart before a call; the namespaces
    // share a long prefix and are compared last.
    return n->type == XML_ELEMENT_NODE && n->ns && n->ns->href && n->name[0] == static_cast<unsigned char>(step.Local[0])
        && std::strcmp(reinterpret_cast<const char*>(n->name), step.Local.c_str()) == 0
        && std::strcmp(reinterpret_cast<const char*>(n->ns->href), step.Namespace.c_str()) == 0;
}

QString Normalized(const QString& text)
{
    return text.simplified();
}


[[noreturn]] void Bad(const std::string& path, const char* why)
{
    throw std::invalid_argument("binding path '" + path + "': " + why);
}

std::vector<TXmlPath::TStep> CompileSteps(const std::string& text, const std::string& whole);

TXmlPath::TPredicate CompilePredicate(std::string text, const std::string& whole)
{
    TXmlPath::TPredicate p;
    if (text.rfind("not ", 0) == 0) {
        p.Negated = true;
        text = text.substr(4);
    }
    const size_t eq = text.find('=');
    std::string path = eq == std::string::npos ? text : text.substr(0, eq);
    if (eq != std::string::npos) {
        std::string values = text.substr(eq + 1);
        if (!values.empty() && values.front() == '=') {
            p.Raw = true;
            values = values.substr(1);
        }
        if (values.size() < 2 || values.front() != '\'' || values.back() != '\'')
            Bad(whole, "values of a condition are written in single quotes");
        values = values.substr(1, values.size() - 2);
        for (const std::string& v : SplitTopLevel(values, ','))
            p.Values.push_back(v);
    }
    p.Path = CompileSteps(path, whole);
    return p;
}

std::vector<TXmlPath::TStep> CompileSteps(const std::string& text, const std::string& whole)
{
    std::vector<TXmlPath::TStep> steps;
    for (std::string part : SplitTopLevel(text, '/')) {
        TXmlPath::TStep step;
        const size_t bracket = part.find('[');
        if (bracket != std::string::npos) {
            if (part.back() != ']')
                Bad(whole, "a condition must end the step");
            for (const std::string& condition : SplitTopLevel(part.substr(bracket), ']')) {
                if (condition.empty())
                    continue;
                if (condition.front() != '[')
                    Bad(whole, "conditions must follow each other");
                step.Predicates.push_back(CompilePredicate(condition.substr(1), whole));
            }
            part = part.substr(0, bracket);
        }
        if (part == ".") {
            step.Kind = TXmlPath::TStep::TKind::Self;
        } else if (part == "..") {
            step.Kind = TXmlPath::TStep::TKind::Parent;
        } else if (!part.empty() && part.front() == '@') {
            step.Kind = TXmlPath::TStep::TKind::Attribute;
            step.Local = part.substr(1);
            step.Qualified = part;
        } else {
            const size_t colon = part.find(':');
            if (colon == std::string::npos)
                Bad(whole, "an element step needs a prefix");
            const char* ns = NamespaceOfPrefix(part.substr(0, colon).c_str());
            if (!ns)
                Bad(whole, "unknown prefix");
            step.Namespace = ns;
            step.Local = part.substr(colon + 1);
            step.Qualified = part;
        }
        steps.push_back(std::move(step));
    }
    for (size_t i = 0; i + 1 < steps.size(); ++i) {
        if (steps[i].Kind == TXmlPath::TStep::TKind::Attribute)
            Bad(whole, "an attribute can only be the last step");
    }
    return steps;
}

bool Holds(const TXmlPath::TPredicate& p, xmlNode* node);

bool Passes(const TXmlPath::TStep& step, xmlNode* n)
{
    for (const TXmlPath::TPredicate& p : step.Predicates) {
        if (!Holds(p, n))
            return false;
    }
    return true;
}

std::string Located(const std::string& location, const TXmlPath::TStep& step, int index)
{
    std::string l;
    l.reserve(location.size() + step.Qualified.size() + 6);
    l += location;
    l += '/';
    l += step.Qualified;
    l += '[';
    l += std::to_string(index);
    l += ']';
    return l;
}

// Walks steps from node; calls found(node, attribute, location) for every end point, until
// found returns true (enough found). Returns whether it stopped so.
template <class Found>
bool Walk(const std::vector<TXmlPath::TStep>& steps, size_t i, xmlNode* node, const std::string& location, bool withLocation,
          const Found& found)
{
    if (i == steps.size())
        return found(node, nullptr, location);
    const TXmlPath::TStep& step = steps[i];
    switch (step.Kind) {
    case TXmlPath::TStep::TKind::Self:
        return Passes(step, node) && Walk(steps, i + 1, node, location, withLocation, found);
    case TXmlPath::TStep::TKind::Parent:
        return node->parent && node->parent->type == XML_ELEMENT_NODE && Passes(step, node->parent)
            && Walk(steps, i + 1, node->parent, withLocation ? location + "/.." : location, withLocation, found);
    case TXmlPath::TStep::TKind::Attribute:
        for (xmlAttr* a = node->properties; a; a = a->next) {
            if (!a->ns && std::strcmp(reinterpret_cast<const char*>(a->name), step.Local.c_str()) == 0)
                return found(node, a, withLocation ? location + '/' + step.Qualified : location);
        }
        return false;
    case TXmlPath::TStep::TKind::Child:
        break;
    }
    int index = 0;
    for (xmlNode* child = node->children; child; child = child->next) {
        if (!IsElement(child, step))
            continue;
        ++index;
        if (!Passes(step, child))
            continue;
        if (Walk(steps, i + 1, child, withLocation ? Located(location, step, index) : location, withLocation, found))
            return true;
    }
    return false;
}

bool Holds(const TXmlPath::TPredicate& p, xmlNode* node)
{
    bool any = false;
    Walk(p.Path, 0, node, std::string(), false, [&](xmlNode* n, xmlAttr* a, const std::string&) {
        if (p.Values.empty())
            return any = true;
        const QString written = a ? XmlAttributeText(a) : XmlText(n);
        const QString text = p.Raw ? written : Normalized(written);
        for (const std::string& v : p.Values) {
            if (text == QLatin1String(v.c_str()))
                return any = true;
        }
        return false;
    });
    return p.Negated ? !any : any;
}

} // namespace

std::vector<std::string> SplitTopLevel(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    int depth = 0;
    bool quoted = false;
    std::string current;
    for (char c : text) {
        if (c == '\'')
            quoted = !quoted;
        else if (!quoted && c == '[')
            ++depth;
        else if (!quoted && c == ']')
            --depth;
        if (c == separator && depth == 0 && !quoted) {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}

TXmlPath TXmlPath::Compile(const char* path)
{
    TXmlPath compiled;
    const std::string whole(path);
    for (std::string alternative : SplitTopLevel(whole, '|')) {
        TAlternative a;
        if (!alternative.empty() && alternative.front() == '/') {
            a.FromRoot = true;
            alternative = alternative.substr(1);
        }
        a.Steps = CompileSteps(alternative, whole);
        compiled.FAlternatives.push_back(std::move(a));
    }
    return compiled;
}

bool TXmlPath::IsSelf() const
{
    return FAlternatives.size() == 1 && FAlternatives[0].Steps.size() == 1
        && FAlternatives[0].Steps[0].Kind == TStep::TKind::Self && FAlternatives[0].Steps[0].Predicates.empty();
}

bool TXmlPath::IsFromRoot() const
{
    return !FAlternatives.empty()
        && std::all_of(FAlternatives.begin(), FAlternatives.end(), [](const TAlternative& a) { return a.FromRoot; });
}

void TXmlPath::Evaluate(xmlNode* context, xmlNode* root, bool withLocation, std::vector<TMatch>& out) const
{
    for (const TAlternative& a : FAlternatives) {
        Walk(a.Steps, 0, a.FromRoot ? root : context, std::string(), withLocation, [&](xmlNode* n, xmlAttr* attr, const std::string& location) {
            out.push_back({n, attr, location});
            return false;
        });
    }
}

bool TXmlPath::Exists(xmlNode* context, xmlNode* root) const
{
    for (const TAlternative& a : FAlternatives) {
        if (Walk(a.Steps, 0, a.FromRoot ? root : context, std::string(), false,
                 [](xmlNode*, xmlAttr*, const std::string&) { return true; }))
            return true;
    }
    return false;
}

std::vector<TXmlPath::TMatch> TXmlPath::Evaluate(xmlNode* context, xmlNode* root, bool withLocation) const
{
    std::vector<TMatch> out;
    Evaluate(context, root, withLocation, out);
    return out;
}

bool TXmlPath::StartsWithChildSteps() const
{
    for (const TAlternative& a : FAlternatives) {
        if (a.FromRoot || a.Steps.empty() || a.Steps[0].Kind != TStep::TKind::Child)
            return false;
    }
    return !FAlternatives.empty();
}

std::vector<const TXmlPath::TStep*> TXmlPath::FirstSteps() const
{
    std::vector<const TStep*> steps;
    for (const TAlternative& a : FAlternatives)
        steps.push_back(a.Steps.empty() ? nullptr : &a.Steps[0]);
    return steps;
}

void TXmlPath::ContinueFrom(size_t alternative, xmlNode* child, const std::string& location, xmlNode* /*root*/, bool withLocation,
                            std::vector<TMatch>& out) const
{
    const TAlternative& a = FAlternatives[alternative];
    const TStep& first = a.Steps[0];
    if (std::strcmp(reinterpret_cast<const char*>(child->ns->href), first.Namespace.c_str()) != 0 || !Passes(first, child))
        return;
    Walk(a.Steps, 1, child, location, withLocation, [&](xmlNode* n, xmlAttr* attr, const std::string& l) {
        out.push_back({n, attr, l});
        return false;
    });
}

QString XmlText(const xmlNode* node)
{
    QString text;
    for (const xmlNode* c = node->children; c; c = c->next) {
        if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content)
            text += QString::fromUtf8(reinterpret_cast<const char*>(c->content));
    }
    return text;
}

QString XmlAttributeText(const xmlAttr* attribute)
{
    QString text;
    for (const xmlNode* c = attribute->children; c; c = c->next) {
        if (c->content)
            text += QString::fromUtf8(reinterpret_cast<const char*>(c->content));
    }
    return text;
}

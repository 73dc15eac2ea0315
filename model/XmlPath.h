#pragma once

#include <QString>

#include <string>
#include <vector>

struct _xmlNode;
struct _xmlAttr;

// The parts of a path (or a condition list) between separators that stand outside
// conditions ("[...]") and quotes.
std::vector<std::string> SplitTopLevel(const std::string& text, char separator);

// A compiled path of the small language that the bindings use (see Bindings.h), evaluated
// over a libxml2 tree without XPath: a binding is evaluated once per group element, tens
// of thousands of times for a large invoice.
class TXmlPath
{
public:
    struct TMatch
    {
        _xmlNode* Node = nullptr;      // the element (the attribute's element for @name)
        _xmlAttr* Attribute = nullptr; // set for a path that ends in @name
        std::string Location;          // "/cac:Item[1]/cbc:Name[1]" relative to the context (when asked for)
    };

    // Compiles path; raises std::invalid_argument for a path the language does not know
    // (a fault of the program's own tables).
    static TXmlPath Compile(const char* path);

    // The nodes path selects from context (root: the document's root element), in the order
    // of the alternatives and, within one, of the document.
    void Evaluate(_xmlNode* context, _xmlNode* root, bool withLocation, std::vector<TMatch>& out) const;
    std::vector<TMatch> Evaluate(_xmlNode* context, _xmlNode* root, bool withLocation = false) const;
    // Whether the path selects anything: stops at the first node.
    bool Exists(_xmlNode* context, _xmlNode* root) const;
    // Whether the path is "." (the context itself).
    bool IsSelf() const;
    // Whether every alternative starts at the root element ("/x/y"): what it selects does
    // not depend on the context.
    bool IsFromRoot() const;

    // Whether every alternative starts with a child step (so that a caller that walks the
    // children of the context itself can start it at a child: see ContinueFrom).
    bool StartsWithChildSteps() const;
    // Evaluates alternative `alternative` from child, an element that its first step names
    // (namespace and conditions not yet checked); location is child's own location.
    void ContinueFrom(size_t alternative, _xmlNode* child, const std::string& location, _xmlNode* root, bool withLocation,
                      std::vector<TMatch>& out) const;

    struct TStep;
    struct TPredicate
    {
        bool Negated = false;
        bool Raw = false; // "==": the value as written, not trimmed
        std::vector<TStep> Path;
        std::vector<std::string> Values; // empty: the path only has to exist
    };
    struct TStep
    {
        enum class TKind { Child, Parent, Self, Attribute } Kind = TKind::Child;
        std::string Namespace; // for Child
        std::string Local;     // element or attribute name
        std::string Qualified; // "cbc:ID", for locations
        std::vector<TPredicate> Predicates;
    };
    struct TAlternative
    {
        bool FromRoot = false;
        std::vector<TStep> Steps;
    };

    // The first step of each alternative.
    std::vector<const TStep*> FirstSteps() const;

private:
    std::vector<TAlternative> FAlternatives;
};

// The text of an element as written: its text and CDATA children, in order.
QString XmlText(const _xmlNode* node);
// The value of an attribute node.
QString XmlAttributeText(const _xmlAttr* attribute);

#include "model/Invoice.h"

#include <array>

QString TTermValue::Attribute(QStringView name) const
{
    for (const auto& [key, value] : Attributes) {
        if (key == name)
            return value;
    }
    return {};
}

QString TTermGroup::Path() const
{
    return (Parent ? Parent->Path() : QString()) + QString::fromStdString(Location);
}

const TTermValue* TTermGroup::Value(QAnyStringView id) const
{
    for (const TTermValue& v : Values) {
        if (QAnyStringView::equal(QLatin1String(v.Term->Id), id))
            return &v;
    }
    return nullptr;
}

QString TTermGroup::Text(QAnyStringView id) const
{
    const TTermValue* v = Value(id);
    return v ? v->Text : QString();
}

std::vector<const TTermValue*> TTermGroup::AllValues(QAnyStringView id) const
{
    std::vector<const TTermValue*> found;
    for (const TTermValue& v : Values) {
        if (QAnyStringView::equal(QLatin1String(v.Term->Id), id))
            found.push_back(&v);
    }
    return found;
}

const TTermGroup* TTermGroup::Group(QAnyStringView id) const
{
    for (const auto& g : Groups) {
        if (QAnyStringView::equal(QLatin1String(g->Term->Id), id))
            return g.get();
    }
    return nullptr;
}

std::vector<const TTermGroup*> TTermGroup::AllGroups(QAnyStringView id) const
{
    std::vector<const TTermGroup*> found;
    for (const auto& g : Groups) {
        if (QAnyStringView::equal(QLatin1String(g->Term->Id), id))
            found.push_back(g.get());
    }
    return found;
}

const TTermGroup* TInvoice::Group(QAnyStringView path) const
{
    const TTermGroup* group = &Root;
    for (const QString& id : path.toString().split(u'/')) {
        group = group->Group(id);
        if (!group)
            return nullptr;
    }
    return group;
}

const TTermValue* TInvoice::Value(QAnyStringView path) const
{
    const QString text = path.toString();
    const qsizetype slash = text.lastIndexOf(u'/');
    const TTermGroup* group = slash < 0 ? &Root : Group(text.left(slash));
    return group ? group->Value(text.mid(slash + 1)) : nullptr;
}

QString TInvoice::Text(QAnyStringView path) const
{
    const TTermValue* v = Value(path);
    return v ? v->Text : QString();
}

QString TInvoice::SyntaxName() const
{
    switch (Syntax) {
    case TInvoiceSyntax::Ubl:
        return QStringLiteral("UBL Invoice");
    case TInvoiceSyntax::UblCreditNote:
        return QStringLiteral("UBL CreditNote");
    case TInvoiceSyntax::Cii:
        break;
    }
    return QStringLiteral("CII");
}

QStringList TInvoice::Ibans() const
{
    QStringList ibans;
    for (const TTermGroup* means : Root.AllGroups(u"BG-16")) {
        for (const TTermGroup* transfer : means->AllGroups(u"BG-17")) {
            const QString iban = transfer->Text(u"BT-84").trimmed();
            if (!iban.isEmpty())
                ibans << iban;
        }
    }
    return ibans;
}

// Checked without decoding: the view only needs the size, and the text goes into its
// data: address as it is.
namespace {

// What each ASCII character is in Base64 text; everything else is foreign.
enum : unsigned char { Foreign, Digit, Blank, Padding };

constexpr auto kBase64Class = [] {
    std::array<unsigned char, 128> c{};
    for (int i = 'A'; i <= 'Z'; ++i)
        c[size_t(i)] = Digit;
    for (int i = 'a'; i <= 'z'; ++i)
        c[size_t(i)] = Digit;
    for (int i = '0'; i <= '9'; ++i)
        c[size_t(i)] = Digit;
    c['+'] = c['/'] = Digit;
    c[' '] = c['\t'] = c['\r'] = c['\n'] = Blank;
    c['='] = Padding;
    return c;
}();

unsigned char Base64Class(char16_t u)
{
    return u < 128 ? kBase64Class[u] : (unsigned char)Foreign;
}

} // namespace

namespace {

// Checks Base64 text in one pass without decoding or copying; -1 when it is none.
qlonglong CheckBase64(const QString& text, qsizetype& blanksOut)
{
    const char16_t* p = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* const end = p + text.size();
    qsizetype blanks = 0, padding = 0;
    while (p != end) {
        // The runs of digits between line breaks, in a loop of their own: they are nearly
        // all of the text (measured faster than vector code on 16-byte registers).
        while (p != end && *p < 128 && kBase64Class[*p] == Digit)
            ++p;
        if (p == end)
            break;
        const unsigned char c = Base64Class(*p++);
        if (c == Blank) {
            ++blanks;
        } else if (c == Padding) {
            ++padding;
            // Only padding and blanks may follow.
            for (; p != end; ++p) {
                const unsigned char after = Base64Class(*p);
                if (after == Blank)
                    ++blanks;
                else if (after == Padding)
                    ++padding;
                else
                    return -1;
            }
        } else {
            return -1;
        }
    }
    const qsizetype length = text.size() - blanks;
    if (length % 4 != 0 || padding > 2)
        return -1;
    blanksOut = blanks;
    return qlonglong(length / 4 * 3 - padding);
}

} // namespace

qlonglong Base64DecodedSize(const QString& text)
{
    qsizetype blanks = 0;
    return CheckBase64(text, blanks);
}

QString CleanBase64(const QString& text)
{
    qsizetype blanks = 0;
    if (CheckBase64(text, blanks) < 0)
        return {};
    const qsizetype length = text.size() - blanks;
    if (length == 0)
        return QLatin1String("");
    if (length == text.size())
        return text; // shared, not copied
    QString clean(length, Qt::Uninitialized);
    QChar* out = clean.data();
    for (const QChar c : text) {
        if (Base64Class(c.unicode()) != Blank)
            *out++ = c;
    }
    return clean;
}

std::optional<TEmbeddedAttachment> EmbeddedAttachment(const TInvoice& invoice, int number)
{
    const auto documents = invoice.Root.AllGroups(u"BG-24");
    if (number < 1 || number > int(documents.size()))
        return std::nullopt;
    const TTermValue* binary = documents[size_t(number - 1)]->Value(u"BT-125");
    if (!binary)
        return std::nullopt;
    const QString base64 = CleanBase64(binary->Text);
    if (base64.isNull())
        return std::nullopt;
    return TEmbeddedAttachment{binary->Attribute(u"filename").trimmed(), binary->Attribute(u"mimeCode").trimmed(),
                               QByteArray::fromBase64(base64.toLatin1())};
}

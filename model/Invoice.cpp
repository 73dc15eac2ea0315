#include "model/Invoice.h"

QString TTermValue::Attribute(QStringView name) const
{
    for (const auto& [key, value] : Attributes) {
        if (key == name)
            return value;
    }
    return {};
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

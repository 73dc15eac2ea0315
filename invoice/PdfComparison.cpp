#include "invoice/PdfComparison.h"

#include "invoice/PdfTextModule.h"
#include "invoice/ProgramModule.h"
#include "platform/Exception.h"

#include <QLibrary>
#include <QRegularExpression>

#include <algorithm>
#include <mutex>

namespace {

struct TTextModule
{
    TPdfTextRead Read = nullptr;
    TPdfTextFree Free = nullptr;
    QString Error;
};

const TTextModule& TextModule()
{
    static TTextModule module;
    static std::once_flag once;
    std::call_once(once, [] {
        static QLibrary library;
        if (!LoadProgramModule(library, QStringLiteral("erechnung-pdftext"), module.Error))
            return;
        module.Read = reinterpret_cast<TPdfTextRead>(library.resolve("erechnung_pdftext_read"));
        module.Free = reinterpret_cast<TPdfTextFree>(library.resolve("erechnung_pdftext_free"));
        if (!module.Read || !module.Free)
            module.Error = QStringLiteral("%1 ist nicht das Textmodul dieses Programms").arg(library.fileName());
    });
    return module;
}

// A pattern that finds text on a page: blanks and line ends may stand between any two of
// its characters, as text extraction splits runs.
QString Spread(const QString& text)
{
    QString pattern;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i > 0)
            pattern += QStringLiteral("\\s*");
        pattern += QRegularExpression::escape(text.mid(i, 1));
    }
    return pattern;
}

bool Shows(const QString& page, const QString& pattern)
{
    const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return re.match(page).hasMatch();
}

// An amount not inside a longer number: no digit (or digit and separator) before it, no
// digit (or separator and digit) after it.
bool ShowsAmount(const QString& page, const QString& amount)
{
    QStringList alternatives;
    for (const QString& form : AmountForms(amount))
        alternatives << Spread(form);
    if (alternatives.isEmpty())
        return false;
    return Shows(page, QStringLiteral("(?<![0-9])(?<![0-9][.,'])(?:%1)(?![0-9])(?!\\s*[.,]\\s*[0-9])").arg(alternatives.join(u'|')));
}

bool ShowsWord(const QString& page, const QString& word)
{
    return Shows(page, QStringLiteral("(?<![\\p{L}\\p{N}])%1(?![\\p{L}\\p{N}])").arg(Spread(word)));
}

struct TParts
{
    bool Valid = false;
    bool Negative = false;
    QString Whole;
    QString Fraction;
};

TParts PartsOf(const QString& amount)
{
    TParts p;
    QString a = amount.trimmed();
    if (a.startsWith(u'-') || a.startsWith(u'+')) {
        p.Negative = a.startsWith(u'-');
        a.remove(0, 1);
    }
    const qsizetype point = a.indexOf(u'.');
    p.Whole = point < 0 ? a : a.left(point);
    p.Fraction = point < 0 ? QString() : a.mid(point + 1);
    bool digits = !p.Whole.isEmpty();
    for (const QChar c : p.Whole + p.Fraction)
        digits = digits && c.isDigit() && c.unicode() < 128;
    // Leading zeros are no part of how a page shows it.
    while (p.Whole.size() > 1 && p.Whole.front() == u'0')
        p.Whole.remove(0, 1);
    p.Valid = digits;
    return p;
}

QString Grouped(const QString& whole, QChar separator)
{
    QString g = whole;
    for (qsizetype i = g.size() - 3; i > 0; i -= 3)
        g.insert(i, separator);
    return g;
}

bool IsZero(const TParts& p)
{
    return std::all_of(p.Whole.begin(), p.Whole.end(), [](QChar c) { return c == u'0'; })
        && std::all_of(p.Fraction.begin(), p.Fraction.end(), [](QChar c) { return c == u'0'; });
}

} // namespace

QStringList AmountForms(const QString& amount)
{
    const TParts p = PartsOf(amount);
    if (!p.Valid)
        return {};
    QStringList fractions{p.Fraction};
    // 12.5 is shown as 12,50; 12.500 as 12,50 too.
    QString two = p.Fraction;
    while (two.size() > 2 && two.endsWith(u'0'))
        two.chop(1);
    if (two.size() < 2)
        two = two.leftJustified(2, u'0');
    if (!fractions.contains(two))
        fractions << two;
    QStringList forms;
    for (const QString& fraction : fractions) {
        auto add = [&](const QString& whole, QChar decimal) {
            const QString form = fraction.isEmpty() ? whole : whole + decimal + fraction;
            if (!forms.contains(form))
                forms << form;
        };
        add(Grouped(p.Whole, u'.'), u',');
        add(p.Whole, u',');
        add(Grouped(p.Whole, u','), u'.');
        add(p.Whole, u'.');
        add(Grouped(p.Whole, u'\''), u'.');
    }
    return forms;
}

QString GermanAmount(const QString& amount, const QString& currency)
{
    const std::optional<TDecimal> d = TDecimal::Parse(amount.trimmed());
    if (!d || !d->IsValid())
        return amount.trimmed();
    const QString text = d->ToGerman(std::max(2, d->Scale()));
    const QString c = currency.trimmed();
    if (c.isEmpty())
        return text;
    return text + u' ' + (c == QLatin1String("EUR") ? QStringLiteral("€") : c);
}

QString TPdfComparison::Note() const
{
    switch (State) {
    case TState::NotCompared:
        return {};
    case TState::Same:
        return QStringLiteral("Die PDF-Ansicht stimmt überein: sie zeigt Rechnungsnummer, Beträge und Bankverbindung der XML.");
    case TState::Differs:
        return Missing.join(QStringLiteral("; ")) + u'.';
    case TState::NoText:
        return QStringLiteral("Die PDF-Ansicht hat keinen Text (gescannte Seiten) und konnte nicht mit der XML verglichen werden.");
    case TState::Unreadable:
        break;
    }
    return QStringLiteral("Die PDF-Ansicht konnte nicht gelesen und daher nicht mit der XML verglichen werden (%1).").arg(Reason);
}

TPdfComparison ComparePdfText(const QString& pagesText, const TInvoice& invoice)
{
    TPdfComparison result;
    if (pagesText.trimmed().isEmpty()) {
        result.State = TPdfComparison::TState::NoText;
        return result;
    }
    const QString currency = invoice.Text(u"BT-5").trimmed();
    const QString number = invoice.Text(u"BT-1").trimmed();
    if (!number.isEmpty() && !ShowsWord(pagesText, number))
        result.Missing << QStringLiteral("Die PDF-Ansicht zeigt die Rechnungsnummer %1 der XML nicht").arg(number);
    const QString total = invoice.Text(u"BG-22/BT-112").trimmed();
    if (!total.isEmpty() && !ShowsAmount(pagesText, total))
        result.Missing << QStringLiteral("Die PDF-Ansicht zeigt den Betrag %1 (XML: Gesamtbetrag %1) nicht").arg(GermanAmount(total, currency));
    const QString due = invoice.Text(u"BG-22/BT-115").trimmed();
    const TParts dueParts = PartsOf(due);
    const TParts totalParts = PartsOf(total);
    const bool sameAsTotal = dueParts.Valid && totalParts.Valid && dueParts.Negative == totalParts.Negative
        && dueParts.Whole == totalParts.Whole && AmountForms(due).contains(AmountForms(total).value(0));
    if (!due.isEmpty() && dueParts.Valid && !IsZero(dueParts) && !sameAsTotal && !ShowsAmount(pagesText, due))
        result.Missing << QStringLiteral("Die PDF-Ansicht zeigt den Betrag %1 (XML: Zahlbetrag %1) nicht").arg(GermanAmount(due, currency));
    for (const QString& iban : invoice.Ibans()) {
        QString account = iban;
        account.remove(QRegularExpression(QStringLiteral("\\s")));
        if (!account.isEmpty() && !ShowsWord(pagesText, account)) {
            QString grouped;
            for (qsizetype i = 0; i < account.size(); i += 4)
                grouped += (grouped.isEmpty() ? QString() : QStringLiteral(" ")) + account.mid(i, 4).toUpper();
            result.Missing << QStringLiteral("Die PDF-Ansicht zeigt die IBAN %1 der XML nicht").arg(grouped);
        }
    }
    result.State = result.Missing.isEmpty() ? TPdfComparison::TState::Same : TPdfComparison::TState::Differs;
    return result;
}

TPdfComparison ComparePdfWithInvoice(const QByteArray& pdf, const TInvoice& invoice)
{
    TPdfComparison result;
    const TTextModule& module = TextModule();
    if (!module.Error.isEmpty()) {
        result.State = TPdfComparison::TState::Unreadable;
        result.Reason = QStringLiteral("Textmodul erechnung-pdftext: ") + module.Error;
        return result;
    }
    TPdfTextResult text;
    module.Read(pdf.constData(), size_t(pdf.size()), &text);
    struct TFree
    {
        const TTextModule& M;
        TPdfTextResult& T;
        ~TFree() { M.Free(&T); }
    } freeText{module, text};
    if (text.Status != kPdfTextRead) {
        result.State = TPdfComparison::TState::Unreadable;
        result.Reason = QStringLiteral("keine lesbare PDF-Datei oder mit Kennwort geschützt");
        return result;
    }
    return ComparePdfText(QString::fromUtf8(text.Text, qsizetype(text.TextSize)), invoice);
}

#include "app/UnitVerlauf.h"

#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/UserPrompt.h"
#include "settings/ESettings.h"
#include "workflow/HistoryExport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

enum TColumn {
    cZeitpunkt, cEntscheidung, cBenutzer, cRechner, cAblagename, cLieferant, cUStId, cNummer, cDatum,
    cGesamtbetrag, cZahlbetrag, cWaehrung, cKonten, cProfil, cCount
};

const char* const kHeadings[cCount] = {"Zeitpunkt", "Entscheidung", "Benutzer", "Rechner", "Ablagename",
                                       "Lieferant", "USt-IdNr.", "Rechnungsnummer", "Rechnungsdatum",
                                       "Gesamtbetrag", "Zahlbetrag", "Währung", "Bankverbindung", "Profil"};

// An amount of the invoice the German way, all its digits kept ("1234.5" -> "1.234,5").
QString GermanAmount(const QString& amount)
{
    const std::optional<TDecimal> d = TDecimal::Parse(amount.trimmed());
    return d && d->IsValid() ? d->ToGerman() : amount.trimmed();
}

} // namespace

THistoryModel::THistoryModel(TEHistory& history, QObject* parent)
    : QAbstractTableModel(parent), FHistory(history)
{
}

void THistoryModel::SetFilter(const THistoryFilter& filter)
{
    beginResetModel();
    FFilter = filter;
    FFilter.Limit = kPage;
    FFilter.Offset = 0;
    FRows = FHistory.Rows(FFilter);
    FTotal = FHistory.CountRows(FFilter);
    endResetModel();
}

int THistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(FRows.size());
}

int THistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : cCount;
}

QVariant THistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= cCount)
        return {};
    return QString::fromUtf8(kHeadings[section]);
}

QVariant THistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(FRows.size()))
        return {};
    const THistoryRow& row = FRows[size_t(index.row())];
    const TInvoiceFacts& f = row.Facts;
    if (role == Qt::TextAlignmentRole)
        return index.column() == cGesamtbetrag || index.column() == cZahlbetrag ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    QStringList accounts;
    for (const QString& a : f.Accounts)
        accounts << GroupedAccount(a);
    switch (index.column()) {
    case cZeitpunkt: {
        const QDateTime t = QDateTime::fromString(row.Zeitpunkt, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return t.isValid() ? t.toString(QStringLiteral("dd.MM.yyyy HH:mm")) : row.Zeitpunkt;
    }
    case cEntscheidung: return row.Verarbeitung;
    case cBenutzer: return row.User;
    case cRechner: return row.PC;
    case cAblagename: return row.FileName;
    case cLieferant: return f.SellerName;
    case cUStId: return f.SellerVatId;
    case cNummer: return f.Number;
    case cDatum: return GermanDate(f.IssueDate);
    case cGesamtbetrag: return GermanAmount(f.GrandTotal);
    case cZahlbetrag: return GermanAmount(f.AmountDue);
    case cWaehrung: return f.Currency;
    case cKonten: return accounts.join(QStringLiteral(", "));
    case cProfil: return f.Profile;
    default: return {};
    }
}

bool THistoryModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && int(FRows.size()) < FTotal;
}

void THistoryModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid())
        return;
    THistoryFilter page = FFilter;
    page.Offset = int(FRows.size());
    std::vector<THistoryRow> more = FHistory.Rows(page);
    if (more.empty()) {
        FTotal = int(FRows.size()); // the history changed meanwhile
        return;
    }
    beginInsertRows({}, int(FRows.size()), int(FRows.size() + more.size()) - 1);
    for (THistoryRow& r : more)
        FRows.push_back(std::move(r));
    endInsertRows();
}

TFormVerlauf::TFormVerlauf(QWidget* parent, TEHistory& history, const TESettings* settings)
    : QDialog(parent), FHistory(history), FSettings(settings)
{
    setWindowTitle(QStringLiteral("Verlauf"));
    resize(1500, 650);
    Opener = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };

    eSuche = new QLineEdit(this);
    eSuche->setPlaceholderText(QStringLiteral("Suchen: Rechnungsnummer, Lieferant, Betrag, IBAN, Ablagename"));
    eSuche->setClearButtonEnabled(true);
    cbEntscheidung = new QComboBox(this);
    cbEntscheidung->addItems({QStringLiteral("Alle Entscheidungen"), QStringLiteral("Akzeptiert"), QStringLiteral("Abgelehnt")});
    cbZeitraum = new QCheckBox(QStringLiteral("Zeitraum von"), this);
    dVon = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    dBis = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit* d : {dVon, dBis}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        d->setEnabled(false);
    }
    auto* filters = new QHBoxLayout;
    filters->addWidget(eSuche, 1);
    filters->addWidget(cbEntscheidung);
    filters->addWidget(cbZeitraum);
    filters->addWidget(dVon);
    filters->addWidget(new QLabel(QStringLiteral("bis"), this));
    filters->addWidget(dBis);

    Model = new THistoryModel(history, this);
    Tabelle = new QTableView(this);
    Tabelle->setModel(Model);
    Tabelle->setSelectionBehavior(QAbstractItemView::SelectRows);
    Tabelle->setSelectionMode(QAbstractItemView::SingleSelection);
    Tabelle->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tabelle->verticalHeader()->setVisible(false);
    Tabelle->horizontalHeader()->setStretchLastSection(true);
    Tabelle->setToolTip(QStringLiteral("Doppelklick öffnet die abgelegte Datei"));
    Tabelle->setWordWrap(false);
    Tabelle->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    lAnzahl = new QLabel(this);
    bExport = new QPushButton(QStringLiteral("Exportieren (CSV)..."), this);
    bSchliessen = new QPushButton(QStringLiteral("Schließen"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lAnzahl, 1);
    buttons->addWidget(bExport);
    buttons->addWidget(bSchliessen);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(Tabelle, 1);
    layout->addLayout(buttons);

    // Typing searches after a pause, not at every key.
    FSearchDelay = new QTimer(this);
    FSearchDelay->setSingleShot(true);
    FSearchDelay->setInterval(250);
    connect(FSearchDelay, &QTimer::timeout, this, [this] { Guarded([this] { Refresh(); }); });
    connect(eSuche, &QLineEdit::textChanged, FSearchDelay, qOverload<>(&QTimer::start));
    auto refresh = [this] { Guarded([this] { Refresh(); }); };
    connect(cbEntscheidung, &QComboBox::currentIndexChanged, this, refresh);
    connect(cbZeitraum, &QCheckBox::toggled, this, [this, refresh](bool on) {
        dVon->setEnabled(on);
        dBis->setEnabled(on);
        refresh();
    });
    connect(dVon, &QDateEdit::dateChanged, this, refresh);
    connect(dBis, &QDateEdit::dateChanged, this, refresh);
    connect(Tabelle, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { Guarded([this, index] { OpenRow(index.row()); }); });
    connect(bExport, &QPushButton::clicked, this, [this] { Guarded([this] { Export(); }); });
    connect(bSchliessen, &QPushButton::clicked, this, &QDialog::close);
    Refresh();
}

void TFormVerlauf::Refresh()
{
    THistoryFilter filter;
    filter.Search = eSuche->text();
    if (cbEntscheidung->currentIndex() > 0)
        filter.Verarbeitung = cbEntscheidung->currentText();
    if (cbZeitraum->isChecked()) {
        filter.From = dVon->date();
        filter.To = dBis->date();
    }
    Model->SetFilter(filter);
    Tabelle->resizeColumnsToContents();
    lAnzahl->setText(Model->Total() == 1 ? QStringLiteral("1 Entscheidung")
                                         : QStringLiteral("%1 Entscheidungen").arg(QLocale(QLocale::German).toString(Model->Total())));
}

QString TFormVerlauf::FiledCopy(int row) const
{
    if (row < 0 || row >= Model->rowCount() || !FSettings)
        return {};
    const THistoryRow& r = Model->Row(row);
    const QStringList folders = r.Verarbeitung == QLatin1String("Abgelehnt")
        ? QStringList{FSettings->ProblemPfad}
        : QStringList{FSettings->DMSPfad, FSettings->WeiterverarbeitungPfad};
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const QString path = JoinPath(folder, r.FileName);
        if (FileExists(path))
            return path;
    }
    return {};
}

void TFormVerlauf::OpenRow(int row)
{
    if (row < 0 || row >= Model->rowCount())
        return;
    const QString path = FiledCopy(row);
    if (path.isEmpty())
        throw Exception(QStringLiteral("Die abgelegte Datei %1 ist in keinem der Ablageordner mehr.").arg(Model->Row(row).FileName));
    Opener(path);
}

void TFormVerlauf::Export()
{
    const QString target = TUserPrompt::SaveFile(QStringLiteral("verlauf.csv"));
    if (target.isNull())
        return;
    THistoryFilter all = Model->Filter();
    all.Limit = -1;
    all.Offset = 0;
    const QByteArray csv = HistoryCsv(FHistory.Rows(all));
    const QString error = WriteFileReplacing(target, csv);
    if (!error.isEmpty())
        throw Exception(QStringLiteral("In %1 kann nicht geschrieben werden: %2").arg(DisplayFileName(target), error));
}

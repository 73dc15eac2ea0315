#include "workflow/EWorkflow.h"

#include "invoice/ERechnung.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Trash.h"
#include "settings/ESettings.h"
#include "workflow/EHistory.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace {

const QString kNoAcceptFolder =
    QStringLiteral("Es wurde keine Art der Weiterverarbeitung definiert. Datei wird nicht verarbeitet.");
const QString kNoDenyFolder =
    QStringLiteral("Es wurde kein Ordner für fehlerhafte Dateien definiert. Datei wird nicht verarbeitet.");

[[noreturn]] void RaiseWithPath(const QString& message, const QString& path)
{
    throw Exception(message + QStringLiteral("\r\n[") + DisplayFileName(path) + QLatin1Char(']'));
}

// The checks made on both paths of a copy, in their order; the source must also exist.
void CheckCopyPath(const QString& path, bool isSource)
{
#ifdef Q_OS_WIN
    const qsizetype colon = path.indexOf(QLatin1Char(':'), path.size() >= 2 && path.at(1) == QLatin1Char(':') ? 2 : 0);
    if (colon >= 0)
        throw Exception(QStringLiteral("Das Pfadformat wird nicht unterstützt"));
#endif
    if (path.trimmed().isEmpty())
        throw Exception(QStringLiteral("Pfad ist leer"));
    if (HasInvalidPathChars(path))
        RaiseWithPath(QStringLiteral("Ungültige Zeichen im Pfad"), path);
    if (!DirectoryExists(QFileInfo(path).absolutePath()))
        RaiseWithPath(QStringLiteral("Der angegebene Pfad wurde nicht gefunden"), path);
    if (isSource && !FileExists(path))
        RaiseWithPath(QStringLiteral("Die angegebene Datei wurde nicht gefunden"), path);
}

} // namespace

qsizetype TFileList::IndexOf(const QString& path) const
{
    const QByteArray key = PathKey(path);
    if (!ContainsKey(std::string_view(key.constData(), size_t(key.size()))))
        return -1;
    return FKeys.indexOf(key);
}

void TFileList::Add(const QString& path)
{
    QByteArray native = EncodeFileName(path);
    QByteArray key = FileNamesCaseInsensitive() ? PathKey(path) : native; // the same bytes where case counts
    FIndex.emplace(key.constData(), size_t(key.size()));
    FItems.append(path);
    FNative.append(std::move(native));
    FKeys.append(std::move(key));
}

void TFileList::Delete(qsizetype i)
{
    FIndex.erase(FKeys[i].toStdString());
    FItems.removeAt(i);
    FNative.removeAt(i);
    FKeys.removeAt(i);
}

TEWorkflow::TEWorkflow(QObject* AOwner, const QString& historyPath)
    : QObject(AOwner)
    , Owner(AOwner)
    , Frechnung(std::make_unique<TERechnung>(AOwner))
    , dbconn(std::make_unique<TEHistory>(historyPath.isEmpty() ? TEHistory::DefaultPath() : historyPath))
{
    // A decision a killed program left under way: recorded when its invoice reached all its
    // targets, dropped when not (the file is still in the hotfolder, or in the trash).
    try {
        dbconn->RecoverPending([](const QString& path) { return FileExists(path); });
    } catch (...) {
        // The notes stay for the next start; the history works as before meanwhile.
    }
    timer = new QTimer(Owner ? Owner : this);
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, [this] { Guarded([this] { HotfolderTimer(); }); });
    timer->start();
}

TEWorkflow::~TEWorkflow()
{
    delete timer; // it belongs to the owner, but calls us
}

void TEWorkflow::SetSettings(TESettings* settings)
{
    Fsettings = settings;
    RemoveDebris();
}

// A filing killed midway (power cut, kill -9) can leave a complete copy under our
// temporary name in a target folder, an attachment being saved in the hotfolder, or a
// trash entry whose file never moved. None of that is an invoice: each folder is cleaned
// once per run, the first time the settings name it. Nothing else is ever touched.
void TEWorkflow::RemoveDebris()
{
    if (!Fsettings)
        return;
    const QString hot = Fsettings->HotfolderPfad;
    for (const QString& folder : {hot, Fsettings->DMSPfad, Fsettings->WeiterverarbeitungPfad, Fsettings->ProblemPfad}) {
        if (folder.isEmpty() || FCleanedFolders.contains(folder) || !DirectoryExists(folder))
            continue;
        FCleanedFolders.insert(folder);
        try {
            RemoveStaleTemporaryFiles(folder);
            if (folder == hot)
                RemoveOrphanedTrashEntries(folder);
        } catch (...) {
            // A folder that cannot be read is reported where it is used.
        }
    }
}

// Who checks, and where the services are: as the settings say. A setting left empty keeps
// what the options held, unless it was the settings that put it there.
void TEWorkflow::ApplyCheckSettings(TServiceOptions& options)
{
    if (!Fsettings)
        return;
    const QString& mode = Fsettings->Pruefung;
    if (mode == QLatin1String(kPruefungEingebaut))
        options.Mode = TCheckMode::BuiltIn;
    else if (mode == QLatin1String(kPruefungDienstOderEingebaut))
        options.Mode = TCheckMode::ServiceOrBuiltIn;
    else if (mode == QLatin1String(kPruefungDienst))
        options.Mode = TCheckMode::Service;
    const QString url = Fsettings->PruefdienstUrl.trimmed();
    if (!url.isEmpty()) {
        options.BaseUrl = url;
        FAppliedServiceUrl = url;
    } else if (!FAppliedServiceUrl.isEmpty() && options.BaseUrl == FAppliedServiceUrl) {
        options.BaseUrl = TServiceOptions{}.BaseUrl;
        FAppliedServiceUrl.clear();
    }
}

void TEWorkflow::SetState(TWorkflowState state)
{
    if (state == FFlowState)
        return;
    FFlowState = state;
    if (FStateChanged)
        FStateChanged(this);
}

void TEWorkflow::RaiseHotfolderUpdated()
{
    if (FHotfolderUpdated)
        FHotfolderUpdated(this);
}

void TEWorkflow::Clear()
{
    FPreviousDecision.reset();
    FFacts.reset();
    FSameInvoice.reset();
    FNewAccount.reset();
    Frechnung->Clear();
    SetState(wsNone);
}

void TEWorkflow::CheckNotBusy() const
{
    if (FBusy)
        throw Exception(QStringLiteral("Die Rechnung %1 wird noch geprüft. Bitte warten Sie, bis das Ergebnis angezeigt wird.")
                            .arg(DisplayFileName(Frechnung->OriginalFilePath())));
}

void TEWorkflow::Start(const QString& filename)
{
    CheckNotBusy();
    FBusy = true;
    struct TDone
    {
        bool& Busy;
        ~TDone() { Busy = false; }
    } done{FBusy};
    FCancel = false;
    TServiceOptions options = Frechnung->ServiceOptions();
    options.Cancel = &FCancel;
    ApplyCheckSettings(options);
    Frechnung->SetServiceOptions(options);
    Clear();
    Frechnung->LoadFromFile(filename);
    // The state handler validates and renders inside this call; the flags read below are
    // those that validation set.
    // What the history knows against the invoice is known before the report is shown, so
    // that the window shows it with the report at once.
    LookUpHistory();
    SetState(wsLoaded);
    switch (VerdictOf(*Frechnung)) {
    case TVerdict::Accept:
        SetState(wsShouldAccept);
        break;
    case TVerdict::WaveThrough:
        SetState(wsWaveThrough);
        break;
    case TVerdict::Reject:
        SetState(wsShouldDeny);
        break;
    }
    if (IsKnownHash(Frechnung->Hash())) {
        try {
            FPreviousDecision = dbconn->LastDecision(Frechnung->Hash());
        } catch (...) {
            FPreviousDecision.reset(); // the notice then goes without the details
        }
        Frechnung->MarkAsDuplicate();
        SetState(wsDuplicate);
    }
}

void TEWorkflow::LookUpHistory()
{
    FFacts.reset();
    FSameInvoice.reset();
    FNewAccount.reset();
    if (const TInvoice* invoice = Frechnung->GetXmlData().isEmpty() ? nullptr : Frechnung->Model())
        FFacts = FactsOf(*invoice, Frechnung->Profile());
    if (!FFacts || FFacts->IsEmpty())
        return;
    // A history that cannot be asked takes nothing from the load: the notices are missing,
    // the verdict stands.
    try {
        if (!dbconn->IsKnownHash(Frechnung->Hash()))
            FSameInvoice = dbconn->SameInvoiceInOtherForm(*FFacts, Frechnung->Hash());
        FNewAccount = dbconn->NewAccount(*FFacts);
    } catch (...) {
        FSameInvoice.reset();
        FNewAccount.reset();
    }
}

void TEWorkflow::CheckLoaded() const
{
    // A file whose load failed has no hash and no archive name: filing it would copy it
    // under an empty or a wrong name.
    if (!Frechnung->OriginalFilePath().isEmpty() && (Frechnung->Hash().isEmpty() || Frechnung->FileName().isEmpty()))
        throw Exception(QStringLiteral("Die Datei %1 konnte nicht geladen werden und wird nicht abgelegt.")
                            .arg(DisplayFileName(Frechnung->OriginalFilePath())));
}

void TEWorkflow::CopyInvoiceTo(const QString& folder)
{
    const QString source = Frechnung->OriginalFilePath();
    const QString target = WithTrailingBackslash(folder) + Frechnung->FileName();
    CheckCopyPath(source, true);
    CheckCopyPath(target, false);
    const QString error = CopyFileReplacing(source, target);
    if (!error.isEmpty())
        RaiseWithPath(error, source);
}

void TEWorkflow::Accept()
{
    CheckNotBusy();
    const QString dms = Fsettings ? Fsettings->DMSPfad : QString();
    const QString weiter = Fsettings ? Fsettings->WeiterverarbeitungPfad : QString();
    if (dms.isEmpty() && weiter.isEmpty())
        throw Exception(kNoAcceptFolder);
    CheckLoaded();
    QStringList folders;
    for (const QString& folder : {dms, weiter}) {
        if (!folder.isEmpty())
            folders << folder;
    }
    File(folders, QStringLiteral("Akzeptiert"));
}

void TEWorkflow::File(const QStringList& folders, const QString& verarbeitung)
{
    auto step = [](const char* name) {
        if (StepHook)
            StepHook(name);
    };
    QStringList targets;
    for (const QString& folder : folders)
        targets << WithTrailingBackslash(folder) + Frechnung->FileName();
    step("beginnt");
    // The history is text: a name that is not UTF-8 is recorded as the user reads it.
    FPending = dbconn->BeginDecision(DisplayFileName(Frechnung->FileName()), Frechnung->Hash(), verarbeitung, Facts(), targets);
    step("notiert");
    try {
        for (const QString& folder : folders) {
            CopyInvoiceTo(folder);
            step("kopiert");
        }
        const QString original = Frechnung->OriginalFilePath();
        MoveToRecycleBin(original);
        step("Papierkorb");
        RemoveFromFiles(original);
        step("Liste");
    } catch (...) {
        try {
            dbconn->DropDecision(FPending);
        } catch (...) {
            // Left as a note: the next start drops it, its targets being incomplete, or
            // records it, the invoice being filed.
        }
        throw;
    }
    WriteHistory(verarbeitung);
    step("erfasst");
    Clear();
}

void TEWorkflow::Deny()
{
    CheckNotBusy();
    const QString problem = Fsettings ? Fsettings->ProblemPfad : QString();
    if (problem.isEmpty())
        throw Exception(kNoDenyFolder);
    CheckLoaded();
    File({problem}, QStringLiteral("Abgelehnt"));
}

QString TEWorkflow::WithTrailingBackslash(const QString& path) const
{
    return path.endsWith(NativeSeparator()) ? path : path + NativeSeparator();
}

void TEWorkflow::MoveToRecycleBin(const QString& path)
{
    if (!FileExists(path))
        return;
    const QString error = MoveToTrash(path);
    if (!error.isEmpty())
        throw Exception(QStringLiteral("Fehler bei der Dateiablage: ") + error);
}

void TEWorkflow::RemoveFromFiles(const QString& path)
{
    const qsizetype i = FFiles.IndexOf(path);
    if (i < 0)
        return;
    FFiles.Delete(i);
    FLastListing.clear(); // a file of the same name may come back
    RaiseHotfolderUpdated();
}

bool TEWorkflow::IsKnownHash(const QString& hash)
{
    return dbconn->IsKnownHash(hash);
}

void TEWorkflow::WriteHistory(const QString& verarbeitung)
{
    // The decision noted before filing becomes its row (with the time of this moment).
    Q_UNUSED(verarbeitung); // noted with the decision
    dbconn->CompleteDecision(FPending);
}

void TEWorkflow::HotfolderTimer()
{
    if (!Fsettings)
        return;
    bool changed = false;
    // Backwards, so that the entries still to be visited keep their indices.
    for (qsizetype i = FFiles.Count() - 1; i >= 0; --i) {
        if (!FileExistsNative(FFiles.Native(i))) {
            FFiles.Delete(i);
            FLastListing.clear();
            changed = true;
        }
    }

    QStringList found;
    try {
        found = NewFilesInHotfolder();
    } catch (...) {
        // The list keeps what this tick did so far.
        if (changed)
            RaiseHotfolderUpdated();
        throw;
    }
    for (const QString& path : found)
        FFiles.Add(path);
    if (changed || !found.isEmpty())
        RaiseHotfolderUpdated();
}

QStringList TEWorkflow::NewFilesInHotfolder()
{
    const QString folder = Fsettings->HotfolderPfad;
    if (folder.isEmpty() || !DirectoryExists(folder)) {
        FLastListing.clear();
        return {};
    }
    QStringList found;
    TFolderKeys keys(folder);
    std::string listing;
    listing.reserve(FLastListing.size());
    bool same = folder == FLastListingFolder && !FLastListing.empty();
    size_t cursor = 0;
    ForEachFileName(folder, false, [&](std::string_view name) {
        listing.append(name);
        listing.push_back('\0');
        if (same) {
            if (FLastListing.size() > cursor + name.size() && FLastListing.compare(cursor, name.size(), name) == 0
                && FLastListing[cursor + name.size()] == '\0') {
                cursor += name.size() + 1;
                return; // as last time
            }
            same = false;
        }
        // A known file is recognised by its bytes; only a new name is decoded.
        if (FFiles.ContainsKey(keys.KeyOf(name)))
            return;
        const QString decoded = DecodeFileName(QByteArray(name.data(), qsizetype(name.size())));
        if (IsOwnTemporaryFileName(decoded))
            return; // an attachment or a copy being written, or what a crash left of one
        found << JoinPath(folder, decoded);
    });
    FLastListing = std::move(listing);
    FLastListingFolder = folder;
    // The new files of one tick are listed by name, as a folder window shows them.
    std::sort(found.begin(), found.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return found;
}

#pragma once

#include "services/ServiceOptions.h"
#include "workflow/EHistory.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

class TERechnung;
class TESettings;

enum TWorkflowState { wsNone, wsLoaded, wsShouldDeny, wsShouldAccept, wsDuplicate, wsWaveThrough };

class TEWorkflow;
// A notification of the engine; an unset one is not called.
using TWorkflowEvent = std::function<void(TEWorkflow* Sender)>;

// The files found in the hotfolder, in the order they were found. Each keeps the bytes
// the system calls take and its lookup key (see PathKey), so that a poll of a folder of
// thousands of files tests and compares bytes and decodes only the names that are new.
class TFileList
{
public:
    qsizetype Count() const { return FItems.size(); }
    const QString& operator[](qsizetype i) const { return FItems[i]; }
    const QStringList& Items() const { return FItems; }
    const QByteArray& Native(qsizetype i) const { return FNative[i]; }
    qsizetype IndexOf(const QString& path) const;
    bool ContainsKey(std::string_view key) const { return FIndex.find(key) != FIndex.end(); }
    void Add(const QString& path);
    void Delete(qsizetype i);

private:
    struct THash
    {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };

    QStringList FItems;
    QList<QByteArray> FNative;
    QList<QByteArray> FKeys;
    std::unordered_set<std::string, THash, std::equal_to<>> FIndex;
};

// The workflow engine: keeps the list of files in the hotfolder, runs one invoice at a
// time through load, check and verdict, and files the decided invoice away.
class TEWorkflow : public QObject
{
    Q_OBJECT

public:
    // Opens (or creates) the history at historyPath; raises with the database's message
    // when that fails.
    explicit TEWorkflow(QObject* AOwner, const QString& historyPath = QString());
    ~TEWorkflow() override;

    void Clear();
    // Loads, checks and judges one invoice. The checks keep the window's event loop going,
    // so a click may arrive meanwhile: a second Start, an Accept or a Deny while one runs
    // is refused with a message.
    void Start(const QString& filename);
    void Accept();
    void Deny();
    // Start is under way.
    bool Busy() const { return FBusy; }
    // Ends the service calls of a running Start early (it then fails): before the window
    // closes.
    void CancelChecks() { FCancel = true; }

    // Called at each step of filing a decision ("beginnt", "notiert", "kopiert" after each
    // copy, "Papierkorb", "Liste", "erfasst"): for the tests that kill the program there.
    static inline std::function<void(const char* step)> StepHook;

    // One poll of the hotfolder; the timer calls it every second.
    void HotfolderTimer();

    // Properties
    const TWorkflowEvent& OnHotfolderUpdated() const { return FHotfolderUpdated; }
    void SetOnHotfolderUpdated(TWorkflowEvent event) { FHotfolderUpdated = std::move(event); }
    const TWorkflowEvent& OnStateChanged() const { return FStateChanged; }
    void SetOnStateChanged(TWorkflowEvent event) { FStateChanged = std::move(event); }
    TESettings* Settings() const { return Fsettings; }
    // For a duplicate: the latest decision the history holds about it (empty when it
    // could not be read).
    const std::optional<THistoryEntry>& PreviousDecision() const { return FPreviousDecision; }
    // The same invoice decided before in other bytes, and an account new for a known
    // seller: found when the invoice is loaded, empty when not (or when the history could
    // not be asked).
    const std::optional<TSameInvoice>& SameInvoice() const { return FSameInvoice; }
    const std::optional<TNewAccount>& NewAccount() const { return FNewAccount; }
    // The history, for the history window.
    TEHistory& History() const { return *dbconn; }
    // The facts of the loaded invoice for the history; nullptr for a file without
    // structured data.
    const TInvoiceFacts* Facts() const { return FFacts ? &*FFacts : nullptr; }
    // Takes the settings to work with; the first time a folder is named, what a filing or
    // an import killed midway left in it is cleaned up.
    void SetSettings(TESettings* settings);
    const QStringList& Files() const { return FFiles.Items(); }
    TERechnung* Rechnung() const { return Frechnung.get(); }
    TWorkflowState State() const { return FFlowState; }
    QTimer* Timer() const { return timer; }

private:
    void SetState(TWorkflowState state);
    void ApplyCheckSettings(TServiceOptions& options);
    QString WithTrailingBackslash(const QString& path) const;
    void MoveToRecycleBin(const QString& path);
    void RemoveFromFiles(const QString& path);
    bool IsKnownHash(const QString& hash);
    void WriteHistory(const QString& verarbeitung);
    void LookUpHistory();
    // Copies to the targets, trashes the original, records the decision: noted before the
    // first copy, recorded after the last step, dropped when a step fails.
    void File(const QStringList& folders, const QString& verarbeitung);
    void CopyInvoiceTo(const QString& folder);
    void CheckLoaded() const;
    void CheckNotBusy() const;
    void RaiseHotfolderUpdated();
    QStringList NewFilesInHotfolder();
    void RemoveDebris();

    QObject* Owner;
    std::unique_ptr<TERechnung> Frechnung;
    TFileList FFiles;
    // The hotfolder's listing at the last poll: the names in the order the file system gave
    // them, each followed by a NUL. A poll that meets the same listing again, while the
    // list lost nothing meanwhile, knows that nothing is new without a lookup per name.
    std::string FLastListing;
    QString FLastListingFolder;
    TESettings* Fsettings = nullptr;
    TWorkflowEvent FHotfolderUpdated;
    TWorkflowEvent FStateChanged;
    TWorkflowState FFlowState = wsNone;
    bool FBusy = false;
    std::atomic<bool> FCancel{false};
    QString FAppliedServiceUrl; // the service address the settings last put into the options
    QPointer<QTimer> timer;
    std::unique_ptr<TEHistory> dbconn;
    QSet<QString> FCleanedFolders;
    std::optional<THistoryEntry> FPreviousDecision;
    std::optional<TInvoiceFacts> FFacts;
    std::optional<TSameInvoice> FSameInvoice;
    std::optional<TNewAccount> FNewAccount;
    qint64 FPending = 0; // the decision under way in File
};

#pragma once

#include "workflow/EHistory.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class TERechnung;
class TESettings;

enum TWorkflowState { wsNone, wsLoaded, wsShouldDeny, wsShouldAccept, wsDuplicate, wsWaveThrough };

class TEWorkflow;
// A notification of the engine; an unset one is not called.
using TWorkflowEvent = std::function<void(TEWorkflow* Sender)>;

// The files found in the hotfolder, in the order they were found, with an index for
// lookups by path (case-insensitive on Windows, exact elsewhere).
class TFileList
{
public:
    qsizetype Count() const { return FItems.size(); }
    const QString& operator[](qsizetype i) const { return FItems[i]; }
    const QStringList& Items() const { return FItems; }
    qsizetype IndexOf(const QString& path) const;
    void Add(const QString& path);
    void Delete(qsizetype i);

private:
    QStringList FItems;
    mutable QHash<QString, qsizetype> FIndex;
    mutable bool FIndexValid = true;
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
    // Takes the settings to work with; the first time a folder is named, what a filing or
    // an import killed midway left in it is cleaned up.
    void SetSettings(TESettings* settings);
    const QStringList& Files() const { return FFiles.Items(); }
    TERechnung* Rechnung() const { return Frechnung.get(); }
    TWorkflowState State() const { return FFlowState; }
    QTimer* Timer() const { return timer; }

private:
    void SetState(TWorkflowState state);
    QString WithTrailingBackslash(const QString& path) const;
    void MoveToRecycleBin(const QString& path);
    void RemoveFromFiles(const QString& path);
    bool IsKnownHash(const QString& hash);
    void WriteHistory(const QString& verarbeitung);
    void CopyInvoiceTo(const QString& folder);
    void CheckLoaded() const;
    void CheckNotBusy() const;
    void RaiseHotfolderUpdated();
    QStringList NewFilesInHotfolder() const;
    void RemoveDebris();

    QObject* Owner;
    std::unique_ptr<TERechnung> Frechnung;
    TFileList FFiles;
    TESettings* Fsettings = nullptr;
    TWorkflowEvent FHotfolderUpdated;
    TWorkflowEvent FStateChanged;
    TWorkflowState FFlowState = wsNone;
    bool FBusy = false;
    std::atomic<bool> FCancel{false};
    QPointer<QTimer> timer;
    std::unique_ptr<TEHistory> dbconn;
    QSet<QString> FCleanedFolders;
    std::optional<THistoryEntry> FPreviousDecision;
};

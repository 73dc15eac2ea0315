#pragma once

#include "workflow/EHistory.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class TESettings;

// The decisions of the history as a table, loaded a page at a time as the view scrolls:
// a history of a hundred thousand rows opens as fast as one of a hundred.
class THistoryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit THistoryModel(TEHistory& history, QObject* parent = nullptr);

    void SetFilter(const THistoryFilter& filter);
    const THistoryFilter& Filter() const { return FFilter; }
    int Total() const { return FTotal; }
    const THistoryRow& Row(int row) const { return FRows[size_t(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    static constexpr int kPage = 200;

private:
    TEHistory& FHistory;
    THistoryFilter FFilter;
    std::vector<THistoryRow> FRows;
    int FTotal = 0;
};

// The window "Verlauf": every decision, newest first, with the invoice's facts; searched,
// filtered by decision and days, exported as CSV; a double click opens the filed copy.
// It only reads: the history is never edited.
class TFormVerlauf : public QDialog
{
    Q_OBJECT

public:
    TFormVerlauf(QWidget* parent, TEHistory& history, const TESettings* settings);

    // Reads the filter from the controls and shows what it finds.
    void Refresh();
    // The filed copy of the decision in that row: the archive, the further-processing or
    // the problem folder, the first that still holds it; empty when none does.
    QString FiledCopy(int row) const;
    void OpenRow(int row);
    void Export();

    // How a filed copy is opened (the desktop's program for it); tests look instead.
    std::function<void(const QString& path)> Opener;

    QLineEdit* eSuche;
    QComboBox* cbEntscheidung;
    QCheckBox* cbZeitraum;
    QDateEdit* dVon;
    QDateEdit* dBis;
    QTableView* Tabelle;
    QLabel* lAnzahl;
    QPushButton* bExport;
    QPushButton* bSchliessen;
    THistoryModel* Model;

private:
    TEHistory& FHistory;
    const TESettings* FSettings;
    QTimer* FSearchDelay;
};

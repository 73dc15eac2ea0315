#pragma once

#include "workflow/EHistory.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

// The decisions as a CSV file the way German Excel opens it: UTF-8 with a byte-order mark,
// semicolons between the fields, amounts with a decimal comma, times as DD.MM.YYYY HH:MM,
// CRLF line ends. A text that a spreadsheet would take for a formula (=, +, @ at its start)
// is preceded by an apostrophe.
QByteArray HistoryCsv(const std::vector<THistoryRow>& rows);
// The column headings, in order.
QStringList HistoryCsvColumns();

// The record list of a table window: a view over the rows the job holds
// (the job context's m_tableRows: the live rows the engine read, then the
// recovered records), never a copy of them. Live rows are presented last
// read first (row r shows m_rows[n-1-r] of the n live rows shown), then the
// recovered ones in the order recovery found them, or all in the order of
// a column sort. The table's columns are followed by the state, page,
// offset and frame of each row. Check marks live in a bit vector indexed by
// the row's place in m_tableRows, so they follow a row through any sort.
// A table column may be shown as times under one encoding (CTimeColumns);
// its display, copy and export then carry the decoded text, and a number
// that any encoding puts in the years 1990 to 2040 has its readings as a
// tooltip.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "driver/TimeColumns.h"

class CJobContext;

class CRecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class SortMode { kWalk, kAscending, kDescending };

    explicit CRecordListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Empties the list and sets its columns: the table's own (`captions`),
    // then the four of m_tableRows; the rows come from `job`.
    void Setup(std::shared_ptr<CJobContext> job, const QStringList& captions);
    // Shows the first `count` rows of m_tableRows (count only grows): new
    // live rows go to the top, recovered ones after the live rows.
    void ShowRows(std::size_t count);
    int GetItemCount() const { return rowCount(); }
    // Shows or hides the recovered rows (the list returns to walk order).
    void SetShowRecovered(bool show);
    bool ShowsRecovered() const { return m_bShowRecovered; }
    // Columns of the table itself, before the four extra ones.
    int TableColumnCount() const { return m_nTableColumns; }

    // Index in m_tableRows of presented row `row`.
    std::size_t RowIndex(int row) const;
    bool IsRecoveredRow(int row) const;
    // True when `column` of presented row `row` is a value recovery lost.
    bool IsLost(int row, int column) const;
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);
    // The text of `column` of presented row `row` (empty past the row's values).
    QString Text(int row, int column) const;
    // Shows table column `column` as times under `encoding` (none: as stored).
    void SetTimeEncoding(int column, std::optional<TimeEncoding> encoding);
    std::optional<TimeEncoding> TimeEncodingOf(int column) const;
    // Presented rows as tab-separated lines, in the order given.
    QString RowsAsText(const std::vector<int>& rows) const;

    // Sorting by a column: numbers as numbers, text by code point, stable.
    // Computes the order of the first `liveShown` live and `recoveredShown`
    // recovered rows for `mode` (walk order needs no work). Safe on any
    // thread while the rows are not changed.
    static std::vector<std::uint32_t> SortedOrder(const CJobContext& job, std::size_t liveShown,
                                                  std::size_t recoveredShown, int column,
                                                  SortMode mode);
    std::size_t LiveShown() const { return m_nLiveShown; }
    std::size_t RecoveredShown() const { return m_bShowRecovered ? m_nRecoveredShown : 0; }
    // Presents the rows in `order` (empty: walk order). Ignored when the
    // list has changed since the order was computed (`shown` rows then).
    void ApplyOrder(std::vector<std::uint32_t> order, std::size_t shown);
    std::shared_ptr<CJobContext> Job() const { return m_job; }

private:
    std::shared_ptr<CJobContext> m_job;
    QStringList m_captions;
    int m_nTableColumns = 0;
    std::size_t m_nLiveShown = 0;
    std::size_t m_nRecoveredShown = 0;
    bool m_bShowRecovered = true;
    std::vector<std::uint32_t> m_order;  // empty: walk order, last read first
    std::vector<bool> m_checked;         // by index in m_tableRows
    CTimeColumns m_times;
};

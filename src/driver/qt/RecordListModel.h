// The record list of a table window: a view over the rows the engine read
// (the job context's m_rows), never a copy of them. Rows are presented last
// read first (row r shows m_rows[n-1-r] of the n rows shown), or in the
// order of a column sort. Check marks live in a bit vector indexed by the
// row's place in m_rows, so they follow a row through any sort.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class CJobContext;
class RowValues;

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

    // Empties the list and sets its columns; the rows come from `job`.
    void Setup(std::shared_ptr<CJobContext> job, const QStringList& captions);
    // Shows the first `count` rows read (count only grows): the new ones go
    // to the top.
    void ShowRows(std::size_t count);
    int GetItemCount() const { return static_cast<int>(m_nShown); }

    // Index in m_rows of presented row `row`.
    std::size_t RowIndex(int row) const;
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);
    // The text of `column` of presented row `row` (empty past the row's values).
    QString Text(int row, int column) const;
    // Presented rows as tab-separated lines, in the order given.
    QString RowsAsText(const std::vector<int>& rows) const;

    // Sorting by a column: numbers as numbers, text by code point, stable.
    // Computes the order of the shown rows for `mode` (walk order needs no
    // work). Safe on any thread while the rows are not changed.
    static std::vector<std::uint32_t> SortedOrder(const CJobContext& job, std::size_t shown,
                                                  int column, SortMode mode);
    // Presents the rows in `order` (empty: walk order). Ignored when the
    // list has changed since the order was computed.
    void ApplyOrder(std::vector<std::uint32_t> order, std::size_t shown);
    std::shared_ptr<CJobContext> Job() const { return m_job; }

private:
    const RowValues* Row(int row) const;

    std::shared_ptr<CJobContext> m_job;
    QStringList m_captions;
    std::size_t m_nShown = 0;
    std::vector<std::uint32_t> m_order;  // empty: walk order, last read first
    std::vector<bool> m_checked;         // by index in m_rows
};

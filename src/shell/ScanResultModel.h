// The rows of the scan dialog's result list: one compact record per hit,
// texts made only when a cell is shown, and a check mark per row.
//
// Hits arrive one message each while a scan runs; they are kept aside and
// added to the view in batches (Flush), so a scan with a million hits costs
// a vector of small records and a few hundred view updates, not a million.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

struct ScanResult;

class CScanResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Hit {
        std::int64_t offset = 0;
        std::int64_t size = 0;       // databases only
        std::uint32_t pageSize = 0;  // databases only
        std::uint8_t type = 0;       // index into TypeTexts()
        bool checked = false;
    };

    explicit CScanResultModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Empties the list; `databases` adds the page size and length columns.
    void Reset(bool databases);
    // Keeps a hit for the next Flush.
    void Append(const ScanResult& result);
    // Adds the kept hits to the view with one insertion.
    void Flush();

    std::int64_t HitCount() const { return static_cast<std::int64_t>(m_hits.size() + m_pending.size()); }
    const Hit& HitAt(int row) const { return m_hits[static_cast<std::size_t>(row)]; }
    QString TypeText(int row) const;
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);

    QStringList Headings() const;

private:
    std::vector<Hit> m_hits;     // shown
    std::vector<Hit> m_pending;  // kept for the next Flush
    bool m_bDatabases = false;
};

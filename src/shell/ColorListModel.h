// Rows of texts with a text and background colour per cell: the data behind
// TFColorListCtrl. Colours are COLORREF values (0x00BBGGRR).
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <vector>

#include "ResourceIds.h"

class CColorListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr COLORREF kDefaultText = 0x000000;
    static constexpr COLORREF kDefaultBackground = 0xFFFFFF;

    explicit CColorListModel(QObject* parent = nullptr);

    // Model interface.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void InsertColumn(const QString& heading);
    // Inserts a row at `row` (clamped to the list) with `text` in column 0
    // and no colours; returns the index the row went to.
    int InsertRow(int row, const QString& text);
    bool SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    // Ignored for a row or column outside the list. Columns before `column`
    // that had no colour yet get 0 (black).
    void SetItemTextColor(int row, int column, COLORREF color);
    void SetItemBkColor(int row, int column, COLORREF color);
    COLORREF GetItemTextColor(int row, int column) const;
    COLORREF GetItemBkColor(int row, int column) const;
    void DeleteAllRows();
    int GetItemCount() const { return static_cast<int>(m_rows.size()); }

    static QColor ToQColor(COLORREF color);

private:
    // Colours of one row; a column past the end of an array has the default.
    struct RowColors {
        std::vector<COLORREF> background;
        std::vector<COLORREF> text;
    };
    struct Row {
        QStringList texts;
        RowColors colors;
    };
    bool IsCell(int row, int column) const;
    static void StoreColor(std::vector<COLORREF>& cells, int column, COLORREF color);
    static COLORREF ColorAt(const std::vector<COLORREF>& cells, int column, COLORREF fallback);

    QStringList m_headings;
    std::vector<Row> m_rows;
};

// A report-style list with a text and background colour per cell: a table
// view over its own CColorListModel, with the list-control operations the
// log pane and later the record views use.
#pragma once

#include <QTableView>

#include "ColorListModel.h"

class TFColorListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit TFColorListCtrl(QWidget* parent = nullptr);

    CColorListModel* Model() { return &m_model; }
    const CColorListModel* Model() const { return &m_model; }

    void InsertColumn(const QString& heading) { m_model.InsertColumn(heading); }
    int InsertRow(int row, const QString& text) { return m_model.InsertRow(row, text); }
    bool SetItemText(int row, int column, const QString& text)
    {
        return m_model.SetItemText(row, column, text);
    }
    QString GetItemText(int row, int column) const { return m_model.GetItemText(row, column); }
    void SetItemTextColor(int row, int column, COLORREF color)
    {
        m_model.SetItemTextColor(row, column, color);
    }
    COLORREF GetItemTextColor(int row, int column) const
    {
        return m_model.GetItemTextColor(row, column);
    }
    void DeleteAllRows() { m_model.DeleteAllRows(); }
    int GetItemCount() const { return m_model.GetItemCount(); }
    // Scrolls until the whole row is visible.
    void EnsureVisible(int row);
    // True when some row is selected.
    bool HasSelection() const;

private:
    CColorListModel m_model;
};

// The items of a CSalvixCtrlCtrl: a tree of nodes, each with one text per
// column and an optional text colour, shown through Qt's model interface.
#pragma once

#include <QAbstractItemModel>
#include <QColor>
#include <QStringList>
#include <memory>
#include <unordered_set>
#include <vector>

struct CSalvixTreeNode {
    CSalvixTreeNode* parent = nullptr;
    std::vector<std::unique_ptr<CSalvixTreeNode>> children;
    QStringList texts;  // one per column; missing ones are empty
    QColor color;       // invalid: the view's default
};

class CSalvixTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit CSalvixTreeModel(QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void AppendColumn(const QString& caption);
    int ColumnCount() const { return static_cast<int>(m_captions.size()); }

    // Appends a child to `parent` (the invisible root when null).
    CSalvixTreeNode* AppendNode(CSalvixTreeNode* parent, const QString& text);
    bool IsNode(const CSalvixTreeNode* node) const;
    void SetText(CSalvixTreeNode* node, int column, const QString& text);
    void SetColor(CSalvixTreeNode* node, const QColor& color);
    void RemoveNode(CSalvixTreeNode* node);
    void Clear();

    CSalvixTreeNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const CSalvixTreeNode* node, int column = 0) const;
    CSalvixTreeNode* Root() { return &m_root; }

private:
    static int RowOf(const CSalvixTreeNode* node);
    void Forget(const CSalvixTreeNode* node);

    CSalvixTreeNode m_root;
    std::unordered_set<const CSalvixTreeNode*> m_live;  // every node but the root
    QStringList m_captions;
};

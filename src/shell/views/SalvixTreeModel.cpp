#include "SalvixTreeModel.h"

CSalvixTreeModel::CSalvixTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

int CSalvixTreeModel::RowOf(const CSalvixTreeNode* node)
{
    const auto& siblings = node->parent->children;
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == node)
            return static_cast<int>(i);
    }
    return -1;
}

CSalvixTreeNode* CSalvixTreeModel::NodeOf(const QModelIndex& index) const
{
    if (!index.isValid())
        return nullptr;
    return static_cast<CSalvixTreeNode*>(index.internalPointer());
}

QModelIndex CSalvixTreeModel::IndexOf(const CSalvixTreeNode* node, int column) const
{
    if (node == nullptr || node == &m_root)
        return QModelIndex();
    return createIndex(RowOf(node), column, const_cast<CSalvixTreeNode*>(node));
}

QModelIndex CSalvixTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const CSalvixTreeNode* owner = parent.isValid() ? NodeOf(parent) : &m_root;
    if (row < 0 || column < 0 || column >= ColumnCount() ||
        row >= static_cast<int>(owner->children.size()))
        return QModelIndex();
    return createIndex(row, column, owner->children[static_cast<std::size_t>(row)].get());
}

QModelIndex CSalvixTreeModel::parent(const QModelIndex& child) const
{
    const CSalvixTreeNode* node = NodeOf(child);
    if (node == nullptr || node->parent == &m_root)
        return QModelIndex();
    return IndexOf(node->parent);
}

int CSalvixTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const CSalvixTreeNode* owner = parent.isValid() ? NodeOf(parent) : &m_root;
    return static_cast<int>(owner->children.size());
}

int CSalvixTreeModel::columnCount(const QModelIndex&) const
{
    return ColumnCount();
}

QVariant CSalvixTreeModel::data(const QModelIndex& index, int role) const
{
    const CSalvixTreeNode* node = NodeOf(index);
    if (node == nullptr)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return index.column() < node->texts.size() ? node->texts[index.column()] : QString();
    if (role == Qt::ForegroundRole && node->color.isValid())
        return node->color;
    return {};
}

QVariant CSalvixTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount())
        return m_captions[section];
    return {};
}

void CSalvixTreeModel::AppendColumn(const QString& caption)
{
    const int column = ColumnCount();
    beginInsertColumns(QModelIndex(), column, column);
    m_captions.append(caption);
    endInsertColumns();
}

CSalvixTreeNode* CSalvixTreeModel::AppendNode(CSalvixTreeNode* parent, const QString& text)
{
    CSalvixTreeNode* owner = parent != nullptr ? parent : &m_root;
    const int row = static_cast<int>(owner->children.size());
    beginInsertRows(IndexOf(owner), row, row);
    auto node = std::make_unique<CSalvixTreeNode>();
    node->parent = owner;
    node->texts.append(text);
    m_live.insert(node.get());
    owner->children.push_back(std::move(node));
    endInsertRows();
    return owner->children.back().get();
}

void CSalvixTreeModel::Forget(const CSalvixTreeNode* node)
{
    m_live.erase(node);
    for (const auto& child : node->children)
        Forget(child.get());
}

bool CSalvixTreeModel::IsNode(const CSalvixTreeNode* node) const
{
    // Handles come from callers: only a live node of this tree is followed.
    return m_live.count(node) != 0;
}

void CSalvixTreeModel::SetText(CSalvixTreeNode* node, int column, const QString& text)
{
    if (column < 0)
        return;
    while (node->texts.size() <= column)
        node->texts.append(QString());
    node->texts[column] = text;
    if (column < ColumnCount()) {
        const QModelIndex changed = IndexOf(node, column);
        emit dataChanged(changed, changed);
    }
}

void CSalvixTreeModel::SetColor(CSalvixTreeNode* node, const QColor& color)
{
    node->color = color;
    if (ColumnCount() > 0)
        emit dataChanged(IndexOf(node, 0), IndexOf(node, ColumnCount() - 1));
}

void CSalvixTreeModel::RemoveNode(CSalvixTreeNode* node)
{
    CSalvixTreeNode* owner = node->parent;
    const int row = RowOf(node);
    beginRemoveRows(IndexOf(owner), row, row);
    Forget(node);
    owner->children.erase(owner->children.begin() + row);
    endRemoveRows();
}

void CSalvixTreeModel::Clear()
{
    beginResetModel();
    m_root.children.clear();
    m_live.clear();
    endResetModel();
}

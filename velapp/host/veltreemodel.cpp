#include "velwidget/veltreemodel.h"

#include "veldefine/velconstants.h"

#include <vector>

namespace {

// Role keys are looked up for every painted cell; keep the common ones made.
const QString &roleKey(int role)
{
    static const struct Keys
    {
        QString low[32];
        QString user[32];
        Keys()
        {
            for (int i = 0; i < 32; ++i) {
                low[i] = QString::number(i);
                user[i] = QString::number(Qt::UserRole + i);
            }
        }
    } keys;
    if (role >= 0 && role < 32)
        return keys.low[role];
    if (role >= Qt::UserRole && role < Qt::UserRole + 32)
        return keys.user[role - Qt::UserRole];
    thread_local QString other;
    other = QString::number(role);
    return other;
}

// Equal means same keys with values of the same type and value: a "1" that
// becomes 1 is a change worth showing.
bool sameRecord(const QVariantMap &a, const QVariantMap &b)
{
    if (a.size() != b.size())
        return false;
    for (auto ia = a.cbegin(), ib = b.cbegin(); ia != a.cend(); ++ia, ++ib) {
        if (ia.key() != ib.key() || ia.value().userType() != ib.value().userType() ||
            ia.value() != ib.value())
            return false;
    }
    return true;
}

} // namespace

struct VelTreeModel::Node
{
    Row cells;
    QString identity; // empty: the row cannot be found or updated
    // Null while the row waits for the row its link names: it is held (and
    // updated) but not shown.
    Node *parent = nullptr;
    int row = 0; // position among the parent's children
    QVector<Node *> children;
};

struct VelTreeModel::Private
{
    QList<int> keyColumns;
    int linkColumn = -1;
    QList<QVariantMap> heads;
    int minimumColumnCount = 0;
    QHash<int, int> alignments;

    Node root;
    std::vector<std::unique_ptr<Node>> nodes; // owner, in the order rows arrived
    QHash<QString, Node *> byIdentity;
    // Rows whose link names no row yet, by that link, in arrival order.
    QHash<QString, QVector<Node *>> waiting;

    int columnCount() const { return qMax(heads.size(), minimumColumnCount); }

    QString cellText(const Row &row, int column) const
    {
        const auto cell = row.constFind(column);
        if (cell == row.cend())
            return QString();
        return cell->value(VelConst::RoleUser).toString();
    }

    QString identityOf(const Row &row) const
    {
        QString identity;
        for (int column : keyColumns)
            identity += cellText(row, column);
        return identity;
    }

    QString linkOf(const Row &row) const
    {
        return linkColumn < 0 ? QString() : cellText(row, linkColumn);
    }

    void wipe()
    {
        root.children.clear();
        byIdentity.clear();
        waiting.clear();
        nodes.clear();
    }

    static void attach(Node *parent, Node *node)
    {
        node->parent = parent;
        node->row = parent->children.size();
        parent->children.append(node);
    }

    // True when node is candidate or one of its ancestors: linking node
    // under candidate would then close a cycle.
    bool wouldCycle(const Node *candidate, const Node *node) const
    {
        for (const Node *n = candidate; n && n != &root; n = n->parent) {
            if (n == node)
                return true;
        }
        return false;
    }

    // A row is shown when its chain of parents reaches the root.
    bool isShown(const Node *node) const
    {
        while (node && node != &root)
            node = node->parent;
        return node == &root;
    }

    // Where node belongs: the root, the row its link names, or nowhere yet
    // (null) when no row has that identity; a link that would close a cycle
    // puts the row at the top.
    Node *parentFor(const Node *node) const
    {
        const QString link = linkOf(node->cells);
        if (link.isEmpty())
            return const_cast<Node *>(&root);
        Node *parent = byIdentity.value(link);
        if (!parent)
            return nullptr;
        if (wouldCycle(parent, node))
            return const_cast<Node *>(&root);
        return parent;
    }

    void place(Node *node)
    {
        if (Node *parent = parentFor(node))
            attach(parent, node);
        else
            waiting[linkOf(node->cells)].append(node);
    }

    Node *createNode(const Row &row, const QString &identity)
    {
        nodes.push_back(std::make_unique<Node>());
        Node *node = nodes.back().get();
        node->cells = row;
        node->identity = identity;
        if (!identity.isEmpty())
            byIdentity.insert(identity, node);
        return node;
    }

    // Rows first, links second: a child may come before its parent.
    void build(const QList<Row> &rows)
    {
        nodes.reserve(rows.size());
        byIdentity.reserve(rows.size());
        for (const Row &row : rows) {
            const QString identity = identityOf(row);
            if (Node *existing = identity.isEmpty() ? nullptr : byIdentity.value(identity)) {
                for (auto it = row.cbegin(); it != row.cend(); ++it)
                    existing->cells.insert(it.key(), it.value());
                continue;
            }
            createNode(row, identity);
        }
        for (const auto &node : nodes)
            place(node.get());
    }

    QList<Row> rowsInArrivalOrder() const
    {
        QList<Row> rows;
        rows.reserve(int(nodes.size()));
        for (const auto &node : nodes)
            rows.append(node->cells);
        return rows;
    }

    QVariant cellValue(const Node *node, int column, int role) const
    {
        const auto cell = node->cells.constFind(column);
        if (cell != node->cells.cend()) {
            const auto value = cell->constFind(roleKey(role));
            if (value != cell->cend())
                return *value;
        }
        if (role == Qt::TextAlignmentRole) {
            const auto alignment = alignments.constFind(column);
            if (alignment != alignments.cend())
                return *alignment;
        }
        return QVariant();
    }
};

VelTreeModel::VelTreeModel(QObject *parent)
    : QAbstractItemModel(parent)
    , d(std::make_unique<Private>())
{}

VelTreeModel::~VelTreeModel() = default;

void VelTreeModel::setKeyColumns(const QList<int> &columns)
{
    if (columns == d->keyColumns)
        return;
    beginResetModel();
    const QList<Row> rows = d->rowsInArrivalOrder();
    d->keyColumns = columns;
    d->wipe();
    d->build(rows);
    endResetModel();
}

QList<int> VelTreeModel::keyColumns() const
{
    return d->keyColumns;
}

void VelTreeModel::setLinkColumn(int column)
{
    column = qMax(-1, column);
    if (column == d->linkColumn)
        return;
    beginResetModel();
    const QList<Row> rows = d->rowsInArrivalOrder();
    d->linkColumn = column;
    d->wipe();
    d->build(rows);
    endResetModel();
}

int VelTreeModel::linkColumn() const
{
    return d->linkColumn;
}

// A change of the column count is announced as a reset: inserting columns
// would have to be announced under every parent of the tree.
void VelTreeModel::setHeadList(const QList<QVariantMap> &heads)
{
    const int count = qMax(heads.size(), d->minimumColumnCount);
    if (count != d->columnCount()) {
        beginResetModel();
        d->heads = heads;
        endResetModel();
        return;
    }
    d->heads = heads;
    if (count > 0)
        emit headerDataChanged(Qt::Horizontal, 0, count - 1);
}

QList<QVariantMap> VelTreeModel::headList() const
{
    return d->heads;
}

void VelTreeModel::setMinimumColumnCount(int count)
{
    count = qMax(0, count);
    if (count == d->minimumColumnCount)
        return;
    if (qMax(d->heads.size(), count) != d->columnCount()) {
        beginResetModel();
        d->minimumColumnCount = count;
        endResetModel();
        return;
    }
    d->minimumColumnCount = count;
}

void VelTreeModel::setColumnTextAlignment(int column, int alignment)
{
    if (column < 0)
        return;
    const auto it = d->alignments.constFind(column);
    if (it != d->alignments.cend() && *it == alignment)
        return;
    d->alignments.insert(column, alignment);
    if (column >= d->columnCount())
        return;
    const QVector<int> roles{Qt::TextAlignmentRole};
    auto announce = [&](const QModelIndex &parentIndex, const Node *parent) {
        if (!parent->children.isEmpty() && d->isShown(parent))
            emit dataChanged(index(0, column, parentIndex),
                             index(parent->children.size() - 1, column, parentIndex), roles);
    };
    announce(QModelIndex(), &d->root);
    for (const auto &node : d->nodes)
        announce(createIndex(node->row, 0, node.get()), node.get());
}

QString VelTreeModel::identityOf(const Row &row) const
{
    return d->identityOf(row);
}

void VelTreeModel::setRows(const QList<Row> &rows)
{
    beginResetModel();
    d->wipe();
    d->build(rows);
    endResetModel();
}

void VelTreeModel::addRow(const Row &row)
{
    const QString identity = d->identityOf(row);
    if (!identity.isEmpty() && d->byIdentity.contains(identity)) {
        updateRow(row);
        return;
    }
    Node *node = d->createNode(row, identity);
    // Rows that waited for this identity come with it, in their order of
    // arrival; one whose subtree holds the new row goes to the top instead
    // of closing a cycle.
    const QVector<Node *> adopted =
        identity.isEmpty() ? QVector<Node *>() : d->waiting.take(identity);
    const auto insert = [this](Node *parent, Node *child) {
        if (!d->isShown(parent)) {
            Private::attach(parent, child);
            return;
        }
        const QModelIndex parentIndex =
            parent == &d->root ? QModelIndex() : createIndex(parent->row, 0, parent);
        const int position = parent->children.size();
        beginInsertRows(parentIndex, position, position);
        Private::attach(parent, child);
        endInsertRows();
    };
    // A new row has no children yet, so its own link cannot close a cycle.
    if (Node *parent = d->parentFor(node))
        insert(parent, node);
    else
        d->waiting[d->linkOf(row)].append(node);
    for (Node *child : adopted)
        insert(d->wouldCycle(node, child) ? &d->root : node, child);
}

bool VelTreeModel::updateRow(const Row &row)
{
    const QString identity = d->identityOf(row);
    Node *node = identity.isEmpty() ? nullptr : d->byIdentity.value(identity);
    if (!node)
        return false;
    // A row not shown takes the update silently.
    const int shownColumns = d->isShown(node) ? d->columnCount() : 0;
    // One signal per run of adjacent changed cells (the row's cells come in
    // column order): few signals, and the view repaints only what changed.
    int first = -1;
    int last = -1;
    const auto announce = [&] {
        if (first >= 0)
            emit dataChanged(createIndex(node->row, first, node),
                             createIndex(node->row, last, node));
    };
    for (auto it = row.cbegin(); it != row.cend(); ++it) {
        const auto old = node->cells.constFind(it.key());
        if (old != node->cells.cend() && sameRecord(*old, it.value()))
            continue;
        node->cells.insert(it.key(), it.value());
        if (it.key() < 0 || it.key() >= shownColumns)
            continue;
        if (first >= 0 && it.key() == last + 1) {
            last = it.key();
            continue;
        }
        announce();
        first = last = it.key();
    }
    announce();
    return true;
}

void VelTreeModel::clear()
{
    beginResetModel();
    d->wipe();
    endResetModel();
}

Row VelTreeModel::rowData(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return Row();
    return static_cast<const Node *>(index.internalPointer())->cells;
}

QModelIndex VelTreeModel::indexOfIdentity(const QString &identity, int column) const
{
    Node *node = identity.isEmpty() ? nullptr : d->byIdentity.value(identity);
    if (!node || column < 0 || column >= d->columnCount() || !d->isShown(node))
        return QModelIndex();
    return createIndex(node->row, column, node);
}

int VelTreeModel::totalRowCount() const
{
    return int(d->nodes.size());
}

QVariant VelTreeModel::getIndexData(const QModelIndex &index, int column, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    return d->cellValue(static_cast<const Node *>(index.internalPointer()), column, role);
}

QModelIndex VelTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    const Node *parentNode =
        parent.isValid() ? static_cast<const Node *>(parent.internalPointer()) : &d->root;
    return createIndex(row, column, parentNode->children.at(row));
}

QModelIndex VelTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return QModelIndex();
    const Node *parentNode = static_cast<const Node *>(child.internalPointer())->parent;
    if (!parentNode || parentNode == &d->root)
        return QModelIndex();
    return createIndex(parentNode->row, 0, const_cast<Node *>(parentNode));
}

int VelTreeModel::rowCount(const QModelIndex &parent) const
{
    // Only the first column carries children, as in Qt's tree examples.
    if (parent.column() > 0)
        return 0;
    const Node *parentNode =
        parent.isValid() ? static_cast<const Node *>(parent.internalPointer()) : &d->root;
    return parentNode->children.size();
}

int VelTreeModel::columnCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent)
    return d->columnCount();
}

QVariant VelTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    return d->cellValue(static_cast<const Node *>(index.internalPointer()), index.column(), role);
}

QVariant VelTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= d->heads.size())
        return QVariant();
    if (role == Qt::DisplayRole)
        return d->heads.at(section).value(VelConst::Head_DisplayRole);
    if (role == Qt::UserRole)
        return d->heads.at(section).value(VelConst::Head_UserRole);
    return QVariant();
}

Qt::ItemFlags VelTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

int VelModelIndex::column(const QModelIndex &index)
{
    return index.column();
}

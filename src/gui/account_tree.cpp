#include "gui/account_tree.h"

#include <QDragMoveEvent>
#include <QDropEvent>

#include "accounts/account_names.h"
#include "gui/qt_text.h"

namespace corvane {
namespace {

QTreeWidgetItem* MakeNode(const QString& name, bool isGroup)
{
    auto* item = new QTreeWidgetItem(QStringList{name});
    item->setData(0, AccountTree::kNameRole, name);
    item->setData(0, AccountTree::kGroupRole, isGroup);
    item->setFlags(isGroup ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled)
                           : (Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled));
    return item;
}

}  // namespace

bool AccountTree::SameName(const QString& a, const QString& b) { return SameAccountName(ToStd(a), ToStd(b)); }

AccountTree::AccountTree(QWidget* parent)
    : QTreeWidget(parent)
{
    setObjectName("TreeViewUsersGroups");
    setHeaderHidden(true);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

QTreeWidgetItem* AccountTree::FindGroup(const QString& name) const
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (SameName(NameOf(topLevelItem(i)), name)) return topLevelItem(i);
    return nullptr;
}

QTreeWidgetItem* AccountTree::FindUser(const QString& name) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* group = topLevelItem(i);
        for (int j = 0; j < group->childCount(); ++j)
            if (SameName(NameOf(group->child(j)), name)) return group->child(j);
    }
    return nullptr;
}

QTreeWidgetItem* AccountTree::AddGroup(const QString& name)
{
    if (QTreeWidgetItem* existing = FindGroup(name)) return existing;
    QTreeWidgetItem* item = MakeNode(name, true);
    addTopLevelItem(item);
    return item;
}

QTreeWidgetItem* AccountTree::AddUser(const QString& name, const QString& group, bool first)
{
    QTreeWidgetItem* parent = AddGroup(group);
    QTreeWidgetItem* item = MakeNode(name, false);
    if (first) parent->insertChild(0, item);
    else parent->addChild(item);
    parent->setExpanded(true);
    return item;
}

void AccountTree::RemoveAccount(const QString& name, bool isGroup)
{
    QTreeWidgetItem* item = isGroup ? FindGroup(name) : FindUser(name);
    if (!item) return;
    if (isGroup) {
        // Users still under it are moved by the page first; any left go with the node.
        delete takeTopLevelItem(indexOfTopLevelItem(item));
    } else {
        delete item->parent()->takeChild(item->parent()->indexOfChild(item));
    }
}

bool AccountTree::AcceptsDrop(const QPoint& position) const
{
    const QTreeWidgetItem* dragged = currentItem();
    const QTreeWidgetItem* target = itemAt(position);
    return dragged && target && !IsGroup(dragged) && IsGroup(target);
}

void AccountTree::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->source() == this && AcceptsDrop(event->position().toPoint())) event->acceptProposedAction();
    else event->ignore();
}

void AccountTree::dropEvent(QDropEvent* event)
{
    // The tree never moves the node itself: the store's change moves it.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (event->source() != this || !AcceptsDrop(event->position().toPoint())) return;
    const QString user = NameOf(currentItem());
    const QString group = NameOf(itemAt(event->position().toPoint()));
    if (onUserDropped) onUserDropped(user, group);
}

}  // namespace corvane

// The users/groups tree: groups at the top level, each user under its group. A drop is
// accepted only when a user node is dragged onto a group node; the move itself is left to the
// page (it goes through the account store, which then moves the node).
#pragma once

#include <QTreeWidget>
#include <functional>

namespace corvane {

class AccountTree : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kNameRole = Qt::UserRole;
    static constexpr int kGroupRole = Qt::UserRole + 1;

    explicit AccountTree(QWidget* parent = nullptr);

    static QString NameOf(const QTreeWidgetItem* item) { return item->data(0, kNameRole).toString(); }
    static bool IsGroup(const QTreeWidgetItem* item) { return item->data(0, kGroupRole).toBool(); }
    // Whether two names reach one account: the store's folding (ASCII letters only), so that
    // "Jörg" and "JÖRG", two accounts there, are two nodes here.
    static bool SameName(const QString& a, const QString& b);

    QTreeWidgetItem* FindGroup(const QString& name) const;
    QTreeWidgetItem* FindUser(const QString& name) const;
    QTreeWidgetItem* AddGroup(const QString& name);
    // Under its group; a group that is not in the tree yet is added first. `first` puts the
    // node at the top of the group's users.
    QTreeWidgetItem* AddUser(const QString& name, const QString& group, bool first = false);
    void RemoveAccount(const QString& name, bool isGroup);

    // Called with the user's and the group's name when a user is dropped on a group.
    std::function<void(const QString& user, const QString& group)> onUserDropped;

protected:
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool AcceptsDrop(const QPoint& position) const;
};

}  // namespace corvane

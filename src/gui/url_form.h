// TURLForm: the web-link editor, a scheme list and an address field.
#pragma once

#include <QDialog>
#include <optional>

class QComboBox;
class QLineEdit;

namespace corvane {

class TURLForm : public QDialog {
    Q_OBJECT
public:
    // `thisServer` is what "WebLink to the Server in This Computer" fills in (bind address,
    // ":" and the web server's port).
    TURLForm(const QString& link, const QString& thisServer, QWidget* parent = nullptr);

    // The link to store: the scheme and the address after "OK", an empty link after "Remove
    // Link", and none (leave the link as it is) after "Cancel" or any other way of closing.
    std::optional<QString> Result() const { return result_; }

    // Opens the editor and waits; what Result() then says.
    static std::optional<QString> Edit(const QString& link, const QString& thisServer, QWidget* parent);

    QComboBox* SchemeList() const { return scheme_; }
    QLineEdit* AddressEdit() const { return address_; }

private:
    void Split(const QString& link);

    QComboBox* scheme_;
    QLineEdit* address_;
    QString thisServer_;
    std::optional<QString> result_;
};

}  // namespace corvane

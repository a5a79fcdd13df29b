// TRegisterForm: the sign-up dialog of a P2P network, drawn over the core's SignUpForm (which
// holds the fields' rules and the captions). Also the key filter that the name, password and
// e-mail fields share. Window thread only.
#pragma once

#include <QDialog>
#include <QObject>

#include "core/sign_up_form.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace corvane {

// Drops the refused keys of a line edit (a blank, '"', '#', '&', '*', ';') with the warning
// box; install it on each field it guards.
class FilterNameKey : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class TRegisterForm : public QDialog {
    Q_OBJECT
public:
    TRegisterForm(SignUpForm& form, QWidget* parent = nullptr);

    // Opens the dialog for the form and waits until it is closed, confirmed or not.
    static void Run(SignUpForm& form, QWidget* parent);

    QLineEdit* UserNameEdit() const { return userName_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QLineEdit* RetypeEdit() const { return retype_; }
    QCheckBox* ExistingUserBox() const { return existingUser_; }
    QPushButton* ConfirmButton() const { return confirm_; }

private:
    void Confirm();

    SignUpForm& form_;
    QLineEdit* userName_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* retype_ = nullptr;
    QCheckBox* existingUser_ = nullptr;
    QPushButton* confirm_ = nullptr;
};

}  // namespace corvane

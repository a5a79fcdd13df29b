#include "gui/register_form.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/qt_text.h"
#include "gui/window_helpers.h"

namespace corvane {

bool FilterNameKey::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const QString text = static_cast<QKeyEvent*>(event)->text();
    for (QChar c : text) {
        if (c.unicode() < 0x80 && !NameKeyAllowed(static_cast<char>(c.unicode()))) {
            ShowError(kNameKeyRefusedText, qobject_cast<QWidget*>(watched));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

TRegisterForm::TRegisterForm(SignUpForm& form, QWidget* parent)
    : QDialog(parent),
      form_(form)
{
    AssertWindowThread();
    setObjectName("RegisterForm");
    setWindowTitle(QtText(form.Caption()));
    auto* filter = new FilterNameKey(this);
    auto makeEdit = [&](const std::string& text, bool masked) {
        auto* edit = new QLineEdit(QtText(text));
        if (masked) edit->setEchoMode(QLineEdit::Password);
        edit->installEventFilter(filter);
        connect(edit, &QLineEdit::returnPressed, this, &TRegisterForm::Confirm);
        return edit;
    };
    const SignUpFields& fields = form.Fields();
    userName_ = makeEdit(fields.userName, false);
    password_ = makeEdit(fields.password, true);
    retype_ = makeEdit(fields.retypedPassword, true);
    existingUser_ = new QCheckBox("I am an existing user");
    existingUser_->setChecked(fields.existingUser);

    auto* grid = new QFormLayout;
    grid->addRow("Username:", userName_);
    grid->addRow("Password:", password_);
    grid->addRow("Retype password:", retype_);

    confirm_ = new QPushButton(QtText(form.ConfirmButton()));
    confirm_->setAutoDefault(false);
    auto* cancel = new QPushButton("Cancel");
    cancel->setAutoDefault(false);
    auto* help = new QPushButton("?");
    help->setAutoDefault(false);
    connect(confirm_, &QPushButton::clicked, this, &TRegisterForm::Confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] { ShowHelp(kExistingUserHelpText, this); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(help);
    buttons->addStretch();
    buttons->addWidget(confirm_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(existingUser_);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

void TRegisterForm::Confirm()
{
    AssertWindowThread();
    SignUpFields& fields = form_.Fields();
    fields.userName = ToStd(userName_->text());
    fields.password = ToStd(password_->text());
    fields.retypedPassword = ToStd(retype_->text());
    fields.existingUser = existingUser_->isChecked();
    if (std::optional<std::string> refusal = form_.Confirm()) {
        // The password rules empty both password fields; show the form as it now reads.
        password_->setText(QtText(fields.password));
        retype_->setText(QtText(fields.retypedPassword));
        ShowError(QtText(*refusal), this);
        return;
    }
    accept();
}

void TRegisterForm::Run(SignUpForm& form, QWidget* parent)
{
    AssertWindowThread();
    TRegisterForm dialog(form, parent);
    dialog.exec();
}

}  // namespace corvane

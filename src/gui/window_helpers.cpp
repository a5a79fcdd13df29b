#include "gui/window_helpers.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <cassert>

#include "common/constants.h"
#include "platform/stop_signals.h"

namespace corvane {
namespace {

QString Caption(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

void ShowBox(QMessageBox::Icon icon, std::string_view caption, const QString& text, QWidget* owner)
{
    AssertWindowThread();
    QMessageBox box(icon, Caption(caption), text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace

void AssertWindowThread()
{
    assert(QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread() &&
           "called from a thread other than the window thread");
}

void ShowError(const QString& text, QWidget* owner) { ShowBox(QMessageBox::Warning, kErrorCaption, text, owner); }

void ShowHelp(const QString& text, QWidget* owner) { ShowBox(QMessageBox::Information, kHelpCaption, text, owner); }

QMessageBox::StandardButton AskYesNo(QWidget* owner, const QString& text, const QString& caption)
{
    AssertWindowThread();
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    const int chosen = box.exec();
    return chosen == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No;
}

QString AskName(const QString& prompt, bool masked, QWidget* owner)
{
    AssertWindowThread();
    QDialog dialog(owner);
    dialog.setObjectName("AskNameDialog");
    dialog.setWindowTitle(prompt);
    auto* field = new QLineEdit(&dialog);
    field->setObjectName("NameEdit");
    field->setMinimumWidth(260);
    if (masked) {
        field->setEchoMode(QLineEdit::Password);
        // "*" for each character, whatever the style would draw.
        field->setStyleSheet("lineedit-password-character: 42");
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText("Ok");
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(field);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return {};
    return field->text();
}

bool OpenWithDesktop(const QString& target, const QString& failure)
{
    AssertWindowThread();
    QProcess opener;
    opener.setProgram("xdg-open");
    opener.setArguments({target});
    // The window keeps the stop signals blocked for itself; the opened program must not.
    opener.setChildProcessModifier([] { StopSignals::UnblockInChild(); });
    const bool started = opener.startDetached();
    if (!started && !failure.isEmpty()) ShowError(failure);
    return started;
}

bool OpenInBrowser(const QString& target) { return OpenWithDesktop(target, "Could not spawn the web browser, sorry!"); }

}  // namespace corvane

// The window's message boxes, the name prompt and the shell opener, and the window thread's
// check. Window thread only.
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace corvane {

// Debug builds stop here unless the caller runs on the window thread (the thread of the
// application object); release builds do nothing. The window's "window thread only" classes
// start their public methods with it.
void AssertWindowThread();

// Task-modal box with the error caption and a warning icon.
void ShowError(const QString& text, QWidget* owner = nullptr);
// Task-modal box with the help caption and an information icon.
void ShowHelp(const QString& text, QWidget* owner = nullptr);
// Yes and No buttons with a question icon; the button chosen (No when closed otherwise).
QMessageBox::StandardButton AskYesNo(QWidget* owner, const QString& text, const QString& caption);
// The name dialog: the title is the prompt, the field starts empty, "Ok" and "Cancel"; a masked
// field shows a "*" for each character. Enter counts as Ok. Empty text when closed without Ok.
QString AskName(const QString& prompt, bool masked, QWidget* owner = nullptr);
// Asks the desktop to open a file or address; false (after the failure box when `failure` is
// given) when no opener could be started.
bool OpenWithDesktop(const QString& target, const QString& failure);
// OpenWithDesktop with the text "Could not spawn the web browser, sorry!".
bool OpenInBrowser(const QString& target);

}  // namespace corvane

// The server options dialog: the common, FTP and HTTP settings, each group with its own
// "Apply && Save". A group restarts its services only when one of its values changed, and
// the restart goes through the window (which asks before disconnecting clients).
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QSpinBox>
#include <functional>

namespace corvane {

class serverController;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    // `restart(kind)` restarts the services of a kind (0 FTP, 1 HTTP, 2 both) the window's way.
    OptionsDialog(serverController& controller, std::function<void(int kind)> restart, QWidget* parent = nullptr);

    void ApplyCommon();
    void ApplyFtp();
    void ApplyHttp();

    // The fields, by the setting they show.
    QLineEdit* Field(const QString& name) const;
    QCheckBox* Box(const QString& name) const;
    QSpinBox* Spin(const QString& name) const;

private:
    QWidget* BuildCommonPage();
    QWidget* BuildFtpPage();
    QWidget* BuildHttpPage();
    void Load();
    void Saved(bool changed, int kind);

    serverController& controller_;
    std::function<void(int)> restart_;
};

}  // namespace corvane

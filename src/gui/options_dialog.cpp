#include "gui/options_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/server_controller.h"
#include "core/setting_keys.h"
#include "gui/qt_text.h"

namespace corvane {
namespace {

QLineEdit* AddField(QFormLayout* form, const QString& name, const QString& label)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    form->addRow(label, edit);
    return edit;
}

QCheckBox* AddBox(QFormLayout* form, const QString& name, const QString& label)
{
    auto* box = new QCheckBox(label);
    box->setObjectName(name);
    form->addRow(box);
    return box;
}

const SettingKey& KeyNamed(const QString& name) { return *FindServerSettingKey(ToStd(name)); }

// A spin box named after its settings key, with the key's range.
QSpinBox* AddSpin(QFormLayout* form, const QString& name, const QString& label)
{
    const SettingKey& key = KeyNamed(name);
    auto* spin = new QSpinBox;
    spin->setObjectName(name);
    spin->setRange(static_cast<int>(key.low), static_cast<int>(key.high));
    form->addRow(label, spin);
    return spin;
}

// A number typed into the field of a settings key; `fallback` when the key's range refuses it.
int NumberOr(const QLineEdit* edit, int fallback)
{
    const SettingKey& key = KeyNamed(edit->objectName());
    long long value = 0;
    return SettingNumberInRange(ToStd(edit->text()), key.low, key.high, value) ? static_cast<int>(value) : fallback;
}

QPushButton* ApplyButton(QFormLayout* form, const QString& name)
{
    auto* button = new QPushButton("Apply && Save");
    button->setObjectName(name);
    form->addRow(button);
    return button;
}

}  // namespace

OptionsDialog::OptionsDialog(serverController& controller, std::function<void(int)> restart, QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      restart_(std::move(restart))
{
    setObjectName("OptionsDialog");
    setWindowTitle("Server Options");
    auto* tabs = new QTabWidget;
    tabs->addTab(BuildCommonPage(), "Common");
    tabs->addTab(BuildFtpPage(), "FTP Server");
    tabs->addTab(BuildHttpPage(), "HTTP Server");
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(close);
    Load();
}

QWidget* OptionsDialog::BuildCommonPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    AddField(form, "UserSetServerIP", "Server IP (0.0.0.0 or :: = all addresses, IPv4 and IPv6):");
    AddBox(form, "IndexMyFiles", "Index my files for SITE SRCH and Index servers");
    AddBox(form, "MD5IndexingEnabled", "Compute MD5 digests while indexing");
    AddBox(form, "ReverseDNSCheckEnabled", "Check the host names of clients against the IP rules (reverse DNS)");
    connect(ApplyButton(form, "ApplyCommon"), &QPushButton::clicked, this, &OptionsDialog::ApplyCommon);
    return page;
}

QWidget* OptionsDialog::BuildFtpPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    AddField(form, "Port", "FTP port:");
    AddSpin(form, "MaximumNumberOfConnections", "Maximum number of connections:");
    AddBox(form, "BannerFromFile", "Use this banner:");
    AddField(form, "BannerFilePath", "Banner text:");
    AddBox(form, "AfterLoginMessage", "Send the after-login message of this file:");
    AddField(form, "AfterLoginMessageFilePath", "After-login message file:");
    AddBox(form, "WebLinkRequired", "Downloads from web-linked folders need SITE WEBL first");
    AddBox(form, "ManualPASVPortsEnabled", "Use a manual passive port range");
    AddField(form, "PASVIP", "Passive IP (0.0.0.0 = first local address):");
    AddField(form, "PASVPortsRangeBegin", "First passive port:");
    AddField(form, "TlsCertificateFile", "TLS certificate file (empty: CorvaneServer.crt in the home):");
    AddField(form, "TlsKeyFile", "TLS key file (empty: CorvaneServer.key in the home):");
    AddBox(form, "TlsRequiredForPasswordLogins", "Logins with a password need TLS (AUTH TLS)");
    connect(ApplyButton(form, "ApplyFtp"), &QPushButton::clicked, this, &OptionsDialog::ApplyFtp);
    return page;
}

QWidget* OptionsDialog::BuildHttpPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    AddField(form, "WebServerPort", "HTTP port:");
    AddField(form, "WebServerHttpsPort", "HTTPS port (0: off; the FTP certificate):");
    AddBox(form, "WebServerRedirectToHttps", "Send plain HTTP requests to HTTPS");
    AddField(form, "WebServerRoot", "Web root folder:");
    AddSpin(form, "WebServerConnections", "Maximum number of connections:");
    AddField(form, "WebServerHtmlHeader", "HTML header of generated pages:");
    AddField(form, "WebServerError404Answer", "File sent for \"not found\" (404):");
    connect(ApplyButton(form, "ApplyHttp"), &QPushButton::clicked, this, &OptionsDialog::ApplyHttp);
    return page;
}

QLineEdit* OptionsDialog::Field(const QString& name) const { return findChild<QLineEdit*>(name); }
QCheckBox* OptionsDialog::Box(const QString& name) const { return findChild<QCheckBox*>(name); }
QSpinBox* OptionsDialog::Spin(const QString& name) const { return findChild<QSpinBox*>(name); }

void OptionsDialog::Load()
{
    const ServerSettings& s = controller_.settings();
    Field("UserSetServerIP")->setText(QtText(s.UserSetServerIP));
    Box("IndexMyFiles")->setChecked(!s.ServerDesiredButNoP2PSharingMode);
    Box("MD5IndexingEnabled")->setChecked(s.MD5IndexingEnabled);
    Box("ReverseDNSCheckEnabled")->setChecked(controller_.accounts().IpRules().GetReverseDnsCheck());
    Field("Port")->setText(QString::number(s.Port));
    Spin("MaximumNumberOfConnections")->setValue(s.MaximumNumberOfConnections);
    Box("BannerFromFile")->setChecked(s.BannerFromFile);
    Field("BannerFilePath")->setText(QtText(s.BannerFilePath));
    Box("AfterLoginMessage")->setChecked(s.AfterLoginMessage);
    Field("AfterLoginMessageFilePath")->setText(QtText(s.AfterLoginMessageFilePath));
    Box("WebLinkRequired")->setChecked(s.WebLinkRequired);
    Box("ManualPASVPortsEnabled")->setChecked(s.ManualPASVPortsEnabled);
    Field("PASVIP")->setText(QtText(s.PASVIP));
    Field("PASVPortsRangeBegin")->setText(QString::number(s.PASVPortsRangeBegin));
    Field("TlsCertificateFile")->setText(QtText(s.TlsCertificateFile));
    Field("TlsKeyFile")->setText(QtText(s.TlsKeyFile));
    Box("TlsRequiredForPasswordLogins")->setChecked(s.TlsRequiredForPasswordLogins);
    Field("WebServerPort")->setText(QString::number(s.WebServerPort));
    Field("WebServerHttpsPort")->setText(QString::number(s.WebServerHttpsPort));
    Box("WebServerRedirectToHttps")->setChecked(s.WebServerRedirectToHttps);
    Field("WebServerRoot")->setText(QtText(s.WebServerRoot));
    Spin("WebServerConnections")->setValue(s.WebServerConnections);
    Field("WebServerHtmlHeader")->setText(QtText(s.WebServerHtmlHeader));
    Field("WebServerError404Answer")->setText(QtText(s.WebServerError404Answer));
}

// Stores a value and says whether it changed.
template <typename T>
static bool Store(T& target, const T& value)
{
    if (target == value) return false;
    target = value;
    return true;
}

void OptionsDialog::Saved(bool changed, int kind)
{
    controller_.saveSettings();
    if (changed) restart_(kind);
}

void OptionsDialog::ApplyCommon()
{
    ServerSettings& s = controller_.settings();
    bool changed = Store(s.UserSetServerIP, ToStd(Field("UserSetServerIP")->text().trimmed()));
    changed |= Store(s.MD5IndexingEnabled, Box("MD5IndexingEnabled")->isChecked());
    changed |= Store(s.ServerDesiredButNoP2PSharingMode, !Box("IndexMyFiles")->isChecked());
    s.HttpBindAddress = s.UserSetServerIP;
    controller_.accounts().IpRules().SetReverseDnsCheck(Box("ReverseDNSCheckEnabled")->isChecked());
    Saved(changed, kServiceBoth);
}

void OptionsDialog::ApplyFtp()
{
    ServerSettings& s = controller_.settings();
    const int port = CorrectedDialogPort(ToStd(Field("Port")->text()));
    Field("Port")->setText(QString::number(port));
    std::string passiveAddress = ToStd(Field("PASVIP")->text().trimmed());
    if (passiveAddress.empty()) passiveAddress = s.UserSetServerIP;
    Field("PASVIP")->setText(QtText(passiveAddress));
    bool changed = Store(s.MaximumNumberOfConnections, Spin("MaximumNumberOfConnections")->value());
    changed |= Store(s.Port, port);
    changed |= Store(s.BannerFromFile, Box("BannerFromFile")->isChecked());
    changed |= Store(s.BannerFilePath, ToStd(Field("BannerFilePath")->text()));
    changed |= Store(s.AfterLoginMessage, Box("AfterLoginMessage")->isChecked());
    changed |= Store(s.AfterLoginMessageFilePath, ToStd(Field("AfterLoginMessageFilePath")->text()));
    changed |= Store(s.WebLinkRequired, Box("WebLinkRequired")->isChecked());
    changed |= Store(s.ManualPASVPortsEnabled, Box("ManualPASVPortsEnabled")->isChecked());
    changed |= Store(s.PASVPortsRangeBegin, NumberOr(Field("PASVPortsRangeBegin"), 1));
    changed |= Store(s.PASVIP, passiveAddress);
    changed |= Store(s.TlsCertificateFile, ToStd(Field("TlsCertificateFile")->text().trimmed()));
    changed |= Store(s.TlsKeyFile, ToStd(Field("TlsKeyFile")->text().trimmed()));
    changed |= Store(s.TlsRequiredForPasswordLogins, Box("TlsRequiredForPasswordLogins")->isChecked());
    Saved(changed, kServiceFtp);
}

void OptionsDialog::ApplyHttp()
{
    ServerSettings& s = controller_.settings();
    const int port = NumberOr(Field("WebServerPort"), 80);
    Field("WebServerPort")->setText(QString::number(port));
    bool changed = Store(s.WebServerPort, port);
    int httpsPort = NumberOr(Field("WebServerHttpsPort"), 0);
    if (httpsPort < 0 || httpsPort > 65535 || httpsPort == port) httpsPort = 0;
    Field("WebServerHttpsPort")->setText(QString::number(httpsPort));
    changed |= Store(s.WebServerHttpsPort, httpsPort);
    changed |= Store(s.WebServerRedirectToHttps, Box("WebServerRedirectToHttps")->isChecked());
    changed |= Store(s.WebServerRoot, ToStd(Field("WebServerRoot")->text()));
    changed |= Store(s.WebServerConnections, Spin("WebServerConnections")->value());
    changed |= Store(s.WebServerHtmlHeader, ToStd(Field("WebServerHtmlHeader")->text()));
    changed |= Store(s.WebServerError404Answer, ToStd(Field("WebServerError404Answer")->text()));
    Saved(changed, kServiceHttp);
}

}  // namespace corvane

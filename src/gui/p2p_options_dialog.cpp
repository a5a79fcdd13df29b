#include "gui/p2p_options_dialog.h"

#include <QApplication>
#include <chrono>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/connection_settings.h"
#include "core/server_controller.h"
#include "gui/country_names.h"
#include "gui/qt_text.h"
#include "gui/register_form.h"
#include "gui/window_helpers.h"
#include "platform/event_loop.h"

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kQtServicePeriod{16};

QLineEdit* PortEdit(const std::string& text)
{
    auto* edit = new QLineEdit(QtText(text));
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    return edit;
}

QLineEdit* MaskedEdit(const std::string& text)
{
    auto* edit = new QLineEdit(QtText(text));
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QPushButton* ApplyButton(QWidget* owner)
{
    auto* button = new QPushButton("&Apply", owner);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TIndexerOptionsForm::TIndexerOptionsForm(serverController& controller, bool firstRun, QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      firstRun_(firstRun)
{
    AssertWindowThread();
    if (!EventLoop::Current()) {
        socketLoop_ = std::make_unique<EventLoop>();
        // A request waits in this loop; meanwhile Qt's queue is served from it, so the window
        // repaints, the server thread's calls to the window are answered, and the operator's
        // Cancel (or the close box) aborts the request at once. The dialog's other controls
        // are disabled while a request runs, so no second request starts inside the first.
        socketLoop_->AddTimer(kQtServicePeriod, kQtServicePeriod, [] { QCoreApplication::processEvents(); });
    }
    model_ = std::make_unique<P2POptionsModel>(controller_);
    setObjectName("IndexerOptionsForm");
    setWindowTitle("P2P Indexer Options");
    tabs_ = new QTabWidget;
    tabs_->addTab(BuildNetworkTab(), "Network Options");
    tabs_->addTab(BuildProxyTab(), "HTTP Firewall / Proxy Options");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        ApplyNetworkOptions();
        ApplyProxyOptions();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
    resize(640, 460);
}

TIndexerOptionsForm::~TIndexerOptionsForm()
{
    AssertWindowThread();
    model_.reset();  // before the socket queue it uses
}

QWidget* TIndexerOptionsForm::BuildNetworkTab()
{
    auto* tab = new QWidget;
    networks_ = new QTreeWidget;
    networks_->setObjectName("NetworkView");
    networks_->setRootIsDecorated(false);
    networks_->setHeaderLabels({"P2P Network", "Address", "Username"});
    retrieve_ = new QPushButton(kRetrieveButtonText);
    retrieve_->setAutoDefault(false);
    auto* registerButton = new QPushButton("Register / Edit Selected P2P Network");
    registerButton->setAutoDefault(false);
    connect(retrieve_, &QPushButton::clicked, this, &TIndexerOptionsForm::RetrieveNetworkList);
    connect(registerButton, &QPushButton::clicked, this, &TIndexerOptionsForm::RegisterOrEditSelected);

    const P2POptionsModel::ProfileFields profile = model_->ProfileOfSettings();
    zipcode_ = new QLineEdit(QtText(profile.zipcode));
    zipcode_->setMaxLength(static_cast<int>(kMostZipcodeDigits));
    zipcode_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), zipcode_));
    email_ = new QLineEdit(QtText(profile.email));
    email_->setMaxLength(static_cast<int>(kMostEmailLength));
    email_->installEventFilter(new FilterNameKey(email_));
    country_ = new QComboBox;
    for (const char* name : CountryNames()) country_->addItem(name);
    country_->setCurrentIndex(static_cast<int>(profile.countryIndex));
    connectionKind_ = new QComboBox;
    for (const char* kind : kConnectionKinds) connectionKind_->addItem(kind);
    connectionKind_->setCurrentIndex(static_cast<int>(profile.connectionIndex));

    auto* profileForm = new QFormLayout;
    profileForm->addRow("Country:", country_);
    profileForm->addRow("Zip code:", zipcode_);
    profileForm->addRow("E-mail:", email_);
    profileForm->addRow("Connection:", connectionKind_);
    auto* apply = ApplyButton(tab);
    connect(apply, &QPushButton::clicked, this, &TIndexerOptionsForm::ApplyNetworkOptions);

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(retrieve_);
    listButtons->addWidget(registerButton);
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(networks_);
    layout->addLayout(listButtons);
    layout->addLayout(profileForm);
    layout->addWidget(apply, 0, Qt::AlignRight);
    FillRows();
    return tab;
}

QWidget* TIndexerOptionsForm::BuildProxyTab()
{
    auto* tab = new QWidget;
    const HttpProxyTabFields fields = HttpProxyTabOf(controller_.connectionSettings());
    proxyType_ = new QComboBox;
    proxyType_->addItems({"Direct", "Proxy", "Socks4", "Socks5"});
    proxyType_->setCurrentIndex(fields.connectionType >= 0 && fields.connectionType < 4 ? fields.connectionType : 0);
    proxyServer_ = new QLineEdit(QtText(fields.proxyServer));
    proxyPort_ = PortEdit(fields.proxyPort);
    proxyUser_ = new QLineEdit(QtText(fields.proxyUser));
    proxyPassword_ = MaskedEdit(fields.proxyPassword);
    socksServer_ = new QLineEdit(QtText(fields.socksServer));
    socksPort_ = PortEdit(fields.socksPort);
    socksUser_ = new QLineEdit(QtText(fields.socksUser));
    socksPassword_ = MaskedEdit(fields.socksPassword);

    auto* form = new QFormLayout;
    form->addRow("Connection:", proxyType_);
    form->addRow("Proxy address:", proxyServer_);
    form->addRow("Proxy port:", proxyPort_);
    form->addRow("Proxy user name:", proxyUser_);
    form->addRow("Proxy password:", proxyPassword_);
    form->addRow("SOCKS address:", socksServer_);
    form->addRow("SOCKS port:", socksPort_);
    form->addRow("SOCKS user:", socksUser_);
    form->addRow("SOCKS password:", socksPassword_);
    auto* apply = ApplyButton(tab);
    apply->setToolTip("Click to apply settings next time you connect");
    connect(apply, &QPushButton::clicked, this, &TIndexerOptionsForm::ApplyProxyOptions);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(form);
    layout->addStretch();
    layout->addWidget(apply, 0, Qt::AlignRight);
    return tab;
}

void TIndexerOptionsForm::FillRows()
{
    networks_->clear();
    for (const P2POptionsModel::NetworkRow& row : model_->Rows()) {
        auto* item = new QTreeWidgetItem(networks_, {QtText(row.name), QtText(row.address), QtText(row.userName)});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, row.ticked ? Qt::Checked : Qt::Unchecked);
    }
    for (int column = 0; column < 3; ++column) networks_->resizeColumnToContents(column);
}

std::vector<P2POptionsModel::NetworkRow> TIndexerOptionsForm::RowsOfView() const
{
    std::vector<P2POptionsModel::NetworkRow> rows;
    for (int i = 0; i < networks_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = networks_->topLevelItem(i);
        rows.push_back(
            {ToStd(item->text(0)), ToStd(item->text(1)), ToStd(item->text(2)), item->checkState(0) == Qt::Checked});
    }
    return rows;
}

// While a request runs only Cancel and the close box act.
class TIndexerOptionsForm::RequestRunning {
public:
    explicit RequestRunning(TIndexerOptionsForm& form)
        : form_(form)
    {
        form_.requestRunning_ = true;
        form_.tabs_->setEnabled(false);
        form_.ok_->setEnabled(false);
    }
    ~RequestRunning()
    {
        form_.requestRunning_ = false;
        form_.tabs_->setEnabled(true);
        form_.ok_->setEnabled(true);
    }
    RequestRunning(const RequestRunning&) = delete;
    RequestRunning& operator=(const RequestRunning&) = delete;

private:
    TIndexerOptionsForm& form_;
};

void TIndexerOptionsForm::RetrieveNetworkList()
{
    AssertWindowThread();
    if (requestRunning_) return;
    const RequestRunning running(*this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    retrieve_->setText(kRetrievingButtonText);
    retrieve_->setEnabled(false);
    retrieve_->repaint();
    // The ticks not yet applied survive a download for the networks that remain.
    const std::vector<P2POptionsModel::NetworkRow> before = RowsOfView();
    if (model_->RetrieveNetworkList()) {
        FillRows();
        for (int i = 0; i < networks_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = networks_->topLevelItem(i);
            for (const auto& row : before)
                if (QtText(row.name) == item->text(0)) item->setCheckState(0, row.ticked ? Qt::Checked : Qt::Unchecked);
        }
        if (networks_->topLevelItemCount() > 0) networks_->topLevelItem(0)->setCheckState(0, Qt::Checked);
    }
    retrieve_->setText(kRetrieveButtonText);
    retrieve_->setEnabled(true);
    QApplication::restoreOverrideCursor();
}

void TIndexerOptionsForm::RegisterOrEditSelected()
{
    AssertWindowThread();
    QTreeWidgetItem* item = networks_->currentItem();
    const int row = item ? networks_->indexOfTopLevelItem(item) : -1;
    const bool wasUnregistered = item && item->text(2) == kUnregisteredText;
    if (requestRunning_) return;
    const RequestRunning running(*this);
    const P2POptionsModel::NetworkRow after =
        model_->RegisterOrEdit(row, [this](SignUpForm& form) { TRegisterForm::Run(form, this); });
    if (!item) return;
    item->setText(2, QtText(after.userName));
    if (wasUnregistered && after.ticked) item->setCheckState(0, Qt::Checked);
}

void TIndexerOptionsForm::ApplyNetworkOptions()
{
    AssertWindowThread();
    P2POptionsModel::ProfileFields fields;
    fields.zipcode = ToStd(zipcode_->text());
    fields.email = ToStd(email_->text());
    fields.countryIndex = static_cast<std::size_t>(std::max(0, country_->currentIndex()));
    fields.connectionIndex = static_cast<std::size_t>(std::max(0, connectionKind_->currentIndex()));
    model_->Apply(fields, RowsOfView());
}

void TIndexerOptionsForm::ApplyProxyOptions()
{
    AssertWindowThread();
    HttpProxyTabFields fields;
    fields.connectionType = proxyType_->currentIndex();
    fields.proxyServer = ToStd(proxyServer_->text());
    fields.proxyPort = ToStd(proxyPort_->text());
    fields.proxyUser = ToStd(proxyUser_->text());
    fields.proxyPassword = ToStd(proxyPassword_->text());
    fields.socksServer = ToStd(socksServer_->text());
    fields.socksPort = ToStd(socksPort_->text());
    fields.socksUser = ToStd(socksUser_->text());
    fields.socksPassword = ToStd(socksPassword_->text());
    ApplyHttpProxyTab(fields, controller_.connectionSettings());
}

void TIndexerOptionsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    if (firstRun_) QTimer::singleShot(0, this, &TIndexerOptionsForm::RetrieveNetworkList);
}

void TIndexerOptionsForm::done(int result)
{
    model_->Close();
    QDialog::done(result);
}

}  // namespace corvane

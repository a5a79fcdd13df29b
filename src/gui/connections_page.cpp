#include "gui/connections_page.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QStyle>
#include <QVBoxLayout>
#include <unordered_map>

#include "core/server_controller.h"
#include "core/session_table.h"
#include "gui/qt_text.h"
#include "gui/session_filter.h"
#include "gui/window_helpers.h"
#include "platform/drive_map.h"

namespace corvane {
namespace {

// The list is redrawn at most this often, however fast the sessions change.
constexpr int kRefreshIntervalMs = 100;

constexpr int kNumberRole = Qt::UserRole;

QIcon ActionIcon(int index)
{
    static const QStyle::StandardPixmap kIcons[] = {
        QStyle::SP_ArrowUp,     QStyle::SP_TrashIcon,     QStyle::SP_FileDialogContentsView, QStyle::SP_DialogYesButton,
        QStyle::SP_DirOpenIcon, QStyle::SP_DirClosedIcon, QStyle::SP_FileDialogListView,     QStyle::SP_BrowserReload,
        QStyle::SP_ArrowDown};
    return QApplication::style()->standardIcon(kIcons[index >= 0 && index < 9 ? index : 5]);
}

}  // namespace

ConnectionsPage::ConnectionsPage(serverController& controller, QWidget* parent)
    : QWidget(parent),
      controller_(controller),
      sessions_(new QTreeWidget),
      filter_(new QComboBox),
      log_(new ScreenLogView),
      recordToFile_(new QCheckBox("Record logs to file")),
      disableScreen_(new QCheckBox("Disable screen logs")),
      logPath_(new QLineEdit),
      browse_(new QPushButton("Browse")),
      logFileGroup_(new QGroupBox("Log File Path"))
{
    sessions_->setObjectName("ListViewReports");
    sessions_->setHeaderLabels({"Username", "Group", "IP", "Current Path", "Last Command"});
    sessions_->setRootIsDecorated(false);
    sessions_->setUniformRowHeights(true);
    filter_->setObjectName("ActionFilter");
    for (std::string_view label : kActionFilterLabels) filter_->addItem(QtText(label));
    connect(filter_, &QComboBox::currentIndexChanged, this, &ConnectionsPage::RefreshNow);
    auto* disconnectAll = new QPushButton("Disconnect All Users");
    connect(disconnectAll, &QPushButton::clicked, this, &ConnectionsPage::DisconnectAll);
    auto* disconnectOne = new QPushButton("Disconnect Selected User");
    connect(disconnectOne, &QPushButton::clicked, this, &ConnectionsPage::DisconnectSelected);

    auto* clear = new QPushButton("Clear Screen Logs");
    connect(clear, &QPushButton::clicked, log_, &ScreenLogView::ClearLines);
    auto* copy = new QPushButton("Copy Logs to Clipboard");
    connect(copy, &QPushButton::clicked, this, &ConnectionsPage::CopyLogs);
    auto* apply = new QPushButton("Apply && Save");
    apply->setObjectName("ApplyLogButton");
    connect(apply, &QPushButton::clicked, this, &ConnectionsPage::ApplyLogOptions);
    connect(recordToFile_, &QCheckBox::toggled, this, &ConnectionsPage::UpdateLogFileWidgets);
    connect(browse_, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getSaveFileName(this, "Log File Path");
        if (chosen.isEmpty()) return;
        const auto real = DriveMap::RealPathOf(ToStd(chosen));
        if (!real) return ShowError("The file " + chosen + " lies on no drive of the server.", this);
        logPath_->setText(QtText(*real));
    });
    logPath_->setObjectName("LogPathEdit");

    auto* top = new QWidget;
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel("Show:"));
    filterRow->addWidget(filter_);
    filterRow->addStretch(1);
    filterRow->addWidget(disconnectAll);
    filterRow->addWidget(disconnectOne);
    topLayout->addLayout(filterRow);
    topLayout->addWidget(sessions_);

    auto* pathLayout = new QHBoxLayout(logFileGroup_);
    pathLayout->addWidget(logPath_, 1);
    pathLayout->addWidget(browse_);
    auto* bottom = new QWidget;
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(log_, 1);
    auto* logButtons = new QHBoxLayout;
    logButtons->addWidget(clear);
    logButtons->addWidget(copy);
    logButtons->addStretch(1);
    logButtons->addWidget(disableScreen_);
    logButtons->addWidget(recordToFile_);
    bottomLayout->addLayout(logButtons);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(logFileGroup_, 1);
    fileRow->addWidget(apply);
    bottomLayout->addLayout(fileRow);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(top);
    splitter->addWidget(bottom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshIntervalMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &ConnectionsPage::RefreshNow);
    UpdateLogFileWidgets();
}

void ConnectionsPage::RequestRefresh()
{
    if (!refreshTimer_.isActive()) refreshTimer_.start();
}

void ConnectionsPage::RefreshNow()
{
    ++refreshes_;
    refreshTimer_.stop();
    const int position = FilterPosition();
    std::vector<SessionRecordPtr> shown;
    for (const SessionRecordPtr& record : controller_.sessions().Records())
        if (ActionFilterShows(position, record->LastAction())) shown.push_back(record);
    // Rows are kept and rewritten in place, so the selection and the scroll position stay.
    const int rows = static_cast<int>(shown.size());
    while (sessions_->topLevelItemCount() > rows)
        delete sessions_->takeTopLevelItem(sessions_->topLevelItemCount() - 1);
    while (sessions_->topLevelItemCount() < rows) sessions_->addTopLevelItem(new QTreeWidgetItem);
    const QTreeWidgetItem* current = sessions_->currentItem();
    const qulonglong selectedNumber = current ? current->data(0, kNumberRole).toULongLong() : 0;
    for (int i = 0; i < rows; ++i) {
        const sessionRecord& record = *shown[static_cast<std::size_t>(i)];
        QTreeWidgetItem* item = sessions_->topLevelItem(i);
        const QString texts[5] = {QtText(record.AccountName()), QtText(record.GroupName()),
                                  QtText(record.PeerAddress()), QtText(record.CurrentPath()),
                                  QtText(record.LastCommand())};
        for (int column = 0; column < 5; ++column)
            if (item->text(column) != texts[column]) item->setText(column, texts[column]);
        const int icon = SessionActionIcon(record.LastAction());
        if (item->data(1, kNumberRole).toInt() != icon + 1) {
            item->setIcon(0, ActionIcon(icon));
            item->setData(1, kNumberRole, icon + 1);
        }
        item->setData(0, kNumberRole, static_cast<qulonglong>(record.Number()));
        if (selectedNumber != 0 && record.Number() == selectedNumber) sessions_->setCurrentItem(item);
    }
}

void ConnectionsPage::DisconnectSelected()
{
    const QTreeWidgetItem* item = sessions_->currentItem();
    if (!item) return;
    const qulonglong number = item->data(0, kNumberRole).toULongLong();
    if (AskYesNo(this, "Do you really want to disconnect the user " + item->text(0) + "?", "Really disconnect user") !=
        QMessageBox::Yes)
        return;
    // The row names its session by number; the client is looked up again now, since it may
    // have gone while the question was open.
    if (const SessionRecordPtr record = controller_.sessions().FindSession(number))
        controller_.disconnectClient(record->ClientNumber());
    RefreshNow();
}

void ConnectionsPage::DisconnectAll()
{
    if (AskYesNo(this, "Do you really want to disconnect all the user(s)?", "Really disconnect all?") !=
        QMessageBox::Yes)
        return;
    controller_.disconnectAll();
    RefreshNow();
}

void ConnectionsPage::LoadLogOptions()
{
    const ServerSettings& settings = controller_.settings();
    disableScreen_->setChecked(!settings.ScreenLoggingEnabled);
    recordToFile_->setChecked(settings.LoggingToFile);
    logPath_->setText(QtText(settings.LogFilePath));
    UpdateLogFileWidgets();
}

void ConnectionsPage::ApplyLogOptions()
{
    controller_.applyLogSettings(!disableScreen_->isChecked(), recordToFile_->isChecked(), ToStd(logPath_->text()));
    controller_.saveSettings();
    if (recordToFile_->isChecked() && !controller_.logFileOpen())
        ShowError("The log file " + logPath_->text() + " could not be opened.", this);
}

void ConnectionsPage::CopyLogs()
{
    log_->DrawQueued();
    QApplication::clipboard()->setText(log_->toPlainText());
}

void ConnectionsPage::UpdateLogFileWidgets()
{
    const bool on = recordToFile_->isChecked();
    logFileGroup_->setEnabled(on);
    logPath_->setEnabled(on);
    browse_->setEnabled(on);
}

}  // namespace corvane

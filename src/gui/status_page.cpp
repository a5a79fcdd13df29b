#include "gui/status_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace corvane {
namespace {

QPixmap LampPixmap(const QColor& colour)
{
    QPixmap pixmap(28, 28);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(11, 10, 14);
    glow.setColorAt(0, colour.lighter(170));
    glow.setColorAt(1, colour.darker(120));
    painter.setBrush(glow);
    painter.setPen(QPen(colour.darker(180), 1.5));
    painter.drawEllipse(2, 2, 24, 24);
    return pixmap;
}

}  // namespace

StatusLamp::StatusLamp(QWidget* parent)
    : QLabel(parent)
{
    SetRunning(false);
}

void StatusLamp::SetRunning(bool running)
{
    running_ = running;
    setPixmap(LampPixmap(running ? QColor(0, 190, 0) : QColor(210, 0, 0)));
    setToolTip(running ? "Running" : "Stopped");
}

void StatusLamp::mouseDoubleClickEvent(QMouseEvent*) { emit doubleClicked(); }

StatusPage::StatusPage(const QString& title, const QString& idleTransferText, QWidget* parent)
    : QWidget(parent),
      idleTransferText_(idleTransferText),
      state_(new QLabel("Stopped")),
      lamp_(new StatusLamp),
      users_(new QLabel("No users")),
      transferred_(new QLabel(idleTransferText)),
      start_(new QPushButton("Start")),
      stop_(new QPushButton("Stop")),
      restart_(new QPushButton("Restart"))
{
    state_->setObjectName("StateLabel");
    users_->setObjectName("UsersLabel");
    transferred_->setObjectName("TransferredLabel");
    start_->setObjectName("StartButton");
    stop_->setObjectName("StopButton");
    restart_->setObjectName("RestartButton");
    auto* group = new QGroupBox(title);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel("Status:"), 0, 0);
    auto* stateRow = new QHBoxLayout;
    stateRow->addWidget(lamp_);
    stateRow->addWidget(state_, 1);
    grid->addLayout(stateRow, 0, 1);
    grid->addWidget(new QLabel("Number of connected users:"), 1, 0);
    grid->addWidget(users_, 1, 1);
    grid->addWidget(new QLabel("Transferred data since start:"), 2, 0);
    grid->addWidget(transferred_, 2, 1);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addWidget(restart_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    layout->addStretch(1);
    ShowRunning(false);
}

void StatusPage::ShowRunning(bool running)
{
    lamp_->SetRunning(running);
    state_->setText(running ? "Running" : "Stopped");
    start_->setEnabled(!running);
    stop_->setEnabled(running);
    restart_->setEnabled(true);
    if (!running) transferred_->setText(idleTransferText_);
}

void StatusPage::DisableStopAndRestart()
{
    stop_->setEnabled(false);
    restart_->setEnabled(false);
}

}  // namespace corvane

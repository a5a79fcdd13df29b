#include "gui/cache_page.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>

#include "cache/server_cache.h"
#include "core/server_controller.h"
#include "gui/qt_text.h"

namespace corvane {

CachePage::CachePage(serverController& controller, QWidget* parent)
    : QWidget(parent),
      controller_(controller),
      directory_(new QCheckBox("Enable &Directory Cache")),
      file_(new QCheckBox("Enable &File Cache")),
      mode_(new QComboBox),
      autoRefresh_(new QCheckBox("Auto Refresh")),
      hitRate_(new QLabel("0%")),
      files_(new QTreeWidget),
      capacity_(new QLineEdit),
      size_(new QLabel("0 MB"))
{
    mode_->setObjectName("CacheModeSelector");
    mode_->addItems({"Keep most accessed files (Recommended)", "Keep most recently accessed files",
                     "Keep biggest size files", "Keep smallest size files"});
    files_->setObjectName("ListViewCache");
    files_->setHeaderLabels({"Path & Name", "Size", "Hits Count"});
    files_->setRootIsDecorated(false);
    hitRate_->setObjectName("CacheHitRatePanel");
    size_->setObjectName("CacheSizePanel");
    for (QLabel* panel : {hitRate_, size_}) panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    capacity_->setObjectName("CacheCapacityEdit");
    // Digits only, four at most: 9999 MB.
    capacity_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,4}"), capacity_));
    capacity_->setMaxLength(4);
    capacity_->setMaximumWidth(70);
    auto* refresh = new QPushButton("&Refresh");
    connect(refresh, &QPushButton::clicked, this, [this] { controller_.refreshCacheView(); });
    auto* set = new QPushButton("&Set");
    connect(set, &QPushButton::clicked, this, &CachePage::SetCapacity);
    for (QCheckBox* box : {directory_, file_, autoRefresh_})
        connect(box, &QCheckBox::toggled, this, &CachePage::ApplySwitches);
    connect(mode_, &QComboBox::currentIndexChanged, this, &CachePage::ApplySwitches);

    auto* switches = new QGridLayout;
    switches->addWidget(directory_, 0, 0);
    switches->addWidget(file_, 1, 0);
    switches->addWidget(mode_, 1, 1);
    auto* viewRow = new QHBoxLayout;
    viewRow->addWidget(autoRefresh_);
    viewRow->addWidget(refresh);
    viewRow->addStretch(1);
    viewRow->addWidget(new QLabel("Hit rate:"));
    viewRow->addWidget(hitRate_);
    auto* capacityRow = new QHBoxLayout;
    capacityRow->addWidget(new QLabel("Cache Capacity"));
    capacityRow->addWidget(capacity_);
    capacityRow->addWidget(new QLabel("MB"));
    capacityRow->addWidget(set);
    capacityRow->addStretch(1);
    capacityRow->addWidget(new QLabel("Size:"));
    capacityRow->addWidget(size_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(switches);
    layout->addLayout(viewRow);
    layout->addWidget(files_, 1);
    layout->addLayout(capacityRow);
}

void CachePage::showEvent(QShowEvent* event)
{
    LoadSettings();
    QWidget::showEvent(event);
}

void CachePage::LoadSettings()
{
    filling_ = true;
    const ServerSettings& settings = controller_.settings();
    directory_->setChecked(settings.DirectoryCacheEnabled);
    file_->setChecked(settings.FileCacheEnabled);
    autoRefresh_->setChecked(settings.CacheAutoRefreshGUI);
    mode_->setCurrentIndex(settings.FileCacheMode >= 0 && settings.FileCacheMode < kCacheEvictionModeCount
                               ? settings.FileCacheMode
                               : static_cast<int>(CacheEvictionMode::FewestHitsFirst));
    capacity_->setText(QString::number(settings.CacheSize >> 20));
    filling_ = false;
}

void CachePage::ApplySwitches()
{
    if (filling_) return;
    ServerSettings& settings = controller_.settings();
    settings.DirectoryCacheEnabled = directory_->isChecked();
    settings.FileCacheEnabled = file_->isChecked();
    settings.FileCacheMode = mode_->currentIndex();
    settings.CacheAutoRefreshGUI = autoRefresh_->isChecked();
    controller_.applyCacheSettings();
}

void CachePage::SetCapacity()
{
    controller_.settings().CacheSize = capacity_->text().toLongLong() * kBytesPerMegabyte;
    controller_.applyCacheSettings();
}

void CachePage::ShowSnapshot(const CacheViewContents& contents)
{
    files_->clear();
    // Icon 4 marks a folder's listing, any other a file's copy.
    const QIcon folder = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon file = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    for (const CacheViewRow& row : contents.rows) {
        auto* item = new QTreeWidgetItem(QStringList{QtText(row.name), QtText(row.sizeText), QtText(row.hitsText)});
        item->setIcon(0, row.icon == 4 ? folder : file);
        files_->addTopLevelItem(item);
    }
    hitRate_->setText(QtText(contents.hitRateText));
    size_->setText(QtText(contents.totalSizeText));
}

void CachePage::ClearView()
{
    files_->clear();
    hitRate_->setText("0%");
    size_->setText("0 MB");
}

}  // namespace corvane

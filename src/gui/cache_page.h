// The "Cache (Common)" page: the cache switches, mode and capacity (applied at once through
// the controller) and the view of what the cache holds.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QWidget>
#include <string>
#include <vector>

#include "core/cache_view_rows.h"

namespace corvane {

class serverController;

class CachePage : public QWidget {
    Q_OBJECT
public:
    explicit CachePage(serverController& controller, QWidget* parent = nullptr);

    // Shows the controller's cache settings (the page does it each time it is shown).
    void LoadSettings();
    // Fills the list and both panels from a snapshot of the cache, its texts made by the core.
    void ShowSnapshot(const CacheViewContents& contents);
    void ClearView();
    void SetCapacity();

    QCheckBox* DirectoryCacheBox() const { return directory_; }
    QCheckBox* FileCacheBox() const { return file_; }
    QCheckBox* AutoRefreshBox() const { return autoRefresh_; }
    QComboBox* ModeSelector() const { return mode_; }
    QLineEdit* CapacityEdit() const { return capacity_; }
    QTreeWidget* FileList() const { return files_; }
    QLabel* HitRatePanel() const { return hitRate_; }
    QLabel* SizePanel() const { return size_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ApplySwitches();

    serverController& controller_;
    bool filling_ = false;
    QCheckBox* directory_;
    QCheckBox* file_;
    QComboBox* mode_;
    QCheckBox* autoRefresh_;
    QLabel* hitRate_;
    QTreeWidget* files_;
    QLineEdit* capacity_;
    QLabel* size_;
};

}  // namespace corvane

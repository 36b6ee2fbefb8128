// The borderless start-up picture, shown modally for about three seconds.
// An arming thread makes the close possible after one second; a three-second
// timer closes it once armed. Escape ends it at once; clicks do not.
#pragma once

#include <QDialog>
#include <atomic>
#include <memory>

class CSplashDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kArmDelayMs = 1000;
    static constexpr int kClosePeriodMs = 3000;

    explicit CSplashDlg(QWidget* parent = nullptr);

    bool IsArmed() const { return m_ready->load() == 1; }

protected:
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnInitDialog();

    // Shared with the arming thread, which may still write it after the
    // dialog is gone (it is never joined).
    std::shared_ptr<std::atomic<int>> m_ready = std::make_shared<std::atomic<int>>(0);
    int m_nTimerId = 0;
    bool m_bInitialized = false;
};

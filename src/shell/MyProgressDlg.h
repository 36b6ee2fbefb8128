// The modeless "please wait" window shown while a job runs: the job's
// caption as title, a message line, the spinner and a Stop button.
#pragma once

#include <QDialog>

class CPictureEx;
class QLabel;
class QProgressBar;
class QPushButton;

class CMyProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMyProgressDlg(QWidget* parent = nullptr);
    ~CMyProgressDlg() override;

    // The message line, such as "解析数据库结构,please wait...".
    void SetMessage(const QString& text);
    QString Message() const;
    // The bar, 0 to 100, for a job that counts its work.
    void SetProgress(int percent);
    int Progress() const;

    CPictureEx* Picture() { return m_picture; }
    QPushButton* StopButton() { return m_btnStop; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnStop();

    QProgressBar* m_progress = nullptr;
    QPushButton* m_btnStop = nullptr;
    QLabel* m_message = nullptr;
    CPictureEx* m_picture = nullptr;
};

// The "生成报告" dialog: the examiner's name and the case number that head
// the case report. The file the report goes to is chosen after it.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class CSalvixLeftTreeCtrl;
class QLineEdit;

class CCaseReportDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCaseReportDlg(QWidget* parent = nullptr);

    // "生成报告": asks for the examiner and the case, then for the file
    // (never an examined file; in an examined file's folder only when the
    // examiner confirms it), gathers the checked records of every open table
    // window, the last scan and the log, and starts the report job of the
    // device tree `tree`, which adds the databases and writes the file.
    static void Run(CSalvixLeftTreeCtrl& tree);

    // What the examiner gave; the tests replace the asking.
    struct Request {
        std::u16string examiner, caseId;
        QString path;
    };
    static std::function<bool(QWidget* parent, Request& request)> s_ask;
    // Whether the report may go into `folder`, which holds an examined file.
    static std::function<bool(QWidget* parent, const QString& folder)> s_confirmEvidenceFolder;

    std::u16string Examiner() const;
    std::u16string CaseId() const;
    QLineEdit* ExaminerEdit() { return m_examiner; }
    QLineEdit* CaseEdit() { return m_case; }

private:
    QLineEdit* m_examiner = nullptr;
    QLineEdit* m_case = nullptr;
};

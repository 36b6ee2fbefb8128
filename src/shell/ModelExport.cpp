#include "ModelExport.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QPointer>
#include <cstdio>

#include "engine/LogPost.h"
#include "platform/WideFormat.h"

std::function<QString(QWidget*, const QString&, bool, bool&)> CModelExport::s_askPath =
    [](QWidget* owner, const QString& title, bool csv, bool& rawCsv) {
        QFileDialog dialog(owner, title, QString(),
                           csv ? QStringLiteral("CSV Files (*.csv)") : QStringLiteral("JSON Lines Files (*.jsonl)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        QCheckBox* raw = nullptr;
        if (csv) {
            // The check box sits under Qt's own dialog, which a native one would not allow.
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            raw = new QCheckBox(QString::fromUtf16(u"原样写入(不在公式样的文本前加撇号)"), &dialog);
            if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
                grid->addWidget(raw, grid->rowCount(), 0, 1, -1);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        rawCsv = raw != nullptr && raw->isChecked();
        return dialog.selectedFiles().first();
    };

long long CModelExport::Write(const QAbstractItemModel& model, const QString& path,
                              CRowExport::Format format, bool checkedOnly, bool rawCsv)
{
    std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (out == nullptr)
        return -1;
    long long written = 0;
    const int columns = model.columnCount();
    std::vector<std::u16string> headings;
    for (int column = 0; column < columns; ++column)
        headings.push_back(model.headerData(column, Qt::Horizontal).toString().toStdU16String());
    CRowExport writer(format, out, std::move(headings));
    writer.SetRawCsv(rawCsv);
    writer.Begin();
    std::vector<std::u16string> values(static_cast<std::size_t>(columns));
    for (int row = 0; row < model.rowCount(); ++row) {
        if (checkedOnly && model.index(row, 0).data(Qt::CheckStateRole).toInt() != Qt::Checked)
            continue;
        for (int column = 0; column < columns; ++column)
            values[static_cast<std::size_t>(column)] = model.index(row, column).data().toString().toStdU16String();
        writer.WriteRow(values);
        ++written;
    }
    const bool ok = writer.Finish();
    return std::fclose(out) == 0 && ok ? written : -1;
}

void CModelExport::AddMenuItems(QMenu& menu, QWidget* owner, const QAbstractItemModel& model,
                                bool jsonLines, HWND hLogWnd)
{
    struct Item {
        const char16_t* text;
        CRowExport::Format format;
        bool checkedOnly;
    };
    static constexpr Item kItems[] = {
        {u"导出CSV(全部)", CRowExport::Format::kCsv, false},
        {u"导出CSV(已勾选)", CRowExport::Format::kCsv, true},
        {u"导出JSON Lines(全部)", CRowExport::Format::kJsonLines, false},
        {u"导出JSON Lines(已勾选)", CRowExport::Format::kJsonLines, true},
    };
    const QPointer<const QAbstractItemModel> rows(&model);
    for (const Item& item : kItems) {
        if (item.format == CRowExport::Format::kJsonLines && !jsonLines)
            continue;
        QObject::connect(menu.addAction(QString::fromUtf16(item.text)), &QAction::triggered, owner,
                         [owner, rows, item, hLogWnd] {
            bool rawCsv = false;
            const QString path = s_askPath(owner, QString::fromUtf16(item.text),
                                           item.format == CRowExport::Format::kCsv, rawCsv);
            if (path.isEmpty() || rows == nullptr)
                return;
            const long long written = Write(*rows, path, item.format, item.checkedOnly, rawCsv);
            if (written < 0)
                PostLog(hLogWnd, u"error", WideFormat(u"打开/创建设备%s失败", {path.toStdU16String()}), kLogError);
            else
                PostLog(hLogWnd, u"Export", WideFormat(u"Export: %I64d rows written to %s",
                                                       {static_cast<std::int64_t>(written), path.toStdU16String()}),
                        kLogInfo);
        });
    }
}

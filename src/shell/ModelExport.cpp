#include "ModelExport.h"

#include <QAbstractItemModel>
#include <QFile>
#include <cstdio>

bool CModelExport::Write(const QAbstractItemModel& model, const QString& path,
                         CRowExport::Format format, bool checkedOnly)
{
    std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (out == nullptr)
        return false;
    const int columns = model.columnCount();
    std::vector<std::u16string> headings;
    for (int column = 0; column < columns; ++column)
        headings.push_back(model.headerData(column, Qt::Horizontal).toString().toStdU16String());
    CRowExport writer(format, out, std::move(headings));
    writer.Begin();
    std::vector<std::u16string> values(static_cast<std::size_t>(columns));
    for (int row = 0; row < model.rowCount(); ++row) {
        if (checkedOnly && model.index(row, 0).data(Qt::CheckStateRole).toInt() != Qt::Checked)
            continue;
        for (int column = 0; column < columns; ++column)
            values[static_cast<std::size_t>(column)] = model.index(row, column).data().toString().toStdU16String();
        writer.WriteRow(values);
    }
    const bool written = writer.Finish();
    return std::fclose(out) == 0 && written;
}

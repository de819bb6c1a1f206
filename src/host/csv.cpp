// SPDX-License-Identifier: MIT
#include "csv.h"

#include "wire/errors.h"

#include <QAbstractItemModel>
#include <QSaveFile>
#include <QStringList>

namespace erp::host {

QString csvField(const QString& text)
{
    const bool quote = text.contains(u';') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r')
                       || (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    if (!quote)
        return text;
    QString doubled = text;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

void writeCsv(const QAbstractItemModel& model, const QString& path)
{
    QString out;
    const auto line = [&out](const QStringList& fields) {
        QStringList quoted;
        for (const QString& f : fields)
            quoted << csvField(f);
        out += quoted.join(u';') + QStringLiteral("\r\n");
    };
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c)
        titles << model.headerData(c, Qt::Horizontal).toString();
    line(titles);
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model.columnCount(); ++c)
            cells << model.index(r, c).data().toString();
        line(cells);
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw Error(QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(path, file.errorString()));
    }
    file.write("\xEF\xBB\xBF");
    file.write(out.toUtf8());
    if (!file.commit())
        throw Error(QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(path, file.errorString()));
}

} // namespace erp::host

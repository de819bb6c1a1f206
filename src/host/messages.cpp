// SPDX-License-Identifier: MIT
#include "messages.h"

#include "wire/cp1252.h"
#include "wire/errors.h"

#include <QFile>
#include <QtDebug>

namespace erp::host {

TMessages::TMessages(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

void TMessages::loadCp1252(QByteArrayView bytes)
{
    lines_.clear();
    const QString text = cp1252::decode(bytes);
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const qsizetype bar = line.indexOf(u'|');
        if (bar <= 0)
            continue;
        lines_.append({line.left(bar).toString(), line.mid(bar + 1).toString()});
    }
}

void TMessages::loadFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Não foi possível ler o catálogo de mensagens %1.").arg(path));
    loadCp1252(f.readAll());
}

QString TMessages::Msg(const QString& key) const
{
    for (const auto& [k, text] : lines_)
        if (k == key)
            return text;
    qWarning("O catálogo de mensagens %s não tem a chave %s.", qPrintable(objectName()), qPrintable(key));
    return key;
}

bool TMessages::contains(const QString& key) const
{
    for (const auto& line : lines_)
        if (line.first == key)
            return true;
    return false;
}

} // namespace erp::host

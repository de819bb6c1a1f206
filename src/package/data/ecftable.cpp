// SPDX-License-Identifier: MIT
#include "ecftable.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"

#include <QLocale>

namespace erp::par47300::ecf {

namespace letter = contract::letter;
namespace f = contract::f;

namespace {
constexpr char kEntryLine = 'E'; // TPECF of a line the company may enter
constexpr char kLossCompensation = 'P';

QDate isoDate(const QVariant& v)
{
    return v.isValid() ? QDate::fromString(v.toString(), Qt::ISODate) : QDate();
}
} // namespace

QString sheetOf(char imposto)
{
    return QLatin1String(imposto == letter::imposto::CSLL ? "M350A" : "M300A");
}

bool validIn(const EcfLine& line, int year)
{
    return line.start.isValid() && line.start <= QDate(year, 12, 31) && (line.end.isNull() || line.end >= QDate(year, 1, 1));
}

char entryTypeFor(QStringView kind)
{
    if (contract::holdsLetter(kind, letter::tipo::all))
        return kind.front() == QLatin1Char(letter::tipo::Compensacao) ? kLossCompensation : char(kind.front().toLatin1());
    return 0;
}

bool fits(const EcfLine& line, QStringView kind)
{
    const char entry = entryTypeFor(kind);
    return entry && contract::holdsLetter(line.tipo, "E") && line.tipoLanc == QLatin1Char(entry);
}

QList<EcfLine> linesOf(const DataPacket& p)
{
    const int code = p.indexOf(QString::fromLatin1(f::CDECF)), description = p.indexOf(QString::fromLatin1(f::DSECF)),
              tipo = p.indexOf(QString::fromLatin1(f::TPECF)), tipoLanc = p.indexOf(QString::fromLatin1(f::TPLANCECF)),
              start = p.indexOf(QString::fromLatin1(f::DTINIECF)), end = p.indexOf(QString::fromLatin1(f::DTFIMECF));
    const auto at = [](const RowValues& r, int i) { return i < 0 ? QVariant() : r.value(i); };
    QList<EcfLine> lines;
    lines.reserve(qsizetype(p.rows.size()));
    for (const RowValues& r : p.rows)
        lines.append({.code = at(r, code).toString().trimmed(),
                      .description = at(r, description).toString(),
                      .tipo = at(r, tipo).toString(),
                      .tipoLanc = at(r, tipoLanc).toString(),
                      .start = isoDate(at(r, start)),
                      .end = isoDate(at(r, end))});
    return lines;
}

QString validityText(const EcfLine& line)
{
    const QLocale locale;
    const auto date = [&](const QDate& d) { return d.isNull() ? QStringLiteral("—") : locale.toString(d, QLocale::ShortFormat); };
    return date(line.start) + QStringLiteral(" a ") + date(line.end);
}

} // namespace erp::par47300::ecf

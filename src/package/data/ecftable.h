// SPDX-License-Identifier: MIT
#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace erp {
struct DataPacket;
}

namespace erp::par47300 {

// One line of a dynamic table of the ECF (M300A for IRPJ, M350A for CSLL) as
// getTabelaECF sends it. A code may have more than one line (M350A lists
// code 13 twice), so a line is never found by its code alone.
struct EcfLine {
    QString code;
    QString description;
    QString tipo;     // R label, E entry, CA and CNA computed
    QString tipoLanc; // A addition, E exclusion, P loss compensation, L profit, R label, or empty
    QDate start;
    QDate end; // null while still valid
};

namespace ecf {

// The sheet of a tax (contract::letter::imposto): M300A for IRPJ, M350A for CSLL.
QString sheetOf(char imposto);
// Valid in the year: it begins by the year's last day and has not ended
// before its first.
bool validIn(const EcfLine& line, int year);
// The entry type an additions row of this kind (IDPARAMAPU) takes: an
// addition an addition, an exclusion an exclusion, a compensation a loss
// compensation; 0 for any other kind.
char entryTypeFor(QStringView kind);
// A line the company may enter for a row of that kind: tipo E, and the
// entry type the kind takes.
bool fits(const EcfLine& line, QStringView kind);
// The lines of a getTabelaECF packet, in its order.
QList<EcfLine> linesOf(const DataPacket& packet);
// "01/01/2015 a —": its validity, dates in the user's locale, "—" for no end.
QString validityText(const EcfLine& line);

} // namespace ecf

} // namespace erp::par47300

// SPDX-License-Identifier: MIT
#include "ecfdata.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <stdexcept>

namespace erp::testing::ecf {

std::string dataFilePath()
{
    return std::string(ERP_SOURCE_DIR) + "/src/server/ecf/leiaute12.json";
}

QJsonObject dataFile()
{
    QFile f(QString::fromStdString(dataFilePath()));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + dataFilePath());
    return QJsonDocument::fromJson(f.readAll()).object();
}

std::vector<QString> sheetOrder()
{
    return {"M300A", "M350A", "N500", "N630A", "N670", "PARTEB_PADRAO"};
}

Sheets expectedSheets()
{
    const QJsonObject tables = dataFile().value("tabelas").toObject();
    Sheets out;
    for (auto it = tables.begin(); it != tables.end(); ++it) {
        std::vector<Line>& lines = out[it.key()];
        for (const QJsonValue v : it.value().toArray()) {
            const QJsonObject o = v.toObject();
            Line l;
            for (const char* key : {"codigo", "descricao", "tipo", "tipoLanc", "tributo", "dtIni", "dtFim"}) {
                const QJsonValue field = o.value(key);
                l.push_back(field.isString() ? QVariant(field.toString()) : QVariant());
            }
            lines.push_back(l);
        }
    }
    return out;
}

std::vector<Line> storedLines(server::Db& db, const QString& sheet)
{
    const server::SqlRows rows = db.query("SELECT CDECF, DSECF, TPECF, TPLANCECF, IDTRIBUTOECF, DTINIECF, DTFIMECF FROM TABELAECF "
                                          "WHERE NMTABELAECF = ? AND CDLEIAUTEECF = (SELECT MAX(CDLEIAUTEECF) FROM TABELAECF WHERE NMTABELAECF = ?) "
                                          "ORDER BY NRLINHAECF",
                                          {sheet, sheet});
    std::vector<Line> out;
    for (const server::SqlRow& r : rows) {
        Line l;
        for (const QVariant& v : r)
            l.push_back(v.isValid() ? QVariant(v.toString()) : QVariant());
        out.push_back(l);
    }
    return out;
}

Sheets storedSheets(server::Db& db)
{
    Sheets out;
    for (const server::SqlRow& r : db.query("SELECT DISTINCT NMTABELAECF FROM TABELAECF"))
        out[r.at(0).toString()] = storedLines(db, r.at(0).toString());
    return out;
}

std::string firstDifference(const std::vector<Line>& a, const std::vector<Line>& b)
{
    const auto text = [](const Line& l) {
        std::string s;
        for (const QVariant& v : l)
            s += (v.isValid() ? v.toString().toStdString() : "<null>") + "|";
        return s;
    };
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            return "line " + std::to_string(i + 1) + ": " + text(a[i]) + " vs " + text(b[i]);
    return a.size() == b.size() ? "none" : "sizes " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
}

} // namespace erp::testing::ecf

// SPDX-License-Identifier: MIT
#include "companyrows.h"

#include "contract/paramirpj.h"
#include "packets.h"
#include "rpc.h"

#include <QJsonDocument>

#include <stdexcept>

namespace erp::testing {

namespace {

namespace m = contract::method;

QString text(const QVariant& v)
{
    return v.isValid() ? v.toString() : QStringLiteral("<null>");
}

QString withoutNumbers(const DataPacket& p, const RowValues& row)
{
    QStringList parts;
    for (qsizetype i = 0; i < p.fields.size(); ++i) {
        const QString& name = p.fields[i].name;
        const bool names = (name.startsWith(QLatin1String("NRSEQ")) && name != QLatin1String(f::NRSEQALIQIRPJ)) || name == QLatin1String(f::CDEMPRESA);
        if (!names)
            parts << text(row[i]);
    }
    return parts.join(u'|');
}

DataPacket read(server::Db& db, const char* method, const QJsonArray& params, const FieldDefs& layout)
{
    const server::RpcAnswer a = server::handleRpc(contract::kServerObject, rpcRequest(method, params), db);
    const QJsonObject r = QJsonDocument::fromJson(a.body).object();
    if (!r.contains("result"))
        throw std::runtime_error(std::string(method) + ": " + a.body.toStdString());
    return packet::decodeData(r.value("result").toObject(), &layout);
}

} // namespace

std::multiset<QString> companyContent(server::Db& db, const QString& company)
{
    const FieldDefs adic = contract::paramApuLayout(), inf = contract::infCtbLayout(), items = contract::recDespLayout();
    std::multiset<QString> rows;
    const auto add = [&](const DataPacket& parents, const char* key) {
        for (const RowValues& row : parents.rows) {
            QStringList under;
            const DataPacket children = read(db, m::getInfCtbIRPJ, {row[parents.indexOf(key)].toDouble()}, inf);
            for (const RowValues& c : children.rows)
                under << withoutNumbers(children, c);
            under.sort();
            rows.insert(withoutNumbers(parents, row) + " <- " + under.join(QStringLiteral(", ")));
        }
    };
    add(read(db, m::GetParamIRPJ, {company}, adic), f::NRSEQPARAMAPU);
    add(read(db, m::GetParamCSLL, {company}, adic), f::NRSEQPARAMAPU);
    add(read(db, m::getRecDesp, {company}, items), f::NRSEQRECDESPIRPJ);
    return rows;
}

} // namespace erp::testing

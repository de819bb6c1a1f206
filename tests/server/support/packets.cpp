// SPDX-License-Identifier: MIT
#include "packets.h"

#include <QJsonDocument>

namespace erp::testing {

QJsonObject changeJson(const FieldDefs& layout, ChangeStatus status, const RowValues& oldValues, const RowValues& newValues)
{
    ChangePacket p;
    p.fields = layout;
    p.changes.push_back(Change{status, oldValues, newValues});
    return packet::toJson(p);
}

QJsonObject insertJson(const FieldDefs& layout, const RowValues& row)
{
    return changeJson(layout, ChangeStatus::Inserted, {}, row);
}

std::string rpcRequest(const char* method, const QJsonArray& params, int id)
{
    const QJsonObject r{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
    return QJsonDocument(r).toJson(QJsonDocument::Compact).toStdString();
}

std::string newAdditionRequest(double seq, const QString& name, int id)
{
    const RowValues row{seq, "01", name, letterText(letter::tipo::Adicao), letterText(letter::imposto::IRPJ), 10.0};
    return rpcRequest(contract::method::SetParamIRPJ, {insertJson(contract::paramApuLayout(), row)}, id);
}

} // namespace erp::testing

// SPDX-License-Identifier: MIT
#include "paramservice.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"

namespace erp::par47300 {

void ParamService::load(DataSet& target, const char* method, const QJsonArray& args)
{
    target.loadPacket(read(method, args, target.fieldDefs()));
}

DataPacket ParamService::read(const char* method, const QJsonArray& args, const FieldDefs& layout)
{
    const QJsonValue result = host::CheckResultServ(net_.call(QString::fromLatin1(method), args), true, 0);
    return packet::decodeData(result.toObject(), &layout);
}

qint32 ParamService::nextNumber(const char* method)
{
    return host::sequenceNumber(net_.call(QString::fromLatin1(method)));
}

void ParamService::save(const char* method, const ChangePacket& changes)
{
    host::CheckResultServ(net_.call(QString::fromLatin1(method), QJsonArray{packet::toJson(changes)}, host::CallKind::Change), true, 0);
}

void ParamService::deleteInfCtb(double parent)
{
    host::CheckResultServ(net_.call(QString::fromLatin1(contract::method::setDeleteInfCtb), QJsonArray{parent}, host::CallKind::Change), true, 0);
}

QJsonObject ParamService::change(const char* method, const QJsonArray& args)
{
    return host::CheckResultServ(net_.call(QString::fromLatin1(method), args, host::CallKind::Change), true, 0).toObject();
}

} // namespace erp::par47300

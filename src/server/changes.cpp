// SPDX-License-Identifier: MIT
#include "changes.h"

#include "paramservice.h"

#include <cmath>

namespace erp::server {

std::optional<long long> wholeNumber(double d)
{
    if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9007199254740992.0)
        return std::nullopt;
    return static_cast<long long>(d);
}

void refuseConflict()
{
    throw RpcError(code::Conflict, QStringLiteral("O registro foi alterado ou excluído por outro usuário. Recarregue os dados e tente novamente."));
}

QVariant Row::value(const char* name) const
{
    for (qsizetype i = 0; i < layout_.size(); ++i)
        if (layout_[i].name == QLatin1String(name))
            return at(i);
    return {};
}

Changes decodeChanges(const QJsonArray& params, const char* method, const FieldDefs& layout, const FieldDefs* accepted)
{
    if (params.size() != 1 || !params[0].isObject())
        throw RpcError(code::InvalidParams, QStringLiteral("O método %1 espera um pacote de alterações.").arg(QLatin1String(method)));
    Changes c;
    c.layout = layout;
    try {
        c.packet = packet::decodeChanges(params[0].toObject(), accepted ? accepted : &layout);
    } catch (const PacketError& e) {
        throw RpcError(code::InvalidParams, e.message());
    }
    // PostgreSQL takes texts NUL-terminated: a NUL would cut the text short
    // and store something other than what was accepted.
    for (const Change& ch : c.packet.changes)
        for (const RowValues* values : {&ch.oldValues, &ch.newValues})
            for (const QVariant& v : *values)
                if (v.typeId() == QMetaType::QString && v.toString().contains(QChar(0)))
                    throw RpcError(code::InvalidParams, QStringLiteral("Pacote de dados inválido: um texto contém o caractere nulo."));
    for (const FieldDef& f : layout) {
        const int i = c.packet.indexOf(f.name);
        if (i < 0)
            throw RpcError(code::InvalidParams, QStringLiteral("Pacote de dados inválido: o campo %1 está ausente.").arg(f.name));
        c.index.push_back(i);
    }
    return c;
}

} // namespace erp::server

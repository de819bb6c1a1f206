// SPDX-License-Identifier: MIT
#include "rpc.h"

#include "paramservice.h"

#include "contract/paramirpj.h"
#include "platform/errors.h"
#include "platform/jsonreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>

namespace erp::server {

bool nestingWithin(const std::string& json, int maxDepth)
{
    int depth = 0;
    bool inString = false, escaped = false;
    for (const char c : json) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"': inString = true; break;
        case '[':
        case '{':
            if (++depth > maxDepth)
                return false;
            break;
        case ']':
        case '}': --depth; break;
        default: break;
        }
    }
    return true;
}

namespace {

// Walks one value of JSON already accepted by the parser; false when an
// object names a member twice.
bool walkDistinct(JsonReader& r)
{
    switch (r.peek()) {
    case '{': {
        r.expect('{');
        if (r.consume('}'))
            return true;
        QSet<QString> seen;
        do {
            const QString key = r.readString();
            if (seen.contains(key))
                return false;
            seen.insert(key);
            r.expect(':');
            if (!walkDistinct(r))
                return false;
        } while (r.consume(','));
        r.expect('}');
        return true;
    }
    case '[':
        r.expect('[');
        if (r.consume(']'))
            return true;
        do {
            if (!walkDistinct(r))
                return false;
        } while (r.consume(','));
        r.expect(']');
        return true;
    default: r.skipValue(0); return true;
    }
}

bool isJsonScalar(const std::string& json)
{
    JsonReader r(QByteArrayView(json.data(), qsizetype(json.size())));
    try {
        const char c = r.peek();
        if (c == '{' || c == '[' || c == '\0')
            return false;
        r.readValue(0);
        return r.atEnd();
    } catch (const PacketError&) {
        return false;
    }
}

} // namespace

bool membersDistinct(const std::string& json)
{
    JsonReader r(QByteArrayView(json.data(), qsizetype(json.size())));
    try {
        return walkDistinct(r);
    } catch (const PacketError&) {
        return false;
    }
}

namespace {

QByteArray answer(const QJsonValue& id, const char* key, const QJsonValue& value)
{
    QJsonObject o{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")}, {QStringLiteral("id"), id}, {QLatin1String(key), value}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

RpcAnswer failure(RpcAnswer a, const QJsonValue& id, int code, const QString& message, std::string internal = {})
{
    a.body = answer(id, "error", QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}});
    a.outcome = QStringLiteral("erro %1").arg(code);
    a.internal = std::move(internal);
    return a;
}

} // namespace

RpcAnswer handleRpc(const std::string& object, const std::string& body, Db& db, const RpcContext& /*context*/)
{
    RpcAnswer a;
    const QJsonValue nullId(QJsonValue::Null);
    if (!nestingWithin(body, kMaxJsonDepth))
        return failure(a, nullId, code::InvalidRequest, QStringLiteral("A requisição tem níveis de aninhamento demais."));
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), qsizetype(body.size())), &err);
    if (err.error != QJsonParseError::NoError) {
        // The parser takes only objects and arrays at the top; a lone text,
        // number or literal is valid JSON but no request.
        if (isJsonScalar(body))
            return failure(a, nullId, code::InvalidRequest, QStringLiteral("A requisição deve ser um objeto JSON-RPC 2.0 (lotes não são aceitos)."));
        return failure(a, nullId, code::ParseError, QStringLiteral("A requisição não é um JSON válido."));
    }
    if (!doc.isObject())
        return failure(a, nullId, code::InvalidRequest, QStringLiteral("A requisição deve ser um objeto JSON-RPC 2.0 (lotes não são aceitos)."));
    // The parser keeps the last of repeated members silently; a request that
    // could be read two ways is refused instead.
    if (!membersDistinct(body))
        return failure(a, nullId, code::InvalidRequest, QStringLiteral("A requisição repete o nome de um membro em um objeto JSON."));
    const QJsonObject req = doc.object();
    const bool notification = !req.contains(QLatin1String("id"));
    const QJsonValue id = req.value(QLatin1String("id"));
    if (!notification && !id.isString() && !id.isDouble() && !id.isNull())
        return failure(a, nullId, code::InvalidRequest, QStringLiteral("O identificador da requisição é inválido."));
    const QJsonValue method = req.value(QLatin1String("method"));
    if (req.value(QLatin1String("jsonrpc")) != QLatin1String("2.0") || !method.isString())
        return failure(a, id, code::InvalidRequest, QStringLiteral("A requisição não segue o protocolo JSON-RPC 2.0."));
    a.method = method.toString().left(100);
    const QJsonValue params = req.value(QLatin1String("params"));
    if (!params.isUndefined() && !params.isArray())
        return failure(a, id, code::InvalidParams, QStringLiteral("Os parâmetros devem ser posicionais (uma lista)."));
    if (object != contract::kServerObject)
        return failure(a, id, code::MethodNotFound, QStringLiteral("Objeto de servidor desconhecido."));
    try {
        ParamService service(db);
        const QJsonValue result = service.call(method.toString(), params.toArray());
        a.outcome = QStringLiteral("ok");
        if (!notification)
            a.body = answer(id, "result", result);
        return a;
    } catch (const RpcError& e) {
        RpcAnswer f = failure(a, id, e.code(), e.message(), e.internal());
        if (notification)
            f.body.clear();
        return f;
    } catch (const std::exception& e) {
        RpcAnswer f = failure(a, id, code::Storage, QStringLiteral("Falha interna do servidor de aplicação. Tente novamente."), e.what());
        if (notification)
            f.body.clear();
        return f;
    }
}

} // namespace erp::server

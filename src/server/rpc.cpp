// SPDX-License-Identifier: MIT
#include "rpc.h"

#include "idempotency.h"
#include "paramservice.h"

#include "contract/paramirpj.h"
#include "wire/errors.h"
#include "wire/jsonreader.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <optional>

namespace erp::server {

RequestBody readRequestBody(std::string_view body)
{
    using Outcome = RequestBody::Outcome;
    RequestBody out;
    const QByteArrayView bytes(body.data(), qsizetype(body.size()));
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        out.outcome = Outcome::ByteOrderMark;
        return out;
    }
    if (!bytes.isValidUtf8()) {
        out.outcome = Outcome::NotUtf8;
        return out;
    }
    // The project's reader checks the text strictly; QJsonDocument, which
    // would read more than JSON, then builds the tree of a text already
    // known to be JSON, faster than the reader would.
    JsonReader r(bytes);
    const bool object = r.peek() == '{';
    try {
        r.checkValue(kMaxJsonDepth);
        if (!r.atEnd())
            r.fail("conteúdo após o fim do valor");
    } catch (const JsonTooDeep&) {
        out.outcome = Outcome::TooDeep;
        return out;
    } catch (const PacketError&) {
        out.outcome = Outcome::NotJson;
        out.offset = r.offset();
        return out;
    }
    if (r.repeatedMember()) {
        out.outcome = Outcome::RepeatedMember;
        return out;
    }
    out.outcome = Outcome::Json;
    if (object) {
        QJsonParseError error;
        out.value = QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), qsizetype(body.size())), &error).object();
        if (error.error != QJsonParseError::NoError) {
            out.outcome = Outcome::NotJson; // not expected of a checked text
            out.offset = error.offset;
        }
    }
    return out;
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

// A refusal outside JSON-RPC: an HTTP status with the front's JSON error body.
RpcAnswer httpRefusal(RpcAnswer a, int status, const QString& message)
{
    a.httpStatus = status;
    a.body = QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact);
    a.outcome = QStringLiteral("http %1").arg(status);
    return a;
}

// A keyed save that did not commit here may have been committed by an earlier
// request with the same key (or by a twin running beside it, whose commit
// made this one fail): then that request's answer stands.
std::optional<RpcAnswer> answerFromKey(RpcAnswer a, Db& db, const std::string& key, const QByteArray& fingerprint)
{
    std::optional<idempotency::Stored> stored;
    try {
        stored = idempotency::recall(db, key);
    } catch (const std::exception&) {
        return std::nullopt; // the database is away: the failure itself is the answer
    }
    if (!stored)
        return std::nullopt;
    a.internal.clear();
    if (stored->fingerprint != fingerprint)
        return httpRefusal(a, 422, QStringLiteral("A chave Idempotency-Key já foi usada em outra requisição."));
    a.body = stored->answer;
    a.outcome = QStringLiteral("ok (repetição)");
    return a;
}

} // namespace

RpcAnswer handleRpc(const std::string& object, const std::string& body, Db& db, const RpcContext& context)
{
    RpcAnswer a;
    const std::string& key = context.idempotencyKey;
    if (!key.empty() && !idempotency::validKey(key))
        return httpRefusal(a, 400, QStringLiteral("O cabeçalho Idempotency-Key deve ter de 1 a 64 caracteres, sem caracteres de controle."));

    using Outcome = RequestBody::Outcome;
    const QJsonValue nullId(QJsonValue::Null);
    const RequestBody in = readRequestBody(body);
    switch (in.outcome) {
    case Outcome::ByteOrderMark:
        return failure(a, nullId, code::ParseError,
                       QStringLiteral("A requisição começa com uma marca de ordem de bytes (BOM), que o JSON não admite: envie o texto em UTF-8 sem ela."));
    case Outcome::NotUtf8: return failure(a, nullId, code::ParseError, QStringLiteral("A requisição não está codificada em UTF-8."));
    case Outcome::NotJson: return failure(a, nullId, code::ParseError, QStringLiteral("A requisição não é um JSON válido (posição %1).").arg(in.offset));
    case Outcome::TooDeep: return failure(a, nullId, code::InvalidRequest, QStringLiteral("A requisição tem níveis de aninhamento demais."));
    case Outcome::RepeatedMember:
        // A request that could be read two ways is refused.
        return failure(a, nullId, code::InvalidRequest, QStringLiteral("A requisição repete o nome de um membro em um objeto JSON."));
    case Outcome::Json: break;
    }
    if (!in.value.isObject())
        return failure(a, nullId, code::InvalidRequest, QStringLiteral("A requisição deve ser um objeto JSON-RPC 2.0 (lotes não são aceitos)."));
    const QJsonObject req = in.value.toObject();
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

    // Reads and sequence numbers ignore a key: repeating them applies nothing.
    const bool keyed = !key.empty() && contract::changesParameters(method.toString());
    const QByteArray fingerprint = keyed ? idempotency::fingerprint(object, body) : QByteArray();
    std::optional<QByteArray> stored;
    ParamService::BeforeCommit rememberKey;
    if (keyed) {
        rememberKey = [&](const QJsonValue& result) {
            QByteArray first = notification ? QByteArray() : answer(id, "result", result);
            idempotency::remember(db, key, fingerprint, first, QDateTime::currentSecsSinceEpoch());
            stored = std::move(first);
        };
    }
    auto failed = [&](int code, const QString& message, std::string internal) {
        if (keyed)
            if (std::optional<RpcAnswer> first = answerFromKey(a, db, key, fingerprint))
                return *first;
        RpcAnswer f = failure(a, id, code, message, std::move(internal));
        if (notification)
            f.body.clear();
        return f;
    };
    try {
        ParamService service(db, context.caller, keyed ? QString::fromStdString(key) : QString());
        const QJsonValue result = service.call(method.toString(), params.toArray(), rememberKey);
        a.outcome = QStringLiteral("ok");
        if (stored)
            a.body = *stored;
        else if (!notification)
            a.body = answer(id, "result", result);
        return a;
    } catch (const RpcError& e) {
        return failed(e.code(), e.message(), e.internal());
    } catch (const std::exception& e) {
        return failed(code::Storage, QStringLiteral("Falha interna do servidor de aplicação. Tente novamente."), e.what());
    }
}

} // namespace erp::server

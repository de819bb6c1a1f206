// SPDX-License-Identifier: MIT
#include "idempotency.h"

#include <QCryptographicHash>
#include <QString>

namespace erp::server::idempotency {

bool validKey(const std::string& key)
{
    const QByteArrayView bytes(key.data(), qsizetype(key.size()));
    if (key.empty() || !bytes.isValidUtf8())
        return false;
    const QString text = QString::fromUtf8(bytes);
    qsizetype characters = 0;
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x20 || (c >= 0x7f && c < 0xa0))
            return false;
        ++characters;
    }
    return characters <= 64;
}

QByteArray fingerprint(const std::string& object, const std::string& body)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(QByteArrayView(object.data(), qsizetype(object.size())));
    h.addData(QByteArrayView("\n", 1));
    h.addData(QByteArrayView(body.data(), qsizetype(body.size())));
    return h.result().toHex();
}

void remember(Db& db, const std::string& key, const QByteArray& fingerprint, const QByteArray& answer, long long now)
{
    static const std::string insert = "INSERT INTO REQUISICAOAPLICADA (CDCHAVE, DSRESUMO, DSRESPOSTA, DTAPLICACAO) VALUES (?, ?, ?, ?)";
    static const std::string expired = "SELECT CDCHAVE FROM REQUISICAOAPLICADA WHERE DTAPLICACAO < ? ORDER BY DTAPLICACAO LIMIT 2";
    const QVariant before = qlonglong(now - kKeepSeconds);
    const SqlParams row{QString::fromStdString(key), QString::fromLatin1(fingerprint), QString::fromUtf8(answer), qlonglong(now)};
    // Two expired keys go with every new one: the table never holds much
    // more than a day of saves, and no save pays for a large purge.
    if (db.dialect() == Dialect::Postgres) {
        // One round trip; SKIP LOCKED keeps two servers off each other's purge.
        static const std::string purgeAndInsert = "WITH VENCIDAS AS (DELETE FROM REQUISICAOAPLICADA WHERE CDCHAVE IN (" + expired +
                                                  " FOR UPDATE SKIP LOCKED)) " + insert;
        SqlParams params{before};
        params.insert(params.end(), row.begin(), row.end());
        db.exec(purgeAndInsert, params);
        return;
    }
    static const std::string purge = "DELETE FROM REQUISICAOAPLICADA WHERE CDCHAVE IN (" + expired + ")";
    db.exec(purge, {before});
    db.exec(insert, row);
}

std::optional<Stored> recall(Db& db, const std::string& key)
{
    const SqlRows rows = db.query("SELECT DSRESUMO, DSRESPOSTA FROM REQUISICAOAPLICADA WHERE CDCHAVE = ?", {QString::fromStdString(key)});
    if (rows.empty())
        return std::nullopt;
    return Stored{rows[0][0].toString().toLatin1(), rows[0][1].toString().toUtf8()};
}

} // namespace erp::server::idempotency

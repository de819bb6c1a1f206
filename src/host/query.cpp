// SPDX-License-Identifier: MIT
#include "query.h"

#include "wire/errors.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUrlQuery>
#include <QtDebug>

namespace erp::host {

namespace {
[[noreturn]] void failDatabase(const QString& what, const QSqlError& e)
{
    // The user gets the sentence; stderr gets it too, with the library's own
    // words on a line after it.
    qWarning("%s\n  detalhe: %s", qPrintable(what), qPrintable(e.text()));
    throw Error(what);
}

// The parameters of a postgresql:// URL's query (passfile, sslmode,
// connect_timeout...) as the driver's connect options, quoted for libpq.
QString connectOptions(const QUrl& u)
{
    QStringList options;
    for (const auto& [key, value] : QUrlQuery(u).queryItems(QUrl::FullyDecoded)) {
        // The driver turns ';' into a separator.
        if (value.contains(u';') || key.contains(u';') || key.contains(u'='))
            throw Error(QStringLiteral("Parâmetro inválido na URL do banco de dados: %1.").arg(key));
        QString quoted = value;
        quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
        options << key + QStringLiteral("='") + quoted + u'\'';
    }
    return options.join(u';');
}
} // namespace

void openSharedConnection(const QString& url)
{
    closeSharedConnection();
    const QString name = QString::fromLatin1(kSharedConnection);
    if (url.startsWith(QLatin1String("sqlite:"))) {
        const QString path = url.mid(7);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            failDatabase(QStringLiteral("Não foi possível abrir o banco de dados %1.").arg(path), db.lastError());
        return;
    }
    const QUrl u(url);
    if (u.scheme() == QLatin1String("postgresql") || u.scheme() == QLatin1String("postgres")) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(u.host());
        db.setPort(u.port(5432));
        db.setUserName(u.userName());
        db.setPassword(u.password());
        db.setDatabaseName(u.path().mid(1));
        db.setConnectOptions(connectOptions(u));
        if (!db.open())
            failDatabase(QStringLiteral("Não foi possível conectar ao banco de dados em %1.").arg(u.host()), db.lastError());
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")))
            failDatabase(QStringLiteral("Não foi possível tornar a conexão somente leitura."), q.lastError());
        return;
    }
    throw Error(QStringLiteral("Endereço de banco de dados inválido: %1 (use sqlite:ARQUIVO ou postgresql://...).").arg(url));
}

void closeSharedConnection()
{
    const QString name = QString::fromLatin1(kSharedConnection);
    if (!QSqlDatabase::contains(name))
        return;
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
}

TADOIBQuery::TADOIBQuery(const QString& name, QObject* parent) : DataSet(name, parent)
{
}

void TADOIBQuery::open()
{
    QSqlDatabase db = QSqlDatabase::database(QString::fromLatin1(kSharedConnection), false);
    if (!db.isValid() || !db.isOpen())
        throw Error(QStringLiteral("A conexão com o banco de dados não está aberta."));
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql_.join(u'\n')))
        failDatabase(QStringLiteral("Falha ao preparar a consulta %1.").arg(objectName()), q.lastError());
    for (auto it = params_.cbegin(); it != params_.cend(); ++it)
        q.bindValue(u':' + it.key(), it.value());
    if (!q.exec())
        failDatabase(QStringLiteral("Falha ao consultar o banco de dados (%1).").arg(objectName()), q.lastError());

    DataPacket p;
    const QSqlRecord rec = q.record();
    std::vector<int> columns;
    for (const FieldDef& def : fieldDefs()) {
        const int c = rec.indexOf(def.name);
        if (c < 0)
            continue;
        p.fields.append(def);
        columns.push_back(c);
    }
    while (q.next()) {
        RowValues row;
        row.reserve(qsizetype(columns.size()));
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const QVariant v = q.value(columns[i]);
            // Fixed-width text columns come back padded.
            row.append(v.isNull() ? QVariant() : p.fields[qsizetype(i)].type == FieldType::String ? QVariant(v.toString().trimmed()) : v);
        }
        p.rows.push_back(std::move(row));
    }
    if (q.lastError().isValid())
        failDatabase(QStringLiteral("Falha ao ler o resultado da consulta %1.").arg(objectName()), q.lastError());
    loadPacket(p);
}

} // namespace erp::host

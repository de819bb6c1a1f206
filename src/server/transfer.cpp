// SPDX-License-Identifier: MIT
#include "transfer.h"

#include "history.h"
#include "log.h"
#include "options.h"
#include "paramservice.h"
#include "rpc.h"
#include "schema.h"
#include "sqlitefile.h"
#include "tablesql.h"

#include "contract/paramirpj.h"
#include "contract/tables.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <iostream>
#include <optional>

namespace erp::server {

namespace {

namespace f = contract::f;
namespace letter = contract::letter;
namespace m = contract::method;

// Far above any company (10,000 rows take about 2 MB), and a bound on what
// a file can make the program hold.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

const QString kFormatKey = QStringLiteral("format");
const QString kVersionKey = QStringLiteral("version");
const QString kDateKey = QStringLiteral("date");
const QString kCompanyKey = QStringLiteral("company");

// The packets of a document: its member, the layout, and the tax its rows
// must belong to (ParamApu only).
struct Member {
    const char* name;
    FieldDefs (*layout)();
    char tax;
};
constexpr Member kMembers[] = {{m::GetParamIRPJ, contract::paramApuLayout, letter::imposto::IRPJ},
                               {m::GetParamCSLL, contract::paramApuLayout, letter::imposto::CSLL},
                               {m::getRecDesp, contract::recDespLayout, 0},
                               {m::getInfCtbIRPJ, contract::infCtbLayout, 0}};

[[noreturn]] void refuse(const QString& message)
{
    throw TransferError(message);
}

DataPacket rowsOfTax(const DataPacket& paramApu, char tax)
{
    DataPacket p{paramApu.fields, {}};
    const int column = paramApu.indexOf(QLatin1String(f::IDIMPOSTO));
    for (const RowValues& r : paramApu.rows)
        if (r[column].toString() == contract::letterText(tax))
            p.rows.push_back(r);
    return p;
}

// A member's packet, checked against its layout and put in layout order.
DataPacket readPacket(const QJsonObject& document, const Member& member)
{
    const QJsonValue value = document.value(QLatin1String(member.name));
    if (!value.isObject())
        refuse(QStringLiteral("o arquivo não traz o pacote %1").arg(QLatin1String(member.name)));
    const FieldDefs layout = member.layout();
    DataPacket p;
    try {
        p = packet::decodeData(value.toObject(), &layout);
    } catch (const PacketError& e) {
        refuse(QStringLiteral("o pacote %1 do arquivo é inválido: %2").arg(QLatin1String(member.name), e.message()));
    }
    std::vector<int> from;
    for (const FieldDef& field : layout) {
        const int i = p.indexOf(field.name);
        if (i < 0)
            refuse(QStringLiteral("o pacote %1 do arquivo não traz o campo %2").arg(QLatin1String(member.name), field.name));
        from.push_back(i);
    }
    DataPacket ordered{layout, {}};
    ordered.rows.reserve(p.rows.size());
    for (std::size_t row = 0; row < p.rows.size(); ++row) {
        RowValues v;
        v.reserve(layout.size());
        for (const int i : from) {
            const QVariant& cell = p.rows[row][i];
            // PostgreSQL takes texts NUL-terminated, as the saves know.
            if (cell.typeId() == QMetaType::QString && cell.toString().contains(QChar(0)))
                refuse(QStringLiteral("a linha %1 do pacote %2 do arquivo contém o caractere nulo").arg(row + 1).arg(QLatin1String(member.name)));
            v.append(cell);
        }
        ordered.rows.push_back(std::move(v));
    }
    return ordered;
}

// A parent row as the operator recognises it in a message.
QString describe(const DataPacket& p, const RowValues& row)
{
    const int name = p.indexOf(QLatin1String(f::NMPARAMAPU));
    if (name >= 0)
        return QStringLiteral("o registro \"%1\" do %2")
            .arg(row[name].toString(), row[p.indexOf(QLatin1String(f::IDIMPOSTO))].toString() == contract::letterText(letter::imposto::CSLL)
                                           ? QStringLiteral("CSLL")
                                           : QStringLiteral("IRPJ"));
    return QStringLiteral("o item do lucro líquido \"%1\"").arg(row[p.indexOf(QLatin1String(f::NMRECDESPIRPJ))].toString());
}

// The number of a row that names it in the file: whole and positive.
long long rowNumber(const DataPacket& p, const RowValues& row, const char* field, const char* member, std::size_t at)
{
    const QVariant v = row[p.indexOf(QLatin1String(field))];
    const auto n = v.isValid() ? wholeNumber(v.toDouble()) : std::nullopt;
    if (!n || *n < 1)
        refuse(QStringLiteral("a linha %1 do pacote %2 do arquivo não tem um número de registro válido em %3").arg(at + 1).arg(QLatin1String(member), QLatin1String(field)));
    return *n;
}

// Every row of the file against what a save of a new row would check, in
// the target company.
void checkRows(Db& db, CompanyParameters& rows, const QString& company)
{
    const auto check = [&](const contract::TableDef& table, DataPacket& p, const std::function<QString(const RowValues&)>& named) {
        const int companyColumn = table.company ? p.indexOf(QLatin1String(table.company)) : -1;
        for (RowValues& r : p.rows) {
            if (companyColumn >= 0)
                r[companyColumn] = company;
            try {
                checkNewRowContent(db, table, Row(p.fields, r));
            } catch (const RpcError& e) {
                refuse(QStringLiteral("%1: %2").arg(named(r), e.message()));
            }
        }
    };
    check(contract::paramApuTable(), rows.paramApu, [&](const RowValues& r) { return describe(rows.paramApu, r); });
    check(contract::recDespTable(), rows.recDesp, [&](const RowValues& r) { return describe(rows.recDesp, r); });
    check(contract::infCtbTable(), rows.infCtb, [&](const RowValues& r) {
        return QStringLiteral("a informação contábil %1 do registro %2")
            .arg(r[rows.infCtb.indexOf(QLatin1String(f::CHAVE))].toString(), QString::number(r[rows.infCtb.indexOf(QLatin1String(f::NRSEQPARAMAPU))].toDouble()));
    });
}

// Opens the database of a run mode: a SQLite file must exist (nothing is
// created for a mistyped name) and be held against a restore meanwhile; the
// schema is brought up to date as the server does when it starts.
struct Opened {
    std::optional<SqliteHold> hold;
    std::unique_ptr<Db> db;
};

Opened openForTask(const std::string& url)
{
    Opened o;
    if (const std::optional<std::string> path = sqlitePath(url)) {
        checkSqliteOwner(*path);
        struct stat st{};
        if (::stat(path->c_str(), &st) != 0)
            refuse(QStringLiteral("o banco %1 não existe").arg(QString::fromStdString(*path)));
        o.hold = SqliteHold::take(*path, SqliteHold::Kind::Serving);
        if (!o.hold)
            refuse(QStringLiteral("o banco %1 está sendo restaurado (erp-server --restore); repita quando a restauração terminar")
                       .arg(QString::fromStdString(*path)));
    }
    o.db = openDatabase(url);
    migrate(*o.db);
    return o;
}

// Runs a task, telling the operator what failed as the other run modes do.
template <class Task>
int runTask(const std::string& what, Task task)
{
    try {
        task();
        return 0;
    } catch (const TransferError& e) {
        reportFailure(std::string(e.what()) + "; nada foi gravado.");
        return 1;
    } catch (const StartError& e) {
        reportFailure(std::string(e.what()) + ".");
        return 2;
    } catch (const std::invalid_argument&) {
        reportFailure("URL de banco de dados inválida: use sqlite:ARQUIVO ou postgresql://...");
        return 2;
    } catch (const std::exception& e) {
        reportFailure(what + " falhou; nada foi gravado.", e.what());
        return 1;
    }
}

} // namespace

QByteArray exportDocument(Db& db, const QString& company)
{
    Transaction tx(db, false);
    if (!companyExists(db, company))
        refuse(QStringLiteral("a empresa %1 não está cadastrada").arg(company));
    const CompanyParameters rows = readCompanyParameters(db, company);
    tx.commit();
    QJsonObject document{
        {kFormatKey, QLatin1String(kTransferFormat)},
        {kVersionKey, kTransferVersion},
        {kDateKey, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {kCompanyKey, company},
        {QLatin1String(m::GetParamIRPJ), packet::toJson(rowsOfTax(rows.paramApu, letter::imposto::IRPJ))},
        {QLatin1String(m::GetParamCSLL), packet::toJson(rowsOfTax(rows.paramApu, letter::imposto::CSLL))},
        {QLatin1String(m::getRecDesp), packet::toJson(rows.recDesp)},
        {QLatin1String(m::getInfCtbIRPJ), packet::toJson(rows.infCtb)},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Compact) + '\n';
}

CompanyParameters readDocument(QByteArrayView text)
{
    const RequestBody body = readRequestBody(std::string_view(text.data(), std::size_t(text.size())));
    switch (body.outcome) {
    case RequestBody::Outcome::Json: break;
    case RequestBody::Outcome::ByteOrderMark: refuse(QStringLiteral("o arquivo começa com uma marca de ordem de bytes (BOM), que o JSON não admite"));
    case RequestBody::Outcome::NotUtf8: refuse(QStringLiteral("o arquivo não está codificado em UTF-8"));
    case RequestBody::Outcome::NotJson: refuse(QStringLiteral("o arquivo não é um JSON válido (posição %1)").arg(body.offset));
    case RequestBody::Outcome::TooDeep: refuse(QStringLiteral("o arquivo tem níveis de aninhamento demais"));
    case RequestBody::Outcome::RepeatedMember: refuse(QStringLiteral("o arquivo repete o nome de um membro em um objeto JSON"));
    }
    const QJsonObject document = body.value.toObject();
    if (document.value(kFormatKey).toString() != QLatin1String(kTransferFormat))
        refuse(QStringLiteral("o arquivo não é uma exportação de parâmetros do erp-server (erp-server --export)"));
    const QJsonValue version = document.value(kVersionKey);
    if (!version.isDouble() || version.toDouble() != std::trunc(version.toDouble()) || version.toDouble() < 1)
        refuse(QStringLiteral("o arquivo não informa uma versão de formato válida"));
    if (version.toDouble() > kTransferVersion)
        refuse(QStringLiteral("o arquivo está no formato versão %1, mais novo que o deste programa (%2); atualize o erp-server para importá-lo")
                   .arg(version.toDouble())
                   .arg(kTransferVersion));

    CompanyParameters rows;
    QSet<long long> parents;
    const auto numbered = [&](const DataPacket& p, const char* key, const char* member) {
        for (std::size_t i = 0; i < p.rows.size(); ++i)
            if (const long long n = rowNumber(p, p.rows[i], key, member, i); !parents.contains(n))
                parents.insert(n);
            else
                refuse(QStringLiteral("o número %1 aparece em mais de um registro do arquivo").arg(n));
    };
    for (const Member& member : kMembers) {
        DataPacket p = readPacket(document, member);
        if (member.tax) {
            const int tax = p.indexOf(QLatin1String(f::IDIMPOSTO));
            for (std::size_t i = 0; i < p.rows.size(); ++i)
                if (p.rows[i][tax].toString() != contract::letterText(member.tax))
                    refuse(QStringLiteral("a linha %1 do pacote %2 do arquivo é de outro imposto").arg(i + 1).arg(QLatin1String(member.name)));
            numbered(p, f::NRSEQPARAMAPU, member.name);
            if (rows.paramApu.fields.isEmpty())
                rows.paramApu = std::move(p);
            else
                rows.paramApu.rows.insert(rows.paramApu.rows.end(), p.rows.begin(), p.rows.end());
        } else if (member.layout == contract::recDespLayout) {
            numbered(p, f::NRSEQRECDESPIRPJ, member.name);
            rows.recDesp = std::move(p);
        } else {
            rows.infCtb = std::move(p);
        }
    }
    for (std::size_t i = 0; i < rows.infCtb.rows.size(); ++i)
        if (!parents.contains(rowNumber(rows.infCtb, rows.infCtb.rows[i], f::NRSEQPARAMAPU, m::getInfCtbIRPJ, i)))
            refuse(QStringLiteral("a linha %1 do pacote %2 do arquivo é de um registro que não está no arquivo").arg(i + 1).arg(QLatin1String(m::getInfCtbIRPJ)));
    return rows;
}

CopyCounts importParameters(Db& db, const CompanyParameters& file, const QString& company)
{
    Transaction tx(db, true);
    if (!companyExists(db, company))
        refuse(QStringLiteral("a empresa %1 não está cadastrada").arg(company));
    CompanyParameters rows = file;
    checkRows(db, rows, company);
    ParameterCopy plan(db, rows, company);
    const QString import = QStringLiteral("import");
    History history(db, Author{import, import, {}});
    plan.apply(history);
    tx.commit();
    return plan.counts();
}

int exportToFile(const std::string& url, const std::string& company, const std::string& file)
{
    return runTask("a exportação dos parâmetros da empresa " + company, [&] {
        Opened o = openForTask(url);
        const QByteArray document = exportDocument(*o.db, QString::fromStdString(company));
        const CompanyParameters rows = readDocument(document);
        QSaveFile out(QString::fromStdString(file));
        if (!out.open(QIODevice::WriteOnly) || out.write(document) != document.size() || !out.commit())
            throw std::runtime_error(file + ": " + out.errorString().toStdString());
        std::cout << "parâmetros da empresa " << company << " exportados para " << file << ": " << rows.paramApu.rows.size()
                  << " adições, exclusões e compensações, " << rows.recDesp.rows.size() << " itens do lucro líquido e " << rows.infCtb.rows.size()
                  << " informações contábeis" << std::endl;
    });
}

int importFromFile(const std::string& url, const std::string& company, const std::string& file)
{
    return runTask("a importação de " + file + " na empresa " + company, [&] {
        QFile in(QString::fromStdString(file));
        if (!in.open(QIODevice::ReadOnly))
            refuse(QStringLiteral("o arquivo %1 não pode ser lido (%2)").arg(QString::fromStdString(file), in.errorString()));
        if (in.size() > kMaxFileBytes)
            refuse(QStringLiteral("o arquivo %1 passa de %2 MB, mais do que uma exportação de parâmetros").arg(QString::fromStdString(file)).arg(kMaxFileBytes >> 20));
        const QByteArray text = in.readAll();
        const CompanyParameters rows = readDocument(text);
        Opened o = openForTask(url);
        const CopyCounts c = importParameters(*o.db, rows, QString::fromStdString(company));
        std::cout << "importação de " << file << " na empresa " << company << ":\n";
        for (std::size_t k = 0; k < kCopyKinds; ++k)
            std::cout << "  " << copyKindName(CopyKind(k)).toStdString() << ": gravados " << c.applied[k] << ", ignorados " << c.skipped[k] << "\n";
        std::cout << "total: gravados " << c.totalApplied() << ", ignorados " << c.totalSkipped()
                  << " (registros cuja chave a empresa ou o próprio arquivo já tinham, com suas informações contábeis)" << std::endl;
    });
}

} // namespace erp::server

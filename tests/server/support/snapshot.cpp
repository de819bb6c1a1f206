// SPDX-License-Identifier: MIT
#include "snapshot.h"

#include "contract/tables.h"
#include "schema.h"

namespace erp::testing {

std::vector<std::string> rowsAsText(server::Db& db, const std::string& sql)
{
    std::vector<std::string> out;
    for (const server::SqlRow& row : db.query(sql)) {
        std::string line;
        for (const QVariant& v : row)
            line += (v.isValid() ? v.toString().toStdString() : std::string("<null>")) + "|";
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> snapshot(const std::string& url)
{
    auto db = server::openDatabase(url);
    std::vector<std::string> out;
    auto add = [&](const std::string& sql) {
        out.push_back(sql);
        const std::vector<std::string> rows = rowsAsText(*db, sql);
        out.insert(out.end(), rows.begin(), rows.end());
    };
    for (const contract::TableDef* t : {&contract::empresaTable(), &contract::contCtblTable(), &contract::itensDRETable(), &contract::aliquotasTable(),
                                        &contract::apurPaiTable(), &contract::paramApuTable(), &contract::recDespTable(), &contract::infCtbTable(),
                                        &contract::paramApuEcfTable()}) {
        std::string order;
        for (const char* k : t->key)
            order += (order.empty() ? "" : ", ") + std::string(k);
        add(std::string("SELECT * FROM ") + t->name + " ORDER BY " + order);
    }
    add(std::string("SELECT * FROM ") + contract::t::INFCTBIRPJREMOVIDA + " ORDER BY " + contract::f::NRSEQINFCTBIRPJ);
    out.push_back("param " + std::to_string(server::lastIssued(*db, server::Series::Param)));
    out.push_back("infctb " + std::to_string(server::lastIssued(*db, server::Series::InfCtb)));
    return out;
}

} // namespace erp::testing

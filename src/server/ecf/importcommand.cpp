// SPDX-License-Identifier: MIT
#include "importcommand.h"

#include "importer.h"
#include "log.h"
#include "schema.h"
#include "sqlitefile.h"

#include <algorithm>
#include <iostream>
#include <map>

namespace erp::server {

namespace {

// "E 374, CNA 7, R 4, CA 1": the most frequent first.
std::string countsByKind(const ecf::Sheet& sheet)
{
    std::map<QString, int> counts;
    for (const ecf::Line& l : sheet.lines)
        ++counts[sheet.name == QLatin1String(ecf::kParteB) ? l.tax : l.kind];
    std::vector<std::pair<QString, int>> sorted(counts.begin(), counts.end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string out = sheet.name == QLatin1String(ecf::kParteB) ? "tributo " : "";
    for (std::size_t i = 0; i < sorted.size(); ++i)
        out += (i ? ", " : "") + sorted[i].first.toStdString() + " " + std::to_string(sorted[i].second);
    return out;
}

} // namespace

int importEcfCommand(const Options& opt)
{
    if (const std::optional<std::string> path = sqlitePath(opt.db)) {
        try {
            checkSqliteOwner(*path);
        } catch (const StartError& e) {
            reportFailure(std::string(e.what()) + ".");
            return 2;
        }
    }
    const QString file = QString::fromStdString(opt.importFile);
    try {
        std::unique_ptr<Db> db = openDatabase(opt.db);
        migrate(*db);
        const ecf::Imported done = ecf::importSpreadsheet(*db, file, QString::fromStdString(opt.ecfLayout));
        const ecf::Sheet& first = done.spreadsheet.sheets.front();
        std::cout << "leiaute " << done.layout.toStdString() << " importado de " << first.source.file.toStdString() << " (sha256 "
                  << first.source.sha256.toStdString() << ")" << (done.spreadsheet.wholeLayout ? "" : ", só esta tabela") << ":\n";
        std::size_t total = 0;
        for (const ecf::Sheet& sheet : done.spreadsheet.sheets) {
            std::cout << "  " << sheet.name.toStdString() << ": " << sheet.lines.size() << " linhas (" << countsByKind(sheet) << ")\n";
            total += sheet.lines.size();
        }
        std::cout << "  total: " << total << " linhas\n";
        if (done.codesNotFound > 0)
            std::cout << "aviso: " << done.codesNotFound
                      << " registro(s) de adições, exclusões e compensações têm um código da ECF que não está mais na tabela; "
                         "o código foi mantido e deve ser revisto na tela (Operação, Códigos da ECF).\n";
        return 0;
    } catch (const ecf::ImportError& e) {
        reportFailure(e.message().toStdString() + " Nada foi gravado.");
        return 1;
    } catch (const std::invalid_argument&) {
        reportFailure("URL de banco de dados inválida: use sqlite:ARQUIVO ou postgresql://...");
        return 2;
    } catch (const std::exception& e) {
        reportFailure("não foi possível gravar as tabelas da ECF; nada foi gravado.", e.what());
        return 1;
    }
}

} // namespace erp::server

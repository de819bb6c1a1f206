// SPDX-License-Identifier: MIT
#include "tables.h"

#include "paramirpj.h"

namespace erp::contract {

namespace {
bool named(QStringView column, const char* name)
{
    return name && column == QLatin1String(name);
}
} // namespace

bool TableDef::isWholeNumber(QStringView column) const
{
    if (named(column, parent))
        return true;
    for (const auto* list : {&key, &references})
        for (const char* n : *list)
            if (named(column, n))
                return fieldDef(n).type == FieldType::Float;
    return false;
}

const TableDef& empresaTable()
{
    static const TableDef d{.name = t::EMPRESA, .columns = empresaLayout(), .key = {f::CDEMPRESA}};
    return d;
}

const TableDef& contCtblTable()
{
    static const TableDef d{.name = t::CONTCTBL, .columns = contCtblLayout(), .key = {f::CDCONTCTBL}};
    return d;
}

const TableDef& itensDRETable()
{
    static const TableDef d{.name = t::ITEMESTRUDRE, .columns = itensDRELayout(), .key = {f::CDTIPODEMO, f::CDITEMSTRU}};
    return d;
}

// The packet adds the number as text for searching (NRSEQALIQIRPJPESQ); the
// table keeps the number alone.
const TableDef& aliquotasTable()
{
    static const TableDef d{
        .name = t::ALIQIRPJ,
        .columns = {fieldDef(f::NRSEQALIQIRPJ), fieldDef(f::DSALIQIRPJCSLL), fieldDef(f::VRALIQPRESCSLL), fieldDef(f::VRALIQPRESIRPJ)},
        .key = {f::NRSEQALIQIRPJ}};
    return d;
}

const TableDef& apurPaiTable()
{
    static const TableDef d{.name = t::APURPAI, .columns = {fieldDef(f::NRSEQPARAMAPU)}, .key = {f::NRSEQPARAMAPU}};
    return d;
}

const TableDef& paramApuTable()
{
    static const TableDef d{.name = t::PARAMAPUIRPJ,
                            .columns = paramApuLayout(),
                            .key = {f::NRSEQPARAMAPU},
                            .company = f::CDEMPRESA,
                            .folded = {{f::NMPARAMAPUCHV, {f::NMPARAMAPU}}}};
    return d;
}

const TableDef& recDespTable()
{
    static const TableDef d{.name = t::RECDESPIRPJ,
                            .columns = recDespLayout(),
                            .key = {f::NRSEQRECDESPIRPJ},
                            .company = f::CDEMPRESA,
                            .references = {f::NRSEQALIQIRPJ},
                            .folded = {{f::NMRECDESPIRPJCHV, {f::NMRECDESPIRPJ}}}};
    return d;
}

const TableDef& infCtbTable()
{
    static const TableDef d{.name = t::INFCTBIRPJ,
                            .columns = infCtbLayout(),
                            .key = {f::NRSEQINFCTBIRPJ},
                            .parent = f::NRSEQPARAMAPU,
                            .folded = {{f::CDINFCTBIRPJCHV, {f::CDTIPODEMO, f::CDINFCTBIRPJ}}}};
    return d;
}

} // namespace erp::contract

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
    if (named(column, parent) || named(column, serial))
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

// The row before and after travel as JSON objects of the row's fields
// (DSREGANTERIOR, DSREGNOVO); NRSEQPARAMAPU is the parent row the change
// belongs to (its own number for a parent row), and the company is the
// parent's.
const TableDef& historicoTable()
{
    static const TableDef d{.name = t::HISTORICOIRPJ,
                            .columns = {fieldDef(f::NRSEQHISTORICO), fieldDef(f::DTHISTORICO), fieldDef(f::NMUSUARIO), fieldDef(f::NMMETODO),
                                        fieldDef(f::NMTABELA), fieldDef(f::NRSEQREGISTRO), fieldDef(f::NRSEQPARAMAPU), fieldDef(f::CDEMPRESA),
                                        fieldDef(f::IDOPERACAO), fieldDef(f::DSREGANTERIOR), fieldDef(f::DSREGNOVO), fieldDef(f::CDCHAVE)},
                            .key = {f::NRSEQHISTORICO},
                            .company = f::CDEMPRESA,
                            .parent = f::NRSEQPARAMAPU,
                            .references = {f::NRSEQREGISTRO},
                            .serial = f::NRSEQHISTORICO};
    return d;
}

const TableDef& tabelaEcfTable()
{
    static const TableDef d{.name = t::TABELAECF,
                            .columns = {fieldDef(f::CDLEIAUTEECF), fieldDef(f::NMTABELAECF), fieldDef(f::NRLINHAECF), fieldDef(f::CDECF),
                                        fieldDef(f::DSECF), fieldDef(f::TPECF), fieldDef(f::TPLANCECF), fieldDef(f::IDTRIBUTOECF),
                                        fieldDef(f::DTINIECF), fieldDef(f::DTFIMECF)},
                            .key = {f::CDLEIAUTEECF, f::NMTABELAECF, f::NRLINHAECF}};
    return d;
}

const TableDef& fonteEcfTable()
{
    static const TableDef d{.name = t::FONTEECF,
                            .columns = {fieldDef(f::CDLEIAUTEECF), fieldDef(f::NMTABELAECF), fieldDef(f::NMARQUIVOECF), fieldDef(f::DSRESUMOECF),
                                        fieldDef(f::DSFONTEECF), fieldDef(f::DTCARGAECF)},
                            .key = {f::CDLEIAUTEECF, f::NMTABELAECF}};
    return d;
}

const TableDef& paramApuEcfTable()
{
    static const TableDef d{.name = t::PARAMAPUECF, .columns = {fieldDef(f::NRSEQPARAMAPU), fieldDef(f::CDECF)}, .key = {f::NRSEQPARAMAPU}};
    return d;
}

} // namespace erp::contract

// SPDX-License-Identifier: MIT
#include "paramirpj.h"

#include <QHash>

#include <stdexcept>

namespace erp::contract {

namespace {

constexpr FieldType kText = FieldType::String;
constexpr FieldType kFloat = FieldType::Float;
constexpr FieldType kInteger = FieldType::Integer;

// Every field once, with its type and (texts) size in characters.
const QHash<QString, FieldDef>& fields()
{
    static const QHash<QString, FieldDef> table = [] {
        const FieldDef all[] = {
            {f::NRSEQPARAMAPU, kFloat, 0},     {f::CDEMPRESA, kText, 2},        {f::NMPARAMAPU, kText, 200},
            {f::IDPARAMAPU, kText, 1},         {f::IDIMPOSTO, kText, 1},        {f::VRPORCENTAGEM, kFloat, 0},
            {f::IDFORMAPURITEM, kText, 1},     {f::NRSEQINFCTBIRPJ, kFloat, 0}, {f::IDINFCTBIRPJ, kText, 1},
            {f::CHAVE, kText, 22},             {f::CDINFCTBIRPJ, kText, 20},    {f::CDTIPODEMO, kText, 2},
            {f::NRSEQRECDESPIRPJ, kFloat, 0},  {f::NMRECDESPIRPJ, kText, 200},  {f::IDRECDESPIRPJ, kText, 1},
            {f::IDRECDESPIRPJOP, kText, 1},    {f::NRSEQALIQIRPJ, kFloat, 0},   {f::VRALIQPRESIRPJ, kFloat, 0},
            {f::VRALIQPRESCSLL, kFloat, 0},    {f::IDCONSVRDEB, kText, 1},      {f::CDITEMSTRU, kText, 4},
            {f::NMITEMSTRU, kText, 50},        {f::NRSEQALIQIRPJPESQ, kText, 7}, {f::DSALIQIRPJCSLL, kText, 1000},
            {f::NMEMPRESA, kText, 40},         {f::CDCONTCTBL, kText, 20},      {f::NMCONTCTBL, kText, 40},
            {f::NRSEQHISTORICO, kFloat, 0},    {f::DTHISTORICO, kInteger, 0},   {f::NMUSUARIO, kText, 40},
            {f::NMMETODO, kText, 30},          {f::NMTABELA, kText, 30},        {f::NRSEQREGISTRO, kFloat, 0},
            {f::IDOPERACAO, kText, 1},         {f::DSREGANTERIOR, kText, 4000}, {f::DSREGNOVO, kText, 4000},
            {f::CDCHAVE, kText, 64},           {f::DTALTERACAO, kText, 24},     {f::NMCAMPO, kText, 30},
            {f::DSANTERIOR, kText, 200},       {f::DSNOVO, kText, 200},
            {f::CDLEIAUTEECF, kText, 4},       {f::NMTABELAECF, kText, 20},     {f::NRLINHAECF, kInteger, 0},
            {f::CDECF, kText, 20},             {f::DSECF, kText, 1000},         {f::TPECF, kText, 3},
            {f::TPLANCECF, kText, 1},          {f::IDTRIBUTOECF, kText, 1},     {f::DTINIECF, kText, 10},
            {f::DTFIMECF, kText, 10},          {f::NMARQUIVOECF, kText, 255},   {f::DSRESUMOECF, kText, 64},
            {f::DSFONTEECF, kText, 1000},      {f::DTCARGAECF, kInteger, 0},
            {f::DSTIPO, kText, 60},            {f::QTCOPIAR, kInteger, 0},      {f::QTIGNORAR, kInteger, 0},
            {f::CDVERIFICACAO, kText, 30},     {f::IDGRAVIDADE, kText, 1},      {f::DSMENSAGEM, kText, 1000},
            {f::DSREFERENCIA, kText, 200},
        };
        QHash<QString, FieldDef> byName;
        for (const FieldDef& d : all)
            byName.insert(d.name, d);
        return byName;
    }();
    return table;
}

FieldDefs layout(std::initializer_list<const char*> names)
{
    FieldDefs defs;
    defs.reserve(qsizetype(names.size()));
    for (const char* name : names)
        defs.append(fieldDef(name));
    return defs;
}

} // namespace

QString fieldList(std::initializer_list<const char*> names)
{
    QString list;
    for (const char* name : names) {
        if (!list.isEmpty())
            list += u';';
        list += QLatin1String(name);
    }
    return list;
}

const FieldDef& fieldDef(const char* name)
{
    const auto& table = fields();
    const auto it = table.find(QLatin1String(name));
    if (it == table.end())
        throw std::logic_error(std::string("field not in the contract: ") + name);
    return it.value();
}

bool changesParameters(QStringView m)
{
    return m == QLatin1String(method::SetParamIRPJ) || m == QLatin1String(method::SetInfCtbIRPJ) || m == QLatin1String(method::setRecDesp) ||
           m == QLatin1String(method::setDeleteInfCtb) || m == QLatin1String(method::setCodECF) ||
           m == QLatin1String(method::copiaParamIRPJ);
}

// Built once: a layout is asked for on every read and save.
FieldDefs paramApuLayout()
{
    static const FieldDefs l = layout({f::NRSEQPARAMAPU, f::CDEMPRESA, f::NMPARAMAPU, f::IDPARAMAPU, f::IDIMPOSTO, f::VRPORCENTAGEM});
    return l;
}

FieldDefs infCtbLayout()
{
    static const FieldDefs l =
        layout({f::IDFORMAPURITEM, f::NRSEQPARAMAPU, f::NRSEQINFCTBIRPJ, f::IDINFCTBIRPJ, f::CHAVE, f::CDINFCTBIRPJ, f::CDTIPODEMO});
    return l;
}

FieldDefs recDespLayout()
{
    static const FieldDefs l = layout({f::NRSEQRECDESPIRPJ, f::CDEMPRESA, f::NMRECDESPIRPJ, f::IDRECDESPIRPJ, f::IDRECDESPIRPJOP,
                                       f::NRSEQALIQIRPJ, f::VRALIQPRESIRPJ, f::VRALIQPRESCSLL, f::IDCONSVRDEB});
    return l;
}

FieldDefs itensDRELayout()
{
    static const FieldDefs l = layout({f::CDTIPODEMO, f::CDITEMSTRU, f::NMITEMSTRU});
    return l;
}

FieldDefs aliquotasLayout()
{
    static const FieldDefs l = layout({f::NRSEQALIQIRPJ, f::NRSEQALIQIRPJPESQ, f::DSALIQIRPJCSLL, f::VRALIQPRESCSLL, f::VRALIQPRESIRPJ});
    return l;
}

FieldDefs empresaLayout()
{
    static const FieldDefs l = layout({f::CDEMPRESA, f::NMEMPRESA});
    return l;
}

FieldDefs contCtblLayout()
{
    static const FieldDefs l = layout({f::CDCONTCTBL, f::NMCONTCTBL});
    return l;
}

FieldDefs historicoLayout()
{
    static const FieldDefs l = layout({f::DTALTERACAO, f::NMUSUARIO, f::IDOPERACAO, f::NMTABELA, f::NRSEQREGISTRO, f::NMCAMPO, f::DSANTERIOR, f::DSNOVO});
    return l;
}

FieldDefs tabelaEcfLayout()
{
    static const FieldDefs l = layout({f::CDECF, f::DSECF, f::TPECF, f::TPLANCECF, f::DTINIECF, f::DTFIMECF});
    return l;
}

FieldDefs codEcfLayout()
{
    static const FieldDefs l = layout({f::NRSEQPARAMAPU, f::CDECF, f::DSECF, f::DTINIECF, f::DTFIMECF});
    return l;
}

FieldDefs previaCopiaLayout()
{
    static const FieldDefs l = layout({f::DSTIPO, f::QTCOPIAR, f::QTIGNORAR});
    return l;
}

FieldDefs verificacaoLayout()
{
    static const FieldDefs l =
        layout({f::CDVERIFICACAO, f::IDGRAVIDADE, f::IDIMPOSTO, f::NMTABELA, f::NRSEQREGISTRO, f::DSMENSAGEM, f::DSREFERENCIA});
    return l;
}

} // namespace erp::contract

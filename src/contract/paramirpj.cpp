// SPDX-License-Identifier: MIT
#include "paramirpj.h"

namespace erp::contract {

namespace {
constexpr FieldType kText = FieldType::String;
constexpr FieldType kFloat = FieldType::Float;
} // namespace

bool changesParameters(QStringView m)
{
    return m == QLatin1String(method::SetParamIRPJ) || m == QLatin1String(method::SetInfCtbIRPJ) || m == QLatin1String(method::setRecDesp) ||
           m == QLatin1String(method::setDeleteInfCtb);
}

FieldDefs paramApuLayout()
{
    return {{"NRSEQPARAMAPU", kFloat, 0}, {"CDEMPRESA", kText, 2}, {"NMPARAMAPU", kText, 200},
            {"IDPARAMAPU", kText, 1},     {"IDIMPOSTO", kText, 1}, {"VRPORCENTAGEM", kFloat, 0}};
}

FieldDefs infCtbLayout()
{
    return {{"IDFORMAPURITEM", kText, 1}, {"NRSEQPARAMAPU", kFloat, 0}, {"NRSEQINFCTBIRPJ", kFloat, 0}, {"IDINFCTBIRPJ", kText, 1},
            {"CHAVE", kText, 22},         {"CDINFCTBIRPJ", kText, 20},  {"CDTIPODEMO", kText, 2}};
}

FieldDefs recDespLayout()
{
    return {{"NRSEQRECDESPIRPJ", kFloat, 0}, {"CDEMPRESA", kText, 2},     {"NMRECDESPIRPJ", kText, 200},
            {"IDRECDESPIRPJ", kText, 1},     {"IDRECDESPIRPJOP", kText, 1}, {"NRSEQALIQIRPJ", kFloat, 0},
            {"VRALIQPRESIRPJ", kFloat, 0},   {"VRALIQPRESCSLL", kFloat, 0}, {"IDCONSVRDEB", kText, 1}};
}

FieldDefs itensDRELayout()
{
    return {{"CDTIPODEMO", kText, 2}, {"CDITEMSTRU", kText, 4}, {"NMITEMSTRU", kText, 50}};
}

FieldDefs aliquotasLayout()
{
    return {{"NRSEQALIQIRPJ", kFloat, 0},
            {"NRSEQALIQIRPJPESQ", kText, 7},
            {"DSALIQIRPJCSLL", kText, 1000},
            {"VRALIQPRESCSLL", kFloat, 0},
            {"VRALIQPRESIRPJ", kFloat, 0}};
}

} // namespace erp::contract

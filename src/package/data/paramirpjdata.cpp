// SPDX-License-Identifier: MIT
#include "paramirpjdata.h"

#include "contract/paramirpj.h"
#include "fields.h"

namespace erp::par47300 {

namespace {

constexpr char kNumberPicture[] = "#,##0.00";

struct Look {
    const char* field;
    const char* label = nullptr; // null keeps the field name
    bool visible = true;
};

void define(DataSet& ds, const FieldDefs& defs, std::initializer_list<Look> looks)
{
    ds.setFieldDefs(defs);
    for (const Look& l : looks) {
        Field& f = ds.fieldByName(QString::fromLatin1(l.field));
        if (l.label)
            f.setDisplayLabel(QString::fromUtf8(l.label));
        f.setVisible(l.visible);
    }
}

FieldDefs mirrorOfRecDesp()
{
    // The mirror keeps IDCONSVRDEB first; copies match fields by name.
    FieldDefs defs = contract::recDespLayout();
    const auto it = std::find_if(defs.begin(), defs.end(), [](const FieldDef& f) { return f.name == QLatin1String(f::IDCONSVRDEB); });
    const FieldDef consVrDeb = *it;
    defs.erase(it);
    defs.prepend(consVrDeb);
    return defs;
}

} // namespace

ParamIRPJData::ParamIRPJData(QObject* parent) : QObject(parent)
{
    const QString picture = QString::fromLatin1(kNumberPicture);
    const std::initializer_list<Look> paramApu = {
        {f::NRSEQPARAMAPU, nullptr, false}, {f::CDEMPRESA, nullptr, false}, {f::NMPARAMAPU, "Nome"},
        {f::IDPARAMAPU, "Tipo"},            {f::IDIMPOSTO, nullptr, false}, {f::VRPORCENTAGEM, "% do valor"}};
    for (DataSet* ds : {&cdsAdicIRPJ, &cdsAdicCSLL, &cdsAdicEspelho}) {
        define(*ds, contract::paramApuLayout(), paramApu);
        ds->fieldByName(QString::fromLatin1(f::VRPORCENTAGEM)).setEditFormat(picture);
    }

    const std::initializer_list<Look> infCtb = {
        {f::NRSEQPARAMAPU, nullptr, false}, {f::NRSEQINFCTBIRPJ, nullptr, false}, {f::IDINFCTBIRPJ, "Origem do Valor"},
        {f::CHAVE, "Código"},               {f::CDINFCTBIRPJ, "Código", false},   {f::CDTIPODEMO, nullptr, false}};
    define(cdsInfCtb, contract::infCtbLayout(), infCtb);
    define(cdsInfEspelho, contract::infCtbLayout(), infCtb);

    const std::initializer_list<Look> recDesp = {
        {f::NRSEQRECDESPIRPJ, nullptr, false}, {f::CDEMPRESA, nullptr, false},        {f::NMRECDESPIRPJ, "Nome"},
        {f::IDRECDESPIRPJ, "Receita/Despesa"}, {f::IDRECDESPIRPJOP, "Operacional"},   {f::NRSEQALIQIRPJ, "Alíq. de Presunção"},
        {f::VRALIQPRESIRPJ, nullptr, false},   {f::VRALIQPRESCSLL, nullptr, false}};
    define(cdsRecDesp, contract::recDespLayout(), recDesp);
    define(cdsRecDespEspelho, mirrorOfRecDesp(), recDesp);
    for (DataSet* ds : {&cdsRecDesp, &cdsRecDespEspelho})
        ds->fieldByName(QString::fromLatin1(f::NRSEQALIQIRPJ)).setEditFormat(picture);

    define(cdsItensDRE, contract::itensDRELayout(), {{f::CDTIPODEMO, "DRE"}, {f::CDITEMSTRU, "Item de Estrutura"}, {f::NMITEMSTRU, "Nome"}});
    cdsItensDRE.setIndexFieldNames(fieldList({f::CDTIPODEMO, f::CDITEMSTRU}));

    define(cdsAliquotas, contract::aliquotasLayout(),
           {{f::NRSEQALIQIRPJ, nullptr, false},
            {f::NRSEQALIQIRPJPESQ, "Código"},
            {f::DSALIQIRPJCSLL, nullptr, false},
            {f::VRALIQPRESCSLL, "Alíquota CSLL"},
            {f::VRALIQPRESIRPJ, "Alíquota IRPJ"}});
    cdsAliquotas.fieldByName(QString::fromLatin1(f::NRSEQALIQIRPJPESQ)).setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (const char* name : {f::VRALIQPRESCSLL, f::VRALIQPRESIRPJ})
        cdsAliquotas.fieldByName(QString::fromLatin1(name)).setDisplayFormat(picture);

    define(qryEmpresa, contract::empresaLayout(), {{f::CDEMPRESA, "Código"}, {f::NMEMPRESA, "Nome"}});
    qryEmpresa.setSql({QStringLiteral("SELECT CDEMPRESA, NMEMPRESA"), QStringLiteral("  FROM EMPRESA"),
                       QStringLiteral(" WHERE ((CDEMPRESA = :P_CDEMPRESA) OR ('T' = :P_TCDEMPRESA))"), QStringLiteral(" ORDER BY 1")});
    define(qryContCtbl, contract::contCtblLayout(), {{f::CDCONTCTBL, "Código"}, {f::NMCONTCTBL, "Nome"}});
    qryContCtbl.setSql({QStringLiteral("SELECT CDCONTCTBL, NMCONTCTBL"), QStringLiteral("  FROM CONTCTBL"),
                        QStringLiteral(" WHERE ((CDCONTCTBL = :P_CDCONTCTBL) OR ('T' = :P_TCDCONTCTBL))"), QStringLiteral(" ORDER BY 1")});

    const std::pair<DataSource*, DataSet*> links[] = {
        {&dtsAdicIRPJ, &cdsAdicIRPJ},   {&dtsAdicCSLL, &cdsAdicCSLL},   {&dtsInfCtb, &cdsInfCtb}, {&dtsRecDesp, &cdsRecDesp},
        {&dtsItensDRE, &cdsItensDRE},   {&dtsAliquotas, &cdsAliquotas}, {&dtsEmpresa, &qryEmpresa}, {&dtsContCtbl, &qryContCtbl}};
    for (auto [source, dataSet] : links)
        source->setDataSet(dataSet);
}

} // namespace erp::par47300

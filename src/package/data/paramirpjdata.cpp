// SPDX-License-Identifier: MIT
#include "paramirpjdata.h"

#include "contract/paramirpj.h"

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
    const auto it = std::find_if(defs.begin(), defs.end(), [](const FieldDef& f) { return f.name == QLatin1String("IDCONSVRDEB"); });
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
        {"NRSEQPARAMAPU", nullptr, false}, {"CDEMPRESA", nullptr, false}, {"NMPARAMAPU", "Nome"},
        {"IDPARAMAPU", "Tipo"},            {"IDIMPOSTO", nullptr, false}, {"VRPORCENTAGEM", "% do valor"}};
    for (DataSet* ds : {&cdsAdicIRPJ, &cdsAdicCSLL, &cdsAdicEspelho}) {
        define(*ds, contract::paramApuLayout(), paramApu);
        ds->fieldByName(QStringLiteral("VRPORCENTAGEM")).setEditFormat(picture);
    }

    const std::initializer_list<Look> infCtb = {
        {"NRSEQPARAMAPU", nullptr, false}, {"NRSEQINFCTBIRPJ", nullptr, false}, {"IDINFCTBIRPJ", "Origem do Valor"},
        {"CHAVE", "Código"},               {"CDINFCTBIRPJ", "Código", false},   {"CDTIPODEMO", nullptr, false}};
    define(cdsInfCtb, contract::infCtbLayout(), infCtb);
    define(cdsInfEspelho, contract::infCtbLayout(), infCtb);

    const std::initializer_list<Look> recDesp = {
        {"NRSEQRECDESPIRPJ", nullptr, false}, {"CDEMPRESA", nullptr, false},        {"NMRECDESPIRPJ", "Nome"},
        {"IDRECDESPIRPJ", "Receita/Despesa"}, {"IDRECDESPIRPJOP", "Operacional"},   {"NRSEQALIQIRPJ", "Alíq. de Presunção"},
        {"VRALIQPRESIRPJ", nullptr, false},   {"VRALIQPRESCSLL", nullptr, false}};
    define(cdsRecDesp, contract::recDespLayout(), recDesp);
    define(cdsRecDespEspelho, mirrorOfRecDesp(), recDesp);
    for (DataSet* ds : {&cdsRecDesp, &cdsRecDespEspelho})
        ds->fieldByName(QStringLiteral("NRSEQALIQIRPJ")).setEditFormat(picture);

    define(cdsItensDRE, contract::itensDRELayout(), {{"CDTIPODEMO", "DRE"}, {"CDITEMSTRU", "Item de Estrutura"}, {"NMITEMSTRU", "Nome"}});
    cdsItensDRE.setIndexFieldNames(QStringLiteral("CDTIPODEMO;CDITEMSTRU"));

    define(cdsAliquotas, contract::aliquotasLayout(),
           {{"NRSEQALIQIRPJ", nullptr, false},
            {"NRSEQALIQIRPJPESQ", "Código"},
            {"DSALIQIRPJCSLL", nullptr, false},
            {"VRALIQPRESCSLL", "Alíquota CSLL"},
            {"VRALIQPRESIRPJ", "Alíquota IRPJ"}});
    cdsAliquotas.fieldByName(QStringLiteral("NRSEQALIQIRPJPESQ")).setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (const char* name : {"VRALIQPRESCSLL", "VRALIQPRESIRPJ"})
        cdsAliquotas.fieldByName(QString::fromLatin1(name)).setDisplayFormat(picture);

    define(qryEmpresa, {{QStringLiteral("CDEMPRESA"), FieldType::String, 2}, {QStringLiteral("NMEMPRESA"), FieldType::String, 40}},
           {{"CDEMPRESA", "Código"}, {"NMEMPRESA", "Nome"}});
    qryEmpresa.setSql({QStringLiteral("SELECT CDEMPRESA, NMEMPRESA"), QStringLiteral("  FROM EMPRESA"),
                       QStringLiteral(" WHERE ((CDEMPRESA = :P_CDEMPRESA) OR ('T' = :P_TCDEMPRESA))"), QStringLiteral(" ORDER BY 1")});
    define(qryContCtbl, {{QStringLiteral("CDCONTCTBL"), FieldType::String, 20}, {QStringLiteral("NMCONTCTBL"), FieldType::String, 40}},
           {{"CDCONTCTBL", "Código"}, {"NMCONTCTBL", "Nome"}});
    qryContCtbl.setSql({QStringLiteral("SELECT CDCONTCTBL, NMCONTCTBL"), QStringLiteral("  FROM CONTCTBL"),
                        QStringLiteral(" WHERE ((CDCONTCTBL = :P_CDCONTCTBL) OR ('T' = :P_TCDCONTCTBL))"), QStringLiteral(" ORDER BY 1")});

    const std::pair<DataSource*, DataSet*> links[] = {
        {&dtsAdicIRPJ, &cdsAdicIRPJ},   {&dtsAdicCSLL, &cdsAdicCSLL},   {&dtsInfCtb, &cdsInfCtb}, {&dtsRecDesp, &cdsRecDesp},
        {&dtsItensDRE, &cdsItensDRE},   {&dtsAliquotas, &cdsAliquotas}, {&dtsEmpresa, &qryEmpresa}, {&dtsContCtbl, &qryContCtbl}};
    for (auto [source, dataSet] : links)
        source->setDataSet(dataSet);
}

} // namespace erp::par47300

// SPDX-License-Identifier: MIT
// Additions, exclusions and compensations: one rule set for both taxes.
#include "codedfield.h"
#include "screen/frmparamirpj.h"

#include "entry/module.h"
#include "host/grid/dbgrid.h"
#include "host/services.h"
#include "platform/formatting.h"

namespace erp::par47300 {

namespace {
const CodedField kTipo{{{u'A', "A"}, {u'E', "E"}, {u'C', "C"}}};

QString rowKey(const DataSet& ds)
{
    return ds.fieldByName(QStringLiteral("NMPARAMAPU")).asString() + ds.fieldByName(QStringLiteral("IDPARAMAPU")).asString()
           + ds.fieldByName(QStringLiteral("IDIMPOSTO")).asString();
}
} // namespace

void TfrmParamIRPJ::adicIDPARAMAPUGetText(Field& f, QString& text)
{
    text = kTipo.text(f, *msgPadrao());
}

void TfrmParamIRPJ::adicIDPARAMAPUSetText(Field& f, const QString& text)
{
    kTipo.setText(f, text, *msgPadrao());
}

void TfrmParamIRPJ::adicVRPORCENTAGEMGetText(Field& f, QString& text)
{
    if (host::EmptyString(f.asString()) || f.asFloat() == 0.0)
        text.clear();
    else
        text = formatFloat(QStringLiteral("#,##0.00"), f.asFloat());
}

void TfrmParamIRPJ::adicKeyPress(host::TDBGrid& grid, DataSource& source, QChar& ch)
{
    Field* selected = grid.selectedField();
    if (!selected || selected->fieldName() != QLatin1String("IDPARAMAPU"))
        return;
    kTipo.keyPress(*selected, source, ch);
    // On an empty grid the letter started a new row, whose rule moved the
    // cursor to the name: the letter is stored and must not be typed there.
    if (grid.selectedField() != selected)
        ch = QChar();
}

void TfrmParamIRPJ::adicBeforePost(DataSet& ds)
{
    const auto refuse = [&](const char* field, const char* key) {
        ds.fieldByName(QString::fromLatin1(field)).focusControl();
        host::MensErro(msgPadrao()->Msg(QString::fromLatin1(key)), true);
    };
    const Field& nome = ds.fieldByName(QStringLiteral("NMPARAMAPU"));
    const Field& tipo = ds.fieldByName(QStringLiteral("IDPARAMAPU"));
    const Field& porcentagem = ds.fieldByName(QStringLiteral("VRPORCENTAGEM"));
    if (host::EmptyString(nome.asString()))
        refuse("NMPARAMAPU", "NOME_DEV");
    if (host::EmptyString(tipo.asString()))
        refuse("IDPARAMAPU", "TIPO_DEV");
    const QString letter = tipo.asString();
    if (letter != QLatin1String("A") && letter != QLatin1String("C") && letter != QLatin1String("E"))
        refuse("IDPARAMAPU", "TIPO_INV");
    if (adicDuplicada(ds))
        refuse("NMPARAMAPU", "ADIC_JA");
    if (host::EmptyString(porcentagem.asString()) || porcentagem.asFloat() == 0.0)
        refuse("VRPORCENTAGEM", "PORCENT_DEV");
    if (porcentagem.asFloat() <= 0.0 || porcentagem.asFloat() > 100.0)
        refuse("VRPORCENTAGEM", "PORCENT_ENTRE");
    stAdic.clear();
}

bool TfrmParamIRPJ::adicDuplicada(const DataSet& ds)
{
    const QString key = rowKey(ds);
    // An edit that kept its key is not measured against its own saved row.
    if (ds.state() == DataSet::State::Edit && key == stAdic)
        return false;
    return data_->cdsAdicEspelho.locate(QStringLiteral("NMPARAMAPU;IDPARAMAPU;IDIMPOSTO"),
                                        {ds.fieldByName(QStringLiteral("NMPARAMAPU")).asString(),
                                         ds.fieldByName(QStringLiteral("IDPARAMAPU")).asString(),
                                         ds.fieldByName(QStringLiteral("IDIMPOSTO")).asString()});
}

} // namespace erp::par47300

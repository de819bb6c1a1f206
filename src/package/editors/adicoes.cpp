// SPDX-License-Identifier: MIT
// Additions, exclusions and compensations: one rule set for both taxes.
#include "codedfield.h"
#include "rowkeys.h"
#include "screen/frmparamirpj.h"

#include "data/fields.h"
#include "entry/module.h"
#include "host/grid/dbgrid.h"
#include "host/services.h"
#include "platform/formatting.h"

namespace erp::par47300 {

void TfrmParamIRPJ::cdsAdicIDPARAMAPUGetText(Field& f, QString& text, bool)
{
    text = coded::tipo.text(f, *msgPadrao());
}

void TfrmParamIRPJ::cdsAdicIDPARAMAPUSetText(Field& f, const QString& text)
{
    coded::tipo.setText(f, text, *msgPadrao());
}

void TfrmParamIRPJ::cdsAdicVRPORCENTAGEMGetText(Field& f, QString& text, bool)
{
    if (host::EmptyString(f.asString()) || f.asFloat() == 0.0)
        text.clear();
    else
        text = formatFloat(QStringLiteral("#,##0.00"), f.asFloat());
}

void TfrmParamIRPJ::dbgAdicKeyPress(host::TDBGrid& grid, QChar& ch)
{
    Field* selected = grid.selectedField();
    if (!selected || selected->fieldName() != QLatin1String(f::IDPARAMAPU))
        return;
    coded::tipo.keyPress(*selected, *grid.dataSource(), ch);
    // On an empty grid the letter started a new row, whose rule moved the
    // cursor to the name: the letter is stored and must not be typed there.
    if (grid.selectedField() != selected)
        ch = QChar();
}

void TfrmParamIRPJ::cdsAdicBeforePost(DataSet& ds)
{
    if (host::EmptyString(text(ds, f::NMPARAMAPU)))
        paraNoCampo(ds, f::NMPARAMAPU, "NOME_DEV");
    const QString tipo = text(ds, f::IDPARAMAPU);
    if (host::EmptyString(tipo))
        paraNoCampo(ds, f::IDPARAMAPU, "TIPO_DEV");
    if (!holdsLetter(tipo, letter::tipo::all))
        paraNoCampo(ds, f::IDPARAMAPU, "TIPO_INV");
    if (adicDuplicada(ds))
        paraNoCampo(ds, f::NMPARAMAPU, "ADIC_JA");
    const Field& porcentagem = field(ds, f::VRPORCENTAGEM);
    if (host::EmptyString(porcentagem.asString()) || porcentagem.asFloat() == 0.0)
        paraNoCampo(ds, f::VRPORCENTAGEM, "PORCENT_DEV");
    if (porcentagem.asFloat() <= 0.0 || porcentagem.asFloat() > 100.0)
        paraNoCampo(ds, f::VRPORCENTAGEM, "PORCENT_ENTRE");
    stAdic.clear();
}

bool TfrmParamIRPJ::adicDuplicada(const DataSet& ds)
{
    // An edit that kept its key is not measured against its own saved row.
    if (keptKey(ds, adicKey(ds), stAdic))
        return false;
    return data_->cdsAdicEspelho.locate(fieldList({f::NMPARAMAPU, f::IDPARAMAPU, f::IDIMPOSTO}),
                                        {text(ds, f::NMPARAMAPU), text(ds, f::IDPARAMAPU), text(ds, f::IDIMPOSTO)});
}

} // namespace erp::par47300

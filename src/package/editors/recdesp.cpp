// SPDX-License-Identifier: MIT
// Revenue and expense items of the net-profit computation.
#include "codedfield.h"
#include "rowkeys.h"
#include "screen/frmparamirpj.h"

#include "data/fields.h"
#include "entry/module.h"
#include "host/grid/dbgrid.h"
#include "host/search.h"
#include "host/services.h"
#include "platform/formatting.h"

namespace erp::par47300 {

namespace {
const CodedField* codedField(const QString& name)
{
    if (name == QLatin1String(f::IDRECDESPIRPJ))
        return &coded::recDesp;
    if (name == QLatin1String(f::IDRECDESPIRPJOP) || name == QLatin1String(f::IDCONSVRDEB))
        return &coded::simNao;
    return nullptr;
}
} // namespace

void TfrmParamIRPJ::cdsRecDespCodedGetText(Field& f, QString& text, bool)
{
    text = codedField(f.fieldName())->text(f, *msgPadrao());
}

void TfrmParamIRPJ::cdsRecDespCodedSetText(Field& f, const QString& text)
{
    codedField(f.fieldName())->setText(f, text, *msgPadrao());
}

void TfrmParamIRPJ::cdsRecDespNRSEQALIQIRPJGetText(Field& f, QString& text, bool)
{
    if (host::EmptyString(f.asString())) {
        text.clear();
        return;
    }
    const DataSet& ds = f.dataSet();
    const QString picture = QStringLiteral("#,##0.00");
    text = f.asString() + QStringLiteral(" - IRPJ: ") + formatFloat(picture, field(ds, f::VRALIQPRESIRPJ).asFloat())
           + QStringLiteral(" - CSLL: ") + formatFloat(picture, field(ds, f::VRALIQPRESCSLL).asFloat());
}

void TfrmParamIRPJ::cdsRecDespNRSEQALIQIRPJSetText(Field& f, const QString& text)
{
    if (host::EmptyString(text))
        return;
    const qsizetype dash = text.indexOf(QStringLiteral(" - "));
    f.setAsFloat(parseFloat(dash < 0 ? text : text.left(dash)));
}

// The chosen or found rate entry's code and rates go into the item.
void TfrmParamIRPJ::copiaAliquota(DataSet& item)
{
    const DataSet& aliq = data_->cdsAliquotas;
    field(item, f::NRSEQALIQIRPJ).setValue(field(aliq, f::NRSEQALIQIRPJ).value());
    field(item, f::VRALIQPRESCSLL).setValue(field(aliq, f::VRALIQPRESCSLL).value());
    field(item, f::VRALIQPRESIRPJ).setValue(field(aliq, f::VRALIQPRESIRPJ).value());
}

void TfrmParamIRPJ::dbgRecDespEditButtonClick(host::TDBGrid& grid)
{
    DataSet& item = data_->cdsRecDesp;
    if (!item.isEditing())
        item.edit();
    Field* selected = grid.selectedField();
    if (!selected || selected->fieldName() != QLatin1String(f::NRSEQALIQIRPJ))
        return;
    if (host::Pesquisar(&data_->dtsAliquotas, msgPadrao()->Msg(QStringLiteral("ALIQ")) + u'|' + msgPadrao()->Msg(QStringLiteral("ALIQ_N")), false, true))
        copiaAliquota(item);
}

void TfrmParamIRPJ::dbgRecDespColExit(host::TDBGrid& grid)
{
    DataSet& item = data_->cdsRecDesp;
    Field* selected = grid.selectedField();
    if (!selected || selected->fieldName() != QLatin1String(f::NRSEQALIQIRPJ) || !item.isEditing()
        || host::EmptyString(selected->asString()))
        return;
    if (data_->cdsAliquotas.locate(QString::fromLatin1(f::NRSEQALIQIRPJ), {selected->asFloat()})) {
        copiaAliquota(item);
        return;
    }
    selected->focusControl();
    host::MensErro(msgPadrao()->Msg(QStringLiteral("ALIQ_N")), true);
}

void TfrmParamIRPJ::dbgRecDespKeyPress(host::TDBGrid& grid, QChar& ch)
{
    Field* selected = grid.selectedField();
    const CodedField* coded = selected ? codedField(selected->fieldName()) : nullptr;
    if (!coded)
        return;
    coded->keyPress(*selected, data_->dtsRecDesp, ch);
    // As in the additions: a new row's rule moved the cursor to the name.
    if (grid.selectedField() != selected)
        ch = QChar();
}

void TfrmParamIRPJ::cdsRecDespBeforePost(DataSet& ds)
{
    if (host::EmptyString(field(ds, f::NMRECDESPIRPJ).asString()))
        paraNoCampo(ds, f::NMRECDESPIRPJ, "NOME_DEV");
    const QString recDesp = field(ds, f::IDRECDESPIRPJ).asString();
    if (host::EmptyString(recDesp))
        paraNoCampo(ds, f::IDRECDESPIRPJ, "ID_INV");
    if (!startsWithLetter(recDesp, letter::recDesp::Despesa) && !startsWithLetter(recDesp, letter::recDesp::Receita))
        paraNoCampo(ds, f::IDRECDESPIRPJ, "ID_INV");
    const QString oper = field(ds, f::IDRECDESPIRPJOP).asString();
    if (host::EmptyString(oper))
        paraNoCampo(ds, f::IDRECDESPIRPJOP, "OPER_DEV");
    if (!startsWithLetter(oper, letter::simNao::Nao) && !startsWithLetter(oper, letter::simNao::Sim))
        paraNoCampo(ds, f::IDRECDESPIRPJOP, "OPER_INV");
    Field& code = field(ds, f::NRSEQALIQIRPJ);
    if (host::EmptyString(code.asString()))
        paraNoCampo(ds, f::NRSEQALIQIRPJ, "ALIQ_DEV");
    const DataSet& aliq = data_->cdsAliquotas;
    if (!data_->cdsAliquotas.locate(QString::fromLatin1(f::NRSEQALIQIRPJ), {code.asFloat()}))
        paraNoCampo(ds, f::NRSEQALIQIRPJ, "ALIQ_N");
    // Every post carries the rates the entry holds now.
    field(ds, f::VRALIQPRESCSLL).setValue(field(aliq, f::VRALIQPRESCSLL).value());
    field(ds, f::VRALIQPRESIRPJ).setValue(field(aliq, f::VRALIQPRESIRPJ).value());
    if (itemDuplicado(ds))
        paraNoCampo(ds, f::NMRECDESPIRPJ, "INFLUCRO_JA");
    stItem.clear();
}

bool TfrmParamIRPJ::itemDuplicado(const DataSet& ds)
{
    if (keptKey(ds, itemKey(ds), stItem))
        return false;
    return data_->cdsRecDespEspelho.locate(fieldList({f::NMRECDESPIRPJ, f::IDRECDESPIRPJ, f::IDRECDESPIRPJOP, f::NRSEQALIQIRPJ}),
                                           {text(ds, f::NMRECDESPIRPJ), text(ds, f::IDRECDESPIRPJ), text(ds, f::IDRECDESPIRPJOP),
                                            field(ds, f::NRSEQALIQIRPJ).asFloat()});
}

} // namespace erp::par47300

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
    if (name == QLatin1String("IDRECDESPIRPJ"))
        return &coded::recDesp;
    if (name == QLatin1String("IDRECDESPIRPJOP") || name == QLatin1String("IDCONSVRDEB"))
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
    text = f.asString() + QStringLiteral(" - IRPJ: ") + formatFloat(picture, field(ds, "VRALIQPRESIRPJ").asFloat())
           + QStringLiteral(" - CSLL: ") + formatFloat(picture, field(ds, "VRALIQPRESCSLL").asFloat());
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
    field(item, "NRSEQALIQIRPJ").setValue(field(aliq, "NRSEQALIQIRPJ").value());
    field(item, "VRALIQPRESCSLL").setValue(field(aliq, "VRALIQPRESCSLL").value());
    field(item, "VRALIQPRESIRPJ").setValue(field(aliq, "VRALIQPRESIRPJ").value());
}

void TfrmParamIRPJ::dbgRecDespEditButtonClick(host::TDBGrid& grid)
{
    DataSet& item = data_->cdsRecDesp;
    if (!item.isEditing())
        item.edit();
    Field* selected = grid.selectedField();
    if (!selected || selected->fieldName() != QLatin1String("NRSEQALIQIRPJ"))
        return;
    if (host::Pesquisar(&data_->dtsAliquotas, msgPadrao()->Msg(QStringLiteral("ALIQ")) + u'|' + msgPadrao()->Msg(QStringLiteral("ALIQ_N")), false, true))
        copiaAliquota(item);
}

void TfrmParamIRPJ::dbgRecDespColExit(host::TDBGrid& grid)
{
    DataSet& item = data_->cdsRecDesp;
    Field* selected = grid.selectedField();
    if (!selected || selected->fieldName() != QLatin1String("NRSEQALIQIRPJ") || !item.isEditing()
        || host::EmptyString(selected->asString()))
        return;
    if (data_->cdsAliquotas.locate(QStringLiteral("NRSEQALIQIRPJ"), {selected->asFloat()})) {
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
    const auto refuse = [&](const char* name, const char* key) {
        field(ds, name).focusControl();
        host::MensErro(msgPadrao()->Msg(QString::fromLatin1(key)), true);
    };
    if (host::EmptyString(field(ds, "NMRECDESPIRPJ").asString()))
        refuse("NMRECDESPIRPJ", "NOME_DEV");
    const QString recDesp = field(ds, "IDRECDESPIRPJ").asString();
    if (host::EmptyString(recDesp))
        refuse("IDRECDESPIRPJ", "ID_INV");
    if (!recDesp.startsWith(u'D') && !recDesp.startsWith(u'R'))
        refuse("IDRECDESPIRPJ", "ID_INV");
    const QString oper = field(ds, "IDRECDESPIRPJOP").asString();
    if (host::EmptyString(oper))
        refuse("IDRECDESPIRPJOP", "OPER_DEV");
    if (!oper.startsWith(u'N') && !oper.startsWith(u'S'))
        refuse("IDRECDESPIRPJOP", "OPER_INV");
    Field& code = field(ds, "NRSEQALIQIRPJ");
    if (host::EmptyString(code.asString()))
        refuse("NRSEQALIQIRPJ", "ALIQ_DEV");
    const DataSet& aliq = data_->cdsAliquotas;
    if (!data_->cdsAliquotas.locate(QStringLiteral("NRSEQALIQIRPJ"), {code.asFloat()}))
        refuse("NRSEQALIQIRPJ", "ALIQ_N");
    // Every post carries the rates the entry holds now.
    field(ds, "VRALIQPRESCSLL").setValue(field(aliq, "VRALIQPRESCSLL").value());
    field(ds, "VRALIQPRESIRPJ").setValue(field(aliq, "VRALIQPRESIRPJ").value());
    if (itemDuplicado(ds))
        refuse("NMRECDESPIRPJ", "INFLUCRO_JA");
    stItem.clear();
}

bool TfrmParamIRPJ::itemDuplicado(const DataSet& ds)
{
    if (keptKey(ds, itemKey(ds), stItem))
        return false;
    return data_->cdsRecDespEspelho.locate(fieldList({"NMRECDESPIRPJ", "IDRECDESPIRPJ", "IDRECDESPIRPJOP", "NRSEQALIQIRPJ"}),
                                           {text(ds, "NMRECDESPIRPJ"), text(ds, "IDRECDESPIRPJ"), text(ds, "IDRECDESPIRPJOP"),
                                            field(ds, "NRSEQALIQIRPJ").asFloat()});
}

} // namespace erp::par47300

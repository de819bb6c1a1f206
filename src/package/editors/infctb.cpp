// SPDX-License-Identifier: MIT
// Accounting information: its coded fields, its checks before a post, and
// the look-up, column exit and key filter shared by its three grids.
#include "codedfield.h"
#include "rowkeys.h"
#include "screen/frmparamirpj.h"

#include "data/fields.h"
#include "entry/module.h"
#include "host/grid/dbgrid.h"
#include "host/search.h"
#include "host/services.h"

namespace erp::par47300 {

namespace {
// Type in characters 1-2 of an item key, item in 3-6.
QString itemType(const QString& key)
{
    return key.left(2);
}
QString itemCode(const QString& key)
{
    return key.mid(2, 4);
}
} // namespace

// ---- coded fields

void TfrmParamIRPJ::cdsInfCtbIDINFCTBIRPJGetText(Field& f, QString& text, bool)
{
    text = coded::origem.text(f, *msgPadrao());
}

void TfrmParamIRPJ::cdsInfCtbIDINFCTBIRPJSetText(Field& f, const QString& text)
{
    coded::origem.setText(f, text, *msgPadrao());
}

void TfrmParamIRPJ::cdsInfCtbIDINFCTBIRPJChange(Field&)
{
    // Another origin makes the key mean something else: it is typed again.
    field(data_->cdsInfCtb, f::CHAVE).clear();
}

void TfrmParamIRPJ::cdsInfCtbIDFORMAPURITEMGetText(Field& f, QString& text, bool)
{
    text = coded::apuracao.text(f, *msgPadrao());
}

void TfrmParamIRPJ::cdsInfCtbIDFORMAPURITEMSetText(Field& f, const QString& text)
{
    coded::apuracao.setText(f, text, *msgPadrao());
}

void TfrmParamIRPJ::abreQryContCtbl(const QString& code, const QString& all)
{
    host::TADOIBQuery& q = data_->qryContCtbl;
    q.close();
    q.setParam(QStringLiteral("P_CDCONTCTBL"), code);
    q.setParam(QStringLiteral("P_TCDCONTCTBL"), all);
    q.open();
}

// ---- checks shared by the post and the column exit

void TfrmParamIRPJ::paraNaColuna(int column, const char* key)
{
    FocaColunaGridCtb(column);
    host::MensErro(msgPadrao()->Msg(QString::fromLatin1(key)), true);
}

void TfrmParamIRPJ::verificaConta(const DataSet& ds)
{
    const QString chave = field(ds, f::CHAVE).asString();
    if (data_->cdsInfEspelho.locate(fieldList({f::NRSEQPARAMAPU, f::IDINFCTBIRPJ, f::CDINFCTBIRPJ}),
                                    {field(ds, f::NRSEQPARAMAPU).asFloat(), field(ds, f::IDINFCTBIRPJ).asString(), chave}))
        paraNaColuna(1, "INFCTB_JA");
    if (host::EmptyString(chave))
        paraNaColuna(1, "CONTCTBL_DEV");
    abreQryContCtbl(chave, QString());
    if (data_->qryContCtbl.isEmpty())
        paraNaColuna(1, "CONTCTBL_N");
}

void TfrmParamIRPJ::verificaItem(const DataSet& ds)
{
    const QString chave = field(ds, f::CHAVE).asString();
    if (data_->cdsInfEspelho.locate(fieldList({f::NRSEQPARAMAPU, f::IDINFCTBIRPJ, f::CDINFCTBIRPJ, f::CDTIPODEMO}),
                                    {field(ds, f::NRSEQPARAMAPU).asFloat(), field(ds, f::IDINFCTBIRPJ).asString(), itemCode(chave),
                                     itemType(chave)}))
        paraNaColuna(1, "INFCTB_JA");
    if (host::EmptyString(chave))
        paraNaColuna(1, "ITEM_DEV");
    if (!data_->cdsItensDRE.locate(fieldList({f::CDTIPODEMO, f::CDITEMSTRU}), {itemType(chave), itemCode(chave)}))
        paraNaColuna(1, "ITEM_N");
}

void TfrmParamIRPJ::cdsInfCtbBeforePost(DataSet& ds)
{
    QString shown;
    cdsInfCtbIDINFCTBIRPJGetText(field(ds, f::IDINFCTBIRPJ), shown, true);
    if (shown.isEmpty())
        paraNaColuna(0, "ORIGEM_DEV");
    const QString origem = field(ds, f::IDINFCTBIRPJ).asString();
    if (!startsWithLetter(origem, letter::origem::Conta) && !startsWithLetter(origem, letter::origem::Item))
        paraNaColuna(0, "ORIGEM_INV");
    if (!keptKey(ds, infCtbKey(ds), stOrigem)) {
        const QString chave = field(ds, f::CHAVE).asString();
        if (startsWithLetter(origem, letter::origem::Item)) {
            verificaItem(ds);
            field(ds, f::CDTIPODEMO).setAsString(itemType(chave));
            field(ds, f::CDINFCTBIRPJ).setAsString(itemCode(chave));
        } else {
            verificaConta(ds);
            field(ds, f::CDTIPODEMO).clear();
            field(ds, f::CDINFCTBIRPJ).setAsString(chave);
        }
    }
    stOrigem.clear();
}

// ---- the three grids' rules

void TfrmParamIRPJ::dbgInfCtbEditButtonClick(host::TDBGrid& grid)
{
    Field* selected = grid.selectedField();
    if (!selected || selected->fieldName() != QLatin1String(f::CHAVE))
        return;
    DataSet& ds = data_->cdsInfCtb;
    if (!ds.isEditing())
        ds.edit();
    const QString origem = field(ds, f::IDINFCTBIRPJ).asString();
    if (host::EmptyString(origem))
        paraNaColuna(0, "ORIGEM_DEV");
    if (!startsWithLetter(origem, letter::origem::Conta) && !startsWithLetter(origem, letter::origem::Item))
        paraNaColuna(0, "ORIGEM_INV");
    const host::TMessages& msg = *msgPadrao();
    if (isLetter(origem, letter::origem::Conta)) {
        abreQryContCtbl(QString(), QStringLiteral("T"));
        if (host::Pesquisar(&data_->dtsContCtbl, msg.Msg(QStringLiteral("CONTCTBL")) + u'|' + msg.Msg(QStringLiteral("CONTCTBL_N")), false, true))
            field(ds, f::CHAVE).setAsString(field(data_->qryContCtbl, f::CDCONTCTBL).asString());
    } else if (isLetter(origem, letter::origem::Item)) {
        if (!host::Pesquisar(&data_->dtsItensDRE, msg.Msg(QStringLiteral("ITEMDRE")) + u'|' + msg.Msg(QStringLiteral("DRE_N")), false, true))
            return;
        field(ds, f::CHAVE).setAsString(field(data_->cdsItensDRE, f::CDTIPODEMO).asString()
                                       + field(data_->cdsItensDRE, f::CDITEMSTRU).asString());
        // Leaving the key column and coming back checks the chosen item at once.
        ds.disableControls();
        struct Enable {
            DataSet& ds;
            ~Enable() { ds.enableControls(); }
        } enable{ds};
        FocaColunaGridCtb(0);
        FocaColunaGridCtb(1);
    }
}

void TfrmParamIRPJ::dbgInfCtbColExit(host::TDBGrid& grid)
{
    const DataSet& ds = data_->cdsInfCtb;
    Field* selected = grid.selectedField();
    if (!ds.isEditing() || !selected || selected->fieldName() != QLatin1String(f::CHAVE) || host::EmptyString(selected->asString()))
        return;
    if (keptKey(ds, infCtbKey(ds), stOrigem))
        return;
    if (isLetter(text(ds, f::IDINFCTBIRPJ), letter::origem::Item)) {
        verificaItem(ds);
    } else {
        verificaConta(ds);
        field(ds, f::CDTIPODEMO).clear();
    }
}

void TfrmParamIRPJ::dbgInfCtbKeyPress(host::TDBGrid& grid, QChar& ch, bool lucro)
{
    Field* selected = grid.selectedField();
    if (!selected)
        return;
    if (lucro && selected->fieldName() == QLatin1String(f::IDFORMAPURITEM))
        coded::apuracao.keyPress(*selected, data_->dtsInfCtb, ch, true);
    else if (selected->fieldName() == QLatin1String(f::IDINFCTBIRPJ))
        coded::origem.keyPress(*selected, data_->dtsInfCtb, ch, !lucro);
    // On an empty grid the letter started a new row, whose rule moved the
    // cursor to the origin: the letter is stored and must not be typed there.
    if (grid.selectedField() != selected)
        ch = QChar();
}

} // namespace erp::par47300

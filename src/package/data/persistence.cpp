// SPDX-License-Identifier: MIT
// Edit persistence: every row posted or deleted goes to the parameter service
// at once, through one algorithm for the four edited datasets.
#include "screen/frmparamirpj.h"

#include "contract/paramirpj.h"
#include "entry/module.h"
#include "host/busy.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"

#include <cmath>

namespace erp::par47300 {

namespace {
QString text(const DataSet& ds, const char* field)
{
    return ds.fieldByName(QString::fromLatin1(field)).asString();
}
void set(DataSet& ds, const char* field, const QVariant& value)
{
    ds.fieldByName(QString::fromLatin1(field)).setValue(value);
}
} // namespace

TfrmParamIRPJ::Edited TfrmParamIRPJ::edited(const DataSet& ds)
{
    ParamIRPJData& d = *data_;
    if (&ds == &d.cdsAdicIRPJ)
        return {d.cdsAdicIRPJ, d.cdsAdicEspelho, contract::method::SetParamIRPJ, d.dtsAdicIRPJ};
    if (&ds == &d.cdsAdicCSLL)
        return {d.cdsAdicCSLL, d.cdsAdicEspelho, contract::method::SetParamIRPJ, d.dtsAdicCSLL};
    if (&ds == &d.cdsInfCtb)
        return {d.cdsInfCtb, d.cdsInfEspelho, contract::method::SetInfCtbIRPJ, d.dtsInfCtb};
    return {d.cdsRecDesp, d.cdsRecDespEspelho, contract::method::setRecDesp, d.dtsRecDesp};
}

void TfrmParamIRPJ::enviaAlteracao(const Edited& e, bool refreshToolbar)
{
    struct HideAnimation {
        ~HideAnimation() { host::DeactiveShowAvi(); }
    } guard;
    if (e.cds.changeCount() == 0)
        return;
    try {
        host::ActiveShowAvi(host::HostApplication::mainWindow(), 1);
        service_.save(e.saveMethod, e.cds.delta());
        e.cds.mergeChangeLog();
        e.mirror.copyFrom(e.cds);
        if (refreshToolbar)
            ControlaBotoes(e.dts);
    } catch (...) {
        // The change was not kept: the row shows what the service holds, and
        // the toolbar and pages follow (an undone first row leaves no row).
        e.cds.cancelUpdates();
        ControlaBotoes(e.dts);
        throw;
    }
}

// ---- new rows

void TfrmParamIRPJ::novaAdicao(DataSet& ds, const QString& imposto)
{
    set(ds, "IDIMPOSTO", imposto);
    set(ds, "VRPORCENTAGEM", 100.0);
    set(ds, "NRSEQPARAMAPU", double(service_.nextNumber(contract::method::prxSeqParamIRPJ)));
    set(ds, "CDEMPRESA", medCdEmpresa->storedText());
    ds.fieldByName(QStringLiteral("NMPARAMAPU")).focusControl();
}

void TfrmParamIRPJ::cdsAdicIRPJNewRecord(DataSet& ds)
{
    novaAdicao(ds, QStringLiteral("I"));
}

void TfrmParamIRPJ::cdsAdicCSLLNewRecord(DataSet& ds)
{
    novaAdicao(ds, QStringLiteral("C"));
}

void TfrmParamIRPJ::cdsInfCtbNewRecord(DataSet& ds)
{
    const ParamIRPJData& d = *data_;
    const double parent = pgcGeral->activePage() == tshIRPJ   ? d.cdsAdicIRPJ.fieldByName(QStringLiteral("NRSEQPARAMAPU")).asFloat()
                          : pgcGeral->activePage() == tshCSLL ? d.cdsAdicCSLL.fieldByName(QStringLiteral("NRSEQPARAMAPU")).asFloat()
                                                              : d.cdsRecDesp.fieldByName(QStringLiteral("NRSEQRECDESPIRPJ")).asFloat();
    set(ds, "NRSEQPARAMAPU", parent);
    set(ds, "NRSEQINFCTBIRPJ", double(service_.nextNumber(contract::method::prxInfCtbIRPJ)));
    set(ds, "IDFORMAPURITEM", QStringLiteral("C"));
    FocaColunaGridCtb(0);
}

void TfrmParamIRPJ::cdsRecDespNewRecord(DataSet& ds)
{
    set(ds, "IDRECDESPIRPJ", QStringLiteral("R"));
    set(ds, "IDRECDESPIRPJOP", QStringLiteral("S"));
    set(ds, "IDCONSVRDEB", QStringLiteral("S"));
    set(ds, "NRSEQRECDESPIRPJ", double(service_.nextNumber(contract::method::prxSeqParamIRPJ)));
    set(ds, "CDEMPRESA", medCdEmpresa->storedText());
    ds.fieldByName(QStringLiteral("NMRECDESPIRPJ")).focusControl();
}

// ---- pre-edit keys: the key columns as they were when the edit began

void TfrmParamIRPJ::cdsAdicIRPJAfterEdit(DataSet& ds)
{
    stAdic = text(ds, "NMPARAMAPU") + text(ds, "IDPARAMAPU") + text(ds, "IDIMPOSTO");
}

void TfrmParamIRPJ::cdsAdicCSLLAfterEdit(DataSet& ds)
{
    cdsAdicIRPJAfterEdit(ds); // the twin: same key, same variable
}

void TfrmParamIRPJ::cdsInfCtbAfterEdit(DataSet& ds)
{
    const double parent = ds.fieldByName(QStringLiteral("NRSEQPARAMAPU")).asFloat();
    stOrigem = QString::number(qint64(std::llround(parent))) + text(ds, "IDINFCTBIRPJ") + text(ds, "CHAVE");
}

void TfrmParamIRPJ::cdsRecDespAfterEdit(DataSet& ds)
{
    stItem = text(ds, "NMRECDESPIRPJ") + text(ds, "IDRECDESPIRPJ") + text(ds, "IDRECDESPIRPJOP") + text(ds, "NRSEQALIQIRPJ");
}

// ---- saves

void TfrmParamIRPJ::cdsAdicIRPJAfterPost(DataSet& ds)
{
    enviaAlteracao(edited(ds), false);
}

void TfrmParamIRPJ::cdsAdicCSLLAfterPost(DataSet& ds)
{
    enviaAlteracao(edited(ds), false);
}

void TfrmParamIRPJ::cdsInfCtbAfterPost(DataSet& ds)
{
    enviaAlteracao(edited(ds), true);
    data_->cdsInfEspelho.copyFrom(ds);
}

void TfrmParamIRPJ::cdsRecDespAfterPost(DataSet& ds)
{
    enviaAlteracao(edited(ds), true);
}

void TfrmParamIRPJ::cdsAdicIRPJAfterDelete(DataSet& ds)
{
    enviaAlteracao(edited(ds), true);
}

void TfrmParamIRPJ::cdsAdicCSLLAfterDelete(DataSet& ds)
{
    enviaAlteracao(edited(ds), true);
}

void TfrmParamIRPJ::cdsInfCtbAfterDelete(DataSet& ds)
{
    enviaAlteracao(edited(ds), true);
    data_->cdsInfEspelho.copyFrom(ds);
}

void TfrmParamIRPJ::cdsRecDespAfterDelete(DataSet& ds)
{
    enviaAlteracao(edited(ds), true);
    ControlaBotoes(data_->dtsRecDesp);
}

// ---- a parent's accounting information goes before the parent

void TfrmParamIRPJ::removeInfCtbDoPai(DataSet& parent, const QString& seqField)
{
    service_.deleteInfCtb(parent.fieldByName(seqField).asFloat());
}

void TfrmParamIRPJ::cdsAdicIRPJBeforeDelete(DataSet& ds)
{
    removeInfCtbDoPai(ds, QStringLiteral("NRSEQPARAMAPU"));
}

void TfrmParamIRPJ::cdsAdicCSLLBeforeDelete(DataSet& ds)
{
    removeInfCtbDoPai(ds, QStringLiteral("NRSEQPARAMAPU"));
}

void TfrmParamIRPJ::cdsRecDespBeforeDelete(DataSet& ds)
{
    removeInfCtbDoPai(ds, QStringLiteral("NRSEQRECDESPIRPJ"));
}

// ---- cancels: nothing is sent, the toolbar follows

void TfrmParamIRPJ::cdsAdicIRPJAfterCancel(DataSet&)
{
    ControlaBotoes(data_->dtsAdicIRPJ);
}

void TfrmParamIRPJ::cdsAdicCSLLAfterCancel(DataSet&)
{
    ControlaBotoes(data_->dtsAdicCSLL);
}

void TfrmParamIRPJ::cdsInfCtbAfterCancel(DataSet&)
{
    ControlaBotoes(data_->dtsInfCtb);
}

void TfrmParamIRPJ::cdsRecDespAfterCancel(DataSet&)
{
    ControlaBotoes(data_->dtsRecDesp);
}

} // namespace erp::par47300

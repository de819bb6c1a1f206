// SPDX-License-Identifier: MIT
// Edit persistence: every row posted or deleted goes to the parameter service
// at once, through one algorithm for the four edited datasets.
#include "screen/frmparamirpj.h"

#include "contract/paramirpj.h"
#include "entry/module.h"
#include "host/busy.h"
#include "host/maskedit.h"
#include "host/messages.h"
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
// The sequence number of the one row a change packet carries.
QVariant keyOf(const ChangePacket& changes, const char* keyField)
{
    const int at = changes.indexOf(QString::fromLatin1(keyField));
    if (at < 0 || changes.changes.empty())
        return {};
    const Change& c = changes.changes.front();
    return (c.status == ChangeStatus::Deleted ? c.oldValues : c.newValues).value(at);
}

QString messageOf(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Error& e) {
        return e.message();
    } catch (...) {
        return {};
    }
}
} // namespace

TfrmParamIRPJ::Edited TfrmParamIRPJ::edited(const DataSet& ds)
{
    ParamIRPJData& d = *data_;
    namespace m = contract::method;
    if (&ds == &d.cdsAdicIRPJ)
        return {d.cdsAdicIRPJ, d.cdsAdicEspelho, m::SetParamIRPJ, d.dtsAdicIRPJ, m::GetParamIRPJ, "NRSEQPARAMAPU"};
    if (&ds == &d.cdsAdicCSLL)
        return {d.cdsAdicCSLL, d.cdsAdicEspelho, m::SetParamIRPJ, d.dtsAdicCSLL, m::GetParamCSLL, "NRSEQPARAMAPU"};
    if (&ds == &d.cdsInfCtb)
        return {d.cdsInfCtb, d.cdsInfEspelho, m::SetInfCtbIRPJ, d.dtsInfCtb, nullptr, "NRSEQINFCTBIRPJ"};
    return {d.cdsRecDesp, d.cdsRecDespEspelho, m::setRecDesp, d.dtsRecDesp, m::getRecDesp, "NRSEQRECDESPIRPJ"};
}

void TfrmParamIRPJ::enviaAlteracao(const Edited& e, bool refreshToolbar)
{
    struct HideAnimation {
        ~HideAnimation() { host::DeactiveShowAvi(); }
    } guard;
    if (e.cds.changeCount() == 0)
        return;
    const ChangePacket changes = e.cds.delta();
    try {
        host::ActiveShowAvi(host::HostApplication::mainWindow(), 1);
        service_.save(e.saveMethod, changes);
        e.cds.mergeChangeLog();
        e.mirror.copyFrom(e.cds);
        if (refreshToolbar)
            ControlaBotoes(e.dts);
    } catch (...) {
        e.cds.cancelUpdates();
        // Undoing the row is only right when the service refused the change.
        // When its outcome is unknown the service may hold it: undone here, a
        // kept insert would vanish from the grid and come back as a duplicate
        // when typed again. The rows are read again instead.
        const std::exception_ptr failure = std::current_exception();
        if (!host::outcomeUncertain(failure)) {
            // The toolbar and pages follow the undo (an undone first row leaves no row).
            ControlaBotoes(e.dts);
            throw;
        }
        try {
            recarregaEditado(e, keyOf(changes, e.keyField));
        } catch (const std::exception&) {
            ControlaBotoes(e.dts);
            throw Error(messageOf(failure) + u' ' + msgBase()->Msg(QStringLiteral("Recarga")));
        }
        throw;
    }
}

void TfrmParamIRPJ::recarregaEditado(const Edited& e, const QVariant& key)
{
    if (e.loadMethod) {
        service_.load(e.cds, e.loadMethod, QJsonArray{medCdEmpresa->storedText()});
        e.mirror.copyFrom(e.cds);
    } else {
        carregaInfCtb(tabOf(pgcGeral->activePage() == tshIRPJ ? pgcIRPJ : pgcGeral->activePage() == tshCSLL ? pgcCSLL : pgcLucro));
    }
    if (key.isValid())
        e.cds.locate(QString::fromLatin1(e.keyField), {key});
    ControlaBotoes(e.dts);
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

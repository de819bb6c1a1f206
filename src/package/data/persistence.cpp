// SPDX-License-Identifier: MIT
// Edit persistence: every row posted or deleted goes to the parameter service
// at once, through one algorithm for the four edited datasets.
#include "screen/frmparamirpj.h"

#include "contract/paramirpj.h"
#include "data/fields.h"
#include "host/busy.h"
#include "host/hostapplication.h"
#include "host/maskedit.h"
#include "host/messages.h"

namespace erp::par47300 {

namespace {
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

void TfrmParamIRPJ::enviaAlteracao(const EditedDataSet& e, bool refreshToolbar)
{
    if (e.cds->changeCount() == 0)
        return;
    const host::BusyAnimation busy(host::HostApplication::mainWindow(), host::BusyAnimation::Saving);
    const ChangePacket changes = e.cds->delta();
    try {
        service_.save(e.saveMethod, changes);
        e.cds->mergeChangeLog();
        e.mirror->copyFrom(*e.cds);
        if (refreshToolbar)
            ControlaBotoes(*e.dts);
    } catch (...) {
        e.cds->cancelUpdates();
        // Undoing the row is only right when the service refused the change.
        // When its outcome is unknown the service may hold it: undone here, a
        // kept insert would vanish from the grid and come back as a duplicate
        // when typed again. The rows are read again instead.
        const std::exception_ptr failure = std::current_exception();
        if (!host::outcomeUncertain(failure)) {
            // The toolbar and pages follow the undo (an undone first row leaves no row).
            ControlaBotoes(*e.dts);
            throw;
        }
        try {
            recarregaEditado(e, keyOf(changes, e.keyField));
        } catch (const std::exception&) {
            ControlaBotoes(*e.dts);
            throw Error(messageOf(failure) + u' ' + msgBase()->Msg(QStringLiteral("Recarga")));
        }
        throw;
    }
}

void TfrmParamIRPJ::recarregaEditado(const EditedDataSet& e, const QVariant& key)
{
    if (const ScreenTab* tab = tabOfParent(e.cds))
        carregaPai(*tab);
    else
        carregaInfCtb(frontTab());
    if (key.isValid())
        e.cds->locate(QString::fromLatin1(e.keyField), {key});
    ControlaBotoes(*e.dts);
}

// ---- new rows

void TfrmParamIRPJ::cdsAdicNewRecord(const EditedDataSet& e, char imposto)
{
    DataSet& ds = *e.cds;
    field(ds, f::IDIMPOSTO).setAsString(letterText(imposto));
    field(ds, f::VRPORCENTAGEM).setAsFloat(100.0);
    field(ds, e.keyField).setAsFloat(service_.nextNumber(e.sequenceMethod));
    field(ds, f::CDEMPRESA).setAsString(medCdEmpresa->storedText());
    field(ds, f::NMPARAMAPU).focusControl();
}

void TfrmParamIRPJ::cdsInfCtbNewRecord(DataSet& ds)
{
    const EditedDataSet& parent = frontTab().parent;
    field(ds, f::NRSEQPARAMAPU).setAsFloat(field(*parent.cds, parent.keyField).asFloat());
    field(ds, infCtb_.keyField).setAsFloat(service_.nextNumber(infCtb_.sequenceMethod));
    field(ds, f::IDFORMAPURITEM).setAsString(letterText(letter::apuracao::Competencia));
    FocaColunaGridCtb(0);
}

void TfrmParamIRPJ::cdsRecDespNewRecord(DataSet& ds)
{
    const EditedDataSet& e = tabs_[Lucro].parent;
    field(ds, f::IDRECDESPIRPJ).setAsString(letterText(letter::recDesp::Receita));
    field(ds, f::IDRECDESPIRPJOP).setAsString(letterText(letter::simNao::Sim));
    field(ds, f::IDCONSVRDEB).setAsString(letterText(letter::simNao::Sim));
    field(ds, e.keyField).setAsFloat(service_.nextNumber(e.sequenceMethod));
    field(ds, f::CDEMPRESA).setAsString(medCdEmpresa->storedText());
    field(ds, f::NMRECDESPIRPJ).focusControl();
}

// ---- pre-edit keys: the key columns as they were when the edit began

void TfrmParamIRPJ::cdsAfterEdit(const EditedDataSet& e)
{
    *e.preEditKey = e.rowKey(*e.cds);
}

// ---- saves, and what each dataset adds to them

void TfrmParamIRPJ::cdsAfterPost(const EditedDataSet& e)
{
    enviaAlteracao(e, e.refreshOnPost);
    if (e.mirrorAgain)
        e.mirror->copyFrom(*e.cds);
}

void TfrmParamIRPJ::cdsAfterDelete(const EditedDataSet& e)
{
    enviaAlteracao(e, true);
    if (e.mirrorAgain)
        e.mirror->copyFrom(*e.cds);
    if (e.refreshAgainOnDelete)
        ControlaBotoes(*e.dts);
}

// A parent's accounting information goes before the parent.
void TfrmParamIRPJ::cdsParentBeforeDelete(const EditedDataSet& parent)
{
    service_.deleteInfCtb(field(*parent.cds, parent.keyField).asFloat());
}

// Cancels: nothing is sent, the toolbar follows.
void TfrmParamIRPJ::cdsAfterCancel(const EditedDataSet& e)
{
    ControlaBotoes(*e.dts);
}

} // namespace erp::par47300

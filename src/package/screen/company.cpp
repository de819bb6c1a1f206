// SPDX-License-Identifier: MIT
// Company selection and the loading of its parameters.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "data/fields.h"
#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"
#include "host/services.h"

namespace erp::par47300 {

namespace {
QJsonArray companyArg(const host::TMaskEdit* code)
{
    return QJsonArray{code->storedText()};
}
} // namespace

void TfrmParamIRPJ::medCdEmpresaChange()
{
    medNmEmpresa->clear();
}

void TfrmParamIRPJ::medCdEmpresaExit()
{
    medCdEmpresa->setStoredText(host::Ajusta(medCdEmpresa->storedText(), 2));
    const QString code = medCdEmpresa->storedText();
    if (host::EmptyString(code)) {
        medCdEmpresa->setFocus();
        host::MensErro(msgPadrao()->Msg(QStringLiteral("EMPR_DEV")), true);
    }
    abreQryEmpresa(code, QString());
    if (data_->qryEmpresa.isEmpty()) {
        medCdEmpresa->setFocus();
        host::MensErro(msgPadrao()->Msg(QStringLiteral("EMPR_N")), true);
    }
    medNmEmpresa->setText(text(data_->qryEmpresa, f::NMEMPRESA));
}

void TfrmParamIRPJ::btpEmpresaBeforePesq(bool&)
{
    abreQryEmpresa(QString(), QStringLiteral("T"));
}

void TfrmParamIRPJ::btpEmpresaAfterPesq()
{
    medCdEmpresa->setStoredText(text(data_->qryEmpresa, f::CDEMPRESA));
    medNmEmpresa->setText(text(data_->qryEmpresa, f::NMEMPRESA));
}

void TfrmParamIRPJ::panEmpresaEnter()
{
    pgcGeral->setActivePage(tshIRPJ);
    pgcIRPJ->setActivePage(tshAdicIRPJ);
    data_->cdsAdicIRPJ.close();
}

void TfrmParamIRPJ::panEmpresaExit()
{
    carregaPai(tabs_[IRPJ]);
}

void TfrmParamIRPJ::carregaPai(const ScreenTab& tab)
{
    service_.load(*tab.parent.cds, tab.loadMethod, companyArg(medCdEmpresa));
    tab.parent.mirror->copyFrom(*tab.parent.cds);
}

void TfrmParamIRPJ::getDados()
{
    const ScreenTab& tab = frontTab();
    tab.inner->setActivePage(tab.first);
    carregaPai(tab);
    tab.grid->setFocus();
    ControlaBotoes(*tab.parent.dts);
    if (tab.withRates)
        service_.load(data_->cdsAliquotas, contract::method::getAliquotas);
    service_.load(data_->cdsItensDRE, contract::method::getItensDRE);
}

} // namespace erp::par47300

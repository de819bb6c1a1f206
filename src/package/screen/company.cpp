// SPDX-License-Identifier: MIT
// Company selection and the loading of its parameters.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
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
    medNmEmpresa->setText(data_->qryEmpresa.fieldByName(QStringLiteral("NMEMPRESA")).asString());
}

void TfrmParamIRPJ::btpEmpresaBeforePesq(bool&)
{
    abreQryEmpresa(QString(), QStringLiteral("T"));
}

void TfrmParamIRPJ::btpEmpresaAfterPesq()
{
    medCdEmpresa->setStoredText(data_->qryEmpresa.fieldByName(QStringLiteral("CDEMPRESA")).asString());
    medNmEmpresa->setText(data_->qryEmpresa.fieldByName(QStringLiteral("NMEMPRESA")).asString());
}

void TfrmParamIRPJ::panEmpresaEnter()
{
    pgcGeral->setActivePage(tshIRPJ);
    pgcIRPJ->setActivePage(tshAdicIRPJ);
    data_->cdsAdicIRPJ.close();
}

void TfrmParamIRPJ::panEmpresaExit()
{
    service_.load(data_->cdsAdicIRPJ, contract::method::GetParamIRPJ, companyArg(medCdEmpresa));
    data_->cdsAdicEspelho.copyFrom(data_->cdsAdicIRPJ);
}

void TfrmParamIRPJ::getDados()
{
    struct Load {
        host::TPageControl* inner;
        QWidget* firstPage;
        const char* method;
        DataSet* dataSet;
        DataSet* mirror;
        host::TDBGrid* grid;
        DataSource* source;
    };
    const Load tab = pgcGeral->activePage() == tshIRPJ
                        ? Load{pgcIRPJ, tshAdicIRPJ, contract::method::GetParamIRPJ, &data_->cdsAdicIRPJ, &data_->cdsAdicEspelho,
                              dbgAdicIRPJ, &data_->dtsAdicIRPJ}
                    : pgcGeral->activePage() == tshCSLL
                        ? Load{pgcCSLL, tshAdicCSLL, contract::method::GetParamCSLL, &data_->cdsAdicCSLL, &data_->cdsAdicEspelho,
                              dbgAdicCSLL, &data_->dtsAdicCSLL}
                        : Load{pgcLucro, tshRecDesp, contract::method::getRecDesp, &data_->cdsRecDesp, &data_->cdsRecDespEspelho,
                              dbgRecDesp, &data_->dtsRecDesp};
    tab.inner->setActivePage(tab.firstPage);
    service_.load(*tab.dataSet, tab.method, companyArg(medCdEmpresa));
    tab.mirror->copyFrom(*tab.dataSet);
    tab.grid->setFocus();
    ControlaBotoes(*tab.source);
    if (tab.dataSet == &data_->cdsRecDesp)
        service_.load(data_->cdsAliquotas, contract::method::getAliquotas);
    service_.load(data_->cdsItensDRE, contract::method::getItensDRE);
}

} // namespace erp::par47300

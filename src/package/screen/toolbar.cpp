// SPDX-License-Identifier: MIT
// Toolbar actions: which dataset the toolbar acts on, and what each button does.
#include "frmparamirpj.h"

#include "host/dialogs.h"
#include "host/pagecontrol.h"
#include "host/search.h"

namespace erp::par47300 {

DataSet* TfrmParamIRPJ::activeDataSet()
{
    ParamIRPJData& d = *data_;
    if (pgcGeral->activePage() == tshIRPJ)
        return pgcIRPJ->activePage() == tshAdicIRPJ ? &d.cdsAdicIRPJ : &d.cdsInfCtb;
    if (pgcGeral->activePage() == tshCSLL)
        return pgcCSLL->activePage() == tshAdicCSLL ? &d.cdsAdicCSLL : &d.cdsInfCtb;
    return pgcLucro->activePage() == tshRecDesp ? &d.cdsRecDesp : &d.cdsInfCtb;
}

void TfrmParamIRPJ::AlteraStatusCds(QChar letter)
{
    DataSet* ds = activeDataSet();
    switch (letter.unicode()) {
    case u'I': ds->insert(); break;
    case u'A': ds->edit(); break;
    case u'E': ds->remove(); break;
    case u'O': ds->post(); break;
    case u'C': ds->cancel(); break;
    default: break;
    }
}

void TfrmParamIRPJ::sbtIncluirClick(QObject*)
{
    AlteraStatusCds(u'I');
}

void TfrmParamIRPJ::sbtAlterarClick(QObject*)
{
    AlteraStatusCds(u'A');
}

void TfrmParamIRPJ::sbtExcluirClick(QObject*)
{
    if (host::dialogs().confirm(msgBase()->Msg(QStringLiteral("Excl"))))
        AlteraStatusCds(u'E');
}

void TfrmParamIRPJ::sbtConfirmarClick(QObject* sender)
{
    TfrmPadraoSimples::sbtConfirmarClick(sender);
    AlteraStatusCds(u'O');
}

void TfrmParamIRPJ::sbtCancelarClick(QObject* sender)
{
    TfrmPadraoSimples::sbtCancelarClick(sender);
    if (host::dialogs().confirm(msgBase()->Msg(QStringLiteral("Canc"))))
        AlteraStatusCds(u'C');
}

void TfrmParamIRPJ::sbtVerificarClick(QObject* sender)
{
    TfrmPadraoSimples::sbtVerificarClick(sender);
    getDados();
}

void TfrmParamIRPJ::sbtProcurarClick(QObject* sender)
{
    TfrmPadraoSimples::sbtProcurarClick(sender);
    ParamIRPJData& d = *data_;
    if (pgcGeral->activePage() == tshIRPJ && pgcIRPJ->activePage() == tshAdicIRPJ)
        host::Procura(&d.cdsAdicIRPJ);
    else if (pgcGeral->activePage() == tshCSLL && pgcCSLL->activePage() == tshAdicCSLL)
        host::Procura(&d.cdsAdicCSLL);
    else if (pgcGeral->activePage() == tshLucro && pgcLucro->activePage() == tshRecDesp)
        host::Procura(&d.cdsRecDesp);
}

} // namespace erp::par47300

// SPDX-License-Identifier: MIT
// Toolbar actions: which dataset the toolbar acts on, and what each button does.
#include "frmparamirpj.h"

#include "host/dialogs.h"
#include "host/pagecontrol.h"
#include "host/search.h"

namespace erp::par47300 {

// The parent of the front tab on its own page, the accounting information on the other.
DataSet* TfrmParamIRPJ::activeDataSet()
{
    const ScreenTab& front = frontTab();
    return front.inner->activePage() == front.first ? front.parent.cds : infCtb_.cds;
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

// The search opens only on a parent's own page.
void TfrmParamIRPJ::sbtProcurarClick(QObject* sender)
{
    TfrmPadraoSimples::sbtProcurarClick(sender);
    const ScreenTab& front = frontTab();
    if (front.inner->activePage() == front.first)
        host::Procura(front.parent.cds);
}

} // namespace erp::par47300

// SPDX-License-Identifier: MIT
// Tab navigation: the accounting information always belongs to the parent row on screen.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "data/fields.h"
#include "host/pagecontrol.h"

namespace erp::par47300 {

void TfrmParamIRPJ::carregaInfCtb(const ScreenTab& tab)
{
    const DataSet& parent = *tab.parent.cds;
    const double seq = parent.active() && !parent.isEmpty() ? field(parent, tab.parent.keyField).asFloat() : 0.0;
    service_.load(*infCtb_.cds, contract::method::getInfCtbIRPJ, QJsonArray{seq});
    infCtb_.mirror->copyFrom(*infCtb_.cds);
}

void TfrmParamIRPJ::pgcInnerChange(const ScreenTab& tab)
{
    if (tab.inner->activePage() == tab.detail)
        carregaInfCtb(tab);
    else
        ControlaBotoes(*tab.parent.dts);
}

void TfrmParamIRPJ::cdsParentAfterScroll(const ScreenTab& tab)
{
    if (tab.inner->activePage() == tab.detail)
        carregaInfCtb(tab);
}

void TfrmParamIRPJ::cancelaPendente(DataSet& ds)
{
    if (ds.isEditing())
        ds.cancel();
}

void TfrmParamIRPJ::dbgKeyDown(int& key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::ControlModifier)
        key = 0;
}

void TfrmParamIRPJ::pgcGeralChange()
{
    getDados();
}

} // namespace erp::par47300

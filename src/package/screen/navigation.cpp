// SPDX-License-Identifier: MIT
// Tab navigation: the accounting information always belongs to the parent row on screen.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "host/grid/dbgrid.h"
#include "host/pagecontrol.h"

namespace erp::par47300 {

TfrmParamIRPJ::Tab TfrmParamIRPJ::tabOf(const host::TPageControl* inner)
{
    ParamIRPJData& d = *data_;
    if (inner == pgcIRPJ)
        return {pgcIRPJ, tshAdicIRPJ, tshInfCtbIRPJ, d.cdsAdicIRPJ, d.dtsAdicIRPJ, "NRSEQPARAMAPU"};
    if (inner == pgcCSLL)
        return {pgcCSLL, tshAdicCSLL, tshInfCtbCSLL, d.cdsAdicCSLL, d.dtsAdicCSLL, "NRSEQPARAMAPU"};
    return {pgcLucro, tshRecDesp, tshInfCtbLucro, d.cdsRecDesp, d.dtsRecDesp, "NRSEQRECDESPIRPJ"};
}

void TfrmParamIRPJ::carregaInfCtb(const Tab& tab)
{
    const Field& seq = tab.parent.fieldByName(QString::fromLatin1(tab.seqField));
    const double parent = tab.parent.active() && !tab.parent.isEmpty() ? seq.asFloat() : 0.0;
    service_.load(data_->cdsInfCtb, contract::method::getInfCtbIRPJ, QJsonArray{parent});
    data_->cdsInfEspelho.copyFrom(data_->cdsInfCtb);
}

void TfrmParamIRPJ::innerPageChange(host::TPageControl* inner)
{
    const Tab tab = tabOf(inner);
    if (inner->activePage() == tab.detail)
        carregaInfCtb(tab);
    else
        ControlaBotoes(tab.source);
}

void TfrmParamIRPJ::parentAfterScroll(host::TPageControl* inner)
{
    const Tab tab = tabOf(inner);
    if (inner->activePage() == tab.detail)
        carregaInfCtb(tab);
}

void TfrmParamIRPJ::cancelaPendente(DataSet& ds)
{
    if (ds.state() == DataSet::State::Edit || ds.state() == DataSet::State::Insert)
        ds.cancel();
}

void TfrmParamIRPJ::gridKeyDown(int& key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::ControlModifier)
        key = 0;
}

void TfrmParamIRPJ::pgcGeralChange()
{
    getDados();
}

} // namespace erp::par47300

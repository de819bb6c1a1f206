// SPDX-License-Identifier: MIT
// Toolbar enabling, the footer's binding and the page lock.
#include "frmparamirpj.h"

#include "host/dbcontrols.h"
#include "host/pagecontrol.h"

#include <QAction>

namespace erp::par47300 {

bool TfrmParamIRPJ::empresaLivre() const
{
    if (frontTab().parent.cds->state() != DataSet::State::Browse)
        return false; // a company being chosen, or none
    for (const EditedDataSet* e : {&tabs_[IRPJ].parent, &tabs_[CSLL].parent, &tabs_[Lucro].parent, &infCtb_})
        if (e->cds->isEditing())
            return false;
    return true;
}

void TfrmParamIRPJ::ControlaBotoes(DataSource& source)
{
    DataSet* ds = source.dataSet();
    if (!ds)
        return;
    const bool browse = ds->state() == DataSet::State::Browse;
    const bool idle = !ds->isEditing();
    const bool withRows = browse && !ds->isEmpty();

    // Buttons; each menu entry shares its button's action.
    action(Incluir)->setEnabled(browse);
    action(Verificar)->setEnabled(browse);
    action(Alterar)->setEnabled(withRows);
    action(Excluir)->setEnabled(withRows);
    action(Procurar)->setEnabled(withRows && ds != infCtb_.cds);
    action(Confirmar)->setEnabled(ds->isEditing());
    action(Cancelar)->setEnabled(ds->isEditing());
    mnuHistorico->setEnabled(paiDoHistorico() != nullptr);
    mnuCopiarParam->setEnabled(empresaLivre());
    mnuVerificarParam->setEnabled(empresaLivre());
    mnuCodigosECF->setEnabled(paiDosCodigosECF() != nullptr);

    // Footer: always the parent of the front outer tab, in this order.
    const ScreenTab& front = frontTab();
    dbtRodape->setDataField(QString());
    dbtRodape->setDataSource(front.parent.dts);
    dbnRodape->setDataSource(front.parent.dts);
    dbtRodape->setDataField(QString::fromLatin1(front.footerField));

    // Page lock: the pages that would let the user walk away from a row being
    // edited; for a parent its detail page, for the accounting information
    // the parent's page of the front tab.
    const auto lock = [&](const ScreenTab& tab, QWidget* sibling, bool siblingEnabled) {
        for (const ScreenTab& other : tabs_)
            if (&other != &tab)
                pgcGeral->setPageEnabled(other.tab, idle);
        tab.inner->setPageEnabled(sibling, siblingEnabled);
    };
    if (const ScreenTab* owner = tabOfParent(ds))
        lock(*owner, owner->detail, browse && ds->recordCount() > 0);
    else if (ds == infCtb_.cds)
        lock(front, front.first, browse);
}

} // namespace erp::par47300

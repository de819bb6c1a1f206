// SPDX-License-Identifier: MIT
// Toolbar enabling, the footer's binding and the page lock.
#include "frmparamirpj.h"

#include "host/dbcontrols.h"
#include "host/pagecontrol.h"

#include <QAction>

namespace erp::par47300 {

void TfrmParamIRPJ::ControlaBotoes(DataSource& source)
{
    DataSet* ds = source.dataSet();
    if (!ds)
        return;
    using S = DataSet::State;
    const S s = ds->state();
    const bool browse = s == S::Browse;
    const bool editing = s == S::Edit || s == S::Insert;
    const bool idle = s == S::Inactive || browse;
    const bool withRows = browse && !ds->isEmpty();
    const QString name = ds->objectName();

    // Buttons; each menu entry shares its button's action.
    action(Incluir)->setEnabled(browse);
    action(Verificar)->setEnabled(browse);
    action(Alterar)->setEnabled(withRows);
    action(Excluir)->setEnabled(withRows);
    action(Procurar)->setEnabled(withRows && name != QLatin1String("cdsInfCtb"));
    action(Confirmar)->setEnabled(editing);
    action(Cancelar)->setEnabled(editing);

    // Footer: always the parent of the front outer tab, in this order.
    DataSource* parent = &data_->dtsRecDesp;
    QString field = QStringLiteral("NMRECDESPIRPJ");
    if (pgcGeral->activePage() == tshIRPJ) {
        parent = &data_->dtsAdicIRPJ;
        field = QStringLiteral("NMPARAMAPU");
    } else if (pgcGeral->activePage() == tshCSLL) {
        parent = &data_->dtsAdicCSLL;
        field = QStringLiteral("NMPARAMAPU");
    }
    dbtRodape->setDataField(QString());
    dbtRodape->setDataSource(parent);
    dbnRodape->setDataSource(parent);
    dbtRodape->setDataField(field);

    // Page lock: the pages that would let the user walk away from a row being edited.
    const auto lock = [&](QWidget* otherA, QWidget* otherB, host::TPageControl* inner, QWidget* sibling, bool siblingEnabled) {
        pgcGeral->setPageEnabled(otherA, idle);
        pgcGeral->setPageEnabled(otherB, idle);
        inner->setPageEnabled(sibling, siblingEnabled);
    };
    const bool parentDetail = browse && ds->recordCount() > 0;
    if (name == QLatin1String("cdsAdicIRPJ"))
        lock(tshCSLL, tshLucro, pgcIRPJ, tshInfCtbIRPJ, parentDetail);
    else if (name == QLatin1String("cdsAdicCSLL"))
        lock(tshIRPJ, tshLucro, pgcCSLL, tshInfCtbCSLL, parentDetail);
    else if (name == QLatin1String("cdsRecDesp"))
        lock(tshIRPJ, tshCSLL, pgcLucro, tshInfCtbLucro, parentDetail);
    else if (name == QLatin1String("cdsInfCtb")) {
        if (pgcGeral->activePage() == tshIRPJ)
            lock(tshCSLL, tshLucro, pgcIRPJ, tshAdicIRPJ, browse);
        else if (pgcGeral->activePage() == tshCSLL)
            lock(tshIRPJ, tshLucro, pgcCSLL, tshAdicCSLL, browse);
        else if (pgcGeral->activePage() == tshLucro)
            lock(tshIRPJ, tshCSLL, pgcLucro, tshRecDesp, browse);
    }
}

} // namespace erp::par47300

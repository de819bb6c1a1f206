// SPDX-License-Identifier: MIT
// "Códigos da ECF": the code of the Receita's dynamic table (M300A for IRPJ,
// M350A for CSLL) each addition, exclusion and compensation carries.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "data/fields.h"
#include "host/busy.h"
#include "host/hostapplication.h"
#include "host/pagecontrol.h"
#include "screen/ecfdialog.h"

#include <QDate>

#include <tuple>

namespace erp::par47300 {

const EditedDataSet* TfrmParamIRPJ::paiDosCodigosECF() const
{
    const ScreenTab& front = frontTab();
    if (&front == &tabs_[Lucro] || front.inner->activePage() != front.first)
        return nullptr;
    const DataSet& parent = *front.parent.cds;
    if (parent.state() != DataSet::State::Browse || parent.isEmpty())
        return nullptr;
    return &front.parent;
}

void TfrmParamIRPJ::mnuCodigosECFClick()
{
    const EditedDataSet* parent = paiDosCodigosECF();
    if (!parent)
        return;
    const bool irpj = &frontTab() == &tabs_[IRPJ];
    const QString tax = letterText(irpj ? letter::imposto::IRPJ : letter::imposto::CSLL);
    DataSet& ds = *parent->cds;
    const QString company = text(ds, f::CDEMPRESA);

    DataPacket lines, mapped;
    {
        const host::BusyAnimation busy(host::HostApplication::mainWindow(), host::BusyAnimation::Opening);
        lines = service_.read(contract::method::getTabelaECF, QJsonArray{tax}, contract::tabelaEcfLayout());
        mapped = service_.read(contract::method::getCodECF, QJsonArray{company, tax}, contract::codEcfLayout());
    }

    // The rows as the grid shows them, with their saved codes.
    QHash<double, std::pair<QString, QString>> codes;
    const int number = mapped.indexOf(QString::fromLatin1(f::NRSEQPARAMAPU)), code = mapped.indexOf(QString::fromLatin1(f::CDECF)),
              description = mapped.indexOf(QString::fromLatin1(f::DSECF));
    for (const RowValues& r : mapped.rows)
        codes.insert(r.value(number).toDouble(), {r.value(code).toString().trimmed(), r.value(description).toString()});
    QList<EcfParamRow> rows;
    for (int r = 0; r < ds.recordCount(); ++r) {
        const DataSet::RowPeek peek(ds, r);
        EcfParamRow row{.number = field(ds, f::NRSEQPARAMAPU).asFloat(),
                        .name = text(ds, f::NMPARAMAPU),
                        .kind = text(ds, f::IDPARAMAPU),
                        .kindText = field(ds, f::IDPARAMAPU).displayText(),
                        .percentText = field(ds, f::VRPORCENTAGEM).displayText(),
                        .code = {},
                        .savedDescription = {}};
        const auto saved = codes.constFind(row.number);
        if (saved != codes.constEnd())
            std::tie(row.code, row.savedDescription) = *saved;
        rows.append(row);
    }

    const QString sheet = ecf::sheetOf(irpj ? letter::imposto::IRPJ : letter::imposto::CSLL);
    auto* dialog = new TEcfCodesDialog(QStringLiteral("Códigos da ECF – %1 (tabela %2)").arg(irpj ? QStringLiteral("IRPJ") : QStringLiteral("CSLL"), sheet),
                                       sheet, ecf::linesOf(lines), std::move(rows), QDate::currentDate().year(),
                                       [this](const ChangePacket& changes) { service_.save(contract::method::setCodECF, changes); }, this);
    dialog->setObjectName(QStringLiteral("dlgCodigosECF"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

} // namespace erp::par47300

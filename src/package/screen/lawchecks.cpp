// SPDX-License-Identifier: MIT
// "Verificar parâmetros": the service's checks of the company's parameters
// against the law, listed in a dialog; a double-click goes to the row.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "data/fields.h"
#include "host/busy.h"
#include "host/dialogs.h"
#include "host/grid/dbgrid.h"
#include "host/hostapplication.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"
#include "host/services.h"
#include "host/tabledialog.h"

#include <QHash>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include <algorithm>

namespace erp::par47300 {

namespace {

enum Coluna { Gravidade, Imposto, Registro, Mensagem, Referencia, Colunas };

QString gravidadeText(const QString& code)
{
    if (isLetter(code, letter::gravidade::Erro))
        return QStringLiteral("Erro");
    if (isLetter(code, letter::gravidade::Aviso))
        return QStringLiteral("Aviso");
    return code;
}

QString impostoText(const QString& code)
{
    if (isLetter(code, letter::imposto::IRPJ))
        return QStringLiteral("IRPJ");
    if (isLetter(code, letter::imposto::CSLL))
        return QStringLiteral("CSLL");
    return QStringLiteral("—");
}

// A cell of the findings; long texts also whole in their tooltip.
QStandardItem* item(const QString& text, const QVariant& sortValue = {}, bool tip = false)
{
    auto* i = new QStandardItem(text);
    if (sortValue.isValid())
        i->setData(sortValue, Qt::UserRole);
    if (tip)
        i->setToolTip(text);
    return i;
}

} // namespace

void TfrmParamIRPJ::mnuVerificarParamClick()
{
    if (!empresaLivre())
        return;
    const QString company = medCdEmpresa->storedText();
    // Whether a finding (its table and tax) may be a row of a tab: the
    // additions of both taxes share one table.
    const char taxOfTab[] = {letter::imposto::IRPJ, letter::imposto::CSLL, '\0'};
    const auto mayBeOf = [&](std::size_t t, const QString& tabela, const QString& imposto) {
        return tabela == QLatin1String(tabs_[t].parent.table) && (imposto.isEmpty() || !taxOfTab[t] || isLetter(imposto, taxOfTab[t]));
    };

    DataPacket achados;
    // The names of the parent rows the findings may name, by number, per tab.
    std::array<QHash<qint64, QString>, 3> nomes;
    {
        const host::BusyAnimation busy(host::HostApplication::mainWindow(), host::BusyAnimation::Opening);
        achados = service_.read(contract::method::verificaParamIRPJ, QJsonArray{company}, contract::verificacaoLayout());
        for (std::size_t t = 0; t < tabs_.size(); ++t) {
            const bool needed = std::any_of(achados.rows.begin(), achados.rows.end(), [&](const RowValues& r) {
                return mayBeOf(t, r.value(achados.indexOf(QString::fromLatin1(f::NMTABELA))).toString(),
                               r.value(achados.indexOf(QString::fromLatin1(f::IDIMPOSTO))).toString());
            });
            if (!needed)
                continue;
            const ScreenTab& tab = tabs_[t];
            const DataPacket rows = service_.read(tab.loadMethod, QJsonArray{company}, tab.parent.cds->fieldDefs());
            const int key = rows.indexOf(QString::fromLatin1(tab.parent.keyField));
            const int name = rows.indexOf(QString::fromLatin1(tab.footerField)); // the row's name
            for (const RowValues& r : rows.rows)
                nomes[t].insert(r.value(key).toLongLong(), r.value(name).toString());
        }
    }
    if (achados.rows.empty()) {
        host::dialogs().showInformation(QStringLiteral("Nenhuma inconsistência encontrada."));
        return;
    }

    const auto at = [&](const RowValues& r, const char* name) { return r.value(achados.indexOf(QString::fromLatin1(name))); };
    auto* model = new QStandardItemModel(0, Colunas, this);
    model->setHorizontalHeaderLabels(
        {QStringLiteral("Gravidade"), QStringLiteral("Imposto"), QStringLiteral("Registro"), QStringLiteral("Mensagem"), QStringLiteral("Referência legal")});
    // Where each finding's row is on screen: its tab (none for a table the
    // screen does not show) and its number.
    struct Alvo {
        const ScreenTab* tab = nullptr;
        double number = 0;
    };
    std::vector<Alvo> alvos;
    for (const RowValues& r : achados.rows) {
        const QString tabela = at(r, f::NMTABELA).toString();
        const QString imposto = at(r, f::IDIMPOSTO).toString();
        Alvo alvo{nullptr, at(r, f::NRSEQREGISTRO).toDouble()};
        QString registro = QStringLiteral("nº %1").arg(qint64(alvo.number));
        // The tab whose rows hold the number; else the first it may be on.
        for (std::size_t t = 0; t < tabs_.size(); ++t) {
            if (!mayBeOf(t, tabela, imposto))
                continue;
            if (nomes[t].contains(qint64(alvo.number))) {
                alvo.tab = &tabs_[t];
                registro = nomes[t].value(qint64(alvo.number));
                break;
            }
            if (!alvo.tab)
                alvo.tab = &tabs_[t];
        }
        // Sorted by severity, the lines keep the service's order: errors first, then by tax and row.
        model->appendRow({item(gravidadeText(at(r, f::IDGRAVIDADE).toString()), qlonglong(alvos.size())), item(impostoText(imposto)),
                          item(registro, {}, true), item(at(r, f::DSMENSAGEM).toString(), {}, true),
                          item(at(r, f::DSREFERENCIA).toString(), {}, true)});
        alvos.push_back(alvo);
    }

    auto* dialog = new host::TTableDialog(QStringLiteral("Verificação dos parâmetros da empresa %1").arg(company), model,
                                          QStringLiteral("verificacao-%1.csv").arg(company), Gravidade, Qt::AscendingOrder, this);
    dialog->setObjectName(QStringLiteral("dlgVerificacao"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QTableView* view = dialog->view();
    view->setWordWrap(true);
    view->setColumnWidth(Registro, qMin(view->columnWidth(Registro), 180));
    view->setColumnWidth(Mensagem, 330);
    dialog->resize(980, 460);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->setToolTip(QStringLiteral("Clique duas vezes numa linha para ir ao registro."));
    connect(dialog, &host::TTableDialog::rowActivated, this, [this, dialog, alvos](int row) {
        host::guarded([&] {
            const Alvo& alvo = alvos.at(std::size_t(row));
            if (!alvo.tab)
                return;
            vaiParaRegistro(*alvo.tab, alvo.number);
            dialog->accept();
            alvo.tab->grid->setFocus();
        });
    });
    dialog->open();
}

void TfrmParamIRPJ::vaiParaRegistro(const ScreenTab& tab, double number)
{
    // As a click on its tabs would: the tab's change rule loads its rows.
    if (pgcGeral->activePage() != tab.tab) {
        pgcGeral->setActivePage(tab.tab);
        pgcGeralChange();
    } else if (tab.inner->activePage() != tab.first) {
        tab.inner->setActivePage(tab.first);
        pgcInnerChange(tab);
    }
    DataSet& ds = *tab.parent.cds;
    const QString key = QString::fromLatin1(tab.parent.keyField);
    if (!ds.locate(key, {number})) {
        // Rows on screen older than the check: read them again.
        getDados();
        if (!ds.locate(key, {number}))
            host::MensErro(QStringLiteral("O registro nº %1 não está mais entre os parâmetros da empresa %2: pode ter sido excluído.")
                               .arg(qint64(number))
                               .arg(medCdEmpresa->storedText()),
                           true);
    }
    tab.grid->setFocus();
}

} // namespace erp::par47300

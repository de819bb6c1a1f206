// SPDX-License-Identifier: MIT
// What the screen is made of: company bar, the three tabs with their grids,
// the footer; and the tables of its tabs and edited datasets.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "data/fields.h"
#include "editors/codedfield.h"
#include "editors/rowkeys.h"
#include "entry/module.h"
#include "host/dbcontrols.h"
#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/messages.h"
#include "host/pagecontrol.h"
#include "host/search.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>

namespace erp::par47300 {

namespace {

QWidget* page(host::TPageControl* control, const char* name, const QString& caption)
{
    auto* w = new QWidget(control);
    w->setObjectName(QString::fromLatin1(name));
    control->addTab(w, caption);
    return w;
}

host::TPageControl* pageControl(QWidget* parent, const char* name)
{
    auto* p = new host::TPageControl(parent);
    p->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(p);
    return p;
}

void setBackground(QWidget* w, QPalette::ColorRole role)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, pal.color(role));
    w->setPalette(pal);
}

// A grid filling its page, over a data source, with its columns.
struct GridLook {
    const char* name;
    DataSource& source;
    QList<host::GridColumn> columns;
    int cellFontPixels = 0; // 0: the screen's font
};

host::TDBGrid* grid(QWidget* page, const GridLook& look)
{
    auto* g = new host::TDBGrid(page);
    g->setObjectName(QString::fromLatin1(look.name));
    g->setDataSource(&look.source);
    g->setColumns(look.columns);
    setBackground(g, QPalette::ToolTipBase);
    if (look.cellFontPixels > 0) {
        QFont f = g->font();
        f.setPixelSize(look.cellFontPixels);
        g->setFont(f);
    }
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(g);
    return g;
}

} // namespace

void TfrmParamIRPJ::buildLayout()
{
    ParamIRPJData& d = *data_;
    const host::TMessages& msg = *msgPadrao();
    auto* root = new QVBoxLayout(clientArea());
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Company bar.
    panEmpresa = new QFrame(clientArea());
    panEmpresa->setObjectName(QStringLiteral("panEmpresa"));
    panEmpresa->setFrameShape(QFrame::StyledPanel);
    panEmpresa->setFixedHeight(34);
    lblEmpresa = new QLabel(QStringLiteral("Empresa"), panEmpresa);
    lblEmpresa->setObjectName(QStringLiteral("lblEmpresa"));
    QFont bold = lblEmpresa->font();
    bold.setBold(true);
    lblEmpresa->setFont(bold);
    medCdEmpresa = new host::TMaskEdit(panEmpresa);
    medCdEmpresa->setObjectName(QStringLiteral("medCdEmpresa"));
    medCdEmpresa->setEditMask(QStringLiteral("99;0; "));
    medCdEmpresa->setMaxLength(2);
    medCdEmpresa->setFixedWidth(34);
    setBackground(medCdEmpresa, QPalette::ToolTipBase);
    btpEmpresa = new host::TBtnPesquisa(panEmpresa);
    btpEmpresa->setObjectName(QStringLiteral("btpEmpresa"));
    btpEmpresa->setToolTip(QStringLiteral("Pesquisar"));
    btpEmpresa->bind(medCdEmpresa, &d.dtsEmpresa, QString::fromLatin1(f::CDEMPRESA), QString::fromLatin1(f::NMEMPRESA));
    btpEmpresa->setTitle(QStringLiteral("Empresas"));
    btpEmpresa->setEmptyText(QStringLiteral("Não há empresa"));
    medNmEmpresa = new host::TMaskEdit(panEmpresa);
    medNmEmpresa->setObjectName(QStringLiteral("medNmEmpresa"));
    medNmEmpresa->setEnabled(false);
    setBackground(medNmEmpresa, QPalette::Button);
    auto* bar = new QHBoxLayout(panEmpresa);
    bar->setContentsMargins(6, 2, 6, 2);
    bar->addWidget(lblEmpresa);
    bar->addWidget(medCdEmpresa);
    bar->addWidget(btpEmpresa);
    bar->addWidget(medNmEmpresa, 1);

    // Tabs.
    panFundo = new QFrame(clientArea());
    panFundo->setObjectName(QStringLiteral("panFundo"));
    pgcGeral = pageControl(panFundo, "pgcGeral");
    tshIRPJ = page(pgcGeral, "tshIRPJ", QStringLiteral("IRPJ"));
    tshCSLL = page(pgcGeral, "tshCSLL", QStringLiteral("CSLL"));
    tshLucro = page(pgcGeral, "tshLucro", QStringLiteral("Lucro Líquido"));
    pgcIRPJ = pageControl(tshIRPJ, "pgcIRPJ");
    tshAdicIRPJ = page(pgcIRPJ, "tshAdicIRPJ", QStringLiteral("Adições/Exclusões/Compensações"));
    tshInfCtbIRPJ = page(pgcIRPJ, "tshInfCtbIRPJ", QStringLiteral("Informações Contábeis"));
    pgcCSLL = pageControl(tshCSLL, "pgcCSLL");
    tshAdicCSLL = page(pgcCSLL, "tshAdicCSLL", QStringLiteral("Adições/Exclusões/Compensações"));
    tshInfCtbCSLL = page(pgcCSLL, "tshInfCtbCSLL", QStringLiteral("Informações Contábeis"));
    pgcLucro = pageControl(tshLucro, "pgcLucro");
    tshRecDesp = page(pgcLucro, "tshRecDesp", QStringLiteral("Itens"));
    tshInfCtbLucro = page(pgcLucro, "tshInfCtbLucro", QStringLiteral("Informações Contábeis"));

    // Grid columns; the choices of a coded column are its field's catalogue texts.
    const QList<host::GridColumn> adic{
        {.fieldName = f::NMPARAMAPU, .width = 200},
        {.fieldName = f::IDPARAMAPU, .width = 102, .pickList = coded::tipo.texts(msg)},
        {.fieldName = f::VRPORCENTAGEM},
    };
    const QList<host::GridColumn> infCtb{
        {.fieldName = f::IDINFCTBIRPJ, .width = 121, .pickList = coded::origem.texts(msg)},
        {.fieldName = f::CHAVE, .ellipsis = true},
    };
    QList<host::GridColumn> infCtbLucro = infCtb;
    infCtbLucro << host::GridColumn{.fieldName = f::IDFORMAPURITEM, .width = 83, .title = QStringLiteral("Apuração"),
                                    .pickList = coded::apuracao.texts(msg)};
    const QList<host::GridColumn> recDesp{
        {.fieldName = f::NMRECDESPIRPJ, .width = 241},
        {.fieldName = f::IDRECDESPIRPJ, .width = 89, .pickList = coded::recDesp.texts(msg)},
        {.fieldName = f::IDRECDESPIRPJOP, .pickList = coded::simNao.texts(msg)},
        {.fieldName = f::NRSEQALIQIRPJ, .width = 148, .ellipsis = true},
        {.fieldName = f::IDCONSVRDEB, .width = 107, .title = QStringLiteral("Considera Vr.Débito"), .pickList = coded::simNao.texts(msg)},
    };
    dbgAdicIRPJ = grid(tshAdicIRPJ, {.name = "dbgAdicIRPJ", .source = d.dtsAdicIRPJ, .columns = adic, .cellFontPixels = 9});
    dbgInfCtbIRPJ = grid(tshInfCtbIRPJ, {.name = "dbgInfCtbIRPJ", .source = d.dtsInfCtb, .columns = infCtb, .cellFontPixels = 11});
    dbgAdicCSLL = grid(tshAdicCSLL, {.name = "dbgAdicCSLL", .source = d.dtsAdicCSLL, .columns = adic});
    dbgInfCtbCSLL = grid(tshInfCtbCSLL, {.name = "dbgInfCtbCSLL", .source = d.dtsInfCtb, .columns = infCtb});
    dbgRecDesp = grid(tshRecDesp, {.name = "dbgRecDesp", .source = d.dtsRecDesp, .columns = recDesp});
    dbgInfCtbLucro = grid(tshInfCtbLucro, {.name = "dbgInfCtbLucro", .source = d.dtsInfCtb, .columns = infCtbLucro});

    // As stored: the front pages until set-up and loading choose.
    pgcGeral->setActivePage(tshLucro);
    pgcIRPJ->setActivePage(tshAdicIRPJ);
    pgcCSLL->setActivePage(tshAdicCSLL);
    pgcLucro->setActivePage(tshRecDesp);

    // The tables the rules look up: the four edited datasets and the three tabs.
    namespace m = contract::method;
    namespace t = contract::t;
    const auto adicoes = [&](DataSet& cds, DataSource& dts) {
        return EditedDataSet{.cds = &cds, .mirror = &d.cdsAdicEspelho, .dts = &dts, .saveMethod = m::SetParamIRPJ,
                             .sequenceMethod = m::prxSeqParamIRPJ, .keyField = f::NRSEQPARAMAPU, .table = t::PARAMAPUIRPJ, .preEditKey = &stAdic,
                             .rowKey = adicKey, .refreshOnPost = false, .mirrorAgain = false, .refreshAgainOnDelete = false};
    };
    infCtb_ = {.cds = &d.cdsInfCtb, .mirror = &d.cdsInfEspelho, .dts = &d.dtsInfCtb, .saveMethod = m::SetInfCtbIRPJ,
               .sequenceMethod = m::prxInfCtbIRPJ, .keyField = f::NRSEQINFCTBIRPJ, .table = t::INFCTBIRPJ, .preEditKey = &stOrigem,
               .rowKey = infCtbKey, .refreshOnPost = true, .mirrorAgain = true, .refreshAgainOnDelete = false};
    tabs_[IRPJ] = {.tab = tshIRPJ, .inner = pgcIRPJ, .first = tshAdicIRPJ, .detail = tshInfCtbIRPJ, .grid = dbgAdicIRPJ,
                   .detailGrid = dbgInfCtbIRPJ, .parent = adicoes(d.cdsAdicIRPJ, d.dtsAdicIRPJ), .loadMethod = m::GetParamIRPJ,
                   .footerField = f::NMPARAMAPU, .withRates = false};
    tabs_[CSLL] = {.tab = tshCSLL, .inner = pgcCSLL, .first = tshAdicCSLL, .detail = tshInfCtbCSLL, .grid = dbgAdicCSLL,
                   .detailGrid = dbgInfCtbCSLL, .parent = adicoes(d.cdsAdicCSLL, d.dtsAdicCSLL), .loadMethod = m::GetParamCSLL,
                   .footerField = f::NMPARAMAPU, .withRates = false};
    tabs_[Lucro] = {.tab = tshLucro, .inner = pgcLucro, .first = tshRecDesp, .detail = tshInfCtbLucro, .grid = dbgRecDesp,
                    .detailGrid = dbgInfCtbLucro,
                    .parent = {.cds = &d.cdsRecDesp, .mirror = &d.cdsRecDespEspelho, .dts = &d.dtsRecDesp, .saveMethod = m::setRecDesp,
                               .sequenceMethod = m::prxSeqParamIRPJ, .keyField = f::NRSEQRECDESPIRPJ, .table = t::RECDESPIRPJ, .preEditKey = &stItem,
                               .rowKey = itemKey, .refreshOnPost = true, .mirrorAgain = false, .refreshAgainOnDelete = true},
                    .loadMethod = m::getRecDesp, .footerField = f::NMRECDESPIRPJ, .withRates = true};

    // Menu: the history of the row on screen; no toolbar button. Added to
    // the screen too, so its key works wherever the focus is in it.
    mnuHistorico = new QAction(QStringLiteral("&Histórico do registro"), this);
    mnuHistorico->setObjectName(QStringLiteral("mnuHistorico"));
    mnuHistorico->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    mnuHistorico->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    mnuHistorico->setEnabled(false);
    mnuOperacao()->insertAction(mnuListagem(), mnuHistorico);
    addAction(mnuHistorico);
    mnuCopiarParam = new QAction(QStringLiteral("Copiar parâmetros de &outra empresa…"), this);
    mnuCopiarParam->setObjectName(QStringLiteral("mnuCopiarParam"));
    mnuVerificarParam = new QAction(QStringLiteral("Verificar pa&râmetros"), this);
    mnuVerificarParam->setObjectName(QStringLiteral("mnuVerificarParam"));
    for (QAction* a : {mnuCopiarParam, mnuVerificarParam}) {
        a->setEnabled(false);
        mnuOperacao()->insertAction(mnuListagem(), a);
    }
    mnuCodigosECF = new QAction(QStringLiteral("Códigos da &ECF…"), this);
    mnuCodigosECF->setObjectName(QStringLiteral("mnuCodigosECF"));
    mnuCodigosECF->setEnabled(false);
    mnuOperacao()->insertAction(mnuListagem(), mnuCodigosECF);

    // Footer.
    panRodape = new QFrame(clientArea());
    panRodape->setObjectName(QStringLiteral("panRodape"));
    panRodape->setFixedHeight(18);
    dbnRodape = new host::TDBNavigator(panRodape);
    dbnRodape->setObjectName(QStringLiteral("dbnRodape"));
    dbtRodape = new host::TDBText(panRodape);
    dbtRodape->setObjectName(QStringLiteral("dbtRodape"));
    dbtRodape->setFont(bold);
    auto* footer = new QHBoxLayout(panRodape);
    footer->setContentsMargins(0, 0, 4, 0);
    footer->addWidget(dbnRodape);
    footer->addWidget(dbtRodape, 1);

    root->addWidget(panEmpresa);
    root->addWidget(panFundo, 1);
    root->addWidget(panRodape);

    setTabOrder(medCdEmpresa, pgcGeral);
    setActiveControl(medCdEmpresa);
    setFixedSize(691, 373 + mnuOperacao()->parentWidget()->sizeHint().height());
}

const ScreenTab& TfrmParamIRPJ::frontTab() const
{
    for (const ScreenTab& tab : tabs_)
        if (pgcGeral->activePage() == tab.tab)
            return tab;
    return tabs_[Lucro];
}

const ScreenTab* TfrmParamIRPJ::tabOfParent(const DataSet* ds) const
{
    for (const ScreenTab& tab : tabs_)
        if (tab.parent.cds == ds)
            return &tab;
    return nullptr;
}

void TfrmParamIRPJ::FocaColunaGridCtb(int column)
{
    host::TDBGrid* target = frontTab().detailGrid;
    target->setFocus();
    target->setSelectedIndex(column);
}

} // namespace erp::par47300

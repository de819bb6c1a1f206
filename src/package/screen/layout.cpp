// SPDX-License-Identifier: MIT
// What the screen is made of: company bar, the three tabs with their grids, the footer.
#include "frmparamirpj.h"

#include "host/dbcontrols.h"
#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"
#include "host/search.h"

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

host::TDBGrid* grid(QWidget* page, const char* name, DataSource& source, const QList<host::GridColumn>& columns)
{
    auto* g = new host::TDBGrid(page);
    g->setObjectName(QString::fromLatin1(name));
    g->setDataSource(&source);
    g->setColumns(columns);
    QPalette pal = g->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::ToolTipBase));
    g->setPalette(pal);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(g);
    return g;
}

void setCellFont(host::TDBGrid* g, int pixels)
{
    QFont f = g->font();
    f.setPixelSize(pixels);
    g->setFont(f);
}

} // namespace

void TfrmParamIRPJ::buildLayout()
{
    const QStringList tipos{QStringLiteral("Adição"), QStringLiteral("Exclusão"), QStringLiteral("Compensação")};
    const QStringList origens{QStringLiteral("Conta Contábil"), QStringLiteral("Item do DRE")};
    const QStringList simNao{QStringLiteral("Sim"), QStringLiteral("Não")};

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
    QPalette tip = medCdEmpresa->palette();
    tip.setColor(QPalette::Base, tip.color(QPalette::ToolTipBase));
    medCdEmpresa->setPalette(tip);
    btpEmpresa = new host::TBtnPesquisa(panEmpresa);
    btpEmpresa->setObjectName(QStringLiteral("btpEmpresa"));
    btpEmpresa->setToolTip(QStringLiteral("Pesquisar"));
    btpEmpresa->bind(medCdEmpresa, &data_->dtsEmpresa, QStringLiteral("CDEMPRESA"), QStringLiteral("NMEMPRESA"));
    btpEmpresa->setTitle(QStringLiteral("Empresas"));
    btpEmpresa->setEmptyText(QStringLiteral("Não há empresa"));
    medNmEmpresa = new host::TMaskEdit(panEmpresa);
    medNmEmpresa->setObjectName(QStringLiteral("medNmEmpresa"));
    medNmEmpresa->setEnabled(false);
    QPalette face = medNmEmpresa->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    medNmEmpresa->setPalette(face);
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

    const QList<host::GridColumn> adic{{QStringLiteral("NMPARAMAPU"), 200, {}, {}, false},
                                       {QStringLiteral("IDPARAMAPU"), 102, {}, tipos, false},
                                       {QStringLiteral("VRPORCENTAGEM"), -1, {}, {}, false}};
    const QList<host::GridColumn> infCtb{{QStringLiteral("IDINFCTBIRPJ"), 121, {}, origens, false},
                                         {QStringLiteral("CHAVE"), -1, {}, {}, true}};
    QList<host::GridColumn> infCtbLucro = infCtb;
    infCtbLucro.append({QStringLiteral("IDFORMAPURITEM"), 83, QStringLiteral("Apuração"),
                        {QStringLiteral("Competência"), QStringLiteral("Pagamento")}, false});
    const QList<host::GridColumn> recDesp{{QStringLiteral("NMRECDESPIRPJ"), 241, {}, {}, false},
                                          {QStringLiteral("IDRECDESPIRPJ"), 89, {}, {QStringLiteral("Receita"), QStringLiteral("Despesa")}, false},
                                          {QStringLiteral("IDRECDESPIRPJOP"), -1, {}, simNao, false},
                                          {QStringLiteral("NRSEQALIQIRPJ"), 148, {}, {}, true},
                                          {QStringLiteral("IDCONSVRDEB"), 107, QStringLiteral("Considera Vr.Débito"), simNao, false}};
    dbgAdicIRPJ = grid(tshAdicIRPJ, "dbgAdicIRPJ", data_->dtsAdicIRPJ, adic);
    dbgInfCtbIRPJ = grid(tshInfCtbIRPJ, "dbgInfCtbIRPJ", data_->dtsInfCtb, infCtb);
    dbgAdicCSLL = grid(tshAdicCSLL, "dbgAdicCSLL", data_->dtsAdicCSLL, adic);
    dbgInfCtbCSLL = grid(tshInfCtbCSLL, "dbgInfCtbCSLL", data_->dtsInfCtb, infCtb);
    dbgRecDesp = grid(tshRecDesp, "dbgRecDesp", data_->dtsRecDesp, recDesp);
    dbgInfCtbLucro = grid(tshInfCtbLucro, "dbgInfCtbLucro", data_->dtsInfCtb, infCtbLucro);
    setCellFont(dbgAdicIRPJ, 9);
    setCellFont(dbgInfCtbIRPJ, 11);

    // As stored: the front pages until set-up and loading choose.
    pgcGeral->setActivePage(tshLucro);
    pgcIRPJ->setActivePage(tshAdicIRPJ);
    pgcCSLL->setActivePage(tshAdicCSLL);
    pgcLucro->setActivePage(tshRecDesp);

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

void TfrmParamIRPJ::FocaColunaGridCtb(int column)
{
    host::TDBGrid* target = nullptr;
    if (pgcGeral->activePage() == tshIRPJ)
        target = dbgInfCtbIRPJ;
    else if (pgcGeral->activePage() == tshCSLL)
        target = dbgInfCtbCSLL;
    else if (pgcGeral->activePage() == tshLucro)
        target = dbgInfCtbLucro;
    if (!target)
        return;
    target->setFocus();
    target->setSelectedIndex(column);
}

} // namespace erp::par47300

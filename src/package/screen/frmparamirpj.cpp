// SPDX-License-Identifier: MIT
// Set-up, server connection and teardown.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "data/fields.h"
#include "entry/module.h"
#include "host/busy.h"
#include "host/dbcontrols.h"
#include "host/hostapplication.h"
#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"
#include "host/search.h"
#include "host/services.h"

#include <QAction>
#include <QLabel>

namespace erp::par47300 {

TfrmParamIRPJ::TfrmParamIRPJ(QWidget* parent)
    : TfrmPadraoSimples(parent),
      data_(new ParamIRPJData(this)),
      netParamIRPJ_(QString::fromLatin1(contract::kServerObject)),
      service_(netParamIRPJ_)
{
    setObjectName(QStringLiteral("frmParamIRPJ"));
    setWindowTitle(QStringLiteral("Parametrização da Apuração do IRPJ e CSLL"));
    lblCodTela()->setText(QStringLiteral("PAR47300"));
    msgPadrao()->loadFile(QStringLiteral(":/PAR47300/msgpadrao.cp1252"));
    mnuListagem()->setEnabled(false);
    mnuListagem()->setVisible(false);
    mnuConfigImpressora()->setEnabled(false);
    netParamIRPJ_.onBeforeConnect = [this](host::TNetConnection& net) { netParamIRPJBeforeConnect(net); };
    buildLayout();
    bindRules();
}

TfrmParamIRPJ::~TfrmParamIRPJ() = default;

namespace {
// A dataset's or a field's rule from a method of the screen.
template<class... Args>
auto rule(TfrmParamIRPJ* screen, void (TfrmParamIRPJ::*method)(Args...))
{
    return [screen, method](Args... args) { (screen->*method)(std::forward<Args>(args)...); };
}
} // namespace

void TfrmParamIRPJ::bindRules()
{
    ParamIRPJData& d = *data_;

    connect(mnuHistorico, &QAction::triggered, this, [this] { host::guarded([this] { mnuHistoricoClick(); }); });
    connect(mnuCopiarParam, &QAction::triggered, this, [this] { host::guarded([this] { mnuCopiarParamClick(); }); });
    connect(mnuVerificarParam, &QAction::triggered, this, [this] { host::guarded([this] { mnuVerificarParamClick(); }); });
    connect(mnuCodigosECF, &QAction::triggered, this, [this] { host::guarded([this] { mnuCodigosECFClick(); }); });

    // Company bar.
    medCdEmpresa->onChange = [this](host::TMaskEdit&) { medCdEmpresaChange(); };
    setExitRule(medCdEmpresa, [this] { medCdEmpresaExit(); });
    setEnterRule(panEmpresa, [this] { panEmpresaEnter(); });
    setExitRule(panEmpresa, [this] { panEmpresaExit(); });
    btpEmpresa->onBeforePesq = [this](host::TBtnPesquisa&, bool& flag) { btpEmpresaBeforePesq(flag); };
    btpEmpresa->onAfterPesq = [this](host::TBtnPesquisa&) { btpEmpresaAfterPesq(); };

    // Tabs: the main page control, then each tab's inner pages and parent.
    pgcGeral->onChange = [this](host::TPageControl&) { pgcGeralChange(); };
    setExitRule(pgcGeral, [this] { cancelaPendente(*infCtb_.cds); });
    for (const ScreenTab& tab : tabs_) {
        tab.inner->onChange = [this, &tab](host::TPageControl&) { pgcInnerChange(tab); };
        setExitRule(tab.inner, [this, &tab] { cancelaPendente(*tab.parent.cds); });
        tab.parent.cds->afterScroll = [this, &tab](DataSet&) { cdsParentAfterScroll(tab); };
        tab.parent.cds->beforeDelete = [this, &tab](DataSet&) { cdsParentBeforeDelete(tab.parent); };
        for (host::TDBGrid* grid : {tab.grid, tab.detailGrid})
            grid->onKeyDown = [this](host::TDBGrid&, int& key, Qt::KeyboardModifiers m) { dbgKeyDown(key, m); };
    }

    // Edit persistence of the four edited datasets.
    for (const EditedDataSet* e : {&tabs_[IRPJ].parent, &tabs_[CSLL].parent, &tabs_[Lucro].parent, &infCtb_}) {
        e->dts->onStateChange = rule(this, &TfrmParamIRPJ::ControlaBotoes);
        e->cds->afterEdit = [this, e](DataSet&) { cdsAfterEdit(*e); };
        e->cds->afterPost = [this, e](DataSet&) { cdsAfterPost(*e); };
        e->cds->afterDelete = [this, e](DataSet&) { cdsAfterDelete(*e); };
        e->cds->afterCancel = [this, e](DataSet&) { cdsAfterCancel(*e); };
    }
    d.cdsInfCtb.onNewRecord = rule(this, &TfrmParamIRPJ::cdsInfCtbNewRecord);
    d.cdsRecDesp.onNewRecord = rule(this, &TfrmParamIRPJ::cdsRecDespNewRecord);

    // Additions editor, for both taxes; their new rows differ in their tax.
    const std::pair<Tab, char> taxes[] = {{IRPJ, letter::imposto::IRPJ}, {CSLL, letter::imposto::CSLL}};
    for (const auto& [t, imposto] : taxes) {
        const EditedDataSet& e = tabs_[t].parent;
        DataSet& ds = *e.cds;
        ds.onNewRecord = [this, &e, imposto](DataSet&) { cdsAdicNewRecord(e, imposto); };
        field(ds, f::IDPARAMAPU).onGetText = rule(this, &TfrmParamIRPJ::cdsAdicIDPARAMAPUGetText);
        field(ds, f::IDPARAMAPU).onSetText = rule(this, &TfrmParamIRPJ::cdsAdicIDPARAMAPUSetText);
        field(ds, f::VRPORCENTAGEM).onGetText = rule(this, &TfrmParamIRPJ::cdsAdicVRPORCENTAGEMGetText);
        ds.beforePost = rule(this, &TfrmParamIRPJ::cdsAdicBeforePost);
        tabs_[t].grid->onKeyPress = rule(this, &TfrmParamIRPJ::dbgAdicKeyPress);
    }

    // Net-profit items editor.
    for (const char* coded : {f::IDRECDESPIRPJ, f::IDRECDESPIRPJOP, f::IDCONSVRDEB}) {
        field(d.cdsRecDesp, coded).onGetText = rule(this, &TfrmParamIRPJ::cdsRecDespCodedGetText);
        field(d.cdsRecDesp, coded).onSetText = rule(this, &TfrmParamIRPJ::cdsRecDespCodedSetText);
    }
    field(d.cdsRecDesp, f::NRSEQALIQIRPJ).onGetText = rule(this, &TfrmParamIRPJ::cdsRecDespNRSEQALIQIRPJGetText);
    field(d.cdsRecDesp, f::NRSEQALIQIRPJ).onSetText = rule(this, &TfrmParamIRPJ::cdsRecDespNRSEQALIQIRPJSetText);
    dbgRecDesp->onEditButtonClick = rule(this, &TfrmParamIRPJ::dbgRecDespEditButtonClick);
    dbgRecDesp->onColExit = rule(this, &TfrmParamIRPJ::dbgRecDespColExit);
    dbgRecDesp->onKeyPress = rule(this, &TfrmParamIRPJ::dbgRecDespKeyPress);
    d.cdsRecDesp.beforePost = rule(this, &TfrmParamIRPJ::cdsRecDespBeforePost);

    // Accounting information: the rules read and write cdsInfCtb whichever dataset raised them.
    for (DataSet* ds : {&d.cdsInfCtb, &d.cdsInfEspelho}) {
        field(*ds, f::IDINFCTBIRPJ).onGetText = rule(this, &TfrmParamIRPJ::cdsInfCtbIDINFCTBIRPJGetText);
        field(*ds, f::IDINFCTBIRPJ).onChange = rule(this, &TfrmParamIRPJ::cdsInfCtbIDINFCTBIRPJChange);
        field(*ds, f::IDFORMAPURITEM).onGetText = rule(this, &TfrmParamIRPJ::cdsInfCtbIDFORMAPURITEMGetText);
        field(*ds, f::IDFORMAPURITEM).onSetText = rule(this, &TfrmParamIRPJ::cdsInfCtbIDFORMAPURITEMSetText);
    }
    field(d.cdsInfCtb, f::IDINFCTBIRPJ).onSetText = rule(this, &TfrmParamIRPJ::cdsInfCtbIDINFCTBIRPJSetText);
    // The key is a ledger-account code only on an account row: item keys are
    // shown and typed as stored, without the account mask.
    field(d.cdsInfCtb, f::CHAVE).editMaskApplies = [](const Field& chave) {
        return isLetter(text(chave.dataSet(), f::IDINFCTBIRPJ), letter::origem::Conta);
    };
    d.cdsInfCtb.beforePost = rule(this, &TfrmParamIRPJ::cdsInfCtbBeforePost);
    for (const ScreenTab& tab : tabs_) {
        tab.detailGrid->onEditButtonClick = rule(this, &TfrmParamIRPJ::dbgInfCtbEditButtonClick);
        tab.detailGrid->onColExit = rule(this, &TfrmParamIRPJ::dbgInfCtbColExit);
        tab.detailGrid->onKeyPress = [this, lucro = &tab == &tabs_[Lucro]](host::TDBGrid& g, QChar& ch) { dbgInfCtbKeyPress(g, ch, lucro); };
    }
}

void TfrmParamIRPJ::FormCreate()
{
    TfrmPadraoSimples::FormCreate();
    field(data_->qryContCtbl, f::CDCONTCTBL).setEditMask(host::DBPict(2));
    field(data_->cdsInfCtb, f::CHAVE).setEditMask(host::DBPict(2));
    // However set-up ends, the busy animation goes.
    const host::BusyAnimation busy(host::HostApplication::mainWindow(), host::BusyAnimation::Opening);
    netParamIRPJ_.open();
    abreQryEmpresa(host::EmprProc(), QString());
    if (data_->qryEmpresa.isEmpty())
        host::MensErro(msgPadrao()->Msg(QStringLiteral("NAO_EMPR")), true);
    medCdEmpresa->setStoredText(text(data_->qryEmpresa, f::CDEMPRESA));
    medNmEmpresa->setText(text(data_->qryEmpresa, f::NMEMPRESA));
    service_.load(data_->cdsItensDRE, contract::method::getItensDRE);
    service_.load(data_->cdsAliquotas, contract::method::getAliquotas);
    data_->cdsInfEspelho.createDataSet();
    data_->cdsAdicIRPJ.createDataSet();
    ControlaBotoes(data_->dtsAdicIRPJ);
}

void TfrmParamIRPJ::netParamIRPJBeforeConnect(host::TNetConnection& sender)
{
    sender.setHost(host::WebURL());
    sender.setPort(host::WebPort());
    sender.setToken(host::WebToken());
}

void TfrmParamIRPJ::abreQryEmpresa(const QString& code, const QString& all)
{
    data_->qryEmpresa.close();
    data_->qryEmpresa.setParam(QStringLiteral("P_CDEMPRESA"), code);
    data_->qryEmpresa.setParam(QStringLiteral("P_TCDEMPRESA"), all);
    data_->qryEmpresa.open();
}

void TfrmParamIRPJ::FormClose(host::CloseAction& action)
{
    TfrmPadraoSimples::FormClose(action);
    boIdCriado = false;
    netParamIRPJ_.close();
}

void TfrmParamIRPJ::paraNoCampo(const DataSet& ds, const char* name, const char* key)
{
    field(ds, name).focusControl();
    host::MensErro(msgPadrao()->Msg(QString::fromLatin1(key)), true);
}

} // namespace erp::par47300

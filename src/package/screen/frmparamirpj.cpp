// SPDX-License-Identifier: MIT
// Set-up, server connection and teardown.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "entry/module.h"
#include "host/busy.h"
#include "host/dbcontrols.h"
#include "host/focuschain.h"
#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"
#include "host/search.h"
#include "host/services.h"

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

void TfrmParamIRPJ::bindRules()
{
    using host::FocusChain;
    medCdEmpresa->onChange = [this](host::TMaskEdit&) { medCdEmpresaChange(); };
    FocusChain::instance().setExit(medCdEmpresa, [this] { medCdEmpresaExit(); });
    FocusChain::instance().setEnter(panEmpresa, [this] { panEmpresaEnter(); });
    FocusChain::instance().setExit(panEmpresa, [this] { panEmpresaExit(); });
    btpEmpresa->onBeforePesq = [this](host::TBtnPesquisa&, bool& flag) { btpEmpresaBeforePesq(flag); };
    btpEmpresa->onAfterPesq = [this](host::TBtnPesquisa&) { btpEmpresaAfterPesq(); };

    data_->dtsAdicIRPJ.onStateChange = [this](DataSource& s) { dtsAdicIRPJStateChange(s); };
    data_->dtsAdicCSLL.onStateChange = [this](DataSource& s) { dtsAdicCSLLStateChange(s); };
    data_->dtsInfCtb.onStateChange = [this](DataSource& s) { dtsInfCtbStateChange(s); };
    data_->dtsRecDesp.onStateChange = [this](DataSource& s) { dtsRecDespStateChange(s); };

    pgcGeral->onChange = [this](host::TPageControl&) { pgcGeralChange(); };
    pgcIRPJ->onChange = [this](host::TPageControl&) { pgcIRPJChange(); };
    pgcCSLL->onChange = [this](host::TPageControl&) { pgcCSLLChange(); };
    pgcLucro->onChange = [this](host::TPageControl&) { pgcLucroChange(); };
    FocusChain::instance().setExit(pgcIRPJ, [this] { pgcIRPJExit(); });
    FocusChain::instance().setExit(pgcCSLL, [this] { pgcCSLLExit(); });
    FocusChain::instance().setExit(pgcLucro, [this] { pgcLucroExit(); });
    FocusChain::instance().setExit(pgcGeral, [this] { pgcGeralExit(); });
    const std::pair<host::TDBGrid*, void (TfrmParamIRPJ::*)(int&, Qt::KeyboardModifiers)> keyDowns[] = {
        {dbgAdicIRPJ, &TfrmParamIRPJ::dbgAdicIRPJKeyDown},     {dbgAdicCSLL, &TfrmParamIRPJ::dbgAdicCSLLKeyDown},
        {dbgInfCtbIRPJ, &TfrmParamIRPJ::dbgInfCtbIRPJKeyDown}, {dbgInfCtbCSLL, &TfrmParamIRPJ::dbgInfCtbCSLLKeyDown},
        {dbgInfCtbLucro, &TfrmParamIRPJ::dbgInfCtbLucroKeyDown}, {dbgRecDesp, &TfrmParamIRPJ::dbgRecDespKeyDown}};
    for (const auto& [grid, method] : keyDowns)
        grid->onKeyDown = [this, method](host::TDBGrid&, int& key, Qt::KeyboardModifiers m) { (this->*method)(key, m); };

    const auto rule = [this](void (TfrmParamIRPJ::*method)(DataSet&)) {
        return [this, method](DataSet& ds) { (this->*method)(ds); };
    };
    ParamIRPJData& d = *data_;
    d.cdsAdicIRPJ.onNewRecord = rule(&TfrmParamIRPJ::cdsAdicIRPJNewRecord);
    d.cdsAdicCSLL.onNewRecord = rule(&TfrmParamIRPJ::cdsAdicCSLLNewRecord);
    d.cdsInfCtb.onNewRecord = rule(&TfrmParamIRPJ::cdsInfCtbNewRecord);
    d.cdsRecDesp.onNewRecord = rule(&TfrmParamIRPJ::cdsRecDespNewRecord);
    d.cdsAdicIRPJ.afterEdit = rule(&TfrmParamIRPJ::cdsAdicIRPJAfterEdit);
    d.cdsAdicCSLL.afterEdit = rule(&TfrmParamIRPJ::cdsAdicCSLLAfterEdit);
    d.cdsInfCtb.afterEdit = rule(&TfrmParamIRPJ::cdsInfCtbAfterEdit);
    d.cdsRecDesp.afterEdit = rule(&TfrmParamIRPJ::cdsRecDespAfterEdit);
    d.cdsAdicIRPJ.afterPost = rule(&TfrmParamIRPJ::cdsAdicIRPJAfterPost);
    d.cdsAdicCSLL.afterPost = rule(&TfrmParamIRPJ::cdsAdicCSLLAfterPost);
    d.cdsInfCtb.afterPost = rule(&TfrmParamIRPJ::cdsInfCtbAfterPost);
    d.cdsRecDesp.afterPost = rule(&TfrmParamIRPJ::cdsRecDespAfterPost);
    d.cdsAdicIRPJ.afterDelete = rule(&TfrmParamIRPJ::cdsAdicIRPJAfterDelete);
    d.cdsAdicCSLL.afterDelete = rule(&TfrmParamIRPJ::cdsAdicCSLLAfterDelete);
    d.cdsInfCtb.afterDelete = rule(&TfrmParamIRPJ::cdsInfCtbAfterDelete);
    d.cdsRecDesp.afterDelete = rule(&TfrmParamIRPJ::cdsRecDespAfterDelete);
    d.cdsAdicIRPJ.beforeDelete = rule(&TfrmParamIRPJ::cdsAdicIRPJBeforeDelete);
    d.cdsAdicCSLL.beforeDelete = rule(&TfrmParamIRPJ::cdsAdicCSLLBeforeDelete);
    d.cdsRecDesp.beforeDelete = rule(&TfrmParamIRPJ::cdsRecDespBeforeDelete);
    d.cdsAdicIRPJ.afterCancel = rule(&TfrmParamIRPJ::cdsAdicIRPJAfterCancel);
    d.cdsAdicCSLL.afterCancel = rule(&TfrmParamIRPJ::cdsAdicCSLLAfterCancel);
    d.cdsInfCtb.afterCancel = rule(&TfrmParamIRPJ::cdsInfCtbAfterCancel);
    d.cdsRecDesp.afterCancel = rule(&TfrmParamIRPJ::cdsRecDespAfterCancel);
    d.cdsAdicIRPJ.afterScroll = rule(&TfrmParamIRPJ::cdsAdicIRPJAfterScroll);
    d.cdsAdicCSLL.afterScroll = rule(&TfrmParamIRPJ::cdsAdicCSLLAfterScroll);
    d.cdsRecDesp.afterScroll = rule(&TfrmParamIRPJ::cdsRecDespAfterScroll);

    // Additions editor.
    const auto getText = [this](void (TfrmParamIRPJ::*method)(Field&, QString&, bool)) {
        return [this, method](Field& f, QString& text, bool display) { (this->*method)(f, text, display); };
    };
    const auto setText = [this](void (TfrmParamIRPJ::*method)(Field&, const QString&)) {
        return [this, method](Field& f, const QString& text) { (this->*method)(f, text); };
    };
    const auto field = [](DataSet& ds, const char* name) -> Field& { return ds.fieldByName(QString::fromLatin1(name)); };
    field(d.cdsAdicIRPJ, "IDPARAMAPU").onGetText = getText(&TfrmParamIRPJ::cdsAdicIRPJIDPARAMAPUGetText);
    field(d.cdsAdicCSLL, "IDPARAMAPU").onGetText = getText(&TfrmParamIRPJ::cdsAdicCSLLIDPARAMAPUGetText);
    field(d.cdsAdicIRPJ, "IDPARAMAPU").onSetText = setText(&TfrmParamIRPJ::cdsAdicIRPJIDPARAMAPUSetText);
    field(d.cdsAdicCSLL, "IDPARAMAPU").onSetText = setText(&TfrmParamIRPJ::cdsAdicCSLLIDPARAMAPUSetText);
    field(d.cdsAdicIRPJ, "VRPORCENTAGEM").onGetText = getText(&TfrmParamIRPJ::cdsAdicIRPJVRPORCENTAGEMGetText);
    field(d.cdsAdicCSLL, "VRPORCENTAGEM").onGetText = getText(&TfrmParamIRPJ::cdsAdicCSLLVRPORCENTAGEMGetText);
    dbgAdicIRPJ->onKeyPress = [this](host::TDBGrid& g, QChar& ch) { dbgAdicIRPJKeyPress(g, ch); };
    dbgAdicCSLL->onKeyPress = [this](host::TDBGrid& g, QChar& ch) { dbgAdicCSLLKeyPress(g, ch); };
    d.cdsAdicIRPJ.beforePost = rule(&TfrmParamIRPJ::cdsAdicIRPJBeforePost);
    d.cdsAdicCSLL.beforePost = rule(&TfrmParamIRPJ::cdsAdicCSLLBeforePost);

    // Net-profit items editor.
    field(d.cdsRecDesp, "IDRECDESPIRPJ").onGetText = getText(&TfrmParamIRPJ::cdsRecDespIDRECDESPIRPJGetText);
    field(d.cdsRecDesp, "IDRECDESPIRPJOP").onGetText = getText(&TfrmParamIRPJ::cdsRecDespIDRECDESPIRPJOPGetText);
    field(d.cdsRecDesp, "IDCONSVRDEB").onGetText = getText(&TfrmParamIRPJ::cdsRecDespIDCONSVRDEBGetText);
    field(d.cdsRecDesp, "IDRECDESPIRPJ").onSetText = setText(&TfrmParamIRPJ::cdsRecDespIDRECDESPIRPJSetText);
    field(d.cdsRecDesp, "IDRECDESPIRPJOP").onSetText = setText(&TfrmParamIRPJ::cdsRecDespIDRECDESPIRPJOPSetText);
    field(d.cdsRecDesp, "IDCONSVRDEB").onSetText = setText(&TfrmParamIRPJ::cdsRecDespIDCONSVRDEBSetText);
    field(d.cdsRecDesp, "NRSEQALIQIRPJ").onGetText = getText(&TfrmParamIRPJ::cdsRecDespNRSEQALIQIRPJGetText);
    field(d.cdsRecDesp, "NRSEQALIQIRPJ").onSetText = setText(&TfrmParamIRPJ::cdsRecDespNRSEQALIQIRPJSetText);
    dbgRecDesp->onEditButtonClick = [this](host::TDBGrid& g) { dbgRecDespEditButtonClick(g); };
    dbgRecDesp->onColExit = [this](host::TDBGrid& g) { dbgRecDespColExit(g); };
    dbgRecDesp->onKeyPress = [this](host::TDBGrid& g, QChar& ch) { dbgRecDespKeyPress(g, ch); };
    d.cdsRecDesp.beforePost = rule(&TfrmParamIRPJ::cdsRecDespBeforePost);

    // Accounting information: the rules read and write cdsInfCtb whichever dataset raised them.
    for (DataSet* ds : {&d.cdsInfCtb, &d.cdsInfEspelho}) {
        field(*ds, "IDINFCTBIRPJ").onGetText = getText(&TfrmParamIRPJ::cdsInfCtbIDINFCTBIRPJGetText);
        field(*ds, "IDINFCTBIRPJ").onChange = [this](Field& f) { cdsInfCtbIDINFCTBIRPJChange(f); };
        field(*ds, "IDFORMAPURITEM").onGetText = getText(&TfrmParamIRPJ::cdsInfCtbIDFORMAPURITEMGetText);
        field(*ds, "IDFORMAPURITEM").onSetText = setText(&TfrmParamIRPJ::cdsInfCtbIDFORMAPURITEMSetText);
    }
    field(d.cdsInfCtb, "IDINFCTBIRPJ").onSetText = setText(&TfrmParamIRPJ::cdsInfCtbIDINFCTBIRPJSetText);
    // The key is a ledger-account code only on an account row: item keys are
    // shown and typed as stored, without the account mask.
    field(d.cdsInfCtb, "CHAVE").editMaskApplies = [](const Field& chave) {
        return chave.dataSet().fieldByName(QStringLiteral("IDINFCTBIRPJ")).asString() == QLatin1String("C");
    };
    d.cdsInfCtb.beforePost = rule(&TfrmParamIRPJ::cdsInfCtbBeforePost);
    dbgInfCtbIRPJ->onEditButtonClick = [this](host::TDBGrid& g) { dbgInfCtbIRPJEditButtonClick(g); };
    dbgInfCtbCSLL->onEditButtonClick = [this](host::TDBGrid& g) { dbgInfCtbCSLLEditButtonClick(g); };
    dbgInfCtbLucro->onEditButtonClick = [this](host::TDBGrid& g) { dbgInfCtbLucroEditButtonClick(g); };
    dbgInfCtbIRPJ->onColExit = [this](host::TDBGrid& g) { dbgInfCtbIRPJColExit(g); };
    dbgInfCtbCSLL->onColExit = [this](host::TDBGrid& g) { dbgInfCtbCSLLColExit(g); };
    dbgInfCtbLucro->onColExit = [this](host::TDBGrid& g) { dbgInfCtbLucroColExit(g); };
    dbgInfCtbIRPJ->onKeyPress = [this](host::TDBGrid& g, QChar& ch) { dbgInfCtbIRPJKeyPress(g, ch); };
    dbgInfCtbCSLL->onKeyPress = [this](host::TDBGrid& g, QChar& ch) { dbgInfCtbCSLLKeyPress(g, ch); };
    dbgInfCtbLucro->onKeyPress = [this](host::TDBGrid& g, QChar& ch) { dbgInfCtbLucroKeyPress(g, ch); };
}

void TfrmParamIRPJ::FormCreate()
{
    TfrmPadraoSimples::FormCreate();
    // However set-up ends, the busy animation goes.
    struct HideAnimation {
        ~HideAnimation() { host::DeactiveShowAvi(); }
    } guard;
    data_->qryContCtbl.fieldByName(QStringLiteral("CDCONTCTBL")).setEditMask(host::DBPict(2));
    data_->cdsInfCtb.fieldByName(QStringLiteral("CHAVE")).setEditMask(host::DBPict(2));
    host::ActiveShowAvi(host::HostApplication::mainWindow(), 0);
    netParamIRPJ_.open();
    abreQryEmpresa(host::EmprProc(), QString());
    if (data_->qryEmpresa.isEmpty())
        host::MensErro(msgPadrao()->Msg(QStringLiteral("NAO_EMPR")), true);
    medCdEmpresa->setStoredText(data_->qryEmpresa.fieldByName(QStringLiteral("CDEMPRESA")).asString());
    medNmEmpresa->setText(data_->qryEmpresa.fieldByName(QStringLiteral("NMEMPRESA")).asString());
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
    sender.setToken(host::hostSettings().token);
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

} // namespace erp::par47300

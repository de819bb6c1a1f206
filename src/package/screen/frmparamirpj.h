// SPDX-License-Identifier: MIT
#pragma once

#include "data/paramirpjdata.h"
#include "data/paramservice.h"
#include "host/basescreen.h"
#include "host/net/netconnection.h"
#include "screen/tabs.h"

#include <array>

class QAction;
class QFrame;
class QLabel;

namespace erp::host {
class TBtnPesquisa;
class TDBGrid;
class TDBNavigator;
class TDBText;
class TMaskEdit;
class TPageControl;
} // namespace erp::host

namespace erp::par47300 {

// The screen "Parametrização da Apuração do IRPJ e CSLL". Its behaviour is a
// set of rules named after the control and the event they answer; the
// implementation is split by concern over the files of this folder. A rule
// that twins share (the IRPJ and CSLL additions, the three tabs, the three
// accounting grids) is one method named after the family, bound once per
// object in bindRules() with what differs between them: cdsAdicBeforePost
// answers both cdsAdicIRPJBeforePost and cdsAdicCSLLBeforePost.
class TfrmParamIRPJ : public host::TfrmPadraoSimples {
    Q_OBJECT
public:
    explicit TfrmParamIRPJ(QWidget* parent = nullptr);
    ~TfrmParamIRPJ() override;

    ParamIRPJData& data() { return *data_; }
    host::TNetConnection& netParamIRPJ() { return netParamIRPJ_; }

    // ---- set-up and teardown
    void FormCreate() override;
    void FormClose(host::CloseAction& action) override;
    void netParamIRPJBeforeConnect(host::TNetConnection& sender);
    void abreQryEmpresa(const QString& code, const QString& all);

    // ---- company bar and loading
    void medCdEmpresaChange();
    void medCdEmpresaExit();
    void btpEmpresaBeforePesq(bool& flag);
    void btpEmpresaAfterPesq();
    void panEmpresaEnter();
    void panEmpresaExit();
    void getDados();

    // ---- toolbar enabling, footer and page lock; also the state-change
    // rule of the four edited data sources
    void ControlaBotoes(DataSource& source);

    // ---- edit persistence: new rows, pre-edit keys, saves and their undo
    void cdsAdicNewRecord(const EditedDataSet& e, char imposto);
    void cdsInfCtbNewRecord(DataSet& ds);
    void cdsRecDespNewRecord(DataSet& ds);
    void cdsAfterEdit(const EditedDataSet& e);
    void cdsAfterPost(const EditedDataSet& e);
    void cdsAfterDelete(const EditedDataSet& e);
    void cdsAfterCancel(const EditedDataSet& e);
    void cdsParentBeforeDelete(const EditedDataSet& parent);

    // ---- additions editor: both taxes
    void cdsAdicIDPARAMAPUGetText(Field& f, QString& text, bool displayText);
    void cdsAdicIDPARAMAPUSetText(Field& f, const QString& text);
    void cdsAdicVRPORCENTAGEMGetText(Field& f, QString& text, bool displayText);
    void dbgAdicKeyPress(host::TDBGrid& grid, QChar& ch);
    void cdsAdicBeforePost(DataSet& ds);

    // ---- net-profit items editor
    void cdsRecDespCodedGetText(Field& f, QString& text, bool displayText); // its three coded fields
    void cdsRecDespCodedSetText(Field& f, const QString& text);
    void cdsRecDespNRSEQALIQIRPJGetText(Field& f, QString& text, bool displayText);
    void cdsRecDespNRSEQALIQIRPJSetText(Field& f, const QString& text);
    void dbgRecDespEditButtonClick(host::TDBGrid& grid);
    void dbgRecDespColExit(host::TDBGrid& grid);
    void dbgRecDespKeyPress(host::TDBGrid& grid, QChar& ch);
    void cdsRecDespBeforePost(DataSet& ds);

    // ---- accounting information: records, and the rules of its three grids
    void cdsInfCtbIDINFCTBIRPJGetText(Field& f, QString& text, bool displayText);
    void cdsInfCtbIDINFCTBIRPJSetText(Field& f, const QString& text);
    void cdsInfCtbIDINFCTBIRPJChange(Field& f);
    void cdsInfCtbIDFORMAPURITEMGetText(Field& f, QString& text, bool displayText);
    void cdsInfCtbIDFORMAPURITEMSetText(Field& f, const QString& text);
    void cdsInfCtbBeforePost(DataSet& ds);
    void abreQryContCtbl(const QString& code, const QString& all);
    void dbgInfCtbEditButtonClick(host::TDBGrid& grid);
    void dbgInfCtbColExit(host::TDBGrid& grid);
    // `lucro`: the net-profit grid, which also filters its apuração column
    // and passes an accepted origin letter upper-cased.
    void dbgInfCtbKeyPress(host::TDBGrid& grid, QChar& ch, bool lucro);

    // ---- toolbar actions
    void sbtIncluirClick(QObject* sender) override;
    void sbtAlterarClick(QObject* sender) override;
    void sbtExcluirClick(QObject* sender) override;
    void sbtConfirmarClick(QObject* sender) override;
    void sbtCancelarClick(QObject* sender) override;
    void sbtVerificarClick(QObject* sender) override;
    void sbtProcurarClick(QObject* sender) override;
    void AlteraStatusCds(QChar letter);

    // ---- tab navigation, detail refresh and grid keys
    void pgcGeralChange();
    void pgcInnerChange(const ScreenTab& tab);    // pgcIRPJChange, pgcCSLLChange, pgcLucroChange
    void cdsParentAfterScroll(const ScreenTab& tab);
    void cancelaPendente(DataSet& ds);            // the exit rules of the page controls
    void dbgKeyDown(int& key, Qt::KeyboardModifiers modifiers); // every grid's

    // ---- layout
    void FocaColunaGridCtb(int column);

    // ---- history of the row on screen ("Histórico do registro")
    void mnuHistoricoClick();

    // ---- another company's parameters copied into this one, and the
    // checks of this company's parameters against the law
    void mnuCopiarParamClick();
    void mnuVerificarParamClick();
    // ---- the ECF code of each row of the tax on screen ("Códigos da ECF…")
    void mnuCodigosECFClick();

    // Controls, by their names.
    QFrame* panEmpresa = nullptr;
    QLabel* lblEmpresa = nullptr;
    host::TMaskEdit* medCdEmpresa = nullptr;
    host::TBtnPesquisa* btpEmpresa = nullptr;
    host::TMaskEdit* medNmEmpresa = nullptr;
    QFrame* panFundo = nullptr;
    host::TPageControl* pgcGeral = nullptr;
    QWidget* tshIRPJ = nullptr;
    QWidget* tshCSLL = nullptr;
    QWidget* tshLucro = nullptr;
    host::TPageControl* pgcIRPJ = nullptr;
    host::TPageControl* pgcCSLL = nullptr;
    host::TPageControl* pgcLucro = nullptr;
    QWidget* tshAdicIRPJ = nullptr;
    QWidget* tshInfCtbIRPJ = nullptr;
    QWidget* tshAdicCSLL = nullptr;
    QWidget* tshInfCtbCSLL = nullptr;
    QWidget* tshRecDesp = nullptr;
    QWidget* tshInfCtbLucro = nullptr;
    host::TDBGrid* dbgAdicIRPJ = nullptr;
    host::TDBGrid* dbgInfCtbIRPJ = nullptr;
    host::TDBGrid* dbgAdicCSLL = nullptr;
    host::TDBGrid* dbgInfCtbCSLL = nullptr;
    host::TDBGrid* dbgRecDesp = nullptr;
    host::TDBGrid* dbgInfCtbLucro = nullptr;
    QFrame* panRodape = nullptr;
    host::TDBNavigator* dbnRodape = nullptr;
    host::TDBText* dbtRodape = nullptr;
    QAction* mnuHistorico = nullptr;
    QAction* mnuCopiarParam = nullptr;
    QAction* mnuVerificarParam = nullptr;
    QAction* mnuCodigosECF = nullptr;

private:
    void buildLayout();
    void bindRules();

    // The three outer tabs, in pgcGeral's order, and the accounting
    // information every one of them shows for its parent: built once with
    // the layout.
    enum Tab { IRPJ, CSLL, Lucro };
    std::array<ScreenTab, 3> tabs_{};
    EditedDataSet infCtb_{};
    // The tab pgcGeral shows (the net-profit tab stands for any other page).
    const ScreenTab& frontTab() const;
    // The tab whose parent the dataset is, or null.
    const ScreenTab* tabOfParent(const DataSet* ds) const;

    // The one after-post/after-delete algorithm: send the change just made,
    // merge it and refresh the mirror, or undo it and pass the failure on.
    void enviaAlteracao(const EditedDataSet& e, bool refreshToolbar);
    // After a save whose outcome is unknown: the rows and the mirror as the
    // service holds them, the saved row current if it is there.
    void recarregaEditado(const EditedDataSet& e, const QVariant& key);
    // The company's rows of a tab's parent, and its mirror.
    void carregaPai(const ScreenTab& tab);
    // The accounting information of the tab's current parent row, and its mirror.
    void carregaInfCtb(const ScreenTab& tab);
    DataSet* activeDataSet();

    // The parent row whose history the menu shows: the front tab's current
    // row, from either of its pages; null while there is no saved row to show.
    const EditedDataSet* paiDoHistorico() const;
    // The history's lines as the screen shows them.
    QString rotuloHistorico(const QString& table, const QString& name) const;
    QString valorHistorico(const QString& table, const QString& name, const QVariant& value) const;
    // The IRPJ or CSLL rows whose ECF codes the menu edits: those of the
    // front tab's parent page while it browses saved rows; null otherwise.
    const EditedDataSet* paiDosCodigosECF() const;

    // Whether a company's parameters are on screen and no row is being
    // typed: what the copy and the checks need.
    bool empresaLivre() const;
    // A finding's row: its tab in front on its parent's page, the row
    // current in its grid.
    void vaiParaRegistro(const ScreenTab& tab, double number);

    bool adicDuplicada(const DataSet& ds);
    // Refuse a post: the cursor goes to the field (or grid column) at fault
    // and the catalogue's message is shown, ending the post.
    void paraNoCampo(const DataSet& ds, const char* name, const char* key);
    void paraNaColuna(int column, const char* key);
    void verificaConta(const DataSet& ds);
    void verificaItem(const DataSet& ds);
    void copiaAliquota(DataSet& item);
    bool itemDuplicado(const DataSet& ds);

    ParamIRPJData* data_;
    host::TNetConnection netParamIRPJ_;
    ParamService service_;
};

} // namespace erp::par47300

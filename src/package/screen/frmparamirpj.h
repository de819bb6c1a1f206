// SPDX-License-Identifier: MIT
#pragma once

#include "data/paramirpjdata.h"
#include "data/paramservice.h"
#include "host/basescreen.h"
#include "host/net/netconnection.h"

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
// implementation is split by concern over the files of this folder.
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

    // ---- toolbar enabling, footer and page lock
    void ControlaBotoes(DataSource& source);
    void dtsAdicIRPJStateChange(DataSource& sender) { ControlaBotoes(sender); }
    void dtsAdicCSLLStateChange(DataSource& sender) { ControlaBotoes(sender); }
    void dtsInfCtbStateChange(DataSource& sender) { ControlaBotoes(sender); }
    void dtsRecDespStateChange(DataSource& sender) { ControlaBotoes(sender); }

    // ---- edit persistence: new rows, pre-edit keys, saves and their undo
    void cdsAdicIRPJNewRecord(DataSet& ds);
    void cdsAdicCSLLNewRecord(DataSet& ds);
    void cdsInfCtbNewRecord(DataSet& ds);
    void cdsRecDespNewRecord(DataSet& ds);
    void cdsAdicIRPJAfterEdit(DataSet& ds);
    void cdsAdicCSLLAfterEdit(DataSet& ds);
    void cdsInfCtbAfterEdit(DataSet& ds);
    void cdsRecDespAfterEdit(DataSet& ds);
    void cdsAdicIRPJAfterPost(DataSet& ds);
    void cdsAdicCSLLAfterPost(DataSet& ds);
    void cdsInfCtbAfterPost(DataSet& ds);
    void cdsRecDespAfterPost(DataSet& ds);
    void cdsAdicIRPJAfterDelete(DataSet& ds);
    void cdsAdicCSLLAfterDelete(DataSet& ds);
    void cdsInfCtbAfterDelete(DataSet& ds);
    void cdsRecDespAfterDelete(DataSet& ds);
    void cdsAdicIRPJBeforeDelete(DataSet& ds);
    void cdsAdicCSLLBeforeDelete(DataSet& ds);
    void cdsRecDespBeforeDelete(DataSet& ds);
    void cdsAdicIRPJAfterCancel(DataSet& ds);
    void cdsAdicCSLLAfterCancel(DataSet& ds);
    void cdsInfCtbAfterCancel(DataSet& ds);
    void cdsRecDespAfterCancel(DataSet& ds);

    // ---- additions editor: one rule set, bound to the IRPJ and CSLL objects
    void cdsAdicIRPJIDPARAMAPUGetText(Field& f, QString& text, bool) { adicIDPARAMAPUGetText(f, text); }
    void cdsAdicCSLLIDPARAMAPUGetText(Field& f, QString& text, bool) { adicIDPARAMAPUGetText(f, text); }
    void cdsAdicIRPJIDPARAMAPUSetText(Field& f, const QString& text) { adicIDPARAMAPUSetText(f, text); }
    void cdsAdicCSLLIDPARAMAPUSetText(Field& f, const QString& text) { adicIDPARAMAPUSetText(f, text); }
    void cdsAdicIRPJVRPORCENTAGEMGetText(Field& f, QString& text, bool) { adicVRPORCENTAGEMGetText(f, text); }
    void cdsAdicCSLLVRPORCENTAGEMGetText(Field& f, QString& text, bool) { adicVRPORCENTAGEMGetText(f, text); }
    void dbgAdicIRPJKeyPress(host::TDBGrid& grid, QChar& ch) { adicKeyPress(grid, data_->dtsAdicIRPJ, ch); }
    void dbgAdicCSLLKeyPress(host::TDBGrid& grid, QChar& ch) { adicKeyPress(grid, data_->dtsAdicCSLL, ch); }
    void cdsAdicIRPJBeforePost(DataSet& ds) { adicBeforePost(ds); }
    void cdsAdicCSLLBeforePost(DataSet& ds) { adicBeforePost(ds); }

    // ---- net-profit items editor
    void cdsRecDespIDRECDESPIRPJGetText(Field& f, QString& text, bool d) { cdsRecDespCodedGetText(f, text, d); }
    void cdsRecDespIDRECDESPIRPJOPGetText(Field& f, QString& text, bool d) { cdsRecDespCodedGetText(f, text, d); }
    void cdsRecDespIDCONSVRDEBGetText(Field& f, QString& text, bool d) { cdsRecDespCodedGetText(f, text, d); }
    void cdsRecDespIDRECDESPIRPJSetText(Field& f, const QString& text) { cdsRecDespCodedSetText(f, text); }
    void cdsRecDespIDRECDESPIRPJOPSetText(Field& f, const QString& text) { cdsRecDespCodedSetText(f, text); }
    void cdsRecDespIDCONSVRDEBSetText(Field& f, const QString& text) { cdsRecDespCodedSetText(f, text); }
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
    void dbgInfCtbIRPJEditButtonClick(host::TDBGrid& grid) { infCtbEditButtonClick(grid); }
    void dbgInfCtbCSLLEditButtonClick(host::TDBGrid& grid) { infCtbEditButtonClick(grid); }
    void dbgInfCtbLucroEditButtonClick(host::TDBGrid& grid) { infCtbEditButtonClick(grid); }
    void dbgInfCtbIRPJColExit(host::TDBGrid& grid) { infCtbColExit(grid); }
    void dbgInfCtbCSLLColExit(host::TDBGrid& grid) { infCtbColExit(grid); }
    void dbgInfCtbLucroColExit(host::TDBGrid& grid) { infCtbColExit(grid); }
    void dbgInfCtbIRPJKeyPress(host::TDBGrid& grid, QChar& ch) { infCtbKeyPress(grid, ch, false); }
    void dbgInfCtbCSLLKeyPress(host::TDBGrid& grid, QChar& ch) { infCtbKeyPress(grid, ch, false); }
    void dbgInfCtbLucroKeyPress(host::TDBGrid& grid, QChar& ch) { infCtbKeyPress(grid, ch, true); }

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
    void pgcIRPJChange() { innerPageChange(pgcIRPJ); }
    void pgcCSLLChange() { innerPageChange(pgcCSLL); }
    void pgcLucroChange() { innerPageChange(pgcLucro); }
    void cdsAdicIRPJAfterScroll(DataSet&) { parentAfterScroll(pgcIRPJ); }
    void cdsAdicCSLLAfterScroll(DataSet&) { parentAfterScroll(pgcCSLL); }
    void cdsRecDespAfterScroll(DataSet&) { parentAfterScroll(pgcLucro); }
    void pgcIRPJExit() { cancelaPendente(data_->cdsAdicIRPJ); }
    void pgcCSLLExit() { cancelaPendente(data_->cdsAdicCSLL); }
    void pgcLucroExit() { cancelaPendente(data_->cdsRecDesp); }
    void pgcGeralExit() { cancelaPendente(data_->cdsInfCtb); }
    void dbgAdicIRPJKeyDown(int& key, Qt::KeyboardModifiers m) { gridKeyDown(key, m); }
    void dbgAdicCSLLKeyDown(int& key, Qt::KeyboardModifiers m) { gridKeyDown(key, m); }
    void dbgInfCtbIRPJKeyDown(int& key, Qt::KeyboardModifiers m) { gridKeyDown(key, m); }
    void dbgInfCtbCSLLKeyDown(int& key, Qt::KeyboardModifiers m) { gridKeyDown(key, m); }
    void dbgInfCtbLucroKeyDown(int& key, Qt::KeyboardModifiers m) { gridKeyDown(key, m); }
    void dbgRecDespKeyDown(int& key, Qt::KeyboardModifiers m) { gridKeyDown(key, m); }

    // ---- layout
    void FocaColunaGridCtb(int column);

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

private:
    void buildLayout();
    void bindRules();

    // What the save of one edited dataset involves.
    struct Edited {
        DataSet& cds;
        DataSet& mirror;
        const char* saveMethod;
        DataSource& dts;
        const char* loadMethod; // the company's rows; nullptr for the accounting information
        const char* keyField;   // the row's sequence number
    };
    Edited edited(const DataSet& ds);
    // The one after-post/after-delete algorithm: send the change just made,
    // merge it and refresh the mirror, or undo it and pass the failure on.
    void enviaAlteracao(const Edited& e, bool refreshToolbar);
    // After a save whose outcome is unknown: the rows and the mirror as the
    // service holds them, the saved row current if it is there.
    void recarregaEditado(const Edited& e, const QVariant& key);
    void novaAdicao(DataSet& ds, const QString& imposto);
    void removeInfCtbDoPai(DataSet& parent, const QString& seqField);
    DataSet* activeDataSet();

    // An outer tab's parent and detail: the rows of the detail belong to the parent's current row.
    struct Tab {
        host::TPageControl* inner;
        QWidget* first;
        QWidget* detail;
        DataSet& parent;
        DataSource& source;
        const char* seqField;
    };
    Tab tabOf(const host::TPageControl* inner);
    void carregaInfCtb(const Tab& tab);
    void innerPageChange(host::TPageControl* inner);
    void parentAfterScroll(host::TPageControl* inner);
    void cancelaPendente(DataSet& ds);
    void gridKeyDown(int& key, Qt::KeyboardModifiers modifiers);

    // The additions twins' one rule set.
    void adicIDPARAMAPUGetText(Field& f, QString& text);
    void adicIDPARAMAPUSetText(Field& f, const QString& text);
    void adicVRPORCENTAGEMGetText(Field& f, QString& text);
    void adicKeyPress(host::TDBGrid& grid, DataSource& source, QChar& ch);
    void adicBeforePost(DataSet& ds);
    bool adicDuplicada(const DataSet& ds);

    // The accounting grids' one rule set (the net-profit grid also filters its apuração column).
    void infCtbEditButtonClick(host::TDBGrid& grid);
    void infCtbColExit(host::TDBGrid& grid);
    void infCtbKeyPress(host::TDBGrid& grid, QChar& ch, bool lucro);
    void paraNaColuna(int column, const char* key);
    bool chaveInalterada(const DataSet& ds);
    void verificaConta(const DataSet& ds);
    void verificaItem(const DataSet& ds);

    void cdsRecDespCodedGetText(Field& f, QString& text, bool displayText);
    void cdsRecDespCodedSetText(Field& f, const QString& text);
    void copiaAliquota(DataSet& item);
    bool itemDuplicado(const DataSet& ds);

    ParamIRPJData* data_;
    host::TNetConnection netParamIRPJ_;
    ParamService service_;
};

} // namespace erp::par47300

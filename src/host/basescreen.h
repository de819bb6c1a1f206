// SPDX-License-Identifier: MIT
#pragma once

#include "messages.h"

#include <QWidget>

#include <array>
#include <functional>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QToolButton;

namespace erp {
class DataSource;
}

namespace erp::host {

enum class CloseAction { None, Hide, Free, Minimize };

// The base of every screen: a child window of the host with its toolbar,
// its menu, the screen-code label, the message catalogues and the rules a
// screen extends (a screen's rule of the same name runs the base rule first).
//
// Keyboard: Ctrl+S confirm, Ctrl+Z cancel, Ctrl+N insert, Ctrl+E edit, F8
// delete, Ctrl+F search, F5 verify, F1 help, Ctrl+P print. None of them is a
// key the grids use for themselves (F2, Insert, Esc, Delete). While its
// button is enabled, such a key is the screen's wherever the focus is in it:
// a line edit, a combo box or a cell editor does not keep it for itself
// (Ctrl+Z cancels the row, it does not undo the typing). The same holds for
// the key of any other action a screen adds to itself (QWidget::addAction).
class TfrmPadraoSimples : public QWidget {
    Q_OBJECT
public:
    enum Button { Confirmar, Cancelar, Incluir, Alterar, Excluir, Procurar, Verificar, Ajuda, Imprimir, ButtonCount };

    explicit TfrmPadraoSimples(QWidget* parent = nullptr);
    ~TfrmPadraoSimples() override;

    TMessages* msgPadrao() const { return msgPadrao_; }
    // The base screen's own catalogue (the confirmation questions "Excl" and "Canc").
    TMessages* msgBase() const { return msgBase_; }
    QLabel* lblCodTela() const { return lblCodTela_; }
    QFrame* panMenu() const { return panMenu_; }
    QToolButton* button(Button b) const { return buttons_[b]; }
    // A button and its menu entry share this action: enabling one enables both.
    QAction* action(Button b) const { return actions_[b]; }
    QMenu* mnuOperacao() const { return mnuOperacao_; }
    QAction* mnuListagem() const { return mnuListagem_; }
    QAction* mnuConfigImpressora() const { return mnuConfigImpressora_; }
    // Where a screen lays out its own controls, below the toolbar.
    QWidget* clientArea() const { return clientArea_; }
    // The data source the base rules act on, when a screen binds one.
    DataSource* dtsPadrao() const { return dtsPadrao_; }
    // The control that takes the focus when the screen is shown.
    void setActiveControl(QWidget* w) { activeControl_ = w; }
    QWidget* activeControl() const { return activeControl_; }

    // Base rules; overriding rules call them first.
    virtual void FormCreate();
    virtual void FormClose(CloseAction& action);
    virtual void sbtConfirmarClick(QObject* sender);
    virtual void sbtCancelarClick(QObject* sender);
    virtual void sbtIncluirClick(QObject* sender);
    virtual void sbtAlterarClick(QObject* sender);
    virtual void sbtExcluirClick(QObject* sender);
    virtual void sbtProcurarClick(QObject* sender);
    virtual void sbtVerificarClick(QObject* sender);
    virtual void sbtAjudaClick(QObject* sender);
    virtual void sbtImprimirClick(QObject* sender);

    // Runs the create rule as the host's form creation does: a failure is
    // reported and the screen is still created.
    void runCreate();

    // Binds the enter or exit rule of a control or container of this screen
    // in the host's focus chain (FocusChain); without a host none runs.
    void setEnterRule(QWidget* w, std::function<void()> rule);
    void setExitRule(QWidget* w, std::function<void()> rule);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void click(Button b);

    TMessages* msgPadrao_;
    TMessages* msgBase_;
    QFrame* panMenu_;
    QLabel* lblCodTela_;
    QMenuBar* mnuMenu_;
    QMenu* mnuOperacao_;
    QAction* mnuListagem_;
    QAction* mnuConfigImpressora_;
    QWidget* clientArea_;
    DataSource* dtsPadrao_;
    QWidget* activeControl_ = nullptr;
    std::array<QAction*, ButtonCount> actions_{};
    std::array<QToolButton*, ButtonCount> buttons_{};
};

} // namespace erp::host

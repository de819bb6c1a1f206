// SPDX-License-Identifier: MIT
#include "basescreen.h"

#include "dialogs.h"
#include "focuschain.h"
#include "hostapplication.h"
#include "services.h"
#include "platform/dataset.h"
#include "platform/datasource.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace erp::host {

namespace {

struct ButtonLook {
    const char* name;
    const char* text;
    const char* hint;
    QStyle::StandardPixmap icon;
    QKeySequence shortcut;
    bool inMenu;
};

const ButtonLook& look(int b)
{
    static const ButtonLook looks[TfrmPadraoSimples::ButtonCount] = {
        {"sbtConfirmar", "&Confirmar", "Confirmar as alterações (Ctrl+S)", QStyle::SP_DialogApplyButton, QKeySequence(Qt::CTRL | Qt::Key_S), true},
        {"sbtCancelar", "C&ancelar", "Cancelar as alterações (Ctrl+Z)", QStyle::SP_DialogCancelButton, QKeySequence(Qt::CTRL | Qt::Key_Z), true},
        {"sbtIncluir", "&Incluir", "Incluir um registro (Ctrl+N)", QStyle::SP_FileDialogNewFolder, QKeySequence(Qt::CTRL | Qt::Key_N), true},
        {"sbtAlterar", "A&lterar", "Alterar o registro (Ctrl+E)", QStyle::SP_FileDialogDetailedView, QKeySequence(Qt::CTRL | Qt::Key_E), true},
        {"sbtExcluir", "&Excluir", "Excluir o registro (F8)", QStyle::SP_TrashIcon, QKeySequence(Qt::Key_F8), true},
        {"sbtProcurar", "&Procurar", "Procurar um registro (Ctrl+F)", QStyle::SP_FileDialogContentsView, QKeySequence(Qt::CTRL | Qt::Key_F), true},
        {"sbtVerificar", "&Verificar", "Recarregar os dados (F5)", QStyle::SP_BrowserReload, QKeySequence(Qt::Key_F5), true},
        {"sbtAjuda", "Aj&uda", "Ajuda (F1)", QStyle::SP_DialogHelpButton, QKeySequence(Qt::Key_F1), false},
        {"sbtImprimir", "Imp&rimir", "Imprimir (Ctrl+P)", QStyle::SP_FileIcon, QKeySequence(Qt::CTRL | Qt::Key_P), false},
    };
    return looks[b];
}

DataSet* boundDataSet(DataSource* source)
{
    return source ? source->dataSet() : nullptr;
}

} // namespace

TfrmPadraoSimples::TfrmPadraoSimples(QWidget* parent)
    : QWidget(parent),
      msgPadrao_(new TMessages(QStringLiteral("msgPadrao"), this)),
      msgBase_(new TMessages(QStringLiteral("msgBase"), this)),
      panMenu_(new QFrame(this)),
      lblCodTela_(new QLabel(panMenu_)),
      mnuMenu_(new QMenuBar(this)),
      mnuOperacao_(new QMenu(QStringLiteral("&Operação"), mnuMenu_)),
      mnuListagem_(new QAction(QStringLiteral("&Listagem"), this)),
      mnuConfigImpressora_(new QAction(QStringLiteral("Configurar &impressora"), this)),
      clientArea_(new QWidget(this)),
      dtsPadrao_(new DataSource(QStringLiteral("dtsPadrao"), this))
{
    msgBase_->loadFile(QStringLiteral(":/host/msgbase.cp1252"));
    panMenu_->setObjectName(QStringLiteral("panMenu"));
    panMenu_->setFrameShape(QFrame::StyledPanel);
    lblCodTela_->setObjectName(QStringLiteral("lblCodTela"));
    mnuMenu_->setObjectName(QStringLiteral("mnuMenu"));
    mnuOperacao_->setObjectName(QStringLiteral("mnuOperacao"));
    mnuListagem_->setObjectName(QStringLiteral("mnuListagem"));
    mnuConfigImpressora_->setObjectName(QStringLiteral("mnuConfigImpressora"));
    clientArea_->setObjectName(QStringLiteral("clientArea"));

    auto* bar = new QHBoxLayout(panMenu_);
    bar->setContentsMargins(2, 2, 2, 2);
    bar->setSpacing(1);
    for (int b = 0; b < ButtonCount; ++b) {
        const ButtonLook& l = look(b);
        auto* act = new QAction(style()->standardIcon(l.icon), QString::fromUtf8(l.text), this);
        act->setObjectName(QString::fromLatin1(l.name) + QStringLiteral("Action"));
        act->setToolTip(QString::fromUtf8(l.hint));
        act->setShortcut(l.shortcut);
        act->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        act->setEnabled(false); // a screen enables what its state allows
        addAction(act);
        connect(act, &QAction::triggered, this, [this, b] { click(Button(b)); });
        auto* btn = new QToolButton(panMenu_);
        btn->setObjectName(QString::fromLatin1(l.name));
        btn->setDefaultAction(act);
        btn->setAutoRaise(true);
        btn->setFocusPolicy(Qt::NoFocus); // toolbar buttons never take the focus from a row being edited
        btn->setIconSize(QSize(20, 20));
        bar->addWidget(btn);
        if (l.inMenu)
            mnuOperacao_->addAction(act);
        actions_[b] = act;
        buttons_[b] = btn;
    }
    bar->addStretch(1);
    bar->addWidget(lblCodTela_);
    mnuOperacao_->addSeparator();
    mnuOperacao_->addAction(mnuListagem_);
    mnuOperacao_->addAction(mnuConfigImpressora_);
    mnuMenu_->addMenu(mnuOperacao_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(mnuMenu_);
    layout->addWidget(panMenu_);
    layout->addWidget(clientArea_, 1);
    // Editors ask for their keys before shortcuts run; the toolbar's go first.
    qApp->installEventFilter(this);
}

bool TfrmPadraoSimples::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && (w == this || isAncestorOf(w))) {
            const QKeySequence key(static_cast<QKeyEvent*>(event)->keyCombination());
            // The toolbar's actions and any other a screen added to itself.
            for (QAction* act : actions()) {
                if (act->isEnabled() && act->shortcut().matches(key) == QKeySequence::ExactMatch) {
                    event->ignore(); // not the editor's: the shortcut runs
                    return true;
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

TfrmPadraoSimples::~TfrmPadraoSimples() = default;

void TfrmPadraoSimples::click(Button b)
{
    QObject* sender = buttons_[b];
    guarded([this, b, sender] {
        switch (b) {
        case Confirmar: sbtConfirmarClick(sender); break;
        case Cancelar: sbtCancelarClick(sender); break;
        case Incluir: sbtIncluirClick(sender); break;
        case Alterar: sbtAlterarClick(sender); break;
        case Excluir: sbtExcluirClick(sender); break;
        case Procurar: sbtProcurarClick(sender); break;
        case Verificar: sbtVerificarClick(sender); break;
        case Ajuda: sbtAjudaClick(sender); break;
        case Imprimir: sbtImprimirClick(sender); break;
        case ButtonCount: break;
        }
    });
}

void TfrmPadraoSimples::FormCreate()
{
}

void TfrmPadraoSimples::FormClose(CloseAction& action)
{
    action = CloseAction::Free;
}

// The base rules act on dtsPadrao when a screen binds one; screens that keep
// their own datasets extend them.
void TfrmPadraoSimples::sbtConfirmarClick(QObject*)
{
    if (DataSet* ds = boundDataSet(dtsPadrao_); ds && ds->isEditing())
        ds->post();
}

void TfrmPadraoSimples::sbtCancelarClick(QObject*)
{
    if (DataSet* ds = boundDataSet(dtsPadrao_); ds && ds->isEditing() && dialogs().confirm(msgBase_->Msg(QStringLiteral("Canc"))))
        ds->cancel();
}

void TfrmPadraoSimples::sbtIncluirClick(QObject*)
{
    if (DataSet* ds = boundDataSet(dtsPadrao_))
        ds->insert();
}

void TfrmPadraoSimples::sbtAlterarClick(QObject*)
{
    if (DataSet* ds = boundDataSet(dtsPadrao_))
        ds->edit();
}

void TfrmPadraoSimples::sbtExcluirClick(QObject*)
{
    if (DataSet* ds = boundDataSet(dtsPadrao_); ds && !ds->isEmpty() && dialogs().confirm(msgBase_->Msg(QStringLiteral("Excl"))))
        ds->remove();
}

void TfrmPadraoSimples::sbtProcurarClick(QObject*)
{
}

void TfrmPadraoSimples::sbtVerificarClick(QObject*)
{
}

void TfrmPadraoSimples::sbtAjudaClick(QObject*)
{
    dialogs().showInformation(QStringLiteral("Tela %1: %2").arg(lblCodTela_->text(), windowTitle()));
}

void TfrmPadraoSimples::sbtImprimirClick(QObject*)
{
}

void TfrmPadraoSimples::runCreate()
{
    guarded([this] { FormCreate(); });
}

void TfrmPadraoSimples::setEnterRule(QWidget* w, std::function<void()> rule)
{
    if (HostApplication* host = HostApplication::instance())
        host->focusChain().setEnter(w, std::move(rule));
}

void TfrmPadraoSimples::setExitRule(QWidget* w, std::function<void()> rule)
{
    if (HostApplication* host = HostApplication::instance())
        host->focusChain().setExit(w, std::move(rule));
}

void TfrmPadraoSimples::closeEvent(QCloseEvent* event)
{
    CloseAction action = CloseAction::Free;
    if (!guarded([&] { FormClose(action); }) || action == CloseAction::None) {
        event->ignore();
        return;
    }
    event->accept();
    QWidget* window = parentWidget() ? parentWidget() : this;
    switch (action) {
    case CloseAction::Free: window->deleteLater(); break;
    case CloseAction::Minimize: window->showMinimized(); break;
    default: break;
    }
}

} // namespace erp::host

// SPDX-License-Identifier: MIT
#pragma once

#include "messages.h"

#include <QWidget>

class QLabel;
class QMdiArea;

namespace erp::host {

enum class CloseAction { None, Hide, Free, Minimize };

// The base of every screen: a child window of the host with its screen-code
// label and message catalogue, and the create and close rules a screen
// extends (the screen's rule runs the base rule first).
class TfrmPadraoSimples : public QWidget {
    Q_OBJECT
public:
    explicit TfrmPadraoSimples(QWidget* parent = nullptr);
    ~TfrmPadraoSimples() override;

    TMessages* msgPadrao() const { return msgPadrao_; }
    QLabel* lblCodTela() const { return lblCodTela_; }

    // Base rules; overriding rules call them first.
    virtual void FormCreate();
    virtual void FormClose(CloseAction& action);

    // Runs the create rule as the host's form creation does: a failure is
    // reported and the screen is still created.
    void runCreate();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TMessages* msgPadrao_;
    QLabel* lblCodTela_;
};

// The host application's form creation and child-window area.
class HostApplication {
public:
    static void setMdiArea(QMdiArea* area);
    static QMdiArea* mdiArea();

    // Creates the screen as a child window of the main window: the reference
    // is set before the create rule runs, as screens expect.
    template<class Form>
    static void CreateForm(Form*& reference)
    {
        reference = new Form(); // owned by its child window once added
        adopt(reference);
        reference->runCreate();
    }
    // Shows a screen as the front child window, in normal window state.
    static void showForm(TfrmPadraoSimples* form);

private:
    static void adopt(TfrmPadraoSimples* form);
};

} // namespace erp::host

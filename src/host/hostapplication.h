// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>
#include <QString>

#include <memory>

class QMdiArea;
class QWidget;

namespace erp::host {

class FocusChain;
class TfrmPadraoSimples;

// What the host client is working with: set from its command line.
struct HostSettings {
    QString company = {}; // current company code (EmprProc)
    QString serverHost = QStringLiteral("127.0.0.1");
    int serverPort = 8211;
    QString token = {};       // bearer token for the application server, if any
    QString databaseUrl = {}; // the shared read-only connection
};

// The host client as its screens see it: its settings, the focus chain of
// its screens and the child-window area they open in. The program (or a
// test) creates one and keeps it for as long as screens live; the host's
// services reach it through instance(), as Qt reaches its application
// object. Without one, the services answer with default settings and no
// focus rule runs.
class HostApplication {
public:
    explicit HostApplication(HostSettings settings = {});
    ~HostApplication();
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;

    // The one alive, or null.
    static HostApplication* instance();

    HostSettings& settings() { return settings_; }
    const HostSettings& settings() const { return settings_; }
    FocusChain& focusChain() { return *focusChain_; }

    void setMdiArea(QMdiArea* area);
    QMdiArea* mdiArea() const;
    // The main window, over which busy animations are shown (null without an area).
    static QWidget* mainWindow();

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

    HostSettings settings_;
    std::unique_ptr<FocusChain> focusChain_;
    QPointer<QMdiArea> area_;
};

} // namespace erp::host

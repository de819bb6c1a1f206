// SPDX-License-Identifier: MIT
#pragma once

#include "host/package.h"

#include <QMainWindow>

class QMdiArea;

namespace erp::host {
class HostApplication;
}

namespace erp::client {

// The host's main window: a menu and the child-window area the screens open in.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The screens open in this window's child-window area, under the host's focus chain.
    MainWindow(host::HostApplication& host, const QString& packageDir, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Opens a screen by its code through its package; false for an unknown code.
    bool openScreen(const QString& code);
    enum class PageShown { Yes, Unknown, Refused };
    // Brings a page of the open screen forward as a user's click would: the
    // focus moves to its tabs first, then the page is chosen. Unknown when no
    // page has that name; Refused when the page is disabled or the screen
    // kept the user where they were.
    PageShown showPage(const QString& name);
    enum class ActionRun { Done, Unknown, Disabled };
    // Runs an entry of the open screen's Operação menu as a click would, by
    // its text ('&' and a closing ellipsis may be left out; letter case
    // does not matter). Unknown when no entry has that text.
    ActionRun runAction(const QString& text);
    QMdiArea* mdiArea() const { return area_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    host::HostApplication& host_;
    host::PackageLoader par47300_;
    QMdiArea* area_;
};

} // namespace erp::client

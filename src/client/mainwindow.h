// SPDX-License-Identifier: MIT
#pragma once

#include "host/package.h"

#include <QMainWindow>

class QMdiArea;

namespace erp::client {

// The host's main window: a menu and the child-window area the screens open in.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const QString& packageDir, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Opens a screen by its code through its package; false for an unknown code.
    bool openScreen(const QString& code);
    QMdiArea* mdiArea() const { return area_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    host::PackageLoader par47300_;
    QMdiArea* area_;
};

} // namespace erp::client

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class QWidget;

namespace erp::host {

// Every dialog the host shows goes through this service, so tests can
// script the answers and read what was shown.
class DialogService {
public:
    virtual ~DialogService() = default;
    virtual void showError(const QString& text) = 0;
    // Yes/No question; true for Yes.
    virtual bool confirm(const QString& text) = 0;
};

// Modal message boxes over the active window.
class QtDialogService : public DialogService {
public:
    void showError(const QString& text) override;
    bool confirm(const QString& text) override;
};

// Answers from a queue, records every text; for tests.
class ScriptedDialogs : public DialogService {
public:
    void showError(const QString& text) override { errors.append(text); }
    bool confirm(const QString& text) override;

    QStringList errors;
    QStringList questions;
    std::deque<bool> answers; // an empty queue answers No
};

DialogService& dialogs();
// Installs a service for the life of the returned guard (the previous one comes back).
class DialogServiceScope {
public:
    explicit DialogServiceScope(DialogService& service);
    ~DialogServiceScope();
    DialogServiceScope(const DialogServiceScope&) = delete;
    DialogServiceScope& operator=(const DialogServiceScope&) = delete;

private:
    DialogService* previous_;
};

} // namespace erp::host

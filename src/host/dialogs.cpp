// SPDX-License-Identifier: MIT
#include "dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace erp::host {

namespace {
QtDialogService& defaultService()
{
    static QtDialogService service;
    return service;
}
DialogService* current = nullptr;
} // namespace

void QtDialogService::showError(const QString& text)
{
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), text);
}

bool QtDialogService::confirm(const QString& text)
{
    return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

bool ScriptedDialogs::confirm(const QString& text)
{
    questions.append(text);
    if (answers.empty())
        return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

DialogService& dialogs()
{
    return current ? *current : defaultService();
}

DialogServiceScope::DialogServiceScope(DialogService& service) : previous_(current)
{
    current = &service;
}

DialogServiceScope::~DialogServiceScope()
{
    current = previous_;
}

} // namespace erp::host

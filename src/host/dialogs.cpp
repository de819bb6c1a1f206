// SPDX-License-Identifier: MIT
#include "dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>

#include "choicedialog.h"

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

void QtDialogService::showInformation(const QString& text)
{
    QMessageBox::information(QApplication::activeWindow(), QApplication::applicationDisplayName(), text);
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

std::optional<int> ScriptedDialogs::chooseRow(const ChoiceList& list)
{
    lists.append(list);
    if (choices.empty())
        return std::nullopt;
    const std::optional<QString> choice = choices.front();
    choices.pop_front();
    if (!choice)
        return std::nullopt;
    for (int r = 0; r < list.rows.size(); ++r)
        if (list.rows[r].contains(*choice))
            return r;
    return std::nullopt;
}

std::optional<FindRequest> ScriptedDialogs::askFind(const QString&, const QStringList&)
{
    if (finds.empty())
        return std::nullopt;
    const std::optional<FindRequest> f = finds.front();
    finds.pop_front();
    return f;
}

std::optional<QString> ScriptedDialogs::askSaveFile(const QString&, const QString& suggested, const QString&)
{
    suggestedFiles.append(suggested);
    if (saveFiles.empty())
        return std::nullopt;
    const QString path = saveFiles.front();
    saveFiles.pop_front();
    return path;
}

std::optional<int> QtDialogService::chooseRow(const ChoiceList& list)
{
    ChoiceDialog dialog(list, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosenRow();
}

std::optional<FindRequest> QtDialogService::askFind(const QString& title, const QStringList& columns)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(title);
    auto* form = new QFormLayout(&dialog);
    auto* column = new QComboBox(&dialog);
    column->addItems(columns);
    auto* text = new QLineEdit(&dialog);
    form->addRow(QStringLiteral("Procurar em:"), column);
    form->addRow(QStringLiteral("Texto:"), text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted || text->text().isEmpty())
        return std::nullopt;
    return FindRequest{column->currentIndex(), text->text()};
}

std::optional<QString> QtDialogService::askSaveFile(const QString& title, const QString& suggested, const QString& filter)
{
    const QString path = QFileDialog::getSaveFileName(QApplication::activeWindow(), title, suggested, filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
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

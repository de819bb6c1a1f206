// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <memory>

class QWidget;

namespace erp::host {

// A list of rows to choose one from: column titles and the texts of each
// row as shown, and (where they differ, as a masked code does) as stored.
struct ChoiceList {
    QString title;
    QStringList columns;
    QList<QStringList> rows;
    QList<QStringList> stored;
};

// What the user typed in a find dialog: the column searched and the text.
struct FindRequest {
    int column = 0;
    QString text;
};

// Every dialog the host shows goes through this service, so tests can
// script the answers and read what was shown.
class DialogService {
public:
    virtual ~DialogService() = default;
    virtual void showError(const QString& text) = 0;
    virtual void showInformation(const QString& text) = 0;
    // Yes/No question; true for Yes.
    virtual bool confirm(const QString& text) = 0;
    // The row chosen (the user may filter by typing), or nothing when given up.
    virtual std::optional<int> chooseRow(const ChoiceList& list) = 0;
    // A column and a text to find, or nothing when given up.
    virtual std::optional<FindRequest> askFind(const QString& title, const QStringList& columns) = 0;
    // The path of a file to write (the user may change the suggested name),
    // or nothing when given up. `filter` as QFileDialog takes it.
    virtual std::optional<QString> askSaveFile(const QString& title, const QString& suggested, const QString& filter) = 0;
};

// Modal message boxes over the active window.
class QtDialogService : public DialogService {
public:
    void showError(const QString& text) override;
    void showInformation(const QString& text) override;
    bool confirm(const QString& text) override;
    std::optional<int> chooseRow(const ChoiceList& list) override;
    std::optional<FindRequest> askFind(const QString& title, const QStringList& columns) override;
    std::optional<QString> askSaveFile(const QString& title, const QString& suggested, const QString& filter) override;
};

// Answers from a queue, records every text; for tests.
class ScriptedDialogs : public DialogService {
public:
    void showError(const QString& text) override { errors.append(text); }
    void showInformation(const QString& text) override { informations.append(text); }
    bool confirm(const QString& text) override;
    // Chooses the first row with a text equal to the next scripted one; an
    // empty optional gives up.
    std::optional<int> chooseRow(const ChoiceList& list) override;
    std::optional<FindRequest> askFind(const QString& title, const QStringList& columns) override;
    // The next scripted path; an empty queue gives up.
    std::optional<QString> askSaveFile(const QString& title, const QString& suggested, const QString& filter) override;

    QStringList errors;
    QStringList informations;
    QStringList questions;
    std::deque<bool> answers; // an empty queue answers No
    QList<ChoiceList> lists;  // every list offered
    std::deque<std::optional<QString>> choices;
    std::deque<std::optional<FindRequest>> finds;
    std::deque<QString> saveFiles;
    QStringList suggestedFiles; // every name suggested
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

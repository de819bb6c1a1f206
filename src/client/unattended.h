// SPDX-License-Identifier: MIT
#pragma once

#include "host/dialogs.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>

class QWidget;

namespace erp::client {

// A run nobody watches (--screenshot FILE). Every message the program would
// show in a dialog goes to stderr and stays on screen without waiting for an
// answer (a question is answered No, a search given up), and the picture of
// the main window, with those messages over it, is written once it has been
// painted, with any dialog left open over it. The run ends non-zero when a
// message was shown or the picture could not be written, and within a
// bounded time whatever happens.
//
// An action run for its picture (--acao) may ask and tell: from
// actionStarts() on, its questions and notices are what the picture is for
// and only an error counts; a list it offers is answered with the row that
// holds `choice` (given up when empty or not there).
class UnattendedRun : public host::DialogService {
public:
    UnattendedRun(QWidget* window, QString pictureFile, QString choice = {});
    ~UnattendedRun() override;

    void actionStarts() { acting_ = true; }

    // Writes the picture once pending paints are done, then ends the program.
    void finish();
    int messages() const { return messages_; }

    void showError(const QString& text) override;
    void showInformation(const QString& text) override;
    bool confirm(const QString& text) override;
    std::optional<int> chooseRow(const host::ChoiceList& list) override;
    std::optional<host::FindRequest> askFind(const QString& title, const QStringList& columns) override;
    std::optional<QString> askSaveFile(const QString& title, const QString& suggested, const QString& filter) override;

private:
    void report(const QString& text, int icon);
    void writeAndQuit();

    QPointer<QWidget> window_;
    QList<QPointer<QWidget>> boxes_; // the messages on screen, oldest first
    QString file_;
    QString choice_;
    int messages_ = 0;
    bool acting_ = false;
    bool finishing_ = false;
    QTimer watchdog_;
    host::DialogServiceScope scope_;
};

} // namespace erp::client

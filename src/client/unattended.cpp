// SPDX-License-Identifier: MIT
#include "unattended.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include <cstdio>

namespace erp::client {

namespace {
// Longer than any set-up can take against a live server; a dead one ends the
// calls with the connection's own time-outs first.
constexpr int kLimitMs = 90'000;
} // namespace

UnattendedRun::UnattendedRun(QWidget* window, QString pictureFile, QString choice)
    : window_(window), file_(std::move(pictureFile)), choice_(std::move(choice)), scope_(*this)
{
    watchdog_.setSingleShot(true);
    QObject::connect(&watchdog_, &QTimer::timeout, [this] {
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("A tela não terminou de abrir em %1 s; a imagem mostra o que havia.").arg(kLimitMs / 1000)));
        ++messages_;
        writeAndQuit();
    });
    watchdog_.start(kLimitMs);
}

UnattendedRun::~UnattendedRun() = default;

void UnattendedRun::report(const QString& text, int icon)
{
    if (!acting_ || icon == QMessageBox::Critical)
        ++messages_;
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
    if (!window_)
        return;
    // On screen for the picture, without a loop waiting for an answer.
    const auto buttons = icon == QMessageBox::Question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
    auto* box = new QMessageBox(QMessageBox::Icon(icon), QApplication::applicationDisplayName(), text, buttons, window_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    // Each message a little below the one before, so the picture shows them all.
    box->move(box->pos() + QPoint(24, 24) * int(boxes_.size()));
    boxes_.append(box);
}

void UnattendedRun::showError(const QString& text)
{
    report(text, QMessageBox::Critical);
}

void UnattendedRun::showInformation(const QString& text)
{
    report(text, QMessageBox::Information);
}

bool UnattendedRun::confirm(const QString& text)
{
    report(text, QMessageBox::Question);
    return false;
}

std::optional<int> UnattendedRun::chooseRow(const host::ChoiceList& list)
{
    if (choice_.isEmpty())
        return std::nullopt;
    for (int r = 0; r < list.rows.size(); ++r)
        if (list.rows[r].contains(choice_) || (r < list.stored.size() && list.stored[r].contains(choice_)))
            return r;
    return std::nullopt;
}

std::optional<host::FindRequest> UnattendedRun::askFind(const QString&, const QStringList&)
{
    return std::nullopt;
}

std::optional<QString> UnattendedRun::askSaveFile(const QString&, const QString&, const QString&)
{
    return std::nullopt;
}

void UnattendedRun::finish()
{
    if (finishing_)
        return;
    finishing_ = true;
    // Once the screen and the messages have painted.
    QTimer::singleShot(300, [this] { writeAndQuit(); });
}

void UnattendedRun::writeAndQuit()
{
    watchdog_.stop();
    bool written = false;
    if (window_) {
        QPixmap picture = window_->grab();
        QPainter painter(&picture);
        const QPoint origin = window_->mapToGlobal(QPoint(0, 0));
        // Each window with a caption strip above it, as a window manager would frame it.
        const auto draw = [&](QWidget* w) {
            const QPoint at = w->mapToGlobal(QPoint(0, 0)) - origin;
            const int strip = w->fontMetrics().height() + 8;
            const QRect caption(at - QPoint(0, strip), QSize(w->width(), strip));
            painter.fillRect(caption, w->palette().color(QPalette::Highlight));
            painter.setPen(w->palette().color(QPalette::HighlightedText));
            painter.setFont(w->font());
            painter.drawText(caption.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, w->windowTitle());
            painter.drawPixmap(at, w->grab());
        };
        // The dialogs left open (an action's window), then the messages over them.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != window_ && w->isVisible() && qobject_cast<QDialog*>(w) && !boxes_.contains(w))
                draw(w);
        for (QWidget* box : std::as_const(boxes_))
            if (box && box->isVisible())
                draw(box);
        painter.end();
        written = picture.save(file_, "PNG");
    }
    if (!written) {
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Não foi possível gravar %1").arg(file_)));
        ++messages_;
    }
    QApplication::exit(messages_ > 0 ? 1 : 0);
}

} // namespace erp::client

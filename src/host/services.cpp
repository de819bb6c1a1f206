// SPDX-License-Identifier: MIT
#include "services.h"

#include "dialogs.h"
#include "hostapplication.h"
#include "wire/errors.h"

#include <QtDebug>

#include <exception>

namespace erp::host {

namespace {
HostSettings settings()
{
    const HostApplication* host = HostApplication::instance();
    return host ? host->settings() : HostSettings{};
}
} // namespace

QString EmprProc()
{
    return settings().company;
}

QString WebURL()
{
    return settings().serverHost;
}

int WebPort()
{
    return settings().serverPort;
}

QString WebToken()
{
    return settings().token;
}

void MensErro(const QString& text, bool abort)
{
    dialogs().showError(text);
    if (abort)
        throw Abort();
}

bool EmptyString(const QString& text)
{
    return text.trimmed().isEmpty();
}

QString Ajusta(const QString& text, int width)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || width <= 0)
        return t;
    if (t.size() >= width)
        return t.left(width);
    return QString(width - t.size(), u'0') + t;
}

QString DBPict(int kind)
{
    switch (kind) {
    case 2: return QStringLiteral("9.9.9.99.9999;0;_");
    default: return {};
    }
}

void reportCurrentException() noexcept
{
    try {
        throw;
    } catch (const Abort&) {
        // Its message was shown already.
    } catch (const Error& e) {
        dialogs().showError(e.message());
    } catch (const std::exception& e) {
        qWarning("Ocorreu um erro inesperado.\n  detalhe: %s", e.what());
        dialogs().showError(QStringLiteral("Ocorreu um erro inesperado: %1").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        dialogs().showError(QStringLiteral("Ocorreu um erro inesperado."));
    }
}

bool guarded(const std::function<void()>& work) noexcept
{
    try {
        work();
        return true;
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

} // namespace erp::host

// SPDX-License-Identifier: MIT
#include "locale.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace erp::host {

QLocale userLocale(const QLocale& system)
{
    if (system.language() == QLocale::C)
        return QLocale(QLocale::Portuguese, QLocale::Brazil);
    return system;
}

bool useLocale(QCoreApplication& app, const QLocale& locale)
{
    QLocale::setDefault(locale);
    // A second call replaces the translations of the first.
    for (QTranslator* old : app.findChildren<QTranslator*>(QStringLiteral("erpQtTranslations"))) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    if (locale.language() == QLocale::English)
        return true; // Qt's own texts
    auto* qt = new QTranslator(&app);
    qt->setObjectName(QStringLiteral("erpQtTranslations"));
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), dir)) {
        qWarning("Não há traduções do Qt para %s em %s: os botões padrão ficam em inglês.", qPrintable(locale.name()), qPrintable(dir));
        delete qt;
        return false;
    }
    QCoreApplication::installTranslator(qt);
    return true;
}

} // namespace erp::host

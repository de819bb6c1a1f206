// SPDX-License-Identifier: MIT
#pragma once

#include <QLocale>

class QCoreApplication;

namespace erp::host {

// The conventions the user works with: the system locale, or Brazilian
// Portuguese on a machine that has none (the C locale).
QLocale userLocale(const QLocale& system = QLocale::system());

// Makes `locale` the default for numbers and installs Qt's own translations
// for it, so standard buttons read "Sim", "Não", "Cancelar". Translations
// that are not installed leave Qt's own texts (with a warning); false then.
bool useLocale(QCoreApplication& app, const QLocale& locale);

} // namespace erp::host

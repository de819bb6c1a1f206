// SPDX-License-Identifier: MIT
#pragma once

// The rows of the server's demo database (erp-server --demo) that the screen
// tests rely on, named once. Company 01 holds them.
#include <QString>

namespace erp::testing::demo {

// An addition of both taxes (IRPJ and CSLL), at 100 %, whose accounting
// information is one ledger account, kBrindesConta.
inline const QString kBrindes = QStringLiteral("Brindes");
inline const QString kBrindesConta = QStringLiteral("423010002");
// Another IRPJ addition, on another account (423010001).
inline const QString kMultas = QStringLiteral("Multas fiscais indedutíveis");
// A net-profit item: revenue, operational, presumption rate 2, with an
// account and an income-statement item as its accounting information.
inline const QString kReceitaBruta = QStringLiteral("Receita bruta de vendas");

} // namespace erp::testing::demo

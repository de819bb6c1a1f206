// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include "host/package.h"

namespace erp::par47300 {
class TfrmParamIRPJ;
}

// The package's exported entries and module-wide variables, under their plain names.
extern "C" {
Q_DECL_EXPORT extern erp::par47300::TfrmParamIRPJ* frmParamIRPJ;
Q_DECL_EXPORT extern bool boIdCriado;
// Pre-edit keys of the row under edit: additions, net-profit items, accounting information.
Q_DECL_EXPORT extern QString stAdic;
Q_DECL_EXPORT extern QString stItem;
Q_DECL_EXPORT extern QString stOrigem;

Q_DECL_EXPORT void IniProc();
Q_DECL_EXPORT void criaParamIRPJ();
Q_DECL_EXPORT void Initialize();
Q_DECL_EXPORT void Finalize();
Q_DECL_EXPORT const erp::host::PackageInfoTable* GetPackageInfoTable();
}

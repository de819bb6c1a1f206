// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include "wire/packet.h"

#include <QString>

#include <vector>

// verificaParamIRPJ: a company's parameters checked against the law and
// against the registers they name.
namespace erp::server {

// One check as the findings name it: its stable id, its severity (a letter
// of IDGRAVIDADE) and its legal reference (empty for a rule of the
// registers' own consistency).
struct LawCheckInfo {
    const char* id;
    char severity;
    const char* reference;
};

// Every check, in the order they run.
std::vector<LawCheckInfo> lawChecks();

// The findings for the company, in the contract's layout, by severity (errors
// first), tax (IRPJ, CSLL, neither), table (additions, then net-profit items)
// and row. Reads only; the caller gives the transaction.
DataPacket verifyParameters(Db& db, const QString& company);

} // namespace erp::server

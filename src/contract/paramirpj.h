// SPDX-License-Identifier: MIT
#pragma once

#include "letters.h"
#include "names.h"

#include "wire/fielddef.h"

#include <QStringView>

// What the client and the application server agree on for the parameter
// service: its name, its methods and the layout of every packet it sends
// or receives. Both sides build their packets from these lists, whose
// fields are named in names.h and typed once in paramirpj.cpp.
namespace erp::contract {

inline constexpr char kServerObject[] = "PAR47300.rdmParamIRPJ";

namespace method {
inline constexpr char getItensDRE[] = "getItensDRE";
inline constexpr char getAliquotas[] = "getAliquotas";
inline constexpr char GetParamIRPJ[] = "GetParamIRPJ";
inline constexpr char GetParamCSLL[] = "GetParamCSLL";
inline constexpr char getRecDesp[] = "getRecDesp";
inline constexpr char getInfCtbIRPJ[] = "getInfCtbIRPJ";
inline constexpr char prxSeqParamIRPJ[] = "prxSeqParamIRPJ";
inline constexpr char prxInfCtbIRPJ[] = "prxInfCtbIRPJ";
inline constexpr char SetParamIRPJ[] = "SetParamIRPJ";
inline constexpr char SetInfCtbIRPJ[] = "SetInfCtbIRPJ";
inline constexpr char setRecDesp[] = "setRecDesp";
inline constexpr char setDeleteInfCtb[] = "setDeleteInfCtb";
inline constexpr char getHistorico[] = "getHistorico";
inline constexpr char getTabelaECF[] = "getTabelaECF";
inline constexpr char getCodECF[] = "getCodECF";
inline constexpr char setCodECF[] = "setCodECF";
inline constexpr char copiaParamIRPJ[] = "copiaParamIRPJ";
inline constexpr char previaCopiaParamIRPJ[] = "previaCopiaParamIRPJ";
inline constexpr char verificaParamIRPJ[] = "verificaParamIRPJ";
} // namespace method

// The methods that change parameters: the three saves, setDeleteInfCtb,
// setCodECF and copiaParamIRPJ.
// A request to one of them may carry an Idempotency-Key; reads and sequence
// numbers need none (a number drawn twice is only a gap in its series).
bool changesParameters(QStringView method);

// Additions, exclusions and compensations of either tax.
FieldDefs paramApuLayout();
// Accounting information of one parent row.
FieldDefs infCtbLayout();
// Revenue and expense items of the net-profit computation.
FieldDefs recDespLayout();
// Items of the income-statement structures.
FieldDefs itensDRELayout();
// Presumption-rate entries.
FieldDefs aliquotasLayout();
// Companies and ledger accounts, as the client's look-ups read them.
FieldDefs empresaLayout();
FieldDefs contCtblLayout();
// The history of a parameter row and of its accounting information, one
// line per changed field (getHistorico).
FieldDefs historicoLayout();
// The rows of one ECF dynamic table (M300A or M350A), in the sheet's order
// (getTabelaECF).
FieldDefs tabelaEcfLayout();
// The ECF code of each mapped additions row of a company and tax, with the
// code's description and validity (getCodECF); setCodECF's changes carry
// NRSEQPARAMAPU and CDECF, the other fields may travel and are not used.
FieldDefs codEcfLayout();
// What copiaParamIRPJ would write and skip now, one line per kind of row
// (previaCopiaParamIRPJ).
FieldDefs previaCopiaLayout();
// The findings of verificaParamIRPJ, one line each.
FieldDefs verificacaoLayout();

// The definition of one field by its name (f::…): the same type and size in
// every packet and table that holds it. Throws std::logic_error for a name
// the contract does not know.
const FieldDef& fieldDef(const char* name);

} // namespace erp::contract

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

// The one-letter coded fields: every letter named once, and each field's
// letters in the order the screen offers them (`all`). The client editors,
// the server's checks and the tests use these, never a bare 'A' or "AEC":
//     if (origem == QLatin1Char(letter::origem::Conta)) …
//     CodedField{{{letter::tipo::Adicao, "A"}, …}}
//     if (!holdsLetter(value, letter::tipo::all)) refuse(…)
namespace erp::contract {

namespace letter {
// IDPARAMAPU: what an additions row does to the tax base.
namespace tipo {
inline constexpr char Adicao = 'A';
inline constexpr char Exclusao = 'E';
inline constexpr char Compensacao = 'C';
inline constexpr char all[] = {Adicao, Exclusao, Compensacao, '\0'};
} // namespace tipo

// IDIMPOSTO: the tax an additions row belongs to.
namespace imposto {
inline constexpr char IRPJ = 'I';
inline constexpr char CSLL = 'C';
inline constexpr char all[] = {IRPJ, CSLL, '\0'};
} // namespace imposto

// IDRECDESPIRPJ: revenue or expense.
namespace recDesp {
inline constexpr char Receita = 'R';
inline constexpr char Despesa = 'D';
inline constexpr char all[] = {Receita, Despesa, '\0'};
} // namespace recDesp

// IDRECDESPIRPJOP (operational) and IDCONSVRDEB (counts the debit value).
namespace simNao {
inline constexpr char Sim = 'S';
inline constexpr char Nao = 'N';
inline constexpr char all[] = {Sim, Nao, '\0'};
} // namespace simNao

// IDINFCTBIRPJ: where the value comes from, a ledger account or an item of
// an income-statement structure.
namespace origem {
inline constexpr char Conta = 'C';
inline constexpr char Item = 'I';
inline constexpr char all[] = {Conta, Item, '\0'};
} // namespace origem

// IDFORMAPURITEM: how a net-profit item is counted, on accrual or on payment.
namespace apuracao {
inline constexpr char Competencia = 'C';
inline constexpr char Pagamento = 'P';
inline constexpr char all[] = {Competencia, Pagamento, '\0'};
} // namespace apuracao

// IDOPERACAO: the kind of change a history row records.
namespace operacao {
inline constexpr char Inclusao = 'I';
inline constexpr char Alteracao = 'A';
inline constexpr char Exclusao = 'E';
inline constexpr char all[] = {Inclusao, Alteracao, Exclusao, '\0'};
} // namespace operacao

// IDGRAVIDADE: how serious a finding of verificaParamIRPJ is.
namespace gravidade {
inline constexpr char Erro = 'E';
inline constexpr char Aviso = 'A';
inline constexpr char all[] = {Erro, Aviso, '\0'};
} // namespace gravidade
} // namespace letter

// A letter as the field holds it.
inline QString letterText(char letter)
{
    return QString(QLatin1Char(letter));
}

// Whether `value` is exactly one of `letters` (an empty value is none).
inline bool holdsLetter(QStringView value, const char* letters)
{
    if (value.size() != 1)
        return false;
    for (const char* p = letters; *p; ++p)
        if (value.front() == QLatin1Char(*p))
            return true;
    return false;
}

} // namespace erp::contract

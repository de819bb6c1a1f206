// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <initializer_list>

// Every field and table name of the parameter service, defined once.
//
// Write f::NRSEQPARAMAPU, never the text "NRSEQPARAMAPU": a misspelt constant
// does not compile, a misspelt text fails only when the line runs. Each
// constant is the name itself as a char array, so it goes wherever a name
// goes:
//     ds.fieldByName(f::NRSEQPARAMAPU)            // converts to QString
//     name == QLatin1String(f::IDRECDESPIRPJ)     // compares without a copy
//     ds.locate(fieldList({f::NMPARAMAPU, f::IDPARAMAPU, f::IDIMPOSTO}), …)
// A field's type and size live in one place too (contract/paramirpj.cpp),
// and each packet layout lists its fields by these names.
namespace erp::contract {

#define ERP_NAME(name) inline constexpr char name[] = #name;

// Fields, as they travel in packets and are stored in tables.
namespace f {
// Additions, exclusions and compensations (PARAMAPUIRPJ).
ERP_NAME(NRSEQPARAMAPU)
ERP_NAME(CDEMPRESA)
ERP_NAME(NMPARAMAPU)
ERP_NAME(IDPARAMAPU)
ERP_NAME(IDIMPOSTO)
ERP_NAME(VRPORCENTAGEM)
// Accounting information of a parent row (INFCTBIRPJ).
ERP_NAME(IDFORMAPURITEM)
ERP_NAME(NRSEQINFCTBIRPJ)
ERP_NAME(IDINFCTBIRPJ)
ERP_NAME(CHAVE)
ERP_NAME(CDINFCTBIRPJ)
ERP_NAME(CDTIPODEMO)
// Revenue and expense items of the net-profit computation (RECDESPIRPJ).
ERP_NAME(NRSEQRECDESPIRPJ)
ERP_NAME(NMRECDESPIRPJ)
ERP_NAME(IDRECDESPIRPJ)
ERP_NAME(IDRECDESPIRPJOP)
ERP_NAME(NRSEQALIQIRPJ)
ERP_NAME(VRALIQPRESIRPJ)
ERP_NAME(VRALIQPRESCSLL)
ERP_NAME(IDCONSVRDEB)
// Items of the income-statement structures (ITEMESTRUDRE).
ERP_NAME(CDITEMSTRU)
ERP_NAME(NMITEMSTRU)
// Presumption-rate entries (ALIQIRPJ); NRSEQALIQIRPJPESQ is the code as text, for searching.
ERP_NAME(NRSEQALIQIRPJPESQ)
ERP_NAME(DSALIQIRPJCSLL)
// Companies (EMPRESA) and ledger accounts (CONTCTBL), read by the client's look-ups.
ERP_NAME(NMEMPRESA)
ERP_NAME(CDCONTCTBL)
ERP_NAME(NMCONTCTBL)
// Stored only: the case-folded keys of the unique indexes, and when held
// accounting information was taken away.
ERP_NAME(NMPARAMAPUCHV)
ERP_NAME(NMRECDESPIRPJCHV)
ERP_NAME(CDINFCTBIRPJCHV)
ERP_NAME(DTREMOCAO)
// The history of applied changes (HISTORICOIRPJ): the order rows were
// written in, when (UTC, milliseconds since the epoch), who, through which
// method, which row of which table, what kind of change, the row before and
// after as JSON objects, and the request's Idempotency-Key.
ERP_NAME(NRSEQHISTORICO)
ERP_NAME(DTHISTORICO)
ERP_NAME(NMUSUARIO)
ERP_NAME(NMMETODO)
ERP_NAME(NMTABELA)
ERP_NAME(NRSEQREGISTRO)
ERP_NAME(IDOPERACAO)
ERP_NAME(DSREGANTERIOR)
ERP_NAME(DSREGNOVO)
ERP_NAME(CDCHAVE)
// getHistorico's packet, one line per changed field: when (ISO 8601, UTC),
// the field, and its value before and after as text.
ERP_NAME(DTALTERACAO)
ERP_NAME(NMCAMPO)
ERP_NAME(DSANTERIOR)
ERP_NAME(DSNOVO)
// The Receita's ECF dynamic tables (TABELAECF): a row per line of a sheet of
// one layout, in the sheet's order; the code is not unique within a sheet.
// TPECF is the line's kind (R label, E entry, CA computed, CNA computed and
// not adjustable), TPLANCECF its entry type (A addition, E exclusion, P loss
// compensation, L profit, R label; empty where the sheet gives none),
// IDTRIBUTOECF the tax of a Parte B line (I, C, A both); validity as ISO
// dates, the end empty while valid.
ERP_NAME(CDLEIAUTEECF)
ERP_NAME(NMTABELAECF)
ERP_NAME(NRLINHAECF)
ERP_NAME(CDECF)
ERP_NAME(DSECF)
ERP_NAME(TPECF)
ERP_NAME(TPLANCECF)
ERP_NAME(IDTRIBUTOECF)
ERP_NAME(DTINIECF)
ERP_NAME(DTFIMECF)
// Where each sheet's rows came from (FONTEECF): the file, its SHA-256 in
// hex, a description, and when they were loaded (UTC, milliseconds).
ERP_NAME(NMARQUIVOECF)
ERP_NAME(DSRESUMOECF)
ERP_NAME(DSFONTEECF)
ERP_NAME(DTCARGAECF)
// previaCopiaParamIRPJ's packet: per kind of row, how many a copy would
// write and how many it would skip.
ERP_NAME(DSTIPO)
ERP_NAME(QTCOPIAR)
ERP_NAME(QTIGNORAR)
// verificaParamIRPJ's findings: the check, its severity, the sentence and
// the legal reference (the tax, table and row are IDIMPOSTO, NMTABELA and
// NRSEQREGISTRO).
ERP_NAME(CDVERIFICACAO)
ERP_NAME(IDGRAVIDADE)
ERP_NAME(DSMENSAGEM)
ERP_NAME(DSREFERENCIA)
} // namespace f

// Tables.
namespace t {
ERP_NAME(EMPRESA)
ERP_NAME(CONTCTBL)
ERP_NAME(ITEMESTRUDRE)
ERP_NAME(ALIQIRPJ)
ERP_NAME(APURPAI)
ERP_NAME(PARAMAPUIRPJ)
ERP_NAME(RECDESPIRPJ)
ERP_NAME(INFCTBIRPJ)
ERP_NAME(INFCTBIRPJREMOVIDA)
ERP_NAME(HISTORICOIRPJ)
ERP_NAME(TABELAECF)
ERP_NAME(FONTEECF)
ERP_NAME(PARAMAPUECF)
} // namespace t

#undef ERP_NAME

// Field names joined by ';', as key lists are written ("A;B;C").
QString fieldList(std::initializer_list<const char*> names);

} // namespace erp::contract

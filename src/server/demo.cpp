// SPDX-License-Identifier: MIT
#include "ecf/codes.h"
#include "schema.h"
#include "tablesql.h"

#include "contract/letters.h"

#include <utility>

namespace erp::server {

namespace {

namespace f = contract::f;
using namespace contract::letter;

struct Named {
    const char* code;
    const char* name;
};

constexpr Named kCompanies[] = {
    {"01", "Comercial Serra Azul de Alimentos Ltda"},
    {"02", "Metalúrgica Vale do Itajaí S.A."},
    {"03", "Horizonte Serviços de Engenharia Ltda"},
    {"04", "Transportadora Rio Doce Ltda"},
};

// Codes are stored as digits only; the client shows them as 9.9.9.99.9999.
constexpr Named kAccounts[] = {
    {"111010001", "Caixa"},
    {"111020001", "Bancos conta movimento"},
    {"111030001", "Aplicações de liquidez imediata"},
    {"112010001", "Clientes"},
    {"112010002", "Perdas estimadas com créditos"},
    {"113010001", "Estoques de mercadorias"},
    {"114010001", "ICMS a recuperar"},
    {"114010002", "PIS a recuperar"},
    {"114010003", "COFINS a recuperar"},
    {"115010001", "Despesas antecipadas"},
    {"121010001", "Depósitos judiciais"},
    {"123010001", "Máquinas e equipamentos"},
    {"123010002", "Veículos"},
    {"123020001", "Depreciação acumulada"},
    {"211010001", "Fornecedores"},
    {"212010001", "Salários a pagar"},
    {"213010001", "IRPJ a recolher"},
    {"213010002", "CSLL a recolher"},
    {"213010003", "ICMS a recolher"},
    {"221010001", "Empréstimos e financiamentos"},
    {"231010001", "Capital social"},
    {"232010001", "Reservas de lucros"},
    {"233010001", "Prejuízos acumulados"},
    {"311010001", "Receita bruta de vendas"},
    {"311010002", "Receita de prestação de serviços"},
    {"312010001", "Devoluções de vendas"},
    {"312010002", "ICMS sobre vendas"},
    {"321010001", "Receitas financeiras"},
    {"321010002", "Resultado de equivalência patrimonial"},
    {"331010001", "Ganho na alienação de imobilizado"},
    {"411010001", "Custo das mercadorias vendidas"},
    {"421010001", "Despesas com pessoal"},
    {"421010002", "Encargos sociais"},
    {"422010001", "Aluguéis"},
    {"422010002", "Energia elétrica"},
    {"422010003", "Depreciação"},
    {"423010001", "Multas fiscais indedutíveis"},
    {"423010002", "Brindes"},
    {"423010003", "Doações"},
    {"423010004", "Provisões não dedutíveis"},
    {"431010001", "Despesas financeiras"},
    {"431010002", "Juros sobre o capital próprio"},
};

struct Item {
    const char* type;
    const char* code;
    const char* name;
};

constexpr Item kItems[] = {
    {"01", "0001", "Receita operacional bruta"},
    {"01", "0002", "Deduções da receita bruta"},
    {"01", "0003", "Receita operacional líquida"},
    {"01", "0004", "Custo das mercadorias vendidas"},
    {"01", "0005", "Lucro bruto"},
    {"01", "0006", "Despesas com vendas"},
    {"01", "0007", "Despesas administrativas"},
    {"01", "0008", "Resultado financeiro líquido"},
    {"01", "0009", "Outras receitas e despesas operacionais"},
    {"01", "0010", "Resultado antes do IRPJ e da CSLL"},
    {"01", "0011", "Provisão para IRPJ e CSLL"},
    {"01", "0012", "Lucro líquido do exercício"},
    {"02", "0001", "Receita líquida"},
    {"02", "0002", "Custos e despesas"},
    {"02", "0003", "Resultado do exercício"},
};

struct Rate {
    long long seq;
    const char* description;
    double irpj;
    double csll;
};

// The presumption rates of the law, one entry per kind of activity.
constexpr Rate kRates[] = {
    {1, "Revenda de combustíveis derivados de petróleo, álcool etílico carburante e gás natural", 1.6, 12},
    {2, "Venda de mercadorias e produtos, industrialização e atividade rural", 8, 12},
    {3, "Transporte de cargas", 8, 12},
    {4, "Serviços hospitalares e de auxílio diagnóstico e terapia", 8, 12},
    {5, "Transporte de passageiros, exceto o de cargas", 16, 12},
    {6, "Prestação de serviços em geral, inclusive profissões regulamentadas", 32, 32},
    {7, "Intermediação de negócios, administração e locação de bens móveis e imóveis", 32, 32},
    {8, "Construção por empreitada com emprego de todos os materiais", 8, 12},
};

struct Source {
    char origin;
    const char* key; // an account, or the type and the item
    char form;
};

struct Param {
    char tax;
    char kind;
    const char* name;
    double percent;
    std::initializer_list<Source> sources;
    const char* ecf; // its code in the ECF's dynamic table of its tax
};

const Param kParams[] = {
    {imposto::IRPJ, tipo::Adicao, "Multas fiscais indedutíveis", 100, {{origem::Conta, "423010001", apuracao::Competencia}}, "8.60"},
    {imposto::IRPJ, tipo::Adicao, "Brindes", 100, {{origem::Conta, "423010002", apuracao::Competencia}}, "92"},
    {imposto::IRPJ, tipo::Adicao, "Provisões não dedutíveis", 100,
     {{origem::Conta, "423010004", apuracao::Competencia}, {origem::Item, "010009", apuracao::Competencia}}, "6"},
    {imposto::IRPJ, tipo::Exclusao, "Resultado positivo de equivalência patrimonial", 100, {{origem::Conta, "321010002", apuracao::Competencia}},
     "100.05"},
    {imposto::IRPJ, tipo::Compensacao, "Compensação de prejuízos fiscais", 30, {{origem::Conta, "233010001", apuracao::Competencia}}, "173"},
    {imposto::CSLL, tipo::Adicao, "Multas fiscais indedutíveis", 100, {{origem::Conta, "423010001", apuracao::Competencia}}, "8.60"},
    {imposto::CSLL, tipo::Adicao, "Brindes", 100, {{origem::Conta, "423010002", apuracao::Competencia}}, "92"},
    {imposto::CSLL, tipo::Exclusao, "Resultado positivo de equivalência patrimonial", 100, {{origem::Conta, "321010002", apuracao::Competencia}},
     "100.05"},
    {imposto::CSLL, tipo::Compensacao, "Compensação de base de cálculo negativa", 30, {{origem::Conta, "233010001", apuracao::Competencia}}, "173"},
};

struct Item2 {
    const char* name;
    char kind;
    char operational;
    long long rate;
    char debit;
    std::initializer_list<Source> sources;
};

const Item2 kRecDesp[] = {
    {"Receita bruta de vendas", recDesp::Receita, simNao::Sim, 2, simNao::Sim,
     {{origem::Conta, "311010001", apuracao::Competencia}, {origem::Item, "010001", apuracao::Competencia}}},
    {"Receita de prestação de serviços", recDesp::Receita, simNao::Sim, 6, simNao::Sim, {{origem::Conta, "311010002", apuracao::Pagamento}}},
    {"Devoluções de vendas", recDesp::Despesa, simNao::Sim, 2, simNao::Nao, {{origem::Conta, "312010001", apuracao::Competencia}}},
    {"Receitas financeiras", recDesp::Receita, simNao::Nao, 6, simNao::Sim, {{origem::Conta, "321010001", apuracao::Pagamento}}},
    {"Ganho na alienação de imobilizado", recDesp::Receita, simNao::Nao, 6, simNao::Nao, {{origem::Conta, "331010001", apuracao::Competencia}}},
};

using Values = std::vector<std::pair<const char*, QVariant>>;

// One row through the table's own insert, its values named; the rest NULL.
void insert(Db& db, const TableSql& t, const Values& values)
{
    RowValues row(t.table().columns.size());
    for (const auto& [column, value] : values)
        row[t.column(column)] = value;
    db.exec(t.insert(), t.insertParams(Row(t.table().columns, row)));
}

// A parent row of company 01 under the next number of its series, and its accounting information.
long long addParent(Db& db, const TableSql& t, Values values, std::initializer_list<Source> sources)
{
    const long long parent = takeSequence(db, Series::Param);
    insert(db, apurPaiSql(), {{f::NRSEQPARAMAPU, qlonglong(parent)}});
    values.insert(values.end(), {{t.table().key.front(), qlonglong(parent)}, {f::CDEMPRESA, QStringLiteral("01")}});
    insert(db, t, values);
    for (const Source& s : sources) {
        const QString key = QString::fromLatin1(s.key);
        const bool account = s.origin == origem::Conta;
        insert(db, infCtbSql(),
               {{f::NRSEQINFCTBIRPJ, qlonglong(takeSequence(db, Series::InfCtb))},
                {f::NRSEQPARAMAPU, qlonglong(parent)},
                {f::IDINFCTBIRPJ, contract::letterText(s.origin)},
                {f::CHAVE, key},
                {f::CDINFCTBIRPJ, account ? key : key.mid(2, 4)},
                {f::CDTIPODEMO, account ? QVariant() : QVariant(key.left(2))},
                {f::IDFORMAPURITEM, contract::letterText(s.form)}});
    }
    return parent;
}

} // namespace

bool fillDemo(Db& db)
{
    Transaction tx(db, true);
    if (!db.query(empresaSql().exists({})).empty())
        return false;
    for (const Named& c : kCompanies)
        insert(db, empresaSql(), {{f::CDEMPRESA, QString::fromUtf8(c.code)}, {f::NMEMPRESA, QString::fromUtf8(c.name)}});
    for (const Named& a : kAccounts)
        insert(db, contCtblSql(), {{f::CDCONTCTBL, QString::fromUtf8(a.code)}, {f::NMCONTCTBL, QString::fromUtf8(a.name)}});
    for (const Item& i : kItems)
        insert(db, itensDRESql(),
               {{f::CDTIPODEMO, QString::fromUtf8(i.type)}, {f::CDITEMSTRU, QString::fromUtf8(i.code)}, {f::NMITEMSTRU, QString::fromUtf8(i.name)}});
    for (const Rate& r : kRates)
        insert(db, aliquotasSql(),
               {{f::NRSEQALIQIRPJ, qlonglong(r.seq)},
                {f::DSALIQIRPJCSLL, QString::fromUtf8(r.description)},
                {f::VRALIQPRESCSLL, r.csll},
                {f::VRALIQPRESIRPJ, r.irpj}});
    for (const Param& p : kParams) {
        const long long row = addParent(db, paramApuSql(),
                                        {{f::NMPARAMAPU, QString::fromUtf8(p.name)}, {f::IDPARAMAPU, contract::letterText(p.kind)},
                                         {f::IDIMPOSTO, contract::letterText(p.tax)}, {f::VRPORCENTAGEM, p.percent}},
                                        p.sources);
        insert(db, ecf::paramApuEcfSql(), {{f::NRSEQPARAMAPU, qlonglong(row)}, {f::CDECF, QString::fromLatin1(p.ecf)}});
    }
    for (const Item2& i : kRecDesp) {
        const Rate& rate = kRates[i.rate - 1];
        addParent(db, recDespSql(),
                  {{f::NMRECDESPIRPJ, QString::fromUtf8(i.name)}, {f::IDRECDESPIRPJ, contract::letterText(i.kind)},
                   {f::IDRECDESPIRPJOP, contract::letterText(i.operational)}, {f::NRSEQALIQIRPJ, qlonglong(i.rate)},
                   {f::VRALIQPRESIRPJ, rate.irpj}, {f::VRALIQPRESCSLL, rate.csll}, {f::IDCONSVRDEB, contract::letterText(i.debit)}},
                  i.sources);
    }
    tx.commit();
    return true;
}

} // namespace erp::server

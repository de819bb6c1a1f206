// SPDX-License-Identifier: MIT
#include "schema.h"

namespace erp::server {

namespace {

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
    char origin; // 'C' account, 'I' income-statement item
    const char* key;
    char form;
};

struct Param {
    const char* tax;
    const char* kind;
    const char* name;
    double percent;
    std::initializer_list<Source> sources;
};

const Param kParams[] = {
    {"I", "A", "Multas fiscais indedutíveis", 100, {{'C', "423010001", 'C'}}},
    {"I", "A", "Brindes", 100, {{'C', "423010002", 'C'}}},
    {"I", "A", "Provisões não dedutíveis", 100, {{'C', "423010004", 'C'}, {'I', "010009", 'C'}}},
    {"I", "E", "Resultado positivo de equivalência patrimonial", 100, {{'C', "321010002", 'C'}}},
    {"I", "C", "Compensação de prejuízos fiscais", 30, {{'C', "233010001", 'C'}}},
    {"C", "A", "Multas fiscais indedutíveis", 100, {{'C', "423010001", 'C'}}},
    {"C", "A", "Brindes", 100, {{'C', "423010002", 'C'}}},
    {"C", "E", "Resultado positivo de equivalência patrimonial", 100, {{'C', "321010002", 'C'}}},
    {"C", "C", "Compensação de base de cálculo negativa", 30, {{'C', "233010001", 'C'}}},
};

struct Item2 {
    const char* name;
    const char* kind;
    const char* operational;
    long long rate;
    const char* debit;
    std::initializer_list<Source> sources;
};

const Item2 kRecDesp[] = {
    {"Receita bruta de vendas", "R", "S", 2, "S", {{'C', "311010001", 'C'}, {'I', "010001", 'C'}}},
    {"Receita de prestação de serviços", "R", "S", 6, "S", {{'C', "311010002", 'P'}}},
    {"Devoluções de vendas", "D", "S", 2, "N", {{'C', "312010001", 'C'}}},
    {"Receitas financeiras", "R", "N", 6, "S", {{'C', "321010001", 'P'}}},
    {"Ganho na alienação de imobilizado", "R", "N", 6, "N", {{'C', "331010001", 'C'}}},
};

void addSources(Db& db, long long parent, std::initializer_list<Source> sources)
{
    for (const Source& s : sources) {
        const QString key = QString::fromLatin1(s.key);
        const bool account = s.origin == 'C';
        const QVariant type = account ? QVariant() : QVariant(key.left(2));
        const QString code = account ? key : key.mid(2, 4);
        db.exec("INSERT INTO INFCTBIRPJ (NRSEQINFCTBIRPJ, NRSEQPARAMAPU, IDINFCTBIRPJ, CHAVE, CDINFCTBIRPJ, CDTIPODEMO, CDINFCTBIRPJCHV, IDFORMAPURITEM) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                {qlonglong(takeSequence(db, Series::InfCtb)), qlonglong(parent), QString(QLatin1Char(s.origin)), key, code, type,
                 caseKey(type.toString()) + QLatin1Char('/') + caseKey(code), QString(QLatin1Char(s.form))});
    }
}

} // namespace

bool fillDemo(Db& db)
{
    Transaction tx(db, true);
    if (!db.query("SELECT 1 FROM EMPRESA").empty())
        return false;
    for (const Named& c : kCompanies)
        db.exec("INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES (?, ?)", {QString::fromUtf8(c.code), QString::fromUtf8(c.name)});
    for (const Named& a : kAccounts)
        db.exec("INSERT INTO CONTCTBL (CDCONTCTBL, NMCONTCTBL) VALUES (?, ?)", {QString::fromUtf8(a.code), QString::fromUtf8(a.name)});
    for (const Item& i : kItems)
        db.exec("INSERT INTO ITEMESTRUDRE (CDTIPODEMO, CDITEMSTRU, NMITEMSTRU) VALUES (?, ?, ?)",
                {QString::fromUtf8(i.type), QString::fromUtf8(i.code), QString::fromUtf8(i.name)});
    for (const Rate& r : kRates)
        db.exec("INSERT INTO ALIQIRPJ (NRSEQALIQIRPJ, DSALIQIRPJCSLL, VRALIQPRESCSLL, VRALIQPRESIRPJ) VALUES (?, ?, ?, ?)",
                {qlonglong(r.seq), QString::fromUtf8(r.description), r.csll, r.irpj});
    const QString company = QStringLiteral("01");
    for (const Param& p : kParams) {
        const long long seq = takeSequence(db, Series::Param);
        const QString name = QString::fromUtf8(p.name);
        db.exec("INSERT INTO APURPAI (NRSEQPARAMAPU) VALUES (?)", {qlonglong(seq)});
        db.exec("INSERT INTO PARAMAPUIRPJ (NRSEQPARAMAPU, CDEMPRESA, NMPARAMAPU, NMPARAMAPUCHV, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM) "
                "VALUES (?, ?, ?, ?, ?, ?, ?)",
                {qlonglong(seq), company, name, caseKey(name), QString::fromLatin1(p.kind), QString::fromLatin1(p.tax), p.percent});
        addSources(db, seq, p.sources);
    }
    for (const Item2& i : kRecDesp) {
        const long long seq = takeSequence(db, Series::Param);
        const QString name = QString::fromUtf8(i.name);
        const Rate& rate = kRates[i.rate - 1];
        db.exec("INSERT INTO APURPAI (NRSEQPARAMAPU) VALUES (?)", {qlonglong(seq)});
        db.exec("INSERT INTO RECDESPIRPJ (NRSEQRECDESPIRPJ, CDEMPRESA, NMRECDESPIRPJ, NMRECDESPIRPJCHV, IDRECDESPIRPJ, IDRECDESPIRPJOP, "
                "NRSEQALIQIRPJ, VRALIQPRESIRPJ, VRALIQPRESCSLL, IDCONSVRDEB) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                {qlonglong(seq), company, name, caseKey(name), QString::fromLatin1(i.kind), QString::fromLatin1(i.operational), qlonglong(i.rate),
                 rate.irpj, rate.csll, QString::fromLatin1(i.debit)});
        addSources(db, seq, i.sources);
    }
    tx.commit();
    return true;
}

} // namespace erp::server

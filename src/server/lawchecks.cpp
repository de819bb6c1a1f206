// SPDX-License-Identifier: MIT
#include "lawchecks.h"

#include "changes.h"
#include "copy.h"
#include "ecf/codes.h"
#include "tablesql.h"

#include "contract/paramirpj.h"

#include <QDate>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace erp::server {

namespace {

namespace f = contract::f;
namespace letter = contract::letter;
using contract::letterText;

// A parameter row as the checks see it: an addition, exclusion or
// compensation of one tax, or a net-profit item.
struct Parent {
    const char* table;
    long long number;
    QString tax;  // I or C; empty for a net-profit item
    QString kind; // A, E or C; R or D for an item
    QString name;
    double percent = 0;
    // A net-profit item's rate entry and the two rates it keeps.
    long long rate = 0;
    std::optional<double> irpj{}, csll{};

    bool isItem() const { return table == QLatin1String(contract::t::RECDESPIRPJ); }

    // "a adição "Brindes" do IRPJ", "o item do lucro líquido "Receitas financeiras"".
    QString described() const
    {
        if (isItem())
            return QStringLiteral("o item do lucro líquido \"%1\"").arg(name);
        const QString what = kind == letterText(letter::tipo::Exclusao)      ? QStringLiteral("a exclusão")
                             : kind == letterText(letter::tipo::Compensacao) ? QStringLiteral("a compensação")
                                                                             : QStringLiteral("a adição");
        return QStringLiteral("%1 \"%2\" do %3").arg(what, name, taxName());
    }
    QString startingDescription() const
    {
        QString d = described();
        d[0] = d[0].toUpper();
        return d;
    }
    QString taxName() const { return tax == letterText(letter::imposto::CSLL) ? QStringLiteral("CSLL") : QStringLiteral("IRPJ"); }
};

// One accounting information, under its parent.
struct Source {
    std::size_t parent; // index into Company::parents
    QString origin, code, type;
};

struct RateEntry {
    double irpj, csll;
};

// What the checks read, loaded once.
struct Company {
    std::vector<Parent> parents;
    std::vector<Source> sources;
    std::vector<std::size_t> sourceCount; // per parent
    QHash<long long, RateEntry> rates;
    QSet<QString> accounts;
    QSet<QString> items; // type '/' item
    // The ECF code of each additions row that has one, the lines of each
    // code in its tax's table (tax '/' code), and the year codes must be valid in.
    QHash<long long, QString> ecfCodes;
    QHash<QString, std::vector<ecf::TableLine>> ecfLines;
    int year = 0;
};

std::optional<double> number(const QVariant& v)
{
    return v.isValid() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

Company load(Db& db, const QString& company)
{
    const CompanyParameters p = readCompanyParameters(db, company);
    Company c;
    QHash<long long, std::size_t> byNumber;
    const auto field = [](const DataPacket& packet, const RowValues& r, const char* name) { return r[packet.indexOf(QLatin1String(name))]; };
    for (const RowValues& r : p.paramApu.rows) {
        const auto at = [&](const char* n) { return field(p.paramApu, r, n); };
        c.parents.push_back({contract::t::PARAMAPUIRPJ, wholeNumber(at(f::NRSEQPARAMAPU).toDouble()).value_or(0), at(f::IDIMPOSTO).toString(),
                             at(f::IDPARAMAPU).toString(), at(f::NMPARAMAPU).toString(), at(f::VRPORCENTAGEM).toDouble()});
    }
    for (const RowValues& r : p.recDesp.rows) {
        const auto at = [&](const char* n) { return field(p.recDesp, r, n); };
        Parent item{contract::t::RECDESPIRPJ, wholeNumber(at(f::NRSEQRECDESPIRPJ).toDouble()).value_or(0), QString(), at(f::IDRECDESPIRPJ).toString(),
                    at(f::NMRECDESPIRPJ).toString()};
        item.rate = wholeNumber(at(f::NRSEQALIQIRPJ).toDouble()).value_or(0);
        item.irpj = number(at(f::VRALIQPRESIRPJ));
        item.csll = number(at(f::VRALIQPRESCSLL));
        c.parents.push_back(std::move(item));
    }
    for (std::size_t i = 0; i < c.parents.size(); ++i)
        byNumber.insert(c.parents[i].number, i);
    c.sourceCount.assign(c.parents.size(), 0);
    for (const RowValues& r : p.infCtb.rows) {
        const auto at = [&](const char* n) { return field(p.infCtb, r, n); };
        const std::size_t parent = byNumber.value(wholeNumber(at(f::NRSEQPARAMAPU).toDouble()).value_or(0));
        c.sources.push_back({parent, at(f::IDINFCTBIRPJ).toString(), at(f::CDINFCTBIRPJ).toString(), at(f::CDTIPODEMO).toString()});
        ++c.sourceCount[parent];
    }
    static const std::string rates = aliquotasSql().select();
    const TableSql& a = aliquotasSql();
    for (const SqlRow& r : db.query(rates))
        c.rates.insert(r[std::size_t(a.column(f::NRSEQALIQIRPJ))].toLongLong(),
                       {r[std::size_t(a.column(f::VRALIQPRESIRPJ))].toDouble(), r[std::size_t(a.column(f::VRALIQPRESCSLL))].toDouble()});
    static const std::string accounts = "SELECT " + std::string(f::CDCONTCTBL) + " FROM " + contract::t::CONTCTBL;
    for (const SqlRow& r : db.query(accounts))
        c.accounts.insert(r[0].toString());
    for (const RowValues& r : p.ecfCodes.rows)
        c.ecfCodes.insert(wholeNumber(field(p.ecfCodes, r, f::NRSEQPARAMAPU).toDouble()).value_or(0), field(p.ecfCodes, r, f::CDECF).toString());
    for (const char tax : {letter::imposto::IRPJ, letter::imposto::CSLL})
        for (ecf::TableLine& l : ecf::taxTable(db, letterText(tax)))
            c.ecfLines[letterText(tax) + u'/' + l.code].push_back(std::move(l));
    c.year = QDate::currentDate().year();
    static const std::string items = "SELECT " + std::string(f::CDTIPODEMO) + ", " + f::CDITEMSTRU + " FROM " + contract::t::ITEMESTRUDRE;
    for (const SqlRow& r : db.query(items))
        c.items.insert(r[0].toString() + u'/' + r[1].toString());
    return c;
}

// A percentage as the accountant writes it: "1,6 %", "38,4 %", "100 %".
QString percent(double v)
{
    static const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    return br.toString(v, 'f', QLocale::FloatingPointShortest) + QStringLiteral(" %");
}

bool same(double a, double b)
{
    return std::fabs(a - b) < 1e-9;
}

// What a check reports: the row (by its parent) and the sentence; the tax is
// the parent's unless given.
using Report = std::function<void(const Parent&, const QString& message, const std::optional<QString>& tax)>;

// Loss compensation is capped at 30 % of the adjusted profit (rural activity
// is the exception, hence a warning).
void compensationAboveCap(const Company& c, const Report& report)
{
    for (const Parent& p : c.parents) {
        if (p.isItem() || p.kind != letterText(letter::tipo::Compensacao) || p.percent <= 30 + 1e-9)
            continue;
        const QString losses = p.tax == letterText(letter::imposto::CSLL) ? QStringLiteral("bases de cálculo negativas") : QStringLiteral("prejuízos fiscais");
        report(p,
               QStringLiteral("%1 usa %2 do valor: a compensação de %3 é limitada a 30 % do lucro ajustado, salvo na atividade rural.")
                   .arg(p.startingDescription(), percent(p.percent), losses),
               {});
    }
}

void withoutAccountingInformation(const Company& c, const Report& report)
{
    for (std::size_t i = 0; i < c.parents.size(); ++i)
        if (c.sourceCount[i] == 0)
            report(c.parents[i],
                   QStringLiteral("%1 não tem informação contábil: nenhuma conta contábil ou item do DRE alimenta o seu valor.").arg(c.parents[i].startingDescription()),
                   {});
}

// An account that feeds both an addition and an exclusion of one tax is
// usually counted twice; reported on each such addition.
void accountInAdditionAndExclusion(const Company& c, const Report& report)
{
    // (tax, account) -> the additions and the exclusions it feeds, in row order.
    std::map<std::pair<QString, QString>, std::pair<std::vector<std::size_t>, std::vector<std::size_t>>> feeds;
    for (const Source& s : c.sources) {
        const Parent& p = c.parents[s.parent];
        if (p.isItem() || s.origin != letterText(letter::origem::Conta))
            continue;
        auto& [additions, exclusions] = feeds[{p.tax, s.code}];
        if (p.kind == letterText(letter::tipo::Adicao))
            additions.push_back(s.parent);
        else if (p.kind == letterText(letter::tipo::Exclusao))
            exclusions.push_back(s.parent);
    }
    for (const auto& [where, fed] : feeds)
        for (const std::size_t a : fed.first)
            for (const std::size_t e : fed.second)
                report(c.parents[a],
                       QStringLiteral("A conta contábil %1 alimenta %2 e também %3.").arg(where.second, c.parents[a].described(), c.parents[e].described()),
                       {});
}

// Presumption rates of the law, and the same raised by a tenth for the part
// of the year's revenue above R$ 5 million.
void rateNotInLaw(const Company& c, const Report& report)
{
    struct Law {
        char tax;
        std::vector<double> rates;
        std::optional<double> Parent::*kept;
    };
    static const Law laws[] = {{letter::imposto::IRPJ, {1.6, 8, 16, 32, 38.4}, &Parent::irpj}, {letter::imposto::CSLL, {12, 32, 38.4}, &Parent::csll}};
    for (const Parent& p : c.parents) {
        if (!p.isItem())
            continue;
        for (const Law& law : laws) {
            const std::optional<double>& rate = p.*law.kept;
            if (!rate)
                continue;
            QStringList base, raised;
            bool legal = false;
            for (const double r : law.rates) {
                legal = legal || same(*rate, r) || same(*rate, r * 1.1);
                base << percent(r);
                raised << percent(std::round(r * 1.1 * 10000) / 10000);
            }
            if (legal)
                continue;
            const QString tax = letterText(law.tax);
            report(p,
                   QStringLiteral("%1 usa a alíquota de presunção de %2 de %3, que não é uma das previstas em lei (%4; ou, na parte da receita acima "
                                  "de R$ 5 milhões no ano, %5).")
                       .arg(p.startingDescription(), tax == letterText(letter::imposto::CSLL) ? QStringLiteral("CSLL") : QStringLiteral("IRPJ"), percent(*rate),
                            base.join(QStringLiteral(", ")), raised.join(QStringLiteral(", "))),
                   tax);
        }
    }
}

void itemNoLongerPresent(const Company& c, const Report& report)
{
    for (const Source& s : c.sources)
        if (s.origin == letterText(letter::origem::Item) && !c.items.contains(s.type + u'/' + s.code))
            report(c.parents[s.parent],
                   QStringLiteral("O item %1 do DRE %2, informação contábil de %3, não existe mais na estrutura do DRE.")
                       .arg(s.code, s.type, c.parents[s.parent].described()),
                   {});
}

void accountNoLongerPresent(const Company& c, const Report& report)
{
    for (const Source& s : c.sources)
        if (s.origin == letterText(letter::origem::Conta) && !c.accounts.contains(s.code))
            report(c.parents[s.parent],
                   QStringLiteral("A conta contábil %1, informação contábil de %2, não está mais no plano de contas.").arg(s.code, c.parents[s.parent].described()),
                   {});
}

// An item keeps copies of its rate entry's two rates; an entry changed
// since leaves them behind.
void rateDisagrees(const Company& c, const Report& report)
{
    const auto shown = [](const std::optional<double>& v) { return v ? percent(*v) : QStringLiteral("(vazia)"); };
    for (const Parent& p : c.parents) {
        if (!p.isItem())
            continue;
        const auto entry = c.rates.constFind(p.rate);
        if (entry == c.rates.cend() || (p.irpj && p.csll && same(*p.irpj, entry->irpj) && same(*p.csll, entry->csll)))
            continue;
        report(p,
               QStringLiteral("%1 guarda as alíquotas de presunção IRPJ %2 e CSLL %3, mas a alíquota de presunção %4 tem IRPJ %5 e CSLL %6.")
                   .arg(p.startingDescription(), shown(p.irpj), shown(p.csll), QString::number(p.rate), percent(entry->irpj), percent(entry->csll)),
               {});
    }
}

// Every addition, exclusion and compensation goes to the ECF under a code of
// its tax's dynamic table.
void withoutEcfCode(const Company& c, const Report& report)
{
    for (const Parent& p : c.parents)
        if (!p.isItem() && !c.ecfCodes.contains(p.number))
            report(p, QStringLiteral("%1 não tem código da ECF (tabela dinâmica %2).").arg(p.startingDescription(), ecf::tableOfTax(p.tax)), {});
}

QString brazilianDate(const QString& iso)
{
    return QDate::fromString(iso, Qt::ISODate).toString(QStringLiteral("dd/MM/yyyy"));
}

// Each addition, exclusion and compensation row that carries a code, with
// that code's lines in its tax's table (none when the table lacks it).
template <typename Judge>
void forEachCodedRow(const Company& c, Judge judge)
{
    for (const Parent& p : c.parents) {
        const auto code = c.ecfCodes.constFind(p.number);
        if (!p.isItem() && code != c.ecfCodes.cend())
            judge(p, *code, c.ecfLines.value(p.tax + u'/' + *code));
    }
}

// The code must be in the table of the layout in use, valid this year.
void ecfCodeNotValidThisYear(const Company& c, const Report& report)
{
    forEachCodedRow(c, [&](const Parent& p, const QString& code, const std::vector<ecf::TableLine>& lines) {
        const QString table = ecf::tableOfTax(p.tax);
        if (lines.empty()) {
            report(p, QStringLiteral("%1 tem o código da ECF %2, que não está na tabela dinâmica %3 do leiaute em uso.").arg(p.startingDescription(), code, table),
                   {});
            return;
        }
        if (std::any_of(lines.begin(), lines.end(), [&](const ecf::TableLine& l) { return l.validIn(c.year); }))
            return;
        QStringList spans;
        for (const ecf::TableLine& l : lines)
            spans << (l.end.isEmpty() ? QStringLiteral("a partir de %1").arg(brazilianDate(l.start))
                                      : QStringLiteral("de %1 a %2").arg(brazilianDate(l.start), brazilianDate(l.end)));
        report(p,
               QStringLiteral("%1 tem o código da ECF %2, que não vale em %3: a tabela dinâmica %4 o traz %5.")
                   .arg(p.startingDescription(), code, QString::number(c.year), table, spans.join(QStringLiteral("; "))),
               {});
    });
}

// The code must be an entry line of the row's type: a row whose type changed
// after it got its code no longer fits it.
void ecfCodeOfAnotherType(const Company& c, const Report& report)
{
    forEachCodedRow(c, [&](const Parent& p, const QString& code, const std::vector<ecf::TableLine>& lines) {
        const QString wanted = ecf::entryTypeOf(p.kind);
        if (lines.empty() || std::any_of(lines.begin(), lines.end(), [&](const ecf::TableLine& l) {
                return l.kind == QLatin1String("E") && l.entryType == wanted;
            }))
            return;
        const auto entry = std::find_if(lines.begin(), lines.end(), [](const ecf::TableLine& l) { return l.kind == QLatin1String("E"); });
        const QString is = entry == lines.end() ? QStringLiteral("uma linha que não é de lançamento (tipo %1)").arg(lines.front().kind)
                                                : ecf::entryTypeName(entry->entryType);
        report(p,
               QStringLiteral("%1 tem o código da ECF %2, que é de %3 na tabela dinâmica %4; o registro é de %5.")
                   .arg(p.startingDescription(), code, is, ecf::tableOfTax(p.tax), ecf::entryTypeName(wanted)),
               {});
    });
}

struct Check {
    LawCheckInfo info;
    void (*run)(const Company&, const Report&);
};

// Where the ECF's codes are defined.
constexpr char kEcfTables[] = "ECF, registros M300 e M350: tabelas dinâmicas M300A e M350A";

// Every check: its id, severity, reference and rule. A new check is a line.
const std::vector<Check>& checks()
{
    using namespace letter::gravidade;
    static const std::vector<Check> table{
        {{"COMPENSACAO_ACIMA_30", Aviso, "Lei 8.981/1995, arts. 42 e 58; Lei 9.065/1995, arts. 15 e 16"}, compensationAboveCap},
        {{"SEM_INFORMACAO_CONTABIL", Aviso, ""}, withoutAccountingInformation},
        {{"CONTA_ADICAO_E_EXCLUSAO", Aviso, ""}, accountInAdditionAndExclusion},
        {{"ALIQUOTA_FORA_DA_LEI", Erro, "Lei 9.249/1995, arts. 15 e 20; LC 224/2025"}, rateNotInLaw},
        {{"ITEM_DRE_INEXISTENTE", Erro, ""}, itemNoLongerPresent},
        {{"CONTA_INEXISTENTE", Erro, ""}, accountNoLongerPresent},
        {{"ALIQUOTA_DIVERGENTE", Erro, ""}, rateDisagrees},
        {{"SEM_CODIGO_ECF", Aviso, kEcfTables}, withoutEcfCode},
        {{"CODIGO_ECF_FORA_DA_VIGENCIA", Erro, kEcfTables}, ecfCodeNotValidThisYear},
        {{"CODIGO_ECF_TIPO_DIVERGENTE", Erro, kEcfTables}, ecfCodeOfAnotherType},
    };
    return table;
}

struct Finding {
    std::size_t check;
    QString tax;
    const char* table;
    long long row;
    QString message;
};

int severityOrder(char severity)
{
    return severity == letter::gravidade::Erro ? 0 : 1;
}

int taxOrder(const QString& tax)
{
    return tax == letterText(letter::imposto::IRPJ) ? 0 : tax == letterText(letter::imposto::CSLL) ? 1 : 2;
}

int tableOrder(const char* table)
{
    return table == QLatin1String(contract::t::PARAMAPUIRPJ) ? 0 : 1;
}

QVariant textOrNull(const QString& s)
{
    return s.isEmpty() ? QVariant() : QVariant(s);
}

} // namespace

std::vector<LawCheckInfo> lawChecks()
{
    std::vector<LawCheckInfo> out;
    for (const Check& c : checks())
        out.push_back(c.info);
    return out;
}

DataPacket verifyParameters(Db& db, const QString& company)
{
    const Company c = load(db, company);
    std::vector<Finding> findings;
    const std::vector<Check>& all = checks();
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i].run(c, [&](const Parent& p, const QString& message, const std::optional<QString>& tax) {
            findings.push_back({i, tax.value_or(p.tax), p.table, p.number, message});
        });
    std::stable_sort(findings.begin(), findings.end(), [&](const Finding& a, const Finding& b) {
        const auto key = [&](const Finding& x) {
            return std::make_tuple(severityOrder(all[x.check].info.severity), taxOrder(x.tax), tableOrder(x.table), x.row, x.check);
        };
        return key(a) < key(b);
    });
    DataPacket p;
    p.fields = contract::verificacaoLayout();
    for (const Finding& x : findings) {
        const LawCheckInfo& info = all[x.check].info;
        p.rows.push_back({QString::fromLatin1(info.id), letterText(info.severity), textOrNull(x.tax), QString::fromLatin1(x.table), double(x.row),
                          x.message.left(1000), textOrNull(QString::fromUtf8(info.reference))});
    }
    return p;
}

} // namespace erp::server

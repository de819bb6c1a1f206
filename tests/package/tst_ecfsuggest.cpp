// SPDX-License-Identifier: MIT
// The ECF tables as the screen reads them: which lines a row may take in a
// year, and which descriptions best match a row's name, tried on the
// official lines of M300A and M350A.
#include "data/ecfsuggest.h"
#include "data/ecftable.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTest>

using namespace erp;
using namespace erp::par47300;

namespace {

// The official lines of a sheet, from the repository's data file.
QList<EcfLine> officialLines(const char* sheet)
{
    QFile file(QStringLiteral(ECF_DATA_FILE));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonArray rows = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("tabelas")).toObject().value(QLatin1String(sheet)).toArray();
    QList<EcfLine> lines;
    for (const QJsonValue& v : rows) {
        const QJsonObject o = v.toObject();
        lines.append({.code = o.value(QStringLiteral("codigo")).toString(),
                      .description = o.value(QStringLiteral("descricao")).toString(),
                      .tipo = o.value(QStringLiteral("tipo")).toString(),
                      .tipoLanc = o.value(QStringLiteral("tipoLanc")).toString(),
                      .start = QDate::fromString(o.value(QStringLiteral("dtIni")).toString(), Qt::ISODate),
                      .end = QDate::fromString(o.value(QStringLiteral("dtFim")).toString(), Qt::ISODate)});
    }
    return lines;
}

EcfLine line(const char* code, const char* tipo, const char* tipoLanc, QDate start, QDate end = {})
{
    return {.code = QString::fromLatin1(code), .description = {}, .tipo = QString::fromLatin1(tipo), .tipoLanc = QString::fromLatin1(tipoLanc),
            .start = start, .end = end};
}

} // namespace

class TestEcfSuggest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void validInTheYear_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        QTest::addColumn<int>("year");
        QTest::addColumn<bool>("valid");
        const QDate y2026(2026, 1, 1);
        QTest::newRow("begins on 2026-01-01, year 2025") << y2026 << QDate() << 2025 << false;
        QTest::newRow("begins on 2026-01-01, year 2026") << y2026 << QDate() << 2026 << true;
        QTest::newRow("begins on 2026-01-01, open, year 2030") << y2026 << QDate() << 2030 << true;
        QTest::newRow("begins on the year's last day") << QDate(2025, 12, 31) << QDate() << 2025 << true;
        QTest::newRow("ends on the year's first day") << QDate(2015, 1, 1) << QDate(2025, 1, 1) << 2025 << true;
        QTest::newRow("ended the day before the year") << QDate(2015, 1, 1) << QDate(2024, 12, 31) << 2025 << false;
        QTest::newRow("ended, year before its start") << QDate(2015, 1, 1) << QDate(2020, 12, 31) << 2014 << false;
        QTest::newRow("no start") << QDate() << QDate() << 2025 << false;
    }
    void validInTheYear()
    {
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        QFETCH(int, year);
        QTEST(ecf::validIn(line("1", "E", "A", start, end), year), "valid");
    }

    // A row takes a line the company enters (tipo E) of its own entry type.
    void fitsTheRowsKind()
    {
        const QDate d(2015, 1, 1);
        const struct {
            EcfLine line;
            const char* kind;
            bool fits;
        } cases[] = {
            {line("6", "E", "A", d), "A", true},       {line("6", "E", "A", d), "E", false},   {line("95", "E", "E", d), "E", true},
            {line("173", "E", "P", d), "C", true},     {line("173", "E", "P", d), "A", false}, {line("170", "CNA", "E", d), "E", false},
            {line("9", "CA", "A", d), "A", false},     {line("5", "R", "R", d), "A", false},   {line("6", "E", "A", d), "", false},
            {line("6", "E", "A", d), "X", false},      {line("172", "R", "", d), "C", false},
        };
        for (const auto& c : cases)
            QVERIFY2(ecf::fits(c.line, QString::fromLatin1(c.kind)) == c.fits, qPrintable(c.line.code + u' ' + QLatin1String(c.kind)));
        QCOMPARE(ecf::sheetOf(contract::letter::imposto::IRPJ), QStringLiteral("M300A"));
        QCOMPARE(ecf::sheetOf(contract::letter::imposto::CSLL), QStringLiteral("M350A"));
    }

    // The service's packet, dates as ISO texts and an open end as null.
    void linesOfAPacket()
    {
        DataPacket p{contract::tabelaEcfLayout(), {}};
        p.rows.push_back({QStringLiteral("8.1101"), QStringLiteral("PRONAC"), QStringLiteral("E"), QStringLiteral("A"), QStringLiteral("2026-01-01"), QVariant()});
        p.rows.push_back({QStringLiteral("172"), QStringLiteral("TÍTULO"), QStringLiteral("R"), QVariant(), QStringLiteral("2015-01-01"), QStringLiteral("2020-12-31")});
        const QList<EcfLine> lines = ecf::linesOf(p);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].start, QDate(2026, 1, 1));
        QVERIFY(lines[0].end.isNull());
        QCOMPARE(lines[1].tipoLanc, QString());
        QCOMPARE(lines[1].end, QDate(2020, 12, 31));
        QCOMPARE(ecf::validityText(lines[0]), QStringLiteral("01/01/2026 a —"));
        QCOMPARE(ecf::validityText(lines[1]), QStringLiteral("01/01/2015 a 31/12/2020"));
    }

    void wordsAsCompared_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("accents, case, plurals") << QStringLiteral("PROVISÕES Fiscais") << QStringList{"provisao", "fiscal"};
        QTest::newRow("não dedutível is indedutível") << QStringLiteral("Custos não dedutíveis") << QStringList{"custo", "indedutivel"};
        QTest::newRow("stop words, numbers, punctuation") << QStringLiteral("(-) Doações e subvenções - art. 30 da Lei nº 12.350/2010")
                                                          << QStringList{"doacao", "subvencao"};
        QTest::newRow("-ns, -res, -eis") << QStringLiteral("bens, valores e imóveis") << QStringList{"bem", "valor", "imovel"};
        QTest::newRow("a word said twice counts once") << QStringLiteral("patrimônio líquido, patrimônio") << QStringList{"patrimonio", "liquido"};
    }
    void wordsAsCompared()
    {
        QFETCH(QString, text);
        QTEST(EcfSuggester::words(text), "words");
    }

    // Real row names against the official descriptions: the line an
    // accountant would pick is among the first `within` suggestions.
    void ranksTheOfficialLines_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("within");
        // The demo company's rows.
        QTest::newRow("multas, IRPJ") << "M300A" << "A" << "Multas fiscais indedutíveis" << "8.60" << 3;
        QTest::newRow("multas, CSLL") << "M350A" << "A" << "Multas fiscais indedutíveis" << "8.60" << 3;
        QTest::newRow("brindes") << "M300A" << "A" << "Brindes" << "8.55" << 1;
        QTest::newRow("provisões") << "M300A" << "A" << "Provisões não dedutíveis" << "6" << 1;
        QTest::newRow("equivalência patrimonial") << "M300A" << "E" << "Resultado positivo de equivalência patrimonial" << "100.05" << 10;
        QTest::newRow("prejuízo fiscal") << "M300A" << "C" << "Compensação de prejuízos fiscais" << "173" << 1;
        QTest::newRow("base negativa") << "M350A" << "C" << "Compensação de base de cálculo negativa" << "173" << 1;
        // More names accountants give their rows.
        QTest::newRow("doações a entidades") << "M300A" << "A" << "Doações a entidades civis" << "8.13" << 1;
        QTest::newRow("doações") << "M300A" << "A" << "Doações" << "8.45" << 1;
        QTest::newRow("reversão de provisões") << "M300A" << "E" << "Reversão de provisões indedutíveis" << "95" << 1;
        QTest::newRow("JCP") << "M300A" << "E" << "JCP" << "166.03" << 1;
        QTest::newRow("juros sobre o capital") << "M300A" << "E" << "Juros sobre capital próprio" << "166.03" << 1;
        QTest::newRow("alimentação de sócios") << "M350A" << "A" << "Despesas com alimentação de sócios" << "8.30" << 1;
        QTest::newRow("multas de trânsito") << "M300A" << "A" << "Multas de trânsito" << "8.65" << 2;
    }
    void ranksTheOfficialLines()
    {
        QFETCH(QString, sheet);
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, code);
        QFETCH(int, within);
        const EcfSuggester table(officialLines(qPrintable(sheet)));
        QVERIFY(table.lines().size() > 300);
        const QList<int> best = table.suggest(name, kind, 2025, within);
        QStringList codes;
        for (int i : best) {
            codes << table.lines()[i].code;
            QVERIFY(ecf::fits(table.lines()[i], kind));
        }
        QVERIFY2(codes.contains(code), qPrintable(codes.join(u' ')));
    }

    // Only lines that fit the kind and are valid in the year are proposed,
    // and a name sharing no word with any description gets none.
    void proposesOnlyFittingLinesOfTheYear()
    {
        const EcfSuggester table(officialLines("M300A"));
        const QString name = QStringLiteral("Doação a instituições de ensino e pesquisa - redução linear de benefícios");
        const auto codes = [&](int year) {
            QStringList out;
            for (int i : table.suggest(name, u"A", year, 5))
                out << table.lines()[i].code;
            return out;
        };
        QCOMPARE(codes(2026).front(), QStringLiteral("8.1401")); // begins on 2026-01-01
        QVERIFY(!codes(2025).contains(QStringLiteral("8.1401")));
        QVERIFY(codes(2025).contains(QStringLiteral("8.14")));
        for (int i : table.suggest(QStringLiteral("Provisões"), u"E", 2025, 50))
            QCOMPARE(table.lines()[i].tipoLanc, QStringLiteral("E"));
        QVERIFY(table.suggest(QStringLiteral("Xilogravuras"), u"A", 2025, 5).isEmpty());
        QVERIFY(table.suggest(QString(), u"A", 2025, 5).isEmpty());
        QVERIFY(table.suggest(QStringLiteral("Multas"), u"X", 2025, 5).isEmpty());
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QCoreApplication app(argc, argv);
    TestEcfSuggest t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_ecfsuggest.moc"

// SPDX-License-Identifier: MIT
#include "host/csv.h"
#include "host/dialogs.h"
#include "host/messages.h"
#include "host/services.h"
#include "platform/formatting.h"
#include "wire/errors.h"

#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

using namespace erp;
using namespace erp::host;

class TestServices : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ajusta_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("adjusted");
        QTest::newRow("short code") << "1" << "01";
        QTest::newRow("blanks around") << " 7 " << "07";
        QTest::newRow("exact") << "12" << "12";
        QTest::newRow("too long") << "123" << "12";
        QTest::newRow("empty stays empty") << "" << "";
        QTest::newRow("blanks only") << "  " << "";
    }
    void ajusta()
    {
        QFETCH(QString, text);
        QFETCH(QString, adjusted);
        QCOMPARE(Ajusta(text, 2), adjusted);
    }

    void emptyStringCountsBlanks()
    {
        QVERIFY(EmptyString(QString()));
        QVERIFY(EmptyString(QStringLiteral("   ")));
        QVERIFY(!EmptyString(QStringLiteral(" a ")));
    }

    void accountMaskKeepsStoredCodesAndItemKeys()
    {
        const EditMask mask(DBPict(2));
        QVERIFY(!mask.isEmpty());
        QVERIFY(!mask.saveLiterals());
        for (const QString& code : {QStringLiteral("111010001"), QStringLiteral("3110"), QStringLiteral("1")})
            QCOMPARE(mask.strip(mask.format(code)), code);
        const QString item = mask.strip(mask.format(QStringLiteral("010001")));
        QCOMPARE(item.left(2), QStringLiteral("01"));
        QCOMPARE(item.mid(2, 4), QStringLiteral("0001"));
    }

    void mensErroShowsThenAborts()
    {
        ScriptedDialogs scripted;
        DialogServiceScope scope(scripted);
        bool after = false;
        try {
            MensErro(QStringLiteral("Empresa deve ser informada."));
            after = true;
        } catch (const Abort&) {
        }
        QVERIFY(!after);
        QCOMPARE(scripted.errors, QStringList{QStringLiteral("Empresa deve ser informada.")});
    }

    void guardedShowsFailuresButNotAborts()
    {
        ScriptedDialogs scripted;
        DialogServiceScope scope(scripted);
        guarded([] { throw Abort(); });
        QVERIFY(scripted.errors.isEmpty());
        guarded([] { throw Error(QStringLiteral("Servidor fora do ar.")); });
        guarded([] { throw std::runtime_error("boom"); });
        QCOMPARE(scripted.errors.size(), 2);
        QCOMPARE(scripted.errors.at(0), QStringLiteral("Servidor fora do ar."));
        QVERIFY(scripted.errors.at(1).contains(QStringLiteral("boom")));
    }

    void catalogueDecodesWindows1252AndMatchesKeysExactly()
    {
        TMessages msg(QStringLiteral("msgTeste"));
        msg.loadCp1252(QByteArray("A|Adi\xe7\xe3o\r\nSIM|Sim\r\nsim|minusculo\r\nsem barra\r\n"));
        QCOMPARE(msg.lines().size(), 3);
        QCOMPARE(msg.Msg(QStringLiteral("A")), QStringLiteral("Adição"));
        QCOMPARE(msg.Msg(QStringLiteral("SIM")), QStringLiteral("Sim"));
        QVERIFY(!msg.contains(QStringLiteral("a")));
        QCOMPARE(msg.Msg(QStringLiteral("XYZ")), QStringLiteral("XYZ"));
    }

    void csvFieldQuotesOnlyWhereASpreadsheetNeedsIt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain, accents") << "Adição" << "Adição";
        QTest::newRow("decimal comma") << "12,5" << "12,5";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("separator") << "a;b" << "\"a;b\"";
        QTest::newRow("quote doubled") << "5\" tela" << "\"5\"\" tela\"";
        QTest::newRow("line break") << "um\ndois" << "\"um\ndois\"";
        QTest::newRow("edge blank") << " x" << "\" x\"";
    }
    void csvFieldQuotesOnlyWhereASpreadsheetNeedsIt()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(csvField(text), field);
    }

    void csvFileHasBomTitlesAndRows()
    {
        QStandardItemModel model(0, 2);
        model.setHorizontalHeaderLabels({QStringLiteral("Campo"), QStringLiteral("Depois")});
        model.appendRow({new QStandardItem(QStringLiteral("% do valor")), new QStandardItem(QStringLiteral("12,5"))});
        model.appendRow({new QStandardItem(QStringLiteral("Nome")), new QStandardItem(QStringLiteral("Multa; juros"))});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("h.csv"));
        writeCsv(model, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF") + QStringLiteral("Campo;Depois\r\n% do valor;12,5\r\nNome;\"Multa; juros\"\r\n").toUtf8());
        // A folder that does not exist: a Portuguese error, no file.
        const QString bad = dir.filePath(QStringLiteral("nao/existe.csv"));
        try {
            writeCsv(model, bad);
            QFAIL("written where it cannot be");
        } catch (const Error& e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("Não foi possível gravar o arquivo")), qPrintable(e.message()));
        }
        QVERIFY(!QFile::exists(bad));
    }
};

QTEST_MAIN(TestServices)
#include "tst_services.moc"

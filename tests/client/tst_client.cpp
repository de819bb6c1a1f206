// SPDX-License-Identifier: MIT
// The client program as a script or a packaging step runs it: an unattended
// --screenshot run ends by itself, within seconds, whatever set-up meets; a
// message goes to stderr and into the picture, and makes the status non-zero.
#include "support/serverprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTest>


using namespace erp::testing;

namespace {

struct Run {
    int status = -1;
    QString err;
    qint64 ms = 0;
    bool picture = false;
};

Run client(const std::vector<std::string>& args, const std::string& picture)
{
    std::vector<std::string> argv{ERP_CLIENT_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--open", "PAR47300", "--screenshot", picture});
    QElapsedTimer clock;
    clock.start();
    const RunResult r = runProgram(argv, 120);
    Run out;
    out.ms = clock.elapsed();
    out.status = r.exitCode;
    out.err = QString::fromStdString(r.err);
    const QImage image(QString::fromStdString(picture));
    out.picture = !image.isNull() && image.width() > 600 && image.height() > 400;
    return out;
}

} // namespace

class TestClient : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<ServerProcess> server;
    std::string db;
    std::string address;

private Q_SLOTS:
    void initTestCase()
    {
        dir = std::make_unique<TempDir>();
        db = dir->path() + "/erp.db";
        writeTokenFile(dir->path() + "/token", "chave-do-servidor");
        writeTokenFile(dir->path() + "/wrong", "outra-chave");
        server = std::make_unique<ServerProcess>(ERP_SERVER_BINARY, std::vector<std::string>{"--db", "sqlite:" + db, "--listen", "127.0.0.1:0", "--demo",
                                                                                             "--token-file", dir->path() + "/token"});
        address = server->host() + ":" + std::to_string(server->port());
    }

    void screenshotEndsWithTheMessageOfAFailedSetUp_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("message");
        QTest::newRow("no server") << "no server" << "Não foi possível conectar ao servidor de aplicação";
        QTest::newRow("wrong token") << "wrong token" << "recusou o acesso";
        QTest::newRow("unregistered company") << "unregistered company" << "Não existe empresa cadastrada no sistema!";
        QTest::newRow("failed database login") << "failed database login" << "ninguem";
    }
    void screenshotEndsWithTheMessageOfAFailedSetUp()
    {
        QFETCH(QString, setUp);
        QFETCH(QString, message);
        std::vector<std::string> args{"--server", address, "--token-file", dir->path() + "/token", "--db", "sqlite:" + db, "--company", "01"};
        std::unique_ptr<PgCluster> pg;
        if (setUp == u"no server") {
            args[1] = "127.0.0.1:" + std::to_string(freeTcpPort());
        } else if (setUp == u"wrong token") {
            args[3] = dir->path() + "/wrong";
        } else if (setUp == u"unregistered company") {
            args.back() = "77";
        } else {
            if (!PgCluster::binDir())
                QSKIP("PostgreSQL is not installed");
            pg = std::make_unique<PgCluster>();
            const std::string url = pg->createDatabase("erp");
            // A role the database does not know.
            args[5] = "postgresql://ninguem:errada@" + url.substr(url.find('@') + 1);
        }
        const std::string picture = dir->path() + "/" + setUp.toStdString() + ".png";
        const Run r = client(args, picture);
        QVERIFY2(r.ms < 30000, qPrintable(QStringLiteral("%1 ms").arg(r.ms)));
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.picture);
    }

    void screenshotOfAnOpenScreenEndsWell_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("as opened") << "";
        QTest::newRow("CSLL") << "tshCSLL";
        QTest::newRow("net-profit items") << "tshLucro";
    }
    void screenshotOfAnOpenScreenEndsWell()
    {
        QFETCH(QString, page);
        std::vector<std::string> args{"--server", address, "--token-file", dir->path() + "/token", "--db", "sqlite:" + db, "--company", "01"};
        if (!page.isEmpty())
            args.insert(args.end(), {"--page", page.toStdString()});
        const std::string picture = dir->path() + "/ok-" + page.toStdString() + ".png";
        const Run r = client(args, picture);
        QVERIFY2(r.ms < 30000, qPrintable(QStringLiteral("%1 ms").arg(r.ms)));
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY(r.picture);
    }

    // --acao runs an entry of the Operação menu once the screen is open, and
    // the picture holds the window it opens; the entry's own questions and
    // notices are what the picture is for, an entry that cannot run is a
    // message, and one the menu does not have is an error.
    void actionPicturesWhatItOpens_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("history") << QStringList{"--page", "tshIRPJ", "--acao", "Histórico do registro"} << 0 << QString();
        QTest::newRow("ellipsis and accelerator optional") << QStringList{"--page", "tshIRPJ", "--acao", "&histórico do registro..."} << 0 << QString();
        QTest::newRow("disabled") << QStringList{"--acao", "Histórico do registro"} << 1
                                  << QStringLiteral("A opção Histórico do registro não está disponível agora.");
        QTest::newRow("unknown") << QStringList{"--page", "tshIRPJ", "--acao", "Nada"} << 2 << QStringLiteral("Opção desconhecida no menu Operação: Nada.");
        QTest::newRow("choice without action") << QStringList{"--escolha", "02"} << 2 << QStringLiteral("--escolha precisa de --acao e --screenshot.");
    }
    void actionPicturesWhatItOpens()
    {
        QFETCH(QStringList, extra);
        QFETCH(int, status);
        QFETCH(QString, message);
        std::vector<std::string> args{"--server", address, "--token-file", dir->path() + "/token", "--db", "sqlite:" + db, "--company", "01"};
        for (const QString& e : extra)
            args.push_back(e.toStdString());
        const std::string picture = dir->path() + "/" + QTest::currentDataTag() + ".png";
        const Run r = client(args, picture);
        QVERIFY2(r.status == status, qPrintable(r.err));
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        if (status == 2) {
            QVERIFY(!QFile::exists(QString::fromStdString(picture)));
            return;
        }
        QVERIFY(r.picture);
        if (status == 0) {
            // The dialog over the screen: not the picture of the same page alone.
            const Run plain = client({"--server", address, "--token-file", dir->path() + "/token", "--db", "sqlite:" + db, "--company", "01",
                                      "--page", extra.at(extra.indexOf(QStringLiteral("--page")) + 1).toStdString()},
                                     dir->path() + "/plain.png");
            QCOMPARE(plain.status, 0);
            const QImage withDialog(QString::fromStdString(picture));
            const QImage screenAlone(QString::fromStdString(dir->path() + "/plain.png"));
            QCOMPARE(withDialog.size(), screenAlone.size());
            QVERIFY(withDialog != screenAlone);
        }
    }

    // --escolha answers the copy's company search; its question is pictured
    // and answered No, so a second run asks the same: nothing was copied.
    void copyQuestionIsPicturedAndNothingCopied()
    {
        const std::vector<std::string> args{"--server", address, "--token-file", dir->path() + "/token", "--db", "sqlite:" + db,
                                            "--company", "03", "--page", "tshIRPJ", "--acao", "Copiar parâmetros de outra empresa…", "--escolha", "01"};
        for (int run = 0; run < 2; ++run) {
            const Run r = client(args, dir->path() + "/copy.png");
            QVERIFY2(r.status == 0, qPrintable(r.err));
            QVERIFY2(r.err.contains(QStringLiteral("Copiar os parâmetros da empresa 01 – Comercial Serra Azul de Alimentos Ltda para a empresa 03")),
                     qPrintable(r.err));
            QVERIFY2(r.err.contains(QStringLiteral("Adições IRPJ: 3 a copiar")), qPrintable(r.err));
            QVERIFY(r.picture);
        }
    }

    void unknownPageIsAnError()
    {
        const std::string picture = dir->path() + "/unknown.png";
        const Run r = client({"--server", address, "--token-file", dir->path() + "/token", "--db", "sqlite:" + db, "--company", "01", "--page", "tshNada"},
                             picture);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("Página desconhecida: tshNada.")), qPrintable(r.err));
        QVERIFY(!QFile::exists(QString::fromStdString(picture)));
    }
};

QTEST_GUILESS_MAIN(TestClient)
#include "tst_client.moc"

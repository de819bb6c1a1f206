// SPDX-License-Identifier: MIT
// An office sharing one PostgreSQL database: two server processes behind an
// HTTP load balancer (HAProxy, round-robin, keep-alive) and two screens of
// one client editing the same company at once. The first screen comes from
// the menu's entry, the second is created directly by the host's form
// creation, since the entry keeps one screen per process.
#include "entry/module.h"
#include "host/basescreen.h"
#include "host/dialogs.h"
#include "host/hostapplication.h"
#include "host/grid/dbgrid.h"
#include "host/query.h"
#include "host/services.h"
#include "screen/frmparamirpj.h"
#include "road.h"
#include "support/demorows.h"
#include "support/rawhttp.h"
#include "support/serverprocess.h"

#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QElapsedTimer>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>

using namespace erp;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::PgCluster;
using erp::testing::Road;
using erp::testing::typeKeys;
using erp::testing::ServerProcess;
using erp::testing::TempDir;
using B = erp::host::TfrmPadraoSimples;

namespace {

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// The shipped balancer configuration, run as is by HAProxy in the
// foreground. Only what its header says to adapt is changed: the token, the
// address the clients call, the servers' addresses, and the stats socket
// (in the test's folder, for reading the servers' states). Run by another
// user than root, the lines that need root (chroot, user, group) are left
// out as well.
class Balancer {
public:
    Balancer(const std::string& folder, const std::vector<int>& servers, const QString& token)
        : port(testing::freeTcpPort()), socket(QString::fromStdString(folder) + QStringLiteral("/admin.sock"))
    {
        QFile shipped(QStringLiteral(ERP_HAPROXY_CFG));
        if (!shipped.open(QIODevice::ReadOnly))
            return;
        QString cfg = QString::fromUtf8(shipped.readAll());
        cfg.replace(QStringLiteral("@ERP_TOKEN@"), token);
        cfg.replace(QStringLiteral("bind :8211"), QStringLiteral("bind 127.0.0.1:%1").arg(port));
        cfg.replace(QStringLiteral("stats socket /run/haproxy/admin.sock"), QStringLiteral("stats socket ") + socket);
        const char* shippedServers[] = {"server a 10.0.0.11:8211", "server b 10.0.0.12:8211"};
        for (std::size_t i = 0; i < servers.size() && i < 2; ++i)
            cfg.replace(QLatin1String(shippedServers[i]), QStringLiteral("server %1 127.0.0.1:%2").arg(QChar(u'a' + int(i))).arg(servers[i]));
        if (::geteuid() != 0)
            cfg.remove(QRegularExpression(QStringLiteral("\\n    (chroot|user|group) [^\\n]*")));
        const QString path = QString::fromStdString(folder) + QStringLiteral("/haproxy.cfg");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(cfg.toUtf8()) < 0)
            return;
        f.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(binary(), {QStringLiteral("-db"), QStringLiteral("-f"), path});
        if (!QTest::qWaitFor([this] { return accepts(port) || process.state() == QProcess::NotRunning; }, 10000))
            qWarning("HAProxy did not start listening");
    }
    ~Balancer()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }
    static QString binary()
    {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("haproxy"));
        return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("haproxy"), {QStringLiteral("/usr/sbin")}) : found;
    }
    bool running() { return process.state() == QProcess::Running && accepts(port); }
    // What the health checks made of a server ("UP", "DOWN", ...), from the
    // stats socket.
    QString state(const QString& server)
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray where = socket.toLocal8Bit();
        std::memcpy(a.sun_path, where.constData(), std::min<std::size_t>(where.size(), sizeof a.sun_path - 1));
        QByteArray answer;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::write(fd, "show stat\n", 10) == 10) {
            char chunk[4096];
            for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
                answer.append(chunk, n);
        }
        ::close(fd);
        for (const QString& line : QString::fromUtf8(answer).split(u'\n')) {
            const QStringList f = line.split(u',');
            if (f.size() > 17 && f[0] == QLatin1String("erp_servers") && f[1] == server)
                return f[17].section(u' ', 0, 0);
        }
        return {};
    }
    bool waitFor(const QString& server, const QString& wanted)
    {
        return QTest::qWaitFor([&] { return state(server) == wanted; }, 15000);
    }

    int port;
    QString socket;
    QProcess process;
};

// What each screen needs in the test: its grid and toolbar.
struct Screen {
    TfrmParamIRPJ* f;
    host::TDBGrid* grid() const { return f->dbgAdicIRPJ; }
    DataSet& adic() const { return f->data().cdsAdicIRPJ; }
    void confirm() const { f->button(B::Confirmar)->click(); }
    // A new addition typed in the grid: Ctrl+N, name, type, percentage.
    void type(const QString& name) const { erp::testing::typeAddition(grid(), name, QStringLiteral("a"), QStringLiteral("25")); }
};

} // namespace

class TestShared : public QObject {
    Q_OBJECT

    static constexpr const char* kToken = "token-do-escritorio";
    std::unique_ptr<PgCluster> cluster;
    std::unique_ptr<TempDir> dir;
    std::string url;
    std::string tokenFile;
    std::unique_ptr<ServerProcess> first, second;
    std::unique_ptr<Balancer> balancer;
    std::unique_ptr<host::HostApplication> hostApp;
    std::unique_ptr<QMdiArea> area;
    host::ScriptedDialogs dialogs;
    std::unique_ptr<host::DialogServiceScope> scope;

    QList<QStringList> rows(const QString& sql)
    {
        const QString name = QStringLiteral("e2e");
        QSqlDatabase c = QSqlDatabase::database(name);
        QSqlQuery q(c);
        if (!q.exec(sql))
            qWarning("query failed: %s", qPrintable(q.lastError().text()));
        return testing::rowTexts(q);
    }
    // A server on the shared database, with the office's token; port 0: a free one.
    std::unique_ptr<ServerProcess> serve(int port, bool demo = false)
    {
        std::vector<std::string> args{"--db", url, "--listen", "127.0.0.1:" + std::to_string(port), "--token-file", tokenFile};
        if (demo)
            args.push_back("--demo");
        return std::make_unique<ServerProcess>(ERP_SERVER_BINARY, args);
    }
    QStringList served(const ServerProcess& s)
    {
        QStringList out;
        for (const QString& line : QString::fromStdString(s.errorLog()).split(u'\n'))
            if (line.startsWith(QLatin1String("PAR47300.rdmParamIRPJ ")))
                out << line.section(u' ', 1, 1);
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!PgCluster::binDir())
            QSKIP("PostgreSQL is not installed (initdb/pg_ctl not found under /usr/lib/postgresql)");
        if (Balancer::binary().isEmpty())
            QSKIP("HAProxy is not installed (scripts/setup.sh installs it)");
        cluster = std::make_unique<PgCluster>(true); // durable: its stop is a crash, and what was accepted must survive it
        url = cluster->createDatabase("escritorio");
        dir = std::make_unique<TempDir>();
        tokenFile = testing::writeTokenFile(dir->path() + "/token", kToken);
        first = serve(0, true);
        second = serve(0);
        balancer = std::make_unique<Balancer>(dir->path(), std::vector<int>{first->port(), second->port()}, QString::fromLatin1(kToken));
        QVERIFY2(balancer->running(), balancer->process.readAll().constData());
        // The health checks, which carry the token, find both servers.
        QVERIFY2(balancer->waitFor(QStringLiteral("a"), QStringLiteral("UP")) && balancer->waitFor(QStringLiteral("b"), QStringLiteral("UP")),
                 balancer->process.readAll().constData());

        const QUrl u(QString::fromStdString(url));
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("e2e"));
        c.setHostName(u.host());
        c.setPort(u.port());
        c.setUserName(u.userName());
        c.setDatabaseName(u.path().mid(1));
        QVERIFY2(c.open(), qPrintable(c.lastError().text()));

        scope = std::make_unique<host::DialogServiceScope>(dialogs);
        hostApp = std::make_unique<host::HostApplication>(host::HostSettings{.company = QStringLiteral("01"),
                                                                              .serverHost = QStringLiteral("127.0.0.1"),
                                                                              .serverPort = balancer->port,
                                                                              .token = QString::fromLatin1(kToken)});
        host::openSharedConnection(QString::fromStdString(url));
        area = std::make_unique<QMdiArea>();
        area->resize(1000, 700);
        hostApp->setMdiArea(area.get());
        area->show();
        QVERIFY(QTest::qWaitForWindowActive(area.get()));
    }
    void cleanupTestCase()
    {
        if (boIdCriado)
            frmParamIRPJ->close();
        area.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        hostApp.reset();
        host::closeSharedConnection();
        QSqlDatabase::removeDatabase(QStringLiteral("e2e"));
        scope.reset();
        balancer.reset();
        second.reset();
        first.reset();
        cluster.reset();
    }

    void twoScreensOnTwoServers()
    {
        IniProc();
        QVERIFY(frmParamIRPJ);
        const Screen a{frmParamIRPJ};
        a.grid()->setFocus(); // leaving the company bar loads the company
        TfrmParamIRPJ* other = nullptr;
        host::HostApplication::CreateForm(other);
        host::HostApplication::showForm(other);
        const Screen b{other};
        b.grid()->setFocus();
        QVERIFY(a.adic().recordCount() > 0);
        QCOMPARE(b.adic().recordCount(), a.adic().recordCount());
        QCOMPARE(dialogs.errors, QStringList{});

        // The road of one edit on each grid of the first screen.
        area->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(a.f->parentWidget()));
        const Road road{a.f, dialogs, [this](const QString& sql) { return rows(sql); }};
        road.walk();
        if (QTest::currentTestFailed())
            return;

        // Both insert at once: each row gets its own number, both are kept.
        a.type(QStringLiteral("Da tela A"));
        b.type(QStringLiteral("Da tela B"));
        const double seqA = a.adic().fieldByName(QStringLiteral("NRSEQPARAMAPU")).asFloat();
        const double seqB = b.adic().fieldByName(QStringLiteral("NRSEQPARAMAPU")).asFloat();
        QVERIFY(seqA > 0 && seqB > 0 && seqA != seqB);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE NMPARAMAPU LIKE 'Da tela %'")), (QList<QStringList>{{"0"}}));
        a.confirm();
        b.confirm();
        QCOMPARE(dialogs.errors, QStringList{});
        QCOMPARE(rows(QStringLiteral("SELECT NRSEQPARAMAPU, NMPARAMAPU, IDPARAMAPU, VRPORCENTAGEM FROM PARAMAPUIRPJ "
                                     "WHERE NMPARAMAPU LIKE 'Da tela %' ORDER BY NMPARAMAPU")),
                 (QList<QStringList>{{QString::number(seqA), "Da tela A", "A", "25"}, {QString::number(seqB), "Da tela B", "A", "25"}}));

        // Both change the same row: the first save wins, the second is a
        // conflict, reported and undone; nothing of the first is lost.
        QVERIFY(a.adic().locate(QStringLiteral("NMPARAMAPU"), {testing::demo::kBrindes}));
        const QString seq = a.adic().fieldByName(QStringLiteral("NRSEQPARAMAPU")).asString();
        QVERIFY(b.adic().locate(QStringLiteral("NRSEQPARAMAPU"), {seq.toDouble()}));
        const QString before = a.adic().fieldByName(QStringLiteral("NMPARAMAPU")).asString();
        for (const Screen* s : {&a, &b}) {
            s->grid()->setFocus();
            s->grid()->setSelectedField(&s->adic().fieldByName(QStringLiteral("NMPARAMAPU")));
            typeKeys(s == &a ? QStringLiteral("Nome da tela A") : QStringLiteral("Nome da tela B"));
        }
        a.confirm();
        QCOMPARE(dialogs.errors, QStringList{});
        b.confirm();
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY2(dialogs.errors[0].contains(QStringLiteral("outro usuário")), qPrintable(dialogs.errors[0]));
        QCOMPARE(b.adic().state(), DataSet::State::Browse);
        QCOMPARE(b.adic().fieldByName(QStringLiteral("NMPARAMAPU")).asString(), before);
        QCOMPARE(rows(QStringLiteral("SELECT NMPARAMAPU FROM PARAMAPUIRPJ WHERE NRSEQPARAMAPU = ") + seq), (QList<QStringList>{{"Nome da tela A"}}));

        // Numbers stay unique across the two processes.
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) - COUNT(DISTINCT NRSEQPARAMAPU) FROM PARAMAPUIRPJ")), (QList<QStringList>{{"0"}}));
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE NRSEQPARAMAPU >= (SELECT last_value FROM SQPARAMIRPJ) + 1")),
                 (QList<QStringList>{{"0"}}));
        // The balancer spread the calls over both servers.
        QVERIFY2(!served(*first).isEmpty() && !served(*second).isEmpty(),
                 qPrintable(served(*first).join(u' ') + QStringLiteral(" | ") + served(*second).join(u' ')));
        other->close();
    }

    // PostgreSQL stops under a save, and the servers are restarted one after
    // the other between two saves: what was accepted stays, what was refused
    // never appears.
    void faultsBehindTheBalancer()
    {
        IniProc();
        QVERIFY(frmParamIRPJ);
        const Screen a{frmParamIRPJ};
        a.grid()->setFocus();
        dialogs.errors.clear();
        QVERIFY(a.adic().recordCount() > 0);
        const int count = a.adic().recordCount();
        const QString named = QStringLiteral("SELECT NMPARAMAPU FROM PARAMAPUIRPJ WHERE NMPARAMAPU IN ('Sem banco', 'Com banco', 'Primeiro', 'Durante', 'Segundo') "
                                             "ORDER BY NRSEQPARAMAPU");

        a.type(QStringLiteral("Sem banco"));
        cluster->stop();
        a.confirm();
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY2(dialogs.errors[0].contains(QStringLiteral("banco de dados")) && !dialogs.errors[0].contains(QLatin1String("postgresql")),
                 qPrintable(dialogs.errors[0]));
        QCOMPARE(a.adic().state(), DataSet::State::Browse);
        QCOMPARE(a.adic().recordCount(), count);
        cluster->start();
        QVERIFY(QSqlDatabase::database(QStringLiteral("e2e")).open());
        QCOMPARE(rows(named), QList<QStringList>{});
        // Without their database the servers failed their checks; they are
        // back once the checks pass again.
        QVERIFY(balancer->waitFor(QStringLiteral("a"), QStringLiteral("UP")));
        QVERIFY(balancer->waitFor(QStringLiteral("b"), QStringLiteral("UP")));

        dialogs.errors.clear();
        a.type(QStringLiteral("Com banco"));
        a.confirm();
        QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(u'|')));

        // A rolling restart: each server stopped and started on its port,
        // saves going on meanwhile through the one that is up.
        a.type(QStringLiteral("Primeiro"));
        a.confirm();
        const int firstPort = first->port();
        QCOMPARE(first->stop(), 0);
        a.type(QStringLiteral("Durante"));
        a.confirm();
        first = serve(firstPort);
        QVERIFY(balancer->waitFor(QStringLiteral("a"), QStringLiteral("UP")));
        const int secondPort = second->port();
        QCOMPARE(second->stop(), 0);
        second = serve(secondPort);
        a.type(QStringLiteral("Segundo"));
        a.confirm();
        QCOMPARE(dialogs.errors, QStringList{});
        QCOMPARE(rows(named), (QList<QStringList>{{"Com banco"}, {"Primeiro"}, {"Durante"}, {"Segundo"}}));
        QCOMPARE(a.adic().recordCount(), count + 4);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) - COUNT(DISTINCT NRSEQPARAMAPU) FROM PARAMAPUIRPJ")), (QList<QStringList>{{"0"}}));
    }

    // A server that stops answering (frozen, so it still accepts
    // connections and a call sent to it would hang) fails its checks and
    // gets no call while it is out, neither the screen's nor those of new
    // connections, which the balancer spreads one by one; once it answers
    // again it is back in.
    void aStoppedServerGetsNoCalls()
    {
        IniProc();
        QVERIFY(frmParamIRPJ);
        const Screen a{frmParamIRPJ};
        a.grid()->setFocus();
        dialogs.errors.clear();
        const std::string read = testing::rpcRequest(R"({"jsonrpc":"2.0","id":1,"method":"GetParamIRPJ","params":["01"]})",
                                                     std::string("Authorization: Bearer ") + kToken + "\r\n");
        auto callsAnswered = [&] {
            int ok = 0;
            for (int i = 0; i < 6; ++i)
                ok += testing::rawExchange(balancer->port, read).status == 200;
            return ok;
        };
        QVERIFY(balancer->waitFor(QStringLiteral("a"), QStringLiteral("UP")));
        QVERIFY(balancer->waitFor(QStringLiteral("b"), QStringLiteral("UP")));
        first->signal(SIGSTOP);
        const bool down = balancer->waitFor(QStringLiteral("a"), QStringLiteral("DOWN"));
        const qsizetype before = served(*first).size();
        QElapsedTimer took;
        took.start();
        int answered = 0;
        if (down) {
            answered = callsAnswered();
            for (int i = 0; i < 2; ++i) {
                a.type(QStringLiteral("Fora %1").arg(i));
                a.confirm();
            }
        }
        const qint64 elapsed = took.elapsed();
        first->signal(SIGCONT);
        QVERIFY(down);
        QCOMPARE(answered, 6);
        QCOMPARE(dialogs.errors, QStringList{});
        // None waited on the frozen server (a call sent there would have
        // lasted until the balancer's server time-out, 60 s).
        QVERIFY2(elapsed < 30000, qPrintable(QString::number(elapsed)));
        QVERIFY(balancer->waitFor(QStringLiteral("a"), QStringLiteral("UP")));
        QTest::qWait(200);
        QCOMPARE(served(*first).size(), before);
        // Back in the rotation: new connections reach it again.
        QCOMPARE(callsAnswered(), 6);
        QVERIFY(QTest::qWaitFor([&] { return served(*first).size() > before; }, 5000));
    }
};

QTEST_MAIN(TestShared)
#include "tst_e2e_shared.moc"

// SPDX-License-Identifier: MIT
// The screen as the accountant waits for it: opening it (IniProc, set-up
// calls, first paint) and loading a company of many additions (leaving the
// company bar), headless, against the real server on a temporary SQLite
// database; and the client process's resident memory.
//
// bench_screen [--additions N] [--repetitions R] [--markdown]
// bench_screen --fill HOST PORT COMPANY N   (internal: fills over HTTP)
#include "support/serverprocess.h"

#include "contract/paramirpj.h"
#include "entry/module.h"
#include "host/basescreen.h"
#include "host/dialogs.h"
#include "host/grid/dbgrid.h"
#include "host/hostapplication.h"
#include "host/maskedit.h"
#include "host/query.h"
#include "host/services.h"
#include "screen/frmparamirpj.h"
#include "wire/packet.h"

#include <httplib.h>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMdiArea>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace erp;
using Clock = std::chrono::steady_clock;

namespace {

const QString kCompany = QStringLiteral("02");

double elapsedMs(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// A line of /proc/self/status in MiB (VmRSS: now, VmHWM: the peak so far).
double statusMiB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atof(line.c_str() + prefix.size()) / 1024.0; // kB
    return 0;
}

// ---- the filling child: its own process, so the client's memory figures
// carry nothing of it.

QJsonObject call(httplib::Client& cli, const QString& method, const QJsonArray& params = {})
{
    const QJsonObject req{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
    auto res = cli.Post("/rpc/PAR47300.rdmParamIRPJ", QJsonDocument(req).toJson(QJsonDocument::Compact).toStdString(), "application/json");
    if (!res)
        throw std::runtime_error("transport failure in " + method.toStdString() + ": " + httplib::to_string(res.error()));
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
    if (!answer.contains("result"))
        throw std::runtime_error(method.toStdString() + " refused: " + res->body.substr(0, 500));
    return answer;
}

// Numbers come from the server's series, rows through its save method, in
// batches that stay well under the server's 1 MiB body limit.
int fill(const std::string& host, int port, const QString& company, int count)
{
    httplib::Client cli(host, port);
    cli.set_keep_alive(true);
    cli.set_tcp_nodelay(true);
    cli.set_read_timeout(120);
    const char* kinds[] = {"A", "E", "C"};
    constexpr int kBatch = 1000;
    for (int first = 0; first < count; first += kBatch) {
        ChangePacket p;
        p.fields = contract::paramApuLayout();
        for (int i = first; i < std::min(count, first + kBatch); ++i) {
            const double seq = call(cli, QStringLiteral("prxSeqParamIRPJ")).value("result").toDouble();
            p.changes.push_back(Change{ChangeStatus::Inserted,
                                       {},
                                       {seq, company, QStringLiteral("Adição %1 — despesa não dedutível").arg(i + 1, 5, 10, QLatin1Char('0')),
                                        QString::fromLatin1(kinds[i % 3]), QStringLiteral("I"), 0.5 + (i % 200) / 2.0}});
        }
        call(cli, QStringLiteral("SetParamIRPJ"), {packet::toJson(p)});
    }
    return 0;
}

// ---- the client

struct Figures {
    std::vector<double> open, load;
    int rows = 0;
    double rssBefore = 0, rssLoaded = 0, peak = 0;
};

// Counts the paint events received by `inside` or its descendants (any
// screen of the package when null), so "up to the paint" is checked, not assumed.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(const QWidget* inside = nullptr) : inside_(inside) { qApp->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && watched->isWidgetType())
            for (const QObject* o = watched; o; o = o->parent())
                if (inside_ ? o == inside_ : o->inherits("erp::par47300::TfrmParamIRPJ")) {
                    ++count;
                    break;
                }
        return QObject::eventFilter(watched, e);
    }

private:
    const QWidget* inside_;
};

void pump()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

Figures measure(const std::string& self, int additions, int repetitions)
{
    testing::TempDir dir;
    const std::string db = dir.path() + "/erp.db";
    testing::ServerProcess server(ERP_SERVER_BINARY, {"--db", "sqlite:" + db, "--listen", "127.0.0.1:0", "--demo"});
    const testing::RunResult filled =
        testing::runProgram({self, "--fill", server.host(), std::to_string(server.port()), kCompany.toStdString(), std::to_string(additions)}, 600);
    if (filled.exitCode != 0)
        throw std::runtime_error("filling the company failed: " + filled.err);

    host::HostApplication hostApp({.company = kCompany, .serverHost = QString::fromStdString(server.host()), .serverPort = server.port()});
    host::openSharedConnection(QStringLiteral("sqlite:") + QString::fromStdString(db));
    host::ScriptedDialogs dialogs;
    host::DialogServiceScope scope(dialogs);
    QMdiArea area;
    area.resize(1000, 700);
    hostApp.setMdiArea(&area);
    area.show();
    if (!QTest::qWaitForWindowActive(&area))
        throw std::runtime_error("the window area never showed");
    pump();

    Figures f;
    f.rssBefore = statusMiB("VmRSS");
    for (int r = 0; r < repetitions; ++r) {
        // Open: the menu entry's call, up to the first paint of the screen.
        PaintCounter screenPaints;
        auto t = Clock::now();
        IniProc();
        pump();
        f.open.push_back(elapsedMs(t));
        par47300::TfrmParamIRPJ* form = frmParamIRPJ;
        if (!form || !dialogs.errors.isEmpty() || form->medCdEmpresa->storedText() != kCompany || screenPaints.count == 0)
            throw std::runtime_error("the screen did not open on company " + kCompany.toStdString() + ": " +
                                     dialogs.errors.join(QStringLiteral("; ")).toStdString());
        form->medCdEmpresa->setFocus();
        pump();

        // Load: Tab out of the company bar, up to the grid painted with the rows.
        PaintCounter gridPaints(form->dbgAdicIRPJ);
        t = Clock::now();
        QTest::keyClick(form->medCdEmpresa, Qt::Key_Tab);
        pump();
        f.load.push_back(elapsedMs(t));
        f.rows = form->data().cdsAdicIRPJ.recordCount();
        if (f.rows != additions || form->dbgAdicIRPJ->model()->rowCount() != f.rows || !dialogs.errors.isEmpty() || gridPaints.count == 0)
            throw std::runtime_error("the company loaded " + std::to_string(f.rows) + " rows (grid painted " + std::to_string(gridPaints.count) +
                                     " times), expected " + std::to_string(additions) + " " +
                                     dialogs.errors.join(QStringLiteral("; ")).toStdString());
        f.rssLoaded = std::max(f.rssLoaded, statusMiB("VmRSS"));

        form->close();
        pump();
        if (boIdCriado)
            throw std::runtime_error("the screen did not close");
    }
    f.peak = statusMiB("VmHWM");
    hostApp.setMdiArea(nullptr);
    host::closeSharedConnection();
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && !std::strcmp(argv[1], "--fill")) {
        try {
            return fill(argv[2], std::atoi(argv[3]), QString::fromLatin1(argv[4]), std::atoi(argv[5]));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    int additions = 10000, repetitions = 7;
    bool markdown = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--additions") && i + 1 < argc)
            additions = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--repetitions") && i + 1 < argc)
            repetitions = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--markdown"))
            markdown = true;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    try {
        const Figures f = measure(std::filesystem::read_symlink("/proc/self/exe").string(), additions, repetitions);
        const double firstOpen = f.open.front();
        if (markdown) {
            std::printf("| screen | open the screen (IniProc to first paint: company, reference tables) | %.1f ms median of %d (first %.1f ms) |\n",
                        median(f.open), repetitions, firstOpen);
            std::printf("| screen | load a company of %d additions (leave the company bar to grid painted) | %.1f ms median of %d |\n", f.rows,
                        median(f.load), repetitions);
            std::printf("| screen | client memory: resident before the first open | %.1f MiB |\n", f.rssBefore);
            std::printf("| screen | client memory: resident with the company loaded | %.1f MiB |\n", f.rssLoaded);
            std::printf("| screen | client memory: peak resident (VmHWM of the client process) | %.1f MiB |\n", f.peak);
        } else {
            std::printf("open the screen:          median %8.1f ms over %d (first %.1f ms)\n", median(f.open), repetitions, firstOpen);
            std::printf("load %5d additions:      median %8.1f ms over %d\n", f.rows, median(f.load), repetitions);
            std::printf("resident before open:     %8.1f MiB\n", f.rssBefore);
            std::printf("resident, company loaded: %8.1f MiB\n", f.rssLoaded);
            std::printf("peak resident (VmHWM):    %8.1f MiB\n", f.peak);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_screen: %s\n", e.what());
        return 1;
    }
    return 0;
}

// SPDX-License-Identifier: MIT
// From the built packages on a clean root: CPack makes the .deb files, dpkg -x
// unpacks them into a temporary folder (no maintainer scripts run there, so
// the test does what erp-server's postinst does: the data folder and the
// token), and the installed programs run from it as the service and an
// accountant would run them.
#include "backupround.h"
#include "support/serverprocess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

using namespace erp::testing;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// One unpacked root for every test: making the packages takes a while.
class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir;
        root = dir->path() + "/raiz";
        const std::string debs = dir->path() + "/pacotes";
        const RunResult made = runProgram({ERP_CPACK, "--config", ERP_CPACK_CONFIG, "-G", "DEB", "-B", debs}, 240);
        ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
        for (const char* name : {"erp-server", "erp-client"}) {
            std::string deb;
            for (const auto& e : std::filesystem::directory_iterator(debs))
                if (e.path().filename().string().rfind(std::string(name) + "_", 0) == 0 && e.path().extension() == ".deb")
                    deb = e.path().string();
            ASSERT_FALSE(deb.empty()) << "no package " << name << " in " << debs;
            const RunResult unpacked = runProgram({"/usr/bin/dpkg", "-x", deb, root}, 60);
            ASSERT_EQ(unpacked.exitCode, 0) << unpacked.err;
        }
        // What the server package's postinst makes.
        std::filesystem::create_directories(root + "/var/lib/erp");
        writeTokenFile(root + "/etc/erp/token", "segredo-do-escritorio");
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }

    // The unit's command line: ExecStart with $ERP_SERVER_OPTIONS from the
    // shipped /etc/erp/erp-server.conf, the installed paths under the root and
    // a free port in place of 8211.
    static std::vector<std::string> unitCommandLine(int port)
    {
        const std::string unit = readFile(root + "/usr/lib/systemd/system/erp-server.service");
        std::smatch m;
        EXPECT_TRUE(std::regex_search(unit, m, std::regex("\nExecStart=(\\S+) \\$ERP_SERVER_OPTIONS\n"))) << unit;
        EXPECT_TRUE(contains(unit, "\nUser=erp\n") && contains(unit, "\nEnvironmentFile=/etc/erp/erp-server.conf\n")) << unit;
        const std::string conf = readFile(root + "/etc/erp/erp-server.conf");
        std::smatch o;
        EXPECT_TRUE(std::regex_search(conf, o, std::regex("\nERP_SERVER_OPTIONS=\"([^\"]*)\"\n"))) << conf;
        std::vector<std::string> argv{root + m[1].str()};
        std::istringstream words(o[1].str());
        for (std::string w; words >> w;) {
            if (w.rfind("/etc/erp/", 0) == 0)
                w = root + w;
            const auto p = w.find(":8211");
            if (p != std::string::npos)
                w = w.substr(0, p) + ":" + std::to_string(port);
            argv.push_back(w);
        }
        return argv;
    }

    static TempDir* dir;
    static std::string root;
};

TempDir* Installed::dir = nullptr;
std::string Installed::root;

} // namespace

// The service's command line on the installed server, its database under
// the root's /var/lib/erp, and the installed client on company 01 through it.
TEST_F(Installed, TheServiceServesAndTheClientOpensCompany01)
{
    const int port = freeTcpPort();
    std::vector<std::string> argv = unitCommandLine(port);
    ASSERT_FALSE(HasFailure());
    const std::string server = argv.front();
    argv.erase(argv.begin());
    argv.push_back("--demo"); // rows for the client to show
    ServerProcess s(server, argv);
    EXPECT_EQ(s.port(), port);
    EXPECT_TRUE(std::filesystem::exists(root + "/var/lib/erp/erp.db"));

    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("ERP_PACKAGE_DIR");
    const std::string client = root + "/usr/bin/erp-client";
    const RunResult help = runProgram({client, "--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_TRUE(contains(help.out, "uso: erp-client")) << help.out;
    // The screen package is found beside the installed program.
    EXPECT_TRUE(contains(help.out, "(padrão: " + root + "/usr/lib/erp-client)")) << help.out;

    const std::string shot = dir->path() + "/tela.png";
    const std::vector<std::string> open{client,         "--server",  "127.0.0.1:" + std::to_string(port), "--token-file", root + "/etc/erp/token",
                                        "--db",         "sqlite:" + root + "/var/lib/erp/erp.db",           "--company",    "01",
                                        "--open",       "PAR47300",  "--page",                           "tshIRPJ",
                                        "--screenshot", shot};
    const RunResult opened = runProgram(open, 60);
    EXPECT_EQ(opened.exitCode, 0) << opened.err;
    EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0, 10000u);
    // The company's rows were asked for (the server's log line may lag a little).
    for (int i = 0; i < 50 && !contains(s.errorLog(), "PAR47300.rdmParamIRPJ GetParamIRPJ"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(contains(s.errorLog(), "PAR47300.rdmParamIRPJ GetParamIRPJ")) << s.errorLog();

    // ERP_PACKAGE_DIR overrides the folder of the screen packages.
    ::setenv("ERP_PACKAGE_DIR", (dir->path() + "/nenhuma").c_str(), 1);
    const RunResult elsewhere = runProgram(open, 60);
    ::unsetenv("ERP_PACKAGE_DIR");
    EXPECT_NE(elsewhere.exitCode, 0);
    EXPECT_TRUE(contains(elsewhere.err, "Não foi possível carregar o pacote de tela " + dir->path() + "/nenhuma/")) << elsewhere.err;
}

TEST_F(Installed, BackupAndRestoreUnderLoad)
{
    TempDir data;
    backupUnderLoadAndRestore(root + "/usr/bin/erp-server", data.path());
}

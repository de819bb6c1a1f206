// SPDX-License-Identifier: MIT
#include "options.h"

#include "host/services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstring>

namespace erp::client {

namespace {

struct OptionSpec {
    const char* name;
    const char* value; // what the value is, for the help
    const char* help;
};

// Every option once: the parser and the help read this table.
constexpr OptionSpec kOptions[] = {
    {"company", "CÓDIGO", "empresa em uso (código de até 2 dígitos)"},
    {"server", "HOST:PORTA", "servidor de aplicação (padrão: 127.0.0.1:8211)"},
    {"token-file", "ARQUIVO", "arquivo com o token do servidor de aplicação"},
    {"db", "URL",
     "banco compartilhado, só para leitura: sqlite:ARQUIVO ou\n"
     "postgresql://USUÁRIO@HOST:PORTA/BANCO?passfile=ARQUIVO\n"
     "(a senha num arquivo de senhas, ou em ~/.pgpass)"},
    {"open", "TELA", "tela a abrir ao iniciar (PAR47300)"},
    {"page", "NOME", "com --open: página a mostrar (por exemplo tshCSLL)"},
    {"acao", "TEXTO", "com --open: executa esta opção do menu Operação da tela\n(por exemplo \"Verificar parâmetros\")"},
    {"escolha", "TEXTO", "com --acao e --screenshot: na lista que a opção oferecer,\nescolhe a linha com este texto"},
    {"screenshot", "ARQUIVO", "grava a janela em PNG quando a tela abre, e encerra"},
};

const OptionSpec* findOption(const QString& name)
{
    for (const OptionSpec& o : kOptions)
        if (name == QLatin1String(o.name))
            return &o;
    return nullptr;
}

} // namespace

bool asksForHelp(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

QString helpText()
{
    QString t = QStringLiteral("uso: erp-client [OPÇÕES]\n\n"
                               "Cliente do sistema de gestão: parametrização da apuração do IRPJ e CSLL.\n\n"
                               "Opções:\n");
    for (const OptionSpec& o : kOptions) {
        const QString head = QStringLiteral("  --%1 %2").arg(QLatin1String(o.name), QString::fromUtf8(o.value));
        const QStringList lines = QString::fromUtf8(o.help).split(u'\n');
        t += head.size() < 26 ? head.leftJustified(26) + lines.first() + u'\n' : head + u'\n' + QString(26, u' ') + lines.first() + u'\n';
        for (qsizetype i = 1; i < lines.size(); ++i)
            t += QString(26, u' ') + lines[i] + u'\n';
    }
    t += QStringLiteral("  -h, --help              mostra esta ajuda\n\n"
                        "Variável de ambiente:\n"
                        "  ERP_PACKAGE_DIR         pasta dos pacotes de tela (padrão: %1)\n\n"
                        "Saída: 0 quando tudo deu certo; 1 quando --screenshot mostrou uma mensagem\n"
                        "(as perguntas e os avisos da opção de --acao são a imagem pedida: só um erro\n"
                        "conta); 2 para uma opção inválida.\n")
             .arg(packageDir());
    return t;
}

QString packageDir()
{
    const QString chosen = qEnvironmentVariable("ERP_PACKAGE_DIR");
    if (!chosen.isEmpty())
        return chosen;
    const QFileInfo program(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget());
    if (QFileInfo(program.absolutePath()) == QFileInfo(QStringLiteral(ERP_PROGRAM_BUILD_DIR)))
        return QStringLiteral(ERP_BUILD_PACKAGE_DIR);
    return QDir::cleanPath(program.absolutePath() + QStringLiteral("/" ERP_INSTALLED_PACKAGE_DIR));
}

std::optional<Options> parseOptions(const QStringList& arguments, QString& error)
{
    QHash<QString, QString> given;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments[i];
        if (!arg.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("Argumento inesperado: %1 (veja erp-client --help).").arg(arg);
            return std::nullopt;
        }
        const qsizetype equals = arg.indexOf(u'=');
        const QString name = arg.mid(2, equals < 0 ? -1 : equals - 2);
        if (!findOption(name)) {
            error = QStringLiteral("Opção desconhecida: --%1 (veja erp-client --help).").arg(name);
            return std::nullopt;
        }
        if (equals >= 0) {
            given.insert(name, arg.mid(equals + 1));
        } else if (i + 1 < arguments.size()) {
            given.insert(name, arguments[++i]);
        } else {
            error = QStringLiteral("A opção --%1 precisa de um valor.").arg(name);
            return std::nullopt;
        }
    }

    Options o;
    if (given.contains(QStringLiteral("company"))) {
        const QString c = given.value(QStringLiteral("company")).trimmed();
        if (!QRegularExpression(QStringLiteral("^[0-9]{1,2}$")).match(c).hasMatch()) {
            error = QStringLiteral("Empresa inválida: '%1' (use um código de até 2 dígitos).").arg(c);
            return std::nullopt;
        }
        o.settings.company = host::Ajusta(c, 2);
    }
    const QString address = given.value(QStringLiteral("server"), QStringLiteral("127.0.0.1:8211"));
    const qsizetype colon = address.lastIndexOf(u':');
    bool portOk = false;
    const int port = colon > 0 ? address.mid(colon + 1).toInt(&portOk) : 0;
    if (colon <= 0 || !portOk || port < 1 || port > 65535) {
        error = QStringLiteral("Servidor inválido: '%1' (use HOST:PORTA, com a porta entre 1 e 65535).").arg(address);
        return std::nullopt;
    }
    o.settings.serverHost = address.left(colon);
    o.settings.serverPort = port;
    if (given.contains(QStringLiteral("token-file"))) {
        QFile f(given.value(QStringLiteral("token-file")));
        if (!f.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Não foi possível ler o arquivo de token %1.").arg(f.fileName());
            return std::nullopt;
        }
        o.settings.token = QString::fromUtf8(f.readAll()).trimmed();
        if (o.settings.token.isEmpty()) {
            error = QStringLiteral("O arquivo de token %1 está vazio.").arg(f.fileName());
            return std::nullopt;
        }
    }
    if (given.contains(QStringLiteral("db"))) {
        const QString url = given.value(QStringLiteral("db"));
        if (!url.startsWith(QLatin1String("sqlite:")) && !url.startsWith(QLatin1String("postgresql://"))
            && !url.startsWith(QLatin1String("postgres://"))) {
            error = QStringLiteral("Banco de dados inválido: '%1' (use sqlite:ARQUIVO ou postgresql://...).").arg(url);
            return std::nullopt;
        }
        o.settings.databaseUrl = url;
    }
    o.open = given.value(QStringLiteral("open")).trimmed();
    if (!o.open.isEmpty() && o.open.compare(QLatin1String("PAR47300"), Qt::CaseInsensitive) != 0) {
        error = QStringLiteral("Tela desconhecida: %1.").arg(o.open);
        return std::nullopt;
    }
    o.page = given.value(QStringLiteral("page")).trimmed();
    if (!o.page.isEmpty() && o.open.isEmpty()) {
        error = QStringLiteral("--page precisa de --open.");
        return std::nullopt;
    }
    o.action = given.value(QStringLiteral("acao")).trimmed();
    if (!o.action.isEmpty() && o.open.isEmpty()) {
        error = QStringLiteral("--acao precisa de --open.");
        return std::nullopt;
    }
    o.screenshot = given.value(QStringLiteral("screenshot"));
    o.choice = given.value(QStringLiteral("escolha")).trimmed();
    if (!o.choice.isEmpty() && (o.action.isEmpty() || o.screenshot.isEmpty())) {
        error = QStringLiteral("--escolha precisa de --acao e --screenshot.");
        return std::nullopt;
    }
    return o;
}

} // namespace erp::client

// SPDX-License-Identifier: MIT
#include "options.h"

#include "host/services.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

namespace erp::client {

std::optional<Options> parseOptions(const QStringList& arguments, QString& error)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Cliente do sistema de gestão: parametrização da apuração do IRPJ e CSLL."));
    p.addHelpOption();
    const QCommandLineOption company(QStringLiteral("company"), QStringLiteral("Empresa em uso (código de até 2 dígitos)."), QStringLiteral("CODE"));
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("Servidor de aplicação (HOST:PORTA)."), QStringLiteral("HOST:PORT"),
                                    QStringLiteral("127.0.0.1:8211"));
    const QCommandLineOption tokenFile(QStringLiteral("token-file"), QStringLiteral("Arquivo com o token do servidor."), QStringLiteral("FILE"));
    const QCommandLineOption db(QStringLiteral("db"), QStringLiteral("Banco de dados compartilhado, somente leitura (sqlite:ARQUIVO ou postgresql://...)."),
                                QStringLiteral("URL"));
    const QCommandLineOption open(QStringLiteral("open"), QStringLiteral("Tela a abrir ao iniciar (por exemplo PAR47300)."), QStringLiteral("CODE"));
    const QCommandLineOption page(QStringLiteral("page"), QStringLiteral("Página da tela a mostrar ao abrir (por exemplo tshCSLL)."), QStringLiteral("NAME"));
    const QCommandLineOption shot(QStringLiteral("screenshot"), QStringLiteral("Grava a janela principal em PNG e encerra."), QStringLiteral("FILE"));
    p.addOptions({company, server, tokenFile, db, open, page, shot});
    if (!p.parse(arguments)) {
        error = p.errorText();
        return std::nullopt;
    }
    if (p.isSet(QStringLiteral("help"))) {
        error = p.helpText();
        return std::nullopt;
    }

    Options o;
    if (p.isSet(company)) {
        const QString c = p.value(company).trimmed();
        if (!QRegularExpression(QStringLiteral("^[0-9]{1,2}$")).match(c).hasMatch()) {
            error = QStringLiteral("Empresa inválida: '%1' (use um código de até 2 dígitos).").arg(c);
            return std::nullopt;
        }
        o.settings.company = host::Ajusta(c, 2);
    }
    const QString address = p.value(server);
    const qsizetype colon = address.lastIndexOf(u':');
    bool portOk = false;
    const int port = colon > 0 ? address.mid(colon + 1).toInt(&portOk) : 0;
    if (colon <= 0 || !portOk || port < 1 || port > 65535) {
        error = QStringLiteral("Servidor inválido: '%1' (use HOST:PORTA, com a porta entre 1 e 65535).").arg(address);
        return std::nullopt;
    }
    o.settings.serverHost = address.left(colon);
    o.settings.serverPort = port;
    if (p.isSet(tokenFile)) {
        QFile f(p.value(tokenFile));
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
    if (p.isSet(db)) {
        const QString url = p.value(db);
        if (!url.startsWith(QLatin1String("sqlite:")) && !url.startsWith(QLatin1String("postgresql://"))
            && !url.startsWith(QLatin1String("postgres://"))) {
            error = QStringLiteral("Banco de dados inválido: '%1' (use sqlite:ARQUIVO ou postgresql://...).").arg(url);
            return std::nullopt;
        }
        o.settings.databaseUrl = url;
    }
    o.open = p.value(open).trimmed();
    if (!o.open.isEmpty() && o.open.compare(QLatin1String("PAR47300"), Qt::CaseInsensitive) != 0) {
        error = QStringLiteral("Tela desconhecida: %1.").arg(o.open);
        return std::nullopt;
    }
    o.page = p.value(page).trimmed();
    if (!o.page.isEmpty() && o.open.isEmpty()) {
        error = QStringLiteral("--page precisa de --open.");
        return std::nullopt;
    }
    o.screenshot = p.value(shot);
    return o;
}

} // namespace erp::client

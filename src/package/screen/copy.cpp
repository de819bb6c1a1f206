// SPDX-License-Identifier: MIT
// "Copiar parâmetros de outra empresa…": the additions, exclusions,
// compensations, net-profit items and their accounting information of a
// company chosen as in the company bar, copied into the company on screen.
// The service skips what the company on screen already has.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "data/fields.h"
#include "host/busy.h"
#include "host/dialogs.h"
#include "host/hostapplication.h"
#include "host/maskedit.h"
#include "host/search.h"
#include "host/services.h"

#include <QLocale>

namespace erp::par47300 {

namespace {

QString numero(qint64 n)
{
    return QLocale().toString(n);
}

// "1 registro copiado", "3 registros copiados".
QString contagem(qint64 n, const char* one, const char* many)
{
    return numero(n) + u' ' + QString::fromUtf8(n == 1 ? one : many);
}

QString empresa(const QString& code, const QString& name)
{
    return name.isEmpty() ? code : code + QStringLiteral(" – ") + name;
}

} // namespace

void TfrmParamIRPJ::mnuCopiarParamClick()
{
    if (!empresaLivre())
        return;
    const QString destino = medCdEmpresa->storedText();
    const QString nomeDestino = medNmEmpresa->text();
    // The company bar's own search, for the source.
    if (!btpEmpresa->choose(QStringLiteral("Copiar parâmetros da empresa")))
        return;
    const QString origem = text(data_->qryEmpresa, f::CDEMPRESA);
    const QString nomeOrigem = text(data_->qryEmpresa, f::NMEMPRESA);
    if (origem == destino)
        host::MensErro(QStringLiteral("Os parâmetros não podem ser copiados da empresa %1 para ela mesma: escolha outra empresa de origem.")
                           .arg(destino),
                       true);

    const QJsonArray empresas{origem, destino};
    DataPacket previa;
    {
        const host::BusyAnimation busy(host::HostApplication::mainWindow(), host::BusyAnimation::Opening);
        previa = service_.read(contract::method::previaCopiaParamIRPJ, empresas, contract::previaCopiaLayout());
    }
    const int tipo = previa.indexOf(QString::fromLatin1(f::DSTIPO));
    const int copiar = previa.indexOf(QString::fromLatin1(f::QTCOPIAR));
    const int ignorar = previa.indexOf(QString::fromLatin1(f::QTIGNORAR));
    qint64 totalCopiar = 0;
    qint64 totalIgnorar = 0;
    QStringList linhas;
    for (const RowValues& r : previa.rows) {
        const qint64 c = r.value(copiar).toLongLong();
        const qint64 i = r.value(ignorar).toLongLong();
        totalCopiar += c;
        totalIgnorar += i;
        if (c == 0 && i == 0)
            continue;
        QString linha = r.value(tipo).toString() + QStringLiteral(": ") + numero(c) + QStringLiteral(" a copiar");
        if (i > 0)
            linha += QStringLiteral(", ") + numero(i) + QStringLiteral(" já existente") + (i == 1 ? QString() : QStringLiteral("s"));
        linhas << linha;
    }
    if (totalCopiar == 0) {
        host::dialogs().showInformation(
            totalIgnorar == 0
                ? QStringLiteral("A empresa %1 não tem parâmetros para copiar.").arg(empresa(origem, nomeOrigem))
                : QStringLiteral("Nada a copiar: %1 da empresa %2 já existe%3 na empresa %4.")
                      .arg(totalIgnorar == 1 ? QStringLiteral("o registro") : QStringLiteral("os %1 registros").arg(numero(totalIgnorar)), origem,
                           totalIgnorar == 1 ? QString() : QStringLiteral("m"), destino));
        return;
    }
    QString pergunta = QStringLiteral("Copiar os parâmetros da empresa %1 para a empresa %2?\n\n%3")
                           .arg(empresa(origem, nomeOrigem), empresa(destino, nomeDestino), linhas.join(u'\n'));
    if (totalIgnorar > 0)
        pergunta += QStringLiteral("\n\nOs registros que já existem na empresa %1 ficam como estão.").arg(destino);
    if (!host::dialogs().confirm(pergunta))
        return;

    QJsonObject resultado;
    try {
        const host::BusyAnimation busy(host::HostApplication::mainWindow(), host::BusyAnimation::Opening);
        resultado = service_.change(contract::method::copiaParamIRPJ, empresas);
    } catch (...) {
        // Copied or not, the rows on screen are read again so none is stale.
        if (host::outcomeUncertain(std::current_exception()))
            getDados();
        throw;
    }
    getDados();
    const qint64 copiados = resultado.value(QLatin1String("applied")).toInteger();
    const qint64 ignorados = resultado.value(QLatin1String("skipped")).toInteger();
    host::dialogs().showInformation(contagem(copiados, "registro copiado", "registros copiados") + QStringLiteral(", ")
                                    + contagem(ignorados, "já existente ignorado", "já existentes ignorados") + u'.');
}

} // namespace erp::par47300

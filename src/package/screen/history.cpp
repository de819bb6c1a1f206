// SPDX-License-Identifier: MIT
// "Histórico do registro": who changed the row on screen and its accounting
// information, when, and from what to what.
#include "frmparamirpj.h"

#include "contract/paramirpj.h"
#include "data/fields.h"
#include "editors/codedfield.h"
#include "host/busy.h"
#include "host/grid/dbgrid.h"
#include "host/hostapplication.h"
#include "host/pagecontrol.h"
#include "host/tabledialog.h"

#include <QDateTime>
#include <QLocale>
#include <QStandardItemModel>

namespace erp::par47300 {

namespace {

enum Coluna { Quando, Usuario, Operacao, Campo, Antes, Depois, Colunas };

QString operacaoText(const QString& kind)
{
    static const std::pair<char, const char*> texts[] = {
        {letter::operacao::Inclusao, "Incluído"}, {letter::operacao::Alteracao, "Alterado"}, {letter::operacao::Exclusao, "Excluído"}};
    for (const auto& [code, caption] : texts)
        if (isLetter(kind, code))
            return QString::fromUtf8(caption);
    return kind;
}

// The moment in the user's locale and time zone, to the second.
QString quandoText(const QDateTime& when)
{
    const QLocale locale;
    const QDateTime local = when.toLocalTime();
    QString time = locale.timeFormat(QLocale::ShortFormat);
    if (!time.contains(QLatin1String("ss")))
        time.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    return locale.toString(local.date(), QLocale::ShortFormat) + u' ' + locale.toString(local.time(), time);
}

QStandardItem* item(const QString& text, const QVariant& sortValue = {})
{
    auto* i = new QStandardItem(text);
    if (sortValue.isValid())
        i->setData(sortValue, Qt::UserRole);
    return i;
}

} // namespace

const EditedDataSet* TfrmParamIRPJ::paiDoHistorico() const
{
    const ScreenTab& front = frontTab();
    const DataSet& parent = *front.parent.cds;
    if (parent.state() != DataSet::State::Browse || parent.isEmpty())
        return nullptr;
    if (front.inner->activePage() == front.detail && infCtb_.cds->isEditing())
        return nullptr;
    return &front.parent;
}

// The title of the field's grid column (any tab's grid of that table), the
// field's label otherwise, the ECF code's column of its dialog; empty for a
// field no grid shows.
QString TfrmParamIRPJ::rotuloHistorico(const QString& table, const QString& name) const
{
    // The ECF code of a row, kept in a table no grid shows.
    if (table == QLatin1String(contract::t::PARAMAPUECF) && name == QLatin1String(f::CDECF))
        return QStringLiteral("Código ECF");
    for (const ScreenTab& tab : tabs_) {
        for (const auto& [e, g] : {std::pair{&tab.parent, tab.grid}, std::pair{&infCtb_, tab.detailGrid}}) {
            if (table != QLatin1String(e->table))
                continue;
            for (const host::GridColumn& c : g->columns())
                if (c.fieldName == name)
                    return c.title.isEmpty() ? e->cds->fieldByName(name).displayLabel() : c.title;
        }
    }
    return {};
}

// Letters as their catalogue texts, numbers in the user's locale, texts as stored.
QString TfrmParamIRPJ::valorHistorico(const QString& table, const QString& name, const QVariant& value) const
{
    if (!value.isValid())
        return {};
    const QString stored = value.toString();
    if (const CodedField* coded = coded::byField(name)) {
        const QString caption = coded->textOf(stored, *msgPadrao());
        return caption.isEmpty() ? stored : caption;
    }
    // The server sends numbers with a point and every digit they have.
    bool number = false;
    const double v = stored.toDouble(&number);
    for (const EditedDataSet* e : {&tabs_[IRPJ].parent, &tabs_[Lucro].parent, &infCtb_}) {
        const Field* shown = table == QLatin1String(e->table) ? e->cds->findField(name) : nullptr;
        if (shown && shown->dataType() == FieldType::Float && number)
            return QLocale().toString(v, 'f', QLocale::FloatingPointShortest);
    }
    return stored;
}

void TfrmParamIRPJ::mnuHistoricoClick()
{
    const EditedDataSet* parent = paiDoHistorico();
    if (!parent)
        return;
    const QString company = text(*parent->cds, f::CDEMPRESA);
    const double number = field(*parent->cds, parent->keyField).asFloat();
    DataPacket history;
    {
        const host::BusyAnimation busy(host::HostApplication::mainWindow(), host::BusyAnimation::Opening);
        history = service_.read(contract::method::getHistorico, QJsonArray{company, number}, contract::historicoLayout());
    }

    auto* model = new QStandardItemModel(0, Colunas, this);
    model->setHorizontalHeaderLabels({QStringLiteral("Data e hora"), QStringLiteral("Usuário"), QStringLiteral("Operação"),
                                      QStringLiteral("Campo"), QStringLiteral("Antes"), QStringLiteral("Depois")});
    const auto at = [&](const RowValues& r, const char* name) { return r.value(history.indexOf(QString::fromLatin1(name))); };
    // One change gives consecutive lines, one per field; a change whose
    // fields no grid shows still gets one line.
    for (std::size_t i = 0; i < history.rows.size();) {
        const RowValues& first = history.rows[i];
        const auto sameChange = [&](const RowValues& r) {
            for (const char* n : {f::DTALTERACAO, f::NMUSUARIO, f::IDOPERACAO, f::NMTABELA, f::NRSEQREGISTRO})
                if (at(r, n) != at(first, n))
                    return false;
            return true;
        };
        const QDateTime when = QDateTime::fromString(at(first, f::DTALTERACAO).toString(), Qt::ISODateWithMs);
        const QString table = at(first, f::NMTABELA).toString();
        const auto line = [&](const QString& label, const QString& before, const QString& after) {
            // Sorted by when, the lines keep the service's order: by the
            // moment, and the order they were written within one.
            const qlonglong newest = -model->rowCount();
            model->appendRow({item(quandoText(when), newest), item(at(first, f::NMUSUARIO).toString()),
                              item(operacaoText(at(first, f::IDOPERACAO).toString())), item(label), item(before), item(after)});
        };
        bool shown = false;
        for (; i < history.rows.size() && sameChange(history.rows[i]); ++i) {
            const RowValues& r = history.rows[i];
            const QString name = at(r, f::NMCAMPO).toString();
            const QString label = rotuloHistorico(table, name);
            if (label.isEmpty())
                continue;
            line(label, valorHistorico(table, name, at(r, f::DSANTERIOR)), valorHistorico(table, name, at(r, f::DSNOVO)));
            shown = true;
        }
        if (!shown)
            line({}, {}, {});
    }

    auto* dialog = new host::TTableDialog(QStringLiteral("Histórico do registro"), model,
                                          QStringLiteral("historico-%1-%2.csv").arg(company).arg(qlonglong(number)), Quando,
                                          Qt::DescendingOrder, this);
    dialog->setObjectName(QStringLiteral("dlgHistorico"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

} // namespace erp::par47300

// SPDX-License-Identifier: MIT
#include "ecfdialog.h"

#include "contract/paramirpj.h"
#include "host/dialogs.h"
#include "host/search.h"
#include "host/services.h"
#include "platform/dataset.h"
#include "platform/datasource.h"

#include <QColor>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

namespace erp::par47300 {

namespace f = contract::f;

namespace {
constexpr int kSuggestions = 5;

// What a kind letter (IDPARAMAPU) or an entry type of the table reads as.
QString kindWord(QChar letter)
{
    switch (letter.toLatin1()) {
    case 'A':
        return QStringLiteral("adição");
    case 'E':
        return QStringLiteral("exclusão");
    case 'C':
        return QStringLiteral("compensação");
    case 'P':
        return QStringLiteral("compensação de prejuízo ou base negativa");
    default:
        return QStringLiteral("outro tipo");
    }
}

QString joined(QStringList texts)
{
    texts.removeDuplicates();
    return texts.join(QStringLiteral(" / "));
}
} // namespace

// ---- the model

EcfCodesModel::EcfCodesModel(const EcfSuggester& table, QString sheet, QList<EcfParamRow> rows, int year, QObject* parent)
    : QAbstractTableModel(parent), table_(table), sheet_(std::move(sheet)), rows_(std::move(rows)), year_(year)
{
    for (const EcfParamRow& r : rows_)
        codes_ << r.code;
}

int EcfCodesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int EcfCodesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Colunas;
}

QVariant EcfCodesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const titles[Colunas] = {"Nome", "Tipo", "Percentual", "Código ECF", "Descrição ECF", "Vigência", "Sugestão"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= Colunas)
        return {};
    return QString::fromUtf8(titles[section]);
}

Qt::ItemFlags EcfCodesModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == Codigo)
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant EcfCodesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const int r = index.row();
    const EcfParamRow& row = rows_[r];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case Nome:
            return row.name;
        case Tipo:
            return row.kindText;
        case Percentual:
            return row.percentText;
        case Codigo:
            return codes_[r];
        case Descricao:
            return description(r);
        case Vigencia:
            return validity(r);
        case Sugestao: {
            const QList<int> best = suggestions(r);
            return best.isEmpty() ? QVariant() : QVariant(lineText(best.front()));
        }
        }
        return {};
    case Qt::TextAlignmentRole:
        return index.column() == Percentual ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::ForegroundRole:
        if ((index.column() == Vigencia || index.column() == Codigo) && outOfValidity(r))
            return QColor(Qt::darkRed);
        if (index.column() == Sugestao)
            return QPalette().color(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::FontRole:
        if (index.column() == Sugestao) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

bool EcfCodesModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != Codigo || role != Qt::EditRole)
        return false;
    return setCode(index.row(), value.toString());
}

void EcfCodesModel::setYear(int year)
{
    if (year == year_)
        return;
    year_ = year;
    suggestions_.clear();
    if (!rows_.isEmpty())
        Q_EMIT dataChanged(index(0, Codigo), index(int(rows_.size()) - 1, Sugestao));
}

QString EcfCodesModel::refusal(int r, const QString& code) const
{
    if (code.isEmpty())
        return {};
    const QList<EcfLine>& lines = table_.lines();
    bool listed = false, entry = false;
    QString entryType;
    for (const EcfLine& l : lines) {
        if (l.code != code)
            continue;
        listed = true;
        if (ecf::fits(l, rows_[r].kind))
            return {};
        if (contract::holdsLetter(l.tipo, "E")) {
            entry = true;
            entryType = l.tipoLanc;
        }
    }
    if (!listed)
        return QStringLiteral("O código %1 não consta da tabela %2 da ECF.").arg(code, sheet_);
    if (!entry)
        return QStringLiteral("O código %1 da tabela %2 é um título ou uma linha calculada pela ECF e não pode ser informado.").arg(code, sheet_);
    return QStringLiteral("O código %1 da tabela %2 é de %3 e não serve a \"%4\", que é de %5.")
        .arg(code, sheet_, kindWord(entryType.isEmpty() ? QChar() : entryType.front()), rows_[r].name,
             kindWord(rows_[r].kind.isEmpty() ? QChar() : rows_[r].kind.front()));
}

bool EcfCodesModel::setCode(int r, const QString& typed)
{
    if (r < 0 || r >= rows_.size())
        return false;
    const QString code = typed.trimmed();
    if (const QString why = refusal(r, code); !why.isEmpty()) {
        host::dialogs().showError(why);
        return false;
    }
    if (code == codes_[r])
        return true;
    codes_[r] = code;
    suggestions_.remove(r);
    Q_EMIT dataChanged(index(r, Codigo), index(r, Sugestao));
    return true;
}

QList<int> EcfCodesModel::linesOf(const QString& code) const
{
    QList<int> valid, all;
    const QList<EcfLine>& lines = table_.lines();
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].code != code)
            continue;
        all << i;
        if (ecf::validIn(lines[i], year_))
            valid << i;
    }
    return valid.isEmpty() ? all : valid;
}

QString EcfCodesModel::description(int r) const
{
    if (codes_[r].isEmpty())
        return {};
    QStringList texts;
    for (int i : linesOf(codes_[r]))
        texts << table_.lines()[i].description;
    if (texts.isEmpty() && codes_[r] == rows_[r].code)
        return rows_[r].savedDescription;
    return joined(texts);
}

QString EcfCodesModel::validity(int r) const
{
    if (codes_[r].isEmpty())
        return {};
    const QList<int> lines = linesOf(codes_[r]);
    if (lines.isEmpty())
        return QStringLiteral("Não consta da tabela %1").arg(sheet_);
    QStringList texts;
    for (int i : lines)
        texts << ecf::validityText(table_.lines()[i]);
    if (!ecf::validIn(table_.lines()[lines.front()], year_))
        return QStringLiteral("Fora de vigência em %1 (%2)").arg(year_).arg(joined(texts));
    return joined(texts);
}

bool EcfCodesModel::outOfValidity(int r) const
{
    if (codes_[r].isEmpty())
        return false;
    const QList<int> lines = linesOf(codes_[r]);
    return lines.isEmpty() || !ecf::validIn(table_.lines()[lines.front()], year_);
}

QList<int> EcfCodesModel::suggestions(int r) const
{
    if (!codes_[r].isEmpty())
        return {};
    auto it = suggestions_.constFind(r);
    if (it == suggestions_.constEnd())
        it = suggestions_.insert(r, table_.suggest(rows_[r].name, rows_[r].kind, year_, kSuggestions));
    return *it;
}

QString EcfCodesModel::lineText(int line) const
{
    const EcfLine& l = table_.lines()[line];
    return l.code + QStringLiteral(" – ") + l.description;
}

bool EcfCodesModel::hasChanges() const
{
    for (int r = 0; r < rows_.size(); ++r)
        if (codes_[r] != rows_[r].code)
            return true;
    return false;
}

ChangePacket EcfCodesModel::changes() const
{
    ChangePacket p;
    p.fields = {contract::fieldDef(f::NRSEQPARAMAPU), contract::fieldDef(f::CDECF)};
    const int number = p.indexOf(QString::fromLatin1(f::NRSEQPARAMAPU)), code = p.indexOf(QString::fromLatin1(f::CDECF));
    const auto values = [&](double n, const QString& c) {
        RowValues v(p.fields.size());
        v[number] = n;
        v[code] = c;
        return v;
    };
    for (int r = 0; r < rows_.size(); ++r) {
        const QString& before = rows_[r].code;
        const QString& after = codes_[r];
        if (before == after)
            continue;
        Change c;
        if (before.isEmpty()) {
            c.status = ChangeStatus::Inserted;
            c.newValues = values(rows_[r].number, after);
        } else if (after.isEmpty()) {
            c.status = ChangeStatus::Deleted;
            c.oldValues = values(rows_[r].number, before);
        } else {
            c.status = ChangeStatus::Modified;
            c.oldValues = values(rows_[r].number, before);
            c.newValues = values(rows_[r].number, after);
        }
        p.changes.push_back(std::move(c));
    }
    return p;
}

// ---- the dialog

TEcfCodesDialog::TEcfCodesDialog(const QString& title, const QString& sheet, QList<EcfLine> lines, QList<EcfParamRow> rows, int year,
                                 Save save, QWidget* parent)
    : QDialog(parent), table_(std::move(lines)), model_(new EcfCodesModel(table_, sheet, std::move(rows), year, this)),
      save_(std::move(save)), year_(new QSpinBox(this)), view_(new QTableView(this)), suggestionTitle_(new QLabel(this)),
      suggestionList_(new QListWidget(this)), accept_(new QPushButton(QStringLiteral("Aceitar sugestão"), this))
{
    setWindowTitle(title);

    auto* yearLabel = new QLabel(QStringLiteral("&Ano:"), this);
    yearLabel->setBuddy(year_);
    year_->setObjectName(QStringLiteral("spnAno"));
    year_->setRange(2000, 2100);
    year_->setValue(year);
    year_->setToolTip(QStringLiteral("O ano em que os códigos devem estar em vigência"));
    auto* hint = new QLabel(QStringLiteral("Digite o código na coluna Código ECF ou use Pesquisar código (F4). Tabela %1.").arg(sheet), this);
    auto* top = new QHBoxLayout;
    top->addWidget(yearLabel);
    top->addWidget(year_);
    top->addSpacing(16);
    top->addWidget(hint, 1);

    view_->setObjectName(QStringLiteral("grdCodigosECF"));
    view_->setModel(model_);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    view_->setAlternatingRowColors(true);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->setWordWrap(false);
    const int widths[EcfCodesModel::Colunas] = {200, 85, 75, 80, 230, 150, 200};
    for (int c = 0; c < EcfCodesModel::Colunas; ++c)
        view_->setColumnWidth(c, widths[c]);

    suggestionTitle_->setObjectName(QStringLiteral("lblSugestoes"));
    suggestionList_->setObjectName(QStringLiteral("lstSugestoes"));
    suggestionList_->setMaximumHeight(suggestionList_->fontMetrics().height() * (kSuggestions + 1) + 8);
    suggestionList_->setToolTip(QStringLiteral("Um duplo clique dá o código à linha"));

    auto* search = new QPushButton(QStringLiteral("&Pesquisar código…"), this);
    search->setObjectName(QStringLiteral("btnPesquisar"));
    accept_->setObjectName(QStringLiteral("btnAceitarSugestao"));
    auto* saveButton = new QPushButton(QStringLiteral("&Gravar"), this);
    saveButton->setObjectName(QStringLiteral("btnGravar"));
    auto* cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel->setObjectName(QStringLiteral("btnCancelar"));
    // Enter belongs to the cell being typed, never to a button.
    for (QPushButton* b : {search, accept_, saveButton, cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(search);
    buttons->addWidget(accept_);
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(view_, 1);
    layout->addWidget(suggestionTitle_);
    layout->addWidget(suggestionList_);
    layout->addLayout(buttons);
    resize(960, 460);

    const auto run = [this](void (TEcfCodesDialog::*rule)()) { return [this, rule] { host::guarded([this, rule] { (this->*rule)(); }); }; };
    connect(search, &QPushButton::clicked, this, run(&TEcfCodesDialog::pesquisaCodigo));
    connect(new QShortcut(QKeySequence(Qt::Key_F4), this), &QShortcut::activated, this, run(&TEcfCodesDialog::pesquisaCodigo));
    connect(accept_, &QPushButton::clicked, this, run(&TEcfCodesDialog::aceitaSugestao));
    connect(saveButton, &QPushButton::clicked, this, run(&TEcfCodesDialog::grava));
    connect(cancel, &QPushButton::clicked, this, &TEcfCodesDialog::reject);
    connect(year_, &QSpinBox::valueChanged, this, [this](int y) {
        model_->setYear(y);
        atualizaSugestoes();
    });
    // The list is rebuilt when the code changes: not under its own signal.
    connect(suggestionList_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const int r = currentRow();
        if (r >= 0 && item)
            QMetaObject::invokeMethod(this, [this, r, code = item->data(Qt::UserRole).toString()] { model_->setCode(r, code); },
                                      Qt::QueuedConnection);
    });
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { atualizaSugestoes(); });
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] { atualizaSugestoes(); });

    // The work starts at the first row without a code.
    int first = 0;
    while (first < model_->rowCount() && !model_->code(first).isEmpty())
        ++first;
    if (model_->rowCount() > 0)
        view_->setCurrentIndex(model_->index(first < model_->rowCount() ? first : 0, EcfCodesModel::Codigo));
    view_->setFocus();
    atualizaSugestoes();
}

int TEcfCodesDialog::currentRow() const
{
    const QModelIndex current = view_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TEcfCodesDialog::atualizaSugestoes()
{
    suggestionList_->clear();
    const int r = currentRow();
    const QList<int> best = r < 0 ? QList<int>() : model_->suggestions(r);
    if (r < 0)
        suggestionTitle_->setText(QStringLiteral("Sugestões"));
    else if (!model_->code(r).isEmpty())
        suggestionTitle_->setText(QStringLiteral("Sugestões para \"%1\": a linha já tem código.").arg(model_->row(r).name));
    else if (best.isEmpty())
        suggestionTitle_->setText(QStringLiteral("Sugestões para \"%1\": nenhuma descrição da tabela se parece com o nome.").arg(model_->row(r).name));
    else
        suggestionTitle_->setText(QStringLiteral("Sugestões para \"%1\", a melhor primeiro:").arg(model_->row(r).name));
    for (int line : best) {
        auto* item = new QListWidgetItem(model_->lineText(line), suggestionList_);
        item->setData(Qt::UserRole, table_.lines()[line].code);
    }
    accept_->setEnabled(!best.isEmpty());
}

void TEcfCodesDialog::pesquisaCodigo()
{
    const int r = currentRow();
    if (r < 0)
        return;
    view_->setCurrentIndex(model_->index(r, EcfCodesModel::Codigo));
    const EcfParamRow& row = model_->row(r);
    const int year = model_->year();

    DataSet codes(QStringLiteral("cdsCodigosECF"));
    const QString validity = QStringLiteral("VIGENCIA");
    codes.setFieldDefs({contract::fieldDef(f::CDECF), contract::fieldDef(f::DSECF), FieldDef{validity, FieldType::String, 30}});
    DataPacket rows{codes.fieldDefs(), {}};
    for (const EcfLine& l : table_.lines())
        if (ecf::fits(l, row.kind) && ecf::validIn(l, year))
            rows.rows.push_back({l.code, l.description, ecf::validityText(l)});
    codes.loadPacket(rows);
    codes.fieldByName(QString::fromLatin1(f::CDECF)).setDisplayLabel(QStringLiteral("Código"));
    codes.fieldByName(QString::fromLatin1(f::DSECF)).setDisplayLabel(QStringLiteral("Descrição"));
    codes.fieldByName(validity).setDisplayLabel(QStringLiteral("Vigência"));
    DataSource source(QStringLiteral("dtsCodigosECF"));
    source.setDataSet(&codes);

    const QString kind = row.kindText.isEmpty() ? row.kind : row.kindText;
    const QString title = QStringLiteral("Códigos da ECF para %1 (%2, %3)|Nenhum código da tabela %4 serve a uma linha de %2 em %3.")
                              .arg(row.name, kind)
                              .arg(year)
                              .arg(model_->sheet());
    if (host::Pesquisar(&source, title))
        model_->setCode(r, codes.fieldByName(QString::fromLatin1(f::CDECF)).asString());
}

void TEcfCodesDialog::aceitaSugestao()
{
    const int r = currentRow();
    if (r < 0)
        return;
    const QList<int> best = model_->suggestions(r);
    if (!best.isEmpty())
        model_->setCode(r, table_.lines()[best.front()].code);
}

void TEcfCodesDialog::grava()
{
    if (model_->hasChanges())
        save_(model_->changes());
    done(QDialog::Accepted);
}

void TEcfCodesDialog::reject()
{
    if (model_->hasChanges() && !host::dialogs().confirm(QStringLiteral("Descartar as alterações dos códigos da ECF?")))
        return;
    QDialog::reject();
}

} // namespace erp::par47300

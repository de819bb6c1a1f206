// SPDX-License-Identifier: MIT
#include "dataset.h"

#include "datasource.h"

#include "wire/errors.h"

#include <algorithm>

namespace erp {

namespace {
using Ev = int;
constexpr Ev kActive = 0, kChanged = 1, kRecord = 2, kScrolled = 3, kState = 4, kUpdateData = 5;
} // namespace

DataSet::DataSet(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

DataSet::~DataSet()
{
    for (DataSource* s : sources_)
        s->dataSet_ = nullptr;
}

// ---------------------------------------------------------------- structure

void DataSet::setFieldDefs(const FieldDefs& defs)
{
    if (active())
        throw DataSetError(QStringLiteral("A estrutura de %1 não pode mudar com o conjunto aberto.").arg(objectName()));
    defs_ = defs;
    fields_.clear();
    for (int i = 0; i < defs.size(); ++i)
        fields_.push_back(std::make_unique<Field>(*this, defs[i], i));
}

Field* DataSet::findField(const QString& name) const
{
    for (const auto& f : fields_)
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

Field& DataSet::fieldByName(const QString& name) const
{
    if (Field* f = findField(name))
        return *f;
    throw DataSetError(QStringLiteral("%1: campo '%2' não encontrado.").arg(objectName(), name));
}

// ---------------------------------------------------------------- state and notifications

void DataSet::requireActive() const
{
    if (!active())
        throw DataSetError(QStringLiteral("Operação não permitida: %1 está fechado.").arg(objectName()));
}

void DataSet::requireEditing(const Field& f) const
{
    if (!isEditing())
        throw DataSetError(QStringLiteral("%1 não está em modo de edição ou inclusão (campo %2).").arg(objectName(), f.fieldName()));
}

void DataSet::notify(int event, Field* field)
{
    if (disableCount_ > 0)
        return;
    // Copy: a handler may attach or detach sources.
    const std::vector<DataSource*> sources = sources_;
    for (DataSource* s : sources)
        s->notify(static_cast<DataSource::Event>(event), field);
}

void DataSet::setState(State s)
{
    if (s == state_)
        return;
    const bool activeChanged = (s == State::Inactive) != (state_ == State::Inactive);
    state_ = s;
    if (activeChanged)
        notify(kActive);
    notify(kState);
}

void DataSet::focusControl(Field& field)
{
    if (disableCount_ > 0)
        return;
    for (DataSource* s : sources_)
        if (s->focusControl(field))
            return;
}

void DataSet::addSource(DataSource* s)
{
    if (std::find(sources_.begin(), sources_.end(), s) == sources_.end())
        sources_.push_back(s);
}

void DataSet::removeSource(DataSource* s)
{
    sources_.erase(std::remove(sources_.begin(), sources_.end(), s), sources_.end());
}

void DataSet::disableControls()
{
    if (disableCount_++ == 0)
        disableState_ = state_;
}

void DataSet::enableControls()
{
    if (disableCount_ == 0 || --disableCount_ > 0)
        return;
    if (disableState_ != state_) {
        if ((disableState_ == State::Inactive) != (state_ == State::Inactive))
            notify(kActive);
        notify(kState);
    }
    if (active())
        notify(kChanged);
}

// ---------------------------------------------------------------- values

QVariant DataSet::currentValue(int fieldIndex) const
{
    if (peekRow_ >= 0)
        return peekRow_ < recordCount() ? rows_[std::size_t(peekRow_)].values.value(fieldIndex) : QVariant();
    if (isEditing())
        return buffer_.value(fieldIndex);
    if (cur_ < 0 || cur_ >= recordCount())
        return {};
    return rows_[std::size_t(cur_)].values.value(fieldIndex);
}

void DataSet::setCurrentValue(int fieldIndex, const QVariant& v)
{
    buffer_[fieldIndex] = v;
    modified_ = true;
    Field& f = field(fieldIndex);
    notify(kRecord, &f);
    if (f.onChange)
        f.onChange(f);
}

// ---------------------------------------------------------------- open, close, content

void DataSet::close()
{
    if (!active())
        return;
    fire(beforeClose);
    rows_.clear();
    deleted_.clear();
    undo_.clear();
    buffer_.clear();
    modified_ = false;
    cur_ = -1;
    bof_ = eof_ = true;
    setState(State::Inactive);
}

void DataSet::setContent(std::vector<Row> rows)
{
    // Replacing the content is a close followed by an open, as the controls expect.
    close();
    rows_ = std::move(rows);
    if (!indexFieldNames_.isEmpty()) {
        std::vector<int> keys;
        for (const QString& name : indexFieldNames_.split(u';', Qt::SkipEmptyParts))
            keys.push_back(fieldByName(name.trimmed()).index());
        std::stable_sort(rows_.begin(), rows_.end(), [&keys](const Row& a, const Row& b) {
            for (const int k : keys) {
                const QVariant& x = a.values[k];
                const QVariant& y = b.values[k];
                const QPartialOrdering o = QVariant::compare(x, y);
                if (o == QPartialOrdering::Less || (!x.isValid() && y.isValid()))
                    return true;
                if (o == QPartialOrdering::Greater || (x.isValid() && !y.isValid()))
                    return false;
            }
            return false;
        });
    }
    cur_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    setState(State::Browse);
    notify(kChanged);
    fire(afterOpen);
    if (!rows_.empty())
        fire(afterScroll);
}

void DataSet::createDataSet()
{
    setContent({});
}

void DataSet::loadPacket(const DataPacket& p)
{
    if (defs_.isEmpty())
        setFieldDefs(p.fields);
    // Packet field -> dataset field; every packet field must be known with its type.
    std::vector<int> target(std::size_t(p.fields.size()));
    for (int i = 0; i < p.fields.size(); ++i) {
        const FieldDef& pf = p.fields[i];
        Field* f = findField(pf.name);
        if (!f)
            throw PacketError(QStringLiteral("O pacote traz o campo '%1', que %2 não possui.").arg(pf.name, objectName()));
        if (f->dataType() != pf.type)
            throw PacketError(QStringLiteral("O campo '%1' chegou como %2, mas %3 o define como %4.")
                                  .arg(pf.name, fieldTypeName(pf.type), objectName(), fieldTypeName(f->dataType())));
        target[std::size_t(i)] = f->index();
    }
    const int width = fieldCount();
    bool identity = p.fields.size() == width;
    for (int i = 0; identity && i < width; ++i)
        identity = target[std::size_t(i)] == i;

    std::vector<Row> rows;
    rows.reserve(p.rows.size());
    for (const RowValues& src : p.rows) {
        if (src.size() != p.fields.size())
            throw PacketError(QStringLiteral("Uma linha do pacote tem %1 valores para %2 campos.").arg(src.size()).arg(p.fields.size()));
        Row r;
        r.id = nextId_++;
        if (identity) {
            r.values = src;
        } else {
            r.values = RowValues(width);
            for (qsizetype i = 0; i < src.size(); ++i)
                r.values[target[std::size_t(i)]] = src[i];
        }
        for (int i = 0; i < width; ++i)
            r.values[i] = field(i).coerce(r.values[i]);
        rows.push_back(std::move(r));
    }
    setContent(std::move(rows));
}

DataPacket DataSet::data() const
{
    DataPacket p;
    p.fields = defs_;
    p.rows.reserve(rows_.size());
    for (const Row& r : rows_)
        p.rows.push_back(r.values);
    return p;
}

void DataSet::copyFrom(const DataSet& source)
{
    if (!source.active()) {
        close();
        return;
    }
    if (defs_.isEmpty())
        setFieldDefs(source.defs_);
    const int width = fieldCount();
    std::vector<int> from(std::size_t(width), -1);
    bool identity = source.fieldCount() == width;
    for (int i = 0; i < width; ++i) {
        const Field* f = source.findField(field(i).fieldName());
        from[std::size_t(i)] = f ? f->index() : -1;
        identity = identity && from[std::size_t(i)] == i;
    }
    std::vector<Row> rows;
    rows.reserve(source.rows_.size());
    for (const Row& s : source.rows_) {
        Row r;
        r.id = nextId_++;
        if (identity) {
            r.values = s.values; // implicitly shared: no per-value copy
        } else {
            r.values = RowValues(width);
            for (int i = 0; i < width; ++i)
                if (const int j = from[std::size_t(i)]; j >= 0)
                    r.values[i] = s.values[j];
        }
        rows.push_back(std::move(r));
    }
    setContent(std::move(rows));
}

// ---------------------------------------------------------------- change log

int DataSet::changeCount() const
{
    const auto pending = std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.status != Row::Status::Unchanged; });
    return int(pending + std::ptrdiff_t(deleted_.size()));
}

ChangePacket DataSet::delta() const
{
    std::vector<std::pair<quint64, Change>> ordered;
    for (const Row& r : rows_) {
        if (r.status == Row::Status::Inserted)
            ordered.push_back({r.changeSeq, Change{ChangeStatus::Inserted, {}, r.values}});
        else if (r.status == Row::Status::Modified)
            ordered.push_back({r.changeSeq, Change{ChangeStatus::Modified, r.original, r.values}});
    }
    for (const DeletedRow& d : deleted_)
        ordered.push_back({d.changeSeq, Change{ChangeStatus::Deleted, d.original, {}}});
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    ChangePacket p;
    p.fields = defs_;
    for (auto& [seq, change] : ordered)
        p.changes.push_back(std::move(change));
    return p;
}

void DataSet::mergeChangeLog()
{
    for (Row& r : rows_) {
        r.status = Row::Status::Unchanged;
        r.original.clear();
    }
    deleted_.clear();
    undo_.clear();
}

void DataSet::cancelUpdates()
{
    if (isEditing())
        cancel();
    if (undo_.empty())
        return;
    const auto indexOf = [this](quint64 id) {
        const auto it = std::find_if(rows_.begin(), rows_.end(), [id](const Row& r) { return r.id == id; });
        return it == rows_.end() ? -1 : int(it - rows_.begin());
    };
    quint64 keep = cur_ >= 0 && cur_ < recordCount() ? rows_[std::size_t(cur_)].id : 0;
    int fallback = cur_;
    // Undo in reverse order, so every recorded position is valid again when used.
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
        switch (it->kind) {
        case Undo::Kind::Insert:
            if (const int i = indexOf(it->row.id); i >= 0) {
                rows_.erase(rows_.begin() + i);
                fallback = i;
            }
            break;
        case Undo::Kind::Modify:
            if (const int i = indexOf(it->row.id); i >= 0)
                rows_[std::size_t(i)] = it->row;
            break;
        case Undo::Kind::Delete: {
            const int pos = std::clamp(it->position, 0, recordCount());
            rows_.insert(rows_.begin() + pos, it->row);
            const quint64 id = it->row.id;
            deleted_.erase(std::remove_if(deleted_.begin(), deleted_.end(), [id](const DeletedRow& d) { return d.id == id; }),
                           deleted_.end());
            keep = id; // a row that comes back becomes current
            break;
        }
        }
    }
    undo_.clear();
    const int found = keep ? indexOf(keep) : -1;
    cur_ = found >= 0 ? found : std::min(fallback, recordCount() - 1);
    bof_ = cur_ <= 0;
    eof_ = rows_.empty();
    notify(kChanged);
}

// ---------------------------------------------------------------- navigation

void DataSet::scrollTo(int row)
{
    fire(beforeScroll);
    cur_ = row;
    notify(kScrolled);
    fire(afterScroll);
}

void DataSet::first()
{
    requireActive();
    checkBrowseMode();
    bof_ = true;
    eof_ = rows_.empty();
    scrollTo(rows_.empty() ? -1 : 0);
}

void DataSet::last()
{
    requireActive();
    checkBrowseMode();
    eof_ = true;
    bof_ = rows_.empty();
    scrollTo(recordCount() - 1);
}

void DataSet::next()
{
    requireActive();
    checkBrowseMode();
    if (eof_)
        return;
    bof_ = false;
    if (cur_ + 1 < recordCount())
        scrollTo(cur_ + 1);
    else {
        eof_ = true;
        scrollTo(cur_);
    }
}

void DataSet::prior()
{
    requireActive();
    checkBrowseMode();
    if (bof_)
        return;
    eof_ = false;
    if (cur_ > 0)
        scrollTo(cur_ - 1);
    else {
        bof_ = true;
        scrollTo(cur_);
    }
}

void DataSet::moveTo(int row)
{
    requireActive();
    checkBrowseMode();
    if (row < 0 || row >= recordCount() || row == cur_)
        return;
    bof_ = eof_ = false;
    scrollTo(row);
}

bool DataSet::locate(const QString& keyFields, const QVariantList& values, bool caseInsensitive)
{
    requireActive();
    checkBrowseMode();
    const QStringList names = keyFields.split(u';', Qt::SkipEmptyParts);
    if (names.size() != values.size())
        throw DataSetError(QStringLiteral("Pesquisa em %1: %2 campos para %3 valores.").arg(objectName()).arg(names.size()).arg(values.size()));

    struct Key {
        int index;
        FieldType type;
        QString text;
        double number;
        bool null;
    };
    std::vector<Key> keys;
    for (int i = 0; i < names.size(); ++i) {
        const Field& f = fieldByName(names[i].trimmed());
        const QVariant& v = values[i];
        Key k{f.index(), f.dataType(), {}, 0.0, !v.isValid() || v.isNull()};
        if (!k.null) {
            if (k.type == FieldType::String)
                k.text = v.toString();
            else
                k.number = f.coerce(v).toDouble();
        }
        keys.push_back(std::move(k));
    }
    const Qt::CaseSensitivity cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    static const QString empty;
    const auto matches = [&](const RowValues& row) {
        for (const Key& k : keys) {
            const QVariant& v = row[k.index];
            if (k.type == FieldType::String) {
                // An empty text and an empty field are the same thing.
                const QString& s = v.isValid() ? *static_cast<const QString*>(v.constData()) : empty;
                if (s.compare(k.text, cs) != 0)
                    return false;
            } else if (k.null != !v.isValid() || (!k.null && v.toDouble() != k.number)) {
                return false;
            }
        }
        return true;
    };
    for (int r = 0; r < recordCount(); ++r) {
        if (matches(rows_[std::size_t(r)].values)) {
            bof_ = eof_ = false;
            scrollTo(r);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- editing

void DataSet::checkBrowseMode()
{
    if (!isEditing())
        return;
    updateRecord();
    if (modified_)
        post();
    else
        cancel();
}

void DataSet::updateRecord()
{
    if (isEditing())
        notify(kUpdateData);
}

void DataSet::insert()
{
    requireActive();
    checkBrowseMode();
    beginInsert(rows_.empty() ? 0 : std::max(cur_, 0));
}

void DataSet::append()
{
    requireActive();
    checkBrowseMode();
    beginInsert(recordCount());
}

void DataSet::beginInsert(int position)
{
    fire(beforeInsert);
    fire(beforeScroll);
    const int oldCur = cur_;
    const bool oldBof = bof_, oldEof = eof_;
    buffer_ = RowValues(fieldCount());
    cur_ = position;
    modified_ = false;
    setState(State::Insert);
    try {
        fire(onNewRecord);
    } catch (...) {
        // The new row is abandoned: back to the row the dataset was on.
        buffer_.clear();
        cur_ = oldCur;
        bof_ = oldBof;
        eof_ = oldEof;
        modified_ = false;
        setState(State::Browse);
        notify(kChanged);
        throw;
    }
    // Defaults set by the new-row rule do not make the row modified.
    modified_ = false;
    notify(kChanged);
    fire(afterInsert);
    fire(afterScroll);
}

void DataSet::edit()
{
    requireActive();
    if (isEditing())
        return;
    if (rows_.empty()) {
        insert();
        return;
    }
    fire(beforeEdit);
    buffer_ = rows_[std::size_t(cur_)].values;
    modified_ = false;
    setState(State::Edit);
    notify(kRecord);
    fire(afterEdit);
}

void DataSet::post()
{
    requireActive();
    if (!isEditing())
        return;
    updateRecord();
    fire(beforePost);
    if (state_ == State::Insert) {
        Row r;
        r.values = buffer_;
        r.status = Row::Status::Inserted;
        r.id = nextId_++;
        r.changeSeq = nextSeq_++;
        rows_.insert(rows_.begin() + cur_, r);
        undo_.push_back({Undo::Kind::Insert, r, cur_});
    } else {
        Row& r = rows_[std::size_t(cur_)];
        if (r.values != buffer_) {
            undo_.push_back({Undo::Kind::Modify, r, cur_});
            if (r.status == Row::Status::Unchanged) {
                r.original = r.values;
                r.status = Row::Status::Modified;
                r.changeSeq = nextSeq_++;
            }
            r.values = buffer_;
        }
    }
    buffer_.clear();
    modified_ = false;
    bof_ = eof_ = false;
    setState(State::Browse);
    notify(kChanged);
    fire(afterPost);
}

void DataSet::cancel()
{
    if (!isEditing())
        return;
    fire(beforeCancel);
    const bool wasInsert = state_ == State::Insert;
    if (wasInsert)
        fire(beforeScroll);
    buffer_.clear();
    modified_ = false;
    if (cur_ >= recordCount())
        cur_ = recordCount() - 1;
    eof_ = rows_.empty();
    setState(State::Browse);
    notify(kChanged);
    fire(afterCancel);
    if (wasInsert)
        fire(afterScroll);
}

void DataSet::remove()
{
    requireActive();
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    if (rows_.empty())
        throw DataSetError(QStringLiteral("Não há registro para excluir em %1.").arg(objectName()));
    fire(beforeDelete);
    fire(beforeScroll);
    const Row r = rows_[std::size_t(cur_)];
    undo_.push_back({Undo::Kind::Delete, r, cur_});
    if (r.status != Row::Status::Inserted)
        deleted_.push_back({r.status == Row::Status::Modified ? r.original : r.values, nextSeq_++, r.id});
    rows_.erase(rows_.begin() + cur_);
    if (cur_ >= recordCount())
        cur_ = recordCount() - 1;
    eof_ = rows_.empty();
    bof_ = cur_ <= 0;
    buffer_.clear();
    modified_ = false;
    setState(State::Browse);
    notify(kChanged);
    fire(afterDelete);
    fire(afterScroll);
}

} // namespace erp

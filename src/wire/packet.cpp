// SPDX-License-Identifier: MIT
#include "packet.h"

#include "cp1252.h"
#include "errors.h"
#include "jsonreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace erp {

namespace {

int indexIn(const FieldDefs& fields, const QString& name)
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

[[noreturn]] void fail(const QString& what)
{
    throw PacketError(QStringLiteral("Pacote de dados inválido: %1").arg(what));
}

QJsonValue toJsonValue(const FieldDef& f, const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return QJsonValue::Null;
    switch (f.type) {
    case FieldType::String: return v.toString();
    case FieldType::Float: {
        const double d = v.toDouble();
        if (!std::isfinite(d))
            fail(QStringLiteral("o campo %1 tem um valor numérico infinito ou indefinido.").arg(f.name));
        return d;
    }
    case FieldType::Integer: return v.toLongLong();
    }
    return QJsonValue::Null;
}

QJsonArray fieldsJson(const FieldDefs& fields)
{
    QJsonArray a;
    for (const FieldDef& f : fields) {
        QJsonObject o{{QStringLiteral("name"), f.name}, {QStringLiteral("type"), fieldTypeName(f.type)}};
        if (f.type == FieldType::String)
            o.insert(QStringLiteral("size"), f.size);
        a.append(o);
    }
    return a;
}

QJsonArray rowJson(const FieldDefs& fields, const RowValues& row)
{
    if (row.size() != fields.size())
        fail(QStringLiteral("uma linha tem %1 valores para %2 campos.").arg(row.size()).arg(fields.size()));
    QJsonArray a;
    for (int i = 0; i < fields.size(); ++i)
        a.append(toJsonValue(fields[i], row[i]));
    return a;
}

// Reads a packet's field list and, with a layout, checks it against it.
// `limits` receives the size each text column is held to.
FieldDefs readFields(const QJsonObject& json, const FieldDefs* layout, std::vector<int>& limits)
{
    const QJsonValue fv = json.value(QLatin1String("fields"));
    if (!fv.isArray())
        fail(QStringLiteral("a lista de campos (\"fields\") está ausente."));
    FieldDefs fields;
    for (const QJsonValue v : fv.toArray()) {
        if (!v.isObject())
            fail(QStringLiteral("um campo não é um objeto."));
        const QJsonObject o = v.toObject();
        FieldDef f;
        const QJsonValue name = o.value(QLatin1String("name"));
        if (!name.isString() || name.toString().isEmpty())
            fail(QStringLiteral("um campo não tem nome."));
        f.name = name.toString();
        if (indexIn(fields, f.name) >= 0)
            fail(QStringLiteral("o campo %1 aparece duas vezes.").arg(f.name));
        const QString type = o.value(QLatin1String("type")).toString();
        if (type == QLatin1String("string"))
            f.type = FieldType::String;
        else if (type == QLatin1String("float"))
            f.type = FieldType::Float;
        else if (type == QLatin1String("integer"))
            f.type = FieldType::Integer;
        else
            fail(QStringLiteral("o campo %1 tem o tipo desconhecido '%2'.").arg(f.name, type));
        if (f.type == FieldType::String) {
            const QJsonValue size = o.value(QLatin1String("size"));
            if (size.isUndefined())
                f.size = 20;
            else if (!size.isDouble() || size.toDouble() != std::trunc(size.toDouble()) || size.toDouble() < 1 || size.toDouble() > 1e6)
                fail(QStringLiteral("o campo %1 tem um tamanho inválido.").arg(f.name));
            else
                f.size = size.toInt();
        }
        int limit = f.size;
        if (layout) {
            const int li = indexIn(*layout, f.name);
            if (li < 0)
                fail(QStringLiteral("o campo %1 não é conhecido.").arg(f.name));
            const FieldDef& lf = (*layout)[li];
            if (lf.type != f.type)
                fail(QStringLiteral("o campo %1 deveria ser %2, não %3.").arg(f.name, fieldTypeName(lf.type), fieldTypeName(f.type)));
            f.name = lf.name;
            limit = lf.size;
        }
        limits.push_back(limit);
        fields.append(f);
    }
    return fields;
}

// Where a bad value sits, named only when a message needs it: decoding a
// large packet must not format a text per row.
struct Where {
    const char* what; // "row", "old", "new"
    int number;
    QString text() const
    {
        if (qstrcmp(what, "row") == 0)
            return QStringLiteral("a linha %1").arg(number);
        return QStringLiteral("a alteração %1 (valores %2)").arg(number).arg(qstrcmp(what, "old") == 0 ? QStringLiteral("antigos") : QStringLiteral("novos"));
    }
};

[[noreturn]] void wrongType(const Where& at, const FieldDef& f)
{
    switch (f.type) {
    case FieldType::String: fail(QStringLiteral("%1, campo %2: esperava um texto.").arg(at.text(), f.name));
    case FieldType::Float: fail(QStringLiteral("%1, campo %2: esperava um número.").arg(at.text(), f.name));
    case FieldType::Integer: break;
    }
    fail(QStringLiteral("%1, campo %2: esperava um número inteiro.").arg(at.text(), f.name));
}

[[noreturn]] void wrongWidth(const Where& at, qsizetype values, qsizetype fields)
{
    fail(QStringLiteral("%1 tem %2 valores para %3 campos.").arg(at.text()).arg(values).arg(fields));
}

// The checks every value passes, whichever way its JSON was read.
QVariant textValue(QString s, const FieldDef& f, int limit, const Where& at)
{
    if (limit > 0 && s.size() > limit)
        fail(QStringLiteral("%1, campo %2: o texto tem %3 caracteres e o máximo é %4.").arg(at.text(), f.name).arg(s.size()).arg(limit));
    if (const qsizetype bad = cp1252::firstUnrepresentable(s); bad >= 0)
        fail(QStringLiteral("%1, campo %2: o caractere '%3' não pertence ao conjunto Windows-1252.").arg(at.text(), f.name, s.mid(bad, 1)));
    return s.isEmpty() ? QVariant() : QVariant(std::move(s));
}

QVariant integerValue(double d, const FieldDef& f, const Where& at)
{
    if (d != std::trunc(d) || std::fabs(d) > 9007199254740992.0)
        wrongType(at, f);
    return QVariant(qint64(d));
}

RowValues readRow(const QJsonValue& v, const FieldDefs& fields, const std::vector<int>& limits, const Where& at)
{
    if (!v.isArray())
        fail(QStringLiteral("%1 não é uma lista de valores.").arg(at.text()));
    const QJsonArray a = v.toArray();
    if (a.size() != fields.size())
        wrongWidth(at, a.size(), fields.size());
    RowValues row(fields.size());
    QVariant* out = row.data();
    qsizetype i = 0;
    for (auto it = a.begin(); it != a.end(); ++it, ++i) {
        const QJsonValueConstRef x = *it;
        const FieldDef& f = fields[i];
        if (x.isNull())
            continue;
        switch (f.type) {
        case FieldType::String:
            if (!x.isString())
                wrongType(at, f);
            out[i] = textValue(x.toString(), f, limits[std::size_t(i)], at);
            break;
        case FieldType::Float:
            if (!x.isDouble())
                wrongType(at, f);
            out[i] = QVariant(x.toDouble());
            break;
        case FieldType::Integer:
            if (!x.isDouble())
                wrongType(at, f);
            out[i] = integerValue(x.toDouble(), f, at);
            break;
        }
    }
    return row;
}

// The same row read straight from the text: no tree is built for it.
RowValues readRow(JsonReader& r, const FieldDefs& fields, const std::vector<int>& limits, const Where& at)
{
    if (!r.consume('['))
        fail(QStringLiteral("%1 não é uma lista de valores.").arg(at.text()));
    const qsizetype n = fields.size();
    RowValues row(n);
    QVariant* out = row.data();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 || n == 0) {
            if (r.consume(']'))
                wrongWidth(at, i, n);
            r.expect(',');
        } else if (r.consume(']')) {
            wrongWidth(at, 0, n);
        }
        if (r.readNull())
            continue;
        const FieldDef& f = fields[i];
        double d = 0;
        switch (f.type) {
        case FieldType::String:
            if (r.peek() != '"')
                wrongType(at, f);
            out[i] = textValue(r.readString(), f, limits[std::size_t(i)], at);
            break;
        case FieldType::Float:
            if (!r.readNumber(d))
                wrongType(at, f);
            out[i] = QVariant(d);
            break;
        case FieldType::Integer:
            if (!r.readNumber(d))
                wrongType(at, f);
            out[i] = integerValue(d, f, at);
            break;
        }
    }
    if (!r.consume(']')) {
        qsizetype extra = 0;
        if (n > 0)
            r.expect(',');
        do {
            r.skipValue();
            ++extra;
        } while (r.consume(','));
        wrongWidth(at, n + extra, n);
    }
    return row;
}

void readRows(JsonReader& r, DataPacket& p, const std::vector<int>& limits)
{
    r.expect('[');
    if (r.consume(']'))
        return;
    int n = 0;
    do
        p.rows.push_back(readRow(r, p.fields, limits, Where{"row", ++n}));
    while (r.consume(','));
    r.expect(']');
}

QJsonObject parseObject(QByteArrayView json)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), json.size()), &err);
    if (err.error != QJsonParseError::NoError)
        fail(QStringLiteral("JSON malformado (%1, posição %2).").arg(err.errorString()).arg(err.offset));
    if (!doc.isObject())
        fail(QStringLiteral("o pacote deve ser um objeto JSON."));
    return doc.object();
}

} // namespace

int DataPacket::indexOf(const QString& name) const
{
    return indexIn(fields, name);
}

int ChangePacket::indexOf(const QString& name) const
{
    return indexIn(fields, name);
}

namespace packet {

QString statusName(ChangeStatus s)
{
    switch (s) {
    case ChangeStatus::Inserted: return QStringLiteral("inserted");
    case ChangeStatus::Modified: return QStringLiteral("modified");
    case ChangeStatus::Deleted: return QStringLiteral("deleted");
    }
    return {};
}

QJsonObject toJson(const DataPacket& p)
{
    QJsonArray rows;
    for (const RowValues& r : p.rows)
        rows.append(rowJson(p.fields, r));
    return {{QStringLiteral("fields"), fieldsJson(p.fields)}, {QStringLiteral("rows"), rows}};
}

QJsonObject toJson(const ChangePacket& p)
{
    QJsonArray changes;
    for (const Change& c : p.changes) {
        QJsonObject o{{QStringLiteral("status"), statusName(c.status)}};
        if (c.status != ChangeStatus::Inserted)
            o.insert(QStringLiteral("old"), rowJson(p.fields, c.oldValues));
        if (c.status != ChangeStatus::Deleted)
            o.insert(QStringLiteral("new"), rowJson(p.fields, c.newValues));
        changes.append(o);
    }
    return {{QStringLiteral("fields"), fieldsJson(p.fields)}, {QStringLiteral("changes"), changes}};
}

QByteArray encode(const DataPacket& p)
{
    return QJsonDocument(toJson(p)).toJson(QJsonDocument::Compact);
}

QByteArray encode(const ChangePacket& p)
{
    return QJsonDocument(toJson(p)).toJson(QJsonDocument::Compact);
}

DataPacket decodeData(const QJsonObject& json, const FieldDefs* layout)
{
    DataPacket p;
    std::vector<int> limits;
    p.fields = readFields(json, layout, limits);
    const QJsonValue rows = json.value(QLatin1String("rows"));
    if (!rows.isArray())
        fail(QStringLiteral("a lista de linhas (\"rows\") está ausente."));
    const QJsonArray a = rows.toArray();
    p.rows.reserve(std::size_t(a.size()));
    int n = 0;
    for (const QJsonValue v : a)
        p.rows.push_back(readRow(v, p.fields, limits, Where{"row", ++n}));
    return p;
}

DataPacket decodeData(QByteArrayView json, const FieldDefs* layout)
{
    // Rows go straight from the text into the packet; the small field list
    // is read as a tree and checked by the same code as the tree path.
    JsonReader r(json);
    if (!r.consume('{'))
        fail(QStringLiteral("o pacote deve ser um objeto JSON."));
    DataPacket p;
    std::vector<int> limits;
    bool haveFields = false;
    bool haveRows = false;
    const char* rowsLater = nullptr;
    if (!r.consume('}')) {
        do {
            if (r.peek() != '"')
                r.fail("esperava o nome de um membro");
            const QString key = r.readString();
            r.expect(':');
            if (key == QLatin1String("fields")) {
                if (haveFields)
                    fail(QStringLiteral("a lista de campos aparece duas vezes."));
                p.fields = readFields(QJsonObject{{key, r.readValue(4)}}, layout, limits);
                haveFields = true;
            } else if (key == QLatin1String("rows")) {
                if (haveRows)
                    fail(QStringLiteral("a lista de linhas aparece duas vezes."));
                haveRows = true;
                if (haveFields) {
                    readRows(r, p, limits);
                } else {
                    rowsLater = r.position();
                    r.skipValue();
                }
            } else {
                r.skipValue();
            }
        } while (r.consume(','));
    }
    r.expect('}');
    if (!r.atEnd())
        r.fail("conteúdo após o fim do pacote");
    if (!haveFields)
        readFields(QJsonObject(), layout, limits); // reports the missing list
    if (!haveRows)
        fail(QStringLiteral("a lista de linhas (\"rows\") está ausente."));
    if (rowsLater) {
        JsonReader again(json);
        again.seek(rowsLater);
        readRows(again, p, limits);
    }
    return p;
}

ChangePacket decodeChanges(const QJsonObject& json, const FieldDefs* layout)
{
    ChangePacket p;
    std::vector<int> limits;
    p.fields = readFields(json, layout, limits);
    const QJsonValue changes = json.value(QLatin1String("changes"));
    if (!changes.isArray())
        fail(QStringLiteral("a lista de alterações (\"changes\") está ausente."));
    int n = 0;
    for (const QJsonValue v : changes.toArray()) {
        ++n;
        if (!v.isObject())
            fail(QStringLiteral("a alteração %1 não é um objeto.").arg(n));
        const QJsonObject o = v.toObject();
        const QString status = o.value(QLatin1String("status")).toString();
        Change c;
        if (status == QLatin1String("inserted"))
            c.status = ChangeStatus::Inserted;
        else if (status == QLatin1String("modified"))
            c.status = ChangeStatus::Modified;
        else if (status == QLatin1String("deleted"))
            c.status = ChangeStatus::Deleted;
        else
            fail(QStringLiteral("a alteração %1 tem a situação desconhecida '%2'.").arg(n).arg(status));
        const bool wantsOld = c.status != ChangeStatus::Inserted;
        const bool wantsNew = c.status != ChangeStatus::Deleted;
        if (o.contains(QLatin1String("old")) != wantsOld || o.contains(QLatin1String("new")) != wantsNew)
            fail(QStringLiteral("a alteração %1 (%2) não traz exatamente os valores que sua situação pede.").arg(n).arg(status));
        if (wantsOld)
            c.oldValues = readRow(o.value(QLatin1String("old")), p.fields, limits, Where{"old", n});
        if (wantsNew)
            c.newValues = readRow(o.value(QLatin1String("new")), p.fields, limits, Where{"new", n});
        p.changes.push_back(std::move(c));
    }
    return p;
}

ChangePacket decodeChanges(QByteArrayView json, const FieldDefs* layout)
{
    return decodeChanges(parseObject(json), layout);
}

} // namespace packet
} // namespace erp

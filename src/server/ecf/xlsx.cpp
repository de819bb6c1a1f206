// SPDX-License-Identifier: MIT
#include "xlsx.h"

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>

#include <QHash>
#include <QXmlStreamReader>

#include <optional>

namespace erp::server::ecf {

namespace {

// No part of a real workbook comes near this; a zip bomb stops here.
constexpr qint64 kMaxPartBytes = 64 * 1024 * 1024;
// Columns beyond XFD do not exist in a workbook.
constexpr int kMaxColumns = 16384;

const QString kRelationships = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");

class Package {
public:
    explicit Package(const QString& path) : zip_(path)
    {
        if (!zip_.open(QuaZip::mdUnzip))
            throw ImportError(QStringLiteral("O arquivo não é uma planilha XLSX que se possa ler (não é um arquivo ZIP válido)."));
    }

    // A part by its name inside the package, or nothing when it is absent.
    std::optional<QByteArray> part(const QString& name)
    {
        if (!zip_.setCurrentFile(name, QuaZip::csSensitive))
            return std::nullopt;
        QuaZipFileInfo64 info;
        if (!zip_.getCurrentFileInfo(&info) || info.uncompressedSize > quint64(kMaxPartBytes))
            throw ImportError(QStringLiteral("A parte %1 da planilha é grande demais para uma tabela da ECF.").arg(name));
        QuaZipFile file(&zip_);
        if (!file.open(QIODevice::ReadOnly))
            throw ImportError(QStringLiteral("Não foi possível ler a parte %1 da planilha.").arg(name));
        QByteArray bytes = file.read(kMaxPartBytes + 1);
        file.close();
        if (file.getZipError() != 0 || bytes.size() > kMaxPartBytes)
            throw ImportError(QStringLiteral("A parte %1 da planilha está danificada.").arg(name));
        return bytes;
    }

    QByteArray required(const QString& name)
    {
        std::optional<QByteArray> bytes = part(name);
        if (!bytes)
            throw ImportError(QStringLiteral("O arquivo não é uma planilha XLSX: falta a parte %1.").arg(name));
        return *bytes;
    }

private:
    QuaZip zip_;
};

void requireWellFormed(const QXmlStreamReader& xml, const QString& part)
{
    if (xml.hasError())
        throw ImportError(QStringLiteral("A parte %1 da planilha não é um XML válido (linha %2: %3).")
                              .arg(part)
                              .arg(xml.lineNumber())
                              .arg(xml.errorString()));
}

// The text of an <si> or <is> element: its <t>, or the <t> of each rich
// run <r>; phonetic hints (<rPh>) are not part of it.
QString stringItem(QXmlStreamReader& xml)
{
    QString text;
    int phonetic = 0;
    const QString endName = xml.name().toString();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (xml.name() == QLatin1String("t") && phonetic == 0)
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("rPh"))
                --phonetic;
            else if (xml.name() == endName)
                break;
        }
    }
    return text;
}

QStringList sharedStrings(Package& package)
{
    const QString name = QStringLiteral("xl/sharedStrings.xml");
    const std::optional<QByteArray> bytes = package.part(name);
    QStringList strings;
    if (!bytes)
        return strings;
    QXmlStreamReader xml(*bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("si"))
            strings << stringItem(xml);
    }
    requireWellFormed(xml, name);
    return strings;
}

// Sheet names to their parts, in the workbook's order.
std::vector<std::pair<QString, QString>> sheetParts(Package& package)
{
    const QString relsName = QStringLiteral("xl/_rels/workbook.xml.rels");
    QXmlStreamReader rels(package.required(relsName));
    QHash<QString, QString> targets;
    while (!rels.atEnd()) {
        rels.readNext();
        if (rels.isStartElement() && rels.name() == QLatin1String("Relationship")) {
            const QString target = rels.attributes().value(QLatin1String("Target")).toString();
            // Relative to xl/, or from the package's root.
            targets.insert(rels.attributes().value(QLatin1String("Id")).toString(),
                           target.startsWith(u'/') ? target.mid(1) : QStringLiteral("xl/") + target);
        }
    }
    requireWellFormed(rels, relsName);

    const QString bookName = QStringLiteral("xl/workbook.xml");
    QXmlStreamReader book(package.required(bookName));
    std::vector<std::pair<QString, QString>> parts;
    while (!book.atEnd()) {
        book.readNext();
        if (!book.isStartElement() || book.name() != QLatin1String("sheet"))
            continue;
        const QXmlStreamAttributes a = book.attributes();
        const QString sheet = a.value(QLatin1String("name")).toString();
        QString id = a.value(kRelationships, QLatin1String("id")).toString();
        if (id.isEmpty())
            id = a.value(QLatin1String("r:id")).toString();
        if (!targets.contains(id))
            throw ImportError(QStringLiteral("A planilha \"%1\" não aponta para nenhuma parte da pasta de trabalho.").arg(sheet));
        parts.emplace_back(sheet, targets.value(id));
    }
    requireWellFormed(book, bookName);
    if (parts.empty())
        throw ImportError(QStringLiteral("A pasta de trabalho não tem planilhas."));
    return parts;
}

// "B12" -> column 1; nothing for a reference without letters.
std::optional<int> columnOf(QStringView ref)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i].isLetter(); ++i) {
        column = column * 26 + (ref[i].toUpper().unicode() - 'A' + 1);
        if (column > kMaxColumns)
            return std::nullopt;
    }
    if (i == 0)
        return std::nullopt;
    return column - 1;
}

CellRow readRow(QXmlStreamReader& xml, const QStringList& shared, int expected, const QString& part)
{
    CellRow row;
    bool ok = false;
    row.number = xml.attributes().value(QLatin1String("r")).toInt(&ok);
    if (!ok)
        row.number = expected;
    int next = 0;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("c")) {
            xml.skipCurrentElement();
            continue;
        }
        const QXmlStreamAttributes a = xml.attributes();
        const QStringView ref = a.value(QLatin1String("r"));
        const std::optional<int> column = ref.isEmpty() ? std::optional<int>(next) : columnOf(ref);
        if (!column)
            throw ImportError(QStringLiteral("A parte %1 da planilha tem uma célula de referência inválida (%2).").arg(part, ref.left(20)));
        const QString type = a.value(QLatin1String("t")).toString();
        QString value;
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("v"))
                value = xml.readElementText();
            else if (xml.name() == QLatin1String("is"))
                value = stringItem(xml);
            else
                xml.skipCurrentElement();
        }
        if (type == QLatin1String("s")) {
            bool isIndex = false;
            const int index = value.toInt(&isIndex);
            if (!isIndex || index < 0 || index >= shared.size())
                throw ImportError(QStringLiteral("A parte %1 da planilha aponta para um texto compartilhado que não existe.").arg(part));
            value = shared[index];
        } else if (type == QLatin1String("e")) {
            value.clear(); // an error value (#N/A…) holds nothing
        }
        while (row.cells.size() <= *column)
            row.cells << QString();
        row.cells[*column] = value;
        next = *column + 1;
    }
    return row;
}

SheetCells readSheet(Package& package, const QString& name, const QString& part, const QStringList& shared)
{
    QXmlStreamReader xml(package.required(part));
    SheetCells sheet{name, {}};
    int expected = 1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("row")) {
            CellRow row = readRow(xml, shared, expected, part);
            expected = row.number + 1;
            if (!row.cells.isEmpty())
                sheet.rows.push_back(std::move(row));
        }
    }
    requireWellFormed(xml, part);
    return sheet;
}

} // namespace

std::vector<SheetCells> readXlsx(const QString& path)
{
    Package package(path);
    const std::vector<std::pair<QString, QString>> parts = sheetParts(package);
    const QStringList shared = sharedStrings(package);
    std::vector<SheetCells> sheets;
    for (const auto& [name, part] : parts)
        sheets.push_back(readSheet(package, name, part, shared));
    return sheets;
}

} // namespace erp::server::ecf

// SPDX-License-Identifier: MIT
#include "package.h"

#include "wire/errors.h"

namespace erp::host {

void InitializePackage(const PackageInfoTable* table)
{
    for (int i = 0; i < table->unitCount; ++i)
        if (table->units[i].initialization)
            table->units[i].initialization();
}

void FinalizePackage(const PackageInfoTable* table)
{
    for (int i = table->unitCount - 1; i >= 0; --i)
        if (table->units[i].finalization)
            table->units[i].finalization();
}

PackageLoader::PackageLoader(const QString& fileName) : library_(fileName)
{
}

PackageLoader::~PackageLoader()
{
    if (loaded_)
        unload();
}

void PackageLoader::load()
{
    if (loaded_)
        return;
    if (!library_.load()) {
        // The loader's own words (English) go to stderr after the sentence.
        const QString what = QStringLiteral("Não foi possível carregar o pacote de tela %1.").arg(library_.fileName());
        qWarning("%s\n  detalhe: %s", qPrintable(what), qPrintable(library_.errorString()));
        throw Error(what);
    }
    loaded_ = true;
    reinterpret_cast<void (*)()>(entry("Initialize"))();
}

void PackageLoader::unload()
{
    if (!loaded_)
        return;
    reinterpret_cast<void (*)()>(entry("Finalize"))();
    if (afterFinalize)
        afterFinalize();
    loaded_ = false;
    library_.unload();
}

QFunctionPointer PackageLoader::entry(const char* name)
{
    if (QFunctionPointer f = library_.resolve(name))
        return f;
    throw Error(QStringLiteral("O pacote %1 não exporta %2.").arg(library_.fileName(), QString::fromLatin1(name)));
}

void* PackageLoader::variable(const char* name)
{
    return reinterpret_cast<void*>(entry(name));
}

} // namespace erp::host

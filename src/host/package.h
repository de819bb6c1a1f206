// SPDX-License-Identifier: MIT
#pragma once

#include <QLibrary>
#include <QString>

#include <functional>

namespace erp::host {

// The units of a screen package, initialised in order on load and finalised
// in reverse order on unload. Each unit counts its own initialisations.
struct PackageUnit {
    const char* name;
    void (*initialization)();
    void (*finalization)();
};

struct PackageInfoTable {
    int unitCount;
    const PackageUnit* units;
};

// The host runtime's side of a package's Initialize/Finalize entries.
void InitializePackage(const PackageInfoTable* table);
void FinalizePackage(const PackageInfoTable* table);

// Loads a screen package (a shared library), runs its Initialize entry on
// load and its Finalize entry on unload, and resolves its exported entries.
class PackageLoader {
public:
    explicit PackageLoader(const QString& fileName);
    ~PackageLoader();
    PackageLoader(const PackageLoader&) = delete;
    PackageLoader& operator=(const PackageLoader&) = delete;

    void load();   // throws erp::Error with the reason when the package cannot be used
    void unload(); // the package's windows must be closed first
    // Runs after the package's Finalize entry, while its memory is still mapped.
    std::function<void()> afterFinalize;
    bool isLoaded() const { return loaded_; }
    // An exported entry; throws erp::Error when the package lacks it.
    QFunctionPointer entry(const char* name);
    void* variable(const char* name);

private:
    QLibrary library_;
    bool loaded_ = false;
};

} // namespace erp::host

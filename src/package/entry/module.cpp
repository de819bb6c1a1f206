// SPDX-License-Identifier: MIT
#include "module.h"

#include "host/hostapplication.h"
#include "screen/frmparamirpj.h"

#include <QApplication>

using erp::par47300::TfrmParamIRPJ;

erp::par47300::TfrmParamIRPJ* frmParamIRPJ = nullptr;
bool boIdCriado = false;
QString stAdic;
QString stItem;
QString stOrigem;

namespace {

// The unit counts its initialisations: the first one and the last
// finalisation do the work, however many times the runtime calls them.
int unitInitCount = 0;

void unitInitialization()
{
    if (unitInitCount++ == 0)
        boIdCriado = false;
}

void unitFinalization()
{
    if (unitInitCount == 0 || --unitInitCount > 0)
        return;
    stAdic.clear();
    stItem.clear();
    stOrigem.clear();
}

const erp::host::PackageUnit units[] = {{"Cli_par47300", unitInitialization, unitFinalization}};
const erp::host::PackageInfoTable packageInfo{1, units};

// The hourglass for as long as the screen is being opened; restored even
// when opening fails, so a failure never leaves the host looking busy.
struct HourglassCursor {
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

} // namespace

void IniProc()
{
    criaParamIRPJ();
}

void criaParamIRPJ()
{
    HourglassCursor hourglass;
    if (!boIdCriado) {
        erp::host::HostApplication::CreateForm(frmParamIRPJ);
        boIdCriado = true;
    }
    erp::host::HostApplication::showForm(frmParamIRPJ);
}

void Initialize()
{
    erp::host::InitializePackage(GetPackageInfoTable());
}

void Finalize()
{
    erp::host::FinalizePackage(GetPackageInfoTable());
}

const erp::host::PackageInfoTable* GetPackageInfoTable()
{
    return &packageInfo;
}

// SPDX-License-Identifier: MIT
#pragma once

// The road of one edit on each of the six grids of a screen, with keys and
// toolbar buttons only, checking the server's tables after every step.
#include "host/basescreen.h"
#include "host/dialogs.h"
#include "host/grid/dbgrid.h"
#include "host/pagecontrol.h"
#include "support/guitest.h"

#include <QApplication>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace erp::testing {

// Types into whatever has the focus: on a grid cell the first key opens the
// cell's editor, the others go to the editor.
inline void typeKeys(const QString& s)
{
    for (const QChar ch : s)
        QTest::keyClick(focused(), ch.toLatin1());
}

inline void press(Qt::Key key, Qt::KeyboardModifiers mods = {})
{
    QTest::keyClick(focused(), key, mods);
}

inline void clickTab(host::TPageControl* pages, QWidget* page)
{
    QTabBar* bar = pages->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(pages->indexOf(page)).center());
}

// A new addition typed in the grid: Ctrl+N, name, Tab, type letter, Tab, percentage.
inline void typeAddition(host::TDBGrid* g, const QString& name, const QString& letter, const QString& percent)
{
    g->setFocus();
    QTest::keyClick(g, Qt::Key_N, Qt::ControlModifier);
    typeKeys(name);
    press(Qt::Key_Tab);
    typeKeys(letter);
    press(Qt::Key_Tab);
    typeKeys(percent);
}

using Rows = std::function<QList<QStringList>(const QString& sql)>;

// Screen controls by name, as a package's screen publishes them.
struct Road {
    using B = host::TfrmPadraoSimples;
    B* screen;
    host::ScriptedDialogs& dialogs;
    Rows rows;

    host::TDBGrid* grid(const char* name) const { return screen->findChild<host::TDBGrid*>(QString::fromLatin1(name)); }
    host::TPageControl* pages(const char* name) const { return screen->findChild<host::TPageControl*>(QString::fromLatin1(name)); }
    QWidget* page(const char* name) const { return screen->findChild<QWidget*>(QString::fromLatin1(name)); }
    QToolButton* button(B::Button b) const { return screen->button(b); }

    // One edit on an additions grid, then one on its accounting grid.
    void additions(const char* tab, const char* pagesName, const char* adicPage, const char* adicGrid, const char* infPage,
                   const char* infGrid, const QString& tax) const
    {
        const QString adic = QStringLiteral("SELECT NMPARAMAPU, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM, CDEMPRESA FROM PARAMAPUIRPJ "
                                            "WHERE NMPARAMAPU = '%1' AND IDIMPOSTO = '%2'");
        clickTab(pages("pgcGeral"), page(tab));
        host::TDBGrid* g = grid(adicGrid);
        const QString name = QStringLiteral("Multas fiscais");
        const int before = g->model()->rowCount();
        typeAddition(g, name, QStringLiteral("e"), QStringLiteral("40"));
        QCOMPARE(g->model()->rowCount(), before + 1);
        QVERIFY(!button(B::Incluir)->isEnabled() && button(B::Confirmar)->isEnabled());
        QCOMPARE(rows(adic.arg(name, tax)), QList<QStringList>{}); // nothing is written before the confirm
        button(B::Confirmar)->click();
        QCOMPARE(dialogs.errors, QStringList{});
        QCOMPARE(rows(adic.arg(name, tax)), (QList<QStringList>{{name, "E", tax, "40", "01"}}));
        QVERIFY(button(B::Incluir)->isEnabled() && !button(B::Confirmar)->isEnabled());

        // Its accounting information: the insert button, origin letter, Tab, account.
        clickTab(pages(pagesName), page(infPage));
        host::TDBGrid* inf = grid(infGrid);
        inf->setFocus();
        button(B::Incluir)->click();
        QVERIFY(inf->hasFocus());
        typeKeys(QStringLiteral("c"));
        press(Qt::Key_Tab);
        typeKeys(QStringLiteral("311010001"));
        const QString parent = QStringLiteral("SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE NMPARAMAPU = '%1' AND IDIMPOSTO = '%2'").arg(name, tax);
        QCOMPARE(rows(infOf(parent)), QList<QStringList>{});
        button(B::Confirmar)->click();
        QCOMPARE(dialogs.errors, QStringList{});
        QCOMPARE(rows(infOf(parent)), (QList<QStringList>{{"C", "311010001", "C"}}));
        clickTab(pages(pagesName), page(adicPage));
    }

    // One net-profit item (name, kind, operational, rate, debit value), then
    // its accounting information, paid on the cash basis.
    void items() const
    {
        const QString item = QStringLiteral("SELECT NMRECDESPIRPJ, IDRECDESPIRPJ, IDRECDESPIRPJOP, NRSEQALIQIRPJ, IDCONSVRDEB, CDEMPRESA "
                                            "FROM RECDESPIRPJ WHERE NMRECDESPIRPJ = 'Aluguel'");
        clickTab(pages("pgcGeral"), page("tshLucro"));
        host::TDBGrid* g = grid("dbgRecDesp");
        g->setFocus();
        QTest::keyClick(g, Qt::Key_N, Qt::ControlModifier);
        typeKeys(QStringLiteral("Aluguel"));
        for (const char* key : {"d", "n", "7", "s"}) {
            press(Qt::Key_Tab);
            typeKeys(QString::fromLatin1(key));
        }
        QCOMPARE(rows(item), QList<QStringList>{});
        button(B::Confirmar)->click();
        QCOMPARE(dialogs.errors, QStringList{});
        QCOMPARE(rows(item), (QList<QStringList>{{"Aluguel", "D", "N", "7", "S", "01"}}));

        clickTab(pages("pgcLucro"), page("tshInfCtbLucro"));
        host::TDBGrid* inf = grid("dbgInfCtbLucro");
        inf->setFocus();
        QTest::keyClick(inf, Qt::Key_N, Qt::ControlModifier);
        typeKeys(QStringLiteral("c"));
        press(Qt::Key_Tab);
        typeKeys(QStringLiteral("311010001"));
        press(Qt::Key_Tab);
        typeKeys(QStringLiteral("p"));
        const QString parent = QStringLiteral("SELECT NRSEQRECDESPIRPJ FROM RECDESPIRPJ WHERE NMRECDESPIRPJ = 'Aluguel'");
        QCOMPARE(rows(infOf(parent)), QList<QStringList>{});
        button(B::Confirmar)->click();
        QCOMPARE(dialogs.errors, QStringList{});
        QCOMPARE(rows(infOf(parent)), (QList<QStringList>{{"C", "311010001", "P"}}));
        clickTab(pages("pgcLucro"), page("tshRecDesp"));
        clickTab(pages("pgcGeral"), page("tshIRPJ"));
    }

    // All six grids; the caller checks QTest::currentTestFailed() after it.
    void walk() const
    {
        additions("tshIRPJ", "pgcIRPJ", "tshAdicIRPJ", "dbgAdicIRPJ", "tshInfCtbIRPJ", "dbgInfCtbIRPJ", QStringLiteral("I"));
        if (QTest::currentTestFailed())
            return;
        additions("tshCSLL", "pgcCSLL", "tshAdicCSLL", "dbgAdicCSLL", "tshInfCtbCSLL", "dbgInfCtbCSLL", QStringLiteral("C"));
        if (QTest::currentTestFailed())
            return;
        items();
    }

    static QString infOf(const QString& parent)
    {
        return QStringLiteral("SELECT IDINFCTBIRPJ, CHAVE, IDFORMAPURITEM FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = (%1)").arg(parent);
    }
};

} // namespace erp::testing

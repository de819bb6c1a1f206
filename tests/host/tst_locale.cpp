// SPDX-License-Identifier: MIT
// Qt's own texts follow the user's locale: standard buttons in Portuguese.
#include "host/locale.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace erp;

namespace {

// The texts of standard buttons as a dialog shows them, without mnemonics.
QStringList buttonTexts()
{
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QStringList out;
    for (QAbstractButton* b : {box.button(QMessageBox::Yes), box.button(QMessageBox::No), box.button(QMessageBox::Cancel),
                               static_cast<QAbstractButton*>(buttons.button(QDialogButtonBox::Ok))})
        out << b->text().remove(u'&');
    return out;
}

} // namespace

class TestLocale : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // This program runs with LC_ALL=C, as a machine without a locale: the
    // client's own start-up gives Brazilian Portuguese.
    void aMachineWithoutALocaleGetsBrazilianPortuguese()
    {
        QCOMPARE(QLocale::system().language(), QLocale::C);
        const QLocale user = host::userLocale();
        QCOMPARE(user.name(), QStringLiteral("pt_BR"));
        QVERIFY(host::useLocale(*qApp, user));
        QCOMPARE(buttonTexts(), (QStringList{"Sim", "Não", "Cancelar", "OK"}));
        QCOMPARE(QLocale().toString(1234.5, 'f', 2), QStringLiteral("1.234,50"));
    }

    void textsFollowTheSystemLocale_data()
    {
        QTest::addColumn<QString>("system");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("pt_BR") << "pt_BR" << QStringList{"Sim", "Não", "Cancelar", "OK"};
        QTest::newRow("en_US") << "en_US" << QStringList{"Yes", "No", "Cancel", "OK"};
        QTest::newRow("de_DE") << "de_DE" << QStringList{"Ja", "Nein", "Abbrechen", "OK"};
    }
    void textsFollowTheSystemLocale()
    {
        QFETCH(QString, system);
        QFETCH(QStringList, texts);
        QVERIFY(host::useLocale(*qApp, host::userLocale(QLocale(system))));
        QCOMPARE(QLocale().name(), system);
        QCOMPARE(buttonTexts(), texts);
    }
};

int main(int argc, char** argv)
{
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
    QApplication app(argc, argv);
    TestLocale t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_locale.moc"

#include "app/qttranslations.h"

#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

// Qt's own texts in the program's language: the standard buttons and the edit fields' menu.
class TestQtTranslations : public QObject
{
    Q_OBJECT
private slots:
    void standard_buttons_and_context_menus_are_japanese()
    {
        QMessageBox before(QMessageBox::Question, QString(), QString(), QMessageBox::Yes);
        QCOMPARE(before.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));

        QVERIFY(zim::load_qt_translations(QCoreApplication::instance()));
        QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
        QVERIFY2(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("はい")),
                 qPrintable(box.button(QMessageBox::Yes)->text()));
        QLineEdit edit;
        QScopedPointer<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text();
        QVERIFY2(texts.join(QLatin1Char(' ')).contains(QStringLiteral("貼り付け")),
                 qPrintable(texts.join(' ')));
    }
};

QTEST_MAIN(TestQtTranslations)
#include "test_qttranslations.moc"

#include <QtTest>

#include "common/text/CommandWords.h"

using Words = std::vector<std::string>;
Q_DECLARE_METATYPE(Words)

class TestCommandWords : public QObject
{
    Q_OBJECT
private slots:
    void split_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<Words>("words");
        QTest::addColumn<bool>("closed");
        QTest::newRow("blanks") << QByteArray("  a\tb \r c\r") << Words{"a", "b", "c"} << true;
        QTest::newRow("quoted blanks") << QByteArray("run \"C:/My Photos/a b.jpg\" x")
                                       << Words{"run", "C:/My Photos/a b.jpg", "x"} << true;
        QTest::newRow("quotes inside a word") << QByteArray("a\"b c\"d") << Words{"ab cd"} << true;
        QTest::newRow("empty quoted word") << QByteArray("x \"\"") << Words{"x", ""} << true;
        QTest::newRow("empty line") << QByteArray("") << Words{} << true;
        QTest::newRow("open quote") << QByteArray("a \"b c") << Words{"a", "b c"} << false;
    }
    void split()
    {
        QFETCH(QByteArray, line);
        QFETCH(Words, words);
        QFETCH(bool, closed);
        Words found{"left over"};
        QCOMPARE(CommandWords::split(line.toStdString(), found), closed);
        QCOMPARE(found, words);
    }
};

QTEST_GUILESS_MAIN(TestCommandWords)
#include "tst_commandwords.moc"

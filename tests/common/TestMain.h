#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

// Gives the test process a private, empty HOME (and XDG folders inside it)
// before Qt reads any of them, so tests never touch the real user's files.
class TestHome {
public:
    TestHome();
    [[nodiscard]] QString path() const { return m_dir.path(); }
    // The preference file the application would use under this HOME.
    [[nodiscard]] QString preferenceFile() const;

private:
    QTemporaryDir m_dir;
};

// Like QTEST_MAIN, with a private HOME set up before the application object.
#define YUMEKAZU_TEST_MAIN(TestObject)                                                           \
    int main(int argc, char *argv[])                                                             \
    {                                                                                            \
        TestHome home;                                                                           \
        QApplication app(argc, argv);                                                            \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                 \
        TestObject tc;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                               \
        return QTest::qExec(&tc, argc, argv);                                                    \
    }

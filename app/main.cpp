#include "app/Startup.h"

#include <QApplication>

int main(int, char** argv) {
    // The program reads no command line: Qt sees the program's name only.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    return qv::runProgram(app);
}

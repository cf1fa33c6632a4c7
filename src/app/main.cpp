#include "app/programentry.h"

#include <QApplication>

using namespace quillmap;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return runProgram();
}

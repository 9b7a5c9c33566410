#include "app/UtilityApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KARVEL Utility"));
    UtilityApp utility;
    utility.start();
    return QApplication::exec();
}

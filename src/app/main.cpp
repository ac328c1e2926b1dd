#include "disc/Quarle.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("QUARLE");
    try {
        TQuarle quarle;
        quarle.setActiveCdRomNum(0);
        QStringList drives;
        quarle.FillDriveList(drives);
        QLabel label(drives.join("\n") + "\n" + quarle.Tracks().captions().join("\n"));
        label.setWindowTitle("QUARLE");
        label.show();
        return app.exec();
    } catch (const std::exception &e) {
        QMessageBox::critical(nullptr, "QUARLE", QString::fromUtf8(e.what()));
        return 1;
    }
}

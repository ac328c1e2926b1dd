#include "app/MainForm.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("QUARLE");
    QApplication::setApplicationDisplayName("QUARLE");
    std::unique_ptr<TDlgMainForm> form = TDlgMainForm::CreateMainForm();
    if (!form)
        return 1;
    form->show();
    form->activateWindow();
    return app.exec();
}

// PNVRecovery: the window the user starts from.
#include "gui/automation.h"
#include "launcher/forms.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(nv::launcher::MainForm::kApplicationTitle);
    QApplication::setApplicationDisplayName(nv::launcher::MainForm::kApplicationTitle);
    QApplication::setWindowIcon(QIcon(":/launcher/icon.png"));
    try {
        nv::launcher::LauncherSystem system;
        nv::launcher::TMainForm form(system);
        if (!form.FormCreate()) return 0;
        nv::launcher::TAboutBox about(&form, form.Logic().Version());
        form.SetAboutBox(&about);
        form.show();
        nv::gui::InstallAutomation(app);
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), QString::fromUtf8(e.what()));
        return 0;
    }
}

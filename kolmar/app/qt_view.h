// The Qt side of Recovery_KOLMAR's start-up: message boxes and, until the
// real repair dialog arrives, a placeholder dialog titled "Krescue". The
// QApplication is made only when a widget is needed, so a staging run that
// shows nothing needs no display.
#pragma once

#include "kolmar/app/repair_app.h"

#include <memory>

class QApplication;

namespace nv::kolmar {

class QtRepairView : public RepairAppView {
public:
    QtRepairView(int& argc, char** argv);
    ~QtRepairView() override;

    void MessageBox(std::string_view text, std::string_view caption) override;
    void RunRepairDialog() override;

    // A box that needs no view object: FatalAppExit's.
    static void FatalMessage(std::string_view text);

private:
    void EnsureApplication();

    int& argc_;
    char** argv_;
    std::unique_ptr<QApplication> app_;
};

}  // namespace nv::kolmar

#include "kolmar/app/qt_view.h"

#include "gui/automation.h"
#include "platform/paths.h"
#include "platform/window_socket.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

namespace nv::kolmar {
namespace {

QString from_local(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QtRepairView* g_view = nullptr;

}  // namespace

QtRepairView::QtRepairView(int& argc, char** argv) : argc_(argc), argv_(argv) { g_view = this; }

QtRepairView::~QtRepairView() {
    if (g_view == this) g_view = nullptr;
}

void QtRepairView::EnsureApplication() {
    if (app_ || QApplication::instance()) return;
    app_ = std::make_unique<QApplication>(argc_, argv_);
    nv::gui::InstallAutomation(*app_);
}

void QtRepairView::MessageBox(std::string_view text, std::string_view caption) {
    EnsureApplication();
    QMessageBox box(QMessageBox::Warning, from_local(caption), from_local(text), QMessageBox::Ok);
    box.exec();
}

void QtRepairView::FatalMessage(std::string_view text) {
    if (!g_view) return;
    g_view->EnsureApplication();
    QMessageBox box(QMessageBox::Critical, QString(), from_local(text), QMessageBox::Ok);
    box.exec();
}

void QtRepairView::RunRepairDialog() {
    EnsureApplication();
    // The hidden owner of the dialog, as the original's invisible pop-up.
    QWidget owner(nullptr, Qt::Popup);
    QDialog dialog(&owner);
    dialog.setObjectName("RepairDlg");
    dialog.setWindowTitle(QStringLiteral("Krescue"));
    // Stands in for the repair dialog until it is built: says what was
    // prepared and lets the user close it.
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(QStringLiteral("The Kolmar repair files are ready in\n%1\n\n"
                                           "The repair itself is not available in this build.")
                                .arg(QString::fromLocal8Bit(platform::ProgramDir().c_str())),
                            &dialog);
    text->setObjectName("StatusText");
    layout->addWidget(text);
    auto* close = new QPushButton(QStringLiteral("Close"), &dialog);
    close->setObjectName("CloseBtn");
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::reject);
    layout->addWidget(close, 0, Qt::AlignRight);
    dialog.setMinimumWidth(360);

    // A later start finds this window by its title and brings it forward.
    platform::WindowEndpoint endpoint;
    endpoint.Open(kWorkerWindowTitle, [&dialog](std::string_view command) {
        if (command == "raise") {
            QMetaObject::invokeMethod(&dialog, [&dialog] {
                dialog.showNormal();
                dialog.raise();
                dialog.activateWindow();
            }, Qt::QueuedConnection);
        } else if (command == "close") {
            QMetaObject::invokeMethod(&dialog, [&dialog] { dialog.reject(); }, Qt::QueuedConnection);
        }
    });
    dialog.exec();
    endpoint.Close();
}

}  // namespace nv::kolmar

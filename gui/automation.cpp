#include "gui/automation.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace nv::gui {
namespace {

std::string escaped(const QString& s) {
    std::string out;
    for (char c : s.toStdString()) {
        if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

class MessageBoxAnswerer : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* obj, QEvent* ev) override {
        if (ev->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(obj)) {
                std::fprintf(stderr, "message: [%s] %s\n", escaped(box->windowTitle()).c_str(),
                             escaped(box->text()).c_str());
                std::fflush(stderr);
                QTimer::singleShot(50, box, [box] {
                    if (auto* b = box->defaultButton()) b->click();
                    else box->done(0);
                });
            }
        }
        return false;
    }
};

QWidget* active_window() {
    if (auto* w = QApplication::activeModalWidget()) return w;
    if (auto* w = QApplication::activeWindow()) return w;
    for (auto* w : QApplication::topLevelWidgets())
        if (w->isVisible()) return w;
    return nullptr;
}

void run_steps(std::shared_ptr<QStringList> steps) {
    while (!steps->isEmpty()) {
        QString step = steps->takeFirst().trimmed();
        if (step.isEmpty()) continue;
        QString verb = step.section(' ', 0, 0);
        QString arg = step.section(' ', 1).trimmed();
        if (verb == "wait") {
            QTimer::singleShot(arg.toInt(), [steps] { run_steps(steps); });
            return;
        }
        if (verb == "quit") {
            QApplication::quit();
            return;
        }
        if (verb == "screenshot") {
            if (QWidget* w = active_window()) w->grab().save(arg, "PNG");
            continue;
        }
        if (verb == "click") {
            bool clicked = false;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* b = top->findChild<QAbstractButton*>(arg); b && b->isVisible()) {
                    // Deferred, so that a modal loop the click opens does not stop the script.
                    QTimer::singleShot(0, b, [b] { b->click(); });
                    clicked = true;
                    break;
                }
                if (auto* a = top->findChild<QAction*>(arg)) {
                    QTimer::singleShot(0, a, [a] { a->trigger(); });
                    clicked = true;
                    break;
                }
            }
            if (!clicked) std::fprintf(stderr, "automation: nothing named %s to click\n", qPrintable(arg));
            QTimer::singleShot(0, [steps] { run_steps(steps); });
            return;
        }
        std::fprintf(stderr, "automation: unknown step '%s'\n", qPrintable(step));
    }
}

}  // namespace

void InstallAutomation(QApplication& app) {
    const char* script = std::getenv("NORVALYN_AUTOMATION");
    if (!script || !*script) return;
    app.installEventFilter(new MessageBoxAnswerer(&app));
    auto steps = std::make_shared<QStringList>(QString::fromUtf8(script).split(';'));
    QTimer::singleShot(0, [steps] { run_steps(steps); });
}

}  // namespace nv::gui
